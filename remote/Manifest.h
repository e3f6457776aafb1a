// The manifest of a backup folder: written last, and atomically, by a backup that went well. It
// names the profile, the server and the moment of the backup, and every file of the backup with
// its size, the server's modification time and the SHA-256 of the local bytes. Its presence marks
// the folder complete: only such a folder is the base of a later backup, whose unchanged files
// are taken from it. A folder can be checked against its manifest at any time.
//
// The file is text (UTF-8), one record a line:
//   corvale-backup manifest 1
//   profile <text>
//   server <text>
//   time <YYYY-MM-DDTHH:MM:SSZ>
//   file <size> <modified YYYYMMDDHHMMSS, or - when not known to the second> <sha256> <path>
//   ...
//   end <number of files>
// Fields are separated by one tab; a backslash, tab, carriage return or line feed inside a text
// or a path is written as \\, \t, \r or \n. The last line tells a cut-off file from a whole one.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QSet>
#include <QString>

#include <memory>
#include <QStringList>

namespace cvb {

// At the top of the backup folder; a site's file of the same name is refused by the name rule.
inline const QString ManifestFileName = QStringLiteral(".corvale-manifest");

struct ManifestEntry
{
    qint64 size = 0;
    QDateTime modified; // the server's time, UTC to the second; invalid when not known that well
    QByteArray sha256;  // lower-case hex of the local bytes
};

struct Manifest
{
    QString profile;
    QString server;
    QDateTime written; // UTC
    // By path below the backup folder ("site/img/logo.gif").
    QMap<QString, ManifestEntry> files;
};

// True for the manifest's own name and for the hidden temporary files of downloads and of
// the manifest itself (".name.<random>.part", ".name.r<size>-<time>.part"): they are no file of a
// backup.
bool isBackupBookkeeping(const QString &relativePath);

// Writes `manifest` into `folder` through a temporary file, synced, then renamed over any older
// one. An empty text, or what went wrong (nothing is then left behind).
QString writeManifest(const QString &folder, const Manifest &manifest);

// Reads the manifest of `folder`. False with `error` set when there is none or it cannot be read
// whole: that folder is then no complete backup.
bool readManifest(const QString &folder, Manifest *manifest, QString *error);

// Removes the manifest of `folder`: the folder is about to change and is no longer complete.
// False when one is there and stays.
bool removeManifest(const QString &folder);

// SHA-256 of bytes given a piece at a time (OpenSSL's, which uses the processor's SHA
// instructions where there are any).
class Sha256
{
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;

    // Starts again with no bytes.
    void reset();
    void add(const char *data, qint64 length);
    // The digest of the bytes so far, as lower-case hex; empty when the digest failed.
    QByteArray hex();

private:
    struct Context;
    std::unique_ptr<Context> m_context;
    bool m_ok = false;
};

// SHA-256 of a file's bytes, read a block at a time, as lower-case hex; empty with `error` set
// when it cannot be read.
QByteArray fileSha256(const QString &path, QString *error = nullptr);

// What a folder holds that its manifest does not say, or the other way round.
struct FolderCheck
{
    QStringList missing; // in the manifest, not in the folder
    QStringList changed; // other size or other bytes
    QStringList extra;   // in the folder, not in the manifest (bookkeeping files aside)
    bool agrees() const { return missing.isEmpty() && changed.isEmpty() && extra.isEmpty(); }
};

// Reads every file of the manifest back; with `lookForExtra`, also lists the files of the folder
// that the manifest does not name. Paths are relative to `folder`, sorted. The files named in
// `bySize` are only looked up and their sizes compared: a backup's files taken over from its base
// were read back when the base was made.
FolderCheck checkFolder(const QString &folder, const Manifest &manifest, bool lookForExtra = true,
                        const QSet<QString> &bySize = {});

// The complete backup folder among `candidates` (folders that may hold a manifest) whose
// manifest is the newest one of `profile`; empty when none has one. `base` receives that
// manifest.
QString newestCompleteBackup(const QStringList &candidates, const QString &profile, Manifest *base);

} // namespace cvb
