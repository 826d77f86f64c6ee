#include "visitors/Par1Visitor.h"

Par1Visitor::Par1Visitor() {
    setError(0);
}

Par1Visitor::~Par1Visitor() = default;

void Par1Visitor::doAtPar1Protocol(Layer& layer, Layer* upper) {
    travelOn(layer, upper);
}

void Par1Visitor::doAtPar1Adapter(Layer& layer, Layer* upper) {
    doAtAdapter(layer, upper);
}

void Par1Visitor::doAtPar1NpaProtocol(Layer& layer, Layer* upper) {
    travelOn(layer, upper);
}

void Par1Visitor::doAtParNpaWrapProtocol(Layer& layer, Layer* upper) {
    travelOn(layer, upper);
}

Visitor* Par1Visitor::clone() const {
    return nullptr;
}

Par1Visitor* Par1Visitor::fromVisitor(Visitor& visitor) {
    return dynamic_cast<Par1Visitor*>(&visitor);
}
