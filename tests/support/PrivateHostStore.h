// Gives a test program a registry and a drive C: of its own on the Linux
// build, so tests never touch the host's shared store and several test runs
// can go on at once.
//
// usePrivateHostStore() points PAR1_REGISTRY and PAR1_DRIVE_C at a new
// directory below the temporary directory and removes that directory with
// everything in it when the tests have run. Child processes started by the program inherit
// the same store. On Windows it does nothing: the tests use the real registry
// and drive. Call it from a static initializer of the test program:
//
//     static const bool privateStore = par1test::usePrivateHostStore();
#pragma once

#include <string>

namespace par1test {

bool usePrivateHostStore();

// The directory of the private store (empty on Windows).
std::string privateHostStoreDirectory();

} // namespace par1test
