// What the program offers beyond the five tables: the file "settings.ini" in the database
// folder, private to the user (0600). A missing file means the defaults; a value that cannot be
// read counts as its default and is named by unreadable(), so that the window showing it can say
// so. Nothing here is ever stored in a table.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QSettings;

namespace cvb {

inline const QString SettingsFileName = QStringLiteral("settings.ini");

// The limits and defaults of the values.
struct SettingsLimits
{
    static constexpr int kMinConnections = 1;
    static constexpr int kMaxConnections = 8;
    static constexpr int kDefaultConnections = 3;
    static constexpr int kMinRetries = 1;
    static constexpr int kMaxRetries = 10;
    static constexpr int kDefaultRetries = 3;
};

class ProgramSettings
{
public:
    // The settings file of `folder`; the alias folder of the tables when empty.
    explicit ProgramSettings(const QString &folder = {});
    ~ProgramSettings();
    ProgramSettings(const ProgramSettings &) = delete;
    ProgramSettings &operator=(const ProgramSettings &) = delete;

    QString filePath() const { return m_path; }

    // [transfer]
    // Connections a backup downloads over at once (1 to 8).
    int connections() const;
    void setConnections(int connections);
    // The fixed pauses between transfers (on: as they have always been).
    bool pauses() const;
    void setPauses(bool on);
    // Files unchanged since the last complete backup are not fetched again.
    bool fetchOnlyChanged() const;
    void setFetchOnlyChanged(bool on);
    // Tries of a file before it fails (1 to 10).
    int retries() const;
    void setRetries(int tries);

    // [mail] The SMTP log-in; an empty user means no authentication.
    QString mailUser() const;
    void setMailUser(const QString &user);
    QString mailPassword() const;
    void setMailPassword(const QString &password);

    // [limits] The number of connections a server accepted at most, remembered after it refused
    // more; 0 when none is remembered. `server` is "host:port".
    int connectionLimit(const QString &server) const;
    void setConnectionLimit(const QString &server, int connections);

    // The keys ("transfer/connections") whose stored values could not be read and count as their
    // defaults.
    QStringList unreadable() const;

    // Writes what was set to the file (0600); an empty text, or the error text.
    QString save();

private:
    int readInt(const QString &key, int fallback, int min, int max) const;
    bool readBool(const QString &key, bool fallback) const;
    void noteUnreadable(const QString &key) const;

    QString m_path;
    std::unique_ptr<QSettings> m_settings;
    mutable QStringList m_unreadable;
};

} // namespace cvb
