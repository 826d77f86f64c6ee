#include "entry/ModuleHandle.h"

#include <atomic>

namespace {
std::atomic<HMODULE> moduleHandle{nullptr};
}

HMODULE getModuleHandle() {
    return moduleHandle.load();
}

void setModuleHandle(HMODULE module) {
    moduleHandle.store(module);
}

// Runs under the loader lock: it only records the handle and asks for no
// thread notifications; it creates nothing and waits on nothing.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        setModuleHandle(instance);
    }
    return TRUE;
}
