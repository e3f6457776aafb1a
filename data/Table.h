// A cursor over one table of the database folder: its own current record, filter and
// index order. Several cursors may be open on one table; a cursor sees what others
// posted after refresh() or reopening, and keeps its current record (by record number)
// when records are added or deleted through others.
//
// Positioning follows the classic data-set rules: after first() bof() is true, after
// last() eof() is true, next() on the last record sets eof() and stays there, prior()
// on the first sets bof(). An empty view has bof() and eof() true and no current record.
// Moving, refreshing, locating or changing the filter while editing posts the edit
// first; close() discards it. edit() on an empty view starts an insert.
//
// Every failure raises DataError.
#pragma once
#include "data/Filter.h"
#include "data/Layouts.h"

#include <QDate>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace cvb {

class DbfFile;

class Table : public QObject
{
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };

    explicit Table(QObject *parent = nullptr);
    Table(const QString &objectName, QObject *parent);
    ~Table() override;

    // Which table: a file name in the database folder (the alias folder unless
    // setFolder() chose another), or an absolute path. Index: empty or "PROFILE".
    void setTableName(const QString &fileName);
    QString tableName() const { return m_tableName; }
    void setIndexName(const QString &indexName);
    QString indexName() const { return m_indexName; }
    void setFolder(const QString &folder);
    QString folder() const; // the folder that open() uses

    void open();
    void open(const QString &fileName, const QString &indexName = {});
    void close();
    void reopen();
    bool isOpen() const { return m_state != State::Inactive; }
    State state() const { return m_state; }
    QString filePath() const; // the file that the cursor has open, or would open

    // Fields of the open table, in file order.
    const QList<FieldDef> &fields() const;
    bool hasField(const QString &name) const;

    // Navigation and size of the view (the records that pass the filter, in index order).
    void first();
    void last();
    void next();
    void prior();
    bool eof() const { return m_eof; }
    bool bof() const { return m_bof; }
    bool isEmpty() const { return m_view.empty(); }
    int recordCount() const { return int(m_view.size()); }
    int position() const { return m_pos; } // 0-based place in the view, -1 when empty
    void moveTo(int position);             // clamped into the view
    int recNo() const;                     // 1-based record number in the file, 0 when none

    // Re-reads the file so that other cursors' posts become visible; stays on the same record.
    void refresh();

    void insert(); // new empty record, current, in Insert state
    void append() { insert(); }
    void edit();
    void post();
    // While on, a new record that is posted is held back (it is not in the view yet) and
    // flushHeld() appends every held record at once, with one sync for them all: for a writer of
    // many rows in a row (a backup's log rows). Turning it off flushes. Edits are never held.
    void setHoldingInserts(bool on);
    void flushHeld();
    int heldCount() const { return int(m_held.size()); }
    void cancel();
    void deleteRecord(); // the record after it becomes current
    // Deletes every record of the view at once, as deleting from the first record until the view
    // is empty would, with one sync for all: when it returns, every one is deleted on disk.
    void deleteAll();

    // Makes current the first record of the view whose field equals `value`; false and
    // no move when there is none.
    bool locate(const QString &field, const QString &value);

    void setFilter(const QString &expression);
    QString filter() const { return m_filterText; }
    void setFiltered(bool on);
    bool filtered() const { return m_filtered; }

    // Also show deleted records (for tools that list everything); isDeleted() tells them apart.
    void setShowDeleted(bool on);
    bool isDeleted() const;

    // Field access by name on the current record (or the record being edited).
    // Reading with no current record gives empty values. Writing needs Edit or Insert state.
    QString asString(const QString &field) const; // dates as YYYYMMDD, logicals as stored
    int asInt(const QString &field) const;
    bool asBool(const QString &field) const;
    QDate asDate(const QString &field) const;
    // Text is cut to the width, never inside a character. Logical fields take T/F,
    // True/False, Y/N, 1/0 or blank; number fields whole numbers that fit; date fields
    // YYYYMMDD or YYYY-MM-DD. A value the field cannot hold raises DataError.
    void setString(const QString &field, const QString &value);
    void setInt(const QString &field, int value);
    void setBool(const QString &field, bool value);
    void setDate(const QString &field, const QDate &value); // invalid date: blank

    // Reading a record of the view without moving (for grids).
    QString stringAt(int position, const QString &field) const;

    // The message about a header count that disagrees with the file length, or empty.
    QString notice() const;

signals:
    void dataChanged();    // content, filter, order or state changed
    void currentChanged(); // another record became current

private:
    struct Field
    {
        FieldDef def;
        int offset = 0;
    };
    const Field &field(const QString &name) const;
    const char *currentRecord() const;
    char *writableField(const QString &name, FieldType *type, int *width);
    void requireOpen(const char *operation) const;
    void checkBrowseMode();
    void load();
    void rebuildView(std::optional<quint32> keepRecno, const QByteArray &keepRecord);
    bool passes(int slot) const;
    bool before(int slotA, int slotB) const;
    bool keyLess(const char *a, quint32 recA, const char *b, quint32 recB) const;
    const char *slotData(int slot) const;
    int slotOf(quint32 recno) const;
    void setPositionAfterChange(quint32 recno, bool inserted);
    // Back to browsing after a post: the record placed in the view, then the change signalled.
    void leaveEditing(quint32 recno, bool inserted);
    // Records just appended from `first` on join the cursor's copy of the file.
    void takeInAppended(quint32 first, const QList<QByteArray> &records);
    void settle(int position); // makes `position` current, or the last record with eof() set
    void setState(State state);

    QString m_tableName;
    QString m_indexName;
    QString m_folder;
    std::unique_ptr<DbfFile> m_file;
    std::vector<Field> m_fields;
    QList<FieldDef> m_fieldDefs;
    int m_recordSize = 0;
    int m_indexField = -1;

    QList<QByteArray> m_held;      // posted new records not yet written (setHoldingInserts)
    bool m_holdingInserts = false;
    QByteArray m_data;             // every record read, one after another
    std::vector<quint32> m_recnos; // record number (0-based) of each slot, ascending
    std::vector<int> m_view;       // slots visible, in order
    int m_pos = -1;
    bool m_bof = true;
    bool m_eof = true;

    State m_state = State::Inactive;
    QByteArray m_buffer; // record being edited or inserted
    int m_editSlot = -1;

    QString m_filterText;
    bool m_filtered = false;
    std::optional<Condition> m_condition;
    bool m_showDeleted = false;
};

} // namespace cvb
