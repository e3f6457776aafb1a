// CTransferFile: the one local file of an FTP transfer, opened as raw bytes. Every operation
// answers with a number: 0 or a position for success, the system's error code or a small
// negative code for failure.
#pragma once

#include <QString>
#include <cstdint>

class CTransferFile
{
public:
    static constexpr int NotOpen = -5;
    static constexpr int WriteFailed = -7;
    static constexpr int CloseFailed = -9;

    CTransferFile() = default;
    ~CTransferFile();
    CTransferFile(const CTransferFile &) = delete;
    CTransferFile &operator=(const CTransferFile &) = delete;

    int openRead(const QString &path);
    int openWrite(const QString &path);
    // Opens for writing from `offset` on: an existing file keeps its first `offset` bytes and
    // loses the rest; a missing one is created.
    int openResume(const QString &path, int64_t offset);
    int write(const char *data, int64_t length);
    int read(char *data, int64_t length);
    // Closes the file; a file opened for writing is first flushed to disk, so that a close that
    // succeeds means the bytes are stored.
    int close();
    int64_t size() const;
    // Moves by delta from the current position; the new position, or -1.
    int64_t move(int64_t delta);

    bool isOpen() const { return m_fd >= 0; }
    // The system's error code of the last failure.
    int lastError() const { return m_lastError; }

private:
    int open(const QString &path, int flags);
    void failAndClose();

    // Starts the disk's writing of what has been written since the last start, once that is
    // large: the flush at the close then waits for the last part only, not for the whole file.
    void startWriteBack(bool all);

    int m_fd = -1;
    int m_lastError = 0;
    bool m_writing = false;
    int64_t m_written = 0;       // bytes written through this object
    int64_t m_writeBackFrom = 0; // where the next start of writing to disk begins
};
