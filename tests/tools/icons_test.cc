// The tools' icons as the build draws them, read through the file server and the BMP
// reader as the tools will read them.
#include "gfx/nBmpFile.h"
#include "tests/tools/ToolsFixture.h"

namespace {

using IconsTest = ToolsFixture;

TEST_F(IconsTest, EveryResourceBitmapIsA16By16PictureOnTheMaskColour) {
    std::vector<int> ids = {110, 111, 112, 113, 114, 115};
    for (int id = 127; id <= 151; id++) ids.push_back(id);
    for (int id : ids) {
        SCOPED_TRACE(id);
        nBmpFile file;
        // From the build's archive, as the tools read them.
        ASSERT_TRUE(file.Open(("home:ui/icons/" + std::to_string(id) + ".bmp").c_str(), "rb"));
        ASSERT_EQ(file.GetWidth(), 16);
        ASSERT_EQ(file.GetHeight(), 16);
        EXPECT_EQ(file.GetRowSize(), 48);
        int masked = 0;
        int row = 0;
        for (int line = 0; line < 16; line++) {
            const uint8_t* pixels = file.ReadLine(row);
            ASSERT_NE(pixels, nullptr);
            for (int x = 0; x < 16; x++) {
                // Stored blue, green, red: pure blue is the mask.
                masked += pixels[x * 3] == 255 && pixels[x * 3 + 1] == 0 && pixels[x * 3 + 2] == 0;
            }
        }
        // Each picture has its mask around it and something drawn.
        EXPECT_GT(masked, 0);
        EXPECT_LT(masked, 256);
        file.Close();
    }
}

}  // namespace
