#include "devices/Discoverer.h"
#include "devices/Observer.h"
#include "devices/Par1Devices.h"
#include "devices/Par1DiscovererManager.h"
#include "entry/TransportExports.h"
#include "port/PortSystem.h"
#include "sim/VirtualPorts.h"
#include "support/TextReports.h"
#include "support/TransportEnvironment.h"

#include <gtest/gtest.h>

#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

const bool environment = par1test::useTransportEnvironment();

std::string transportString(unsigned port) {
    return "<Portname>LPT" + std::to_string(port) + ":</Portname><Handle>" +
           std::to_string(0x1000 + port) +
           "</Handle><Device>BpdPrinter</Device><Transport>PAR1</Transport>";
}

class DiscoveryTest : public ::testing::Test {
protected:
    DiscoveryTest() : installed_(ports_) {}

    void SetUp() override {
        devices_ = Par1Devices::getInstance();
        devices_->emptyList();
        discoverer_ = Par1DiscovererManager::getInstance()->getDiscoverer();
    }
    void TearDown() override { devices_->emptyList(); }

    sim::VirtualPrinter& printerOn(unsigned port, const std::string& id) {
        sim::VirtualPrinter& printer = ports_.port(port).attachPrinter();
        printer.setDeviceId(id);
        return printer;
    }

    // Discovery leaves no name defined and no port open.
    void expectNothingLeftBehind() {
        for (unsigned port = 1; port <= 9; ++port) {
            EXPECT_TRUE(ports_.dosDeviceTargets("VANTREL_LPT" + std::to_string(port)).empty())
                << port;
        }
        EXPECT_EQ(0u, ports_.openHandles());
    }

    sim::VirtualPorts ports_;
    ScopedPortSystem installed_;
    Par1Devices* devices_ = nullptr;
    Discoverer* discoverer_ = nullptr;
};

} // namespace

TEST_F(DiscoveryTest, ReportsPrintersOnLpt1AndLpt3InPortOrder) {
    printerOn(3, "MFG:Vantrel;CMD:PCL,PJL;MDL:Three;");
    printerOn(1, "MFG:Vantrel;CMD:PCL,PJL;MDL:One;");
    ports_.port(5).setPresent(false);
    par1test::TextReports reports(discoverer_);
    par1test::LogWatch log;

    EXPECT_EQ(0u, discoverer_->discover(""));

    EXPECT_EQ((std::vector<std::string>{transportString(1), transportString(3)}), reports.texts());
    EXPECT_EQ("<Portname>LPT1:</Portname><Handle>4097</Handle><Device>BpdPrinter</Device>"
              "<Transport>PAR1</Transport>",
              reports.texts().at(0));
    const std::string text = log.text();
    EXPECT_NE(std::string::npos,
              text.find("Par1Discoverer 1284DeviceID: MFG:Vantrel;CMD:PCL,PJL;MDL:One;\r\n"));
    EXPECT_NE(std::string::npos, text.find("Parallel found handle4097\r\n"));
    EXPECT_NE(std::string::npos, text.find("Parallel found handle4099\r\n"));
    EXPECT_NE(std::string::npos, text.find("Par1DiscovererManager::notifyObservers() device=" +
                                           transportString(3) + "\r\n"))
        << text;
    expectNothingLeftBehind();
}

TEST_F(DiscoveryTest, SkipsPrintersWhoseIdentificationNamesBothCpdTokens) {
    printerOn(1, "MFG:Vantrel;CMD:PCL,cpdnpa00;MDL:XNPAP;");
    printerOn(2, "MFG:Vantrel;CMD:PCL,CPDNPA00;");
    printerOn(3, "MFG:Vantrel;CMD:PCL,XNPAP;");
    par1test::TextReports reports(discoverer_);
    discoverer_->discover("");
    EXPECT_EQ((std::vector<std::string>{transportString(2), transportString(3)}), reports.texts());
}

TEST_F(DiscoveryTest, OpensASecondTimeHiddenOnlyAfterAccessDenied) {
    printerOn(1, "MDL:Denied once;");
    ports_.port(1).denyOpens(1);
    printerOn(2, "MDL:Open;");
    printerOn(3, "MDL:Denied twice;");
    ports_.port(3).denyOpens(2);
    ports_.port(4).setPresent(false);
    par1test::TextReports reports(discoverer_);
    discoverer_->discover("");

    EXPECT_EQ((std::vector<std::string>{transportString(1), transportString(2)}), reports.texts());
    EXPECT_EQ(130u, ports_.port(1).lastOpenFlags());
    EXPECT_EQ(1u, ports_.port(1).openCount());
    EXPECT_EQ(128u, ports_.port(2).lastOpenFlags());
    EXPECT_EQ(1u, ports_.port(2).openCount());
    EXPECT_EQ(130u, ports_.port(3).lastOpenFlags());
    EXPECT_EQ(0u, ports_.port(3).openCount());
    // Not found is not a lack of access: no second try.
    EXPECT_EQ(128u, ports_.port(4).lastOpenFlags());
    expectNothingLeftBehind();
}

TEST_F(DiscoveryTest, ReadsAnIdentificationThatFillsTheWholeBuffer) {
    // 4096 bytes and no terminator: the CPD tokens in the last bytes count.
    std::string full(4096 - 13, 'A');
    printerOn(1, full + "CPDNPA00XNPAP");
    std::string reported(4096 - 3, 'B');
    reported += "END";
    printerOn(2, reported);
    // More than the buffer takes: the driver refuses the query.
    printerOn(3, std::string(4097, 'C'));
    // Text after a zero byte is not part of it.
    printerOn(4, std::string("MDL:Four;\0CPDNPA00 XNPAP", 24));
    par1test::TextReports reports(discoverer_);
    par1test::LogWatch log;
    discoverer_->discover("");

    EXPECT_EQ((std::vector<std::string>{transportString(2), transportString(4)}), reports.texts());
    const std::string text = log.text();
    EXPECT_NE(std::string::npos, text.find("Par1Discoverer 1284DeviceID: " + reported + "\r\n"));
    EXPECT_NE(std::string::npos, text.find("Par1Discoverer 1284DeviceID: MDL:Four;\r\n"));
}

TEST_F(DiscoveryTest, WithoutPrintersTellsNoObserverAndSaysSo) {
    ports_.port(2).attachPrinter().setDeviceId("MDL:Two;");
    ports_.port(2).detachPrinter(); // present, no printer: the query fails
    par1test::TextReports reports(discoverer_);
    par1test::LogWatch log;
    EXPECT_EQ(0u, discoverer_->discover(""));
    EXPECT_TRUE(reports.texts().empty());
    EXPECT_TRUE(devices_->entries().empty());
    EXPECT_TRUE(log.contains("Par1DiscovererManager::notifyObservers() no device was found\r\n"))
        << log.text();
    expectNothingLeftBehind();
}

TEST_F(DiscoveryTest, EachDiscoverReportsAgainAndTheTableKeepsOneEntryPerPrinter) {
    printerOn(1, "MDL:One;");
    printerOn(9, "MDL:Nine;");
    par1test::TextReports reports(discoverer_);
    discoverer_->discover("");
    discoverer_->discover("");
    EXPECT_EQ((std::vector<std::string>{transportString(1), transportString(9), transportString(1),
                                        transportString(9)}),
              reports.texts());
    EXPECT_EQ((std::list<std::string>{transportString(1), transportString(9)}),
              devices_->entries());
    EXPECT_EQ(0u, devices_->get("LPT9:"));
}

TEST_F(DiscoveryTest, TheDeviceTableWatchesEveryNewDiscoverer) {
    printerOn(2, "MDL:Two;");
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        // What TransportUninitialize and TransportInitialize do to it.
        Par1DiscovererManager::destroyInstance();
        Discoverer* discoverer = Par1DiscovererManager::getInstance()->getDiscoverer();
        devices_->emptyList();
        discoverer->discover("");
        EXPECT_EQ((std::list<std::string>{transportString(2)}), devices_->entries());
    }
}

TEST_F(DiscoveryTest, AfterARestartTheTableKeepsItsEntriesAndObservesTheNewDiscoverer) {
    printerOn(1, "MDL:One;");
    ASSERT_EQ(0u, TransportInitialize());
    Discoverer* before = TransportGetDiscoverer();
    ASSERT_NE(nullptr, before);
    EXPECT_EQ(Par1DiscovererManager::getInstance()->getDiscoverer(), before);
    before->discover("");

    ASSERT_EQ(0u, TransportUninitialize());
    ASSERT_EQ(0u, TransportInitialize());
    EXPECT_EQ((std::list<std::string>{transportString(1)}), devices_->entries());

    ports_.port(1).detachPrinter();
    printerOn(4, "MDL:Four;");
    devices_->emptyList();
    Discoverer* after = TransportGetDiscoverer();
    ASSERT_NE(nullptr, after);
    after->discover("");
    EXPECT_EQ((std::list<std::string>{transportString(4)}), devices_->entries());
}

TEST_F(DiscoveryTest, DiscoveriesOnSeveralThreadsEachReportWhatTheyFound) {
    printerOn(1, "MDL:One;");
    printerOn(2, "MDL:Two;");
    par1test::TextReports reports(discoverer_);
    const int rounds = 10;
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < rounds; ++i) {
                discoverer_->discover("");
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const std::vector<std::string> texts = reports.texts();
    ASSERT_EQ(3u * rounds * 2u, texts.size());
    size_t ones = 0;
    for (const std::string& text : texts) {
        if (text == transportString(1)) {
            ++ones;
        } else {
            EXPECT_EQ(transportString(2), text);
        }
    }
    EXPECT_EQ(3u * rounds, ones);
    EXPECT_EQ(2u, devices_->entries().size());
    expectNothingLeftBehind();
}

TEST(Discoverer, TheGenericDiscovererDiscoversNothing) {
    Discoverer generic;
    EXPECT_EQ("Discoverer", generic.getDiscovererName());
    EXPECT_EQ(1u, generic.discover("anything"));
}
