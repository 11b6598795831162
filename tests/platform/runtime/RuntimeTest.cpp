#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "platform/runtime/App.h"
#include "platform/runtime/Incbin.h"
#include "platform/runtime/Object.h"
#include "platform/runtime/Strings.h"
#include "platform/runtime/TBank.h"
#include "platform/runtime/TList.h"
#include "platform/runtime/TMap.h"

namespace {

struct Tracked : fw::Object {
    explicit Tracked(int* deletes, int tag = 0) : deletes_(deletes), tag(tag) {}
    void Delete() override { ++*deletes_; }
    int* deletes_;
    int tag;
};

struct Other : fw::Object {};

TEST(Object, DeleteRunsOnceWhenTheLastHandleGoes) {
    int deletes = 0;
    {
        fw::Ref<Tracked> a = fw::New<Tracked>(&deletes);
        fw::Ref<Tracked> b = a;
        EXPECT_EQ(a->RefCount(), 2);
        a = nullptr;
        EXPECT_EQ(deletes, 0);
        EXPECT_EQ(b->RefCount(), 1);
    }
    EXPECT_EQ(deletes, 1);
}

TEST(Object, CountSurvivesHandlesDroppedOnTwoThreads) {
    int deletes = 0;
    fw::Ref<Tracked> shared = fw::New<Tracked>(&deletes);
    auto churn = [&shared] {
        for (int i = 0; i < 100000; ++i) {
            fw::Ref<Tracked> copy = shared;
        }
    };
    std::thread one(churn);
    std::thread two(churn);
    one.join();
    two.join();
    EXPECT_EQ(shared->RefCount(), 1);
    shared = nullptr;
    EXPECT_EQ(deletes, 1);
}

// A raw pointer never becomes a handle by itself: a new object passed to a by-value Ref
// parameter would be freed at the end of the call.
static_assert(!std::is_convertible_v<Tracked*, fw::Ref<Tracked>>);

TEST(Object, ADeleteStepThatTakesAHandleOnItsObjectDestroysItOnce) {
    struct Listed : fw::Object {
        explicit Listed(int* deletes) : deletes_(deletes) {}
        void Delete() override {
            ++*deletes_;
            fw::Ref<Listed> self(this);   // as a driver leaving a list does
            list.Remove(self);
        }
        int* deletes_;
        fw::TList<Listed> list;
    };
    int deletes = 0;
    fw::New<Listed>(&deletes);
    EXPECT_EQ(deletes, 1);
}

TEST(Object, TypeChecksAndNone) {
    int deletes = 0;
    fw::Ref<fw::Object> object = fw::New<Tracked>(&deletes);
    EXPECT_FALSE(fw::Cast<Tracked>(object).IsNone());
    EXPECT_TRUE(fw::Cast<Other>(object).IsNone());
    fw::Ref<fw::Object> none;
    EXPECT_TRUE(none.IsNone());
    EXPECT_TRUE(fw::Cast<Tracked>(none).IsNone());
}

TEST(Strings, LowerAndJoin) {
    EXPECT_EQ(fw::Lower("FLAC Files.Mod"), "flac files.mod");
    EXPECT_EQ(fw::Join({"wav", "flac", "ogg"}, ","), "wav,flac,ogg");
    EXPECT_EQ(fw::Join({}, ","), "");
    EXPECT_EQ(fw::Join({"one"}, ";"), "one");
}

TEST(Containers, ListKeepsOrderAndMapReplaces) {
    int deletes = 0;
    fw::TList<Tracked> list;
    for (int tag = 0; tag < 4; ++tag) {
        list.AddLast(fw::New<Tracked>(&deletes, tag));
    }
    std::vector<int> seen;
    for (const auto& item : list) {
        seen.push_back(item->tag);
    }
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3}));

    fw::TMap<std::string, Tracked> map;
    map.Insert("a", fw::New<Tracked>(&deletes, 1));
    map.Insert("a", fw::New<Tracked>(&deletes, 2));
    EXPECT_EQ(deletes, 1);  // the replaced value is let go
    EXPECT_EQ(map.ValueForKey("a")->tag, 2);
    EXPECT_TRUE(map.ValueForKey("b").IsNone());
    EXPECT_EQ(map.Count(), 1u);
}

TEST(Containers, BankHoldsItsBytes) {
    const char text[] = "bank";
    fw::Ref<fw::TBank> bank = fw::New<fw::TBank>(text, 4);
    ASSERT_EQ(bank->Size(), 4u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bank->Buf()), 4), "bank");
    EXPECT_EQ(fw::New<fw::TBank>(16)->Size(), 16u);
}

TEST(Incbin, NamesResolveToTheirData) {
    static const unsigned char image[] = {1, 2, 3};
    fw::IncbinAdd("test.bin", image, 3);
    EXPECT_EQ(fw::IncbinPtr("test.bin"), image);
    EXPECT_EQ(fw::IncbinLen("test.bin"), 3);
    EXPECT_EQ(fw::IncbinPtr("missing.bin"), nullptr);
    EXPECT_EQ(fw::IncbinLen("missing.bin"), 0);
}

TEST(App, FileTypes) {
    const auto dir = std::filesystem::temp_directory_path();
    const auto file = dir / ("sonvex_filetype_" + std::to_string(getpid()) + ".txt");
    std::FILE* out = std::fopen(file.c_str(), "w");
    ASSERT_NE(out, nullptr);
    std::fclose(out);
    EXPECT_EQ(fw::FileType(file.string()), fw::FILETYPE_FILE);
    EXPECT_EQ(fw::FileType(dir.string()), fw::FILETYPE_DIR);
    std::filesystem::remove(file);
    EXPECT_EQ(fw::FileType(file.string()), fw::FILETYPE_NONE);
    EXPECT_EQ(fw::FileType(""), fw::FILETYPE_NONE);
}

TEST(App, ArgumentsTitleAndExitHandlers) {
    char program[] = "/usr/bin/player";
    char first[] = "song.wav";
    char* argv[] = {program, first};
    fw::StartApp(2, argv);
    ASSERT_EQ(fw::AppArgs().size(), 2u);
    EXPECT_EQ(fw::AppArgs()[1], "song.wav");
    EXPECT_EQ(fw::AppTitle(), "player");

    std::vector<int> order;
    fw::OnEnd([&order] { order.push_back(1); });
    fw::OnEnd([&order] { order.push_back(2); });
    fw::RunExitHandlers();
    fw::RunExitHandlers();  // each handler runs once
    EXPECT_EQ(order, (std::vector<int>{2, 1}));
}

TEST(App, ExitHandlersRunDriversThenEngineThenTheRestWhateverTheirOrder) {
    std::vector<std::string> order;
    fw::OnEnd([&order] { order.push_back("rest"); });
    fw::OnEnd([&order] { order.push_back("engine"); }, fw::EndPhase::Engine);
    fw::OnEnd(
        [&order] {
            order.push_back("driver");
            fw::OnEnd([&order] { order.push_back("added while ending"); });
        },
        fw::EndPhase::Drivers);
    fw::RunExitHandlers();
    EXPECT_EQ(order, (std::vector<std::string>{"driver", "engine", "added while ending", "rest"}));
}

TEST(App, EndRunsHandlersAndExitsWithZero) {
    EXPECT_EXIT(
        {
            fw::OnEnd([] { std::fputs("handler ran\n", stderr); });
            fw::End();
        },
        testing::ExitedWithCode(0), "handler ran");
}

TEST(App, NotifyGoesToStandardErrorUntilAPresenterIsInstalled) {
    testing::internal::CaptureStderr();
    fw::Notify("Unable to open", true);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Unable to open\n");

    std::string shown;
    bool wasSerious = false;
    fw::SetNotifyPresenter([&](const std::string& text, bool serious) {
        shown = text;
        wasSerious = serious;
    });
    fw::Notify("hello");
    fw::SetNotifyPresenter(nullptr);
    EXPECT_EQ(shown, "hello");
    EXPECT_FALSE(wasSerious);
}

}  // namespace
