// A program that must fail: it loses one block of its own after a frame on the OpenGL
// device, so the leak check at exit has to report it (CTest expects the failure). Were the
// check switched off, hidden by a suppression or spoiled by the GL, SDL or sound libraries
// being loaded, this program would pass and CTest would say so.
#include <gtest/gtest.h>

#include "tests/gfx/VertexTestServer.h"

namespace {

// Out of line, so the report names it; the volatile store keeps the block from being
// optimised away, and overwriting it leaves no pointer to the block anywhere.
[[gnu::noinline]] void LoseTheCanaryBlock() {
    char* volatile block = new char[77];
    block[0] = 1;
    block = nullptr;
}

class LeakCanary : public VertexTestServer {};

TEST_F(LeakCanary, LosesOneBlockAfterAFrame) {
    ASSERT_TRUE(BeginFrame());
    gfx->EndScene();
    EXPECT_TRUE(bwtest::ColorNear(Presented(Size / 2, Size / 2), Clear));
    LoseTheCanaryBlock();
}

}  // namespace
