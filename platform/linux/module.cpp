// Module identity and system version. Paths are given in the Windows form
// Wine shows for Unix files: drive Z: and backslashes.
#include "platform/win32.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <map>
#include <mutex>
#include <string>
#include <unistd.h>

namespace {

std::string modulePath(HMODULE module) {
    if (module == nullptr) {
        char buffer[PATH_MAX];
        ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
    }
    Dl_info info{};
    if (dladdr(module, &info) == 0 || info.dli_fname == nullptr ||
        info.dli_fbase != static_cast<void*>(module)) {
        return std::string();
    }
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved) == nullptr) {
        return info.dli_fname;
    }
    return resolved;
}

} // namespace

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
    std::string path = modulePath(module);
    if (path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    std::string windowsPath = "Z:" + path;
    for (char& c : windowsPath) {
        if (c == '/') {
            c = '\\';
        }
    }
    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    // As Windows: a short buffer receives a truncated, terminated path, the
    // result is the buffer size and the error ERROR_INSUFFICIENT_BUFFER.
    if (windowsPath.size() >= size) {
        std::memcpy(fileName, windowsPath.data(), size - 1);
        fileName[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(fileName, windowsPath.c_str(), windowsPath.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(windowsPath.size());
}

BOOL DisableThreadLibraryCalls(HMODULE module) {
    // The Linux build never sends thread notifications.
    if (module == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
    if (info == nullptr || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) &&
                            info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXA))) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    DWORD size = info->dwOSVersionInfoSize;
    std::memset(reinterpret_cast<char*>(info) + sizeof(DWORD), 0, size - sizeof(DWORD));
    info->dwMajorVersion = 10;
    info->dwMinorVersion = 0;
    info->dwBuildNumber = 19045;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    if (size == sizeof(OSVERSIONINFOEXA)) {
        reinterpret_cast<LPOSVERSIONINFOEXA>(info)->wProductType = 1; // workstation
    }
    return TRUE;
}

LPSTR lstrcpynA(LPSTR destination, LPCSTR source, int maxLength) {
    if (destination == nullptr || source == nullptr || maxLength <= 0) {
        return destination;
    }
    int i = 0;
    for (; i < maxLength - 1 && source[i] != '\0'; ++i) {
        destination[i] = source[i];
    }
    destination[i] = '\0';
    return destination;
}

namespace {

struct LoadedLibraries {
    std::mutex lock;
    struct Entry {
        void* handle; // one dlopen reference, held while count > 0
        unsigned count;
    };
    std::map<HMODULE, Entry> handles; // by base address
};

LoadedLibraries& loadedLibraries() {
    static LoadedLibraries* instance = new LoadedLibraries;
    return *instance;
}

std::string programDirectory() {
    std::string path = modulePath(nullptr);
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

} // namespace

HMODULE LoadLibraryA(LPCSTR fileName) {
    if (fileName == nullptr || *fileName == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string name = fileName;
    if (name.find('/') == std::string::npos) {
        name = programDirectory() + "/" + name;
    }
    void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        handle = dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    }
    if (handle == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) {
        dlclose(handle);
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    auto module = reinterpret_cast<HMODULE>(map->l_addr);
    LoadedLibraries& loaded = loadedLibraries();
    std::lock_guard<std::mutex> guard(loaded.lock);
    auto [it, inserted] = loaded.handles.emplace(module, LoadedLibraries::Entry{handle, 0});
    if (!inserted) {
        dlclose(handle); // the entry already holds a reference
    }
    ++it->second.count;
    return module;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
    void* handle = nullptr;
    {
        LoadedLibraries& loaded = loadedLibraries();
        std::lock_guard<std::mutex> guard(loaded.lock);
        auto it = loaded.handles.find(module);
        if (it != loaded.handles.end()) {
            handle = it->second.handle;
        }
    }
    if (handle == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    void* symbol = dlsym(handle, procName);
    if (symbol == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE module) {
    void* handle = nullptr;
    {
        LoadedLibraries& loaded = loadedLibraries();
        std::lock_guard<std::mutex> guard(loaded.lock);
        auto it = loaded.handles.find(module);
        if (it == loaded.handles.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (--it->second.count > 0) {
            return TRUE;
        }
        handle = it->second.handle;
        loaded.handles.erase(it);
    }
    return dlclose(handle) == 0 ? TRUE : FALSE;
}

namespace platform {

void setStandardInputBinary() {}

} // namespace platform
