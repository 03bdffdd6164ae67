// The 2D logic server: one frame's mouse events read once, registered buttons served in
// priority order, the first under the mouse claiming it, the table bounded at 128.
#include <vector>

#include "tests/logic/ObserverFixture.h"

namespace {

struct Served {
    int id;
    int x, y;
    bool down, up, owner;
};

class TestButton final : public nLogic2DClient {
public:
    TestButton(nLogic2DServer* s, std::vector<Served>* log, int id, int priority, bool under)
        : server(s), log(log), id(id), priority(priority), under(under) {}
    int GetPriority() const override { return priority; }
    void HandleMouse(int32_t x, int32_t y, bool down, bool up) override {
        bool owner = under && server->ClaimMouse(this);
        log->push_back({id, x, y, down, up, owner});
    }
    nLogic2DServer* server;
    std::vector<Served>* log;
    int id, priority;
    bool under;
};

}  // namespace

class Logic2DServerTest : public ObserverFixture {
protected:
    Served Frame(TestButton& b) {
        served.clear();
        gfx2d->Register(&b);
        gfx2d->Trigger();
        input->FlushEvents();
        return served.empty() ? Served{-1, 0, 0, false, false, false} : served[0];
    }
    std::vector<Served> served;
};

TEST_F(Logic2DServerTest, MousePositionAndLeftButtonEdges) {
    TestButton b(gfx2d, &served, 1, 0, false);
    // No registration: the events stay unread and the position unchanged.
    input->Mouse(N_INPUT_MOUSE_MOVE, 5, 6);
    gfx2d->Trigger();
    EXPECT_EQ(gfx2d->GetMouseX(), 0);
    input->FlushEvents();

    input->Mouse(N_INPUT_MOUSE_MOVE, 40, 30);
    Served s = Frame(b);
    EXPECT_EQ(s.x, 40);
    EXPECT_EQ(s.y, 30);
    EXPECT_FALSE(s.down || s.up);

    // No events: the last position, no edges.
    s = Frame(b);
    EXPECT_EQ(s.x, 40);
    EXPECT_FALSE(s.down || s.up);

    input->Mouse(N_INPUT_BUTTON_DOWN, 0, 0);
    input->Mouse(N_INPUT_BUTTON_UP, 0, 0);
    s = Frame(b);
    EXPECT_TRUE(s.down && s.up);
    EXPECT_EQ(s.x, 40);

    input->Mouse(N_INPUT_BUTTON_DOWN, 0, 0, 1);
    input->Mouse(N_INPUT_BUTTON_UP, 0, 0, 1);
    s = Frame(b);
    EXPECT_FALSE(s.down || s.up);
}

TEST_F(Logic2DServerTest, PriorityOrderAndFirstClaimWins) {
    TestButton b3(gfx2d, &served, 3, 3, true), b1(gfx2d, &served, 1, 1, true), b2(gfx2d, &served, 2, 2, true);
    // Equal priorities keep their registration order.
    TestButton e1(gfx2d, &served, 21, 2, false), e2(gfx2d, &served, 22, 2, false);
    for (TestButton* b : {&b3, &e1, &b1, &b2, &e2}) gfx2d->Register(b);
    gfx2d->Trigger();
    ASSERT_EQ(served.size(), 5u);
    std::vector<int> order, owners;
    for (const Served& s : served) {
        order.push_back(s.id);
        if (s.owner) owners.push_back(s.id);
    }
    EXPECT_EQ(order, (std::vector<int>{1, 21, 2, 22, 3}));
    EXPECT_EQ(owners, std::vector<int>{1});
    EXPECT_EQ(gfx2d->GetNumRegistered(), 0);

    // The owner is cleared before the next frame's dispatch.
    served.clear();
    gfx2d->Register(&b2);
    gfx2d->Trigger();
    ASSERT_EQ(served.size(), 1u);
    EXPECT_TRUE(served[0].owner);
}

TEST_F(Logic2DServerTest, The129thButtonWaits) {
    std::vector<TestButton> buttons;
    buttons.reserve(129);
    for (int i = 0; i < 129; i++) buttons.emplace_back(gfx2d, &served, i, 0, false);
    for (int i = 0; i < 128; i++) EXPECT_TRUE(gfx2d->Register(&buttons[i]));
    EXPECT_FALSE(gfx2d->Register(&buttons[128]));
    gfx2d->Trigger();
    ASSERT_EQ(served.size(), 128u);
    EXPECT_EQ(served.back().id, 127);
}
