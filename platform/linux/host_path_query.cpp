#include "platform/linux/host_paths.h"

#include <cstring>

namespace platform {

DWORD hostPath(LPCSTR windowsPath, LPSTR buffer, DWORD size) {
    std::string path;
    if (windowsPath == nullptr || toUnixPath(windowsPath, path) != 0 || path.size() >= size) {
        return 0;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

} // namespace platform
