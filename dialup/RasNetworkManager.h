// The remote access service over NetworkManager, driven through its command-line client nmcli.
//
// A phonebook entry is a NetworkManager connection, named by its connection name; the phonebook
// is NetworkManager's own list (a phonebook path is not used). Dialling brings the connection up
// ("nmcli connection up"), hanging up takes it down, the phonebook lists every connection and the
// open connections are the active ones. NetworkManager dials with the secrets it keeps for the
// connection, so no user name or password is passed on. A dial without an entry cannot be made:
// it fails with 623 in state 0.
//
// Progress: "Open port" when the dial starts, "Port opened" and "Connect device" once nmcli runs,
// and "Device connected", "All devices connected", "Authenticated" and "Connected" when
// NetworkManager reports the connection up. A failure is reported in the state reached, with the
// error code that fits what nmcli said (exit codes of nmcli):
//   3 (timeout) 638; 4 (activation failed) 691 when secrets or authentication were the cause,
//   otherwise 651; 8 (NetworkManager not running) or nmcli not startable 711;
//   10 (no such connection) 623; 2 (wrong invocation) 604; anything else 635.
#pragma once
#include "dialup/RasApi.h"

#include <QPointer>
#include <QProcess>
#include <map>
#include <vector>

namespace cvb {

class CRasNetworkManager : public QObject
{
    Q_OBJECT
public:
    CRasNetworkManager();
    ~CRasNetworkManager() override;

    std::uint32_t Dial(const char *phonebook, TRasDialParams *params, std::uint32_t notifierKind,
                       QObject *notifier, HRASCONN *handle);
    std::uint32_t EnumEntries(const char *phonebook, TRasEntryName *entries, std::uint32_t *bytes,
                              std::uint32_t *count);
    std::uint32_t EnumConnections(TRasConn *connections, std::uint32_t *bytes, std::uint32_t *count);
    std::uint32_t HangUp(HRASCONN handle);
    std::uint32_t GetConnectStatus(HRASCONN handle, TRasConnStatus *status);
    std::uint32_t GetEntryDialParams(const char *phonebook, TRasDialParams *params, int *passwordRetrieved);
    std::uint32_t GetCredentials(const char *phonebook, const char *entry, TRasCredentials *credentials);

    // The service error for an nmcli exit code and what it wrote to its error output.
    static std::uint32_t ErrorFromExit(int exitCode, const QByteArray &errorOutput);
    // One line of nmcli's terse output split into its fields ("\:" and "\\" unescaped).
    static QStringList SplitTerse(const QString &line);

private:
    struct Result
    {
        std::uint32_t error = 0; // 0 when nmcli ran and succeeded
        QByteArray out;
    };
    struct Active
    {
        QString name;
        QString uuid;
        QString type;
        QString device;
        QString state;
    };
    // A dial started here that has not come up yet, or that failed and waits for its hang-up.
    struct Dialling
    {
        QString uuid;
        std::uint32_t state = 0;
        std::uint32_t error = 0;
        QPointer<QObject> notifier;
        QPointer<QProcess> process;
    };

    Result Run(const QStringList &args, int timeoutMs) const;
    std::uint32_t ListActive(std::vector<Active> *active) const;
    std::uint32_t FindConnection(const QString &name, QString *uuid) const;
    HRASCONN HandleFor(const QString &uuid);
    void Report(HRASCONN handle, std::uint32_t state, std::uint32_t error);
    void DialFinished(HRASCONN handle, int exitCode, QProcess::ExitStatus status);
    void StopDial(Dialling &d);

    std::map<HRASCONN, Dialling> m_dialling;
    std::map<HRASCONN, QString> m_uuidOf; // handles handed out, with the connection each stands for
    HRASCONN m_nextHandle = 1;
};

std::unique_ptr<CRasLibrary> LoadRasNetworkManager();

} // namespace cvb
