#include "ui/watch_window.h"
#include "ui/window_keys.h"
#include "ui/list_views.h"

#include "app/prompts.h"
#include "app/settings.h"
#include "app/text.h"
#include "watch/watch_list.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

QPushButton* button(const char* name, const QString& caption, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

QRadioButton* radio(const char* name, const QString& caption, QWidget* parent)
{
    auto* r = new QRadioButton(caption, parent);
    r->setObjectName(QLatin1String(name));
    return r;
}

// Sorts the rows for showing only, and gives the Field column its picture.
class SortedWatchRows final : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role == Qt::DecorationRole && index.column() == WatchModel::FieldColumn) {
            const bool subject = index.data(WatchModel::FieldIconRole).toInt() == 1;
            return QApplication::style()->standardIcon(
                subject ? QStyle::SP_FileDialogDetailedView : QStyle::SP_DirHomeIcon);
        }
        return QSortFilterProxyModel::data(index, role);
    }
};

} // namespace

AddWatchDialog::AddWatchDialog(WatchList& watch, Prompts& prompts, const Preset& preset, QWidget* parent)
    : QDialog(parent)
    , m_watch(watch)
    , m_prompts(prompts)
{
    setObjectName(QStringLiteral("frmAddWatch"));
    setWindowTitle(QStringLiteral("Add Watch"));

    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("txtPhrase"));
    // Return adds the typed phrase rather than closing the dialog.
    connect(m_text, &QLineEdit::returnPressed, this, [this] { addTyped(false); });
    auto* must = button("cmdMust", QStringLiteral("+"), this);
    auto* mustNot = button("cmdMustNot", QStringLiteral("[-]"), this);
    for (QPushButton* b : { must, mustNot }) {
        b->setFixedWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("[-]")) + 24);
    }
    connect(must, &QPushButton::clicked, this, [this] { addTyped(false); });
    connect(mustNot, &QPushButton::clicked, this, [this] { addTyped(true); });
    auto* entryRow = new QHBoxLayout;
    entryRow->addWidget(m_text, 1);
    entryRow->addWidget(must);
    entryRow->addWidget(mustNot);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("lstPhrases"));
    connect(m_list, &QListWidget::itemDoubleClicked, this, [](QListWidgetItem* item) { delete item; });

    auto* hint = new QLabel(QStringLiteral("Press the + button to add a keyword or phrase that MUST be found in the "
                                           "item, and press the [-] minus button to add keyword or phrase that MUST "
                                           "NOT be found in the item."),
        this);
    hint->setObjectName(QStringLiteral("lblHint"));
    hint->setWordWrap(true);

    auto* actions = new QGroupBox(QStringLiteral("Action"), this);
    m_addToBatch = radio("optAddToBatch", QStringLiteral("Add to &Batch when post is complete"), actions);
    m_kill = radio("optKill", QStringLiteral("&KILL (delete before crunching header)"), actions);
    auto* actionLayout = new QVBoxLayout(actions);
    actionLayout->addWidget(m_addToBatch);
    actionLayout->addWidget(m_kill);
    auto* where = new QGroupBox(QStringLiteral("Where"), this);
    m_subject = radio("optSubject", QStringLiteral("&Subject"), where);
    m_from = radio("optFrom", QStringLiteral("&From"), where);
    auto* whereLayout = new QVBoxLayout(where);
    whereLayout->addWidget(m_subject);
    whereLayout->addWidget(m_from);
    auto* groups = new QHBoxLayout;
    groups->addWidget(actions, 1);
    groups->addWidget(where);

    m_matchCase = new QCheckBox(QStringLiteral("&Match Case"), this);
    m_matchCase->setObjectName(QStringLiteral("chkMatchCase"));
    auto* add = button("cmdAdd", QStringLiteral("&Add"), this);
    auto* cancel = button("cmdCancel", QStringLiteral("&Cancel"), this);
    connect(add, &QPushButton::clicked, this, &AddWatchDialog::submit);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    for (QPushButton* b : { must, mustNot, add, cancel })
        b->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_matchCase);
    buttons->addStretch();
    buttons->addWidget(add);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Enter a keyword or phrase:"), this));
    layout->addLayout(entryRow);
    layout->addWidget(m_list, 1);
    layout->addWidget(new QLabel(QStringLiteral("(Double-click on a keyword/phrase to remove it)"), this));
    layout->addWidget(hint);
    layout->addLayout(groups);
    layout->addLayout(buttons);

    for (const QByteArray& p : preset.phrases)
        addPhrase(p);
    (preset.action == WatchAction::Kill ? m_kill : m_addToBatch)->setChecked(true);
    (preset.where == WatchField::From ? m_from : m_subject)->setChecked(true);
    resize(460, 420);
}

void AddWatchDialog::addPhrase(const QByteArray& phrase)
{
    auto* item = new QListWidgetItem(displayText(phrase), m_list);
    item->setData(Qt::UserRole, phrase);
}

void AddWatchDialog::addTyped(bool mustNot)
{
    const QString text = m_text->text();
    if (text.isEmpty())
        return;
    addPhrase((mustNot ? QByteArray("-") : QByteArray()) + text.toUtf8());
}

QList<QByteArray> AddWatchDialog::phrases() const
{
    QList<QByteArray> out;
    for (int i = 0; i < m_list->count(); ++i)
        out.append(m_list->item(i)->data(Qt::UserRole).toByteArray());
    return out;
}

void AddWatchDialog::submit()
{
    const QList<QByteArray> list = phrases();
    if (list.isEmpty()) {
        m_prompts.message(QStringLiteral("no items in match list? (click above to add)"));
        return;
    }
    m_watch.WatchList_Add(list, m_from->isChecked() ? WatchField::From : WatchField::Subject, m_matchCase->isChecked(),
        m_kill->isChecked() ? WatchAction::Kill : WatchAction::AddToBatch);
    accept();
}

WatchWindow::WatchWindow(WatchList& watch, const Settings& settings, Prompts& prompts, QWidget* parent)
    : QWidget(parent)
    , m_watch(watch)
    , m_settings(settings)
    , m_prompts(prompts)
{
    closeOnEscape(this);
    setObjectName(QStringLiteral("frmWatch"));
    setWindowTitle(QStringLiteral("Watch List / Kill Filter"));

    m_sorted = new SortedWatchRows(this);
    m_sorted->setSourceModel(&m_watch.model());
    m_list = new QTreeView(this);
    m_list->setObjectName(QStringLiteral("lvWatch"));
    m_list->setModel(m_sorted);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSortingEnabled(true);
    // Unsorted until a column header is clicked: the table's own order.
    m_list->header()->setSortIndicator(-1, Qt::AscendingOrder);
    setUpList(m_list);
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(WatchModel::TextColumn, QHeaderView::Stretch);
    for (int c = WatchModel::FieldColumn; c < WatchModel::ColumnCount; ++c)
        m_list->setColumnWidth(c, 96);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lblStatus"));
    auto* add = button("cmdAdd", QStringLiteral("&Add"), this);
    auto* remove = button("cmdRemove", QStringLiteral("&Remove"), this);
    auto* closeButton = button("cmdClose", QStringLiteral("&Close"), this);
    connect(add, &QPushButton::clicked, this, [this] { openAddDialog(); });
    connect(remove, &QPushButton::clicked, this, &WatchWindow::removeSelected);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::hide);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::hide);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addWidget(closeButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
    resize(640, 320);
    refreshStatus();
}

bool WatchWindow::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::Show)
        refreshStatus();
    return QWidget::event(event);
}

void WatchWindow::refreshStatus()
{
    m_status->setText(m_settings.watchEnabled() ? QStringLiteral("Watch List / Kill Filter Active")
                                                : QStringLiteral("Not Enabled.  (enable via options)"));
}

AddWatchDialog* WatchWindow::openAddDialog(const AddWatchDialog::Preset& preset)
{
    auto* dialog = new AddWatchDialog(m_watch, m_prompts, preset, this);
    dialog->setWindowFlag(Qt::Window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
    return dialog;
}

void WatchWindow::removeSelected()
{
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    m_watch.WatchList_RemoveItem(rows.first().data(WatchModel::EntryRole).toInt());
}
