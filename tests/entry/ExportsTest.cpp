// The exports linked into the test program, where the module handle can be
// chosen.
#include "entry/ModuleHandle.h"
#include "entry/TransportExports.h"
#include "shared/Localize.h"

#include <gtest/gtest.h>

namespace {

TEST(TransportInitialize, FailureWithoutCodeIsReportedAsInternalError) {
    // A handle that names no module: its file name cannot be read, so the
    // first singleton cannot be made. That exception carries no code; the
    // host must still see a failure.
    static char notAModule;
    setModuleHandle(reinterpret_cast<HMODULE>(&notAModule));
    EXPECT_EQ(static_cast<uint32_t>(ERROR_INTERNAL_ERROR), TransportInitialize());

    setModuleHandle(nullptr);
    EXPECT_EQ(0u, TransportInitialize()) << "a later call completes the creation";
    EXPECT_FALSE(Localize::getInstance()->getLocalId().empty());
    EXPECT_EQ(0u, TransportUninitialize());
}

} // namespace
