// Run-state exports: percentage, extended status, cancel, switches.
#include <gtest/gtest.h>

#include <cstring>

#include "frame/run_state.h"
#include "zarlib32.h"

namespace {

TEST(Percent, Examples) {
    struct Case {
        int32_t total, remaining;
        int16_t percent;
    } cases[] = {
        {1000, 250, 75},        {0, 0, 0},        {100, -1, 100},        {100, 100, 0},
        {100, 150, 0},          {-5, 1, 0},       {50000000, 25000000, 50}, {100, 0, 100},
        {2147483647, 1, 100},   {2147483647, 2147483646, 0}, {3, 1, 67},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Ax4ZipPercent(c.total, c.remaining), c.percent) << c.total << " " << c.remaining;
}

TEST(ExtendedStatus, CopiesAtMostFourBytes) {
    zar::frame::setExtendedStatus(0x219F, 0xBF7D);
    uint8_t buffer[10];
    std::memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(Ax4ExtendedCPrintInfo(0, buffer), 0);
    EXPECT_EQ(Ax4ExtendedCPrintInfo(-3, buffer), -3);
    EXPECT_EQ(buffer[0], 0xEE);
    EXPECT_EQ(Ax4ExtendedCPrintInfo(2, buffer), 2);
    EXPECT_EQ(buffer[0], 0x9F);
    EXPECT_EQ(buffer[1], 0x21);
    EXPECT_EQ(buffer[2], 0xEE);  // the time stays out
    EXPECT_EQ(Ax4ExtendedCPrintInfo(10, buffer), 4);
    const uint8_t expected[] = {0x9F, 0x21, 0x7D, 0xBF, 0xEE};
    EXPECT_EQ(std::memcmp(buffer, expected, sizeof expected), 0);
}

TEST(Cancel, PendingRequestIsTakenOnceAndCleared) {
    Ax4Cancel();
    EXPECT_TRUE(zar::frame::cancelPending());
    EXPECT_TRUE(zar::frame::takeCancel());
    EXPECT_FALSE(zar::frame::cancelPending());
    EXPECT_FALSE(zar::frame::takeCancel());
}

TEST(Switches, KeepTheirValues) {
    Ax4SetDoEvents(0);
    EXPECT_EQ(Ax4GetDoEvents(), 0);
    Ax4SetDoEvents(5);
    EXPECT_EQ(Ax4GetDoEvents(), 1);
    Ax4SetParseType(3);
    EXPECT_EQ(Ax4GetParseType(), -1);
    Ax4SetParseType(0);
    EXPECT_EQ(Ax4GetParseType(), 0);
    EXPECT_EQ(Ax4GetParsePlace(), 65535);
    EXPECT_EQ(Ax4MoreStatus(), 0);
    Ax4SetCPrintFlags(0xDEADBEEF);
    EXPECT_EQ(zar::frame::flags(), 0xDEADBEEFu);
}

}  // namespace
