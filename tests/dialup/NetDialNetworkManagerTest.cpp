#include "dialup/NetDial.h"
#include "dialup/RasNetworkManager.h"
#include "tests/dialup/NetDialSupport.h"
#include "tests/support/Peers.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace cvb;
using namespace cvb::test;

namespace {

// The component over NetworkManager, with a stand-in nmcli first on PATH. Its connections:
const char kConnections[] = "Dial-up Office\tuuid-office\tgsm\tttyUSB0\n"
                            "Branch: Berlin\tuuid-berlin\tvpn\ttun0\n"
                            "Wired\tuuid-wired\t802-3-ethernet\teth0\n";

class NetDialNetworkManager : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(state.isValid());
        Write("connections", kConnections);
    }

    void Write(const QString &name, const QByteArray &content)
    {
        QFile f(state.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    QByteArray Read(const QString &name) const
    {
        QFile f(state.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QStringList Calls() const { return QString::fromUtf8(Read("calls")).split('\n', Qt::SkipEmptyParts); }

    QTemporaryDir state;
    ScopedEnv backend{"CVB_RAS", QByteArray()}; // chosen because nmcli is on PATH
    ScopedEnv path{"PATH", sourcePath("tests/dialup/nmcli-fake").toUtf8() + ':' + qgetenv("PATH")};
    ScopedEnv dir{"FAKE_NMCLI_DIR", state.path().toUtf8()};
    TcvbNetDial dial;
};

int ErrorCodeOf(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const EcvbNetDial &e) {
        return e.Code();
    }
    return 0;
}

} // namespace

TEST(NetworkManagerBackend, TerseFieldsAndExitCodes)
{
    EXPECT_EQ(CRasNetworkManager::SplitTerse("Branch\\: Berlin:uuid:c\\\\:"),
              (QStringList{"Branch: Berlin", "uuid", "c\\", ""}));
    EXPECT_EQ(CRasNetworkManager::ErrorFromExit(0, {}), 0u);
    EXPECT_EQ(CRasNetworkManager::ErrorFromExit(4,
                                                "Error: Connection activation failed: Secrets were required, "
                                                "but not provided."),
              691u);
    EXPECT_EQ(CRasNetworkManager::ErrorFromExit(4, "Error: Connection activation failed: No carrier."), 651u);
    EXPECT_EQ(CRasNetworkManager::ErrorFromExit(3, {}), 638u);
    EXPECT_EQ(CRasNetworkManager::ErrorFromExit(8, {}), 711u);
    EXPECT_EQ(CRasNetworkManager::ErrorFromExit(10, {}), 623u);
    EXPECT_EQ(CRasNetworkManager::ErrorFromExit(2, {}), 604u);
    EXPECT_EQ(CRasNetworkManager::ErrorFromExit(1, {}), 635u);
}

TEST_F(NetDialNetworkManager, PhonebookListsEveryConnection)
{
    EXPECT_EQ(ListPhonebook(dial), (QStringList{"Dial-up Office", "Branch: Berlin", "Wired", ""}));
}

TEST_F(NetDialNetworkManager, WithoutNmcliOnPathTheLibraryDoesNotLoad)
{
    QTemporaryDir empty;
    ScopedEnv nothing("PATH", empty.path().toUtf8());
    EXPECT_EQ(ErrorCodeOf([&] { ListPhonebook(dial); }), 200);
}

TEST_F(NetDialNetworkManager, ConnectBringsTheConnectionUpAndDisconnectTakesItDown)
{
    StatusLog log(dial);
    dial.PhonebookEntry = QStringLiteral("Dial-up Office");
    dial.SetAction(ntdConnect);
    EXPECT_EQ(log.States(), (std::vector<int>{0, 1, 2, 3, 4, 14, 8192}));
    for (const DialStatus &s : log.entries)
        EXPECT_EQ(s.error, 0);
    EXPECT_TRUE(Calls().contains("connection up uuid uuid-office"));
    ASSERT_NE(dial.ConnectionHandle(), 0u);

    TcvbNetDial lister;
    const auto rows = ListConnections(lister);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].handle, static_cast<int>(dial.ConnectionHandle()));
    EXPECT_EQ(rows[0].entry, "Dial-up Office");
    EXPECT_EQ(rows[0].deviceName, "ttyUSB0");
    EXPECT_EQ(rows[0].deviceType, "gsm");
    EXPECT_EQ(rows[0].state, "Connected");

    log.entries.clear();
    dial.SetAction(ntdDisconnect);
    EXPECT_TRUE(Calls().contains("connection down uuid uuid-office"));
    EXPECT_EQ(log.States(), std::vector<int>{8193});
    EXPECT_EQ(dial.ConnectionHandle(), 0u);
    EXPECT_TRUE(Read("active").trimmed().isEmpty());
}

TEST_F(NetDialNetworkManager, ConnectionsUpElsewhereAreListedWithTheirState)
{
    Write("active", "uuid-wired\tactivated\nuuid-berlin\tactivating\n");
    const auto rows = ListConnections(dial);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].entry, "Branch: Berlin");
    EXPECT_EQ(rows[0].state, "Connect device");
    EXPECT_EQ(rows[1].entry, "Wired");
    EXPECT_EQ(rows[1].state, "Connected");
    EXPECT_NE(rows[0].handle, rows[1].handle);
    EXPECT_EQ(rows[2].handle, 0);
    EXPECT_EQ(ListConnections(dial)[1].handle, rows[1].handle) << "a connection keeps its handle";
}

TEST_F(NetDialNetworkManager, UnknownEntryIsRaisedAtOnce)
{
    dial.PhonebookEntry = QStringLiteral("Nowhere");
    EXPECT_EQ(ErrorCodeOf([&] { dial.SetAction(ntdConnect); }), 623);
    for (const QString &call : Calls())
        EXPECT_FALSE(call.startsWith("connection up")) << call.toStdString();
    EXPECT_EQ(dial.ConnectionHandle(), 0u);
}

TEST_F(NetDialNetworkManager, ServiceNotRunning)
{
    Write("not-running", "");
    EXPECT_EQ(ErrorCodeOf([&] { ListPhonebook(dial); }), 711);
    dial.PhonebookEntry = QStringLiteral("Wired");
    EXPECT_EQ(ErrorCodeOf([&] { dial.SetAction(ntdConnect); }), 711);
}

TEST_F(NetDialNetworkManager, ActivationFailureIsSeenThroughOnStatusAndReleasedByDisconnect)
{
    const struct
    {
        QByteArray failure;
        int error;
    } cases[] = {{"4\nConnection activation failed: Secrets were required, but not provided.", 691},
                 {"4\nConnection activation failed: The base network connection was interrupted.", 651},
                 {"3\nTimeout expired.", 638}};
    for (const auto &c : cases) {
        Write("up-fail", c.failure);
        StatusLog log(dial);
        dial.PhonebookEntry = QStringLiteral("Dial-up Office");
        dial.SetAction(ntdConnect); // returns normally
        ASSERT_EQ(log.States(), (std::vector<int>{0, 1, 2, 2}));
        EXPECT_EQ(log.entries.back().error, c.error);
        EXPECT_NE(dial.ConnectionHandle(), 0u);
        log.entries.clear();
        dial.SetAction(ntdDisconnect); // nothing is active: nothing raised
        EXPECT_EQ(log.States(), std::vector<int>{8193});
        EXPECT_EQ(dial.ConnectionHandle(), 0u);
    }
}

TEST_F(NetDialNetworkManager, DialWithoutEntryFailsThroughOnStatus)
{
    StatusLog log(dial);
    dial.PhoneNumber = QStringLiteral("555 0100");
    dial.SetAction(ntdConnect);
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].status, 0);
    EXPECT_EQ(log.entries[0].error, 623);
    EXPECT_NE(dial.ConnectionHandle(), 0u);
    dial.SetAction(ntdDisconnect);
    EXPECT_EQ(dial.ConnectionHandle(), 0u);
    for (const QString &call : Calls())
        EXPECT_FALSE(call.startsWith("connection")) << call.toStdString();
}

TEST_F(NetDialNetworkManager, CancelWhileNetworkManagerIsStillActivating)
{
    Write("up-delay", "30");
    StatusLog log(dial);
    log.Then = [&](int status) {
        if (status == 2)
            dial.SetAction(ntdDisconnect);
    };
    dial.PhonebookEntry = QStringLiteral("Dial-up Office");
    dial.SetAction(ntdConnect);
    EXPECT_EQ(dial.ConnectionHandle(), 0u);
    EXPECT_EQ(dial.Action(), ntdIdle);
    EXPECT_TRUE(Calls().contains("connection down uuid uuid-office"));
    ASSERT_FALSE(log.entries.empty());
    EXPECT_EQ(log.States().back(), 8193);
    log.entries.clear();
    QTest::qWait(100);
    EXPECT_TRUE(log.entries.empty()) << "the stopped dial reports nothing more";
    EXPECT_TRUE(Read("active").trimmed().isEmpty());
}
