// The README as a player reads it: how to start the game, then how to play (level 1's
// tasks and the keys), and only then how to test it.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string Readme() {
    std::stringstream text;
    text << std::ifstream(std::string(BW_SOURCE_DIR) + "/README.md").rdbuf();
    return text.str();
}

TEST(ReadmeTest, APlayerFindsHowToPlayBeforeTheTestHintsAndWhenTheGameOpensAWindow) {
    const std::string text = Readme();
    ASSERT_FALSE(text.empty());
    const size_t start = text.find("build/release/bin/win32/brinewick\n");
    const size_t play = text.find("\n## Playing level 1\n");
    const size_t controls = text.find("\n## Controls\n");
    const size_t hints = text.find("\n## Test hints\n");
    ASSERT_NE(start, std::string::npos);
    ASSERT_NE(play, std::string::npos);
    ASSERT_NE(controls, std::string::npos);
    ASSERT_NE(hints, std::string::npos);
    // The two commands, then playing, the keys and the hints, in that order; no test hint
    // stands before the play part is done.
    EXPECT_LT(text.find("bash .ci/test"), start);
    EXPECT_LT(start, play);
    EXPECT_LT(play, controls);
    EXPECT_LT(controls, hints);
    EXPECT_GT(text.find("ctest --test-dir"), hints);
    // Between the start command and the play part: when a window comes instead of full screen.
    const std::string display = text.substr(start, play - start);
    for (const char* said : {"full screen", "window", "800 x 600", "mode switching"})
        EXPECT_NE(display.find(said), std::string::npos) << said;
    // The play part names the level's tasks, how the seabed and the doorway are reached, and
    // whose the bars by the hand's panel are.
    const std::string tasks = text.substr(play, controls - play);
    for (const char* said : {"camera", "cutter", "door", "sand remover", "heap", "air bag", "crate", "basket",
                             "switch", "vent", "Tab", "pitching the nose down: F (or Page Down)",
                             "belong to the held thing"})
        EXPECT_NE(tasks.find(said), std::string::npos) << said;
}

}  // namespace
