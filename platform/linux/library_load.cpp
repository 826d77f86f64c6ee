// Calls the library entry when the shared object is loaded and unloaded, as
// the Windows loader calls DllMain. The module handle is the object's base
// address, which GetModuleFileNameA resolves back to its path.
#include "platform/win32.h"

#include <dlfcn.h>

namespace {

HINSTANCE ownModule() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ownModule), &info) == 0) {
        return nullptr;
    }
    return static_cast<HINSTANCE>(info.dli_fbase);
}

__attribute__((constructor)) void onLoad() {
    DllMain(ownModule(), DLL_PROCESS_ATTACH, nullptr);
}

__attribute__((destructor)) void onUnload() {
    DllMain(ownModule(), DLL_PROCESS_DETACH, nullptr);
}

} // namespace
