#include "data/Settings.h"

#include "data/Database.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <fcntl.h>
#include <unistd.h>

namespace cvb {

namespace {

const QString kConnections = QStringLiteral("transfer/connections");
const QString kPauses = QStringLiteral("transfer/pauses");
const QString kFetchOnlyChanged = QStringLiteral("transfer/fetch_only_changed");
const QString kRetries = QStringLiteral("transfer/retries");
const QString kMailUser = QStringLiteral("mail/user");
const QString kMailPassword = QStringLiteral("mail/password");

QString limitKey(const QString &server)
{
    // QSettings treats "/" as a group separator and ":" is fine in INI keys; a host is lower case.
    QString key = server.trimmed().toLower();
    key.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("limits/") + key;
}

} // namespace

ProgramSettings::ProgramSettings(const QString &folder)
    : m_path(QDir(folder.isEmpty() ? aliasFolder() : folder).filePath(SettingsFileName)),
      m_settings(std::make_unique<QSettings>(m_path, QSettings::IniFormat))
{
}

ProgramSettings::~ProgramSettings() = default;

void ProgramSettings::noteUnreadable(const QString &key) const
{
    if (!m_unreadable.contains(key))
        m_unreadable << key;
}

int ProgramSettings::readInt(const QString &key, int fallback, int min, int max) const
{
    if (!m_settings->contains(key))
        return fallback;
    bool ok = false;
    const int value = m_settings->value(key).toString().trimmed().toInt(&ok);
    if (!ok || value < min || value > max) {
        noteUnreadable(key);
        return fallback;
    }
    return value;
}

bool ProgramSettings::readBool(const QString &key, bool fallback) const
{
    if (!m_settings->contains(key))
        return fallback;
    const QString text = m_settings->value(key).toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1") || text == QLatin1String("yes") ||
        text == QLatin1String("on"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0") || text == QLatin1String("no") ||
        text == QLatin1String("off"))
        return false;
    noteUnreadable(key);
    return fallback;
}

int ProgramSettings::connections() const
{
    return readInt(kConnections, SettingsLimits::kDefaultConnections, SettingsLimits::kMinConnections,
                   SettingsLimits::kMaxConnections);
}

void ProgramSettings::setConnections(int connections)
{
    m_settings->setValue(kConnections, qBound(SettingsLimits::kMinConnections, connections,
                                              SettingsLimits::kMaxConnections));
}

bool ProgramSettings::pauses() const { return readBool(kPauses, true); }
void ProgramSettings::setPauses(bool on) { m_settings->setValue(kPauses, on); }
bool ProgramSettings::fetchOnlyChanged() const { return readBool(kFetchOnlyChanged, true); }
void ProgramSettings::setFetchOnlyChanged(bool on) { m_settings->setValue(kFetchOnlyChanged, on); }

int ProgramSettings::retries() const
{
    return readInt(kRetries, SettingsLimits::kDefaultRetries, SettingsLimits::kMinRetries,
                   SettingsLimits::kMaxRetries);
}

void ProgramSettings::setRetries(int tries)
{
    m_settings->setValue(kRetries, qBound(SettingsLimits::kMinRetries, tries, SettingsLimits::kMaxRetries));
}

QString ProgramSettings::mailUser() const { return m_settings->value(kMailUser).toString(); }
void ProgramSettings::setMailUser(const QString &user) { m_settings->setValue(kMailUser, user); }
QString ProgramSettings::mailPassword() const { return m_settings->value(kMailPassword).toString(); }
void ProgramSettings::setMailPassword(const QString &password) { m_settings->setValue(kMailPassword, password); }

int ProgramSettings::connectionLimit(const QString &server) const
{
    return readInt(limitKey(server), 0, SettingsLimits::kMinConnections, SettingsLimits::kMaxConnections);
}

void ProgramSettings::setConnectionLimit(const QString &server, int connections)
{
    if (connections <= 0)
        m_settings->remove(limitKey(server));
    else
        m_settings->setValue(limitKey(server), qBound(SettingsLimits::kMinConnections, connections,
                                                      SettingsLimits::kMaxConnections));
}

QStringList ProgramSettings::unreadable() const
{
    if (m_settings->status() == QSettings::FormatError && !m_unreadable.contains(m_path))
        m_unreadable.prepend(m_path);
    return m_unreadable;
}

QString ProgramSettings::save()
{
    // The file holds a password: it is private before anything is written to it. An existing file
    // keeps its mode when rewritten, and it is set once more afterwards.
    const QByteArray native = QFile::encodeName(m_path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    m_settings->sync();
    QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner);
    switch (m_settings->status()) {
    case QSettings::NoError:
        return {};
    case QSettings::AccessError:
        return QStringLiteral("The settings file %1 could not be written.").arg(m_path);
    case QSettings::FormatError:
        return QStringLiteral("The settings file %1 could not be read.").arg(m_path);
    }
    return {};
}

} // namespace cvb
