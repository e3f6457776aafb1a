// The manifest of a backup folder, the check of a folder against it, and how a file unchanged
// since the base backup is placed.
#include "remote/Snapshot.h"
#include "remote/Manifest.h"
#include "tests/support/Files.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace cvb;
using cvb::test::readFile;
using cvb::test::writeFile;

namespace {

QDateTime utc(const char *text)
{
    QDateTime moment = QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate);
    moment.setTimeZone(QTimeZone::utc());
    return moment;
}

// A folder with the given files and a manifest that records them as they are.
Manifest backupOf(const QString &folder, const QMap<QString, QByteArray> &files, const QString &profile,
                  const QDateTime &written)
{
    Manifest manifest;
    manifest.profile = profile;
    manifest.server = QStringLiteral("ftp.example.com:21");
    manifest.written = written;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        EXPECT_TRUE(writeFile(QDir(folder).filePath(it.key()), it.value()));
        ManifestEntry entry;
        entry.size = it.value().size();
        entry.modified = utc("2026-11-02T10:20:30");
        entry.sha256 = fileSha256(QDir(folder).filePath(it.key()));
        manifest.files.insert(it.key(), entry);
    }
    EXPECT_EQ(writeManifest(folder, manifest), QString());
    return manifest;
}

nlink_t linkCount(const QString &path)
{
    struct stat info
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_nlink : 0;
}

} // namespace

TEST(Manifest, ReadsBackWhatWasWrittenWithAwkwardPathsAndLeavesNoTemporaryFile)
{
    QTemporaryDir dir;
    Manifest written;
    written.profile = QStringLiteral("My\tSite\\");
    written.server = QStringLiteral("ftp.example.com:2121");
    written.written = utc("2026-12-10T09:08:07");
    const QStringList paths = {QStringLiteral("site/a file.html"), QStringLiteral("site/tab\there"),
                               QStringLiteral("site/line\nbreak\r"), QStringLiteral("back\\slash"),
                               QStringLiteral("grüße/ü.txt")};
    for (const QString &path : paths)
        written.files.insert(path, {12, utc("2026-01-02T03:04:05"), QByteArray(64, 'a')});
    written.files[QStringLiteral("back\\slash")].modified = QDateTime(); // not known to the second

    ASSERT_EQ(writeManifest(dir.path(), written), QString());
    Manifest read;
    QString error;
    ASSERT_TRUE(readManifest(dir.path(), &read, &error)) << error.toStdString();
    EXPECT_EQ(read.profile, written.profile);
    EXPECT_EQ(read.server, written.server);
    EXPECT_EQ(read.written, written.written);
    EXPECT_EQ(read.files.keys(), written.files.keys());
    EXPECT_EQ(read.files[paths[1]].modified, utc("2026-01-02T03:04:05"));
    EXPECT_FALSE(read.files[QStringLiteral("back\\slash")].modified.isValid());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{ManifestFileName});
}

TEST(Manifest, ACutOrDamagedManifestIsAClearErrorAndItsFolderIsNoBase)
{
    QTemporaryDir dir;
    const QString older = dir.filePath(QStringLiteral("older"));
    const QString cut = dir.filePath(QStringLiteral("cut"));
    const QString damaged = dir.filePath(QStringLiteral("damaged"));
    const QString other = dir.filePath(QStringLiteral("other profile"));
    for (const QString &folder : {older, cut, damaged, other})
        QDir().mkpath(folder);
    backupOf(older, {{QStringLiteral("a.html"), "a"}}, QStringLiteral("Site"), utc("2026-12-01T00:00:00"));
    backupOf(cut, {{QStringLiteral("a.html"), "a"}}, QStringLiteral("Site"), utc("2026-12-02T00:00:00"));
    backupOf(damaged, {{QStringLiteral("a.html"), "a"}}, QStringLiteral("Site"), utc("2026-12-03T00:00:00"));
    backupOf(other, {{QStringLiteral("a.html"), "a"}}, QStringLiteral("Other"), utc("2026-12-04T00:00:00"));
    const QString cutFile = QDir(cut).filePath(ManifestFileName);
    const QByteArray whole = readFile(cutFile);
    ASSERT_TRUE(writeFile(cutFile, whole.left(whole.lastIndexOf("end"))));
    const QString damagedFile = QDir(damaged).filePath(ManifestFileName);
    ASSERT_TRUE(writeFile(damagedFile, readFile(damagedFile).replace("\t1\t", "\tone\t")));

    Manifest manifest;
    QString error;
    EXPECT_FALSE(readManifest(cut, &manifest, &error));
    EXPECT_TRUE(error.contains(QLatin1String("damaged"))) << error.toStdString();
    EXPECT_FALSE(readManifest(damaged, &manifest, &error));
    EXPECT_EQ(error, QStringLiteral("The manifest %1 is damaged at line 5.").arg(damagedFile));
    // A time that is no moment, or not to the second exactly as written, makes the line damaged.
    const QByteArray damagedText = readFile(damagedFile);
    const QByteArray sound = QByteArray(damagedText).replace("\tone\t", "\t1\t");
    for (const QByteArray &time : {QByteArray("20261399102030"), QByteArray("20261102102030.5"),
                                   QByteArray("2026110210203")}) {
        ASSERT_TRUE(writeFile(damagedFile, QByteArray(sound).replace("20261102102030", time)));
        EXPECT_FALSE(readManifest(damaged, &manifest, &error)) << time.constData();
    }
    ASSERT_TRUE(writeFile(damagedFile, sound));
    ASSERT_TRUE(readManifest(damaged, &manifest, &error)) << error.toStdString();
    ASSERT_TRUE(writeFile(damagedFile, damagedText));
    EXPECT_FALSE(readManifest(dir.path(), &manifest, &error));
    EXPECT_TRUE(error.contains(QLatin1String("no complete backup"))) << error.toStdString();

    EXPECT_EQ(
        newestCompleteBackup({older, cut, damaged, other, dir.path()}, QStringLiteral("Site"), &manifest),
        older);
    EXPECT_EQ(manifest.written, utc("2026-12-01T00:00:00"));
}

TEST(Manifest, TheCheckNamesMissingChangedAndExtraFilesButNotItsOwnBookkeeping)
{
    QTemporaryDir dir;
    const Manifest manifest = backupOf(dir.path(),
                                       {{QStringLiteral("index.html"), "home"},
                                        {QStringLiteral("site/same size.html"), "abcd"},
                                        {QStringLiteral("site/gone.gif"), "gif"}},
                                       QStringLiteral("Site"), utc("2026-12-01T00:00:00"));
    EXPECT_TRUE(checkFolder(dir.path(), manifest).agrees());

    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("site/same size.html")), "abce"));
    ASSERT_TRUE(QFile::remove(dir.filePath(QStringLiteral("site/gone.gif"))));
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("site/.htaccess")), "deny"));
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("site/.new.html.k3j9.part")), "half"));
    const FolderCheck check = checkFolder(dir.path(), manifest);
    EXPECT_EQ(check.missing, QStringList{QStringLiteral("site/gone.gif")});
    EXPECT_EQ(check.changed, QStringList{QStringLiteral("site/same size.html")});
    EXPECT_EQ(check.extra, QStringList{QStringLiteral("site/.htaccess")});

    // A file taken over from the base has its size checked, not its bytes read again; a missing
    // or resized one is still found.
    const QSet<QString> takenOver = {QStringLiteral("site/same size.html"), QStringLiteral("site/gone.gif")};
    const FolderCheck bySize = checkFolder(dir.path(), manifest, false, takenOver);
    EXPECT_EQ(bySize.missing, QStringList{QStringLiteral("site/gone.gif")});
    EXPECT_TRUE(bySize.changed.isEmpty());
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("site/same size.html")), "abcde"));
    EXPECT_EQ(checkFolder(dir.path(), manifest, false, takenOver).changed,
              QStringList{QStringLiteral("site/same size.html")});
}

TEST(Snapshot, AFileIsTakenOverOnlyWhenItsSizeAndExactTimeEqualTheBase)
{
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("base"));
    const QString next = dir.filePath(QStringLiteral("next"));
    QDir().mkpath(base);
    QDir().mkpath(next + QStringLiteral("/site"));
    const Manifest manifest = backupOf(base, {{QStringLiteral("site/a.html"), "page"}},
                                       QStringLiteral("Site"), utc("2026-12-01T00:00:00"));
    const Snapshot snapshot(next, {base, manifest});
    const QString target = next + QStringLiteral("/site/a.html");
    const QDateTime listed = utc("2026-11-02T10:20:30");

    EXPECT_FALSE(snapshot.takeOver(target, 4, QDateTime())); // a time not known to the second
    EXPECT_FALSE(snapshot.takeOver(target, 4, listed.addSecs(1)));
    EXPECT_FALSE(snapshot.takeOver(target, 5, listed));
    EXPECT_FALSE(snapshot.takeOver(target, -1, listed));
    EXPECT_FALSE(snapshot.takeOver(next + QStringLiteral("/site/new.html"), 4, listed));
    EXPECT_FALSE(QFileInfo::exists(target));

    const std::optional<ManifestEntry> taken = snapshot.takeOver(target, 4, listed);
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->sha256, manifest.files.first().sha256);
    EXPECT_EQ(linkCount(target), 2u);
    EXPECT_EQ(QFileInfo(target).lastModified().toUTC(), listed);
    // Taken over again into the same place: the link stays, no temporary file is left.
    ASSERT_TRUE(snapshot.takeOver(target, 4, listed));
    EXPECT_EQ(QDir(next + QStringLiteral("/site")).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("a.html")});
}

TEST(Snapshot, AFileSystemThatTakesNoLinkGetsACopyAndTheOldFileStaysUntilItIsComplete)
{
    QTemporaryDir dir;
    QTemporaryDir elsewhere(QStringLiteral("/dev/shm/cvb-snapshot-XXXXXX"));
    struct stat here
    {
    }, there{};
    if (!elsewhere.isValid() || ::stat(QFile::encodeName(dir.path()).constData(), &here) != 0 ||
        ::stat(QFile::encodeName(elsewhere.path()).constData(), &there) != 0 || here.st_dev == there.st_dev)
        GTEST_SKIP() << "no second file system to copy across";
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("a.gif")), "GIF89a"));
    const QString target = elsewhere.filePath(QStringLiteral("a.gif"));
    ASSERT_TRUE(writeFile(target, "old"));

    Placement how = Placement::Left;
    QString error;
    ASSERT_TRUE(placeFromBase(dir.filePath(QStringLiteral("a.gif")), target, &how, &error))
        << error.toStdString();
    EXPECT_EQ(how, Placement::Copied);
    EXPECT_EQ(readFile(target), "GIF89a");
    EXPECT_EQ(linkCount(target), 1u);

    // A base file that cannot be read leaves the old copy as it was.
    EXPECT_FALSE(placeFromBase(dir.filePath(QStringLiteral("gone.gif")), target, &how, &error));
    EXPECT_EQ(readFile(target), "GIF89a");
    EXPECT_EQ(QDir(elsewhere.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("a.gif")});
}
