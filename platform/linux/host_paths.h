// Where Windows paths live on the host, and errno in Win32 terms.
//
// Drive C: is a host directory chosen by PAR1_DRIVE_C (default
// /var/tmp/par1/drive_c), created on demand and open to all users. Drive Z:
// is the Unix root, as Wine shows it. Paths in Windows form are looked up
// without regard to ASCII case, as Windows and Wine do; a path that starts
// with '/' is a Unix path and is used as it is.
#pragma once

#include "platform/win32.h"

#include <string>

namespace platform {

// The host directory of drive C:.
std::string driveCRoot();

// Maps a Windows (or Unix) path to a host path. Answers 0 or the Win32 error
// that the path itself earns (ERROR_PATH_NOT_FOUND for an unknown drive or an
// empty path, ERROR_BAD_NETPATH for a network path). With createDriveRoot the
// directory of drive C: is created when the path is on it.
DWORD toUnixPath(LPCSTR windowsPath, std::string& unixPath, bool createDriveRoot);

// Creates a directory and its missing parents, each readable, writable and
// searchable by all users whatever the umask. Answers 0 or an errno value.
int makeSharedDirectories(const std::string& directory);

// The Win32 error for an errno value of a file operation.
DWORD win32ErrorFromErrno(int error);

// Whether security attributes grant access to everyone (a null DACL, or an
// access-allowed entry for the world SID): such files and objects are made
// readable and writable by all users.
bool grantsEveryone(const SECURITY_ATTRIBUTES* attributes);

} // namespace platform
