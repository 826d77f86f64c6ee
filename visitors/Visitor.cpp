#include "visitors/Visitor.h"

#include <utility>

Visitor::Visitor() : error_(0), lastLayer_(nullptr), data_(nullptr), tag_(0) {}

Visitor::~Visitor() = default;

void Visitor::doAtProtocol(Layer& layer, Layer* upper) {
    travelOn(layer, upper);
}

void Visitor::doAtAdapter(Layer&, Layer*) {}

void Visitor::doAtFilter(Layer& layer, Layer* upper) {
    travelOn(layer, upper);
}

void Visitor::doAtLayer(Layer& layer, Layer* upper) {
    travelOn(layer, upper);
}

void Visitor::doAtHost(Layer&, Layer*) {}

void Visitor::setLastLayer(Layer* layer) {
    lastLayer_ = layer;
}

void Visitor::setData(Data* data) {
    data_ = data;
}

Data* Visitor::getData() const {
    return data_;
}

Layer* Visitor::getLastLayer() const {
    return lastLayer_;
}

void Visitor::setTag(uint32_t value) {
    tag_ = value;
}

uint32_t Visitor::getTag() const {
    return tag_;
}

void Visitor::setError(uint32_t error) {
    error_ = error;
}

uint32_t Visitor::error() const {
    return error_;
}

void Visitor::setName(std::string name) {
    name_ = std::move(name);
}

std::string Visitor::getName() const {
    return name_;
}

void Visitor::travelOn(Layer& layer, Layer* upper) {
    // Coming from the upper neighbour means travelling down; from anywhere
    // else (below, or a sender that marked nothing) it goes up.
    Layer* const previous = lastLayer_;
    lastLayer_ = &layer;
    if (previous == upper) {
        layer.passDown(*this);
    } else {
        layer.passUp(*this);
    }
}
