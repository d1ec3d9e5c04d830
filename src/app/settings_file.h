#pragma once

#include "app/view_layout.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class MainWindowState;
class OpsLog;
class Profile;
class Prompts;
struct Settings;

// Reads and writes the settings record, window placement and column widths in "TWHELK.INI".
class SettingsFile {
public:
    struct Parts {
        Profile& profile;
        Settings& settings;
        OpsLog& log;
        Prompts& prompts;
        MainWindowState& window;
        QString programFolder;
    };
    explicit SettingsFile(const Parts& parts);

    // Never fails: a refused value is logged as "GetIniError: " and keeps its default.
    void LoadOptions();
    void SaveOptions();
    void LoadViewToggles();
    void SaveViewToggles();

    [[nodiscard]] WindowPlacement LoadWindowPlacement();
    void SaveWindowPlacement(const WindowPlacement& placement);

    [[nodiscard]] ColumnLayouts LoadColumnWidths();
    void SaveColumnWidths(const ColumnLayouts& layouts);

    // False when the folder exists or was created; true when creating it failed.
    [[nodiscard]] static bool EnsureFolder(const QString& path);

private:
    // Trusted certificates, one "PinN" line each: a value holds at most 255 bytes.
    void loadPins();
    void savePins();
    [[nodiscard]] QByteArray read(const char* section, const char* key) const;
    [[nodiscard]] QString readText(const char* key) const;
    // Reads an "Options" number into field, true when it did; refused values are logged and leave it unchanged.
    bool readNumber(const char* key, int& field, int minimum, int maximum);
    void readCheck(const char* key, int& field) { readNumber(key, field, 0, 2); }
    void iniError(const QString& description, const char* key, const QByteArray& value);
    void loadFolders();
    void loadPassword();
    void commit(const char* what);

    Parts m;
    bool m_deferErrors = false;
    QStringList m_deferredErrors;
};
