// The transport as a host holds it: the module loaded from beside the program
// and initialised, its eight exports in one table, and the virtual printer
// when asked for (then the exports are those of the module's copy linked in,
// see LinkedModule.h).
#pragma once

#include "HostFailure.h"
#include "LinkedModule.h"
#include "TransportTable.h"

#include "platform/win32.h"

#include <cstdint>
#include <iostream>
#include <memory>
#include <string>

// Loads the module (PAR1_MODULE_FILE) as a host does; a Failure (ExitModule)
// when it cannot be loaded.
HMODULE loadModule();

// The export of that name, found with GetProcAddress; a Failure (ExitModule)
// when the module lacks it.
template <typename Function> void resolve(HMODULE module, const char* name, Function& function) {
    FARPROC address = GetProcAddress(module, name);
    if (address == nullptr) {
        fail(ExitModule, std::string("the module lacks the export ") + name, GetLastError(),
             "rebuild the module; it must export the eight transport functions");
    }
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

// The loaded module, initialised, and the virtual printer when asked for.
class Host {
public:
    explicit Host(const VirtualOptions& options) : options_(options) {
        module_ = loadModule();
        if (options_.enabled) {
            linked_ = std::make_unique<LinkedModule>(module_, options_);
            exports_ = linked_->exports();
        } else {
            resolve(module_, "TransportInitialize", exports_.initialize);
            resolve(module_, "TransportUninitialize", exports_.uninitialize);
            resolve(module_, "TransportGetName", exports_.getName);
            resolve(module_, "TransportGetConnectionManager", exports_.getConnectionManager);
            resolve(module_, "TransportGetDiscoverer", exports_.getDiscoverer);
            resolve(module_, "TransportGetVisitorManager", exports_.getVisitorManager);
            resolve(module_, "TransportInstall", exports_.install);
            resolve(module_, "TransportUninstall", exports_.uninstall);
        }
        uint32_t result = exports_.initialize();
        if (result != 0) {
            fail(ExitModule, "TransportInitialize failed", result,
                 "check the registry store and the log file's directory");
        }
        initialised_ = true;
    }

    ~Host() {
        if (initialised_) {
            exports_.uninitialize();
        }
        saveOutput();
        linked_.reset();
        // The library stays loaded until the process ends: the linked-in copy
        // holds its module handle.
    }

    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    const TransportTable& exports() const { return exports_; }
    // The virtual printer's count of the print packets it took in; false
    // when there is none (a real port tells a host nothing of the kind).
    bool printPacketsReceived(uint64_t& count) const {
        return linked_ != nullptr && linked_->printPacketsReceived(count);
    }
    void reservePrintData(uint64_t bytes) {
        if (linked_ != nullptr) {
            linked_->reservePrintData(bytes);
        }
    }

    // Saves what the virtual printer received to --virtual-output, once;
    // empty, or why it could not be saved.
    std::string saveOutput() {
        if (linked_ == nullptr || options_.output.empty() || saved_) {
            return "";
        }
        saved_ = true;
        std::string error = linked_->saveReceived(options_.output);
        if (!error.empty()) {
            std::cerr << "par1: cannot write " << options_.output << ": " << error << "\n";
        }
        return error;
    }

private:
    VirtualOptions options_;
    HMODULE module_ = nullptr;
    TransportTable exports_{};
    bool initialised_ = false;
    std::unique_ptr<LinkedModule> linked_;
    bool saved_ = false;
};
