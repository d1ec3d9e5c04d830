#include "ui/folder_chooser.h"

#include "program/app_context.h"
#include "ui/folder_picker.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

FolderChooser::FolderChooser(AppContext& context, Target target, QWidget* parent)
    : QDialog(parent)
    , m_ctx(context)
    , m_target(target)
{
    const bool download = target == Target::Download;
    setObjectName(QStringLiteral("frmFolderChooser"));
    setWindowTitle(
        download ? QStringLiteral("Select 'Base Download' Folder") : QStringLiteral("Select 'Cache' Folder"));

    auto* explanation = new QLabel(download
            ? QStringLiteral("This is the folder where downloded files are saved (or folders are made with "
                             "individual group names, if 'Create Sub-Folders for each group' is on).")
            : QStringLiteral("This is the folder where parts of multipart items are stored until they are decoded."),
        this);
    explanation->setObjectName(QStringLiteral("lblExplanation"));
    explanation->setWordWrap(true);

    m_picker = new FolderPicker(m_ctx.prompts, this);

    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &FolderChooser::acceptSelection);
    auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(explanation);
    layout->addWidget(m_picker, 1);
    layout->addLayout(buttons);
    resize(460, 480);

    const QString current = download ? m_ctx.settings.Download_Path : m_ctx.settings.Cache_Path;
    setSelection(current.isEmpty() ? m_ctx.folder.path : current);
}

QString FolderChooser::selection() const
{
    return m_picker->selection();
}

void FolderChooser::setSelection(const QString& folder)
{
    m_picker->setSelection(folder);
}

void FolderChooser::acceptSelection()
{
    if (m_target == Target::Download)
        m_ctx.settings.Download_Path = selection();
    else
        m_ctx.settings.Cache_Path = selection();
    accept();
}
