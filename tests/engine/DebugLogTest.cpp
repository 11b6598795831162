#include <gtest/gtest.h>

#include <string>

#include "engine/DebugLog.h"
#include "engine/MasterVolume.h"

namespace {

class DebugLogTest : public testing::Test {
protected:
    void TearDown() override { Sonvex_SetDebugLog(0); }

    template <typename Fn>
    static std::string Capture(Fn write) {
        testing::internal::CaptureStdout();
        write();
        return testing::internal::GetCapturedStdout();
    }
};

TEST_F(DebugLogTest, EveryFormHasThePrefixAndNoSeparator) {
    Sonvex_SetDebugLog(1);
    EXPECT_EQ(Capture([] { DebugLog("Startup"); }), "Sonvex2: Startup\n");
    EXPECT_EQ(Capture([] { DebugLogInt("AllocChannel #=", 3); }), "Sonvex2: AllocChannel #=3\n");
    EXPECT_EQ(Capture([] { DebugLogInt("v=", -42); }), "Sonvex2: v=-42\n");
    EXPECT_EQ(Capture([] { DebugLogLong("n=", 2147483647); }), "Sonvex2: n=2147483647\n");
    EXPECT_EQ(Capture([] { DebugLogShort("s=", -32768); }), "Sonvex2: s=-32768\n");
    EXPECT_EQ(Capture([] { DebugLogChar("c=", 'x'); }), "Sonvex2: c=x\n");
    EXPECT_EQ(Capture([] { DebugLogPair("a", "b"); }), "Sonvex2: a b\n");
}

TEST_F(DebugLogTest, FloatsUseSixSignificantDigits) {
    Sonvex_SetDebugLog(1);
    EXPECT_EQ(Capture([] { DebugLogDouble("d=", 0.25); }), "Sonvex2: d=0.25\n");
    EXPECT_EQ(Capture([] { DebugLogFloat("f=", 1.5f); }), "Sonvex2: f=1.5\n");
    EXPECT_EQ(Capture([] { DebugLogDouble("rate=", 44100.0); }), "Sonvex2: rate=44100\n");
    EXPECT_EQ(Capture([] { DebugLogDouble("pi=", 3.14159265); }), "Sonvex2: pi=3.14159\n");
    EXPECT_EQ(Capture([] { DebugLogDouble("big=", 1234567.0); }), "Sonvex2: big=1.23457e+06\n");
    // A float is widened first: its own rounding shows.
    EXPECT_EQ(Capture([] { DebugLogFloat("f=", 0.1f); }), "Sonvex2: f=0.1\n");
}

TEST_F(DebugLogTest, OnlyFlagOneWrites) {
    for (int32_t flag : {0, 2, -1}) {
        Sonvex_SetDebugLog(flag);
        EXPECT_EQ(Capture([] {
                      DebugLog("x");
                      DebugLogInt("x", 1);
                      DebugLogDouble("x", 1.0);
                      DebugLogPair("x", "y");
                  }),
                  "")
            << "flag " << flag;
    }
}

TEST(MasterVolume, StoredAsGiven) {
    EXPECT_EQ(Sonvex_GetMasterVolume(), 1.0);
    Sonvex_SetMasterVolume(2.5);
    EXPECT_EQ(Sonvex_GetMasterVolume(), 2.5);
    Sonvex_SetMasterVolume(-0.5);
    EXPECT_EQ(Sonvex_GetMasterVolume(), -0.5);
    Sonvex_SetMasterVolume(1.0);
}

}  // namespace
