#include "shell/sounds.h"

#include <gtest/gtest.h>

#include "shell/busy_animation.h"
#include "shell/scripted_ui.h"
#include "shell/temp_dir.h"

namespace pelmora {
namespace {

using testing::TTempDir;
using testing::WriteFile;

class SoundsTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"attention.wav", "click.wav", "goodbye.wav"}) {
            WriteFile(Dir.Path() + name, "RIFF");
        }
        Sounds.LookUp(Dir.Path());
    }
    TTempDir Dir;
    TSounds Sounds;
    TScriptedUi Ui;
};

TEST_F(SoundsTest, LookUpKeepsOnlyExistingFiles) {
    EXPECT_EQ(Sounds.Path(TSound::Attention), Dir.Path() + "attention.wav");
    EXPECT_EQ(Sounds.Path(TSound::Click), Dir.Path() + "click.wav");
    EXPECT_EQ(Sounds.Path(TSound::NewMail), "");
    EXPECT_EQ(SoundFileName(TSound::ToTrash), "totrash.wav");
}

TEST_F(SoundsTest, SoundsOnPlayAndPump) {
    Sounds.PlaySound(TSound::Click, Ui);
    EXPECT_EQ(Ui.SoundsPlayed, std::vector<std::string>{Dir.Path() + "click.wav"});
    EXPECT_EQ(Ui.PumpCount, 1);
    EXPECT_FALSE(Sounds.SoundsOff());
    EXPECT_EQ(Ui.Beeps, 0);
}

struct TOffCase {
    const char* Name;
    TSound Sound;
    int Beeps;
};

class SoundsOffTest : public SoundsTest, public ::testing::WithParamInterface<TOffCase> {};

TEST_P(SoundsOffTest, OnlyAttentionBeeps) {
    Sounds.SetSoundsOff(true);
    Sounds.PlaySound(GetParam().Sound, Ui);
    EXPECT_TRUE(Ui.SoundsPlayed.empty());
    EXPECT_EQ(Ui.Beeps, GetParam().Beeps);
}

INSTANTIATE_TEST_SUITE_P(Rules, SoundsOffTest,
                         ::testing::Values(TOffCase{"Attention", TSound::Attention, 1},
                                           TOffCase{"Click", TSound::Click, 0},
                                           TOffCase{"MissingNewMail", TSound::NewMail, 0}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(SoundsTest, FailedPlaySwitchesSoundsOff) {
    // A missing file (empty path) fails, and so does a file the output refuses.
    Sounds.PlaySound(TSound::NewMail, Ui);
    EXPECT_TRUE(Sounds.SoundsOff());
    Sounds.SetSoundsOff(false);
    Ui.FailingSounds.push_back(Dir.Path() + "goodbye.wav");
    Sounds.PlaySound(TSound::Goodbye, Ui);
    EXPECT_TRUE(Sounds.SoundsOff());
    Sounds.PlaySound(TSound::Click, Ui);
    EXPECT_TRUE(Ui.SoundsPlayed.empty());
    Sounds.PlaySound(TSound::Attention, Ui);
    EXPECT_EQ(Ui.Beeps, 1);
}

TEST(BusyAnimationTest, CyclesFifteenFramesAndStopsOnAMissingOne) {
    TTempDir dir;
    for (int frame = 0; frame < kAnimationFrames; ++frame) {
        WriteFile(dir.Path() + "procanim" + std::to_string(frame) + ".bmp", "BM");
    }
    TScriptedUi ui;
    TBusyAnimation animation;
    animation.SetSkinDir(dir.Path());
    EXPECT_FALSE(animation.Tick(ui)) << "not started";
    animation.Start();
    for (int tick = 0; tick < kAnimationFrames + 2; ++tick) {
        ASSERT_TRUE(animation.Tick(ui));
    }
    ASSERT_EQ(ui.FramesShown.size(), static_cast<size_t>(kAnimationFrames + 2));
    EXPECT_EQ(ui.FramesShown[0], dir.Path() + "procanim0.bmp");
    EXPECT_EQ(ui.FramesShown[14], dir.Path() + "procanim14.bmp");
    EXPECT_EQ(ui.FramesShown[15], dir.Path() + "procanim0.bmp");

    std::filesystem::remove(dir.Path() + "procanim2.bmp");
    EXPECT_FALSE(animation.Tick(ui));
    EXPECT_FALSE(animation.Running());
    EXPECT_FALSE(animation.Tick(ui));
    animation.Start();
    EXPECT_FALSE(animation.Tick(ui)) << "still the missing frame";

    // A frame the window cannot load stops it as well.
    animation.ShowFirstFrame(ui);
    ui.FailingFrames.push_back(dir.Path() + "procanim0.bmp");
    animation.Start();
    EXPECT_FALSE(animation.Tick(ui));
}

} // namespace
} // namespace pelmora
