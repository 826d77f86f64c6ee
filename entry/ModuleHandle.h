// The module handle the library entry records at process attach; null when
// the module's code runs linked into a program instead of loaded as a library.
#pragma once

#include "platform/win32.h"

HMODULE getModuleHandle();
void setModuleHandle(HMODULE module);
