#include "platform/linux/host_paths.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <mutex>
#include <pwd.h>
#include <set>
#include <strings.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

// The system store: the registry and drive C: (the log) of root and the
// printing group. A process that may not write there keeps a private store.
const char* const systemRegistryDirectory = "/var/lib/par1";
const char* const systemLogDirectory = "/var/log/par1";

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

namespace {

// Root uses (and makes) the system store; any other process uses it when it
// may write to the existing store directory, as a member of its group.
bool usesSystemStore(const char* directory) {
    return geteuid() == 0 || faccessat(AT_FDCWD, directory, W_OK | X_OK, AT_EACCESS) == 0;
}

// $XDG_STATE_HOME/par1, by default ~/.local/state/par1.
std::string privateStore() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') {
        return withoutTrailingSlashes(state) + "/par1";
    }
    std::string home;
    const char* variable = std::getenv("HOME");
    if (variable != nullptr && variable[0] == '/') {
        home = variable;
    } else {
        std::vector<char> buffer(16384);
        struct passwd entry;
        struct passwd* found = nullptr;
        if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
            found != nullptr && found->pw_dir != nullptr) {
            home = found->pw_dir;
        }
    }
    return withoutTrailingSlashes(home.empty() ? "/" : home) + "/.local/state/par1";
}

std::string configuredOr(const char* variable, const char* systemDirectory,
                         const std::string& systemPath, const std::string& privatePath) {
    const char* configured = std::getenv(variable);
    if (configured != nullptr && *configured != '\0') {
        return withoutTrailingSlashes(configured);
    }
    return usesSystemStore(systemDirectory) ? systemPath : privateStore() + privatePath;
}

} // namespace

std::string driveCRoot() {
    return configuredOr("PAR1_DRIVE_C", systemLogDirectory, systemLogDirectory, "/drive_c");
}

std::string registryPath() {
    return configuredOr("PAR1_REGISTRY", systemRegistryDirectory,
                        std::string(systemRegistryDirectory) + "/registry.db", "/registry.db");
}

DWORD toUnixPath(LPCSTR windowsPath, std::string& unixPath) {
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

StateDirectory::~StateDirectory() {
    if (fd >= 0) {
        close(fd);
    }
}

namespace {

bool isSystemStore(const std::string& directory) {
    return directory == systemRegistryDirectory || directory == systemLogDirectory;
}

bool trustedOwner(uid_t owner) {
    return owner == 0 || owner == geteuid();
}

// Why a directory cannot hold or lead to shared state; empty when it can.
std::string distrust(const struct stat& info, bool store) {
    if (!trustedOwner(info.st_uid)) {
        return "owned by another user";
    }
    if (store) {
        // A store is shared with its group only when root made it so.
        if ((info.st_mode & S_IWOTH) != 0 || ((info.st_mode & S_IWGRP) != 0 && info.st_uid != 0)) {
            return "writable by other users";
        }
    } else if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (info.st_mode & S_ISVTX) == 0) {
        // Others may add names to a sticky directory, never rename ours.
        return "writable by other users";
    }
    return std::string();
}

int refuse(const std::string& where, const std::string& why) {
    reportStateProblem("par1: refusing the state directory " + where + ": " + why);
    return EACCES;
}

// Makes a missing directory: a system store as root:lp 2770 (the printing
// group shares it), anything else private to the caller.
int makeDirectory(int parent, const std::string& name, bool systemStore) {
    mode_t mode = 0700;
    gid_t group = gid_t(-1);
    if (systemStore) {
        std::vector<char> buffer(4096);
        struct group entry;
        struct group* found = nullptr;
        if (getgrnam_r("lp", &entry, buffer.data(), buffer.size(), &found) == 0 &&
            found != nullptr) {
            group = found->gr_gid;
            mode = 02770;
        }
    }
    if (mkdirat(parent, name.c_str(), 0700) != 0) {
        return errno == EEXIST ? 0 : errno;
    }
    int fd = openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    // On the descriptor, never by name: the group first, then the mode
    // (whatever the umask), while only its maker can reach into it.
    int error = 0;
    if ((group != gid_t(-1) && fchown(fd, uid_t(-1), group) != 0) || fchmod(fd, mode) != 0) {
        error = errno;
    }
    close(fd);
    return error;
}

} // namespace

int openStateDirectory(const std::string& path, StateDirectory& directory) {
    const std::string absolute =
        !path.empty() && path[0] == '/' ? path : currentDirectory() + "/" + path;
    std::vector<std::string> pending = splitComponents(absolute.c_str());
    std::reverse(pending.begin(), pending.end()); // next component last
    int fd = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    std::string where = "/";
    int links = 0;
    int error = 0;
    while (!pending.empty() && error == 0) {
        const std::string name = pending.back();
        pending.pop_back();
        const bool last = pending.empty();
        int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT) {
            error = makeDirectory(fd, name, last && isSystemStore(absolute));
            if (error == 0) {
                next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            }
        }
        if (error != 0) {
            break;
        }
        if (next < 0 && (errno == ELOOP || errno == ENOTDIR)) {
            // A symbolic link is followed only when root or the caller made
            // it, in a directory already found safe.
            struct stat link;
            if (fstatat(fd, name.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0 ||
                !S_ISLNK(link.st_mode)) {
                error = ENOTDIR;
                break;
            }
            if (!trustedOwner(link.st_uid)) {
                error = refuse(where + name, "a symbolic link made by another user");
                break;
            }
            std::vector<char> target(4096);
            ssize_t length = readlinkat(fd, name.c_str(), target.data(), target.size() - 1);
            if (length < 0 || ++links > 40) {
                error = length < 0 ? errno : ELOOP;
                break;
            }
            target[size_t(length)] = '\0';
            std::vector<std::string> parts = splitComponents(target.data());
            pending.insert(pending.end(), parts.rbegin(), parts.rend());
            if (target[0] == '/') {
                close(fd);
                fd = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                where = "/";
                if (fd < 0) {
                    return errno;
                }
            }
            continue;
        }
        if (next < 0) {
            error = errno;
            break;
        }
        where += name;
        struct stat info;
        if (fstat(next, &info) != 0) {
            error = errno;
        } else {
            std::string why = distrust(info, last);
            if (!why.empty()) {
                error = refuse(where, why);
            } else if (last) {
                directory.fileMode = (info.st_mode & S_IWGRP) != 0 ? 0660 : 0600;
                directory.directoryMode = (info.st_mode & S_IWGRP) != 0 ? 02770 : 0700;
            }
        }
        close(fd);
        fd = next;
        where += "/";
    }
    if (error != 0) {
        close(fd);
        return error;
    }
    if (directory.fd >= 0) {
        close(directory.fd);
    }
    directory.fd = fd;
    return 0;
}

int openStateFile(const StateDirectory& directory, const std::string& relative, int flags) {
    std::vector<std::string> parts = splitComponents(relative.c_str());
    if (parts.empty()) {
        return -EISDIR;
    }
    int fd = dup(directory.fd);
    for (size_t i = 0; fd >= 0 && i + 1 < parts.size(); ++i) {
        int next = openat(fd, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        close(fd);
        fd = next;
    }
    if (fd < 0) {
        return errno == ELOOP ? -ENOTDIR : -errno;
    }
    int file = openat(fd, parts.back().c_str(), flags | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
                      directory.fileMode);
    int error = errno;
    close(fd);
    if (file < 0) {
        // A symbolic link in place of the file is refused, as for a name
        // that cannot be opened.
        return error == ELOOP ? -EACCES : -error;
    }
    struct stat info;
    if (fstat(file, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink > 1) {
        const bool isDirectory = S_ISDIR(info.st_mode);
        close(file);
        return isDirectory ? -EISDIR : -EACCES;
    }
    return file;
}

void reportStateProblem(const std::string& text) {
    static std::mutex lock;
    static std::set<std::string>* reported = new std::set<std::string>;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!reported->insert(text).second) {
            return;
        }
    }
    std::fprintf(stderr, "%s\n", text.c_str());
    syslog(LOG_AUTH | LOG_WARNING, "%s", text.c_str());
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
