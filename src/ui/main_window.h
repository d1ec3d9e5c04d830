#pragma once

#include "app/main_window_state.h"
#include "app/settings.h"
#include "program/startup.h"
#include "app/view_layout.h"

#include <QHash>
#include <QIcon>
#include <QMainWindow>

#include <array>

class AppContext;
class FindDialog;
class PartsWindow;
class PreviewWindow;
class QAbstractItemModel;
class QAction;
class QKeyEvent;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QToolBar;
class QToolButton;
class QTreeView;
class TextLine;
class TrayIcon;
class ViewerWindow;

// The main window: header, batch and processed pages, the controls that stay on every page and
// the status line. It shows MainWindowState and routes commands; the work happens in the core.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(AppContext& context, QWidget* parent = nullptr);
    ~MainWindow() override;

    void applySkinIcons(const QList<SkinIcon>& icons);
    void applyPlacement(const WindowPlacement& placement);
    void applyColumnWidths(const ColumnLayouts& layouts);
    [[nodiscard]] WindowPlacement currentPlacement() const;
    [[nodiscard]] ColumnLayouts currentColumnWidths() const;
    // Shows the filter toggles as the settings hold them.
    void repaintToolbar();

    // Images of the list views and the toolbar, by key ("complete", "iteminbatch", ...).
    [[nodiscard]] QIcon skinIcon(const QString& key) const { return m_icons.value(key); }
    [[nodiscard]] QTreeView* view(ColumnLayouts::View view) const;
    void showPage(ColumnLayouts::View page);
    // The menu a right-button release over the list opens: none unless a row is selected.
    [[nodiscard]] QMenu* popupMenuFor(ColumnLayouts::View view) const;
    // "btnsNew": hide items about to expire. Not kept in the settings.
    [[nodiscard]] bool newOnly() const;
    [[nodiscard]] TrayIcon* trayIcon() const { return m_tray; }
    // Queues the files of these NZBs (a drop, the import command); shows the batch when any came.
    void importNzbFiles(const QStringList& paths);
    // Writes the selected items of the header view or the batch as an NZB; false when none or
    // the file could not be written.
    bool exportNzb(ColumnLayouts::View view, const QString& path);

signals:
    // The user closed the window or chose to end the program: run the shutdown.
    void shutdownRequested();
    void optionsRequested();
    void logRequested();
    void watchListRequested();
    void loginRequested();
    void helpRequested();
    void aboutRequested();
    // A filter toggle was clicked; the header view has to be rebuilt.
    void viewFilterChanged();

protected:
    bool event(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Command {
        Scan,
        ScanStop,
        Refresh,
        SaveHeaders,
        Restore,
        Find,
        DeleteHeaders,
        ViewText,
        AddToBatch,
        ViewParts,
        Preview,
        OpenItem,
        SelectAllHeaders,
        KillFilterPoster,
        BatchDownload,
        BatchDownloadStop,
        Remove,
        MoveUp,
        MoveDown,
        MoveToTop,
        MoveToBottom,
        ViewPartsInBatch,
        SelectAllBatch,
        ClearSelected,
        ClearAll,
        ImportNzb,
        ExportNzbHeaders,
        ExportNzbBatch,
    };

    struct FilterToggle {
        const char* key;
        const char* caption;
        const char* icon;
        bool ViewToggles::*field;
    };

    // main_window_pages.cpp
    QWidget* buildTopBar();
    QWidget* buildHeaderPage();
    QWidget* buildBatchPage();
    QWidget* buildProcessedPage();
    QWidget* buildStatsBar();
    QToolBar* buildFilterBar();
    void buildMenus();
    QTreeView* makeView(ColumnLayouts::View view);
    QAbstractItemModel* listModel(ColumnLayouts::View view);
    [[nodiscard]] int minimumColumnWidth(const char* caption) const;
    QPushButton* makeButton(const char* name, const QString& caption, const QString& tip, Command command);
    QPushButton* makeButton(const char* name, const QString& caption, const QString& tip);
    QLabel* makeLabel(const char* name, MainWindowState::Label label);
    TextLine* makeLine(const char* name, MainWindowState::Label label);
    QProgressBar* makeBar(const char* name, MainWindowState::Bar bar);

    // main_window_images.cpp
    [[nodiscard]] static QIcon builtinImage(const QString& key);

    void bindState();
    void showText(MainWindowState::Label label, const QString& text);
    void showProgress(MainWindowState::Bar bar, int value, int maximum);
    void showStats(bool visible);
    void runCommand(Command command);
    void scan();
    void downloadBatch();
    void selectAll(ColumnLayouts::View view);
    // Selected rows of a list, top to bottom.
    [[nodiscard]] QList<int> selectedRows(ColumnLayouts::View view) const;
    void selectRows(ColumnLayouts::View view, const QList<int>& rows);
    void addToBatch();
    void showParts(ColumnLayouts::View view);
    // "view text/nfo", "Preview" and the double click act on the first selected header row.
    void openSelected(Command command);
    void killFilterPoster();
    [[nodiscard]] bool handleViewKey(ColumnLayouts::View view, const QKeyEvent& key);
    void keepAscendingOnNewColumn(ColumnLayouts::View view, int section);
    void minimizeToTray();
    void restoreFromTray();

    static const std::array<FilterToggle, 5> kFilterToggles;

    AppContext& m_ctx;
    QHash<QString, QIcon> m_icons;
    QTabWidget* m_tabs = nullptr;
    std::array<QTreeView*, ColumnLayouts::kViews> m_views {};
    std::array<int, ColumnLayouts::kViews> m_sortSections { -1, -1, -1 };
    QHash<MainWindowState::Label, QLabel*> m_labels;
    // The texts that change while data streams in: they repaint without a new layout.
    QHash<MainWindowState::Label, TextLine*> m_lines;
    QHash<MainWindowState::Bar, QProgressBar*> m_bars;
    QHash<MainWindowState::Control, QWidget*> m_controls;
    std::array<QLabel*, 5> m_stats {};
    QStackedWidget* m_scanInfo = nullptr;
    QWidget* m_loadStrip = nullptr;
    QToolBar* m_filterBar = nullptr;
    QHash<QString, QAction*> m_filterActions;
    QToolButton* m_light = nullptr;
    QMenu* m_mnuHvm = nullptr;
    QMenu* m_mnuBV = nullptr;
    TrayIcon* m_tray = nullptr;
    PartsWindow* m_parts = nullptr;
    FindDialog* m_find = nullptr;
    ViewerWindow* m_viewer = nullptr;
    PreviewWindow* m_preview = nullptr;
};
