#include "ui/tray_icon.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

TrayIcon::TrayIcon(const QIcon& icon, QObject* parent)
    : QObject(parent)
    , m_menu(new QMenu)
    , m_icon(new QSystemTrayIcon(icon, this))
{
    setObjectName(QStringLiteral("frmSystray"));
    m_icon->setToolTip(QStringLiteral("TideWhelk"));

    QAction* restore = m_menu->addAction(QStringLiteral("&Restore TideWhelk Main Window"));
    restore->setObjectName(QStringLiteral("mnuRestore"));
    connect(restore, &QAction::triggered, this, &TrayIcon::restoreRequested);
    m_menu->addSeparator();
    QAction* end = m_menu->addAction(QStringLiteral("&Shutdown TideWhelk"));
    end->setObjectName(QStringLiteral("mnuEnd"));
    connect(end, &QAction::triggered, this, [this] {
        hide();
        emit shutdownRequested();
    });
    m_icon->setContextMenu(m_menu);

    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            emit restoreRequested();
    });
}

// The menu has no parent widget, so it is ours; the icon goes first as it still points at it.
TrayIcon::~TrayIcon()
{
    delete m_icon;
    delete m_menu;
}

// The platform may refuse an icon (no notification area, no image yet); what counts is that
// the window is waiting behind it.
void TrayIcon::show()
{
    m_shown = true;
    m_icon->show();
}
void TrayIcon::hide()
{
    m_shown = false;
    m_icon->hide();
}
bool TrayIcon::isVisible() const
{
    return m_shown;
}
bool TrayIcon::isAvailable() const
{
    return m_forceAvailable || QSystemTrayIcon::isSystemTrayAvailable();
}
