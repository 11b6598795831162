#include "engine/ISonvexSound.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/DebugLog.h"

namespace {

// 10,000 bytes of 16-bit stereo whose every byte tells its offset (mod 251). The vector is
// exactly as long as the sound, so ASan sees any read outside the block.
class SoundTest : public ::testing::Test {
protected:
    std::vector<uint8_t> data;
    ISonvexSound* sound = nullptr;
    std::vector<uint8_t> dest = std::vector<uint8_t>(8192, 0xEE);

    void SetUp() override {
        for (int32_t i = 0; i < 10000; ++i) {
            data.push_back(static_cast<uint8_t>(i % 251));
        }
        sound = Sonvex_CreateSound(2, 16, 44100, 10000, data.data(), 0);
        sound->PlaybackRate = 1.0;
    }
    void TearDown() override { Sonvex_DeleteSound(sound); }

    void Loop(int32_t start, int32_t length) {
        sound->LoopMode = 1;
        sound->LoopStart = start;
        sound->LoopLength = length;
    }
    // Expects dest[at, at + count) to hold the block's bytes [from, from + count).
    void ExpectBytes(int32_t at, int32_t from, int32_t count) {
        for (int32_t i = 0; i < count; ++i) {
            ASSERT_EQ(dest[at + i], data[from + i]) << "dest " << at + i << " from " << from + i;
        }
    }
    int32_t Fill(int32_t n) { return sound->FillBuffer(dest.data(), n); }
};

TEST(SoundCreate, FlagsStatusAndLog) {
    std::vector<uint8_t> block(10000);
    Sonvex_SetDebugLog(1);
    testing::internal::CaptureStdout();
    ISonvexSound* looping = Sonvex_CreateSound(2, 16, 44100, 10000, block.data(), 1);
    ISonvexSound* plain = Sonvex_CreateSound(1, 8, 22050, 500, block.data(), 2);
    Sonvex_DeleteSound(plain);
    const std::string log = testing::internal::GetCapturedStdout();
    Sonvex_SetDebugLog(0);
    EXPECT_EQ(log, "Sonvex2: Sonvex_CreateSound 10000\nSonvex2: Sonvex_CreateSound 500\n"
                   "Sonvex2: ~ISonvexSound\n");
    EXPECT_EQ(looping->GetLoopMode(), 1);
    EXPECT_EQ(looping->GetStatus(), 0);
    EXPECT_EQ(looping->IsSeekable(), 0);
    EXPECT_EQ(looping->GetRefCount(), 0);
    EXPECT_EQ(looping->GetLength(1), 2500);
    EXPECT_EQ(looping->Data, block.data());
    // The last Release destroys it through its Deleter; the block stays the creator's.
    looping->AddRef();
    looping->Release();
    EXPECT_EQ(block.size(), 10000u);
    Sonvex_DeleteSound(nullptr);
    ISonvexSound::Destroy(nullptr);
    ISonvexSound* empty = Sonvex_CreateSound(2, 16, 44100, 4000, nullptr, 0);
    EXPECT_EQ(empty->Length, 0);
    Sonvex_DeleteSound(empty);
}

TEST_F(SoundTest, ForwardFillsCopyAndAdvance) {
    EXPECT_EQ(Fill(1024), 1024);
    ExpectBytes(0, 0, 1024);
    EXPECT_EQ(sound->Position, 1024);
    // Rate 0: the same block again, the position stays.
    sound->PlaybackRate = 0.0;
    EXPECT_EQ(Fill(1024), 1024);
    ExpectBytes(0, 1024, 1024);
    EXPECT_EQ(Fill(1024), 1024);
    ExpectBytes(0, 1024, 1024);
    EXPECT_EQ(sound->Position, 1024);
    EXPECT_EQ(sound->FillBuffer(dest.data(), 0), 0);
}

TEST_F(SoundTest, EndWithoutLoopDeliversTheRestAndStops) {
    sound->Status = 1;
    sound->Position = 9500;
    EXPECT_EQ(Fill(1024), 500);
    ExpectBytes(0, 9500, 500);
    EXPECT_EQ(sound->Position, 0);
    EXPECT_EQ(sound->Status, 0);
    // Ending exactly at the end delivers everything and stops in the same call.
    sound->Status = 1;
    sound->Position = 10000 - 1024;
    EXPECT_EQ(Fill(1024), 1024);
    EXPECT_EQ(sound->Status, 0);
    EXPECT_EQ(sound->Position, 0);
}

TEST_F(SoundTest, WholeLoopWrapsToTheStart) {
    Loop(0, 10000);
    sound->Status = 1;
    sound->Position = 9500;
    EXPECT_EQ(Fill(1024), 1024);
    ExpectBytes(0, 9500, 500);
    ExpectBytes(500, 0, 524);
    EXPECT_EQ(sound->Position, 524);
    EXPECT_EQ(sound->Status, 1);
}

TEST_F(SoundTest, LoopRangeWrapsToItsStart) {
    Loop(2000, 4000);
    sound->Position = 5500;
    EXPECT_EQ(Fill(1024), 1024);
    ExpectBytes(0, 5500, 500);
    ExpectBytes(500, 2000, 524);
    EXPECT_EQ(sound->Position, 2524);
    // A loop range shorter than the request wraps as often as needed.
    Loop(3000, 4);
    sound->Position = 3000;
    EXPECT_EQ(Fill(1024), 1024);
    for (int32_t i = 0; i < 1024; i += 4) {
        ExpectBytes(i, 3000, 4);
    }
}

TEST_F(SoundTest, PositionPastTheEnd) {
    sound->Position = 12000;
    sound->Status = 1;
    EXPECT_EQ(Fill(1024), 0);
    EXPECT_EQ(sound->Status, 0);
    Loop(2000, 4000);
    sound->Position = 12000;
    EXPECT_EQ(Fill(100), 100);
    ExpectBytes(0, 2000, 100);
    EXPECT_EQ(sound->Position, 2100);
}

TEST_F(SoundTest, BackwardFillsDeliverTheStretchBeforeThePosition) {
    sound->PlaybackRate = -1.0;
    sound->Position = 4096;
    EXPECT_EQ(Fill(1024), 1024);
    ExpectBytes(0, 3072, 1024);
    EXPECT_EQ(sound->Position, 3072);
    EXPECT_EQ(Fill(1024), 1024);
    ExpectBytes(0, 2048, 1024);
    EXPECT_EQ(sound->Position, 2048);
}

TEST_F(SoundTest, SeekTakesFramesWhateverTheUnit) {
    for (int32_t unit : {0, 1, 2}) {
        sound->Position = 0;
        EXPECT_EQ(sound->Seek(100, unit), 400);
        EXPECT_EQ(sound->Position, 400);
    }
    sound->Status = 1;
    EXPECT_EQ(sound->Seek(3000, 1), 0);   // 12,000 bytes: past the end
    EXPECT_EQ(sound->Status, 0);
    EXPECT_EQ(Fill(1024), 0);
    Loop(2000, 4000);
    EXPECT_EQ(sound->Seek(3000, 1), 2000);
    EXPECT_EQ(sound->Position, 2000);
    // A negative place counts as the start.
    EXPECT_EQ(sound->Seek(-5, 1), 0);
    EXPECT_EQ(sound->Position, 0);
}

// What the data leaves open, each with one defined answer; none reads outside the block.

TEST_F(SoundTest, BackwardToTheStartStopsWithoutLooping) {
    sound->PlaybackRate = -1.0;
    sound->Status = 1;
    sound->Position = 500;
    EXPECT_EQ(Fill(1024), 500);
    ExpectBytes(0, 0, 500);   // moved to the front
    for (int32_t i = 500; i < 1024; ++i) {
        ASSERT_EQ(dest[i], 0) << i;
    }
    EXPECT_EQ(sound->Position, 0);
    EXPECT_EQ(sound->Status, 0);
    EXPECT_EQ(Fill(1024), 0);
}

TEST_F(SoundTest, BackwardToTheStartWrapsToTheLoopEndWhenLooping) {
    Loop(0, 10000);
    sound->PlaybackRate = -1.0;
    sound->Position = 500;
    EXPECT_EQ(Fill(1024), 1024);
    // In stored order: the end of the data, then the start that was in front of the position.
    ExpectBytes(0, 10000 - 524, 524);
    ExpectBytes(524, 0, 500);
    EXPECT_EQ(sound->Position, 10000 - 524);
    // Looping without a usable range wraps to the end of the data.
    Loop(0, 0);
    sound->Position = 100;
    EXPECT_EQ(Fill(200), 200);
    ExpectBytes(0, 9900, 100);
    ExpectBytes(100, 0, 100);
}

TEST_F(SoundTest, BackwardInsideALoopRangeWrapsAtItsStart) {
    Loop(2000, 4000);
    sound->PlaybackRate = -1.0;
    sound->Position = 2300;
    EXPECT_EQ(Fill(1024), 1024);
    ExpectBytes(0, 6000 - 724, 724);
    ExpectBytes(724, 2000, 300);
    EXPECT_EQ(sound->Position, 6000 - 724);
    // From behind the range, play back down into it and then around it.
    sound->Position = 8000;
    EXPECT_EQ(Fill(6500), 6500);
    ExpectBytes(0, 5500, 500);
    ExpectBytes(500, 2000, 4000);
    ExpectBytes(4500, 6000, 2000);
    EXPECT_EQ(sound->Position, 5500);
}

TEST_F(SoundTest, EmptyLoopRangeLoopsTheWholeSound) {
    Loop(2000, 0);
    sound->Position = 9500;
    EXPECT_EQ(Fill(1024), 1024);
    ExpectBytes(0, 9500, 500);
    ExpectBytes(500, 0, 524);
    EXPECT_EQ(sound->Position, 524);
    EXPECT_EQ(sound->Status, 0);   // untouched: never ended
}

TEST_F(SoundTest, PositionBetweenLoopEndAndLengthPlaysOutThenLoops) {
    Loop(2000, 4000);
    sound->Position = 8000;
    EXPECT_EQ(Fill(3000), 3000);
    ExpectBytes(0, 8000, 2000);
    ExpectBytes(2000, 2000, 1000);
    EXPECT_EQ(sound->Position, 3000);
    // Exactly at the loop end it wraps at once.
    sound->Position = 6000;
    EXPECT_EQ(Fill(100), 100);
    ExpectBytes(0, 2000, 100);
}

TEST_F(SoundTest, LoopRangeBeyondTheDataNeverReadsPastIt) {
    Loop(8000, 5000);
    sound->Position = 9500;
    EXPECT_EQ(Fill(1024), 1024);
    ExpectBytes(0, 9500, 500);
    ExpectBytes(500, 0, 524);
    Loop(-400, 100);
    sound->Position = 20000;
    EXPECT_EQ(Fill(100), 100);
    ExpectBytes(0, 0, 100);
}

TEST(SoundEmpty, SoundWithoutDataDeliversNothingAndEnds) {
    // With or without a block pointer, looping or not, forwards, backwards or held.
    uint8_t byte = 0;
    for (const uint8_t* block : {static_cast<const uint8_t*>(&byte),
                                 static_cast<const uint8_t*>(nullptr)}) {
        for (int32_t flags : {0, 1}) {
            ISonvexSound* sound = Sonvex_CreateSound(2, 16, 44100, 0, block, flags);
            std::vector<uint8_t> dest(1024, 0xEE);
            for (double rate : {1.0, -1.0, 0.0}) {
                sound->PlaybackRate = rate;
                sound->Status = 1;
                sound->LoopStart = 0;
                sound->LoopLength = 0;
                EXPECT_EQ(sound->FillBuffer(dest.data(), 1024), 0) << rate;
                EXPECT_EQ(sound->Status, 0) << rate;
            }
            sound->PlaybackRate = 1.0;
            sound->LoopLength = 400;   // a range over nothing
            sound->Status = 1;
            EXPECT_EQ(sound->FillBuffer(dest.data(), 1024), 0);
            EXPECT_EQ(sound->Status, 0);
            Sonvex_DeleteSound(sound);
        }
    }
}

}  // namespace
