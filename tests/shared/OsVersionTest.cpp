#include "shared/OsVersion.h"

#include <gtest/gtest.h>

TEST(OsVersion, SixtyFourBitWindowsIsNtFromVersionFive) {
    EXPECT_EQ(2u, OsVersion::getPlatformId());
    EXPECT_TRUE(OsVersion::isWinNT());
    EXPECT_TRUE(OsVersion::isWin2000OrLater());
}
