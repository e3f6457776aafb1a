#include "ftp/PartFile.h"

#include "ftp/FtpClient.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace cvb {

namespace {

// The encoded name cut to at most `bytes` bytes, never inside a character.
QByteArray shortened(const QString &name, qsizetype bytes)
{
    QString cut = name;
    while (QFile::encodeName(cut).size() > bytes)
        cut.chop(cut.size() > 1 && cut.at(cut.size() - 1).isLowSurrogate() ? 2 : 1);
    return QFile::encodeName(cut);
}

// Bytes kept free for the suffix of a resumable name: ".r" + 19 digits + "-" + 14 digits + ".part".
constexpr qsizetype kResumableSuffix = 41;

} // namespace

QString PartFile::resumablePrefix(const QString &target)
{
    const QFileInfo info(target);
    return QFile::decodeName(QFile::encodeName(info.absolutePath()) + "/." +
                             shortened(info.fileName(), 254 - kResumableSuffix) + '.');
}

QString PartFile::resumablePath(const QString &target, const QString &tag)
{
    return resumablePrefix(target) + tag + QStringLiteral(".part");
}

PartFile::PartFile(const QString &target, const QString &path) : m_target(target)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        throw LocalFileError("Cannot write a file in " + QFileInfo(target).absolutePath().toStdString() + ": " +
                             std::strerror(errno));
    ::close(fd);
    m_path = path;
}

qint64 PartFile::size() const
{
    return QFileInfo(m_path).size();
}

void PartFile::truncate()
{
    if (::truncate(QFile::encodeName(m_path).constData(), 0) != 0)
        throw LocalFileError("Cannot empty " + m_path.toStdString() + ": " + std::strerror(errno));
}

bool PartFile::renameTo(const QString &path)
{
    if (::rename(QFile::encodeName(m_path).constData(), QFile::encodeName(path).constData()) != 0)
        return false;
    m_path = path;
    return true;
}

PartFile::PartFile(const QString &target) : m_target(target)
{
    const QFileInfo info(target);
    for (int attempt = 0; attempt < 100 && m_path.isEmpty(); ++attempt) {
        const QByteArray suffix =
            '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".part";
        const QByteArray candidate = QFile::encodeName(info.absolutePath()) + "/." +
                                     shortened(info.fileName(), 254 - suffix.size()) + suffix;
        const int fd = ::open(candidate.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            m_path = QFile::decodeName(candidate);
        } else if (errno != EEXIST) {
            break;
        }
    }
    if (m_path.isEmpty())
        throw LocalFileError("Cannot write a file in " + info.absolutePath().toStdString() + ": " +
                             std::strerror(errno));
}

PartFile::~PartFile()
{
    if (!m_path.isEmpty() && !m_kept)
        ::unlink(QFile::encodeName(m_path).constData());
}

void PartFile::replaceTarget()
{
    if (QFileInfo(m_target).isDir())
        throw LocalFileError("A folder is in the way of the file " + m_target.toStdString());
    if (::rename(QFile::encodeName(m_path).constData(), QFile::encodeName(m_target).constData()) != 0)
        throw LocalFileError("Cannot replace " + m_target.toStdString() + ": " + std::strerror(errno));
    m_path.clear();
    m_kept = false;
}

void downloadReplacing(TcvbFTP &ftp, const QString &remoteFile, const QString &localFile)
{
    PartFile part(localFile);
    ftp.SetRemoteFile(remoteFile);
    ftp.SetLocalFile(part.path());
    ftp.SetAction(ftpDownload);
    part.replaceTarget();
}

} // namespace cvb
