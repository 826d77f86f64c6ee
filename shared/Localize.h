// Where the module runs from: its own file name and the local id derived from
// it (the first four characters of the file name, lower case), from which the
// log file name and the registry paths are built. One instance per process,
// made at start-up and kept until the library is unloaded.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <string>

class Localize {
public:
    // Creates the instance once; later calls do nothing. Throws
    // Win32Exception when the module's file name cannot be read.
    static void createInstance(HMODULE module);
    // Throws the text "You must call Localize::createInstance() before calling
    // getInstance()" (a const char*) when no instance exists.
    static Localize* getInstance();

    virtual ~Localize();
    Localize(const Localize&) = delete;
    Localize& operator=(const Localize&) = delete;

    std::string getLocalId() const;
    std::string getModuleFileName() const;

    // Registry paths derived from the local id. They belong to the settings
    // store, which defines them with its registry layout.
    std::string getBrandRoot() const;
    std::string getProductPath() const;
    std::string getStorePath(uint32_t kind) const;

    // The local id of a loaded module into localId (at least 5 bytes); false
    // when the module's path cannot be read (or does not fit 260 characters)
    // or no buffer is given.
    static bool getModuleLocalId(HMODULE module, char* localId);
    // The local id of a module path: A to Z lowered, the part after the last
    // backslash, its first four characters.
    static std::string localIdFromPath(const std::string& path);

private:
    explicit Localize(HMODULE module);

    HMODULE module_;
    std::string localId_;
    std::string moduleFileName_;
};
