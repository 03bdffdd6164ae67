// The editor's Lua colouring: the styles a line gets, states carried across lines, and
// edits restyling only what they change while matching a restyle from scratch.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/ui/LuaStyler.h"

namespace {

using ui::LuaStyler;

std::string Styles(LuaStyler& s, const std::string& text) {
    s.Update(text);
    std::string out;
    for (size_t i = 0; i < s.GetLength(); i++) out += static_cast<char>('a' + s.GetStyles()[i]);
    return out;
}

TEST(LuaStylerTest, TokensGetTheirStyles) {
    LuaStyler s;
    s.SetKeywords("local sel if then end");
    // a default, b comment, c line comment, e number, f keyword, g string, h character,
    // i long string, j "$" line, k operator, l identifier, m open string.
    EXPECT_EQ(Styles(s, "local x = 1.5e+3 -- hi"), "fffffalakaeeeeeeaccccc");
    EXPECT_EQ(Styles(s, "sel('a\\'b') \"x\""), "fffkhhhhhhkaggg");
    EXPECT_EQ(Styles(s, "x=\"open"), "lkmmmmm");
    EXPECT_EQ(Styles(s, "$ anything"), "jjjjjjjjjj");
    EXPECT_EQ(Styles(s, "a=[==[x]]y]==]b"), "lkiiiiiiiiiiiil");
    // Keywords match whole words only, case and all.
    EXPECT_EQ(Styles(s, "ifx If if"), "lllallaff");
    // Invalid UTF-8 and NULs are bytes like others.
    const std::string odd("\xff\xfe\0x", 4);
    EXPECT_EQ(s.StyleLine(odd.data(), odd.size(), 0, std::vector<uint8_t>(4).data()), 0);
}

TEST(LuaStylerTest, LongCommentsAndStringsCarryAcrossLinesByLevel) {
    LuaStyler s;
    s.SetKeywords("end");
    const std::string text = "--[=[ a\n]] end\n]=] end\n[[x\ny]] end";
    const std::string styles = Styles(s, text);
    ASSERT_EQ(s.GetLineCount(), 5);
    // "]]" does not close a level-1 comment; "]=]" does.
    EXPECT_EQ(styles.substr(s.LineStart(1), s.LineEnd(1) - s.LineStart(1)), "bbbbbb");
    EXPECT_EQ(styles.substr(s.LineStart(2), s.LineEnd(2) - s.LineStart(2)), "bbbafff");
    EXPECT_EQ(styles.substr(s.LineStart(3), s.LineEnd(3) - s.LineStart(3)), "iii");
    EXPECT_EQ(styles.substr(s.LineStart(4), s.LineEnd(4) - s.LineStart(4)), "iiiafff");
    EXPECT_EQ(s.LineFromPosition(s.LineStart(2)), 2);
    EXPECT_EQ(s.LineFromPosition(text.size() + 10), 4);
}

TEST(LuaStylerTest, AnEditRestylesOnlyTheLinesItReaches) {
    LuaStyler s;
    s.SetKeywords("local end");
    std::string text;
    for (int i = 0; i < 1000; i++) text += "local v" + std::to_string(i) + " = " + std::to_string(i) + "\n";
    s.Update(text);
    EXPECT_EQ(s.GetLinesRestyled(), 1001);
    s.Update(text);
    EXPECT_EQ(s.GetLinesRestyled(), 0);
    text.insert(text.find("v500"), "x");
    s.Update(text);
    EXPECT_LE(s.GetLinesRestyled(), 2);
    // Opening a long comment restyles to the end, closing it again restyles back.
    text.insert(s.LineStart(100), "--[[");
    s.Update(text);
    EXPECT_GE(s.GetLinesRestyled(), 900);
    EXPECT_EQ(s.GetStyles()[s.LineStart(999)], LuaStyler::Comment);
    text.insert(s.LineStart(200), "]]");
    s.Update(text);
    EXPECT_LE(s.GetLinesRestyled(), 802);
    EXPECT_EQ(s.GetStyles()[s.LineStart(999)], LuaStyler::Keyword);
}

TEST(LuaStylerTest, RandomEditsMatchAFreshStyling) {
    // Catches a kept line whose entry state or tail styles went stale.
    const char* pieces[] = {"\n", "--", "[[", "]]", "[=[", "]=]", "\"", "'", "local", " ", "x", "1", "\\", "=", "$"};
    std::mt19937 random(7);
    LuaStyler kept;
    kept.SetKeywords("local");
    std::string text = "local a = 1\n--[[ c ]] b = 'x'\n";
    kept.Update(text);
    for (int round = 0; round < 400; round++) {
        const size_t at = text.empty() ? 0 : random() % (text.size() + 1);
        if (random() % 3 == 0 && !text.empty()) {
            text.erase(at, std::min<size_t>(1 + random() % 6, text.size() - std::min(at, text.size())));
        } else {
            text.insert(std::min(at, text.size()), pieces[random() % std::size(pieces)]);
        }
        kept.Update(text);
        LuaStyler fresh;
        fresh.SetKeywords("local");
        fresh.Update(text);
        ASSERT_EQ(kept.GetLineCount(), fresh.GetLineCount()) << round;
        ASSERT_EQ(std::string(reinterpret_cast<const char*>(kept.GetStyles()), kept.GetLength()),
                  std::string(reinterpret_cast<const char*>(fresh.GetStyles()), fresh.GetLength()))
            << round << ": " << text;
    }
}

}  // namespace
