#pragma once

#include <QString>

#include <functional>
#include <vector>

class QCheckBox;
class QWidget;
struct Settings;

// Check boxes bound to the 0/1/2 fields of the settings record. A user change writes the field at
// once; 2 (greyed) only ever comes from the settings file and shows as partially checked.
class SettingChecks {
public:
    explicit SettingChecks(Settings& settings)
        : m_settings(settings)
    {
    }

    // changed runs after the field was written by a user change, never during sync().
    QCheckBox* add(const QString& name, const QString& text, int Settings::*field, QWidget* parent,
        std::function<void()> changed = {});
    // Shows the record's values without writing them back.
    void sync();

    static void showValue(QCheckBox* box, int value);

private:
    struct Binding {
        QCheckBox* box;
        int Settings::*field;
    };

    Settings& m_settings;
    std::vector<Binding> m_bindings;
};
