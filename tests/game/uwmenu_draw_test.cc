// The heads-up display's bar movies on the OpenGL device, read back at 800 x 600.
#include <gtest/gtest.h>

#include "logic/nLogicFlash.h"
#include "tests/logic/SpriteFixture.h"

namespace {

using UwMenuDrawTest = SpriteFixture;

TEST_F(UwMenuDrawTest, TheEnergyBarFillsToItsValue) {
    Open(800, 600);
    ASSERT_TRUE(Run("new('nlogicflash', '/usr/logic/energy') sel('/usr/logic/energy') "
                    "settexture('home:flash/energy.movie') "
                    "new('nlogicflash', '/usr/logic/status') sel('/usr/logic/status') "
                    "settexture('home:flash/statusbar.movie')"));
    auto* energy = static_cast<nLogicFlash*>(kernel->Lookup("/usr/logic/energy"));
    energy->SetPosition(660.0f, 495.0f);
    energy->SetDimension(28.0f, 95.0f);
    auto* status = static_cast<nLogicFlash*>(kernel->Lookup("/usr/logic/status"));
    status->SetPosition(100.0f, 0.0f);
    status->SetDimension(512.0f, 24.0f);
    ASSERT_TRUE(energy->SetValue("value", "100"));
    ASSERT_TRUE(status->SetValue("text", "Hilfe"));
    Frame();
    Frame();
    // Near the column's top: the fill at 100, the background at 10.
    EXPECT_TRUE(bwtest::ColorNear(At(674, 505), 0xFFFFD91Au)) << std::hex << At(674, 505);
    ASSERT_TRUE(energy->SetValue("value", "10"));
    energy->RequestUpdates();
    Frame();
    Frame();
    EXPECT_FALSE(bwtest::ColorNear(At(674, 505), 0xFFFFD91Au)) << std::hex << At(674, 505);
    EXPECT_FALSE(bwtest::ColorNear(At(674, 505), Black));
    // The status line keeps its text beside the drawing call of that name.
    const char* text = status->GetValue("text");
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "Hilfe");
    EXPECT_FALSE(TakeErrors());
}

}  // namespace
