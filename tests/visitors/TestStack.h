// A small connection of test layers that dispatch visitors as the transport's
// layer classes do, and record each visitor's arrival.
#pragma once

#include "protocol/Adapter.h"
#include "protocol/Protocol.h"
#include "visitors/Par1Visitor.h"

#include <string>
#include <vector>

namespace teststack {

using Path = std::vector<std::string>;

// Which of the transport's layer classes a test layer stands in for.
enum class Kind { Par1Wrap, Par1Npa, Par1Pjl, GenericProtocol };

class DispatchingProtocol : public Protocol {
public:
    DispatchingProtocol(const std::string& name, Kind kind, Path& path) : kind_(kind), path_(path) {
        setName(name);
    }

    using Protocol::doAccept;
    void doAccept(Visitor& visitor) override {
        path_.push_back(getName());
        Par1Visitor* par1 = Par1Visitor::fromVisitor(visitor);
        if (par1 == nullptr || kind_ == Kind::GenericProtocol) {
            visitor.doAtProtocol(*this, getLayer(Upper));
            return;
        }
        switch (kind_) {
        case Kind::Par1Wrap:
            par1->doAtParNpaWrapProtocol(*this, getLayer(Upper));
            break;
        case Kind::Par1Npa:
            par1->doAtPar1NpaProtocol(*this, getLayer(Upper));
            break;
        case Kind::Par1Pjl:
            par1->doAtPar1Protocol(*this, getLayer(Upper));
            break;
        case Kind::GenericProtocol:
            break;
        }
    }

private:
    Kind kind_;
    Path& path_;
};

class DispatchingAdapter : public Adapter {
public:
    explicit DispatchingAdapter(Path& path) : path_(path) { setName("adapter"); }

    using Adapter::doAccept;
    void doAccept(Visitor& visitor) override {
        path_.push_back(getName());
        if (Par1Visitor* par1 = Par1Visitor::fromVisitor(visitor)) {
            par1->doAtPar1Adapter(*this, getLayer(Upper));
        } else {
            Adapter::doAccept(visitor);
        }
    }

private:
    Path& path_;
};

// The host's own top layer: it records what reaches it and keeps it.
class HostLayer : public Layer {
public:
    explicit HostLayer(Path& path) : path_(path) { setName("host"); }

    using Layer::doAccept;
    void doAccept(Visitor&) override { path_.push_back(getName()); }

private:
    Path& path_;
};

// host / wrap / npa / pjl / adapter, linked as the connection factory links
// them.
struct Stack {
    Stack()
        : host(path), wrap("wrap", Kind::Par1Wrap, path), npa("npa", Kind::Par1Npa, path),
          pjl("pjl", Kind::Par1Pjl, path), adapter(path) {
        Layer* order[] = {&host, &wrap, &npa, &pjl, &adapter};
        for (int i = 1; i < 5; ++i) {
            order[i]->setLayer(Layer::Upper, order[i - 1]);
            order[i - 1]->setLayer(Layer::Lower, order[i]);
        }
    }

    Path path;
    HostLayer host;
    DispatchingProtocol wrap;
    DispatchingProtocol npa;
    DispatchingProtocol pjl;
    DispatchingAdapter adapter;
};

} // namespace teststack
