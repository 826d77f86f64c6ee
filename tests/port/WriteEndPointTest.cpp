#include "OpenPortFixture.h"
#include "port/Par1WriteEndPoint.h"
#include "port/Par1WriteEndPointClosed.h"
#include "port/Par1WriteEndPointOpen.h"
#include "protocol/Data.h"
#include "support/TransportEnvironment.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const bool environment = par1test::useTransportEnvironment();

using par1test::kReadTimeoutMs;

const COMMTIMEOUTS printDataTimeouts{1, 0, kReadTimeoutMs, 0, 60000};
const COMMTIMEOUTS shortTimeouts{1, 0, kReadTimeoutMs, 0, 1000};

std::string describe(const COMMTIMEOUTS& t) {
    return std::to_string(t.ReadIntervalTimeout) + "," +
           std::to_string(t.ReadTotalTimeoutMultiplier) + "," +
           std::to_string(t.ReadTotalTimeoutConstant) + "," +
           std::to_string(t.WriteTotalTimeoutMultiplier) + "," +
           std::to_string(t.WriteTotalTimeoutConstant);
}

class WriteEndPointTest : public OpenPortFixture {
protected:
    // One write through a freshly opened endpoint, closed again afterwards.
    uint32_t write(Par1WriteEndPoint& endpoint, Data& data) {
        EXPECT_EQ(0u, endpoint.doOpen());
        uint32_t result = endpoint.doWrite(data);
        EXPECT_EQ(0u, endpoint.doClose());
        return result;
    }
};

} // namespace

TEST_F(WriteEndPointTest, OpensAndClosesAroundWritesAndRefusesOutOfTurn) {
    Par1WriteEndPoint endpoint(handle_);
    EXPECT_EQ(&Par1WriteEndPointClosed::instance(), &endpoint.getState());
    EXPECT_EQ(kReadTimeoutMs, endpoint.getReadTimeout());
    EXPECT_TRUE(endpoint.getPrintDataFlag());
    EXPECT_EQ(describe(printDataTimeouts), describe(endpoint.getCommTimeouts()));

    Data data(std::string("abc"));
    EXPECT_EQ(1u, endpoint.doWrite(data));
    EXPECT_EQ(1u, data.error());
    EXPECT_TRUE(port().writes().empty());
    EXPECT_EQ(0u, endpoint.doClose());

    EXPECT_EQ(0u, endpoint.doOpen());
    EXPECT_EQ(&Par1WriteEndPointOpen::instance(), &endpoint.getState());
    EXPECT_EQ(1u, endpoint.doOpen());
    EXPECT_EQ(&Par1WriteEndPointOpen::instance(), &endpoint.getState());
    EXPECT_EQ(0u, endpoint.doClose());
    EXPECT_EQ(&Par1WriteEndPointClosed::instance(), &endpoint.getState());
}

TEST_F(WriteEndPointTest, AWriteSendsTheBytesAndCountsThem) {
    Par1WriteEndPoint endpoint(handle_);
    Data data(std::string("print data"));
    data.setError(77);
    EXPECT_EQ(0u, write(endpoint, data));
    EXPECT_EQ(0u, data.error());
    EXPECT_EQ(10u, data.count());
    EXPECT_EQ("print data", textOf(printer_.printData()));
}

TEST_F(WriteEndPointTest, PrintDataFlagAndCustomTimeoutsLastOneWrite) {
    Par1WriteEndPoint endpoint(handle_);
    Data data(std::string("x"));
    ASSERT_EQ(0u, write(endpoint, data));

    endpoint.setPrintDataFlag(false);
    ASSERT_EQ(0u, write(endpoint, data));
    ASSERT_EQ(0u, write(endpoint, data));

    const COMMTIMEOUTS custom{2, 3, 4, 5, 6};
    endpoint.setPrintDataFlag(false);
    endpoint.setCommTimeouts(custom); // sets the flag again
    ASSERT_EQ(0u, write(endpoint, data));
    ASSERT_EQ(0u, write(endpoint, data));

    const std::vector<sim::PortWrite> writes = port().writes();
    ASSERT_EQ(5u, writes.size());
    // The read part follows "ReadTimeout" from the first write on.
    EXPECT_EQ(describe(printDataTimeouts), describe(writes[0].timeouts));
    EXPECT_EQ(describe(shortTimeouts), describe(writes[1].timeouts));
    EXPECT_EQ(describe(printDataTimeouts), describe(writes[2].timeouts));
    // The write part is the caller's; the read part stays the standard one,
    // since the read thread's reads share the handle.
    EXPECT_EQ(describe({1, 0, par1test::kReadTimeoutMs, 5, 6}), describe(writes[3].timeouts));
    EXPECT_EQ(describe(printDataTimeouts), describe(writes[4].timeouts));
    EXPECT_TRUE(endpoint.getPrintDataFlag());
}

TEST_F(WriteEndPointTest, AFailedWriteAnswersThePortsFirstErrorFlag) {
    struct Case {
        DWORD flags;
        bool clearFails;
        uint32_t result;
    };
    const Case cases[] = {
        {CE_OOP | CE_IOE | CE_BREAK | CE_DNS | CE_PTO, false, 4096},
        {CE_IOE | CE_BREAK | CE_DNS | CE_PTO, false, 1024},
        {CE_BREAK | CE_DNS | CE_PTO, false, 16},
        {CE_DNS | CE_PTO, false, 2048},
        {CE_PTO, false, 512},
        {CE_OOP | CE_RXOVER, false, 4096},
        {CE_RXOVER | CE_FRAME, false, 29},
        {0, false, 29},
        {CE_OOP, true, 29},
    };
    Par1WriteEndPoint endpoint(handle_);
    for (const Case& c : cases) {
        SCOPED_TRACE("flags " + std::to_string(c.flags) + (c.clearFails ? ", clear fails" : ""));
        port().failWrites(1, c.flags);
        port().failClearCommError(c.clearFails);
        Data data(std::string("lost"));
        data.setCount(12345);
        EXPECT_EQ(c.result, write(endpoint, data));
        EXPECT_EQ(c.result, data.error());
        // What the port took before it failed: nothing here.
        EXPECT_EQ(0u, data.count());
        port().failClearCommError(false);
        // Flags left over from a case whose ClearCommError failed.
        DWORD errors = 0;
        ports_.clearCommError(handle_, &errors, nullptr);
    }
    EXPECT_TRUE(printer_.printData().empty());
}

TEST_F(WriteEndPointTest, AFailedWriteStillResetsTheTimeoutsForTheNextWrite) {
    Par1WriteEndPoint endpoint(handle_);
    endpoint.setPrintDataFlag(false);
    port().failWrites(1, CE_OOP);
    Data data(std::string("x"));
    EXPECT_EQ(4096u, write(endpoint, data));
    EXPECT_EQ(0u, write(endpoint, data));
    const std::vector<sim::PortWrite> writes = port().writes();
    ASSERT_EQ(2u, writes.size());
    EXPECT_EQ(describe(shortTimeouts), describe(writes[0].timeouts));
    EXPECT_EQ(describe(printDataTimeouts), describe(writes[1].timeouts));
}

TEST_F(WriteEndPointTest, AStoredReadTimeoutOfZeroCountsAsOne) {
    par1test::setStoreNumber("Par1\\Settings", "ReadTimeout", 0);
    Par1WriteEndPoint zero(handle_);
    par1test::setStoreNumber("Par1\\Settings", "ReadTimeout", 40);
    Par1WriteEndPoint forty(handle_);
    par1test::setStoreNumber("Par1\\Settings", "ReadTimeout", kReadTimeoutMs);
    EXPECT_EQ(1u, zero.getReadTimeout());
    EXPECT_EQ(40u, forty.getReadTimeout());
}

TEST_F(WriteEndPointTest, StandardTimeoutsCanBeSetWithoutWriting) {
    Par1WriteEndPoint endpoint(handle_);
    endpoint.applyStandardTimeouts();
    EXPECT_EQ(describe(printDataTimeouts), describe(port().lastCommTimeouts()));
    EXPECT_TRUE(port().writes().empty());
}
