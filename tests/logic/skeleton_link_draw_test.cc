// The skeleton and link logic nodes on the OpenGL device: a long bone drawn by the logic
// graph's debug pass, and a logic node's cube drawn where a link node stands in a visual
// tree rather than where the node itself stands.
#include <cstring>
#include <string>
#include <vector>

#include "scene/nChannelServer.h"
#include "tests/logic/LogicDrawFixture.h"
#include "tests/scene/RedCube.h"

namespace {

using bwtest::ColorNear;

constexpr uint32_t Red = 0xFFFF0000u;

class SkeletonLinkDrawTest : public LogicDrawFixture {
protected:
    void SetUp() override {
        LogicDrawFixture::SetUp();
        // The skeleton is a physics node, and the debug pass draws both servers' shapes.
        MakePhysikServers();
        channels = static_cast<nChannelServer*>(Lookup("/sys/servers/channel"));
        cube = Write("cube.n3d", std::vector<uint8_t>(CubeN3d, CubeN3d + std::strlen(CubeN3d)));
    }

    nChannelServer* channels = nullptr;
    std::string cube;
};

TEST_F(SkeletonLinkDrawTest, TheDebugPassDrawsABoneAsARedLine) {
    // A root at the left of row 32 and a child across the window from it; an empty
    // picture makes the node visible.
    const std::string s = "new('n3dnode', '/empty') new('nmodvisualizer', '/usr/modules/none')"
                          " sel('/usr/modules/none') setvisual('/empty')"
                          " new('nlogicnode', '/usr/logic') new('nlogicskeleton', '/usr/logic/s') sel('/usr/logic/s')"
                          " addvisualizer('default', '/usr/modules/none') beginjoints(2)"
                          " addjoint(0, 'root', -1, " + std::to_string(ClipX(8)) + ", " + std::to_string(ClipY(32)) +
                          ", -0.5, 0, 0, 0, 1) addjoint(1, 'tip', 0, " + std::to_string(ClipX(56) - ClipX(8)) +
                          ", 0, 0, 0, 0, 0, 1) endjoints() sel('/')";
    ASSERT_TRUE(Run(s));
    graph->SetDebug(true);
    static_cast<nLogicNode*>(Lookup("/usr/logic"))->Trigger(graph);
    LogicFrame();
    for (int x : {12, 32, 52}) EXPECT_TRUE(NearPixel(x, 32, Red)) << x;
    EXPECT_TRUE(ColorNear(Presented(32, 16), Clear));
    EXPECT_TRUE(ColorNear(Presented(60, 32), Clear));
}

TEST_F(SkeletonLinkDrawTest, TheLinkDrawsTheNamedNodeWhereTheLinkStands) {
    // The node stands right of the middle; the link's transform puts it in the middle.
    ASSERT_TRUE(Run("new('n3dnode', '/tmpl'); sel('/tmpl'); new('nmeshnode', 'mesh'); sel('mesh');"
                    " setfilename('" + cube + "');"
                    " new('nmodvisualizer', '/usr/modules/cube'); sel('/usr/modules/cube'); setvisual('/tmpl');"
                    " new('nlogicvisual2', '/usr/shown'); sel('/usr/shown'); txyz(0.5, 0, -0.5);"
                    " addvisualizer('default', '/usr/modules/cube');"
                    " new('n3dnode', '/scene'); sel('/scene'); txyz(0, 0, -0.5);"
                    " new('nlogiclinknode', 'link'); sel('link'); setchannel('shown'); sel('/')"));
    channels->SetChannelString(channels->GenChannel("shown"), "/usr/shown");
    Frame("/scene");
    EXPECT_TRUE(ColorNear(Presented(32, 32), Red));
    EXPECT_TRUE(ColorNear(Presented(48, 32), Clear));

    // Named no more, nothing is drawn.
    channels->SetChannelString(channels->GenChannel("shown"), "");
    Frame("/scene");
    EXPECT_TRUE(ColorNear(Presented(32, 32), Clear));
}

}  // namespace
