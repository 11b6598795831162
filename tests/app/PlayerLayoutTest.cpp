// The window as the toolkit built it: every gadget where the layout tables put it, the meter
// image embedded, and a screenshot of the player at start.

#include <string>

#include "tests/app/PlayerFixture.h"

namespace {

using player_test::StartPlayer;

struct Placement {
    const char* name;
    fw::Ref<fw::TGadget> gadget;
    fw::Ref<fw::TGadget> parent;
    int32_t x, y, w, h;
    int32_t kind;
    std::string text;
};

TEST(PlayerLayoutTest, EveryGadgetSitsWhereTheTablesPutIt) {
    fw::Ref<app::TApp> player = StartPlayer();
    ASSERT_TRUE(player);
    const int32_t posW = fw::ClientWidth(player->PosGroup) - 5;
    const int32_t panW = fw::ClientWidth(player->PanGroup) - 5;
    const int32_t volW = fw::ClientWidth(app::VolumeGroup) - 5;
    const Placement table[] = {
        {"ScopeScrollPanel", app::ScopeScrollPanel, app::MainWindow, 14, 254, 492, 140, fw::GADGET_SCROLLPANEL, ""},
        {"ScopeCanvas", app::ScopeCanvas, app::ScopeScrollClient, 0, 0, 6144, 115, fw::GADGET_CANVAS, ""},
        {"VuPanel", app::VuPanel, app::MainWindow, 14, 120, 492, 122, fw::GADGET_PANEL, ""},
        {"VuBarLeft", app::VuBarLeft, app::VuPanel, 1, 18, 482, 28, fw::GADGET_PROGBAR, ""},
        {"VuBarRight", app::VuBarRight, app::VuPanel, 1, 46, 482, 28, fw::GADGET_PROGBAR, ""},
        {"VolumeGroup", app::VolumeGroup, app::MainWindow, 212, 64, 164, 56, fw::GADGET_PANEL, "MAIN VOLUME"},
        {"VolumeSlider", app::VolumeSlider, app::VolumeGroup, 2, 3, volW, fw::ClientHeight(app::VolumeGroup), fw::GADGET_SLIDER, ""},
        {"ControlsGroup", app::ControlsGroup, app::MainWindow, 18, 8, 484, 47, fw::GADGET_PANEL, "CONTROLS"},
        {"ClipIndicator", app::ClipIndicator, app::ControlsGroup, 345, 3, 50, 19, fw::GADGET_BUTTON, "D.CLIP"},
        {"myload", player->myload, app::ControlsGroup, 4, 3, 70, 19, fw::GADGET_BUTTON, "LOAD"},
        {"myplay", player->myplay, app::ControlsGroup, 80, 3, 70, 19, fw::GADGET_BUTTON, "PLAY"},
        {"mylop", player->mylop, app::ControlsGroup, 156, 3, 70, 19, fw::GADGET_BUTTON, "LOOP"},
        {"mydivdue", player->mydivdue, app::ControlsGroup, 232, 3, 50, 19, fw::GADGET_BUTTON, "SLOW"},
        {"myperdue", player->myperdue, app::ControlsGroup, 288, 3, 50, 19, fw::GADGET_BUTTON, "FAST"},
        {"myabout", player->myabout, app::ControlsGroup, 403, 3, 70, 19, fw::GADGET_BUTTON, "ABOUT"},
        {"PosGroup", player->PosGroup, app::MainWindow, 18, 64, 190, 56, fw::GADGET_PANEL, "PROGRESS"},
        {"myslider", player->myslider, player->PosGroup, 2, 3, posW, fw::ClientHeight(player->PosGroup),
         fw::GADGET_SLIDER, ""},
        {"PanGroup", player->PanGroup, app::MainWindow, 380, 64, 123, 56, fw::GADGET_PANEL, "PAN"},
        {"mypan", player->mypan, player->PanGroup, 2, 3, panW, fw::ClientHeight(player->PanGroup),
         fw::GADGET_SLIDER, ""},
    };
    EXPECT_EQ(fw::GadgetText(app::MainWindow), "Telvo Audio Player V2.2 - (Wav/Flac/Ogg)");
    EXPECT_EQ(fw::GadgetX(app::MainWindow), 32);
    EXPECT_EQ(fw::GadgetY(app::MainWindow), 32);
    EXPECT_EQ(fw::GadgetWidth(app::MainWindow), 528);
    EXPECT_EQ(fw::GadgetHeight(app::MainWindow), 458);
    EXPECT_GT(posW, 0);

    for (const Placement& p : table) {
        SCOPED_TRACE(p.name);
        ASSERT_TRUE(p.gadget);
        EXPECT_EQ(fw::GadgetGroup(p.gadget), p.parent);
        EXPECT_EQ(fw::GadgetClass(p.gadget), p.kind);
        EXPECT_EQ(fw::GadgetX(p.gadget), p.x);
        EXPECT_EQ(fw::GadgetY(p.gadget), p.y);
        EXPECT_EQ(fw::GadgetWidth(p.gadget), p.w);
        EXPECT_EQ(fw::GadgetHeight(p.gadget), p.h);
        if (p.kind != fw::GADGET_SLIDER && p.kind != fw::GADGET_PROGBAR && p.kind != fw::GADGET_CANVAS &&
            p.kind != fw::GADGET_SCROLLPANEL) {
            EXPECT_EQ(fw::GadgetText(p.gadget), p.text);
        }
        // Where the toolkit put it: the table's offset from the parent's client origin, the
        // same origin for every child of one parent, and the table's size.
        int32_t x = 0, y = 0, w = 0, h = 0;
        int32_t px = 0, py = 0, pw = 0, ph = 0;
        fw::GadgetScreenRect(p.gadget, x, y, w, h);
        EXPECT_EQ(w, p.w);
        EXPECT_EQ(h, p.h);
        if (p.parent == app::MainWindow) {
            EXPECT_EQ(x, p.x);
            EXPECT_EQ(y, p.y);
        } else if (p.parent != app::ScopeScrollClient) {
            fw::GadgetScreenRect(p.parent, px, py, pw, ph);
            const int32_t originX = x - p.x - px;
            const int32_t originY = y - p.y - py;
            EXPECT_GE(originX, 0);
            EXPECT_GE(originY, 0);
            EXPECT_EQ(pw - originX - fw::ClientWidth(p.parent) >= 0, true);
            EXPECT_EQ(ph - originY - fw::ClientHeight(p.parent) >= 0, true);
            for (const Placement& sibling : table) {
                if (sibling.parent == p.parent) {
                    int32_t sx = 0, sy = 0, sw = 0, sh = 0;
                    fw::GadgetScreenRect(sibling.gadget, sx, sy, sw, sh);
                    EXPECT_EQ(sx - sibling.x, x - p.x) << sibling.name;
                    EXPECT_EQ(sy - sibling.y, y - p.y) << sibling.name;
                }
            }
        }
    }

    // Start-up state: the lamp grey and disabled, the sliders' ranges, nothing open.
    EXPECT_EQ(fw::GadgetColor(app::ClipIndicator), 0xECECEC);
    EXPECT_EQ(fw::GadgetDisabled(app::ClipIndicator), 1);
    EXPECT_EQ(fw::SliderLow(app::VolumeSlider), 0);
    EXPECT_EQ(fw::SliderHigh(app::VolumeSlider), 19);
    EXPECT_EQ(fw::SliderValue(app::VolumeSlider), 19);
    EXPECT_EQ(fw::SliderLow(player->mypan), -9);
    EXPECT_EQ(fw::SliderHigh(player->mypan), 9);
    EXPECT_EQ(fw::SliderValue(player->mypan), 0);
    EXPECT_FALSE(app::CurrentChannel);
    ASSERT_TRUE(player->Timer);
    EXPECT_EQ(player->Timer->Period(), 16);
    EXPECT_EQ(fw::CanvasPixel(app::ScopeCanvas, 100, 50), 0xD2D7D2);

    // The meter scale, decoded from the embedded PNG.
    ASSERT_TRUE(app::VuPixmap);
    EXPECT_EQ(fw::PixmapWidth(app::VuPixmap), 492);
    EXPECT_EQ(fw::PixmapHeight(app::VuPixmap), 107);
    EXPECT_EQ(fw::ReadPixel(app::VuPixmap, 200, 53) & 0xFFFFFF, 0x969896u);

    player_test::RunFor(300);
    EXPECT_TRUE(player_test::Screenshot("player-start"));
}

}  // namespace
