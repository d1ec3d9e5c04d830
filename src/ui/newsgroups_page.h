#pragma once

#include <QDialog>
#include <QWidget>

class AppContext;
class QLineEdit;
class QTreeView;

// The "Newsgroups" page of the options window: the scan list with its ordering, toggle and
// reset commands. The list itself is the core's newsgroup model.
class NewsgroupsPage : public QWidget {
    Q_OBJECT
public:
    explicit NewsgroupsPage(AppContext& context, QWidget* parent = nullptr);

    [[nodiscard]] QTreeView* list() const { return m_list; }
    // Opens "Add a newsgroup" over the page.
    void openAddDialog(bool modal);

signals:
    void hostGroupsRequested();

private:
    [[nodiscard]] QList<int> selectedRows() const;
    void select(const QList<int>& rows);
    void openProperties();

    AppContext& m_ctx;
    QTreeView* m_list;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

// "Add a newsgroup": one group typed or pasted by the user.
class AddGroupDialog : public QDialog {
    Q_OBJECT
public:
    explicit AddGroupDialog(AppContext& context, QWidget* parent = nullptr);

signals:
    void hostGroupsRequested();

private:
    void add();

    AppContext& m_ctx;
    QLineEdit* m_name;
};
