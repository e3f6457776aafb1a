#include "tests/backup/ProgramData.h"

#include "tests/backup/ProfileRows.h"
#include "tests/support/Files.h"

#include <QDir>
#include <gtest/gtest.h>

namespace cvb::test {

QString built(const QString &relative)
{
    return qEnvironmentVariable("CVB_BUILD_DIR") + QLatin1Char('/') + relative;
}

ProgramData::ProgramData()
{
    QDir().mkpath(data());
    QDir().mkpath(target());
    dbf({QStringLiteral("init"), data()});
    setConnection({QStringLiteral("USEDEFAULT=T")});
}

QByteArray ProgramData::dbf(const QStringList &args) const
{
    const auto r = runProcess(built(QStringLiteral("tools/cvb-dbf/cvb-dbf")), args);
    EXPECT_EQ(r.exitCode, 0) << args.join(QLatin1Char(' ')).toStdString() << ": " << r.err.toStdString();
    return r.out;
}

void ProgramData::useServer(const PyFtpServer &server) const
{
    useServer(server.port(), server.user(), server.password());
}

void ProgramData::useServer(int port, const QString &user, const QString &password) const
{
    setConnection({QStringLiteral("DOMAIN=127.0.0.1:%1").arg(port), QStringLiteral("USERNAME=") + user,
                   QStringLiteral("PASSWORD=") + password});
}

void ProgramData::writeSettings(const QByteArray &ini) const
{
    ASSERT_TRUE(writeFile(data() + QStringLiteral("/settings.ini"), ini));
}

void ProgramData::setConnection(const QStringList &fields) const
{
    dbf(QStringList{QStringLiteral("set"), table("FTP Connection.dbf"), QStringLiteral("1")} + fields);
}

void ProgramData::addProfile(const QString &name, const QStringList &fields) const
{
    dbf(QStringList{QStringLiteral("add"), table("FTP Profiles.DBF"), QStringLiteral("PROFILE=") + name,
                    QStringLiteral("TARGET_LOC=") + target()} +
        fields);
}

void ProgramData::addSource(const QString &profile, const QString &source, const QString &mode) const
{
    dbf({QStringLiteral("add"), table("FTP Sources.DBF"), QStringLiteral("PROFILE=") + profile,
         QStringLiteral("SOURCE=") + source, QStringLiteral("MODE=") + mode});
}

ProcessResult ProgramData::run(const QString &profile) const
{
    return runProcess(built(QStringLiteral("app/corvale-backup")),
                      {QStringLiteral("--data"), data(), QStringLiteral("--run-profile"), profile}, 600000);
}

QStringList ProgramData::events() const
{
    const QList<QByteArray> lines = dbf({QStringLiteral("dump"), table("FTP Log.dbf")}).split('\n');
    const qsizetype column =
        QString::fromUtf8(lines.value(0)).split(QLatin1Char('\t')).indexOf(QStringLiteral("EVENT"));
    QStringList rows;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (!lines[i].isEmpty())
            rows << QString::fromUtf8(lines[i]).split(QLatin1Char('\t')).value(column);
    }
    return rows;
}

QStringList ProgramData::eventsOf(const QString &profile) const
{
    return rowsOfProfile(events(), profile);
}

} // namespace cvb::test
