#include "devices/Par1Authorizer.h"
#include "devices/Par1DeviceHandles.h"
#include "devices/Par1Devices.h"
#include "support/TransportEnvironment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <list>
#include <string>
#include <thread>
#include <vector>

namespace {

const bool environment = par1test::useTransportEnvironment();

std::string transportString(const std::string& port, uint32_t handle) {
    return "<Portname>" + port + "</Portname><Handle>" + std::to_string(handle) +
           "</Handle><Device>BpdPrinter</Device><Transport>PAR1</Transport>";
}

class DeviceTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        devices_ = Par1Devices::getInstance();
        devices_->emptyList();
    }
    void TearDown() override { devices_->emptyList(); }

    Par1Devices* devices_ = nullptr;
};

} // namespace

TEST(DeviceHandles, OnlyTheLowElevenBitsOfThePortNumberCount) {
    const struct {
        uint32_t port;
        uint32_t handle;
    } cases[] = {{1, 4097},
                 {3, 4099},
                 {9, 4105},
                 {0, 4096},
                 {2048, 4096},
                 {2049, 4097},
                 {0xFFFFFFFFu, 0x17FF}};
    for (const auto& c : cases) {
        uint32_t handle = 12345;
        Par1DeviceHandles::getInstance()->get(c.port, handle);
        EXPECT_EQ(c.handle, handle) << "port " << c.port;
    }
}

TEST(DeviceHandles, DestroyInstanceMakesANewOneOnNextUse) {
    Par1DeviceHandles* first = Par1DeviceHandles::getInstance();
    EXPECT_EQ(first, Par1DeviceHandles::getInstance());
    Par1DeviceHandles::destroyInstance();
    Par1DeviceHandles::destroyInstance(); // twice: nothing left to delete
    uint32_t handle = 0;
    Par1DeviceHandles::getInstance()->get(2, handle);
    EXPECT_EQ(4098u, handle);
}

TEST(Authorizer, CpdPrintersNameBothTokensAnywhereInAnyCase) {
    const struct {
        std::string id;
        bool cpd;
    } cases[] = {
        {"MFG:Vantrel;CMD:PCL,cpdnpa00;MDL:XNPAP 1;", true},
        {"XNPAP;CPDNPA00", true},
        {"CPDNPA00XNPAP", true},
        {"mfg:x;cmd:CpDnPa00,xnpap;", true},
        {"MFG:Vantrel;CMD:PCL,CPDNPA00;", false},
        {"MFG:Vantrel;CMD:XNPAP;", false},
        {"CPDNPA0", false},
        {"XNPAP00", false},
        {"", false},
        // Only the text before a zero character counts.
        {std::string("MFG:A;CMD:CPDNPA00;\0XNPAP", 25), false},
        // Only ASCII letters change case.
        {"CPDNPA00 \xF8NPAP", false},
    };
    Par1Authorizer* authorizer = Par1Authorizer::getInstance();
    for (const auto& c : cases) {
        EXPECT_EQ(c.cpd, authorizer->isDeviceCpd(c.id)) << c.id;
    }
}

TEST_F(DeviceTableTest, KeepsEachTransportStringOnceInTheOrderLastReported) {
    const std::string one = transportString("LPT1:", 4097);
    const std::string three = transportString("LPT3:", 4099);
    devices_->doUpdate(one);
    devices_->doUpdate(three);
    devices_->doUpdate(one);
    EXPECT_EQ((std::list<std::string>{three, one}), devices_->entries());
}

TEST_F(DeviceTableTest, FindsAPortOnlyByItsExactName) {
    EXPECT_EQ(1u, devices_->get("LPT1:"));
    devices_->doUpdate(transportString("LPT1:", 4097));
    devices_->doUpdate("<Handle>4098</Handle>"); // no Portname: never matches
    EXPECT_EQ(0u, devices_->get("LPT1:"));
    EXPECT_EQ(1u, devices_->get("lpt1:"));
    EXPECT_EQ(1u, devices_->get("LPT1"));
    EXPECT_EQ(1u, devices_->get("LPT2:"));
    EXPECT_EQ(1u, devices_->get(""));

    devices_->emptyList();
    EXPECT_TRUE(devices_->entries().empty());
    EXPECT_EQ(1u, devices_->get("LPT1:"));
}

TEST_F(DeviceTableTest, LogsWhatItDoes) {
    par1test::LogWatch log;
    const std::string one = transportString("LPT1:", 4097);
    devices_->doUpdate(one);
    devices_->get("LPT1:");
    devices_->get("LPT2:");
    devices_->emptyList();
    const std::string text = log.text();
    EXPECT_NE(std::string::npos,
              text.find("Par1Devices::doUpdate: adding transportString=" + one + ".\r\n"));
    EXPECT_NE(std::string::npos, text.find("Par1Devices::get: rc=conn\r\n"));
    EXPECT_NE(std::string::npos, text.find("Par1Devices::get: rc=1\r\n"));
    EXPECT_NE(std::string::npos, text.find("Par1Devices::emptyList: \r\n")) << text;
}

// Discovery on a host thread and recoveries on read threads reach the table
// at the same time.
TEST_F(DeviceTableTest, StaysWholeUnderUpdatesLookUpsAndEmptyingFromSeveralThreads) {
    std::atomic<bool> failed{false};
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            const std::string port = "LPT" + std::to_string(t + 1) + ":";
            for (int i = 0; i < 300; ++i) {
                devices_->doUpdate(transportString(port, 4097 + t));
                if (t == 0 && i % 10 == 0) {
                    devices_->emptyList();
                }
                devices_->get(port);
                for (const std::string& entry : devices_->entries()) {
                    if (entry.find("</Transport>") == std::string::npos) {
                        failed = true;
                    }
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_FALSE(failed);
    for (unsigned t = 0; t < 4; ++t) {
        devices_->doUpdate(transportString("LPT" + std::to_string(t + 1) + ":", 4097 + t));
    }
    EXPECT_EQ(4u, devices_->entries().size());
}
