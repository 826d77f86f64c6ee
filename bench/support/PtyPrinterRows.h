// Rows of wrap_throughput on the Linux build's own ports: the job printed
// through the whole module to the virtual printer served on a
// pseudo-terminal (sim/linux/PtyPrinter.h), once on a descriptor that can be
// polled (as usblp's) and once on one that cannot (as lp's), wrapped and
// unwrapped. Linux only.
#pragma once

#include <cstdint>
#include <vector>

namespace bench {

// Prints the rows, and the non-pollable descriptor's time over the pollable
// one's for each mode.
void printPtyPrinterRows(const std::vector<unsigned char>& job, uint32_t chunk);

} // namespace bench
