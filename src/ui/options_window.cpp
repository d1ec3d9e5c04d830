#include "ui/options_window.h"

#include "app/app_context.h"

#include <QCloseEvent>
#include <QTabWidget>

OptionsWindow::OptionsWindow(AppContext& context, QWidget* parent)
    : QWidget(parent)
    , m_ctx(context)
{
    setWindowTitle(QStringLiteral("TideWhelk Options"));
}

void OptionsWindow::syncFromSettings() {}
void OptionsWindow::showPage(Page) {}
QWidget* OptionsWindow::newsgroupsPage() const { return nullptr; }
void OptionsWindow::showEvent(QShowEvent* event) { QWidget::showEvent(event); }

void OptionsWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    hide();
}
