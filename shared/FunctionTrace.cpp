#include "shared/FunctionTrace.h"

#include "shared/Exception.h"

#include <exception>

FunctionTrace::FunctionTrace(BasicLogger* logger, const LogCategory& category,
                             const std::string& name, uint32_t level, bool active)
    : category_(&category), enabled_(false), logger_(logger), level_(level) {
    if (!active || logger_ == nullptr) {
        return;
    }
    enabled_ = logger_->isEnabled(*category_, level_);
    if (enabled_) {
        name_ = name;
        logger_->log(*category_, level_, "+" + name_);
        logger_->enterFunction();
    }
}

FunctionTrace::~FunctionTrace() {
    if (!enabled_) {
        return;
    }
    try {
        std::string line = "-" + name_;
        if (!returnText_.empty()) {
            line += " rc=" + returnText_;
        }
        logger_->leaveFunction();
        logger_->log(*category_, level_, line);
    } catch (const Exception&) {
        // The scope is ending anyway: a lost exit line is no reason to fail.
    } catch (const std::exception&) {
    }
}

void FunctionTrace::log(const std::string& text) {
    if (logger_->isEnabled(*category_, LevelDetail)) {
        logger_->log(*category_, level_, name_ + text);
    }
}

void FunctionTrace::setReturnCode(const std::string& text) {
    returnText_ = text;
}

void FunctionTrace::setReturnCode(uint32_t number) {
    returnText_ = std::to_string(number);
}
