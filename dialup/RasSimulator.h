// A scripted remote access service for tests and demonstrations (CVB_RAS=sim). There is one per
// program: every component that loads the library sees the same connections.
//
// A dial passes through the states a modem dial passes through, one step every `pause`
// milliseconds on the Qt event loop: "Open port", "Port opened", "Connect device",
// "Device connected", "All devices connected", "Authenticate", "Authenticate: notify",
// "Authentication: acknowledge", "Authenticated" and "Connected". Each step is posted to the
// notifier as a dial event. A hang-up completes `pause` milliseconds after it was asked for;
// until then the connection keeps reporting its last state.
//
// Options, from the environment variable CVB_RAS_SIM, separated by ';' (for example
// CVB_RAS_SIM="fail=691@5;pause=200;missing=RasHangUpA"):
//   entries=A,B      the names in the default phonebook (default "Corvale Dial-Up"). When the
//                    caller names a phonebook file, its "[Name]" lines are the entries instead;
//                    a file that cannot be read gives error 621.
//   login=U:P[:D]    the account the remote side accepts (user, password, optional domain); it is
//                    also stored with every phonebook entry as its credentials. A dial with other
//                    values fails with 691 in state 5 ("Authenticate"). Unset: anything goes.
//   fail=CODE[@ST]   the dial fails with CODE when it reaches state ST (default 2).
//   pause=MS         milliseconds between two steps and for a hang-up to complete (default 20).
//   halt=ST          the dial pauses in state ST (4096 to 4099) after "Authenticate".
//   hangup=CODE      every hang-up fails at once with CODE (the connection stays up).
//   missing=F,G      the library lacks these functions (RasDialA, RasEnumEntriesA, ...; the
//                    trailing A may be left out).
// A dial without an entry and with an empty phone number fails with 749 in state 2.
#pragma once
#include "dialup/RasApi.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <map>
#include <optional>

namespace cvb {

struct TRasSimOptions
{
    QStringList entries{QStringLiteral("Corvale Dial-Up")};
    bool hasLogin = false;
    QString user;
    QString password;
    QString domain;
    std::uint32_t failCode = 0;
    std::uint32_t failState = 2;
    int pauseMs = 20;
    std::uint32_t haltState = 0;
    std::uint32_t hangUpCode = 0;
    QStringList missing;

    // Reads the option text; an empty optional and a reason in *error when it is not understood.
    static std::optional<TRasSimOptions> Parse(const QString &text, QString *error);
};

class CRasSimulator : public QObject
{
    Q_OBJECT
public:
    CRasSimulator();
    ~CRasSimulator() override;

    // The options of the library loaded last apply to every dial from then on.
    void SetOptions(TRasSimOptions options);
    // Forgets every connection at once, as a restart of the service would.
    void Reset();

    std::uint32_t Dial(const char *phonebook, TRasDialParams *params, std::uint32_t notifierKind,
                       QObject *notifier, HRASCONN *handle);
    std::uint32_t EnumEntries(const char *phonebook, TRasEntryName *entries, std::uint32_t *bytes,
                              std::uint32_t *count);
    std::uint32_t EnumConnections(TRasConn *connections, std::uint32_t *bytes, std::uint32_t *count);
    std::uint32_t HangUp(HRASCONN handle);
    std::uint32_t GetConnectStatus(HRASCONN handle, TRasConnStatus *status);
    std::uint32_t GetEntryDialParams(const char *phonebook, TRasDialParams *params, int *passwordRetrieved);
    std::uint32_t GetCredentials(const char *phonebook, const char *entry, TRasCredentials *credentials);

private:
    struct Connection
    {
        QString entry;
        QString phoneNumber;
        QString user;
        QString password;
        QString domain;
        std::size_t step = 0;
        std::uint32_t state = 0;
        std::uint32_t error = 0;
        bool hangingUp = false;
        QDeadlineTimer teardown;
        QPointer<QObject> notifier;
        std::unique_ptr<QTimer> timer;
    };

    // The entries of a phonebook (null or empty: the default one); 621 when the file cannot be read.
    std::uint32_t ReadPhonebook(const char *phonebook, QStringList *entries) const;
    std::uint32_t FindEntry(const char *phonebook, const QString &entry) const;
    void Step(HRASCONN handle);
    std::uint32_t ErrorAt(const Connection &c, std::uint32_t state) const;
    // Forgets the connections whose hang-up has completed.
    void Reap();

    TRasSimOptions m_options;
    std::map<HRASCONN, Connection> m_connections;
    HRASCONN m_nextHandle = 1;
};

// The simulator as a service library, with the functions the options leave out missing;
// null when the options are not understood. The options are read at every load.
std::unique_ptr<CRasLibrary> LoadRasSimulator(const QString &options);

} // namespace cvb
