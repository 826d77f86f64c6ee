#include "Host.h"

HMODULE loadModule() {
    HMODULE module = LoadLibraryA(PAR1_MODULE_FILE);
    if (module == nullptr) {
        fail(ExitModule, std::string("cannot load ") + PAR1_MODULE_FILE, GetLastError(),
             "the module must lie beside par1");
    }
    return module;
}
