#pragma once

#include "groups/host_groups.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTreeView;

// "Host Newsgroups": the server's group list, fetched, searched and added to the newsgroup list.
// Shows the group manager's state; every command goes to it.
class HostGroupsWindow : public QWidget {
    Q_OBJECT
public:
    explicit HostGroupsWindow(HostGroups& hostGroups, QWidget* parent = nullptr);

    [[nodiscard]] QTreeView* list() const { return m_list; }

protected:
    // Opening the window loads the list from disk.
    void showEvent(QShowEvent* event) override;

private:
    void search();
    void addSelections();
    void syncControls();
    void sortBy(int column);

    HostGroups& m_core;
    QPushButton* m_retrieve;
    QPushButton* m_reload;
    QLineEdit* m_query;
    QRadioButton* m_startsWith;
    QRadioButton* m_contains;
    QPushButton* m_search;
    QCheckBox* m_filter;
    QLineEdit* m_moreThan;
    QTreeView* m_list;
    QPushButton* m_add;
    QProgressBar* m_progress;
    QLabel* m_panels[2];
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};
