#include "ui/viewer_windows.h"
#include "ui/window_keys.h"

#include "batch/preview.h"
#include "batch/viewer.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The core keeps the server's CR LF; the text box wants plain line feeds.
QString forDisplay(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
}

void bringUp(QWidget* window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

ViewerWindow::ViewerWindow(ArticleViewer& viewer, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_viewer(viewer)
{
    closeOnEscape(this);
    setObjectName(QStringLiteral("frmViewArt"));
    m_text = new QPlainTextEdit;
    m_text->setObjectName(QStringLiteral("txtArticle"));
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Text art and file listings line up only in a fixed-pitch font.
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_text);

    connect(&m_viewer, &ArticleViewer::windowRequested, this, [this](const QString& caption) {
        setWindowTitle(caption);
        bringUp(this);
    });
    connect(&m_viewer, &ArticleViewer::textReset, this,
        [this](const QString& text) { m_text->setPlainText(forDisplay(text)); });
    connect(&m_viewer, &ArticleViewer::textAppended, this, [this](const QString& text) {
        m_text->moveCursor(QTextCursor::End);
        m_text->insertPlainText(forDisplay(text));
    });
    resize(760, 560);
}

void ViewerWindow::closeEvent(QCloseEvent* event)
{
    m_viewer.close();
    QWidget::closeEvent(event);
}

PreviewWindow::PreviewWindow(Mp3Preview& preview, QWidget* parent)
    : QWidget(parent, Qt::Dialog)
    , m_preview(preview)
{
    closeOnEscape(this);
    setObjectName(QStringLiteral("frmPreviewMP3"));
    m_label = new QLabel;
    m_label->setObjectName(QStringLiteral("lblStatus"));
    m_label->setTextFormat(Qt::PlainText);
    m_label->setMinimumWidth(360);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(&m_preview, &Mp3Preview::windowRequested, this, [this](const QString& caption) {
        setWindowTitle(QStringLiteral("Preview: ") + caption);
        bringUp(this);
    });
    connect(&m_preview, &Mp3Preview::windowHidden, this, &QWidget::hide);
    connect(&m_preview, &Mp3Preview::labelChanged, m_label, &QLabel::setText);
}

void PreviewWindow::closeEvent(QCloseEvent* event)
{
    m_preview.close();
    QWidget::closeEvent(event);
}
