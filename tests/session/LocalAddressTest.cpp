// The watcher's address lookup: the adapter rules of getLocalIpAddress over
// a scripted adapter list, and the system's own list.

#include "SessionHarness.h"

#include "platform/system/NetworkAdapters.h"

#include <QStackedWidget>
#include <QtTest>

#include <arpa/inet.h>

using talvora::platform::NetworkAdapter;

Q_DECLARE_METATYPE(std::vector<NetworkAdapter>)

namespace {

void scriptAdapters(std::vector<NetworkAdapter> list, bool readable = true)
{
    talvora::platform::setNetworkAdapterSource([list, readable](std::vector<NetworkAdapter>& adapters) {
        adapters = list;
        return readable;
    });
}

} // namespace

class LocalAddressTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void adapterRules_data();
    void adapterRules();
    void unreadableListClearsAddress();
    void bluetoothOnlyMachineIsOffline();
    void systemListHoldsUsableAddresses();
};

void LocalAddressTest::initTestCase()
{
    Q_INIT_RESOURCE(Talvora);
}

void LocalAddressTest::cleanup()
{
    talvora::platform::setNetworkAdapterSource({});
}

void LocalAddressTest::adapterRules_data()
{
    QTest::addColumn<std::vector<NetworkAdapter>>("adapters");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("address");

    const NetworkAdapter ethernet{"eth0", "eth0", {"192.168.1.20"}};
    const NetworkAdapter wireless{"wlan0", "wlan0", {"10.0.0.7"}};
    const NetworkAdapter bluetooth{"bnep0", "Bluetooth Network Interface (bnep0)", {"172.20.10.2"}};
    const NetworkAdapter unassigned{"eth1", "eth1", {"0.0.0.0"}};

    QTest::newRow("no adapters") << std::vector<NetworkAdapter>{} << -1 << "";
    QTest::newRow("first in list order")
        << std::vector<NetworkAdapter>{ethernet, wireless} << 0 << "192.168.1.20";
    QTest::newRow("bluetooth only") << std::vector<NetworkAdapter>{bluetooth} << -1 << "";
    QTest::newRow("bluetooth skipped") << std::vector<NetworkAdapter>{bluetooth, wireless} << 0 << "10.0.0.7";
    QTest::newRow("lower-case bluetooth counts")
        << std::vector<NetworkAdapter>{{"pan0", "bluetooth tether", {"172.20.10.3"}}} << 0 << "172.20.10.3";
    QTest::newRow("zero address skipped")
        << std::vector<NetworkAdapter>{unassigned, wireless} << 0 << "10.0.0.7";
    QTest::newRow("only zero addresses") << std::vector<NetworkAdapter>{unassigned} << -1 << "";
    QTest::newRow("second address of one adapter")
        << std::vector<NetworkAdapter>{{"eth2", "eth2", {"0.0.0.0", "10.9.8.7"}}} << 0 << "10.9.8.7";
}

void LocalAddressTest::adapterRules()
{
    QFETCH(std::vector<NetworkAdapter>, adapters);
    QFETCH(int, result);
    QFETCH(QString, address);

    SessionHarness harness;
    auto window = harness.makeWindow();
    scriptAdapters(adapters);
    std::string found = "stale";
    QCOMPARE(window->getLocalIpAddress(found), result);
    QCOMPARE(QString::fromStdString(found), address);
}

void LocalAddressTest::unreadableListClearsAddress()
{
    SessionHarness harness;
    auto window = harness.makeWindow();
    scriptAdapters({{"eth0", "eth0", {"192.168.1.20"}}}, false);
    std::string found = "stale";
    QCOMPARE(window->getLocalIpAddress(found), -1);
    QVERIFY(found.empty());
}

void LocalAddressTest::bluetoothOnlyMachineIsOffline()
{
    SessionHarness harness;
    scriptAdapters({{"bnep0", "Bluetooth Network Interface (bnep0)", {"172.20.10.2"}}});
    auto window = harness.makeWindow();
    window->setAddressSource({});
    QVERIFY(SessionHarness::signIn(*window));

    QTRY_COMPARE_WITH_TIMEOUT(window->m_pStackedWidget->currentIndex(), int(Talvora::PageNetError), 1500);
}

void LocalAddressTest::systemListHoldsUsableAddresses()
{
    std::vector<NetworkAdapter> adapters;
    QVERIFY(talvora::platform::listNetworkAdapters(adapters));
    for (const NetworkAdapter& adapter : adapters) {
        QVERIFY(!adapter.name.empty());
        QVERIFY(!adapter.ipv4Addresses.empty());
        for (const std::string& text : adapter.ipv4Addresses) {
            in_addr address{};
            QVERIFY2(inet_pton(AF_INET, text.c_str(), &address) == 1, text.c_str());
            QVERIFY2((ntohl(address.s_addr) >> 24) != 127, text.c_str());
        }
        if (adapter.name.rfind("bnep", 0) == 0) {
            QVERIFY(adapter.description.find("Bluetooth") != std::string::npos);
        }
    }
}

QTEST_MAIN(LocalAddressTest)
#include "LocalAddressTest.moc"
