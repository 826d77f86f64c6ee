// The module's version, carried in the library file itself: a host reads it
// from the file it loaded (par1 --version does), on Linux as on Windows, where
// the version resource carries it too. The text after the marker is the
// version; the marker makes it easy to find in the file's bytes.
#ifndef PAR1_VERSION
#error "PAR1_VERSION comes from CMake's project version"
#endif

// Nothing calls it: used keeps it in the library.
extern const char par1ModuleVersion[];
[[gnu::used]] const char par1ModuleVersion[] = "@(#)PAR1 module version " PAR1_VERSION;
