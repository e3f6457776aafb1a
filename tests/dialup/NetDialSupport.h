// Helpers of the dial-up component tests: what the events delivered, and the environment that picks
// the remote access backend.
#pragma once
#include "dialup/NetDial.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace cvb::test {

struct DialStatus
{
    int status;
    int error;
    QString statusText;
    QString errorText;
};

struct ConnectedEntry
{
    int handle;
    QString entry;
    QString deviceName;
    QString deviceType;
    QString state;
};

// Records every status event of a component, then runs Then (when set) with the state.
class StatusLog
{
public:
    explicit StatusLog(TcvbNetDial &dial)
    {
        dial.OnStatus = [this](QObject *, int status, int error, const QString &st, const QString &et) {
            entries.push_back({status, error, st, et});
            if (Then)
                Then(status);
        };
    }
    std::vector<int> States() const
    {
        std::vector<int> states;
        for (const DialStatus &s : entries)
            states.push_back(s.status);
        return states;
    }
    std::vector<DialStatus> entries;
    std::function<void(int status)> Then;
};

// Lists the phonebook; the last name is the end mark.
inline QStringList ListPhonebook(TcvbNetDial &dial)
{
    QStringList names;
    dial.OnPhonebookEntry = [&names](QObject *, const QString &entry) { names << entry; };
    dial.SetAction(ntdListPhonebook);
    return names;
}

// Lists the open connections; the last row is the end mark.
inline std::vector<ConnectedEntry> ListConnections(TcvbNetDial &dial)
{
    std::vector<ConnectedEntry> rows;
    dial.OnConnectedEntry = [&rows](QObject *, int handle, const QString &entry, const QString &deviceName,
                                    const QString &deviceType, const QString &state) {
        rows.push_back({handle, entry, deviceName, deviceType, state});
    };
    dial.SetAction(ntdListConnections);
    return rows;
}

// Sets (or, given a null value, removes) an environment variable for the time of one test.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const QByteArray &value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

} // namespace cvb::test
