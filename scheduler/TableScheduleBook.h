// The profile book of the event monitor and the start-up catch-up over the main window's
// cursors: a profiles cursor (Table_ProfilesLKUP for the monitor, Table_Profiles for the
// catch-up) and the queue cursor Table_Queue. A pass refreshes the profiles cursor, moves to
// its first record and switches on the filter "ACTIVE=True"; the monitor's cursor drops the
// filter again at the end of the pass (it moves to its first record), the catch-up's keeps it.
#pragma once
#include "scheduler/ScheduleBook.h"

namespace cvb {

class Table;

// The schedule fields of the cursor's current record.
ProfileSchedule profileScheduleOf(const Table &profiles);

class TableScheduleBook : public ScheduleBook
{
public:
    enum class AfterPass { DropFilter, KeepFilter };

    TableScheduleBook(Table &profiles, Table &queue, AfterPass afterPass);

    void beginPass() override;
    void endPass() override;
    bool atEnd() const override;
    void next() override;
    QString profileName() const override;
    QString performIn() const override;
    ProfileSchedule schedule() const override;
    void change(const ProfileChange &change) override;
    void enqueue(const QString &profile, const QString &submitted) override;

private:
    Table &m_profiles;
    Table &m_queue;
    AfterPass m_afterPass;
};

} // namespace cvb
