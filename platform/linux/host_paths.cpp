#include "platform/linux/host_paths.h"

#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

const char* const defaultDriveC = "/var/tmp/par1/drive_c";

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

std::vector<std::string> splitComponents(const char* path) {
    std::vector<std::string> parts;
    std::string part;
    for (const char* p = path;; ++p) {
        if (*p == '\0' || isSeparator(*p)) {
            // Windows resolves "." and ".." by the text of the path alone, and
            // ".." at the root stays at the root.
            if (part == "..") {
                if (!parts.empty()) {
                    parts.pop_back();
                }
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            part.clear();
            if (*p == '\0') {
                break;
            }
        } else {
            part += *p;
        }
    }
    return parts;
}

// Finds each component below base, taking the exact spelling when it exists
// and otherwise the first entry that matches without regard to ASCII case.
// Components past the first one that does not exist keep their spelling.
std::string resolveCase(const std::string& base, const std::vector<std::string>& parts) {
    std::string current = base;
    bool searching = true;
    for (const std::string& part : parts) {
        std::string exact = current + "/" + part;
        struct stat info;
        if (!searching || lstat(exact.c_str(), &info) == 0) {
            current = exact;
            continue;
        }
        std::string found;
        if (DIR* dir = opendir(current.empty() ? "/" : current.c_str())) {
            while (dirent* entry = readdir(dir)) {
                if (strcasecmp(entry->d_name, part.c_str()) == 0) {
                    found = entry->d_name;
                    break;
                }
            }
            closedir(dir);
        }
        if (found.empty()) {
            searching = false;
            current = exact;
        } else {
            current += "/" + found;
        }
    }
    return current.empty() ? std::string("/") : current;
}

std::string currentDirectory() {
    std::vector<char> buffer(4096);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            return "/";
        }
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

} // namespace

std::string driveCRoot() {
    const char* configured = std::getenv("PAR1_DRIVE_C");
    return withoutTrailingSlashes(configured != nullptr && *configured != '\0' ? configured
                                                                               : defaultDriveC);
}

DWORD toUnixPath(LPCSTR windowsPath, std::string& unixPath, bool createDriveRoot) {
    if (windowsPath == nullptr || *windowsPath == '\0') {
        return ERROR_PATH_NOT_FOUND;
    }
    if (windowsPath[0] == '/' && windowsPath[1] != '/') {
        unixPath = windowsPath;
        return 0;
    }
    const char* path = windowsPath;
    if (std::strncmp(path, "\\\\?\\", 4) == 0) {
        path += 4;
    }
    std::string base;
    const bool hasDrive = std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
    if (hasDrive) {
        char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
        path += 2;
        if (drive == 'C') {
            base = driveCRoot();
            if (createDriveRoot) {
                makeSharedDirectories(base);
            }
        } else if (drive != 'Z') {
            return ERROR_PATH_NOT_FOUND;
        }
    } else if (isSeparator(path[0]) && isSeparator(path[1])) {
        return ERROR_BAD_NETPATH;
    } else if (!isSeparator(path[0])) {
        base = withoutTrailingSlashes(currentDirectory());
        if (base == "/") {
            base.clear();
        }
    }
    // A rooted path without a drive is on the current drive, which for a
    // process started from the host is Z:.
    unixPath = resolveCase(base, splitComponents(path));
    return 0;
}

int makeSharedDirectories(const std::string& directory) {
    std::string prefix;
    size_t position = 0;
    while (position <= directory.size()) {
        size_t next = directory.find('/', position);
        if (next == std::string::npos) {
            next = directory.size();
        }
        prefix = directory.substr(0, next);
        position = next + 1;
        if (prefix.empty()) {
            continue;
        }
        if (mkdir(prefix.c_str(), 0777) == 0) {
            // Only directories made here are opened to all; existing ones are
            // left as their owner set them.
            chmod(prefix.c_str(), 0777);
        } else if (errno != EEXIST) {
            return errno;
        }
    }
    struct stat info;
    if (stat(directory.c_str(), &info) != 0) {
        return errno;
    }
    return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

DWORD win32ErrorFromErrno(int error) {
    switch (error) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case EROFS:
        return ERROR_WRITE_PROTECT;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case EBUSY:
    case ETXTBSY:
        return ERROR_SHARING_VIOLATION;
    case ENXIO:
    case ENODEV:
        return ERROR_DEVICE_NOT_CONNECTED;
    case EIO:
        return ERROR_IO_DEVICE;
    case EPIPE:
        return ERROR_BROKEN_PIPE;
    case EAGAIN:
        return ERROR_NOT_READY;
    case ETIMEDOUT:
        return ERROR_SEM_TIMEOUT;
    default:
        return ERROR_GEN_FAILURE;
    }
}

namespace {

const DWORD daclPresentFlag = 0x0004;  // SE_DACL_PRESENT
const DWORD selfRelativeFlag = 0x8000; // SE_SELF_RELATIVE

bool isWorldSid(const BYTE* sid, size_t available) {
    static const BYTE world[12] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0}; // S-1-1-0
    return available >= sizeof world && std::memcmp(sid, world, sizeof world) == 0;
}

bool aclGrantsWorld(const ACL* acl) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(acl);
    size_t offset = sizeof(ACL);
    for (WORD i = 0; i < acl->AceCount; ++i) {
        if (offset + sizeof(ACE_HEADER) > acl->AclSize) {
            return false;
        }
        ACE_HEADER header;
        std::memcpy(&header, bytes + offset, sizeof header);
        if (header.AceSize < sizeof(ACE_HEADER) || offset + header.AceSize > acl->AclSize) {
            return false;
        }
        const size_t sidOffset = offsetof(ACCESS_ALLOWED_ACE, SidStart);
        if (header.AceType == ACCESS_ALLOWED_ACE_TYPE && header.AceSize > sidOffset &&
            isWorldSid(bytes + offset + sidOffset, header.AceSize - sidOffset)) {
            return true;
        }
        offset += header.AceSize;
    }
    return false;
}

} // namespace

bool grantsEveryone(const SECURITY_ATTRIBUTES* attributes) {
    if (attributes == nullptr || attributes->lpSecurityDescriptor == nullptr) {
        return false;
    }
    const auto* descriptor =
        static_cast<const SECURITY_DESCRIPTOR*>(attributes->lpSecurityDescriptor);
    const ACL* dacl = nullptr;
    if (descriptor->Control & selfRelativeFlag) {
        // Offsets from the start of the descriptor in place of pointers:
        // owner, group, SACL, DACL after the four header bytes.
        DWORD offsets[4];
        std::memcpy(offsets, reinterpret_cast<const BYTE*>(descriptor) + 4, sizeof offsets);
        if (offsets[3] != 0) {
            dacl = reinterpret_cast<const ACL*>(reinterpret_cast<const BYTE*>(descriptor) +
                                                offsets[3]);
        }
    } else {
        dacl = descriptor->Dacl;
    }
    if (dacl == nullptr) {
        // A present but null DACL lets everyone in.
        return (descriptor->Control & daclPresentFlag) != 0;
    }
    return aclGrantsWorld(dacl);
}

} // namespace platform
