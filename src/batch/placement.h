#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

// Where decoded files go: safe names, folders, and names that never overwrite.

// One plain file-name component made from a name the network supplied (a yEnc name=, a name the
// decoding library found, a group name): no separators, no control characters, never "." or "..",
// at most 255 bytes. An empty result falls back to `fallback` made safe the same way, then to
// "unnamed".
[[nodiscard]] QString safeFileName(QByteArrayView name, QByteArrayView fallback = {});

// A path that does not exist yet, made from `path` by numbering it: file.2.zip, file.3.zip, ... or,
// in the old style (and for names without a three-letter extension), file.zip.2, file.zip.3, ...
// Nothing when every candidate exists.
[[nodiscard]] std::optional<QString> UniqueName(const QString& path, bool oldStyle);

// "_name_" and "name_" lose the underscores that some posters wrap names in.
[[nodiscard]] QString StripUnderscores(const QString& name);

// Creates the folder (and its parents) when it is missing; false when it still is not there.
bool EnsureFolder(const QString& path);

// A part's cache file: the cache folder, the group's name made safe, the article number and ".UUE".
[[nodiscard]] QString CachePartPath(QString cacheFolder, QByteArrayView groupName, qint64 article);

class Cues;
class Prompts;

// Opens a decoded file from the Processed View, asking first for the file types that run code.
void LaunchDecodedFile(const QString& path, Prompts& prompts, Cues& cues);
