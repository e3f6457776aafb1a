#include "tools/cvb-dbf/DbfCommands.h"

#include "data/DataError.h"
#include "data/Database.h"
#include "data/Table.h"

#include <QFileInfo>

namespace cvb::dbf {

QString usage()
{
    return QStringLiteral(
        "usage: cvb-dbf init DIR\n"
        "       cvb-dbf dump FILE\n"
        "       cvb-dbf add FILE FIELD=VALUE...\n"
        "       cvb-dbf set FILE RECNO FIELD=VALUE...\n"
        "       cvb-dbf --help | --version\n"
        "\n"
        "init  creates the five tables of a database folder that are missing\n"
        "dump  prints a table as tab-separated lines: first a line of field names, then one\n"
        "      line per record in file order, deleted records included. The first column is\n"
        "      the deletion mark: '*' for a deleted record, empty otherwise (and empty in the\n"
        "      line of names). Backslash, tab, newline and carriage return inside values are\n"
        "      written as \\\\, \\t, \\n and \\r. Logical fields show their stored letter, dates\n"
        "      YYYYMMDD.\n"
        "add   appends a record and prints its record number\n"
        "set   changes the record with that number (1 is the first record of the file)\n"
        "\n"
        "Values: text, T/F (or True/False, Y/N) for logical fields, whole numbers, and\n"
        "YYYYMMDD or YYYY-MM-DD for dates. Exit status: 0 done, 1 error, 2 usage.\n");
}

namespace {

QString escapeTsv(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\t'))
            out += QStringLiteral("\\t");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else
            out += c;
    }
    return out;
}

void openFile(Table &table, const QString &file)
{
    table.open(QFileInfo(file).absoluteFilePath());
}

int dump(const QString &file, QTextStream &out)
{
    Table table(QStringLiteral("Table_Dump"), nullptr);
    openFile(table, file);
    table.setShowDeleted(true);
    QStringList names;
    for (const FieldDef &f : table.fields())
        names << QString::fromLatin1(f.name);
    out << QLatin1Char('\t') << names.join(QLatin1Char('\t')) << QLatin1Char('\n');
    for (table.first(); !table.eof(); table.next()) {
        out << (table.isDeleted() ? QStringLiteral("*") : QString());
        for (const QString &name : names)
            out << QLatin1Char('\t') << escapeTsv(table.asString(name));
        out << QLatin1Char('\n');
    }
    return Ok;
}

// Splits FIELD=VALUE arguments; false with a message in `error` when one has no '='.
bool parseAssignments(const QStringList &args, QList<std::pair<QString, QString>> *out, QString *error)
{
    for (const QString &arg : args) {
        const int eq = arg.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            *error = QStringLiteral("expected FIELD=VALUE, got '%1'").arg(arg);
            return false;
        }
        out->append({arg.left(eq), arg.mid(eq + 1)});
    }
    return true;
}

void assign(Table &table, const QList<std::pair<QString, QString>> &values)
{
    for (const auto &[field, value] : values)
        table.setString(field, value);
}

int add(const QString &file, const QList<std::pair<QString, QString>> &values, QTextStream &out)
{
    Table table(QStringLiteral("Table_Add"), nullptr);
    openFile(table, file);
    table.insert();
    assign(table, values);
    table.post();
    out << table.recNo() << QLatin1Char('\n');
    return Ok;
}

int set(const QString &file, int recno, const QList<std::pair<QString, QString>> &values, QTextStream &err)
{
    Table table(QStringLiteral("Table_Set"), nullptr);
    openFile(table, file);
    table.setShowDeleted(true);
    table.moveTo(recno - 1);
    if (table.recNo() != recno) {
        err << "cvb-dbf: " << file << " has no record " << recno << " (it has " << table.recordCount()
            << ")\n";
        return Failed;
    }
    if (table.isDeleted()) {
        err << "cvb-dbf: record " << recno << " of " << file << " is deleted\n";
        return Failed;
    }
    table.edit();
    assign(table, values);
    table.post();
    return Ok;
}

} // namespace

int run(const QStringList &args, QTextStream &out, QTextStream &err)
{
    const QString command = args.value(0);
    QList<std::pair<QString, QString>> values;
    QString problem;
    try {
        if (command == QLatin1String("init") && args.size() == 2) {
            prepareDataFolder(args[1]);
            createMissingTables(args[1]);
            return Ok;
        }
        if (command == QLatin1String("dump") && args.size() == 2)
            return dump(args[1], out);
        if (command == QLatin1String("add") && args.size() >= 3 &&
            parseAssignments(args.mid(2), &values, &problem))
            return add(args[1], values, out);
        if (command == QLatin1String("set") && args.size() >= 4) {
            bool ok = false;
            const int recno = args[2].toInt(&ok);
            if (!ok || recno < 1)
                problem = QStringLiteral("RECNO must be a record number from 1, got '%1'").arg(args[2]);
            else if (parseAssignments(args.mid(3), &values, &problem))
                return set(args[1], recno, values, err);
        }
    } catch (const DataError &e) {
        err << "cvb-dbf: " << e.message() << '\n';
        return Failed;
    }
    if (!problem.isEmpty())
        err << "cvb-dbf: " << problem << '\n';
    err << usage();
    return Usage;
}

} // namespace cvb::dbf
