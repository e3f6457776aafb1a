#include "data/Database.h"

#include "data/DataError.h"
#include "data/DbfFile.h"
#include "data/Layouts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cvb {

namespace {

QString &aliasFolderStorage()
{
    static QString folder;
    return folder;
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

constexpr unsigned PrivateFile = 0600;
constexpr unsigned OrdinaryFile = 0644;

} // namespace

void setAliasFolder(const QString &folder)
{
    aliasFolderStorage() = folder;
}

QString aliasFolder()
{
    if (aliasFolderStorage().isEmpty())
        aliasFolderStorage() = resolveDataFolder();
    return aliasFolderStorage();
}

QString resolveDataFolder(const QString &dataOption)
{
    if (!dataOption.isEmpty())
        return QDir::cleanPath(QDir::current().absoluteFilePath(dataOption));
    const QString fromEnv = qEnvironmentVariable("CVB_DATA");
    if (!fromEnv.isEmpty())
        return QDir::cleanPath(QDir::current().absoluteFilePath(fromEnv));
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(base + QStringLiteral("/corvale-backup"));
}

void prepareDataFolder(const QString &folder)
{
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir())
        throw DataError(QStringLiteral("Database folder %1 is not a folder").arg(folder));
    if (!info.exists()) {
        // Parents are made as usual; the database folder itself is private to the user.
        const QString parent = info.absolutePath();
        if (!QDir().mkpath(parent))
            throw DataError(
                QStringLiteral("Cannot create the database folder %1: cannot create %2").arg(folder, parent));
        if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
            throw DataError(
                QStringLiteral("Cannot create the database folder %1: %2").arg(folder, systemError()));
    }
    if (::access(QFile::encodeName(folder).constData(), R_OK | W_OK | X_OK) != 0)
        throw DataError(
            QStringLiteral("Cannot use the database folder %1: it cannot be read and written (%2)")
                .arg(folder, systemError()));
}

QStringList createMissingTables(const QString &folder)
{
    QStringList created;
    QStringList problems;
    for (const TableLayout *layout : allLayouts()) {
        const QString path = QDir(folder).filePath(layout->fileName);
        const bool connection = layout->fileName == ConnectionTable;
        if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink()) {
            DbfFile::create(path, *layout, connection ? 1 : 0, connection ? PrivateFile : OrdinaryFile);
            created << layout->fileName;
            continue;
        }
        try {
            const auto file = DbfFile::open(path);
            const QString mismatch = file->layoutMismatch(*layout);
            if (!mismatch.isEmpty()) {
                problems << mismatch;
                continue;
            }
        } catch (const DataError &e) {
            problems << e.message();
            continue;
        }
        if (connection)
            ::chmod(QFile::encodeName(path).constData(), PrivateFile);
    }
    if (!problems.isEmpty())
        throw DataError(problems.join(QLatin1Char('\n')));
    return created;
}

InstanceLock::InstanceLock(const QString &folder)
{
    const QString path = QDir(folder).filePath(LockFileName);
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0)
        throw DataError(QStringLiteral("Cannot create the lock file %1: %2").arg(path, systemError()));
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        const QString error = systemError();
        char pid[32] = {};
        const ssize_t n = ::pread(m_fd, pid, sizeof pid - 1, 0);
        ::close(m_fd);
        m_fd = -1;
        if (!busy)
            throw DataError(QStringLiteral("Cannot lock %1: %2").arg(path, error));
        const QString holder =
            n > 0 ? QStringLiteral(" (process %1)").arg(QString::fromLatin1(pid).trimmed()) : QString();
        throw DataError(QStringLiteral("Corvale Backup is already running with the database folder %1%2. "
                                       "Only one copy of the program can use a database folder at a time: "
                                       "use the one that is running, or close it first.")
                            .arg(folder, holder));
    }
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(m_fd, 0) != 0 || ::pwrite(m_fd, pid.constData(), size_t(pid.size()), 0) != pid.size()) {
        // The process number is only a hint for the message above; the lock itself holds.
    }
}

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::unique_ptr<InstanceLock> openDatabase(const QString &folder)
{
    prepareDataFolder(folder);
    auto lock = std::make_unique<InstanceLock>(folder);
    createMissingTables(folder);
    setAliasFolder(folder);
    return lock;
}

} // namespace cvb
