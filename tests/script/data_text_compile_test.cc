// What compiling data's text costs: a line in a frame is priced by its bytes and by the labels
// and jumps that the parser compares in it, before the parser sees it.
#include <string>

#include "tests/script/script_fixture.h"

namespace {

using DataTextCompileTest = nScriptFixture;

// The menu's line once compiled 990 KB of many-label functions in the game's state each frame,
// at 0.1 of the menu's frames; the same labels in strings and comments cost nothing.
TEST_F(DataTextCompileTest, ALinesLabelsArePricedBeforeItCompilesInTheFramesShare) {
    std::string labels;
    for (int i = 0; i < 6000; i++) labels += "::l" + std::to_string(i) + ":: x = 1 ";
    // As many "::" as the labels have, and short enough to compile in the least time a frame
    // gives a line (6 ms).
    const std::string colons(12'000, ':');
    const std::string quoted = "y = '" + colons + "' -- goto break " + colons + "\n";
    const struct {
        const char* name;
        std::string line;
        bool runs;
    } cases[] = {
        {"six thousand labels in one function", "do " + labels + "end", false},
        {"as many in strings and comments", quoted, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        log.text.clear();
        server->Trigger();
        const char* result = nullptr;
        EXPECT_EQ(server->RunDataText(c.line.c_str(), result), c.runs) << log.text;
        EXPECT_EQ(LogHas("ran past its budget"), !c.runs) << log.text;
    }
}

}  // namespace
