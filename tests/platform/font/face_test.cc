#include <gtest/gtest.h>

#include <vector>

#include "platform/font/Face.h"

namespace {

TEST(FontFaceTest, AMissingFaceFallsBackAndDrawsCoverage) {
    auto face = font::Face::Open("Trebuchet MS", font::Face::PixelHeight(10), true, false);
    ASSERT_NE(face, nullptr);
    EXPECT_FALSE(face->GetFile().empty());
    EXPECT_EQ(font::Face::PixelHeight(10), 13);
    EXPECT_GT(face->GetCellHeight(), 10);
    EXPECT_GT(face->GetAdvance('W'), face->GetAdvance('i'));
    EXPECT_EQ(face->GetAdvance(10), 0);

    std::vector<uint32_t> bitmap(32 * 32, 0);
    face->Draw('H', bitmap.data(), 32, 32, 2, 2);
    int covered = 0;
    for (uint32_t p : bitmap) covered += (p & 0xFF) > 128 ? 1 : 0;
    EXPECT_GT(covered, 10);
    // Grey: all three bytes alike.
    for (uint32_t p : bitmap) EXPECT_EQ(p & 0xFF, (p >> 16) & 0xFF);
    // Drawn far outside: clipped, nothing written.
    std::vector<uint32_t> small(4 * 4, 0);
    face->Draw('H', small.data(), 4, 4, 100, -50);
    for (uint32_t p : small) EXPECT_EQ(p, 0u);
}

TEST(FontFaceTest, Windows1252CodesMapToTheirCharacters) {
    EXPECT_EQ(font::Face::ToUnicode(0x80), 0x20ACu);
    EXPECT_EQ(font::Face::ToUnicode(0x84), 0x201Eu);
    EXPECT_EQ(font::Face::ToUnicode(0x81), 0u);
    EXPECT_EQ(font::Face::ToUnicode(0xE4), 0xE4u);
    EXPECT_EQ(font::Face::ToUnicode('A'), uint32_t('A'));
    auto face = font::Face::Open("DejaVu Sans", 16, false, true);
    ASSERT_NE(face, nullptr);
    EXPECT_GT(face->GetAdvance(0xE4), 0);  // "ä"
    EXPECT_GT(face->GetAdvance(0x80), 0);  // the euro sign
    EXPECT_FALSE(font::Face::Open("DejaVu Sans", 0, false, false));
}

}  // namespace
