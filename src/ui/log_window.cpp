#include "ui/log_window.h"

#include "app/app_context.h"

LogWindow::LogWindow(AppContext& context, QWidget* parent)
    : QWidget(parent)
    , m_ctx(context)
{
    setWindowTitle(QStringLiteral("LOG"));
}

void LogWindow::syncFromSettings() {}
void LogWindow::showEvent(QShowEvent* event) { QWidget::showEvent(event); }
