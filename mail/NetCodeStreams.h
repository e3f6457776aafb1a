// The streams the encoder component reads its input from and writes its output to: a file or a
// numbered series of files, a list of lines, or one string. Input and output are buffered in the
// base class, so the conversions read blocks or lines and write single bytes cheaply.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace cvb {

// Error codes of the encoder component's error table.
enum NetCodeError {
    ncOk = 0,
    ncNoBegin = 1,
    ncShortFile = 2,
    ncNoEnd = 3,
    ncCantCreate = 4,
    ncCantOpen = 5,
    ncCantRead = 6,
    ncCantWrite = 7,
    ncNoUueName = 8,
    ncFileExists = 9,
    ncStringFull = 10,
    ncTooFewNames = 11,
    ncNoEncodedName = 12,
    ncTooManyFiles = 13,
    ncPermission = 14,
    ncMediaFull = 15,
    ncNoHandles = 16,
    ncNoSuchFile = 17,
    ncNoMoreFiles = 18,
};

// One open file. Every operation returns 0 or a code of the error table.
class CCodecFile
{
public:
    CCodecFile() = default;
    CCodecFile(const CCodecFile &) = delete;
    CCodecFile &operator=(const CCodecFile &) = delete;
    ~CCodecFile();

    int openRead(const QString &path);
    int create(const QString &path, bool overwrite);
    int read(char *buffer, qint64 max, qint64 *got);
    int write(const char *data, qint64 count);
    void close();
    qint64 size() const;
    bool isOpen() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// Base of the streams: buffering, text-mode line ends, progress counting and the pending error.
class MyStream
{
public:
    using ProgressSink = std::function<void(int percent)>;

    virtual ~MyStream() = default;

    // Reads up to max bytes; returns the count, 0 at the end of the input.
    qint64 ReadBlock(char *buffer, qint64 max);
    // Reads one line up to and including its LF, at most max bytes; 0 at the end of the input.
    // In text mode a CR LF line end comes back as a single LF.
    qint64 ReadLine(char *buffer, qint64 max);
    // Moves on to the next file of a series; returns 0 or an error code.
    virtual int NextPart() { return ncNoMoreFiles; }
    // Writes one byte (LF as CR LF in text mode); returns non-zero once an error is pending.
    int PutChar(char c)
    {
        if (!m_binary && c == '\n')
            putRaw('\r');
        putRaw(c);
        return m_error;
    }
    // Writes bytes as PutChar writes them one by one.
    int PutBlock(const char *data, qint64 count);
    // Writes what is buffered; returns the pending error.
    int Flush();
    // Flushes and completes the output (a list gets its last unfinished line).
    virtual int Close() { return Flush(); }
    // Resets the counters and the binary flag, and with a sink the progress state.
    void Restart(int progressStep = 0, ProgressSink sink = {});
    // Returns the pending error and clears it.
    int TakeError();
    int pendingError() const { return m_error; }

    void setBinary(bool binary) { m_binary = binary; }
    bool binary() const { return m_binary; }
    // Bytes written to the current output part (files only).
    qint64 partBytes() const { return m_partBytes + m_outPos; }
    qint64 total() const { return m_total; }
    // Fires the percentages still missing up to 100 after a conversion that succeeded.
    void completeProgress();

protected:
    // Refills the input buffer; false at the end of the input (an error may then be pending).
    virtual bool fill() { return false; }
    // Takes the bytes of the output buffer.
    virtual int drain(const char *data, qint64 count)
    {
        Q_UNUSED(data);
        Q_UNUSED(count);
        return 0;
    }
    void setInput(const char *data, qint64 count)
    {
        m_in = data;
        m_inPos = 0;
        m_inEnd = count;
    }
    void setOutputCapacity(qint64 capacity);
    void setTotal(qint64 total) { m_total = total; }
    void setError(int code)
    {
        if (m_error == 0)
            m_error = code;
    }
    // A new output part begins (call after Flush).
    void resetPartBytes() { m_partBytes = 0; }

private:
    void putRaw(char c)
    {
        m_out[m_outPos++] = c;
        if (m_outPos == m_outCap)
            Flush();
    }
    bool available();
    void counted(qint64 n);

    const char *m_in = nullptr;
    qint64 m_inPos = 0;
    qint64 m_inEnd = 0;
    std::unique_ptr<char[]> m_out;
    qint64 m_outPos = 0;
    qint64 m_outCap = 0;
    qint64 m_partBytes = 0;

    qint64 m_total = 0;
    qint64 m_processed = 0;
    int m_step = 0;
    int m_nextPercent = 0;
    int m_lastFired = -1;
    int m_error = 0;
    bool m_binary = true;
    bool m_progressActive = false;
    ProgressSink m_sink;
};

// A file, or a series of files on the encoded side: the names of a list, or numbered names.
class MyFileStream final : public MyStream
{
public:
    // names: the list of file names (updated in place when numbered names are generated);
    // extension: ".UUE", ".B64", ".Q_P" or empty, used for numbered names.
    MyFileStream(QStringList *names, const QString &extension, bool overwrite);
    // A single plain file.
    MyFileStream(const QString &path, bool overwrite);
    ~MyFileStream() override;

    int OpenRead(bool binary);
    int OpenWrite(bool binary, qint64 sizeHint);
    int NextPart() override;
    // Name of the file currently open.
    QString currentName() const { return m_currentName; }

protected:
    bool fill() override;
    int drain(const char *data, qint64 count) override;

private:
    QString nameOfPart(int index, int *error);
    int openPart(int index);
    qint64 totalOfSeries();
    int allocate(qint64 size);

    QStringList *m_names = nullptr;
    QStringList m_single;
    QString m_stem;
    QString m_extension;
    bool m_numbered = false;
    bool m_series = true;
    qint64 m_leftInFile = 0;
    bool m_overwrite = false;
    bool m_writing = false;
    int m_part = 0;
    QString m_currentName;
    CCodecFile m_file;
    std::unique_ptr<char[]> m_buffer;
    qint64 m_bufferSize = 0;
};

// A list of lines: reading gives every entry as a line ending in LF; writing starts a new entry
// at every LF written, and a final unfinished line becomes the last entry.
class MyStringStream final : public MyStream
{
public:
    explicit MyStringStream(QStringList *lines);
    void OpenRead(bool binary);
    void OpenWrite();
    int Close() override;

protected:
    bool fill() override;
    int drain(const char *data, qint64 count) override;

private:
    QStringList *m_lines;
    int m_next = 0;
    QByteArray m_current;
    QByteArray m_pending;
};

// One string: reading walks it, writing appends to it.
class MyAnsiString final : public MyStream
{
public:
    explicit MyAnsiString(QByteArray *data);
    void OpenRead(bool binary);
    void OpenWrite(bool binary);

protected:
    int drain(const char *data, qint64 count) override;

private:
    QByteArray *m_data;
};

} // namespace cvb
