#include "remote/Snapshot.h"

#include "ftp/PartFile.h"
#include "remote/FileFetch.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cvb {

namespace {

QString systemError(const QString &what)
{
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

bool sameFile(const QByteArray &a, const QByteArray &b)
{
    struct stat first
    {
    }, second{};
    return ::stat(a.constData(), &first) == 0 && ::stat(b.constData(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// Copies the bytes of `from` into the (empty) file `to`.
bool copyBytes(const QString &from, const QString &to, QString *error)
{
    QFile source(from);
    QFile copy(to);
    if (!source.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1 cannot be read: %2").arg(from, source.errorString());
        return false;
    }
    if (!copy.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = QStringLiteral("%1 cannot be written: %2").arg(to, copy.errorString());
        return false;
    }
    char block[64 * 1024];
    for (qint64 n; (n = source.read(block, sizeof block)) != 0;) {
        if (n < 0 || copy.write(block, n) != n) {
            *error = QStringLiteral("%1 could not be copied to %2: %3")
                         .arg(from, to, n < 0 ? source.errorString() : copy.errorString());
            return false;
        }
    }
    if (!copy.flush()) {
        *error = QStringLiteral("%1 cannot be written: %2").arg(to, copy.errorString());
        return false;
    }
    return true;
}

} // namespace

std::optional<ManifestEntry> unchangedRecord(const Manifest &base, const QString &relative, qint64 size,
                                             const QDateTime &modified)
{
    const auto it = base.files.constFind(relative);
    if (it == base.files.cend() || size < 0 || !modified.isValid() || !it->modified.isValid())
        return std::nullopt;
    if (it->size != size || it->modified != modified)
        return std::nullopt;
    return *it;
}

bool setModifiedTime(const QString &path, const QDateTime &utc, QString *error)
{
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = time_t(utc.toSecsSinceEpoch());
    times[1].tv_nsec = 0;
    if (::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0)
        return true;
    *error = systemError(QStringLiteral("The time of %1 cannot be set").arg(path));
    return false;
}

bool placeFromBase(const QString &baseFile, const QString &target, Placement *how, QString *error)
{
    const QByteArray from = QFile::encodeName(baseFile);
    const QByteArray to = QFile::encodeName(target);
    if (QFileInfo(baseFile).absoluteFilePath() == QFileInfo(target).absoluteFilePath()) {
        *how = Placement::Left;
        return true;
    }
    // The common case, a new folder: the link takes the free name at once, and a name that is
    // taken already is never overwritten by it.
    if (::link(from.constData(), to.constData()) == 0) {
        *how = Placement::Linked;
        return true;
    }
    const auto refusesLinks = [](int code) {
        return code == EXDEV || code == EPERM || code == EMLINK || code == ENOTSUP || code == EACCES;
    };
    // Another file system, or one that takes no (more) links, is not asked for a link again.
    const bool refused = refusesLinks(errno);
    if (errno == EEXIST && sameFile(from, to)) {
        // Renaming a link over another link of the same file would leave both names.
        *how = Placement::Left;
        return true;
    }
    try {
        PartFile part(target);
        const QByteArray temporary = QFile::encodeName(part.path());
        // The part file holds the name; the link or the copy takes its place.
        ::unlink(temporary.constData());
        if (!refused && ::link(from.constData(), temporary.constData()) == 0) {
            *how = Placement::Linked;
        } else if (refused || refusesLinks(errno)) {
            // Another file system, or one that takes no (more) links: a copy of its own.
            const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0) {
                *error = systemError(QStringLiteral("Cannot write a file beside %1").arg(target));
                return false;
            }
            ::close(fd);
            if (!copyBytes(baseFile, part.path(), error))
                return false;
            *how = Placement::Copied;
        } else {
            *error = systemError(QStringLiteral("%1 cannot be linked from %2").arg(target, baseFile));
            return false;
        }
        part.replaceTarget();
        return true;
    } catch (const LocalFileError &e) {
        *error = QString::fromUtf8(e.what());
        return false;
    }
}

Snapshot::Snapshot(const QString &folder, SnapshotBase base) : m_folder(folder), m_base(std::move(base))
{
}

QString Snapshot::relativePath(const QString &localFile) const
{
    return QDir(m_folder).relativeFilePath(localFile);
}

bool Snapshot::baseKnows(const QString &localFile) const
{
    return hasBase() && m_base.manifest.files.contains(relativePath(localFile));
}

std::optional<ManifestEntry> Snapshot::takeOver(const QString &localFile, qint64 size,
                                                const QDateTime &modified) const
{
    if (!hasBase())
        return std::nullopt;
    const QString relative = relativePath(localFile);
    const std::optional<ManifestEntry> record = unchangedRecord(m_base.manifest, relative, size, modified);
    if (!record)
        return std::nullopt;
    const QString baseFile = m_base.folder + QLatin1Char('/') + relative;
    // A base file that is gone or was changed by hand is downloaded again.
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(baseFile).constData(), &info) != 0 || !S_ISREG(info.st_mode) ||
        qint64(info.st_size) != record->size)
        return std::nullopt;
    Placement how = Placement::Left;
    QString error;
    if (!placeFromBase(baseFile, localFile, &how, &error))
        return std::nullopt;
    // The time is the server's, also where the base's file lost it (a link has the base's time).
    if (how == Placement::Copied || qint64(info.st_mtime) != record->modified.toSecsSinceEpoch())
        setModifiedTime(localFile, record->modified, &error);
    return record;
}

bool Snapshot::beforeFetch(TcvbFTP &ftp, const QString &remotePath, const QString &localFile, qint64 *size,
                           QDateTime *modified, FileRecord *record) const
{
    if (*size < 0 || !modified->isValid()) {
        const RemoteIdentity asked = askIdentity(ftp, remotePath);
        if (*size < 0)
            *size = asked.size;
        if (!modified->isValid())
            *modified = asked.modified;
    }
    const std::optional<ManifestEntry> taken = takeOver(localFile, *size, *modified);
    if (!taken)
        return false;
    *record = FileRecord::takenOver(*taken);
    return true;
}

bool Snapshot::afterFetch(const QString &localFile, const QDateTime &modified, const QByteArray &received,
                          FileRecord *record, QString *error) const
{
    if (modified.isValid() && !setModifiedTime(localFile, modified, error))
        return false;
    record->entry.sha256 = received.isEmpty() ? fileSha256(localFile, error) : received;
    if (record->entry.sha256.isEmpty())
        return false;
    record->entry.size = QFileInfo(localFile).size();
    record->entry.modified = modified;
    record->recorded = true;
    return true;
}

} // namespace cvb
