#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class Cues;
class EventYield;
class HeaderStore;
class HeaderView;
class Newsgroups;
class OpsLog;
class Prompts;
struct ScanActivity;
struct ViewTable;

// The header search behind the "Find" dialog: every switched-on group's header file is read record
// by record and the items whose key holds the search text are collected in the view table, which
// the header view then lists as search results. The dialog binds to this object.
class HeaderSearch : public QObject {
    Q_OBJECT
public:
    struct Services {
        OpsLog& log;
        Prompts& prompts;
        Cues& cues;
        EventYield& yield;
        const Newsgroups& groups;
        const HeaderStore& headers;
        ViewTable& view;
        // Lists what the search finds.
        HeaderView& headerView;
        const ScanActivity& activity;
    };

    explicit HeaderSearch(const Services& services, QObject* parent = nullptr);

    // txtSearch and chkMatchCase.
    void setText(const QString& text) { m_text = text; }
    [[nodiscard]] QString text() const { return m_text; }
    void setMatchCase(bool on) { m_matchCase = on; }
    [[nodiscard]] bool matchCase() const { return m_matchCase; }

    // The header view's "&Find" button.
    void OpenFind();
    // The dialog's "Find" button. Refused while a search runs (the button should be disabled).
    void SearchHeaders();
    void searchGroup(quint8 key);
    // cmdClose: a running search stops after its current record, keeping what it found.
    void close();

    [[nodiscard]] bool searching() const { return m_searching; }
    // lblSearching and the progress bar, both shown only while searching.
    [[nodiscard]] QString label() const { return m_label; }
    [[nodiscard]] int progress() const { return m_progress; }
    [[nodiscard]] int progressMaximum() const { return m_progressMaximum; }
    // lstSearchGroups: the groups a search covers.
    [[nodiscard]] QStringList groupNames() const;

signals:
    void dialogRequested();
    void dialogHidden();
    void searchingChanged(bool searching);
    void labelChanged(const QString& text);
    void progressChanged(int value, int maximum);

private:
    void setLabel(const QString& text);
    void setProgress(int value, int maximum);

    Services m;
    QString m_text;
    bool m_matchCase = false;
    bool m_searching = false;
    bool m_abort = false;
    QString m_label = QStringLiteral("Searching...");
    int m_progress = 0;
    int m_progressMaximum = 100;
};
