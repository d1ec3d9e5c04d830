#pragma once

#include "watch/watch_entry.h"

#include <QDialog>
#include <QWidget>

class Prompts;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QRadioButton;
class QSortFilterProxyModel;
class QTreeView;
class WatchList;
struct Settings;

// "Add Watch": collects must and must-not phrases, the field, the case rule and the action of a
// new watch entry.
class AddWatchDialog : public QDialog {
    Q_OBJECT
public:
    // What the dialog starts with; "Kill Filter this Poster" hands in the poster and the kill rule.
    struct Preset {
        QList<QByteArray> phrases;
        WatchField where = WatchField::Subject;
        WatchAction action = WatchAction::AddToBatch;
    };

    AddWatchDialog(WatchList& watch, Prompts& prompts, const Preset& preset, QWidget* parent = nullptr);

    // The phrases in the list, in order, as bytes.
    [[nodiscard]] QList<QByteArray> phrases() const;

private:
    void addPhrase(const QByteArray& phrase);
    void addTyped(bool mustNot);
    void submit();

    WatchList& m_watch;
    Prompts& m_prompts;
    QLineEdit* m_text = nullptr;
    QListWidget* m_list = nullptr;
    QRadioButton* m_addToBatch = nullptr;
    QRadioButton* m_kill = nullptr;
    QRadioButton* m_subject = nullptr;
    QRadioButton* m_from = nullptr;
    QCheckBox* m_matchCase = nullptr;
};

// "Watch List / Kill Filter": the entries of the watch list, with Add, Remove and Close.
class WatchWindow : public QWidget {
    Q_OBJECT
public:
    WatchWindow(WatchList& watch, const Settings& settings, Prompts& prompts, QWidget* parent = nullptr);

    // Opens "Add Watch" over this window.
    AddWatchDialog* openAddDialog(const AddWatchDialog::Preset& preset = {});
    [[nodiscard]] QTreeView* list() const { return m_list; }

protected:
    bool event(QEvent* event) override;

private:
    void refreshStatus();
    void removeSelected();

    WatchList& m_watch;
    const Settings& m_settings;
    Prompts& m_prompts;
    QSortFilterProxyModel* m_sorted = nullptr;
    QTreeView* m_list = nullptr;
    QLabel* m_status = nullptr;
};
