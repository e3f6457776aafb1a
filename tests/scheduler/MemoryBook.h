// Profiles and queue held in memory, for driving the monitor over long stretches of simulated
// time without table I/O. The table-backed book is tested on its own.
#pragma once
#include "scheduler/ScheduleBook.h"

#include <QList>
#include <QString>
#include <algorithm>
#include <stdexcept>

namespace cvb::test {

struct MemoryProfile
{
    ProfileSchedule schedule;
    QString performIn;
    QString lastDone;
    bool active = true;
};

struct QueueEntry
{
    QString profile;
    QString submitted;
    bool operator==(const QueueEntry &) const = default;
};

class MemoryBook : public ScheduleBook
{
public:
    QList<MemoryProfile> profiles; // kept in profile-name order by add()
    QList<QueueEntry> queue;
    int passesOpen = 0;
    int failAtChange = -1; // throw on the n-th change (0-based), to test failure paths

    MemoryProfile &add(const MemoryProfile &profile)
    {
        const auto at = std::upper_bound(profiles.begin(), profiles.end(), profile,
                                         [](const MemoryProfile &a, const MemoryProfile &b) {
                                             return a.schedule.profile < b.schedule.profile;
                                         });
        return *profiles.insert(at, profile);
    }
    MemoryProfile &profile(const QString &name)
    {
        for (MemoryProfile &p : profiles)
            if (p.schedule.profile == name)
                return p;
        throw std::logic_error("no such profile");
    }

    void beginPass() override
    {
        ++passesOpen;
        m_active.clear();
        for (int i = 0; i < profiles.size(); ++i)
            if (profiles[i].active)
                m_active.append(i);
        m_at = 0;
    }
    void endPass() override { --passesOpen; }
    bool atEnd() const override { return m_at >= m_active.size(); }
    void next() override { ++m_at; }
    QString profileName() const override { return current().schedule.profile; }
    QString performIn() const override { return current().performIn; }
    ProfileSchedule schedule() const override { return current().schedule; }
    void change(const ProfileChange &change) override
    {
        if (failAtChange == 0)
            throw std::runtime_error("table engine failed");
        --failAtChange;
        MemoryProfile &p = profiles[m_active[m_at]];
        p.performIn = change.performIn;
        if (change.lastDone)
            p.lastDone = *change.lastDone;
        if (change.interval)
            p.schedule.interval = *change.interval;
    }
    void enqueue(const QString &profile, const QString &submitted) override
    {
        queue.append({profile, submitted});
    }

private:
    const MemoryProfile &current() const { return profiles[m_active[m_at]]; }
    QList<int> m_active;
    int m_at = 0;
};

} // namespace cvb::test
