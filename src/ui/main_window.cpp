#include "ui/main_window.h"

#include "app/app_context.h"

#include <QCloseEvent>
#include <QTreeView>

MainWindow::MainWindow(AppContext& context, QWidget* parent)
    : QMainWindow(parent)
    , m_ctx(context)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("TideWhelk"));
}

void MainWindow::applySkinIcons(const QList<SkinIcon>&) {}
void MainWindow::applyPlacement(const WindowPlacement&) {}
void MainWindow::applyColumnWidths(const ColumnLayouts&) {}
WindowPlacement MainWindow::currentPlacement() const { return {}; }
ColumnLayouts MainWindow::currentColumnWidths() const { return m_ctx.columns; }
void MainWindow::repaintToolbar() {}
QTreeView* MainWindow::view(ColumnLayouts::View) const { return nullptr; }

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    emit shutdownRequested();
}

void MainWindow::changeEvent(QEvent* event) { QMainWindow::changeEvent(event); }
