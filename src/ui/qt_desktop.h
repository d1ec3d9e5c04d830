#pragma once

#include "app/desktop.h"

#include <memory>

class QSoundEffect;

// Sound through Qt Multimedia, "open" through the desktop's handler for the file or address.
class QtDesktop final : public Desktop {
public:
    QtDesktop();
    ~QtDesktop() override;

    bool audioAvailable() const override;
    void playSound(const QString& path) override;
    void openTarget(const QString& target, const QString& workingFolder) override;

private:
    std::unique_ptr<QSoundEffect> m_effect;
};
