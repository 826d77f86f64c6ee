#include "OpenPortFixture.h"
#include "RecordingPorts.h"
#include "port/Par1ReadEndPoint.h"
#include "port/Par1ReadEndPointClosed.h"
#include "port/Par1ReadEndPointError.h"
#include "port/Par1ReadEndPointOpen.h"
#include "protocol/Data.h"
#include "support/TransportEnvironment.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const bool environment = par1test::useTransportEnvironment();

std::string unread(Data& data) {
    return std::string(reinterpret_cast<const char*>(data.data()), data.size());
}

class ReadEndPointTest : public OpenPortFixture {};

} // namespace

TEST_F(ReadEndPointTest, ReadsOnlyWhenOpen) {
    Par1ReadEndPoint endpoint(handle_);
    EXPECT_EQ(&Par1ReadEndPointClosed::instance(), &endpoint.getState());
    Data data(std::string("kept"));
    data.setError(5);
    par1test::LogWatch log;
    EXPECT_EQ(1u, endpoint.doRead(data));
    EXPECT_TRUE(log.contains(
        "Par1ReadEndPointState::doRead: Are you sure you should be calling this function?"))
        << log.text();
    EXPECT_EQ("kept", unread(data));
    EXPECT_EQ(5u, data.error());
    EXPECT_EQ(0u, port().readCount());
    EXPECT_EQ(0u, endpoint.doClose());

    EXPECT_EQ(0u, endpoint.doOpen());
    EXPECT_EQ(&Par1ReadEndPointOpen::instance(), &endpoint.getState());
    EXPECT_EQ(1u, endpoint.doOpen());
    EXPECT_EQ(&Par1ReadEndPointOpen::instance(), &endpoint.getState());
    EXPECT_EQ(0u, endpoint.doClose());
    EXPECT_EQ(&Par1ReadEndPointClosed::instance(), &endpoint.getState());
}

TEST_F(ReadEndPointTest, AppendsWhatThePrinterSent) {
    Par1ReadEndPoint endpoint(handle_);
    ASSERT_EQ(0u, endpoint.doOpen());
    Data data(std::string("old "));
    data.setError(9);

    // Nothing there: success, nothing appended.
    EXPECT_EQ(0u, endpoint.doRead(data));
    EXPECT_EQ("old ", unread(data));
    EXPECT_EQ(0u, data.error());

    printer_.sendBytes(sim::Bytes{'n', 'e', 'w'});
    EXPECT_EQ(0u, endpoint.doRead(data));
    EXPECT_EQ("old new", unread(data));
    EXPECT_EQ(0u, data.error());
}

TEST_F(ReadEndPointTest, LogsWhatItReadAsHex) {
    Par1ReadEndPoint endpoint(handle_);
    ASSERT_EQ(0u, endpoint.doOpen());
    par1test::LogWatch log;
    printer_.sendBytes(sim::Bytes{0x1B, 0x45, 0x0A});
    Data data(0, 255);
    ASSERT_EQ(0u, endpoint.doRead(data));
    EXPECT_TRUE(log.contains("Par1ReadEndPointOpen::doRead 1b 45 0a (3 bytes)\r\n")) << log.text();
}

TEST_F(ReadEndPointTest, AsksFor4096BytesOrTwentyOnTheWindows95Family) {
    RecordingPorts recording(ports_);
    ScopedPortSystem installed(recording);
    Par1ReadEndPoint nt(handle_, VER_PLATFORM_WIN32_NT);
    Par1ReadEndPoint old(handle_, VER_PLATFORM_WIN32_WINDOWS);
    ASSERT_EQ(0u, nt.doOpen());
    ASSERT_EQ(0u, old.doOpen());
    Data data(0, 255);
    EXPECT_EQ(0u, nt.doRead(data));
    EXPECT_EQ(0u, old.doRead(data));
    EXPECT_EQ((std::vector<DWORD>{4096, 20}), recording.readSizes());
}

TEST_F(ReadEndPointTest, AFailedReadLeavesOnlyClosingOpen) {
    Par1ReadEndPoint endpoint(handle_);
    ASSERT_EQ(0u, endpoint.doOpen());
    par1test::LogWatch log;
    port().failReads(1, ERROR_GEN_FAILURE);
    Data data(std::string("before"));
    EXPECT_EQ(static_cast<uint32_t>(ERROR_GEN_FAILURE), endpoint.doRead(data));
    EXPECT_EQ(static_cast<uint32_t>(ERROR_GEN_FAILURE), data.error());
    EXPECT_EQ("before", unread(data));
    EXPECT_EQ(&Par1ReadEndPointError::instance(), &endpoint.getState());
    EXPECT_TRUE(log.contains("Par1ReadEndPointOpen::doRead rc=31\r\n")) << log.text();

    const unsigned reads = port().readCount();
    EXPECT_EQ(1u, endpoint.doRead(data));
    EXPECT_EQ(1u, endpoint.doOpen());
    EXPECT_EQ(reads, port().readCount());
    EXPECT_EQ(&Par1ReadEndPointError::instance(), &endpoint.getState());

    EXPECT_EQ(0u, endpoint.doClose());
    EXPECT_EQ(&Par1ReadEndPointClosed::instance(), &endpoint.getState());
    EXPECT_EQ(0u, endpoint.doOpen());
    printer_.sendBytes(sim::Bytes{'o', 'k'});
    EXPECT_EQ(0u, endpoint.doRead(data));
    EXPECT_EQ("beforeok", unread(data));
}
