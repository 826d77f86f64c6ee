// Where Windows paths live on the host, and errno in Win32 terms.
//
// Drive C: is a host directory chosen by PAR1_DRIVE_C, by default the
// system store's log directory or the user's private store (see
// platform/README.md), created on demand and never open to all users. Drive Z:
// is the Unix root, as Wine shows it. Paths in Windows form are looked up
// without regard to ASCII case, as Windows and Wine do; a path that starts
// with '/' is a Unix path and is used as it is.
#pragma once

#include "platform/win32.h"

#include <string>
#include <sys/types.h>

namespace platform {

// The host directory of drive C:.
std::string driveCRoot();

// The registry's database file: PAR1_REGISTRY, else registry.db in the
// system store or the private one.
std::string registryPath();

// Maps a Windows (or Unix) path to a host path. Answers 0 or the Win32 error
// that the path itself earns (ERROR_PATH_NOT_FOUND for an unknown drive or an
// empty path, ERROR_BAD_NETPATH for a network path).
DWORD toUnixPath(LPCSTR windowsPath, std::string& unixPath);

// A directory of shared state (a store), open and checked.
struct StateDirectory {
    int fd = -1;
    // What new files in it get: 0660 in a group-writable store, else 0600.
    mode_t fileMode = 0600;
    // What new directories in it get.
    mode_t directoryMode = 0700;
    StateDirectory() = default;
    StateDirectory(const StateDirectory&) = delete;
    StateDirectory& operator=(const StateDirectory&) = delete;
    ~StateDirectory();
};

// Opens a store directory, creating it and its missing parents, without ever
// following a symbolic link that a user other than root or the caller could
// have planted. Every directory on the way must be owned by root or the
// caller and writable by no one else (a sticky one, like /tmp, excepted);
// the store itself must be writable by no one but its owner and, for a store
// of root's, its group. Answers 0 or an errno value (EACCES for a refused
// directory, after reporting it with its name).
int openStateDirectory(const std::string& path, StateDirectory& directory);

// Opens a file below an open store directory (relative may hold '/'),
// following no symbolic link and accepting only a regular file with a single
// name. flags as open(2), with O_CREAT making the file with the store's file
// mode. Answers the descriptor or -errno.
int openStateFile(const StateDirectory& directory, const std::string& relative, int flags);

// Writes a line about refused shared state to standard error and the
// system log, once per distinct text in a process.
void reportStateProblem(const std::string& text);

// The Win32 error for an errno value of a file operation.
DWORD win32ErrorFromErrno(int error);

// Whether security attributes grant access to everyone (a null DACL, or an
// access-allowed entry for the world SID): such files on drive C: get the
// store's file mode whatever the umask.
bool grantsEveryone(const SECURITY_ATTRIBUTES* attributes);

} // namespace platform
