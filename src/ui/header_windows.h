#pragma once

#include <QIdentityProxyModel>
#include <QWidget>

#include <functional>

class AppContext;
class HeaderSearch;
class ItemPartsModel;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;

// Shows a list model's icon key (a role of its rows, or one key for every row) as the image of
// the first column.
class IconProxy : public QIdentityProxyModel {
    Q_OBJECT
public:
    using IconFor = std::function<QIcon(const QString& key)>;
    // keyRole < 0: every row shows fixedKey.
    IconProxy(QAbstractItemModel* source, int keyRole, QString fixedKey, IconFor iconFor, QObject* parent = nullptr);
    QVariant data(const QModelIndex& index, int role) const override;

private:
    int m_keyRole;
    QString m_fixedKey;
    IconFor m_iconFor;
};

// "View Parts": the parts of one item, filled by the header view model.
class PartsWindow : public QWidget {
    Q_OBJECT
public:
    PartsWindow(ItemPartsModel& parts, const IconProxy::IconFor& iconFor, QWidget* parent = nullptr);

signals:
    // A part was double-clicked: the row of the item's part.
    void partActivated(int row);
};

// "Find": the header search over every switched-on group.
class FindDialog : public QWidget {
    Q_OBJECT
public:
    explicit FindDialog(HeaderSearch& search, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void showSearching(bool searching);

    HeaderSearch& m_search;
    QListWidget* m_groups = nullptr;
    QLineEdit* m_text = nullptr;
    QCheckBox* m_matchCase = nullptr;
    QPushButton* m_find = nullptr;
    QLabel* m_searching = nullptr;
    QProgressBar* m_progress = nullptr;
};
