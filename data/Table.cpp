#include "data/Table.h"

#include "data/DataError.h"
#include "data/Database.h"
#include "data/DbfFile.h"
#include "data/FieldCodec.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace cvb {

namespace {

// Length of a field's value without trailing blanks.
int trimmedLength(const char *bytes, int width)
{
    while (width > 0 && (bytes[width - 1] == ' ' || bytes[width - 1] == '\0'))
        --width;
    return width;
}

} // namespace

Table::Table(QObject *parent) : QObject(parent)
{
}

Table::Table(const QString &objectName, QObject *parent) : QObject(parent)
{
    setObjectName(objectName);
}

Table::~Table()
{
    // What a writer held back is not lost with the cursor.
    try {
        flushHeld();
    } catch (const std::exception &) {
        // No error leaves a destructor; the rows were in the backup's window and full log.
    }
}

void Table::setTableName(const QString &fileName)
{
    if (isOpen() && fileName != m_tableName)
        throw DataError(QStringLiteral("Cannot change the table of the open cursor %1").arg(objectName()));
    m_tableName = fileName;
}

void Table::setIndexName(const QString &indexName)
{
    m_indexName = indexName;
    if (!isOpen())
        return;
    checkBrowseMode();
    m_indexField = -1;
    if (!indexName.isEmpty()) {
        const auto it = std::find_if(m_fields.begin(), m_fields.end(), [&](const Field &f) {
            return f.def.name == indexName.trimmed().toUpper().toLatin1();
        });
        if (it == m_fields.end())
            throw DataError(QStringLiteral("Table %1 has no index %2").arg(filePath(), indexName));
        m_indexField = int(it - m_fields.begin());
    }
    const std::optional<quint32> keep =
        m_pos >= 0 ? std::optional<quint32>(m_recnos[size_t(m_view[size_t(m_pos)])]) : std::nullopt;
    rebuildView(keep, {});
}

void Table::setFolder(const QString &folder)
{
    m_folder = folder;
}

QString Table::folder() const
{
    return m_folder.isEmpty() ? aliasFolder() : m_folder;
}

QString Table::filePath() const
{
    if (QDir::isAbsolutePath(m_tableName))
        return m_tableName;
    return QDir(folder()).filePath(m_tableName);
}

void Table::open(const QString &fileName, const QString &indexName)
{
    setTableName(fileName);
    m_indexName = indexName;
    open();
}

void Table::open()
{
    if (isOpen())
        return;
    if (m_tableName.isEmpty())
        throw DataError(QStringLiteral("Cursor %1 has no table name").arg(objectName()));
    std::unique_ptr<DbfFile> file = DbfFile::open(filePath());
    if (const TableLayout *layout = layoutForFile(QFileInfo(m_tableName).fileName())) {
        const QString mismatch = file->layoutMismatch(*layout);
        if (!mismatch.isEmpty())
            throw DataError(mismatch);
    }
    m_file = std::move(file);
    m_fieldDefs = m_file->fields();
    m_fields.clear();
    int offset = 1;
    for (const FieldDef &def : m_fieldDefs) {
        m_fields.push_back({def, offset});
        offset += def.width;
    }
    m_recordSize = m_file->recordSize();
    m_condition.reset();
    try {
        if (!m_filterText.trimmed().isEmpty())
            m_condition = parseFilter(m_fieldDefs, m_filterText);
        load();
        m_state = State::Browse;
        setIndexName(m_indexName);
    } catch (...) {
        m_state = State::Inactive;
        m_file.reset();
        throw;
    }
    first();
    emit dataChanged();
}

void Table::close()
{
    if (!isOpen())
        return;
    // Held records are written first; should that fail, the error is raised and the table stays
    // open with them.
    flushHeld();
    m_file.reset();
    m_data.clear();
    m_recnos.clear();
    m_view.clear();
    m_buffer.clear();
    m_editSlot = -1;
    m_pos = -1;
    m_bof = m_eof = true;
    m_indexField = -1;
    m_state = State::Inactive;
    emit dataChanged();
}

void Table::reopen()
{
    close();
    open();
}

const QList<FieldDef> &Table::fields() const
{
    requireOpen("read its fields");
    return m_fieldDefs;
}

bool Table::hasField(const QString &name) const
{
    const QByteArray wanted = name.trimmed().toUpper().toLatin1();
    return std::any_of(m_fields.begin(), m_fields.end(),
                       [&](const Field &f) { return f.def.name == wanted; });
}

void Table::requireOpen(const char *operation) const
{
    if (!isOpen())
        throw DataError(QStringLiteral("Cannot %1: cursor %2 on %3 is not open")
                            .arg(QLatin1String(operation), objectName(), m_tableName));
}

void Table::checkBrowseMode()
{
    if (m_state == State::Edit || m_state == State::Insert)
        post();
}

void Table::load()
{
    const quint32 count = m_file->readAll(&m_data);
    m_recnos.resize(count);
    for (quint32 i = 0; i < count; ++i)
        m_recnos[i] = i;
}

const char *Table::slotData(int slot) const
{
    return m_data.constData() + qint64(slot) * m_recordSize;
}

int Table::slotOf(quint32 recno) const
{
    const auto it = std::lower_bound(m_recnos.begin(), m_recnos.end(), recno);
    return it != m_recnos.end() && *it == recno ? int(it - m_recnos.begin()) : -1;
}

bool Table::passes(int slot) const
{
    const char *record = slotData(slot);
    if (!m_showDeleted && record[0] == '*')
        return false;
    return !m_filtered || !m_condition || m_condition->matches(record);
}

bool Table::keyLess(const char *a, quint32 recA, const char *b, quint32 recB) const
{
    if (m_indexField >= 0) {
        const Field &f = m_fields[size_t(m_indexField)];
        const int lenA = trimmedLength(a + f.offset, f.def.width);
        const int lenB = trimmedLength(b + f.offset, f.def.width);
        const size_t common = size_t(std::max(0, std::min(lenA, lenB)));
        const int cmp = common == 0 ? 0 : std::memcmp(a + f.offset, b + f.offset, common);
        if (cmp != 0)
            return cmp < 0;
        if (lenA != lenB)
            return lenA < lenB;
    }
    return recA < recB;
}

bool Table::before(int slotA, int slotB) const
{
    return keyLess(slotData(slotA), m_recnos[size_t(slotA)], slotData(slotB), m_recnos[size_t(slotB)]);
}

void Table::rebuildView(std::optional<quint32> keepRecno, const QByteArray &keepRecord)
{
    m_view.clear();
    m_view.reserve(m_recnos.size());
    for (int slot = 0; slot < int(m_recnos.size()); ++slot) {
        if (passes(slot))
            m_view.push_back(slot);
    }
    if (m_indexField >= 0)
        std::sort(m_view.begin(), m_view.end(), [this](int a, int b) { return before(a, b); });
    if (!keepRecno) {
        settle(0);
        m_bof = true;
    } else {
        const auto found = std::find_if(m_view.begin(), m_view.end(),
                                        [&](int slot) { return m_recnos[size_t(slot)] == *keepRecno; });
        if (found != m_view.end()) {
            settle(int(found - m_view.begin()));
        } else {
            // The record is gone from the view: the one that followed it becomes current.
            const QByteArray &key = keepRecord.isEmpty() ? m_buffer : keepRecord;
            const auto after = std::lower_bound(m_view.begin(), m_view.end(), 0, [&](int slot, int) {
                return key.size() == m_recordSize
                           ? keyLess(slotData(slot), m_recnos[size_t(slot)], key.constData(), *keepRecno)
                           : m_recnos[size_t(slot)] < *keepRecno;
            });
            settle(int(after - m_view.begin()));
        }
    }
    emit dataChanged();
    emit currentChanged();
}

void Table::first()
{
    requireOpen("move to the first record");
    checkBrowseMode();
    m_pos = m_view.empty() ? -1 : 0;
    m_bof = true;
    m_eof = m_view.empty();
    emit currentChanged();
}

void Table::last()
{
    requireOpen("move to the last record");
    checkBrowseMode();
    m_pos = int(m_view.size()) - 1;
    m_eof = true;
    m_bof = m_view.empty();
    emit currentChanged();
}

void Table::next()
{
    requireOpen("move to the next record");
    checkBrowseMode();
    if (m_pos + 1 < int(m_view.size())) {
        ++m_pos;
        m_bof = m_eof = false;
        emit currentChanged();
    } else {
        m_eof = true;
        m_bof = m_view.empty();
    }
}

void Table::prior()
{
    requireOpen("move to the previous record");
    checkBrowseMode();
    if (m_pos > 0) {
        --m_pos;
        m_bof = m_eof = false;
        emit currentChanged();
    } else {
        m_bof = true;
        m_eof = m_view.empty();
    }
}

void Table::moveTo(int position)
{
    requireOpen("move");
    checkBrowseMode();
    if (m_view.empty())
        return;
    m_pos = std::clamp(position, 0, int(m_view.size()) - 1);
    m_bof = m_eof = false;
    emit currentChanged();
}

int Table::recNo() const
{
    if (m_state == State::Insert || m_pos < 0)
        return 0;
    return int(m_recnos[size_t(m_view[size_t(m_pos)])]) + 1;
}

void Table::refresh()
{
    requireOpen("refresh");
    checkBrowseMode();
    std::optional<quint32> keep;
    QByteArray keepRecord;
    if (m_pos >= 0) {
        const int slot = m_view[size_t(m_pos)];
        keep = m_recnos[size_t(slot)];
        keepRecord = QByteArray(slotData(slot), m_recordSize);
    }
    load();
    rebuildView(keep, keepRecord);
}

void Table::setState(State state)
{
    m_state = state;
    if (state == State::Browse) {
        m_buffer.clear();
        m_editSlot = -1;
    }
    emit dataChanged();
}

void Table::insert()
{
    requireOpen("insert");
    checkBrowseMode();
    if (!m_file->writable())
        throw DataError(QStringLiteral("Cannot insert: table %1 is read-only").arg(filePath()));
    m_buffer = blankRecord(m_fieldDefs);
    m_editSlot = -1;
    setState(State::Insert);
}

void Table::edit()
{
    requireOpen("edit");
    if (m_state == State::Edit || m_state == State::Insert)
        return;
    if (m_view.empty()) {
        insert();
        return;
    }
    if (!m_file->writable())
        throw DataError(QStringLiteral("Cannot edit: table %1 is read-only").arg(filePath()));
    m_editSlot = m_view[size_t(m_pos)];
    m_buffer = QByteArray(slotData(m_editSlot), m_recordSize);
    m_state = State::Edit;
    emit dataChanged();
}

void Table::post()
{
    if (m_state != State::Edit && m_state != State::Insert)
        return;
    quint32 recno = 0;
    const bool inserting = m_state == State::Insert;
    if (inserting && m_holdingInserts) {
        m_held.append(m_buffer);
        m_state = State::Browse;
        m_buffer.clear();
        m_editSlot = -1;
        return;
    }
    if (inserting) {
        recno = m_file->appendRecord(m_buffer);
        takeInAppended(recno, {m_buffer});
    } else {
        recno = m_recnos[size_t(m_editSlot)];
        char *stored = m_data.data() + qint64(m_editSlot) * m_recordSize;
        if (m_file->deletedOnDisk(recno)) {
            // Writing it back would bring a record deleted through another cursor to life.
            stored[0] = '*';
            leaveEditing(recno, false);
            throw DataError(QStringLiteral("Cannot post: record %1 of %2 was deleted through another cursor")
                                .arg(recno + 1)
                                .arg(filePath()));
        }
        m_buffer[0] = stored[0];
        m_file->writeRecord(recno, m_buffer);
        std::memcpy(stored, m_buffer.constData(), size_t(m_recordSize));
    }
    leaveEditing(recno, inserting);
}

void Table::takeInAppended(quint32 first, const QList<QByteArray> &records)
{
    if (m_recnos.empty() || first > m_recnos.back()) {
        for (qsizetype i = 0; i < records.size(); ++i) {
            m_recnos.push_back(first + quint32(i));
            m_data.append(records[i]);
        }
    } else {
        load(); // the file was made shorter behind the cursor's back: read it anew
    }
}

void Table::setHoldingInserts(bool on)
{
    if (!on)
        flushHeld();
    m_holdingInserts = on;
}

void Table::flushHeld()
{
    if (m_held.isEmpty())
        return;
    requireOpen("post");
    const QList<QByteArray> held = std::move(m_held);
    m_held.clear();
    const quint32 first = m_file->appendRecords(held);
    takeInAppended(first, held);
    // The view takes the records in before anyone hears of the change.
    for (qsizetype i = 0; i < held.size(); ++i)
        setPositionAfterChange(first + quint32(i), true);
    emit dataChanged();
}

void Table::leaveEditing(quint32 recno, bool inserted)
{
    // The view takes the record in before anyone hears of the change: a grid that counts its rows
    // on dataChanged must see the record just appended.
    m_state = State::Browse;
    m_buffer.clear();
    m_editSlot = -1;
    setPositionAfterChange(recno, inserted);
    emit dataChanged();
}

void Table::setPositionAfterChange(quint32 recno, bool inserted)
{
    const int slot = slotOf(recno);
    if (!inserted) {
        const auto inView = std::find(m_view.begin(), m_view.end(), slot);
        if (inView != m_view.end())
            m_view.erase(inView);
    }
    const auto place =
        std::lower_bound(m_view.begin(), m_view.end(), slot, [this](int a, int b) { return before(a, b); });
    const bool visible = passes(slot);
    const auto at = visible ? m_view.insert(place, slot) : place;
    settle(int(at - m_view.begin()));
    emit currentChanged();
}

void Table::settle(int position)
{
    m_pos = position;
    m_bof = m_eof = false;
    if (m_view.empty()) {
        m_pos = -1;
        m_bof = m_eof = true;
    } else if (m_pos >= int(m_view.size())) {
        // Nothing follows: the last record is current and the end is reached.
        m_pos = int(m_view.size()) - 1;
        m_eof = true;
    }
}

void Table::cancel()
{
    if (m_state != State::Edit && m_state != State::Insert)
        return;
    setState(State::Browse);
    emit currentChanged();
}

void Table::deleteRecord()
{
    requireOpen("delete");
    cancel();
    if (m_view.empty())
        throw DataError(QStringLiteral("Cannot delete: no current record in %1").arg(filePath()));
    const int slot = m_view[size_t(m_pos)];
    m_file->markDeleted(m_recnos[size_t(slot)]);
    m_data[qint64(slot) * m_recordSize] = '*';
    if (!m_showDeleted)
        m_view.erase(m_view.begin() + m_pos);
    settle(m_pos);
    emit dataChanged();
    emit currentChanged();
}

void Table::deleteAll()
{
    requireOpen("delete");
    cancel();
    if (m_view.empty())
        return;
    std::vector<quint32> recnos;
    recnos.reserve(m_view.size());
    for (const int slot : m_view)
        recnos.push_back(m_recnos[size_t(slot)]);
    m_file->markDeleted(recnos);
    for (const int slot : m_view)
        m_data[qint64(slot) * m_recordSize] = '*';
    if (!m_showDeleted)
        m_view.clear();
    settle(0);
    emit dataChanged();
    emit currentChanged();
}

bool Table::locate(const QString &fieldName, const QString &value)
{
    requireOpen("locate");
    checkBrowseMode();
    const Condition condition(m_fieldDefs, fieldName, value);
    for (size_t i = 0; i < m_view.size(); ++i) {
        if (condition.matches(slotData(m_view[i]))) {
            m_pos = int(i);
            m_bof = m_eof = false;
            emit currentChanged();
            return true;
        }
    }
    return false;
}

void Table::setFilter(const QString &expression)
{
    if (!isOpen()) {
        m_filterText = expression;
        return;
    }
    checkBrowseMode();
    std::optional<Condition> condition;
    if (!expression.trimmed().isEmpty())
        condition = parseFilter(m_fieldDefs, expression);
    m_filterText = expression;
    m_condition = condition;
    if (m_filtered)
        rebuildView(std::nullopt, {});
}

void Table::setFiltered(bool on)
{
    m_filtered = on;
    if (!isOpen())
        return;
    checkBrowseMode();
    rebuildView(std::nullopt, {});
}

void Table::setShowDeleted(bool on)
{
    m_showDeleted = on;
    if (isOpen()) {
        checkBrowseMode();
        rebuildView(std::nullopt, {});
    }
}

bool Table::isDeleted() const
{
    const char *record = currentRecord();
    return record != nullptr && record[0] == '*';
}

const Table::Field &Table::field(const QString &name) const
{
    requireOpen("read a field");
    const QByteArray wanted = name.trimmed().toUpper().toLatin1();
    for (const Field &f : m_fields) {
        if (f.def.name == wanted)
            return f;
    }
    throw DataError(QStringLiteral("Field '%1' not found in %2").arg(name, filePath()));
}

const char *Table::currentRecord() const
{
    if (m_state == State::Edit || m_state == State::Insert)
        return m_buffer.constData();
    if (m_pos < 0)
        return nullptr;
    return slotData(m_view[size_t(m_pos)]);
}

QString Table::stringAt(int position, const QString &fieldName) const
{
    const Field &f = field(fieldName);
    if (position < 0 || position >= int(m_view.size()))
        return {};
    const char *bytes = slotData(m_view[size_t(position)]) + f.offset;
    if (f.def.type == FieldType::Character)
        return decodeText(bytes, f.def.width);
    return QString::fromLatin1(bytes, f.def.width).trimmed();
}

QString Table::asString(const QString &fieldName) const
{
    const Field &f = field(fieldName);
    const char *record = currentRecord();
    if (!record)
        return {};
    const char *bytes = record + f.offset;
    if (f.def.type == FieldType::Character)
        return decodeText(bytes, f.def.width);
    return QString::fromLatin1(bytes, f.def.width).trimmed();
}

int Table::asInt(const QString &fieldName) const
{
    const Field &f = field(fieldName);
    const char *record = currentRecord();
    if (!record)
        return 0;
    const char *bytes = record + f.offset;
    switch (f.def.type) {
    case FieldType::Numeric:
        return int(decodeNumber(bytes, f.def.width));
    case FieldType::Logical:
        return decodeLogical(bytes[0]) ? 1 : 0;
    case FieldType::Character:
        return decodeText(bytes, f.def.width).trimmed().toInt();
    case FieldType::Date:
        break;
    }
    return 0;
}

bool Table::asBool(const QString &fieldName) const
{
    const Field &f = field(fieldName);
    const char *record = currentRecord();
    if (!record)
        return false;
    const char *bytes = record + f.offset;
    switch (f.def.type) {
    case FieldType::Logical:
        return decodeLogical(bytes[0]);
    case FieldType::Numeric:
        return decodeNumber(bytes, f.def.width) != 0;
    case FieldType::Character: {
        bool ok = false;
        const bool value = parseLogicalText(decodeText(bytes, f.def.width), &ok);
        return ok && value;
    }
    case FieldType::Date:
        break;
    }
    return false;
}

QDate Table::asDate(const QString &fieldName) const
{
    const Field &f = field(fieldName);
    const char *record = currentRecord();
    if (!record)
        return {};
    const char *bytes = record + f.offset;
    if (f.def.type == FieldType::Date)
        return decodeDate(bytes, f.def.width);
    bool ok = false;
    const QDate date = parseDateText(decodeText(bytes, f.def.width), &ok);
    return ok ? date : QDate();
}

char *Table::writableField(const QString &fieldName, FieldType *type, int *width)
{
    const Field &f = field(fieldName);
    if (m_state != State::Edit && m_state != State::Insert)
        throw DataError(
            QStringLiteral("Cannot change field %1: cursor %2 on %3 is not in edit or insert mode")
                .arg(fieldName, objectName(), filePath()));
    *type = f.def.type;
    *width = f.def.width;
    return m_buffer.data() + f.offset;
}

namespace {

[[noreturn]] void badValue(const QString &value, const QString &field)
{
    throw DataError(QStringLiteral("'%1' is not a value for field %2").arg(value, field));
}

} // namespace

void Table::setString(const QString &fieldName, const QString &value)
{
    FieldType type;
    int width = 0;
    char *bytes = writableField(fieldName, &type, &width);
    bool ok = true;
    QByteArray encoded;
    switch (type) {
    case FieldType::Character:
        encoded = encodeText(value, width);
        break;
    case FieldType::Logical:
        encoded = QByteArray(1, parseLogicalText(value, &ok) ? 'T' : 'F');
        if (value.trimmed() == QLatin1String("?"))
            encoded = "?";
        break;
    case FieldType::Numeric: {
        const QString t = value.trimmed();
        const qint64 number = t.isEmpty() ? 0 : t.toLongLong(&ok);
        if (ok && t.isEmpty())
            encoded = QByteArray(width, ' ');
        else if (ok)
            ok = encodeNumber(number, width, &encoded);
        break;
    }
    case FieldType::Date:
        encoded = encodeDate(parseDateText(value, &ok));
        break;
    }
    if (!ok)
        badValue(value, fieldName);
    std::memcpy(bytes, encoded.constData(), size_t(width));
}

// The typed writers go through the text form, so that each field type has one encoder.
void Table::setInt(const QString &fieldName, int value)
{
    setString(fieldName, QString::number(value));
}

void Table::setBool(const QString &fieldName, bool value)
{
    setString(fieldName, value ? QStringLiteral("T") : QStringLiteral("F"));
}

void Table::setDate(const QString &fieldName, const QDate &value)
{
    setString(fieldName, value.isValid() ? value.toString(QStringLiteral("yyyyMMdd")) : QString());
}

QString Table::notice() const
{
    return m_file ? m_file->notice() : QString();
}

} // namespace cvb
