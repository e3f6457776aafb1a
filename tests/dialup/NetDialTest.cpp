#include "dialup/NetDial.h"
#include "dialup/NetDialTexts.h"
#include "dialup/RasSimulator.h"
#include "tests/dialup/NetDialSupport.h"

#include <QMetaProperty>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

using namespace cvb;
using namespace cvb::test;

namespace {

const std::vector<int> kFullDial = {0, 1, 2, 3, 4, 5, 6, 12, 14, 8192};

// Every test starts with a simulated service that has no connections.
class NetDial : public ::testing::Test
{
protected:
    void SetUp() override { RasSharedBackend<CRasSimulator>()->Reset(); }
    void UseSim(const QByteArray &options)
    {
        m_options.reset(); // restores the value from before the test first
        m_options = std::make_unique<ScopedEnv>("CVB_RAS_SIM", options);
    }

    ScopedEnv m_backend{"CVB_RAS", "sim"};
    std::unique_ptr<ScopedEnv> m_options = std::make_unique<ScopedEnv>("CVB_RAS_SIM", "pause=0");
    TcvbNetDial dial;
};

int ErrorCodeOf(const std::function<void()> &operation, QString *message = nullptr)
{
    try {
        operation();
    } catch (const EcvbNetDial &e) {
        if (message)
            *message = e.Message();
        return e.Code();
    }
    return 0;
}

} // namespace

TEST(NetDialTexts, ErrorTableHasEveryServiceCode)
{
    EXPECT_EQ(NetDialErrorText(0), "Ok");
    EXPECT_EQ(NetDialErrorText(8), "Not enough memory");
    EXPECT_EQ(NetDialErrorText(200), "Can't load the RASAPI library.");
    EXPECT_EQ(NetDialErrorText(201), "Can't access the functions in RASPI library, corrupted file?");
    EXPECT_EQ(NetDialErrorText(600), "An operation is pending.");
    EXPECT_EQ(NetDialErrorText(623), "Cannot find the phone book entry.");
    EXPECT_EQ(NetDialErrorText(629), "The port was disconnected by the remote machine.");
    EXPECT_EQ(NetDialErrorText(678), "There is no answer.");
    EXPECT_EQ(NetDialErrorText(691),
              "Access denied because username and/or password is invalid on the domain.");
    EXPECT_EQ(NetDialErrorText(718), "Timed out waiting for a valid response from the remote PPP peer.");
    const char *symbolic[] = {"ERROR_INVALID_SMM", "ERROR_SMM_UNINITIALIZED", "ERROR_NO_MAC_FOR_PORT",
                              "ERROR_SMM_TIMEOUT", "ERROR_BAD_PHONE_NUMBER",  "ERROR_WRONG_MODULE"};
    for (int code = 745; code <= 750; ++code)
        EXPECT_EQ(NetDialErrorText(code), symbolic[code - 745]);
    // Every other service code is one sentence of its own.
    int known = 0;
    for (int code = -5; code < 1000; ++code) {
        const QString text = NetDialErrorText(code);
        if (text.startsWith(QLatin1String("Unknown error code ")))
            continue;
        ++known;
        if (code >= 600 && (code < 745 || code > 750)) {
            EXPECT_TRUE(text.endsWith(QLatin1Char('.'))) << code;
        }
    }
    EXPECT_EQ(known, 157);
    EXPECT_EQ(NetDialErrorText(599), "Unknown error code 599");
    EXPECT_EQ(NetDialErrorText(753), "Unknown error code 753");
    EXPECT_EQ(NetDialErrorText(6), "Unknown error code 6");
}

TEST(NetDialTexts, StateTable)
{
    EXPECT_EQ(NetDialStatusText(0), "Open port");
    EXPECT_EQ(NetDialStatusText(9), "Authentication: change password");
    EXPECT_EQ(NetDialStatusText(21), "Logon network");
    EXPECT_EQ(NetDialStatusText(4098), "Callback set by Caller");
    EXPECT_EQ(NetDialStatusText(8192), "Connected");
    EXPECT_EQ(NetDialStatusText(8193), "Disconnected");
    EXPECT_EQ(NetDialStatusText(22), "Unknown status code 22");
    EXPECT_EQ(NetDialStatusText(4100), "Unknown status code 4100");
    EXPECT_EQ(NetDialStatusText(-1), "Unknown status code -1");
}

TEST_F(NetDial, StartsIdleWithEmptySettingsAndPublishesPropertiesInOrder)
{
    EXPECT_EQ(dial.Action(), ntdIdle);
    EXPECT_EQ(dial.ConnectionHandle(), 0u);
    for (const QString *s : {&dial.User, &dial.Password, &dial.Phonebook, &dial.PhonebookEntry,
                             &dial.PhoneNumber, &dial.CallbackNumber, &dial.Domain})
        EXPECT_TRUE(s->isEmpty());
    const QMetaObject *meta = dial.metaObject();
    QStringList names;
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
        names << QLatin1String(meta->property(i).name());
    EXPECT_EQ(names.join(QLatin1Char(',')),
              "Action,User,Password,Phonebook,PhonebookEntry,PhoneNumber,CallbackNumber,Domain");
    EXPECT_EQ(dial.DialEventMessage(), RegisterWindowMessage(QStringLiteral("RasDialEvent")));
    EXPECT_NE(dial.DialEventMessage(), 0);
}

TEST_F(NetDial, AnyOtherActionIsAPropertyError)
{
    try {
        dial.SetAction(static_cast<TcvbNetDialActions>(5));
        FAIL() << "no error";
    } catch (const EPropertyError &e) {
        EXPECT_STREQ(e.what(), "invalid value for Action");
    }
    EXPECT_THROW(dial.SetAction(static_cast<TcvbNetDialActions>(-1)), EPropertyError);
    EXPECT_EQ(dial.Action(), ntdIdle);
}

TEST_F(NetDial, LibraryThatCannotBeLoadedIsError200AndLoadIsTriedAgain)
{
    {
        ScopedEnv none("CVB_RAS", "none");
        QString message;
        EXPECT_EQ(ErrorCodeOf([&] { dial.SetAction(ntdConnect); }, &message), 200);
        EXPECT_EQ(message, "200: Can't load the RASAPI library.");
        EXPECT_EQ(dial.Action(), ntdIdle);

        dial.SetRaiseOnError(false);
        dial.SetAction(ntdListConnections); // no handler: nothing happens, not even the load
        EXPECT_EQ(dial.LastErrorCode(), 200);
        dial.OnConnectedEntry = [](QObject *, int, const QString &, const QString &, const QString &,
                                   const QString &) {};
        dial.SetAction(ntdListConnections);
        EXPECT_EQ(dial.LastErrorCode(), 200);
        EXPECT_EQ(dial.LastErrorText(), "Can't load the RASAPI library.");
        dial.SetRaiseOnError(true);
    }
    dial.PhoneNumber = QStringLiteral("555 0199");
    dial.SetAction(ntdConnect);
    EXPECT_NE(dial.ConnectionHandle(), 0u);
    dial.SetAction(ntdDisconnect);
}

TEST_F(NetDial, MissingRequiredFunctionIsError201)
{
    for (const char *options : {"missing=RasHangUp", "missing=RasGetEntryDialParamsA", "missing=RasDialA"}) {
        UseSim(options);
        TcvbNetDial d;
        QString message;
        EXPECT_EQ(ErrorCodeOf([&] { ListPhonebook(d); }, &message), 201) << options;
        EXPECT_EQ(message, "201: Can't access the functions in RASPI library, corrupted file?");
    }
    UseSim("pause=0;bogus=1");
    TcvbNetDial d;
    EXPECT_EQ(ErrorCodeOf([&] { ListPhonebook(d); }), 200) << "options that are not understood fail the load";
}

TEST_F(NetDial, DialByNumberPassesThroughEveryStateAndHangsUp)
{
    StatusLog log(dial);
    std::vector<int> actionsSeen;
    log.Then = [&](int) { actionsSeen.push_back(dial.Action()); };
    dial.PhoneNumber = QStringLiteral("555 0123");
    dial.User = QStringLiteral("alice");
    dial.SetAction(ntdConnect);

    EXPECT_EQ(log.States(), kFullDial);
    EXPECT_EQ(log.entries.back().statusText, "Connected");
    EXPECT_EQ(log.entries.back().errorText, "Ok");
    EXPECT_EQ(actionsSeen, std::vector<int>(kFullDial.size(), ntdConnect));
    EXPECT_EQ(dial.Action(), ntdIdle);
    const HRASCONN handle = dial.ConnectionHandle();
    ASSERT_NE(handle, 0u);

    TcvbNetDial other;
    const auto rows = ListConnections(other);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].handle, static_cast<int>(handle));
    EXPECT_EQ(rows[0].entry, "555 0123");
    EXPECT_EQ(rows[0].deviceName, "Simulated Modem");
    EXPECT_EQ(rows[0].deviceType, "modem");
    EXPECT_EQ(rows[0].state, "Connected");

    log.entries.clear();
    actionsSeen.clear();
    dial.SetAction(ntdDisconnect);
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].status, 8193);
    EXPECT_EQ(log.entries[0].error, 0);
    EXPECT_EQ(log.entries[0].statusText, "Disconnected");
    EXPECT_EQ(actionsSeen, std::vector<int>{ntdDisconnect});
    EXPECT_EQ(dial.ConnectionHandle(), 0u);
    EXPECT_EQ(dial.Action(), ntdIdle);
    EXPECT_EQ(ListConnections(other).size(), 1u) << "only the end mark";
}

TEST_F(NetDial, HangUpOfAConnectedLineStopsAfterTheFirstPoll)
{
    dial.PhoneNumber = QStringLiteral("1");
    dial.SetAction(ntdConnect);
    UseSim("pause=60000");
    TcvbNetDial reload; // the teardown now takes a minute
    EXPECT_EQ(ListConnections(reload).size(), 2u);
    StatusLog log(dial);
    dial.SetAction(ntdDisconnect);
    EXPECT_EQ(log.States(), std::vector<int>{8192});
    EXPECT_EQ(dial.ConnectionHandle(), 0u);
    EXPECT_EQ(ListConnections(reload).size(), 1u) << "a connection being hung up is no longer listed";
}

TEST_F(NetDial, HangUpRefusedByTheServiceIsRaisedWithItsText)
{
    UseSim("pause=0;hangup=668");
    dial.PhoneNumber = QStringLiteral("1");
    dial.SetAction(ntdConnect);
    QString message;
    EXPECT_EQ(ErrorCodeOf([this] { dial.SetAction(ntdDisconnect); }, &message), 668);
    EXPECT_EQ(message, QStringLiteral("668: ") + NetDialErrorText(668));
    EXPECT_EQ(dial.Action(), ntdIdle);
}

TEST_F(NetDial, EmptyEntryAndEmptyNumberFailThroughOnStatusOnly)
{
    StatusLog log(dial);
    dial.SetAction(ntdConnect); // no exception: the service takes the empty number
    ASSERT_EQ(log.States(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(log.entries.back().error, 749);
    EXPECT_EQ(log.entries.back().errorText, "ERROR_BAD_PHONE_NUMBER");
    EXPECT_EQ(log.entries.back().statusText, "Connect device");
    EXPECT_EQ(dial.Action(), ntdIdle);
    EXPECT_EQ(dial.LastErrorCode(), 0);
    EXPECT_NE(dial.ConnectionHandle(), 0u);
    dial.SetAction(ntdDisconnect);
    EXPECT_EQ(dial.ConnectionHandle(), 0u);
}

TEST_F(NetDial, DialThatFailsInProgressKeepsItsHandleUntilDisconnect)
{
    UseSim("pause=0;login=alice:secret");
    StatusLog log(dial);
    dial.PhoneNumber = QStringLiteral("555 0100");
    dial.User = QStringLiteral("alice");
    dial.Password = QStringLiteral("wrong");
    dial.SetAction(ntdConnect);
    ASSERT_EQ(log.States(), (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(log.entries.back().error, 691);
    EXPECT_EQ(log.entries.back().errorText,
              "Access denied because username and/or password is invalid on the domain.");
    const HRASCONN handle = dial.ConnectionHandle();
    ASSERT_NE(handle, 0u);

    TcvbNetDial lister;
    auto rows = ListConnections(lister);
    ASSERT_EQ(rows.size(), 2u) << "the failed dial still holds its line";
    EXPECT_EQ(rows[0].handle, static_cast<int>(handle));
    EXPECT_EQ(rows[0].state, "Authenticate");

    log.entries.clear();
    dial.SetAction(ntdDisconnect); // raises nothing
    EXPECT_EQ(dial.ConnectionHandle(), 0u);
    EXPECT_EQ(dial.LastErrorCode(), 0);
    ASSERT_FALSE(log.entries.empty());
    EXPECT_EQ(ListConnections(lister).size(), 1u);
}

TEST_F(NetDial, FailureAtAChosenStateAndPausedDialEndTheWait)
{
    UseSim("pause=0;fail=678@3");
    StatusLog log(dial);
    dial.PhoneNumber = QStringLiteral("555");
    dial.SetAction(ntdConnect);
    EXPECT_EQ(log.States(), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(log.entries.back().errorText, "There is no answer.");
    dial.SetAction(ntdDisconnect);

    UseSim("pause=0;halt=4099");
    TcvbNetDial paused;
    StatusLog pausedLog(paused);
    paused.PhoneNumber = QStringLiteral("555");
    paused.SetAction(ntdConnect);
    EXPECT_EQ(pausedLog.States(), (std::vector<int>{0, 1, 2, 3, 4, 5, 4099}));
    EXPECT_EQ(pausedLog.entries.back().statusText, "Password expired");
    EXPECT_EQ(pausedLog.entries.back().error, 0);
    EXPECT_EQ(paused.Action(), ntdIdle);
    EXPECT_NE(paused.ConnectionHandle(), 0u) << "a paused dial is not resumed but can be hung up";
    paused.SetAction(ntdDisconnect);
    EXPECT_EQ(paused.ConnectionHandle(), 0u);
}

TEST_F(NetDial, UnknownEntryIsRaisedAtOnce)
{
    // Found missing by the dial itself, or before it by the look-up of the entry's parameters.
    for (const char *options : {"pause=0", "pause=0;missing=RasGetCredentialsA"}) {
        UseSim(options);
        TcvbNetDial d;
        StatusLog log(d);
        d.PhonebookEntry = QStringLiteral("Nowhere");
        QString message;
        EXPECT_EQ(ErrorCodeOf([&] { d.SetAction(ntdConnect); }, &message), 623) << options;
        EXPECT_EQ(message, "623: Cannot find the phone book entry.");
        EXPECT_TRUE(log.entries.empty());
        EXPECT_EQ(d.ConnectionHandle(), 0u);
        EXPECT_EQ(d.Action(), ntdIdle);
    }
}

TEST_F(NetDial, EntryDialsWithItsStoredCredentials)
{
    // The stored account is the only one the remote side accepts: a dial that did not take the
    // entry's credentials would fail with 691.
    for (const char *options :
         {"pause=0;entries=Office,Home;login=alice:secret:CORP",
          "pause=0;entries=Office,Home;login=alice:secret:CORP;missing=RasGetCredentials"}) {
        UseSim(options);
        TcvbNetDial d;
        StatusLog log(d);
        d.PhonebookEntry = QStringLiteral("Home");
        d.User = QStringLiteral("mallory");
        d.Password = QStringLiteral("guess");
        d.SetAction(ntdConnect);
        EXPECT_EQ(log.States(), kFullDial) << options;
        for (const DialStatus &s : log.entries)
            EXPECT_EQ(s.error, 0) << options;
        TcvbNetDial lister;
        const auto rows = ListConnections(lister);
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0].entry, "Home");
        d.SetAction(ntdDisconnect);
    }
}

TEST_F(NetDial, CancelFromTheStatusHandlerDuringTheWait)
{
    for (const TcvbNetDialActions cancel : {ntdDisconnect, ntdIdle}) {
        UseSim("pause=5");
        TcvbNetDial d;
        StatusLog log(d);
        log.Then = [&](int status) {
            if (status == 3)
                d.SetAction(cancel);
        };
        d.PhoneNumber = QStringLiteral("555 0100");
        d.SetAction(ntdConnect);
        EXPECT_EQ(d.ConnectionHandle(), 0u) << cancel;
        EXPECT_EQ(d.Action(), ntdIdle);
        const std::vector<int> states = log.States();
        ASSERT_GE(states.size(), 5u);
        EXPECT_EQ(std::vector<int>(states.begin(), states.begin() + 4), (std::vector<int>{0, 1, 2, 3}));
        // The hang-up poll reports the dial's last state until the line is released.
        EXPECT_EQ(states.back(), 8193);
        for (std::size_t i = 4; i + 1 < states.size(); ++i)
            EXPECT_EQ(states[i], 3);
        TcvbNetDial lister;
        EXPECT_EQ(ListConnections(lister).size(), 1u) << "the line was released";
        // Nothing of the cancelled dial arrives later.
        log.entries.clear();
        QTest::qWait(50);
        EXPECT_TRUE(log.entries.empty());
    }
}

TEST_F(NetDial, CancelFromATimerDuringTheWaitAndTimersRunWhileDialling)
{
    UseSim("pause=50");
    StatusLog log(dial);
    int ticks = 0;
    QTimer ticker;
    ticker.setObjectName(QStringLiteral("Ticker"));
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        ++ticks;
        if (ticks == 3)
            dial.SetAction(ntdIdle);
    });
    ticker.start(25);
    dial.PhoneNumber = QStringLiteral("555");
    dial.SetAction(ntdConnect);
    ticker.stop();
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(dial.ConnectionHandle(), 0u);
    const std::vector<int> states = log.States();
    EXPECT_EQ(states.back(), 8193);
    EXPECT_EQ(std::count(states.begin(), states.end(), 8192), 0);
}

TEST_F(NetDial, IdleOutsideAConnectAndDisconnectWithoutConnectionDoNothing)
{
    StatusLog log(dial);
    {
        ScopedEnv none("CVB_RAS", "none");
        dial.SetAction(ntdDisconnect); // raises nothing, not even for a service that is missing
        dial.SetAction(ntdIdle);
    }
    EXPECT_TRUE(log.entries.empty());
    EXPECT_EQ(dial.LastErrorCode(), 0);

    dial.PhoneNumber = QStringLiteral("555");
    dial.SetAction(ntdConnect);
    const HRASCONN handle = dial.ConnectionHandle();
    log.entries.clear();
    dial.SetAction(ntdIdle);
    EXPECT_EQ(dial.ConnectionHandle(), handle) << "idle does not hang up a connection that is up";
    EXPECT_TRUE(log.entries.empty());
    dial.SetAction(ntdDisconnect);
}

TEST_F(NetDial, ExceptionFromTheStatusHandlerReachesTheConnectCaller)
{
    UseSim("pause=0");
    dial.OnStatus = [](QObject *, int status, int, const QString &, const QString &) {
        if (status == 2)
            throw EcvbNetDial(999, QStringLiteral("handler failed"));
    };
    dial.PhoneNumber = QStringLiteral("555");
    QString message;
    EXPECT_EQ(ErrorCodeOf([&] { dial.SetAction(ntdConnect); }, &message), 999);
    EXPECT_EQ(message, "999: handler failed");
    EXPECT_EQ(dial.Action(), ntdIdle);
    EXPECT_NE(dial.ConnectionHandle(), 0u) << "the dial goes on and can be hung up";
    dial.OnStatus = nullptr;
    dial.SetAction(ntdDisconnect);
    EXPECT_EQ(dial.ConnectionHandle(), 0u);
}

TEST_F(NetDial, LateProgressWithoutAWaitGoesToOnError)
{
    UseSim("pause=0;halt=4096");
    dial.PhoneNumber = QStringLiteral("555");
    dial.SetAction(ntdConnect);
    std::vector<int> errors;
    dial.OnError = [&](QObject *, int code, const QString &) { errors.push_back(code); };
    dial.OnStatus = [](QObject *, int, int, const QString &, const QString &) {
        throw EcvbNetDial(998, QStringLiteral("late"));
    };
    QCoreApplication::postEvent(dial.findChild<QObject *>(QStringLiteral("RasDialNotifier")),
                                new TRasDialMessage(dial.DialEventMessage(), 8192, 0));
    QCoreApplication::processEvents();
    EXPECT_EQ(errors, std::vector<int>{998});
    dial.OnStatus = nullptr;
    dial.SetAction(ntdDisconnect);
}

TEST_F(NetDial, ComponentDestroyedDuringItsOwnWait)
{
    UseSim("pause=10");
    auto *d = new TcvbNetDial;
    d->PhoneNumber = QStringLiteral("555");
    d->OnStatus = [d](QObject *, int status, int, const QString &, const QString &) {
        if (status == 2)
            QTimer::singleShot(0, [d] { delete d; });
    };
    d->SetAction(ntdConnect); // returns once the component is gone
    TcvbNetDial lister;
    const auto rows = ListConnections(lister);
    ASSERT_EQ(rows.size(), 2u) << "destroying the component does not hang up";
    EXPECT_EQ(rows[0].entry, "555");
}

TEST_F(NetDial, ListsThePhonebookWithItsEndMark)
{
    UseSim("entries=Office,Home,Backup Line");
    EXPECT_EQ(ListPhonebook(dial), (QStringList{"Office", "Home", "Backup Line", ""}));
    UseSim("entries=");
    TcvbNetDial empty;
    EXPECT_EQ(ListPhonebook(empty), QStringList{""});
}

TEST_F(NetDial, ListsAPhonebookFileAndRaisesWhenItCannotBeRead)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("rasphone.pbk"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Work]\nPhoneNumber=1\n\n[Ferienhaus Bärental]\nPhoneNumber=2\n");
    file.close();
    dial.Phonebook = path;
    EXPECT_EQ(ListPhonebook(dial), (QStringList{"Work", "Ferienhaus Bärental", ""}));

    dial.Phonebook = dir.filePath(QStringLiteral("missing.pbk"));
    QStringList names;
    dial.OnPhonebookEntry = [&](QObject *, const QString &entry) { names << entry; };
    QString message;
    EXPECT_EQ(ErrorCodeOf([&] { dial.SetAction(ntdListPhonebook); }, &message), 621);
    EXPECT_EQ(message, "621: Cannot open the phone book file.");
    EXPECT_EQ(names, QStringList{""}) << "the end mark still comes";
    EXPECT_EQ(dial.Action(), ntdIdle);
}

TEST_F(NetDial, ListingWithoutHandlerDoesNothing)
{
    dial.SetAction(ntdListPhonebook);
    dial.SetAction(ntdListConnections);
    EXPECT_EQ(dial.Action(), ntdIdle);
}

TEST_F(NetDial, ListsMoreConnectionsThanTheFirstGuessHolds)
{
    std::vector<std::unique_ptr<TcvbNetDial>> dials;
    for (int i = 0; i < 12; ++i) {
        dials.push_back(std::make_unique<TcvbNetDial>());
        dials.back()->PhoneNumber = QStringLiteral("555 %1").arg(i);
        dials.back()->SetAction(ntdConnect);
    }
    const auto rows = ListConnections(dial);
    ASSERT_EQ(rows.size(), 13u);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(rows[i].handle, static_cast<int>(dials[i]->ConnectionHandle()));
        EXPECT_EQ(rows[i].entry, QStringLiteral("555 %1").arg(i));
    }
    const ConnectedEntry &end = rows.back();
    EXPECT_EQ(end.handle, 0);
    EXPECT_TRUE(end.entry.isEmpty() && end.deviceName.isEmpty() && end.deviceType.isEmpty() &&
                end.state.isEmpty());
    for (auto &d : dials)
        d->SetAction(ntdDisconnect);
}

TEST_F(NetDial, CloneCopiesSettingsAndEvents)
{
    TcvbNetDial source;
    source.User = "u";
    source.Password = "p";
    source.Phonebook = "/pb";
    source.PhonebookEntry = "e";
    source.PhoneNumber = "n";
    source.CallbackNumber = "c";
    source.Domain = "d";
    source.SetRaiseOnError(false);
    int calls = 0;
    source.OnStatus = [&](QObject *, int, int, const QString &, const QString &) { ++calls; };
    source.OnPhonebookEntry = [&](QObject *, const QString &) { ++calls; };
    source.OnConnectedEntry = [&](QObject *, int, const QString &, const QString &, const QString &,
                                  const QString &) { ++calls; };
    source.OnError = [&](QObject *, int, const QString &) { ++calls; };
    dial.CloneFromComponent(source);
    EXPECT_EQ(QStringList({dial.User, dial.Password, dial.Phonebook, dial.PhonebookEntry, dial.PhoneNumber,
                           dial.CallbackNumber, dial.Domain}),
              QStringList({"u", "p", "/pb", "e", "n", "c", "d"}));
    EXPECT_FALSE(dial.RaiseOnError());
    dial.OnStatus(&dial, 0, 0, {}, {});
    dial.OnPhonebookEntry(&dial, {});
    dial.OnConnectedEntry(&dial, 0, {}, {}, {}, {});
    dial.OnError(&dial, 0, {});
    EXPECT_EQ(calls, 4);
}
