// The Win32 subset the module calls. On Windows this is the real API; on Linux
// the same names are implemented over POSIX in platform/linux and behave as
// Win32 does for every call the module makes.
#pragma once

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h must come first.
#include <aclapi.h>
// GetFileVersionInfoA and VerQueryValueA (version.lib), with which the tests
// read the version resources back.
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <stdio.h>
#include <winver.h>

namespace platform {
inline void setStandardInputBinary() {
    _setmode(_fileno(stdin), _O_BINARY);
}
inline DWORD hostPath(LPCSTR windowsPath, LPSTR buffer, DWORD size) {
    const DWORD length = lstrlenA(windowsPath);
    if (length >= size) {
        return 0;
    }
    CopyMemory(buffer, windowsPath, length + 1);
    return length;
}
} // namespace platform
#include <winioctl.h>
// The parallel port driver's identification query (ntddpar.h).
#ifndef IOCTL_PAR_QUERY_DEVICE_ID
#define IOCTL_PAR_QUERY_DEVICE_ID                                                                  \
    CTL_CODE(FILE_DEVICE_PARALLEL_PORT, 3, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif

#else

#include <cstddef>
#include <cstdint>

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef unsigned int UINT;
typedef char CHAR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef DWORD* LPDWORD;
typedef LONG* PLONG;
typedef BYTE* LPBYTE;
typedef const BYTE* LPCBYTE;
typedef void* HANDLE;
typedef HANDLE* LPHANDLE;
typedef LONG LSTATUS;
typedef DWORD ACCESS_MASK;
typedef ACCESS_MASK REGSAM;
typedef DWORD SECURITY_INFORMATION;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef void* PSID;
typedef void* PSECURITY_DESCRIPTOR;
typedef uintptr_t ULONG_PTR;
typedef ULONG_PTR DWORD_PTR;
typedef long long LONGLONG;
typedef volatile LONG* PVOLATILE_LONG;

#define TRUE 1
#define FALSE 0
#define WINAPI
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define INFINITE 0xFFFFFFFFu
#define MAX_PATH 260

// Last error and system error codes the module uses.
#define ERROR_SUCCESS 0L
#define NO_ERROR 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_BAD_FORMAT 11L
#define ERROR_INVALID_DATA 13L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_NOT_READY 21L
#define ERROR_BAD_COMMAND 22L
#define ERROR_CRC 23L
#define ERROR_WRITE_FAULT 29L
#define ERROR_READ_FAULT 30L
#define ERROR_GEN_FAILURE 31L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_HANDLE_EOF 38L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_BROKEN_PIPE 109L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_NOT_OWNER 288L
#define ERROR_MR_MID_NOT_FOUND 317L
#define ERROR_OPERATION_ABORTED 995L
#define ERROR_IO_INCOMPLETE 996L
#define ERROR_IO_PENDING 997L
#define ERROR_NOACCESS 998L
#define ERROR_KEY_DELETED 1018L
#define ERROR_DEVICE_NOT_CONNECTED 1167L
#define ERROR_NOT_FOUND 1168L
#define ERROR_NO_DATA_DETECTED 1104L
#define ERROR_IO_DEVICE 1117L
#define ERROR_INVALID_SID 1337L
#define ERROR_INVALID_ACL 1336L
#define ERROR_INTERNAL_ERROR 1359L
#define ERROR_INVALID_SECURITY_DESCR 1338L
// Threads, processes, messages and security.
#define ERROR_BAD_EXE_FORMAT 193L
#define ERROR_UNKNOWN_REVISION 1305L
#define ERROR_ALLOTTED_SPACE_EXCEEDED 1344L
#define ERROR_RESOURCE_LANG_NOT_FOUND 1815L
#define ERROR_TIMEOUT 1460L
#define ERROR_DATATYPE_MISMATCH 1629L
#define ERROR_OUT_OF_PAPER 28L
#define ERROR_COUNTER_TIMEOUT 1121L
#define ERROR_SEM_TIMEOUT 121L
// Files and registry.
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_WRITE_PROTECT 19L
#define ERROR_BAD_NETPATH 53L
#define ERROR_DISK_FULL 112L
#define ERROR_NEGATIVE_SEEK 131L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_DIR_NOT_EMPTY 145L
#define ERROR_ENVVAR_NOT_FOUND 203L
#define ERROR_DIRECTORY 267L
#define ERROR_REGISTRY_IO_FAILED 1016L

// Waits.
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu

// Threads.
#define THREAD_PRIORITY_LOWEST (-2)
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
#define THREAD_PRIORITY_TIME_CRITICAL 15
#define THREAD_PRIORITY_IDLE (-15)
#define THREAD_PRIORITY_ERROR_RETURN 0x7FFFFFFF
#define STILL_ACTIVE 259u

// Library entry.
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

// Access rights and file creation.
#define DELETE 0x00010000u
#define READ_CONTROL 0x00020000u
#define WRITE_DAC 0x00040000u
#define SYNCHRONIZE 0x00100000u
#define STANDARD_RIGHTS_REQUIRED 0x000F0000u
#define STANDARD_RIGHTS_ALL 0x001F0000u
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u
#define MUTEX_ALL_ACCESS 0x001F0001u
#define EVENT_ALL_ACCESS 0x001F0003u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u
#define FILE_READ_DATA 0x0001u
#define FILE_WRITE_DATA 0x0002u
#define FILE_APPEND_DATA 0x0004u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_FLAG_OVERLAPPED 0x40000000u
#define FILE_FLAG_WRITE_THROUGH 0x80000000u
#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u
#define INVALID_FILE_SIZE 0xFFFFFFFFu
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define STD_INPUT_HANDLE ((DWORD)-10)
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define STD_ERROR_HANDLE ((DWORD)-12)
#define FILE_TYPE_UNKNOWN 0x0000u
#define FILE_TYPE_DISK 0x0001u
#define FILE_TYPE_CHAR 0x0002u
#define FILE_TYPE_PIPE 0x0003u
#define FILE_TYPE_REMOTE 0x8000u

// Messages.
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_STRING 0x00000400u
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000u
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FFu
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))
#define LANG_NEUTRAL 0x00
#define LANG_ENGLISH 0x09
#define SUBLANG_DEFAULT 0x01
#define SUBLANG_ENGLISH_US 0x01

// Version information.
#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

typedef struct _OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
} OSVERSIONINFOA, *LPOSVERSIONINFOA;

typedef struct _OSVERSIONINFOEXA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
} OSVERSIONINFOEXA, *LPOSVERSIONINFOEXA;

typedef OSVERSIONINFOA OSVERSIONINFO;
typedef OSVERSIONINFOEXA OSVERSIONINFOEX;

// Synchronisation. The critical section is an opaque, suitably aligned block
// that holds a recursive pthread mutex.
typedef struct _CRITICAL_SECTION {
    alignas(16) unsigned char opaque[64];
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES;

// Security descriptors: the layout Windows uses for the absolute form, so the
// module's size arithmetic holds on both builds.
typedef struct _SID_IDENTIFIER_AUTHORITY {
    BYTE Value[6];
} SID_IDENTIFIER_AUTHORITY, *PSID_IDENTIFIER_AUTHORITY;

typedef struct _ACL {
    BYTE AclRevision;
    BYTE Sbz1;
    WORD AclSize;
    WORD AceCount;
    WORD Sbz2;
} ACL, *PACL;

typedef struct _ACE_HEADER {
    BYTE AceType;
    BYTE AceFlags;
    WORD AceSize;
} ACE_HEADER, *PACE_HEADER;

typedef struct _ACCESS_ALLOWED_ACE {
    ACE_HEADER Header;
    ACCESS_MASK Mask;
    DWORD SidStart;
} ACCESS_ALLOWED_ACE, *PACCESS_ALLOWED_ACE;

typedef struct _SECURITY_DESCRIPTOR {
    BYTE Revision;
    BYTE Sbz1;
    WORD Control;
    PSID Owner;
    PSID Group;
    PACL Sacl;
    PACL Dacl;
} SECURITY_DESCRIPTOR, *PISECURITY_DESCRIPTOR;

typedef enum _SE_OBJECT_TYPE {
    SE_UNKNOWN_OBJECT_TYPE = 0,
    SE_FILE_OBJECT,
    SE_SERVICE,
    SE_PRINTER,
    SE_REGISTRY_KEY,
    SE_LMSHARE,
    SE_KERNEL_OBJECT,
    SE_WINDOW_OBJECT
} SE_OBJECT_TYPE;

#define SECURITY_DESCRIPTOR_REVISION 1
#define SECURITY_DESCRIPTOR_MIN_LENGTH 40
#define SE_DACL_PRESENT 0x0004
#define SE_DACL_DEFAULTED 0x0008
#define SE_SELF_RELATIVE 0x8000
#define ACL_REVISION_DS 4
#define ACL_REVISION 2
#define ACCESS_ALLOWED_ACE_TYPE 0
#define OBJECT_INHERIT_ACE 0x1
#define CONTAINER_INHERIT_ACE 0x2
#define DACL_SECURITY_INFORMATION 0x00000004u
#define SECURITY_WORLD_RID 0x00000000u
// clang-format off
#define SECURITY_WORLD_SID_AUTHORITY {{0, 0, 0, 0, 0, 1}}
// clang-format on

// Time.
typedef struct _SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME, *LPSYSTEMTIME;

// Serial and parallel port I/O.
typedef struct _COMMTIMEOUTS {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
} COMMTIMEOUTS, *LPCOMMTIMEOUTS;

typedef struct _COMSTAT {
    DWORD fCtsHold : 1;
    DWORD fDsrHold : 1;
    DWORD fRlsdHold : 1;
    DWORD fXoffHold : 1;
    DWORD fXoffSent : 1;
    DWORD fEof : 1;
    DWORD fTxim : 1;
    DWORD fReserved : 25;
    DWORD cbInQue;
    DWORD cbOutQue;
} COMSTAT, *LPCOMSTAT;

typedef struct _OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

#define CE_RXOVER 0x0001u
#define CE_OVERRUN 0x0002u
#define CE_RXPARITY 0x0004u
#define CE_FRAME 0x0008u
#define CE_BREAK 0x0010u
#define CE_TXFULL 0x0100u
#define CE_PTO 0x0200u
#define CE_IOE 0x0400u
#define CE_DNS 0x0800u
#define CE_OOP 0x1000u
#define CE_MODE 0x8000u

#define DDD_RAW_TARGET_PATH 0x00000001u
#define DDD_REMOVE_DEFINITION 0x00000002u
#define DDD_EXACT_MATCH_ON_REMOVE 0x00000004u
#define DDD_NO_BROADCAST_SYSTEM 0x00000008u
#define MAXDWORD 0xFFFFFFFFu
// The parallel port driver's identification query: the IEEE 1284 device ID.
#define IOCTL_PAR_QUERY_DEVICE_ID 0x0016000Cu

// Registry.
#define HKEY_CLASSES_ROOT ((HKEY)(uintptr_t)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)
#define HKEY_USERS ((HKEY)(uintptr_t)0x80000003u)

#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_MULTI_SZ 7u
#define REG_QWORD 11u

#define REG_OPTION_NON_VOLATILE 0x00000000u
#define REG_OPTION_VOLATILE 0x00000001u
#define REG_CREATED_NEW_KEY 0x00000001u
#define REG_OPENED_EXISTING_KEY 0x00000002u

#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_CREATE_SUB_KEY 0x0004u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_NOTIFY 0x0010u
#define KEY_CREATE_LINK 0x0020u
#define KEY_WOW64_64KEY 0x0100u
#define KEY_WOW64_32KEY 0x0200u
#define KEY_READ 0x00020019u
#define KEY_WRITE 0x00020006u
#define KEY_EXECUTE 0x00020019u
#define KEY_ALL_ACCESS 0x000F003Fu

extern "C" {

// Errors.
DWORD GetLastError();
void SetLastError(DWORD code);
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                     DWORD size, void* arguments);

// Critical sections and interlocked counters.
void InitializeCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);
LONG InterlockedIncrement(volatile LONG* value);
LONG InterlockedDecrement(volatile LONG* value);

// Kernel objects.
BOOL CloseHandle(HANDLE handle);
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                    LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCSTR name);
BOOL ReleaseMutex(HANDLE mutex);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

// Threads and processes.
uintptr_t _beginthreadex(void* security, unsigned stackSize, unsigned(WINAPI* start)(void*),
                         void* argument, unsigned initFlags, unsigned* threadId);
BOOL SetThreadPriority(HANDLE thread, int priority);
int GetThreadPriority(HANDLE thread);
BOOL TerminateThread(HANDLE thread, DWORD exitCode);
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
void Sleep(DWORD milliseconds);
DWORD GetCurrentThreadId();
DWORD GetCurrentProcessId();

// 100-nanosecond intervals; points in time count from 1 January 1601 (UTC).
typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *PFILETIME, *LPFILETIME;

// The pseudo handle (HANDLE)-1 that names the calling process.
HANDLE GetCurrentProcess();
// The calling process's creation time, its exit time (0 while it runs) and
// the CPU time its threads spent in the kernel and in user mode. Linux
// answers only for the pseudo handle of the calling process; for any other
// handle it fails with ERROR_NOT_SUPPORTED.
BOOL GetProcessTimes(HANDLE process, LPFILETIME creationTime, LPFILETIME exitTime,
                     LPFILETIME kernelTime, LPFILETIME userTime);

// Child processes (the tests start copies of themselves).
typedef struct _STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved;
    LPSTR lpDesktop;
    LPSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
} STARTUPINFOA, *LPSTARTUPINFOA;

typedef struct _PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
} PROCESS_INFORMATION, *LPPROCESS_INFORMATION;

// The command line is split as the C runtime splits it (quotes group, a
// backslash escapes a quote); the first word names the program.
BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine,
                    LPSECURITY_ATTRIBUTES processAttributes, LPSECURITY_ATTRIBUTES threadAttributes,
                    BOOL inheritHandles, DWORD creationFlags, LPVOID environment,
                    LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                    LPPROCESS_INFORMATION processInformation);
BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
BOOL TerminateProcess(HANDLE process, UINT exitCode);

// Module and system.
DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);
typedef intptr_t(WINAPI* FARPROC)();
// A name without a directory is looked up beside the program first, as
// Windows does; the module handle is the library's base address.
HMODULE LoadLibraryA(LPCSTR fileName);
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
BOOL FreeLibrary(HMODULE module);
BOOL DisableThreadLibraryCalls(HMODULE module);
BOOL GetVersionExA(LPOSVERSIONINFOA info);
LPSTR lstrcpynA(LPSTR destination, LPCSTR source, int maxLength);

// Environment. On Linux the platform's own settings come from it
// (PAR1_REGISTRY, PAR1_DRIVE_C; see platform/README.md).
DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size);
BOOL SetEnvironmentVariableA(LPCSTR name, LPCSTR value);

// Security descriptors. They succeed and carry no meaning on Linux, except
// that files made for "everyone" on drive C: get the store's mode: readable
// and writable by the users who share the store, never by all.
BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision);
BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL daclPresent, PACL dacl,
                               BOOL daclDefaulted);
BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL* daclPresent, PACL* dacl,
                               BOOL* daclDefaulted);
BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE subAuthorityCount,
                              DWORD sub0, DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4,
                              DWORD sub5, DWORD sub6, DWORD sub7, PSID* sid);
void* FreeSid(PSID sid);
BOOL IsValidSid(PSID sid);
DWORD GetLengthSid(PSID sid);
BOOL InitializeAcl(PACL acl, DWORD length, DWORD revision);
BOOL AddAccessAllowedAce(PACL acl, DWORD revision, DWORD accessMask, PSID sid);
BOOL GetAce(PACL acl, DWORD index, LPVOID* ace);
BOOL SetKernelObjectSecurity(HANDLE handle, SECURITY_INFORMATION information,
                             PSECURITY_DESCRIPTOR descriptor);
DWORD SetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE type, SECURITY_INFORMATION information,
                      PSID owner, PSID group, PACL dacl, PACL sacl);

// Registry, over one SQLite database.
LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result);
LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                        REGSAM desired, LPSECURITY_ATTRIBUTES attributes, PHKEY result,
                        LPDWORD disposition);
LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD size);
LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD size);
LSTATUS RegDeleteValueA(HKEY key, LPCSTR valueName);
LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subKey);
LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                      LPSTR keyClass, LPDWORD classSize, void* lastWriteTime);
LSTATUS RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameSize,
                      LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize);
LSTATUS RegCloseKey(HKEY key);

// Files, time. Windows paths on drive C: live under a directory of the host.
HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES attributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh);
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod);
// Ends the file at its file pointer.
BOOL SetEndOfFile(HANDLE file);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped);
BOOL DeleteFileA(LPCSTR fileName);
// The process's standard input, output and error, and what kind of file a
// handle names (a terminal is FILE_TYPE_CHAR).
HANDLE GetStdHandle(DWORD stdHandle);
DWORD GetFileType(HANDLE file);
BOOL RemoveDirectoryA(LPCSTR pathName);
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);
void GetLocalTime(LPSYSTEMTIME time);
DWORD GetTickCount();

// Ports.
BOOL DefineDosDeviceA(DWORD flags, LPCSTR deviceName, LPCSTR targetPath);
DWORD QueryDosDeviceA(LPCSTR deviceName, LPSTR targetPath, DWORD max);
BOOL SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts);
BOOL GetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts);
BOOL ClearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT status);
BOOL DeviceIoControl(HANDLE device, DWORD controlCode, LPVOID inBuffer, DWORD inSize,
                     LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned,
                     LPOVERLAPPED overlapped);

} // extern "C"

// The library entry, which the Linux build calls itself at load and unload.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

#endif

// Not part of Win32: what a thread needs to know when TerminateThread ends it.
//
// On Windows TerminateThread stops a thread at once and runs none of its code.
// On Linux it cancels the thread: the thread leaves the Sleep,
// WaitForSingleObject or read it is blocked in (or its next one), and its
// stack unwinds, running destructors, while platform::isThreadTerminating()
// answers true. The unwinding passes through catch blocks like an exception,
// so a catch (...) on such a thread must rethrow it:
//
//     catch (...) {
//         if (platform::isThreadTerminating()) {
//             throw;
//         }
//         ...
//     }
//
// A catch (...) that swallows the unwinding ends the whole process, and so
// does unwinding into a noexcept function (destructors included). The thread's
// handle is signalled once the unwinding has finished.
namespace platform {
#ifdef _WIN32
inline bool isThreadTerminating() {
    return false;
}
#else
bool isThreadTerminating();
#endif

// Not part of Win32: switches the standard input of a program to binary, so
// that print data read from it arrives byte for byte. Windows' C runtime
// opens it in text mode (CR LF becomes LF, Ctrl-Z ends the input); Linux has
// no such mode.
void setStandardInputBinary();

// Not part of Win32: where a person finds the file of a Windows path with the
// system's own programs (a shell, an editor): on Windows the path itself; on
// Linux the host path that drive C: (or Z:) maps to. Copies it with its
// terminator and answers its length; 0 when the path maps to no host path or
// the buffer is too small.
DWORD hostPath(LPCSTR windowsPath, LPSTR buffer, DWORD size);
} // namespace platform
