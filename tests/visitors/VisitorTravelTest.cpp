#include "TestStack.h"

#include "protocol/Adapter.h"
#include "protocol/Protocol.h"
#include "visitors/Par1NullVisitor.h"
#include "visitors/Par1Visitor.h"
#include "visitors/UnsupportedVisitor.h"

#include <gtest/gtest.h>

#include <string>

using teststack::Path;
using teststack::Stack;

namespace {

Layer* layerNamed(Stack& stack, const std::string& name) {
    for (Layer* layer : {static_cast<Layer*>(&stack.host), static_cast<Layer*>(&stack.wrap),
                         static_cast<Layer*>(&stack.npa), static_cast<Layer*>(&stack.pjl),
                         static_cast<Layer*>(&stack.adapter)}) {
        if (layer->getName() == name) {
            return layer;
        }
    }
    return nullptr;
}

std::string joined(const Path& path) {
    std::string text;
    for (const std::string& step : path) {
        text += (text.empty() ? "" : " ") + step;
    }
    return text;
}

// A visitor of the transport's kind that acts nowhere.
class PassingVisitor : public Par1Visitor {};

// Acts at the NPA layer and ends there, as the NPA data visitor does.
class NpaActingVisitor : public Par1Visitor {
public:
    void doAtPar1NpaProtocol(Layer& layer, Layer* upper) override {
        actedAt = &layer;
        upperSeen = upper;
        setError(0);
    }
    Layer* actedAt = nullptr;
    Layer* upperSeen = nullptr;
};

// A visitor of the generic kind only, such as a host might write.
class GenericVisitor : public Visitor {};

} // namespace

TEST(VisitorTravel, FollowsTheDirectionItCameFrom) {
    struct Case {
        const char* start;
        const char* lastLayer; // nullptr: a fresh visitor
        const char* path;
    };
    const Case cases[] = {
        {"wrap", "host", "wrap npa pjl adapter"}, // the host sends it down
        {"wrap", nullptr, "wrap host"},           // fresh: goes up to the host
        {"pjl", "npa", "pjl adapter"},            // a layer sends it to its lower neighbour
        {"pjl", "adapter", "pjl npa wrap host"},  // from below: up
        {"npa", "pjl", "npa wrap host"},
        {"npa", "wrap", "npa pjl adapter"},
        {"adapter", "pjl", "adapter"}, // ends at the adapter
    };
    for (const Case& c : cases) {
        Stack stack;
        PassingVisitor visitor;
        visitor.setError(42);
        visitor.setLastLayer(c.lastLayer ? layerNamed(stack, c.lastLayer) : nullptr);
        layerNamed(stack, c.start)->doAccept(visitor);
        EXPECT_EQ(c.path, joined(stack.path))
            << "start " << c.start << ", last layer " << (c.lastLayer ? c.lastLayer : "none");
        EXPECT_EQ(42u, visitor.error()) << "a visitor that acts nowhere keeps its error";
    }
}

TEST(VisitorTravel, LastLayerIsWhereItWasLastPassedOn) {
    Stack stack;
    PassingVisitor down;
    down.setLastLayer(&stack.host);
    stack.wrap.doAccept(down);
    EXPECT_EQ(&stack.pjl, down.getLastLayer()) << "the adapter ends the travel without moving on";

    PassingVisitor up;
    stack.wrap.doAccept(up);
    EXPECT_EQ(&stack.wrap, up.getLastLayer());
}

TEST(VisitorTravel, WithoutAnUpperNeighbourAnUnmarkedVisitorGoesDown) {
    Stack stack;
    stack.wrap.setLayer(Layer::Upper, nullptr);
    PassingVisitor visitor;
    stack.wrap.doAccept(visitor);
    EXPECT_EQ("wrap npa pjl adapter", joined(stack.path));
}

TEST(VisitorTravel, EndsWhereTheVisitorActsAndPassesTheCallersUpperNeighbour) {
    Stack stack;
    NpaActingVisitor visitor;
    visitor.setError(5);
    visitor.setLastLayer(&stack.host);
    stack.wrap.doAccept(visitor);
    EXPECT_EQ("wrap npa", joined(stack.path));
    EXPECT_EQ(&stack.npa, visitor.actedAt);
    EXPECT_EQ(&stack.wrap, visitor.upperSeen);
    EXPECT_EQ(0u, visitor.error());
}

TEST(Par1NullVisitor, PassesTheWrapLayerAndStopsWithErrorOneAtTheNextLayer) {
    struct Case {
        const char* start;
        const char* lastLayer;
        const char* path;
    };
    const Case cases[] = {
        {"wrap", "host", "wrap npa"},
        {"pjl", "npa", "pjl"},
        {"adapter", "pjl", "adapter"},
        {"wrap", nullptr, "wrap host"}, // travelling up it reaches the host's layer
    };
    for (const Case& c : cases) {
        Stack stack;
        Par1NullVisitor visitor;
        EXPECT_EQ(1u, visitor.error());
        visitor.setLastLayer(c.lastLayer ? layerNamed(stack, c.lastLayer) : nullptr);
        layerNamed(stack, c.start)->doAccept(visitor);
        EXPECT_EQ(c.path, joined(stack.path)) << "start " << c.start;
        EXPECT_EQ(1u, visitor.error());
    }
}

TEST(GenericVisitors, TravelGenericLayersAndStopAtTheAdapter) {
    Path path;
    teststack::DispatchingProtocol top("top", teststack::Kind::GenericProtocol, path);
    teststack::DispatchingProtocol middle("middle", teststack::Kind::GenericProtocol, path);
    teststack::DispatchingAdapter bottom(path);
    top.setLayer(Layer::Lower, &middle);
    middle.setLayer(Layer::Upper, &top);
    middle.setLayer(Layer::Lower, &bottom);
    bottom.setLayer(Layer::Upper, &middle);

    GenericVisitor generic;
    top.doAccept(generic);
    EXPECT_EQ("top middle adapter", joined(path));
    EXPECT_EQ(0u, generic.error());

    // The transport's layers treat a visitor of another kind as their generic
    // base would.
    path.clear();
    Stack stack;
    GenericVisitor atTransport;
    atTransport.setLastLayer(&stack.host);
    stack.wrap.doAccept(atTransport);
    EXPECT_EQ("wrap npa pjl adapter", joined(stack.path));
}

TEST(UnsupportedVisitor, RefusesAtTheFirstGenericLayer) {
    Path path;
    teststack::DispatchingProtocol protocol("protocol", teststack::Kind::GenericProtocol, path);
    teststack::DispatchingAdapter adapter(path);
    protocol.setLayer(Layer::Lower, &adapter);
    adapter.setLayer(Layer::Upper, &protocol);

    UnsupportedVisitor atProtocol;
    protocol.doAccept(atProtocol);
    EXPECT_EQ(1u, atProtocol.error());
    EXPECT_EQ("protocol", joined(path));

    UnsupportedVisitor atAdapter;
    adapter.doAccept(atAdapter);
    EXPECT_EQ(1u, atAdapter.error());

    UnsupportedVisitor atFilter;
    atFilter.doAtFilter(protocol, nullptr);
    EXPECT_EQ(1u, atFilter.error());
}

TEST(Par1Visitor, StartsWithoutErrorOrNameAndIsNotMadeByName) {
    PassingVisitor visitor;
    EXPECT_EQ(0u, visitor.error());
    EXPECT_EQ("", visitor.getName());
    EXPECT_EQ(nullptr, visitor.getData());
    EXPECT_EQ(nullptr, visitor.getLastLayer());
    EXPECT_EQ(nullptr, visitor.clone());
    GenericVisitor generic;
    EXPECT_EQ(nullptr, Par1Visitor::fromVisitor(generic));
    EXPECT_EQ(&visitor, Par1Visitor::fromVisitor(visitor));
}
