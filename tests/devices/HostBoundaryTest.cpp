// What a host may hand the module by mistake, through the objects the exports
// give out: every such call answers with an error (or is ignored where the
// operation answers nothing) and leaves the module working.
#include "devices/Discoverer.h"
#include "devices/Observer.h"
#include "devices/Par1ConnectionManager.h"
#include "support/PrinterConnection.h"
#include "support/TransportEnvironment.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const bool environment = par1test::useTransportEnvironment();

using par1test::transportString;
using namespace std::string_literals;

Par1ConnectionManager* manager() {
    return static_cast<Par1ConnectionManager*>(TransportGetConnectionManager());
}

class CountingObserver : public Observer {
public:
    using Observer::update;
    void update(const std::string& text) override { seen.push_back(text); }
    std::vector<std::string> seen;
};

} // namespace

TEST(HostBoundary, TransportStringsWithoutAUsableHandleGiveTheNullLayer) {
    par1test::PrinterConnection printer;
    const std::string huge(4 * 1024 * 1024, '<');
    struct Case {
        const char* name;
        std::string text;
    };
    const Case cases[] = {
        {"empty", ""},
        {"not a transport string", "LPT1:"},
        {"opening tag only", "<Handle>4097"},
        {"closing tag before the opening one", "</Handle>4097<Handle>"},
        {"a name that only begins with Handle", "<HandleX>4097</HandleX>"},
        {"huge and without elements", huge},
        {"huge value left open", "<Handle>" + huge},
        {"zero bytes inside", "<Hand\0le>4097</Hand\0le>"s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        par1test::RecordingHost host;
        Layer* layer = manager()->doGet(&host, c.text, "bidi");
        ASSERT_NE(nullptr, layer);
        EXPECT_EQ(Par1ConnectionManager::nullLayer(), layer);
        EXPECT_EQ(6u, layer->open());
        Data data(std::string("lost"));
        layer->doWrite(data);
        EXPECT_EQ(6u, data.error());
        manager()->doRelease(layer);
        EXPECT_EQ(0u, manager()->connectionCount());
    }
    EXPECT_TRUE(printer.printer().printData().empty());
}

TEST(HostBoundary, UnknownConnectionNamesGiveTheNullLayer) {
    par1test::PrinterConnection printer;
    par1test::RecordingHost host;
    for (const std::string& name : {""s, "BIDI"s, "bidi "s, std::string(100000, 'b')}) {
        SCOPED_TRACE(name.substr(0, 8));
        EXPECT_EQ(Par1ConnectionManager::nullLayer(),
                  manager()->doGet(&host, transportString(1), name));
    }
    EXPECT_EQ(0u, manager()->connectionCount());
}

TEST(HostBoundary, AConnectionWithoutAPortReportsItsWritesAsFailed) {
    par1test::PrinterConnection printer;
    par1test::RecordingHost host;
    std::string text;
    TransportProperties().setLong(text, PropertyRecords::Handle, 4097);
    Layer* top = manager()->doGet(&host, text, "bidi");
    ASSERT_NE(Par1ConnectionManager::nullLayer(), top);
    // The port's failure shows in the writes, not in the open.
    top->open();
    Data data(std::string("nowhere"));
    top->doWrite(data);
    EXPECT_NE(0u, data.error());
    EXPECT_TRUE(printer.printer().printData().empty());
    // The last release closes what is still open and ends its read thread.
    manager()->doRelease(top);
    EXPECT_EQ(0u, manager()->connectionCount());
}

TEST(HostBoundary, ReleasingWhatTheManagerNeverGaveOutChangesNothing) {
    par1test::PrinterConnection printer;
    ASSERT_TRUE(printer.connect());
    Layer* connection = printer.connection();
    const uint32_t holders = connection->addRef() - 1;
    connection->release();

    par1test::RecordingHost foreign;
    foreign.addRef();
    manager()->doRelease(nullptr);
    manager()->doRelease(Par1ConnectionManager::nullLayer());
    manager()->doRelease(&foreign);
    // The host's own layer, linked above the connection, is not the
    // connection either.
    manager()->doRelease(connection->getLayer(Layer::Upper));
    // Nor is a layer inside the stack.
    manager()->doRelease(connection->getLayer(Layer::Lower));

    EXPECT_EQ(2u, foreign.addRef()) << "the foreign layer's count was changed";
    EXPECT_EQ(1u, manager()->connectionCount());
    EXPECT_EQ(holders + 1, connection->addRef());
    connection->release();
    Data data(std::string("still printing"));
    printer.write(data);
    EXPECT_EQ(0u, data.error());
    EXPECT_EQ(sim::bytes("still printing"), printer.printer().printData());
}

TEST(HostBoundary, NullObserversAreIgnoredByTheDiscoverer) {
    par1test::PrinterConnection printer;
    Discoverer* discoverer = TransportGetDiscoverer();
    ASSERT_NE(nullptr, discoverer);
    CountingObserver observer;
    discoverer->attach(nullptr);
    discoverer->detach(nullptr);
    discoverer->detach(&observer); // never attached
    discoverer->attach(&observer);
    discoverer->attach(nullptr);
    observer.attachTo(nullptr);
    EXPECT_EQ(0u, discoverer->discover(""));
    EXPECT_EQ(1u, observer.seen.size()) << "one printer, one observer, one update";
    discoverer->detach(&observer);
    discoverer->detach(&observer);
    EXPECT_EQ(0u, discoverer->discover(""));
    EXPECT_EQ(1u, observer.seen.size());
}
