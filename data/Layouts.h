// Record layouts of the five tables of the database folder.
#pragma once
#include <QByteArray>
#include <QList>
#include <QString>

namespace cvb {

enum class FieldType : char { Character = 'C', Logical = 'L', Numeric = 'N', Date = 'D' };

struct FieldDef
{
    QByteArray name; // upper case, at most 10 bytes
    FieldType type = FieldType::Character;
    int width = 0;
    int decimals = 0;

    bool operator==(const FieldDef &) const = default;
};

// Text of a field for messages, e.g. "EVENT C(100)".
QString describeField(const FieldDef &field);

struct TableLayout
{
    QString fileName; // exact file name in the database folder, letter case included
    QList<FieldDef> fields;

    int fieldIndex(const QString &name) const; // case-insensitive; -1 when absent
    int recordSize() const;                    // deletion flag plus every field
};

// File names of the five tables.
inline const QString ProfilesTable = QStringLiteral("FTP Profiles.DBF");
inline const QString SourcesTable = QStringLiteral("FTP Sources.DBF");
inline const QString QueueTable = QStringLiteral("FTP Queue.dbf");
inline const QString LogTable = QStringLiteral("FTP Log.dbf");
inline const QString ConnectionTable = QStringLiteral("FTP Connection.dbf");

// Name of the one index: profile-name order of the profiles and sources tables.
inline const QString ProfileIndex = QStringLiteral("PROFILE");

const TableLayout &profilesLayout();
const TableLayout &sourcesLayout();
const TableLayout &queueLayout();
const TableLayout &logLayout();
const TableLayout &connectionLayout();

// The five layouts in the order above.
QList<const TableLayout *> allLayouts();

// The layout a file of that name must have (exact name match), or nullptr.
const TableLayout *layoutForFile(const QString &fileName);

} // namespace cvb
