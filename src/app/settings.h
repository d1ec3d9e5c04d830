#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// The five state filters of the header view, persisted with the settings.
struct ViewToggles {
    bool togtsComplete = true;
    bool togtsText = true;
    bool togtsUnknown = true;
    bool togtsIncomplete = true;
    bool togtsInBatch = true;
};

// How the line to the server is secured ("News_SSL").
enum class Encryption : int { None = 0, StartTls = 1, Tls = 2 };

// What the login window shows: the server and how to log in to it.
struct LoginFields {
    QString host;
    QString port;
    QString userName;
    QByteArray password;
    int chkAuth = 0;
    int chkSavePassword = 0;
    Encryption encryption = Encryption::None;
};

// Every user setting, edited in place by the options, login and log windows and read by every
// part of the program. Field names are the keys of "TWHELK.INI". Check boxes hold 0, 1 or 2
// (greyed), sliders their position. Folders end with "/".
struct Settings {
    QString Download_Path;
    QString Cache_Path;
    int Rescan_Time = 90;
    int sldTimeout = 60;
    int Download_Connections = 4;
    int chkAgressiveHeaderCrunch = 0;
    QString News_Host;
    QString News_Port = QStringLiteral("119");
    QString User_Name;
    int chkSavePassword = 0;
    QByteArray password; // plain; stored scrambled under "User_PWX"
    int chkAuth = 0;
    Encryption News_SSL = Encryption::None;
    // Certificates the user trusted though they do not verify: "host:port" to hex SHA-256.
    QMap<QString, QByteArray> News_SSL_Pins;
    int chkMakeSubDirs = 1;
    int chkSFX = 0;
    int chkDisableStats = 0;
    int chkSaveDecodes = 0;
    int chkSaveDecodes2 = 0;
    int chkOldRenameStyle = 0;
    int chkSlave = 0;
    int chkModeReader = 0;
    int sldXOVER = 100;
    int chkAllowRestart = 1;
    int chkRestart500 = 0;
    int chkAutodownload = 1;
    int chkAutoExpire = 1;
    int chkCompress = 1;
    // After a download: verify and repair sets with par2, unpack their archives; then delete them.
    int chkPostProcess = 1;
    int chkPostDelete = 0;
    int chkSysTray = 0;
    int chkEnableWatch = 0;
    int chkLogFile = 0;
    int chkEnableLogging = 0;
    ViewToggles toggles;

    // Not stored: set by loading when no server or download folder is configured yet.
    bool firstRun = false;
    // Not stored: the sound option is offered only when the "sfx" folder exists.
    bool sfxAvailable = true;

    [[nodiscard]] bool aggressiveCrunch() const { return chkAgressiveHeaderCrunch != 0; }
    [[nodiscard]] bool watchEnabled() const { return chkEnableWatch != 0; }
    [[nodiscard]] LoginFields login() const
    {
        return { News_Host, News_Port, User_Name, password, chkAuth, chkSavePassword, News_SSL };
    }
    void setLogin(const LoginFields& f)
    {
        News_Host = f.host;
        News_Port = f.port;
        User_Name = f.userName;
        password = f.password;
        chkAuth = f.chkAuth;
        chkSavePassword = f.chkSavePassword;
        News_SSL = f.encryption;
    }
};

struct SliderRange {
    int minimum;
    int maximum;
    int smallStep;
    int largeStep;
};

namespace slider {
constexpr SliderRange kRescan { 5, 240, 1, 10 };
constexpr SliderRange kTimeout { 15, 240, 1, 5 };
constexpr SliderRange kXover { 20, 3000, 1, 5 };
constexpr SliderRange kConnections { 1, 20, 1, 4 };
} // namespace slider

// The port a server field left empty means.
[[nodiscard]] inline QString defaultPort(Encryption encryption)
{
    return encryption == Encryption::Tls ? QStringLiteral("563") : QStringLiteral("119");
}
// "host:port", the key of a pinned certificate.
[[nodiscard]] inline QString serverKey(const QString& host, quint16 port)
{
    return host.trimmed().toLower() + u':' + QString::number(port);
}

// Live captions beside the sliders.
[[nodiscard]] QString rescanLabel(int seconds);
[[nodiscard]] QString timeoutLabel(int seconds);
[[nodiscard]] QString xoverLabel(int headers);
[[nodiscard]] QString connectionsLabel(int connections);
