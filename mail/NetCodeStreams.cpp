#include "mail/NetCodeStreams.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace cvb {

namespace {

constexpr qint64 kMaxBuffer = 65536;
constexpr qint64 kMinBuffer = 1024;
constexpr char kCtrlZ = 26;

qint64 bufferSizeFor(qint64 size)
{
    return std::max(kMinBuffer, std::min(size, kMaxBuffer));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// CCodecFile

CCodecFile::~CCodecFile()
{
    close();
}

int CCodecFile::openRead(const QString &path)
{
    close();
    if (path.isEmpty())
        return ncCantOpen;
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd >= 0)
        return ncOk;
    return errno == EMFILE || errno == ENFILE ? ncNoHandles : ncCantOpen;
}

int CCodecFile::create(const QString &path, bool overwrite)
{
    close();
    if (path.isEmpty())
        return ncCantCreate;
    const QByteArray name = QFile::encodeName(path);
    if (!overwrite && ::access(name.constData(), F_OK) == 0)
        return ncFileExists;
    m_fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_fd >= 0)
        return ncOk;
    return errno == EMFILE || errno == ENFILE ? ncNoHandles : ncCantCreate;
}

int CCodecFile::read(char *buffer, qint64 max, qint64 *got)
{
    *got = 0;
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, size_t(max));
        if (n >= 0) {
            *got = n;
            return ncOk;
        }
        if (errno != EINTR)
            return ncCantRead;
    }
}

int CCodecFile::write(const char *data, qint64 count)
{
    while (count > 0) {
        const ssize_t n = ::write(m_fd, data, size_t(count));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return ncCantWrite;
        }
        data += n;
        count -= n;
    }
    return ncOk;
}

void CCodecFile::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

qint64 CCodecFile::size() const
{
    struct stat st
    {
    };
    return m_fd >= 0 && ::fstat(m_fd, &st) == 0 ? qint64(st.st_size) : 0;
}

// ---------------------------------------------------------------------------------------------
// MyStream

bool MyStream::available()
{
    while (m_inPos >= m_inEnd) {
        if (!fill())
            return false;
    }
    return true;
}

qint64 MyStream::ReadBlock(char *buffer, qint64 max)
{
    qint64 got = 0;
    while (got < max && available()) {
        const qint64 n = std::min(max - got, m_inEnd - m_inPos);
        memcpy(buffer + got, m_in + m_inPos, size_t(n));
        m_inPos += n;
        got += n;
    }
    counted(got);
    return got;
}

qint64 MyStream::ReadLine(char *buffer, qint64 max)
{
    qint64 got = 0;
    qint64 consumed = 0;
    while (got < max && available()) {
        const char c = m_in[m_inPos++];
        ++consumed;
        buffer[got++] = c;
        if (c == '\n')
            break;
    }
    if (!m_binary && got > 0 && buffer[got - 1] == '\r' && available() && m_in[m_inPos] == '\n') {
        // A CR LF line end split by the size limit still counts as one line end.
        ++m_inPos;
        ++consumed;
        buffer[got - 1] = '\n';
    } else if (!m_binary && got >= 2 && buffer[got - 1] == '\n' && buffer[got - 2] == '\r') {
        buffer[got - 2] = '\n';
        --got;
    }
    counted(consumed);
    return got;
}

void MyStream::counted(qint64 n)
{
    m_processed += n;
    if (!m_progressActive || m_step <= 0 || n == 0 || m_total <= 0)
        return;
    const int percent = int(std::min<qint64>(100, m_processed * 100 / m_total));
    while (m_nextPercent <= percent) {
        m_lastFired = m_nextPercent;
        m_sink(m_nextPercent);
        m_nextPercent += m_step;
    }
}

void MyStream::completeProgress()
{
    if (!m_progressActive || m_step <= 0 || m_processed == 0)
        return;
    while (m_nextPercent <= 100) {
        m_lastFired = m_nextPercent;
        m_sink(m_nextPercent);
        m_nextPercent += m_step;
    }
    if (m_lastFired != 100)
        m_sink(100);
    m_lastFired = 100;
}

void MyStream::setOutputCapacity(qint64 capacity)
{
    m_out.reset(new char[size_t(capacity)]);
    m_outCap = capacity;
    m_outPos = 0;
}

int MyStream::PutBlock(const char *data, qint64 count)
{
    while (count > 0) {
        if (!m_binary && *data == '\n') {
            PutChar('\n');
            ++data;
            --count;
            continue;
        }
        // Copies up to the next LF (text mode) or the end of the buffer.
        qint64 n = std::min(count, m_outCap - m_outPos);
        if (!m_binary) {
            const void *lf = memchr(data, '\n', size_t(n));
            if (lf)
                n = static_cast<const char *>(lf) - data;
        }
        memcpy(m_out.get() + m_outPos, data, size_t(n));
        m_outPos += n;
        data += n;
        count -= n;
        if (m_outPos == m_outCap)
            Flush();
    }
    return m_error;
}

int MyStream::Flush()
{
    if (m_outPos > 0) {
        const qint64 n = m_outPos;
        m_outPos = 0;
        m_partBytes += n;
        if (m_error == 0)
            setError(drain(m_out.get(), n));
    }
    return m_error;
}

void MyStream::Restart(int progressStep, ProgressSink sink)
{
    m_processed = 0;
    m_binary = true;
    if (sink) {
        m_sink = std::move(sink);
        m_step = progressStep;
        m_nextPercent = 0;
        m_lastFired = -1;
        m_progressActive = true;
    }
}

int MyStream::TakeError()
{
    const int code = m_error;
    m_error = 0;
    return code;
}

// ---------------------------------------------------------------------------------------------
// MyFileStream

MyFileStream::MyFileStream(QStringList *names, const QString &extension, bool overwrite)
    : m_names(names), m_extension(extension), m_overwrite(overwrite)
{
    const QString first = names->isEmpty() ? QString() : names->first();
    const qsizetype mark = first.indexOf(QLatin1Char('?'));
    if (mark >= 0) {
        m_numbered = true;
        m_stem = first.left(mark);
        m_names->clear();
    }
}

MyFileStream::MyFileStream(const QString &path, bool overwrite)
    : m_names(&m_single), m_single{path}, m_series(false), m_overwrite(overwrite)
{
}

MyFileStream::~MyFileStream() = default;

QString MyFileStream::nameOfPart(int index, int *error)
{
    *error = ncOk;
    if (m_numbered) {
        if (index >= 100) {
            *error = ncTooManyFiles;
            return {};
        }
        return m_stem + QString::number(index) + m_extension;
    }
    if (index >= m_names->size()) {
        *error = ncNoMoreFiles;
        return {};
    }
    return m_names->at(index);
}

int MyFileStream::allocate(qint64 size)
{
    // Ask for less when memory is short; below 2048 bytes give up.
    for (qint64 n = bufferSizeFor(size);; n /= 2) {
        m_buffer.reset(new (std::nothrow) char[size_t(n)]);
        if (m_buffer) {
            m_bufferSize = n;
            return ncOk;
        }
        if (n / 2 < 2048)
            throw std::bad_alloc();
    }
}

int MyFileStream::openPart(int index)
{
    int code = ncOk;
    const QString name = nameOfPart(index, &code);
    if (code != ncOk)
        return code;
    if (m_writing)
        code = m_file.create(name, m_overwrite);
    else {
        code = m_file.openRead(name);
        if (code == ncCantOpen && index > 0)
            code = ncNoMoreFiles; // a series ends where its next file is missing
    }
    if (code != ncOk)
        return code;
    m_part = index;
    m_currentName = name;
    m_leftInFile = m_writing ? 0 : m_file.size();
    if (m_numbered)
        m_names->append(name);
    return ncOk;
}

qint64 MyFileStream::totalOfSeries()
{
    qint64 total = 0;
    for (int i = 0;; ++i) {
        int code = ncOk;
        const QString name = nameOfPart(i, &code);
        if (code != ncOk)
            break;
        const QFileInfo info(name);
        if (!info.exists())
            break;
        total += info.size();
    }
    return total;
}

int MyFileStream::OpenRead(bool binary)
{
    m_writing = false;
    const qint64 total = m_numbered ? totalOfSeries() : -1;
    const int code = openPart(0);
    if (code != ncOk)
        return code == ncNoMoreFiles ? ncCantOpen : code;
    qint64 sum = total;
    if (sum < 0) {
        sum = 0;
        for (const QString &name : *m_names)
            sum += QFileInfo(name).size();
    }
    allocate(m_file.size());
    setBinary(binary);
    setTotal(sum);
    return ncOk;
}

int MyFileStream::OpenWrite(bool binary, qint64 sizeHint)
{
    m_writing = true;
    const int code = openPart(0);
    if (code != ncOk)
        return code == ncNoMoreFiles ? ncNoEncodedName : code;
    allocate(sizeHint);
    setOutputCapacity(m_bufferSize);
    setBinary(binary);
    return ncOk;
}

int MyFileStream::NextPart()
{
    if (m_writing) {
        const int pending = Flush();
        if (pending != ncOk)
            return pending;
    }
    m_file.close();
    const int code = openPart(m_part + 1);
    if (code == ncOk && m_writing)
        resetPartBytes();
    return code;
}

bool MyFileStream::fill()
{
    while (m_file.isOpen()) {
        qint64 got = 0;
        const int code = m_file.read(m_buffer.get(), m_bufferSize, &got);
        if (code != ncOk) {
            setError(code);
            return false;
        }
        m_leftInFile -= got;
        if (got > 0 && m_leftInFile <= 0 && !binary() && m_buffer[got - 1] == kCtrlZ)
            --got; // the end-of-file mark of a text file is not data
        if (got > 0) {
            setInput(m_buffer.get(), got);
            return true;
        }
        if (!m_series) {
            m_file.close();
            return false;
        }
        const int next = NextPart();
        if (next != ncOk) {
            setError(next);
            return false;
        }
    }
    return false;
}

int MyFileStream::drain(const char *data, qint64 count)
{
    return m_file.write(data, count);
}

// ---------------------------------------------------------------------------------------------
// MyStringStream

MyStringStream::MyStringStream(QStringList *lines) : m_lines(lines)
{
}

void MyStringStream::OpenRead(bool binary)
{
    m_next = 0;
    qint64 total = 0;
    for (const QString &line : *m_lines)
        total += line.toUtf8().size() + 1;
    setTotal(total);
    setBinary(binary);
}

void MyStringStream::OpenWrite()
{
    m_lines->clear();
    m_pending.clear();
    setOutputCapacity(kMaxBuffer);
    setBinary(true);
}

bool MyStringStream::fill()
{
    if (m_next >= m_lines->size())
        return false;
    m_current = m_lines->at(m_next++).toUtf8();
    m_current.append('\n');
    setInput(m_current.constData(), m_current.size());
    return true;
}

int MyStringStream::drain(const char *data, qint64 count)
{
    qint64 start = 0;
    for (qint64 i = 0; i < count; ++i) {
        if (data[i] != '\n')
            continue;
        m_pending.append(data + start, i - start);
        m_lines->append(QString::fromLatin1(m_pending));
        m_pending.clear();
        start = i + 1;
    }
    m_pending.append(data + start, count - start);
    return ncOk;
}

int MyStringStream::Close()
{
    const int code = Flush();
    if (!m_pending.isEmpty())
        m_lines->append(QString::fromLatin1(m_pending));
    m_pending.clear();
    return code;
}

// ---------------------------------------------------------------------------------------------
// MyAnsiString

MyAnsiString::MyAnsiString(QByteArray *data) : m_data(data)
{
}

void MyAnsiString::OpenRead(bool binary)
{
    setInput(m_data->constData(), m_data->size());
    setTotal(m_data->size());
    setBinary(binary);
}

void MyAnsiString::OpenWrite(bool binary)
{
    m_data->clear();
    setOutputCapacity(kMaxBuffer);
    setBinary(binary);
}

int MyAnsiString::drain(const char *data, qint64 count)
{
    m_data->append(data, count);
    return ncOk;
}

} // namespace cvb
