#pragma once

#include <QWidget>

class AppContext;
class QTabWidget;

// "TideWhelk Options": pages Newsgroups, Download, Scan and Program, bound to the settings record.
// Closing only hides it; every change reaches the record at once and the file at shutdown.
class OptionsWindow : public QWidget {
    Q_OBJECT
public:
    enum Page { NewsgroupsPage = 0, DownloadPage = 1, ScanPage = 2, ProgramPage = 3 };

    explicit OptionsWindow(AppContext& context, QWidget* parent = nullptr);

    // Shows the record's current values in the controls (after loading, before showing).
    void syncFromSettings();
    void showPage(Page page);
    // Later parts put the newsgroup list here.
    [[nodiscard]] QWidget* newsgroupsPage() const;

signals:
    void downloadFolderChooserRequested();
    void cacheFolderChooserRequested();
    void watchListRequested();
    void helpRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    AppContext& m_ctx;
    QTabWidget* m_tabs = nullptr;
};
