// The port seam: every call that touches a parallel port goes through the
// process's current PortSystem. Each operation has the signature, the return
// values and the last-error behaviour of the Win32 function of the same name.
//
// The default is the system itself (kernel32 on Windows, the platform layer on
// Linux). Tests, benchmarks and the par1 tool install the virtual printer
// instead. Installing is process-wide and not tied to open handles: a handle
// belongs to the implementation that opened it, so install or remove an
// implementation only while no port handle is open and no thread is inside a
// port call.
#pragma once

#include "platform/win32.h"

class PortSystem {
public:
    virtual ~PortSystem() = default;

    virtual BOOL defineDosDevice(DWORD flags, LPCSTR deviceName, LPCSTR targetPath) = 0;
    virtual DWORD queryDosDevice(LPCSTR deviceName, LPSTR targetPath, DWORD max) = 0;
    virtual HANDLE createFile(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                              LPSECURITY_ATTRIBUTES attributes, DWORD creationDisposition,
                              DWORD flagsAndAttributes, HANDLE templateFile) = 0;
    virtual BOOL closeHandle(HANDLE handle) = 0;
    virtual BOOL readFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                          LPOVERLAPPED overlapped) = 0;
    virtual BOOL writeFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                           LPOVERLAPPED overlapped) = 0;
    virtual BOOL setCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) = 0;
    virtual BOOL clearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT status) = 0;
    virtual BOOL deviceIoControl(HANDLE device, DWORD controlCode, LPVOID inBuffer, DWORD inSize,
                                 LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned,
                                 LPOVERLAPPED overlapped) = 0;
    // The read thread's pause after a read that brought nothing, as
    // WaitForSingleObject on wake does it: it ends early when wake is
    // signalled (a write on the port finished, or the thread is asked to
    // stop). No port call, but part of the seam so that a test can see when
    // the port is polled and when the thread rests.
    virtual void pause(HANDLE wake, DWORD milliseconds);

    // The implementation in use; never null.
    static PortSystem& current();
    // Makes system the current implementation (null: the system's own) and
    // answers the one it replaces.
    static PortSystem* install(PortSystem* system);
    // The system's own implementation.
    static PortSystem& native();
};

// Installs an implementation for the life of a scope and puts the previous one
// back at its end.
class ScopedPortSystem {
public:
    explicit ScopedPortSystem(PortSystem& system) : previous_(PortSystem::install(&system)) {}
    ~ScopedPortSystem() { PortSystem::install(previous_); }
    ScopedPortSystem(const ScopedPortSystem&) = delete;
    ScopedPortSystem& operator=(const ScopedPortSystem&) = delete;

private:
    PortSystem* previous_;
};
