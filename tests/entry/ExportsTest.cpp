#include "entry/TransportExports.h"

#include <gtest/gtest.h>

TEST(TransportGetName, ReportsLengthAndRefusesShortBuffer) {
    char buffer[8] = "xxxxxxx";
    uint32_t length = 0;
    EXPECT_EQ(122u, TransportGetName(buffer, 4, &length));
    EXPECT_EQ(5u, length);
    EXPECT_STREQ("xxxxxxx", buffer);
    EXPECT_EQ(0u, TransportGetName(buffer, 5, &length));
    EXPECT_STREQ("PAR1", buffer);
}
