#include "scheduler/TableScheduleBook.h"

#include "data/Table.h"

namespace cvb {

TableScheduleBook::TableScheduleBook(Table &profiles, Table &queue, AfterPass afterPass)
    : m_profiles(profiles), m_queue(queue), m_afterPass(afterPass)
{
}

void TableScheduleBook::beginPass()
{
    m_profiles.refresh();
    m_profiles.first();
    m_profiles.setFilter(QStringLiteral("ACTIVE=True"));
    m_profiles.setFiltered(true);
}

void TableScheduleBook::endPass()
{
    if (m_afterPass == AfterPass::DropFilter)
        m_profiles.setFiltered(false);
}

bool TableScheduleBook::atEnd() const
{
    return m_profiles.eof();
}

void TableScheduleBook::next()
{
    m_profiles.next();
}

QString TableScheduleBook::profileName() const
{
    return m_profiles.asString(QStringLiteral("PROFILE"));
}

QString TableScheduleBook::performIn() const
{
    return m_profiles.asString(QStringLiteral("PERFORM_IN"));
}

ProfileSchedule profileScheduleOf(const Table &profiles)
{
    ProfileSchedule s;
    s.profile = profiles.asString(QStringLiteral("PROFILE"));
    s.kind = profiles.asString(QStringLiteral("KIND"));
    s.time = profiles.asString(QStringLiteral("TIME"));
    s.interval = profiles.asInt(QStringLiteral("INTERVAL"));
    const char *const dayFields[] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
    for (int i = 0; i < 7; ++i)
        s.days[i] = profiles.asBool(QString::fromLatin1(dayFields[i]));
    return s;
}

ProfileSchedule TableScheduleBook::schedule() const
{
    return profileScheduleOf(m_profiles);
}

void TableScheduleBook::change(const ProfileChange &change)
{
    m_profiles.edit();
    if (change.lastDone)
        m_profiles.setString(QStringLiteral("LASTDONE"), *change.lastDone);
    if (change.interval)
        m_profiles.setInt(QStringLiteral("INTERVAL"), *change.interval);
    m_profiles.setString(QStringLiteral("PERFORM_IN"), change.performIn);
    m_profiles.post();
}

void TableScheduleBook::enqueue(const QString &profile, const QString &submitted)
{
    m_queue.insert();
    m_queue.setString(QStringLiteral("PROFILE"), profile);
    m_queue.setString(QStringLiteral("TIME_SUBMI"), submitted);
    m_queue.post();
}

} // namespace cvb
