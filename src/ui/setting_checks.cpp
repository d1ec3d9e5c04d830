#include "ui/setting_checks.h"

#include "app/settings.h"

#include <QCheckBox>
#include <QSignalBlocker>

namespace {

int valueOf(int state)
{
    switch (state) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    default:
        return 0;
    }
}

} // namespace

QCheckBox* SettingChecks::add(
    const QString& name, const QString& text, int Settings::*field, QWidget* parent, std::function<void()> changed)
{
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(name);
    QObject::connect(box, &QCheckBox::stateChanged, box, [this, box, field, changed = std::move(changed)](int state) {
        // Once the user has clicked, the greyed state cannot be reached again.
        if (box->isTristate() && state != Qt::PartiallyChecked)
            box->setTristate(false);
        m_settings.*field = valueOf(state);
        if (changed)
            changed();
    });
    m_bindings.push_back({ box, field });
    return box;
}

void SettingChecks::sync()
{
    for (const Binding& b : m_bindings)
        showValue(b.box, m_settings.*b.field);
}

void SettingChecks::showValue(QCheckBox* box, int value)
{
    const QSignalBlocker block(box);
    box->setTristate(value == 2);
    box->setCheckState(value == 2 ? Qt::PartiallyChecked : value ? Qt::Checked : Qt::Unchecked);
}
