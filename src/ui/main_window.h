#pragma once

#include "app/startup.h"
#include "app/view_layout.h"

#include <QHash>
#include <QIcon>
#include <QMainWindow>

class AppContext;
class QLabel;
class QTabWidget;
class QTreeView;

// The main window: header, batch and processed pages, the controls that stay on every page and
// the status line. It shows MainWindowState and routes commands; the work happens in the core.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(AppContext& context, QWidget* parent = nullptr);

    void applySkinIcons(const QList<SkinIcon>& icons);
    void applyPlacement(const WindowPlacement& placement);
    void applyColumnWidths(const ColumnLayouts& layouts);
    [[nodiscard]] WindowPlacement currentPlacement() const;
    [[nodiscard]] ColumnLayouts currentColumnWidths() const;
    void repaintToolbar();

    // Images of the list views and the toolbar, by key ("complete", "iteminbatch", ...).
    [[nodiscard]] QIcon skinIcon(const QString& key) const { return m_icons.value(key); }
    [[nodiscard]] QTreeView* view(ColumnLayouts::View view) const;

signals:
    // The user closed the window or chose to end the program: run the shutdown.
    void shutdownRequested();
    void optionsRequested();
    void logRequested();
    void watchListRequested();
    void loginRequested();
    void helpRequested();
    void aboutRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    AppContext& m_ctx;
    QHash<QString, QIcon> m_icons;
};
