// What a --run-profile test prepares: a database folder made and filled with cvb-dbf as a script
// would, a target folder beside it, and the program run as cron or a systemd timer runs it.
#pragma once

#include "tests/support/FtpServer.h"
#include "tests/support/Peers.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace cvb::test {

// Absolute path of a program of the build, e.g. built("app/corvale-backup").
QString built(const QString &relative);

class ProgramData
{
public:
    ProgramData();

    QString data() const { return m_dir.filePath(QStringLiteral("data")); }
    QString target() const { return m_dir.filePath(QStringLiteral("target")); }
    QString table(const char *name) const { return data() + QLatin1Char('/') + QLatin1String(name); }

    // Runs cvb-dbf with `args` and returns what it printed; a failure fails the test.
    QByteArray dbf(const QStringList &args) const;
    // The connection record names the test server, its port and its user.
    void useServer(const PyFtpServer &server) const;
    void useServer(int port, const QString &user, const QString &password) const;
    // settings.ini in the database folder.
    void writeSettings(const QByteArray &ini) const;
    void setConnection(const QStringList &fields) const;
    void addProfile(const QString &name, const QStringList &fields = {}) const;
    void addSource(const QString &profile, const QString &source,
                   const QString &mode = QStringLiteral("ASCII")) const;

    // corvale-backup --data <data> --run-profile <profile>, to its end.
    ProcessResult run(const QString &profile) const;

    // EVENT of every log row, in order, and the rows of `profile` without its name.
    QStringList events() const;
    QStringList eventsOf(const QString &profile) const;

private:
    QTemporaryDir m_dir;
};

} // namespace cvb::test
