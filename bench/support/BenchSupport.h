// What the benchmark programs share: a private store, the process's CPU
// time and the machine's load.
#pragma once

#include <string>

namespace bench {

// On Linux, points the registry and drive C: at a directory of its own below
// the temporary directory, named after prefix and the process id, and
// answers it; empty when the caller set PAR1_REGISTRY, and on Windows, where
// the system's registry is used. The directory is removed when the program
// exits normally.
std::string usePrivateStore(const std::string& prefix);

// User plus kernel time of the whole process so far.
double processCpuSeconds();

// The machine's load, so that a table can be judged; "n/a" where it cannot
// be read.
std::string loadAverage();

} // namespace bench
