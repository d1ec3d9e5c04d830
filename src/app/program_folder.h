#pragma once

#include <QString>

// Where the program keeps its own files, and the names derived from it.
struct ProgramFolder {
    QString path;       // absolute, without a trailing "/"
    QString folderName; // last path component, shown in the minimised window's title
    QString helpFile;

    [[nodiscard]] QString file(const QString& name) const { return path + u'/' + name; }

    // A file that makes the executable's folder the program folder outside a build tree.
    static constexpr const char* kPortableMarker = "tidewhelk.portable";

    // $TIDEWHELK_HOME when set, else the executable's folder when it is a writable build tree or
    // holds the portable marker, else the user's application data folder.
    [[nodiscard]] static ProgramFolder resolve(const QString& homeVariable, const QString& executableFolder,
                                               const QString& appDataFolder);
    [[nodiscard]] static ProgramFolder at(const QString& path);

    // Makes the folder the current directory (created when missing).
    bool enter() const;
};
