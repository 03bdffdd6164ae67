// The game's inventory-bar movie from data/, played by the real module.
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/platform/flash/MovieFixture.h"

namespace {

class InventoryBarTest : public MovieFixture {
protected:
    std::unique_ptr<flash::MovieModule> Bar() {
        const char* src = std::getenv("BW_SOURCE_DIR");
        std::ifstream in(std::string(src ? src : ".") + "/data/flash/inventorybar.movie", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        this->files["flash/inventorybar.movie"] = text.str();
        return Start("flash/inventorybar.movie");
    }
    // Slots 4 to 1 as "type:name" joined by spaces.
    static std::string Slots(flash::MovieModule& m) {
        std::string out;
        for (int i = 4; i >= 1; i--) {
            const std::string s = std::to_string(i);
            out += Get(m, ("slot" + s + "_typ").c_str()) + ":" + Get(m, ("slot" + s + "_name").c_str());
            if (i > 1) out += " ";
        }
        return out;
    }
    void Frame(flash::MovieModule& m) {
        std::vector<uint8_t> buffer(250 * 64 * 4);
        ASSERT_GE(m.Render(buffer.data(), 250, 64, 4), 0);
    }
};

TEST_F(InventoryBarTest, AWindowOfFourMovesWithinTheListAndShowsEmptyPastItsEnd) {
    auto m = Bar();
    ASSERT_TRUE(m);
    EXPECT_EQ(Slots(*m), "empty: empty: empty: empty:");

    m->SetVariable("invtyp_list_string", "a,b,c,d,e,f");
    m->SetVariable("invname_list_string", "n1,n2,n3,n4,n5,n6");
    EXPECT_EQ(Slots(*m), "a:n1 b:n2 c:n3 d:n4");

    // Handled at the next frame, then cleared; the window stops at either end.
    m->SetVariable("move_command", "left");
    EXPECT_EQ(Slots(*m), "a:n1 b:n2 c:n3 d:n4");
    Frame(*m);
    EXPECT_EQ(Get(*m, "move_command"), "");
    EXPECT_EQ(Slots(*m), "b:n2 c:n3 d:n4 e:n5");
    for (int i = 0; i < 4; i++) {
        m->SetVariable("move_command", "left");
        Frame(*m);
    }
    EXPECT_EQ(Slots(*m), "c:n3 d:n4 e:n5 f:n6");
    for (int i = 0; i < 3; i++) {
        m->SetVariable("move_command", "right");
        Frame(*m);
    }
    EXPECT_EQ(Slots(*m), "a:n1 b:n2 c:n3 d:n4");

    // A short list: the rest of the window is empty and does not move.
    m->SetVariable("invtyp_list_string", "x,y");
    m->SetVariable("invname_list_string", "k1,k2");
    m->SetVariable("move_command", "left");
    Frame(*m);
    EXPECT_EQ(Slots(*m), "x:k1 y:k2 empty: empty:");
    EXPECT_TRUE(this->logs.empty()) << this->logs.front();
}

TEST_F(InventoryBarTest, AChangedListStartsAtThePivotKeptFilled) {
    auto m = Bar();
    ASSERT_TRUE(m);
    m->SetVariable("invname_pivot", "n3");
    m->SetVariable("invtyp_list_string", "a,b,c,d,e,f");
    m->SetVariable("invname_list_string", "n1,n2,n3,n4,n5,n6");
    EXPECT_EQ(Slots(*m), "c:n3 d:n4 e:n5 f:n6");
    // Near the end the window moves back so that four entries show.
    m->SetVariable("invname_pivot", "n6");
    EXPECT_EQ(Slots(*m), "c:n3 d:n4 e:n5 f:n6");
    m->SetVariable("invname_pivot", "nobody");
    EXPECT_EQ(Slots(*m), "a:n1 b:n2 c:n3 d:n4");
}

}  // namespace
