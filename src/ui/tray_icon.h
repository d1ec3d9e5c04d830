#pragma once

#include <QObject>

class QAction;
class QIcon;
class QMenu;
class QSystemTrayIcon;

// The notification-area icon that stands in for the main window while it is minimised to the tray.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    explicit TrayIcon(const QIcon& icon, QObject* parent = nullptr);
    ~TrayIcon() override;

    void show();
    void hide();
    [[nodiscard]] bool isVisible() const;
    [[nodiscard]] QMenu* menu() const { return m_menu; }

    // Without a notification area a hidden window could not be brought back.
    [[nodiscard]] bool isAvailable() const;
    // Headless test runs have no notification area but still need to take the tray path.
    void setAvailableForTests(bool available) { m_forceAvailable = available; }

signals:
    void restoreRequested();
    void shutdownRequested();

private:
    QMenu* m_menu;
    QSystemTrayIcon* m_icon;
    bool m_forceAvailable = false;
    bool m_shown = false;
};
