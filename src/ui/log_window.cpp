#include "ui/log_window.h"
#include "ui/window_keys.h"

#include "program/app_context.h"
#include "app/prompts.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

LogWindow::LogWindow(AppContext& context, QWidget* parent)
    : QWidget(parent)
    , m_ctx(context)
    , m_checks(context.settings)
{
    closeOnEscape(this);
    setObjectName(QStringLiteral("frmLog"));
    setWindowTitle(QStringLiteral("LOG"));

    auto* heading = new QLabel(QStringLiteral("Log of activity this session."), this);
    heading->setObjectName(QStringLiteral("lblHeading"));
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    auto* order = new QLabel(QStringLiteral("(in reverse chronological order) "), this);
    order->setObjectName(QStringLiteral("lblOrder"));

    m_list = new QListView(this);
    m_list->setObjectName(QStringLiteral("lstLog"));
    m_list->setModel(&m_ctx.log.entries());
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setUniformItemSizes(true);
    connect(&m_ctx.log, &OpsLog::entryAdded, m_list, [this] { m_list->setCurrentIndex(m_ctx.log.entries().index(0)); });
    connect(m_list, &QListView::doubleClicked, this,
        [this](const QModelIndex& index) { m_ctx.prompts.message(index.data().toString()); });

    auto* switches = new QGroupBox(QStringLiteral("Logging"), this);
    auto* switchLayout = new QHBoxLayout(switches);
    switchLayout->addWidget(m_checks.add(
        QStringLiteral("chkEnableLogging"), QStringLiteral("Enable Log"), &Settings::chkEnableLogging, switches));
    switchLayout->addWidget(m_checks.add(
        QStringLiteral("chkLogFile"), QStringLiteral("Log to OPSLOG.TXT"), &Settings::chkLogFile, switches));
    switchLayout->addStretch();
    auto* shortcut = new QPushButton(QStringLiteral("Shortcut to OPSLOG.TXT"), switches);
    shortcut->setObjectName(QStringLiteral("cmdShortcut"));
    connect(shortcut, &QPushButton::clicked, this, &LogWindow::openLogFile);
    switchLayout->addWidget(shortcut);

    auto* clear = new QPushButton(QStringLiteral("Clea&r"), this);
    clear->setObjectName(QStringLiteral("cmdClear"));
    connect(clear, &QPushButton::clicked, this, [this] { m_ctx.log.clear(); });
    auto* closeButton = new QPushButton(QStringLiteral("&Close"), this);
    closeButton->setObjectName(QStringLiteral("cmdClose"));
    connect(closeButton, &QPushButton::clicked, this, &QWidget::hide);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::hide);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(clear);
    buttons->addStretch();
    buttons->addWidget(closeButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(order);
    layout->addWidget(m_list, 1);
    layout->addWidget(switches);
    layout->addLayout(buttons);

    resize(640, 440);
    syncFromSettings();
}

void LogWindow::syncFromSettings()
{
    m_checks.sync();
}

void LogWindow::openLogFile()
{
    const QString path = m_ctx.log.logFilePath();
    if (QFileInfo(path).isFile())
        m_ctx.cues.ShellOpen(path);
    else
        m_ctx.prompts.message(QStringLiteral("File does not exist."));
}

void LogWindow::showEvent(QShowEvent* event)
{
    syncFromSettings();
    QWidget::showEvent(event);
}
