#include "data/DbfFile.h"

#include "data/DataError.h"
#include "data/FieldCodec.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QScopeGuard>
#include <QtDebug>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cvb {

namespace {

constexpr unsigned char DbaseIII = 0x03;
constexpr char HeaderEnd = 0x0D;
constexpr char EndOfFile = 0x1A;
constexpr int FileHeaderSize = 32;
constexpr int DescriptorSize = 32;

quint16 le16(const char *p)
{
    return quint16(quint8(p[0]) | quint8(p[1]) << 8);
}

quint32 le32(const char *p)
{
    return quint32(quint8(p[0])) | quint32(quint8(p[1])) << 8 | quint32(quint8(p[2])) << 16 |
           quint32(quint8(p[3])) << 24;
}

void putLe16(char *p, quint32 v)
{
    p[0] = char(v & 0xFF);
    p[1] = char((v >> 8) & 0xFF);
}

void putLe32(char *p, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = char((v >> (8 * i)) & 0xFF);
}

// Bytes 1..7 of the header: date of last update (YY MM DD) and the record count.
QByteArray updateStamp(quint32 count)
{
    const QDate today = QDate::currentDate();
    QByteArray stamp(7, '\0');
    stamp[0] = char(today.year() - 1900);
    stamp[1] = char(today.month());
    stamp[2] = char(today.day());
    putLe32(stamp.data() + 3, count);
    return stamp;
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool validFieldType(char type)
{
    return type == 'C' || type == 'L' || type == 'N' || type == 'D' || type == 'F';
}

// Messages already given about files whose header count disagrees with their length.
QHash<QString, QString> &reportedFiles()
{
    static QHash<QString, QString> files;
    return files;
}

} // namespace

std::unique_ptr<DbfFile> DbfFile::open(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    bool writable = true;
    int fd = ::open(native.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0 && (errno == EACCES || errno == EROFS)) {
        writable = false;
        fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0)
        throw DataError(QStringLiteral("Cannot open table %1: %2").arg(path, systemError()));
    std::unique_ptr<DbfFile> file(new DbfFile(path, fd, writable));
    file->readHeader();
    return file;
}

DbfFile::DbfFile(const QString &path, int fd, bool writable) : m_path(path), m_fd(fd), m_writable(writable)
{
}

DbfFile::~DbfFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QString DbfFile::fileName() const
{
    return QFileInfo(m_path).fileName();
}

void DbfFile::fail(const QString &what) const
{
    throw DataError(QStringLiteral("Table %1: %2").arg(m_path, what));
}

void DbfFile::readHeader()
{
    struct stat st
    {
    };
    if (::fstat(m_fd, &st) != 0)
        fail(QStringLiteral("cannot read its size: %1").arg(systemError()));
    if (!S_ISREG(st.st_mode))
        fail(QStringLiteral("is not a regular file"));
    char fixed[FileHeaderSize];
    if (st.st_size < FileHeaderSize || ::pread(m_fd, fixed, FileHeaderSize, 0) != FileHeaderSize)
        fail(QStringLiteral("is not a dBase III table (the file is too short for a table header)"));
    if (quint8(fixed[0]) != DbaseIII)
        fail(QStringLiteral("is not a dBase III table (version byte 0x%1, expected 0x03)")
                 .arg(quint8(fixed[0]), 2, 16, QLatin1Char('0')));
    m_headerSize = le16(fixed + 8);
    m_recordSize = le16(fixed + 10);
    if (m_headerSize < FileHeaderSize + DescriptorSize + 1 || m_headerSize > st.st_size)
        fail(QStringLiteral("damaged header (header length %1 does not fit a file of %2 bytes)")
                 .arg(m_headerSize)
                 .arg(qint64(st.st_size)));
    QByteArray header(m_headerSize, '\0');
    if (::pread(m_fd, header.data(), m_headerSize, 0) != m_headerSize)
        fail(QStringLiteral("cannot read the header: %1").arg(systemError()));

    int pos = FileHeaderSize;
    int sum = 1;
    for (; pos + DescriptorSize <= m_headerSize && header[pos] != HeaderEnd; pos += DescriptorSize) {
        const char *d = header.constData() + pos;
        FieldDef field;
        field.name = QByteArray(d, qstrnlen(d, 11)).toUpper(); // names are not case-sensitive
        const char type = d[11];
        field.width = quint8(d[16]);
        field.decimals = quint8(d[17]);
        const int number = m_fields.size() + 1;
        if (field.name.isEmpty())
            fail(QStringLiteral("damaged header (field %1 has no name)").arg(number));
        if (!validFieldType(type))
            fail(QStringLiteral("field %1 has the unsupported type '%2'")
                     .arg(QString::fromLatin1(field.name), QString::fromLatin1(&type, 1)));
        if (field.width == 0)
            fail(
                QStringLiteral("damaged header (field %1 has width 0)").arg(QString::fromLatin1(field.name)));
        // A logical field is one byte and a date eight: the field codecs write exactly that much.
        if ((type == 'L' && field.width != 1) || (type == 'D' && field.width != 8))
            fail(QStringLiteral("damaged header (field %1 of type %2 has width %3, not %4)")
                     .arg(QString::fromLatin1(field.name), QString::fromLatin1(&type, 1))
                     .arg(field.width)
                     .arg(type == 'L' ? 1 : 8));
        field.type = type == 'F' ? FieldType::Numeric : FieldType(type);
        sum += field.width;
        m_fields.append(field);
    }
    if (pos >= m_headerSize || header[pos] != HeaderEnd)
        fail(QStringLiteral("damaged header (the field list has no end mark)"));
    if (m_fields.isEmpty())
        fail(QStringLiteral("damaged header (no fields)"));
    if (sum != m_recordSize)
        fail(QStringLiteral("damaged header (record length %1 does not match the fields, which need %2)")
                 .arg(m_recordSize)
                 .arg(sum));
}

QString DbfFile::layoutMismatch(const TableLayout &layout) const
{
    const QString file = m_path;
    for (int i = 0; i < layout.fields.size(); ++i) {
        const FieldDef &want = layout.fields[i];
        if (i >= m_fields.size())
            return QStringLiteral("Table %1: field %2 is missing (expected %3 as field %4)")
                .arg(file, QString::fromLatin1(want.name), describeField(want))
                .arg(i + 1);
        const FieldDef &have = m_fields[i];
        if (have.name != want.name)
            return QStringLiteral("Table %1: field %2 is %3, expected %4")
                .arg(file)
                .arg(i + 1)
                .arg(describeField(have), describeField(want));
        if (have != want)
            return QStringLiteral("Table %1: field %2 is %3, expected %4")
                .arg(file, QString::fromLatin1(want.name), describeField(have), describeField(want));
    }
    if (m_fields.size() > layout.fields.size())
        return QStringLiteral("Table %1: unexpected field %2 (%3) after the last field %4")
            .arg(file, QString::fromLatin1(m_fields[layout.fields.size()].name),
                 describeField(m_fields[layout.fields.size()]),
                 QString::fromLatin1(layout.fields.last().name));
    return {};
}

quint32 DbfFile::wholeRecords(qint64 *tornBytes) const
{
    struct stat st
    {
    };
    if (::fstat(m_fd, &st) != 0)
        fail(QStringLiteral("cannot read its size: %1").arg(systemError()));
    const qint64 body = qMax<qint64>(0, st.st_size - m_headerSize);
    const quint32 whole = quint32(body / m_recordSize);
    qint64 rest = body % m_recordSize;
    if (rest == 1) {
        char last = 0;
        if (::pread(m_fd, &last, 1, st.st_size - 1) == 1 && last == EndOfFile)
            rest = 0;
    }
    *tornBytes = rest;
    return whole;
}

quint32 DbfFile::readAll(QByteArray *records)
{
    qint64 torn = 0;
    const quint32 whole = wholeRecords(&torn);
    char countBytes[4];
    if (::pread(m_fd, countBytes, 4, 4) != 4)
        fail(QStringLiteral("cannot read the header: %1").arg(systemError()));
    const quint32 headerCount = le32(countBytes);
    if (headerCount != whole || torn != 0) {
        auto reported = reportedFiles().find(m_path);
        if (reported == reportedFiles().end()) {
            QString notice =
                QStringLiteral("Table %1: the header counts %2 records but the file holds %3 whole "
                               "records; all %3 are used")
                    .arg(m_path)
                    .arg(headerCount)
                    .arg(whole);
            if (torn != 0)
                notice += QStringLiteral(" and a torn last record of %1 bytes is skipped").arg(torn);
            qWarning().noquote() << notice;
            reported = reportedFiles().insert(m_path, notice);
        }
        m_notice = reported.value();
    } else {
        m_notice.clear();
    }
    const qint64 size = qint64(whole) * m_recordSize;
    records->resize(size);
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::pread(m_fd, records->data() + done, size_t(size - done), m_headerSize + done);
        if (n <= 0)
            fail(QStringLiteral("cannot read its records: %1")
                     .arg(n < 0 ? systemError() : QStringLiteral("end of file")));
        done += n;
    }
    return whole;
}

void DbfFile::writeAt(qint64 offset, const char *data, qint64 size)
{
    if (!m_writable)
        fail(QStringLiteral("the file is read-only"));
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(m_fd, data + done, size_t(size - done), offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail(QStringLiteral("cannot write: %1").arg(systemError()));
        done += n;
    }
}

void DbfFile::sync()
{
    if (::fdatasync(m_fd) != 0)
        fail(QStringLiteral("cannot flush to disk: %1").arg(systemError()));
}

void DbfFile::writeHeaderCount(quint32 count)
{
    const QByteArray stamp = updateStamp(count);
    writeAt(1, stamp.constData(), stamp.size());
    sync();
}

void DbfFile::writeRecord(quint32 recno, const QByteArray &record)
{
    Q_ASSERT(record.size() == m_recordSize);
    writeAt(m_headerSize + qint64(recno) * m_recordSize, record.constData(), m_recordSize);
    sync();
}

quint32 DbfFile::appendRecord(const QByteArray &record)
{
    return appendRecords({record});
}

quint32 DbfFile::appendRecords(const QList<QByteArray> &records)
{
    QByteArray withEnd;
    withEnd.reserve(qsizetype(records.size()) * m_recordSize + 1);
    for (const QByteArray &record : records) {
        Q_ASSERT(record.size() == m_recordSize);
        withEnd += record;
    }
    withEnd += EndOfFile;
    // Reading the length, writing the record and writing the count are one step for every
    // writer of the file (other cursors, other programs, cvb-dbf): under an exclusive advisory
    // lock, two appends never take the same place.
    while (::flock(m_fd, LOCK_EX) != 0) {
        if (errno != EINTR)
            fail(QStringLiteral("cannot lock it for writing: %1").arg(systemError()));
    }
    const auto unlock = qScopeGuard([this] { ::flock(m_fd, LOCK_UN); });
    // The end is taken from the file's length, so that records appended through other
    // cursors are kept; a torn last record is overwritten by the new one, never cut off.
    qint64 torn = 0;
    const quint32 recno = wholeRecords(&torn);
    writeAt(m_headerSize + qint64(recno) * m_recordSize, withEnd.constData(), withEnd.size());
    sync();
    writeHeaderCount(recno + quint32(records.size()));
    return recno;
}

void DbfFile::markDeleted(quint32 recno)
{
    markDeleted(std::vector<quint32>{recno});
}

void DbfFile::markDeleted(const std::vector<quint32> &recnos)
{
    const char mark = '*';
    for (const quint32 recno : recnos)
        writeAt(m_headerSize + qint64(recno) * m_recordSize, &mark, 1);
    sync();
}

bool DbfFile::deletedOnDisk(quint32 recno) const
{
    char flag = ' ';
    if (::pread(m_fd, &flag, 1, m_headerSize + qint64(recno) * m_recordSize) != 1)
        return true;
    return flag == '*';
}

void DbfFile::create(const QString &path, const TableLayout &layout, int blankRecords, unsigned mode)
{
    const int headerSize = FileHeaderSize + DescriptorSize * int(layout.fields.size()) + 1;
    QByteArray bytes(headerSize, '\0');
    bytes[0] = char(DbaseIII);
    const QByteArray stamp = updateStamp(quint32(blankRecords));
    std::memcpy(bytes.data() + 1, stamp.constData(), 7);
    putLe16(bytes.data() + 8, quint32(headerSize));
    putLe16(bytes.data() + 10, quint32(layout.recordSize()));
    int pos = FileHeaderSize;
    for (const FieldDef &f : layout.fields) {
        std::memcpy(bytes.data() + pos, f.name.constData(), size_t(qMin<qsizetype>(f.name.size(), 10)));
        bytes[pos + 11] = char(f.type);
        bytes[pos + 16] = char(f.width);
        bytes[pos + 17] = char(f.decimals);
        pos += DescriptorSize;
    }
    bytes[pos] = HeaderEnd;
    const QByteArray blank = blankRecord(layout.fields);
    for (int i = 0; i < blankRecords; ++i)
        bytes += blank;
    bytes += EndOfFile;

    const QByteArray target = QFile::encodeName(path);
    const QByteArray temp = target + ".new";
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0)
        throw DataError(QStringLiteral("Cannot create table %1: %2").arg(path, systemError()));
    const bool written = ::fchmod(fd, mode) == 0 &&
                         ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size() &&
                         ::fsync(fd) == 0;
    const QString error = written ? QString() : systemError();
    ::close(fd);
    // link() refuses to replace a file that appeared meanwhile: an existing table is never touched.
    const bool linked = written && ::link(temp.constData(), target.constData()) == 0;
    const QString linkError = written && !linked ? systemError() : QString();
    ::unlink(temp.constData());
    if (!linked)
        throw DataError(QStringLiteral("Cannot create table %1: %2").arg(path, written ? linkError : error));
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

} // namespace cvb
