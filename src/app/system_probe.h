#pragma once

#include <QString>

// Free space, the temporary folder and memory figures of the machine; tests feed their own.
class SystemProbe {
public:
    struct Disk {
        qint64 freeBytes = 0;
        QString root; // mount point of the file system holding the path
    };
    struct Memory {
        qint64 availablePhysicalBytes = 0;
        qint64 availableSwapBytes = 0;
    };

    virtual ~SystemProbe() = default;
    [[nodiscard]] virtual Disk disk(const QString& path) const = 0;
    // Empty when it cannot be determined.
    [[nodiscard]] virtual QString tempFolder() const = 0;
    [[nodiscard]] virtual Memory memory() const = 0;
};

// QStorageInfo for disks, /proc/meminfo for memory.
class HostProbe final : public SystemProbe {
public:
    Disk disk(const QString& path) const override;
    QString tempFolder() const override;
    Memory memory() const override;

    // MemAvailable and SwapFree of a /proc/meminfo text.
    [[nodiscard]] static Memory parseMeminfo(const QByteArray& text);
};
