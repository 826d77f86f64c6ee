// par1 --virtual: the module's copy linked into par1, with the virtual
// printer installed behind its port seam. A loaded library keeps a seam of
// its own that par1 cannot reach, so this is the only way the printer and the
// module par1 drives can meet. par1 still drives this copy only through its
// eight exports (exports()); nothing else of the module is visible here.
#pragma once

#include "TransportTable.h"

#include "platform/win32.h"

#include <cstdint>
#include <memory>
#include <string>

// What a person may ask of the virtual printer on LPT1:.
struct VirtualOptions {
    bool enabled = false;
    std::string npa = "auto";   // auto, off, packet (the short NPA answer) or silent
    unsigned readSize = 0;      // most bytes per read of the port; 0: no limit
    long long vanishAfter = -1; // the printer goes after so many bytes; -1: never
    DWORD ackDelay = 0;
    unsigned refuse = 0;
    bool refuseAll = false;
    bool silent = false;
    DWORD linkSpeed = 0;
    bool paperOut = false;
    unsigned paperOutWrites = 0; // so many writes find no paper, later ones do
    bool gone = false;
    std::string output;
    std::string deviceId; // empty: the virtual printer's own
};

class LinkedModule {
public:
    // The linked copy takes the loaded library's name (and so its local id,
    // settings and log file); the printer is installed until destruction.
    // Throws std::system_error when the copy cannot take the name.
    LinkedModule(HMODULE named, const VirtualOptions& options);
    ~LinkedModule();
    LinkedModule(const LinkedModule&) = delete;
    LinkedModule& operator=(const LinkedModule&) = delete;

    TransportTable exports() const;
    // Writes what the printer received (unframed print data) to the file;
    // empty, or why it could not be written. Nothing without a printer.
    std::string saveReceived(const std::string& path) const;
    // Makes the file saveReceived will write (empty), so that a path that
    // cannot be written is known before a job; empty, or why not.
    static std::string checkOutput(const std::string& path);
    // Print packets (NPA channel 0) the printer took in, re-sent ones
    // included; false without a printer.
    bool printPacketsReceived(uint64_t& count) const;
    // Room for a job of so many bytes in the printer's record of print data,
    // taken at once rather than grown (and copied) as the job comes.
    void reservePrintData(uint64_t bytes);

private:
    struct State;
    std::unique_ptr<State> state_;
};
