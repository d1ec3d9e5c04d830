#include "ui/folder_picker.h"

#include "app/prompts.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
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

FolderPicker::FolderPicker(Prompts& prompts, QWidget* parent)
    : QWidget(parent)
    , m_prompts(prompts)
{
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
    m_tree->setMinimumHeight(200);
    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (current.isValid())
            select(m_model->filePath(current));
    });
    // Folders load and sort in the background, moving the selection; follow it until the user
    // takes over the view.
    connect(m_model, &QFileSystemModel::directoryLoaded, this, &FolderPicker::keepSelectionInView);
    connect(m_model, &QFileSystemModel::layoutChanged, this, &FolderPicker::keepSelectionInView);
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

    auto* newFolder = new QPushButton(QStringLiteral("New &Folder"), this);
    newFolder->setObjectName(QStringLiteral("cmdNewFolder"));
    newFolder->setAutoDefault(false);
    connect(newFolder, &QPushButton::clicked, this, &FolderPicker::createFolder);

    auto* current = new QHBoxLayout;
    current->addWidget(caption);
    current->addWidget(m_selectionLabel, 1);
    current->addWidget(newFolder);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tree, 1);
    layout->addLayout(current);
}

void FolderPicker::select(const QString& folder)
{
    m_selection = withSlash(folder);
    m_selectionLabel->setText(m_selection);
    emit selectionChanged(m_selection);
}

void FolderPicker::setSelection(const QString& folder)
{
    select(folder);
    if (!QFileInfo(folder).isDir())
        return;
    const QModelIndex index = m_model->index(QDir::cleanPath(folder));
    if (!index.isValid())
        return;
    m_tree->setCurrentIndex(index);
    m_followSelection = true;
    keepSelectionInView();
}

void FolderPicker::keepSelectionInView()
{
    if (m_followSelection && m_tree->currentIndex().isValid())
        m_tree->scrollTo(m_tree->currentIndex(), QAbstractItemView::PositionAtCenter);
}

bool FolderPicker::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::Wheel)
        m_followSelection = false;
    return QWidget::eventFilter(watched, event);
}

void FolderPicker::createFolder()
{
    const std::optional<QString> answer
        = m_prompts.input(QStringLiteral("Name of the new folder:"), QStringLiteral("Create new folder"));
    if (!answer)
        return;
    const QString name = answer->trimmed();
    if (name.isEmpty())
        return;
    if (!plainFolderName(name)) {
        m_prompts.message(
            QStringLiteral("A folder name cannot contain \"/\" or be \".\" or \"..\"."), PromptIcon::Exclamation);
        return;
    }
    const QString path = m_selection + name;
    if (!QFileInfo(path).isDir() && !QDir().mkdir(path)) {
        m_prompts.message(QStringLiteral("Could not create the folder ") + path, PromptIcon::Exclamation);
        return;
    }
    setSelection(path);
}
