#include "app/settings_file.h"

#include "app/format.h"
#include "app/main_window_state.h"
#include "app/ops_log.h"
#include "app/password.h"
#include "app/profile.h"
#include "app/prompts.h"
#include "app/settings.h"
#include "app/text.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>

namespace {

constexpr const char* kOptions = "Options";
constexpr const char* kSizing = "Sizing";
constexpr const char* kPins = "Trusted Certificates";
constexpr int kMaxPins = 16;

QString withSlash(QString folder)
{
    if (!folder.isEmpty() && !folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

QByteArray number(int value)
{
    return QByteArray::number(value);
}

// A value cut at its 255 bytes may end inside a UTF-8 character; without that piece it still reads
// as UTF-8 rather than as Latin-1 throughout.
QString valueText(const QByteArray& value)
{
    if (value.size() == Profile::kMaxValueBytes) {
        qsizetype lead = value.size() - 1;
        while (lead > value.size() - 4 && (static_cast<uchar>(value[lead]) & 0xC0) == 0x80)
            --lead;
        const uchar c = static_cast<uchar>(value[lead]);
        const qsizetype length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        const QByteArray whole = value.first(lead).trimmed();
        if (lead + length > value.size() && QString::fromUtf8(whole).toUtf8() == whole)
            return QString::fromUtf8(whole);
    }
    return displayText(value);
}

struct CheckKey {
    const char* key;
    int Settings::*field;
};

// Check boxes read in one run after the password; the file order puts "chkSysTray" earlier.
constexpr CheckKey kChecksAfterPassword[] = {
    { "chkAuth", &Settings::chkAuth },
    { "chkMakeSubDirs", &Settings::chkMakeSubDirs },
    { "chkSFX", &Settings::chkSFX },
    { "chkDisableStats", &Settings::chkDisableStats },
    { "chkSaveDecodes", &Settings::chkSaveDecodes },
    { "chkSaveDecodes2", &Settings::chkSaveDecodes2 },
    { "chkOldRenameStyle", &Settings::chkOldRenameStyle },
    { "chkSlave", &Settings::chkSlave },
    { "chkModeReader", &Settings::chkModeReader },
};
constexpr CheckKey kChecksAfterXover[] = {
    { "chkAllowRestart", &Settings::chkAllowRestart },
    { "chkRestart500", &Settings::chkRestart500 },
    { "chkAutodownload", &Settings::chkAutodownload },
    { "chkAutoExpire", &Settings::chkAutoExpire },
    { "chkCompress", &Settings::chkCompress },
    { "chkPostProcess", &Settings::chkPostProcess },
    { "chkPostDelete", &Settings::chkPostDelete },
};
constexpr CheckKey kLastChecksSaveOrder[] = {
    { "chkSysTray", &Settings::chkSysTray },
    { "chkEnableWatch", &Settings::chkEnableWatch },
    { "chkLogFile", &Settings::chkLogFile },
    { "chkEnableLogging", &Settings::chkEnableLogging },
};

struct ToggleKey {
    const char* key;
    bool ViewToggles::*field;
};
constexpr ToggleKey kToggles[] = {
    { "togtsComplete", &ViewToggles::togtsComplete },
    { "togtsText", &ViewToggles::togtsText },
    { "togtsUnknown", &ViewToggles::togtsUnknown },
    { "togtsIncomplete", &ViewToggles::togtsIncomplete },
    { "togtsInBatch", &ViewToggles::togtsInBatch },
};

} // namespace

SettingsFile::SettingsFile(const Parts& parts)
    : m(parts)
{
}

QByteArray SettingsFile::read(const char* section, const char* key) const
{
    return m.profile.value(section, key);
}

QString SettingsFile::readText(const char* key) const
{
    return valueText(read(kOptions, key));
}

void SettingsFile::iniError(const QString& description, const char* key, const QByteArray& value)
{
    const QString line
        = QStringLiteral("GetIniError: %1 (%2=%3)").arg(description, QLatin1String(key), displayText(value));
    if (m_deferErrors)
        m_deferredErrors.append(line);
    else
        m.log.WriteLog(line, true);
}

bool SettingsFile::readNumber(const char* key, int& field, int minimum, int maximum)
{
    const QByteArray raw = read(kOptions, key);
    if (raw.isEmpty())
        return false;
    const double v = std::nearbyint(fmt::Val(raw));
    if (v < minimum || v > maximum) {
        iniError(QStringLiteral("Invalid property value"), key, raw);
        return false;
    }
    field = static_cast<int>(v);
    return true;
}

bool SettingsFile::EnsureFolder(const QString& path)
{
    if (QFileInfo(path).isDir())
        return false;
    // One level only: a folder on a missing drive must not be rebuilt somewhere else.
    return !QDir().mkdir(path);
}

void SettingsFile::loadFolders()
{
    Settings& s = m.settings;
    const QString download = readText("Download_Path");
    if (download.isEmpty()) {
        s.firstRun = true;
        s.Download_Path = m.programFolder + QStringLiteral("/download/");
    } else {
        s.Download_Path = withSlash(download);
    }
    if (!QFileInfo(s.Download_Path).isDir() && EnsureFolder(s.Download_Path)) {
        m.prompts.message(QStringLiteral("Error re-creating missing download path, please re-select."));
        m.prompts.openWindow(AppWindow::DownloadFolderChooser, true);
    }

    const QString cache = readText("Cache_Path");
    s.Cache_Path = cache.isEmpty() ? s.Download_Path + QStringLiteral("twcache/") : withSlash(cache);
    if (!QFileInfo(s.Cache_Path).isDir() && EnsureFolder(s.Cache_Path)) {
        m.prompts.message(QStringLiteral("Error re-creating missing cache path, please re-select."));
        m.prompts.openWindow(AppWindow::CacheFolderChooser, true);
    }
}

void SettingsFile::loadPassword()
{
    Settings& s = m.settings;
    const QByteArray scrambled = read(kOptions, "User_PWX");
    if (!scrambled.isEmpty()) {
        s.password = UnscramblePassword(scrambled);
        return;
    }
    const QByteArray plain = read(kOptions, "User_Pass");
    if (plain.isEmpty())
        return;
    // An old plain password is moved to the scrambled key at once, whatever "Save Password" says.
    s.password = plain;
    m.profile.setValue(kOptions, "User_Pass", "");
    m.profile.setValue(kOptions, "User_PWX", ScramblePassword(plain));
    commit("LoadOptions");
}

void SettingsFile::LoadOptions()
{
    Settings& s = m.settings;
    // The log settings are read near the end; hold errors until they are known.
    m_deferErrors = true;
    loadFolders();
    readNumber("Rescan_Time", s.Rescan_Time, slider::kRescan.minimum, slider::kRescan.maximum);
    readNumber("sldTimeout", s.sldTimeout, slider::kTimeout.minimum, slider::kTimeout.maximum);
    readNumber(
        "Download_Connections", s.Download_Connections, slider::kConnections.minimum, slider::kConnections.maximum);
    readCheck("chkAgressiveHeaderCrunch", s.chkAgressiveHeaderCrunch);
    s.News_Host = readText("News_Host");
    if (s.News_Host.isEmpty())
        s.firstRun = true;
    if (int ssl = 0; readNumber("News_SSL", ssl, 0, 2))
        s.News_SSL = static_cast<Encryption>(ssl);
    // The port the encryption implies, unless the file names one.
    s.News_Port = defaultPort(s.News_SSL);
    if (int port = 0; readNumber("News_Port", port, 1, 65535))
        s.News_Port = QString::number(port);
    loadPins();
    s.User_Name = readText("User_Name");
    if (const QString last = readText("lastscandate"); !last.isEmpty())
        m.window.setText(MainWindowState::Label::LastScan, last);
    readCheck("chkSavePassword", s.chkSavePassword);
    loadPassword();
    for (const CheckKey& c : kChecksAfterPassword)
        readCheck(c.key, s.*c.field);
    readNumber("sldXOVER", s.sldXOVER, slider::kXover.minimum, slider::kXover.maximum);
    for (const CheckKey& c : kChecksAfterXover)
        readCheck(c.key, s.*c.field);
    readCheck("chkEnableWatch", s.chkEnableWatch);
    readCheck("chkLogFile", s.chkLogFile);
    readCheck("chkEnableLogging", s.chkEnableLogging);
    readCheck("chkSysTray", s.chkSysTray);
    LoadViewToggles();
    m_deferErrors = false;
    for (const QString& line : std::exchange(m_deferredErrors, {}))
        m.log.WriteLog(line, true);
}

void SettingsFile::LoadViewToggles()
{
    for (const ToggleKey& t : kToggles) {
        const QByteArray raw = read(kOptions, t.key);
        if (raw.isEmpty()) {
            m.settings.toggles.*t.field = true;
            continue;
        }
        const std::optional<bool> value = fmt::parseBoolean(raw);
        if (!value) {
            iniError(QStringLiteral("Type mismatch"), t.key, raw);
            return;
        }
        m.settings.toggles.*t.field = *value;
    }
}

void SettingsFile::SaveOptions()
{
    const Settings& s = m.settings;
    Profile& p = m.profile;
    p.setValue(kOptions, "Download_Path", s.Download_Path.trimmed().toUtf8());
    p.setValue(kOptions, "Cache_Path", s.Cache_Path.trimmed().toUtf8());
    p.setValue(kOptions, "Rescan_Time", number(s.Rescan_Time));
    p.setValue(kOptions, "sldTimeout", number(s.sldTimeout));
    p.setValue(kOptions, "Download_Connections", number(s.Download_Connections));
    p.setValue(kOptions, "chkAgressiveHeaderCrunch", number(s.chkAgressiveHeaderCrunch));
    p.setValue(kOptions, "News_Host", s.News_Host.trimmed().toUtf8());
    p.setValue(kOptions, "News_Port", s.News_Port.trimmed().toUtf8());
    p.setValue(kOptions, "News_SSL", number(static_cast<int>(s.News_SSL)));
    p.setValue(kOptions, "User_Name", s.User_Name.trimmed().toUtf8());
    p.setValue(kOptions, "lastscandate", m.window.text(MainWindowState::Label::LastScan).trimmed().toUtf8());
    p.setValue(kOptions, "chkSavePassword", number(s.chkSavePassword));
    p.setValue(kOptions, "User_PWX", s.chkSavePassword ? ScramblePassword(s.password.trimmed()) : QByteArray());
    for (const CheckKey& c : kChecksAfterPassword)
        p.setValue(kOptions, c.key, number(s.*c.field));
    p.setValue(kOptions, "sldXOVER", number(s.sldXOVER));
    for (const CheckKey& c : kChecksAfterXover)
        p.setValue(kOptions, c.key, number(s.*c.field));
    for (const CheckKey& c : kLastChecksSaveOrder)
        p.setValue(kOptions, c.key, number(s.*c.field));
    savePins();
    SaveViewToggles();
}

void SettingsFile::loadPins()
{
    QMap<QString, QByteArray>& pins = m.settings.News_SSL_Pins;
    pins.clear();
    for (int i = 1; i <= kMaxPins; ++i) {
        // "host:port fingerprint"; anything else is not a pin we wrote.
        const QList<QByteArray> fields = read(kPins, "Pin" + number(i)).simplified().split(' ');
        if (fields.size() == 2 && fields[0].contains(':') && fields[1].size() == 64)
            pins.insert(QString::fromUtf8(fields[0]).toLower(), fields[1].toLower());
    }
}

void SettingsFile::savePins()
{
    const QMap<QString, QByteArray>& pins = m.settings.News_SSL_Pins;
    // Only a file that trusts a certificate gets the section.
    if (pins.isEmpty() && read(kPins, "Pin1").isEmpty())
        return;
    int i = 1;
    for (auto it = pins.begin(); it != pins.end() && i <= kMaxPins; ++it, ++i)
        m.profile.setValue(kPins, "Pin" + number(i), it.key().toUtf8() + ' ' + it.value());
    for (; i <= kMaxPins; ++i) {
        if (!read(kPins, "Pin" + number(i)).isEmpty())
            m.profile.setValue(kPins, "Pin" + number(i), "");
    }
}

void SettingsFile::SaveViewToggles()
{
    for (const ToggleKey& t : kToggles)
        m.profile.setValue(kOptions, t.key, m.settings.toggles.*t.field ? "True" : "False");
    commit("SaveOptions");
}

WindowPlacement SettingsFile::LoadWindowPlacement()
{
    WindowPlacement placement;
    auto strict = [this](const char* key) -> std::optional<int> {
        const QByteArray raw = read(kSizing, key);
        if (raw.isEmpty())
            return std::nullopt;
        bool ok = false;
        const int v = raw.toInt(&ok);
        if (!ok) {
            iniError(QStringLiteral("Type mismatch"), key, raw);
            return std::nullopt;
        }
        return v;
    };
    placement.top = strict("Top");
    if (!placement.top)
        return placement;
    placement.left = strict("Left");
    placement.width = strict("Width");
    placement.height = strict("height");
    if (const std::optional<int> state = strict("WindowState"); state && *state >= 0 && *state <= 2)
        placement.windowState = *state;
    return placement;
}

void SettingsFile::SaveWindowPlacement(const WindowPlacement& placement)
{
    Profile& p = m.profile;
    p.setValue(kSizing, "WindowState", number(placement.windowState));
    // A maximised or minimised window keeps the last normal placement in the file.
    if (placement.windowState == WindowPlacement::Normal) {
        p.setValue(kSizing, "Top", number(placement.top.value_or(0)));
        p.setValue(kSizing, "Left", number(placement.left.value_or(0)));
        p.setValue(kSizing, "Height", number(placement.height.value_or(0)));
        p.setValue(kSizing, "Width", number(placement.width.value_or(0)));
    }
    commit("SaveWindowPlacement");
}

ColumnLayouts SettingsFile::LoadColumnWidths()
{
    ColumnLayouts layouts;
    for (int view = 0; view < ColumnLayouts::kViews; ++view) {
        const QList<ColumnSpec> specs = ColumnLayouts::columns(view);
        for (qsizetype c = 0; c < specs.size(); ++c) {
            const QByteArray key = "C" + QByteArray::number(c + 1);
            const double stored = std::nearbyint(fmt::Val(read(ColumnLayouts::section(view), key.constData())));
            layouts.widths[view].append(
                stored < 1 || stored > 100000 ? specs[c].defaultWidth : static_cast<int>(stored));
        }
    }
    const char* header = ColumnLayouts::section(ColumnLayouts::HeaderView);
    const double column = std::nearbyint(fmt::Val(read(header, "SortColumn")));
    if (column >= 1 && column <= ColumnLayouts::columns(ColumnLayouts::HeaderView).size()) {
        layouts.headerSortColumn = static_cast<int>(column) - 1;
        layouts.headerSortDescending = read(header, "SortOrder").trimmed() == "1";
    }
    return layouts;
}

void SettingsFile::SaveColumnWidths(const ColumnLayouts& layouts)
{
    for (int view = 0; view < ColumnLayouts::kViews; ++view) {
        const QList<int>& widths = layouts.widths[view];
        for (qsizetype c = 0; c < widths.size(); ++c)
            m.profile.setValue(ColumnLayouts::section(view), "C" + QByteArray::number(c + 1), number(widths[c]));
    }
    const char* header = ColumnLayouts::section(ColumnLayouts::HeaderView);
    m.profile.setValue(header, "SortColumn", number(layouts.headerSortColumn + 1));
    m.profile.setValue(header, "SortOrder", number(layouts.headerSortDescending ? 1 : 0));
    commit("SaveColumnWidths");
}

void SettingsFile::commit(const char* what)
{
    if (!m.profile.save())
        m.log.WriteLog(QStringLiteral("%1 Error: %2").arg(QLatin1String(what), m.profile.errorText()), true);
}
