#include "ui/login_window.h"

#include "app/app_context.h"

#include <QCloseEvent>

LoginWindow::LoginWindow(AppContext& context, QWidget* parent)
    : QWidget(parent)
    , m_ctx(context)
{
    setWindowTitle(QStringLiteral("Login"));
}

void LoginWindow::syncFromSettings() {}
void LoginWindow::showEvent(QShowEvent* event) { QWidget::showEvent(event); }

void LoginWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    hide();
}
