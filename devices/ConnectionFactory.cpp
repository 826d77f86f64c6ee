#include "devices/ConnectionFactory.h"

#include "protocol/NullLayer.h"

namespace {

NullLayer& factoryNullLayer() {
    static NullLayer layer;
    return layer;
}

} // namespace

ConnectionFactory::ConnectionFactory() : name_("default") {}

ConnectionFactory::~ConnectionFactory() = default;

Layer* ConnectionFactory::doMake(Layer*, const std::string&, const std::string&) {
    return &factoryNullLayer();
}

void ConnectionFactory::doUnMake(Layer*) {}

void ConnectionFactory::findConnectionName(std::string& name, const std::string&,
                                           const std::string&) {
    name.clear();
}

void ConnectionFactory::getName(std::string& name) {
    name = name_;
}

void ConnectionFactory::setName(const std::string& name) {
    name_ = name;
}
