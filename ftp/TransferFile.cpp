#include "ftp/TransferFile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CTransferFile::~CTransferFile()
{
    close();
}

int CTransferFile::open(const QString &path, int flags)
{
    close();
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), flags | O_CLOEXEC, 0644);
    if (fd < 0) {
        m_lastError = errno;
        return m_lastError;
    }
    m_fd = fd;
    m_writing = (flags & O_ACCMODE) != O_RDONLY;
    m_written = m_writeBackFrom = 0;
    return 0;
}

int CTransferFile::openRead(const QString &path)
{
    return open(path, O_RDONLY);
}

int CTransferFile::openWrite(const QString &path)
{
    return open(path, O_WRONLY | O_CREAT | O_TRUNC);
}

int CTransferFile::openResume(const QString &path, int64_t offset)
{
    const int code = open(path, O_WRONLY | O_CREAT);
    if (code != 0)
        return code;
    if (::ftruncate(m_fd, off_t(offset)) != 0 || ::lseek(m_fd, off_t(offset), SEEK_SET) < 0) {
        failAndClose();
        return m_lastError;
    }
    m_written = m_writeBackFrom = offset;
    return 0;
}

void CTransferFile::failAndClose()
{
    m_lastError = errno ? errno : EIO;
    ::close(m_fd);
    m_fd = -1;
}

int CTransferFile::write(const char *data, int64_t length)
{
    if (m_fd < 0)
        return NotOpen;
    while (length > 0) {
        errno = 0;
        const ssize_t n = ::write(m_fd, data, size_t(length));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            failAndClose();
            return WriteFailed;
        }
        data += n;
        length -= n;
        m_written += n;
    }
    startWriteBack(false);
    return 0;
}

void CTransferFile::startWriteBack(bool all)
{
    // The disk writes while the rest arrives. Only started, never waited for here; a failure
    // shows at the flush of the close.
    constexpr int64_t kWriteBackBlock = 8 * 1024 * 1024;
    if (!m_writing || m_fd < 0 || (!all && m_written - m_writeBackFrom < kWriteBackBlock))
        return;
#ifdef SYNC_FILE_RANGE_WRITE
    ::sync_file_range(m_fd, m_writeBackFrom, m_written - m_writeBackFrom, SYNC_FILE_RANGE_WRITE);
#endif
    m_writeBackFrom = m_written;
}

int CTransferFile::read(char *data, int64_t length)
{
    if (m_fd < 0)
        return NotOpen;
    while (length > 0) {
        errno = 0;
        const ssize_t n = ::read(m_fd, data, size_t(length));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            failAndClose();
            return m_lastError;
        }
        data += n;
        length -= n;
    }
    return 0;
}

int CTransferFile::close()
{
    if (m_fd < 0)
        return 0;
    const bool flushed = !m_writing || ::fsync(m_fd) == 0;
    const int flushError = errno;
    const int result = ::close(m_fd);
    m_fd = -1;
    if (!flushed || result != 0) {
        m_lastError = flushed ? errno : flushError;
        return CloseFailed;
    }
    return 0;
}

int64_t CTransferFile::size() const
{
    struct stat st;
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0)
        return 0;
    return st.st_size;
}

int64_t CTransferFile::move(int64_t delta)
{
    if (m_fd < 0)
        return -1;
    const off_t pos = ::lseek(m_fd, off_t(delta), SEEK_CUR);
    if (pos < 0) {
        m_lastError = errno;
        return -1;
    }
    return pos;
}
