// The virtual printer, for tests of the backend under a real scheduler only.
//
// The backend prints to the built-in virtual printer on LPT1: instead of the
// system's ports when its environment holds PAR1_BACKEND_VIRTUAL_PRINTER,
// naming a file of the printer's settings. The scheduler starts backends with
// an environment of its own making, so only its configuration can set the
// variable: "SetEnv PAR1_BACKEND_VIRTUAL_PRINTER /path" in cups-files.conf,
// which only the administrator of that cupsd can write. No URI and no job
// option can choose it.
//
// The file holds one setting a line, "name=value" (a flag alone is "name"),
// '#' starts a comment; the names are those of par1's --virtual-* options:
//
//   output=FILE         what the printer received (the print data, unwrapped),
//                       written when the job ends; each job replaces it
//   npa=auto|off|packet|silent, ack-delay=MS, refuse=N, refuse-all, silent,
//   link-speed=BPS, read-size=N, vanish-after=N, paper-out, gone,
//   device-id=TEXT      as par1 --virtual-...
//   paper-out-writes=N  the first N writes find no paper, later ones do
//
// The file is read at every run of the backend, so a test may change the
// printer between jobs.
#pragma once

#include "LinkedModule.h"

#include <stdexcept>
#include <string>

class VirtualPrinterSettings {
public:
    class Invalid : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    static const char* const variable; // "PAR1_BACKEND_VIRTUAL_PRINTER"

    // The virtual printer the environment asks for; options.enabled is false
    // when it asks for none. Throws Invalid when the file cannot be read or
    // holds a setting that is not one of the above.
    static VirtualOptions fromEnvironment();
    // The settings of the file at path. Throws Invalid.
    static VirtualOptions read(const std::string& path);
};
