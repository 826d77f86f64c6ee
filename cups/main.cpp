// par1, the CUPS backend: prints a job through the PAR1 transport to the
// printer on a parallel port, and lists the printers for lpinfo -v. See
// Backend.h and "man backend" for the conventions it follows.
#include "Backend.h"
#include "StatusLines.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    StatusLines status(std::cerr);
    Backend backend(status, std::cout);
    return backend.run(std::vector<std::string>(argv, argv + argc));
}
