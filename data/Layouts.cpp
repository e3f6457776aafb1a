#include "data/Layouts.h"

namespace cvb {

namespace {

FieldDef text(const char *name, int width)
{
    return {name, FieldType::Character, width, 0};
}
FieldDef logical(const char *name)
{
    return {name, FieldType::Logical, 1, 0};
}
FieldDef smallInt(const char *name)
{
    return {name, FieldType::Numeric, 6, 0};
}
FieldDef date(const char *name)
{
    return {name, FieldType::Date, 8, 0};
}

} // namespace

QString describeField(const FieldDef &field)
{
    QString s = QString::fromLatin1(field.name) + QLatin1Char(' ') + QLatin1Char(char(field.type)) +
                QLatin1Char('(') + QString::number(field.width);
    if (field.decimals != 0)
        s += QLatin1Char(',') + QString::number(field.decimals);
    return s + QLatin1Char(')');
}

int TableLayout::fieldIndex(const QString &name) const
{
    const QByteArray wanted = name.trimmed().toUpper().toLatin1();
    for (int i = 0; i < fields.size(); ++i) {
        if (fields[i].name == wanted)
            return i;
    }
    return -1;
}

int TableLayout::recordSize() const
{
    int size = 1;
    for (const FieldDef &f : fields)
        size += f.width;
    return size;
}

const TableLayout &profilesLayout()
{
    static const TableLayout layout{ProfilesTable,
                                    {text("PROFILE", 40),   text("KIND", 100),       smallInt("INTERVAL"),
                                     text("TIME", 20),      text("TARGET_LOC", 200), logical("ROTATE_DIR"),
                                     logical("DTSTAMP_DI"), logical("EMAIL"),        text("EM_ADDR", 100),
                                     text("LASTDIR", 1),    text("PERFORM_IN", 100), text("LASTDONE", 100),
                                     logical("ACTIVE"),     logical("DETAI_EMAI"),   logical("MON"),
                                     logical("TUE"),        logical("WED"),          logical("THU"),
                                     logical("FRI"),        logical("SAT"),          logical("SUN")}};
    return layout;
}

const TableLayout &sourcesLayout()
{
    static const TableLayout layout{SourcesTable,
                                    {text("PROFILE", 40), text("SOURCE", 200), text("MODE", 20)}};
    return layout;
}

const TableLayout &queueLayout()
{
    static const TableLayout layout{
        QueueTable,
        {text("PROFILE", 40), text("TIME_SUBMI", 30), text("TIME_START", 30), text("TIME_DONE", 30)}};
    return layout;
}

const TableLayout &logLayout()
{
    static const TableLayout layout{LogTable, {date("DATE"), text("TIME", 20), text("EVENT", 100)}};
    return layout;
}

const TableLayout &connectionLayout()
{
    static const TableLayout layout{ConnectionTable,
                                    {text("USERNAME", 50), text("PASSWORD", 20), text("DOMAIN", 100),
                                     logical("FIREWALL"), text("SMTP", 100), text("USERID", 30),
                                     text("PASSCODE", 30), text("EMAILADDR", 40), text("PHONENUM", 40),
                                     logical("USEDEFAULT"), text("ISP", 100)}};
    return layout;
}

QList<const TableLayout *> allLayouts()
{
    return {&profilesLayout(), &sourcesLayout(), &queueLayout(), &logLayout(), &connectionLayout()};
}

const TableLayout *layoutForFile(const QString &fileName)
{
    for (const TableLayout *layout : allLayouts()) {
        if (layout->fileName == fileName)
            return layout;
    }
    return nullptr;
}

} // namespace cvb
