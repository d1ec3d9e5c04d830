#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// The files of one finished download that belong together by base name: the archive volumes to
// unpack, the par2 index and recovery volumes that verify and repair them, and the rest (a .nfo,
// plain files the par2 set protects). Names are relative to `folder`.
struct PostSet {
    QString folder;
    QString baseName;
    QStringList archives;
    QStringList par2Index;
    QStringList recoveryVolumes;
    QStringList others;

    friend bool operator==(const PostSet&, const PostSet&) = default;
};

// Groups file names into sets, one per base name that has an archive or a par2 file; any other file
// joins the set with the longest base name it starts with ("name.nfo", or "movie.mkv" itself for
// "movie.mkv.par2"). Sets come sorted by base name.
[[nodiscard]] QList<PostSet> groupPostSets(const QString& folder, const QStringList& names);
// The same over the files a folder holds now.
[[nodiscard]] QList<PostSet> scanPostSets(const QString& folder);

// The volume to hand the unpacker for each archive in the set (.part01.rar, .rar, .7z.001, .7z,
// .zip, .zip.001); the other volumes follow from it.
[[nodiscard]] QStringList firstVolumes(const PostSet& set);

// The recovery block count a volume's name announces (name.vol07+08.par2 -> 8); -1 when the name
// is not a recovery volume.
[[nodiscard]] int par2VolumeBlocks(const QString& name);

// The volumes (name -> block count) that supply at least `blocksNeeded` blocks with the fewest
// blocks downloaded, then the fewest files; empty when all of them together fall short.
[[nodiscard]] QStringList fewestRecoveryVolumes(int blocksNeeded, const QMap<QString, int>& volumes);
