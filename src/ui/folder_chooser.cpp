#include "ui/folder_chooser.h"

#include "program/app_context.h"
#include "app/prompts.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

QString withSlash(QString folder)
{
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

// A new folder's name is a single path component.
bool plainFolderName(const QString& name)
{
    return !name.contains(u'/') && name != QLatin1String(".") && name != QLatin1String("..");
}

} // namespace

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

    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    m_model->setReadOnly(true);
    m_model->setRootPath(QDir::rootPath());

    m_tree = new QTreeView(this);
    m_tree->setObjectName(QStringLiteral("tvwFolders"));
    m_tree->setModel(m_model);
    for (int column = 1; column < m_model->columnCount(); ++column)
        m_tree->hideColumn(column);
    m_tree->setHeaderHidden(true);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setMinimumHeight(240);
    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (!current.isValid())
            return;
        m_selection = withSlash(m_model->filePath(current));
        m_selectionLabel->setText(m_selection);
    });
    // Folders load and sort in the background, moving the selection; follow it until the user
    // takes over the view.
    connect(m_model, &QFileSystemModel::directoryLoaded, this, &FolderChooser::keepSelectionInView);
    connect(m_model, &QFileSystemModel::layoutChanged, this, &FolderChooser::keepSelectionInView);
    connect(m_tree->verticalScrollBar(), &QScrollBar::actionTriggered, this, [this] { m_followSelection = false; });
    m_tree->viewport()->installEventFilter(this);

    auto* caption = new QLabel(QStringLiteral("Current Selection:"), this);
    caption->setObjectName(QStringLiteral("lblCurrentSelection"));
    m_selectionLabel = new QLabel(this);
    m_selectionLabel->setObjectName(QStringLiteral("lblSelection"));
    m_selectionLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_selectionLabel->setWordWrap(true);
    QFont bold = m_selectionLabel->font();
    bold.setBold(true);
    m_selectionLabel->setFont(bold);

    auto* newFolder = new QPushButton(QStringLiteral("&New Folder"), this);
    newFolder->setObjectName(QStringLiteral("cmdNewFolder"));
    newFolder->setAutoDefault(false);
    connect(newFolder, &QPushButton::clicked, this, &FolderChooser::createFolder);
    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &FolderChooser::acceptSelection);
    auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(newFolder);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(explanation);
    layout->addWidget(m_tree, 1);
    layout->addWidget(caption);
    layout->addWidget(m_selectionLabel);
    layout->addLayout(buttons);
    resize(460, 480);

    const QString current = download ? m_ctx.settings.Download_Path : m_ctx.settings.Cache_Path;
    setSelection(current.isEmpty() ? m_ctx.folder.path : current);
}

QString FolderChooser::selection() const
{
    return m_selection;
}

void FolderChooser::setSelection(const QString& folder)
{
    m_selection = withSlash(folder);
    m_selectionLabel->setText(m_selection);
    if (!QFileInfo(folder).isDir())
        return;
    const QModelIndex index = m_model->index(QDir::cleanPath(folder));
    if (!index.isValid())
        return;
    m_tree->setCurrentIndex(index);
    m_followSelection = true;
    keepSelectionInView();
}

void FolderChooser::keepSelectionInView()
{
    if (m_followSelection && m_tree->currentIndex().isValid())
        m_tree->scrollTo(m_tree->currentIndex(), QAbstractItemView::PositionAtCenter);
}

bool FolderChooser::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::Wheel)
        m_followSelection = false;
    return QDialog::eventFilter(watched, event);
}

void FolderChooser::createFolder()
{
    const std::optional<QString> answer
        = m_ctx.prompts.input(QStringLiteral("Name of the new folder:"), QStringLiteral("Create new folder"));
    if (!answer)
        return;
    const QString name = answer->trimmed();
    if (name.isEmpty())
        return;
    if (!plainFolderName(name)) {
        m_ctx.prompts.message(
            QStringLiteral("A folder name cannot contain \"/\" or be \".\" or \"..\"."), PromptIcon::Exclamation);
        return;
    }
    const QString path = m_selection + name;
    if (!QFileInfo(path).isDir() && !QDir().mkdir(path)) {
        m_ctx.prompts.message(QStringLiteral("Could not create the folder ") + path, PromptIcon::Exclamation);
        return;
    }
    setSelection(path);
}

void FolderChooser::acceptSelection()
{
    if (m_target == Target::Download)
        m_ctx.settings.Download_Path = m_selection;
    else
        m_ctx.settings.Cache_Path = m_selection;
    accept();
}
