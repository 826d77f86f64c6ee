// The CUPS backend "par1" (installed as lib/cups/backend/par1): the PAR1
// transport as CUPS' way to a parallel-port printer.
//
//   par1                 lists the printers discovery finds, one line each,
//                        as lpinfo -v shows them:
//                        direct par1:/LPT1 "Make Model" "Make Model (PAR1)"
//                        "MFG:...;MDL:...;" ""
//   par1 job-id user title copies options [file]
//                        with DEVICE_URI=par1:/LPTn[?options] (DeviceUri.h)
//                        prints the file (copies times) or standard input
//                        (once: the filters made the copies) through a
//                        connection of the module, wrapped into NPA packets
//                        when the printer speaks NPA.
//
// It tells the scheduler on standard error (StatusLines.h): connecting-to-
// device while it connects, offline-report when the printer is off or gone,
// media-empty-error while the printer is out of paper (the job waits for
// paper, as CUPS' own backends do, and goes on where it stopped), INFO lines
// with the progress, DEBUG lines with the detail. Exit codes (BackendExit.h):
//
//   OK      the job reached the printer whole (never for less)
//   FAILED  it did not: the file cannot be read, the printer refused the
//           data, the module cannot be loaded; the queue's error policy
//           decides
//   RETRY   the printer is off, gone, not answering or busy: try again later
//           (the whole job; a printer that went mid-job may print its start
//           twice)
//   STOP    the queue's device URI is wrong: nothing will print until the
//           administrator mends it
//   CANCEL  the job was cancelled (SIGTERM, see CancelWatch.h)
#pragma once

#include "StatusLines.h"

#include <ostream>
#include <string>
#include <vector>

struct Failure;

class Backend {
public:
    // Status lines go to status, the device list to out.
    Backend(StatusLines& status, std::ostream& out);

    // arguments: the program's argv; answers the exit code.
    int run(const std::vector<std::string>& arguments);

    // The device-list line of a printer (without its line end).
    static std::string deviceLine(const std::string& port, const std::string& manufacturer,
                                  const std::string& model, const std::string& deviceId);

private:
    int listDevices();
    int printJob(const std::vector<std::string>& arguments);
    // Reports a failure of the host code and answers its exit code.
    int report(const Failure& failure);

    StatusLines& status_;
    std::ostream& out_;
};
