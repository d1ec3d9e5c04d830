#pragma once

#include <QString>

// The desktop services the core hands work to: sound playback and the shell's "open".
class Desktop {
public:
    virtual ~Desktop() = default;
    [[nodiscard]] virtual bool audioAvailable() const = 0;
    // Asynchronous; a new sound cuts off the one playing.
    virtual void playSound(const QString& path) = 0;
    virtual void openTarget(const QString& target, const QString& workingFolder) = 0;
};
