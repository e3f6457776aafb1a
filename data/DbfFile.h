// One dBase III table file on disk: its header, its fields and durable record writes.
#pragma once
#include "data/Layouts.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <vector>

namespace cvb {

class DbfFile
{
public:
    // Opens and checks the header; raises DataError naming the file when it is not a
    // dBase III table or its header is damaged. The file is never changed by opening.
    // A file that cannot be opened for writing is opened read-only.
    static std::unique_ptr<DbfFile> open(const QString &path);

    // Writes a new table with `blankRecords` blank records, atomically (temporary file and
    // rename), with the given permission bits. Raises DataError when it cannot.
    static void create(const QString &path, const TableLayout &layout, int blankRecords, unsigned mode);

    ~DbfFile();
    DbfFile(const DbfFile &) = delete;
    DbfFile &operator=(const DbfFile &) = delete;

    QString path() const { return m_path; }
    QString fileName() const;
    const QList<FieldDef> &fields() const { return m_fields; }
    int headerSize() const { return m_headerSize; }
    int recordSize() const { return m_recordSize; }
    bool writable() const { return m_writable; }

    // The layout check: empty when the fields equal `layout`, else a message naming
    // the file and the first field that differs.
    QString layoutMismatch(const TableLayout &layout) const;

    // Reads every whole record (deleted ones included) into `records`, one after
    // another, and returns their number. A header count that disagrees with the file's
    // length is reported once per file through notice() and a warning.
    quint32 readAll(QByteArray *records);

    // The message about a header count that disagrees with the length, or empty.
    QString notice() const { return m_notice; }

    // Durable writes: when they return, the record and then the header are written and
    // synced. Raise DataError on failure.
    void writeRecord(quint32 recno, const QByteArray &record);
    quint32 appendRecord(const QByteArray &record); // returns the new record's number (0-based)
    // Appends every record of the list after one another, with one sync for all the records and
    // then one for the header; returns the number of the first.
    quint32 appendRecords(const QList<QByteArray> &records);
    void markDeleted(quint32 recno);
    // Marks every record of the list deleted, with one sync for all of them.
    void markDeleted(const std::vector<quint32> &recnos);
    bool deletedOnDisk(quint32 recno) const;

private:
    DbfFile(const QString &path, int fd, bool writable);
    void readHeader();
    quint32 wholeRecords(qint64 *tornBytes) const;
    void writeAt(qint64 offset, const char *data, qint64 size);
    void sync();
    void writeHeaderCount(quint32 count);
    [[noreturn]] void fail(const QString &what) const;

    QString m_path;
    int m_fd = -1;
    bool m_writable = false;
    QList<FieldDef> m_fields;
    int m_headerSize = 0;
    int m_recordSize = 0;
    QString m_notice;
};

} // namespace cvb
