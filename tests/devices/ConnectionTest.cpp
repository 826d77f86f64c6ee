// Connections as a host gets them from TransportGetConnectionManager, to the
// virtual printer.
#include "devices/Par1BidiPrintConnectionFactory.h"
#include "devices/Par1ConnectionFactoryManager.h"
#include "devices/Par1ConnectionManager.h"
#include "port/Par1Adapter.h"
#include "protocol/Par1NpaProtocol.h"
#include "protocol/Par1NpaWrapProtocol.h"
#include "protocol/Par1Protocol.h"
#include "support/PrinterConnection.h"
#include "support/TransportEnvironment.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

const bool environment = par1test::useTransportEnvironment();

using par1test::transportString;

Par1ConnectionManager* manager() {
    return static_cast<Par1ConnectionManager*>(TransportGetConnectionManager());
}

} // namespace

TEST(ConnectionManager, IsTheModulesOneObjectAndNewAfterReinitialisation) {
    par1test::PrinterConnection printer;
    ConnectionManager* first = TransportGetConnectionManager();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(static_cast<ConnectionManager*>(Par1ConnectionManager::getInstance()), first);
    EXPECT_EQ(first, TransportGetConnectionManager());

    ASSERT_EQ(0u, TransportUninitialize());
    ASSERT_EQ(0u, TransportInitialize());
    // A working manager again, with the factory registered anew.
    ASSERT_NE(nullptr, TransportGetConnectionManager());
    ASSERT_TRUE(printer.connect());
    Data data(std::string("after a restart"));
    printer.write(data);
    EXPECT_EQ(0u, data.error());
    EXPECT_EQ(sim::bytes("after a restart"), printer.printer().printData());
}

TEST(ConnectionManager, BuildsTheFourLayerStackLinkedToTheHost) {
    par1test::PrinterConnection printer;
    par1test::RecordingHost host;
    Layer* top = manager()->doGet(&host, transportString(1), "bidi");
    ASSERT_NE(Par1ConnectionManager::nullLayer(), top);
    EXPECT_EQ("bidi", top->getName());
    Layer* npa = top->getLayer(Layer::Lower);
    Layer* pjl = npa->getLayer(Layer::Lower);
    Layer* adapter = pjl->getLayer(Layer::Lower);
    EXPECT_NE(nullptr, dynamic_cast<Par1NpaWrapProtocol*>(top));
    EXPECT_NE(nullptr, dynamic_cast<Par1NpaProtocol*>(npa));
    EXPECT_NE(nullptr, dynamic_cast<Par1Protocol*>(pjl));
    ASSERT_NE(nullptr, dynamic_cast<Par1Adapter*>(adapter));
    EXPECT_EQ("LPT1:", static_cast<Par1Adapter*>(adapter)->getPortName());
    EXPECT_EQ(nullptr, adapter->getLayer(Layer::Lower));
    EXPECT_EQ(pjl, adapter->getLayer(Layer::Upper));
    EXPECT_EQ(npa, pjl->getLayer(Layer::Upper));
    EXPECT_EQ(top, npa->getLayer(Layer::Upper));
    EXPECT_EQ(&host, top->getLayer(Layer::Upper));
    EXPECT_EQ(top, host.getLayer(Layer::Upper));
    // Nothing is opened by making it.
    EXPECT_EQ(0u, top->openCount());
    manager()->doRelease(top);
    EXPECT_EQ(0u, manager()->connectionCount());
}

TEST(ConnectionManager, OneHandleSharesOneStackUntilTheLastRelease) {
    par1test::PrinterConnection printer;
    par1test::RecordingHost host;
    par1test::RecordingHost other;
    Layer* first = manager()->doGet(&host, transportString(1), "bidi");
    Layer* second = manager()->doGet(&other, transportString(1), "bidi");
    EXPECT_EQ(first, second);
    // Still linked to the first host.
    EXPECT_EQ(&host, first->getLayer(Layer::Upper));
    EXPECT_EQ(1u, manager()->connectionCount());

    ASSERT_EQ(0u, first->open());
    manager()->doRelease(first);
    EXPECT_EQ(1u, manager()->connectionCount());
    Data data(std::string("still there"));
    second->doWrite(data);
    EXPECT_EQ(0u, data.error());
    EXPECT_EQ(1u, printer.ports().openHandles());

    // The last release closes what was left open, then destroys the stack:
    // the port handle goes with the adapter.
    manager()->doRelease(second);
    EXPECT_EQ(0u, manager()->connectionCount());
    EXPECT_EQ(0u, printer.ports().openHandles());

    Layer* third = manager()->doGet(&host, transportString(1), "bidi");
    EXPECT_NE(Par1ConnectionManager::nullLayer(), third);
    EXPECT_EQ(1u, manager()->connectionCount());
    ASSERT_EQ(0u, third->open());
    Data more(std::string(" and again"));
    third->doWrite(more);
    EXPECT_EQ(0u, more.error());
    EXPECT_EQ(sim::bytes("still there and again"), printer.printer().printData());
    third->close();
    manager()->doRelease(third);
}

TEST(ConnectionManager, TwoHandlesGetTwoStacks) {
    par1test::PrinterConnection printer;
    printer.ports().port(2).attachPrinter();
    par1test::RecordingHost host;
    Layer* one = manager()->doGet(&host, transportString(1), "bidi");
    Layer* two = manager()->doGet(&host, transportString(2), "bidi");
    EXPECT_NE(one, two);
    EXPECT_EQ(2u, manager()->connectionCount());
    manager()->doRelease(one);
    EXPECT_EQ(1u, manager()->connectionCount());
    manager()->doRelease(two);
    EXPECT_EQ(0u, manager()->connectionCount());
}

TEST(ConnectionManager, NoConnectionGivesTheNullLayerAndStoresNothing) {
    par1test::PrinterConnection printer;
    par1test::RecordingHost host;
    struct Case {
        const char* name;
        std::string transport;
        std::string connection;
    };
    const Case cases[] = {
        {"no Handle", transportString(1, false), "bidi"},
        {"unknown connection name", transportString(1), "unidirectional"},
        {"empty transport string", "", "bidi"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        par1test::LogWatch log;
        Layer* layer = manager()->doGet(&host, c.transport, c.connection);
        EXPECT_EQ(Par1ConnectionManager::nullLayer(), layer);
        EXPECT_EQ(0u, manager()->connectionCount());
        EXPECT_EQ(0u, printer.ports().openHandles());
        Data data(std::string("x"));
        layer->doWrite(data);
        EXPECT_EQ(6u, data.error());
        // Releasing it finds nothing to destroy.
        manager()->doRelease(layer);
        EXPECT_EQ(0u, manager()->connectionCount());
        if (c.connection == "bidi") {
            EXPECT_TRUE(log.contains("rc=Unable to extract handle from the transport string"));
        }
    }
}

TEST(ConnectionManager, PacketSizeComesFromTheTransportString) {
    par1test::PrinterConnection printer;
    par1test::RecordingHost host;
    for (uint32_t size : {0u, 1024u}) {
        SCOPED_TRACE(size);
        par1test::LogWatch log;
        Layer* top = manager()->doGet(&host, transportString(1, true, size), "bidi");
        auto* wrap = dynamic_cast<Par1NpaWrapProtocol*>(top);
        ASSERT_NE(nullptr, wrap);
        uint32_t expected = size == 0 ? 4096 : size;
        EXPECT_EQ(expected - 5, wrap->getMaximumPayload());
        EXPECT_TRUE(log.contains("PacketSize=" + std::to_string(expected)));
        manager()->doRelease(top);
    }
}

TEST(ConnectionManager, ConcurrentGetsAndReleasesKeepOneCountedStack) {
    par1test::PrinterConnection printer;
    par1test::RecordingHost host;
    const std::string transport = transportString(1);
    // One holder throughout, so the stack lives while the threads work.
    Layer* held = manager()->doGet(&host, transport, "bidi");
    std::vector<std::thread> threads;
    std::vector<bool> same(4, true);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                Layer* layer = manager()->doGet(&host, transport, "bidi");
                if (layer != held) {
                    same[t] = false;
                }
                manager()->doRelease(layer);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < 4; ++t) {
        EXPECT_TRUE(same[t]) << t;
    }
    EXPECT_EQ(1u, manager()->connectionCount());
    manager()->doRelease(held);
    EXPECT_EQ(0u, manager()->connectionCount());
}

TEST(ConnectionFactories, RouteByNameAndReportAFactoryNotFound) {
    par1test::PrinterConnection printer;
    Par1ConnectionFactoryManager* factories = Par1ConnectionFactoryManager::getInstance();
    ASSERT_NE(nullptr, factories);
    std::string name;
    factories->findConnectionName(name, "", "");
    EXPECT_EQ("bidi", name);
    EXPECT_EQ(nullptr, factories->doMake(nullptr, "none", transportString(1)));

    // A factory of its own: registered under its name, removed once; the
    // second removal is logged.
    ConnectionFactory own;
    own.setName("own");
    factories->addFactory(&own);
    EXPECT_EQ(&own, factories->findFactory("own"));
    factories->removeFactory(&own);
    EXPECT_EQ(nullptr, factories->findFactory("own"));
    par1test::LogWatch log;
    factories->removeFactory(&own);
    EXPECT_TRUE(log.contains("Par1ConnectionFactoryManager::removeFactoryown not found"));
}
