// The diver's tools: what the documentation tool, the sand remover and the cutting tool
// save and store, and shots of cameras and sonars scoring and lighting what the view
// zone, carried by a holder, sees.
#include <gtest/gtest.h>

#include <string>

#include "game/nbwDokuTool.h"
#include "game/nbwSandRemover.h"
#include "logic/nModCollisionState.h"
#include "logic/nModVisualizerState.h"
#include "logic/nPersistLogic.h"
#include "tests/game/ItemUseFixture.h"
#include "tests/logic/nRecordingVisualizer.h"

namespace {

// Carries a documentation tool as the diver does: each frame the tool's view goes to the
// tool's matrix times the holder's.
class nTestHolder : public nLogicCollision2 {
public:
    static const nClassInfo classInfo;
    void UpdateModules(const matrix44& world) override {
        nLogicCollision2::UpdateModules(world);
        if (tool) tool->UpdateCamera(tool->GetMatrix() * world);
    }
    nbwDokuTool* tool = nullptr;
};
const nClassInfo nTestHolder::classInfo = nClassInfo::Make<nTestHolder>("ntestholder", "nlogiccollision2");

class ToolTest : public ItemUseFixture {
protected:
    void SetUp() override {
        ItemUseFixture::SetUp();
        kernel->AddClass(nTestHolder::classInfo);
        ASSERT_TRUE(Run(R"lua(
            function solid(cls, path, x)
                new(cls, path) sel(path) txyz(x, 0, 0)
                new('nmodsimplecollision', 's') sel('s') setradius(0.5) setcollclass('solid') sel('..')
            end
            function item(name, x, doc)
                solid('nbwitem', '/usr/logic/' .. name, x) addcollision('item', 's') setfloat('docvalue', doc)
            end
            function scenery(name, x)
                solid('nlogiccollision2', '/usr/logic/' .. name, x)
                addcollision('body', 's') setcollcontext('body', 'physik')
            end
        )lua"));
    }
    // A tool of `type` at x = 1 carried by a holder at x = 10: its view, a ghost sphere of
    // radius 3, stands at x = 11.
    nbwDokuTool* Carried(const char* type) {
        EXPECT_TRUE(Run(std::string("new('nbwdokutool', '/usr/logic/tool') sel('/usr/logic/tool') txyz(1, 0, 0)"
                                    " setstring('type', '") +
                        type +
                        "') setfloat('alteration', 0.1)"
                        " new('nmodsimplecollision', 'v') sel('v') setradius(3) setcollclass('ghost')"
                        " setdynamic(true) sel('..') addcollision('camera', 'v')"
                        " new('ntestholder', '/usr/logic/holder') sel('/usr/logic/holder') txyz(10, 0, 0)"));
        auto* tool = static_cast<nbwDokuTool*>(Lookup("/usr/logic/tool"));
        static_cast<nTestHolder*>(Lookup("/usr/logic/holder"))->tool = tool;
        return tool;
    }
    std::string Shot() {
        return Run("obj('/usr/logic/tool').makedokumentation(7)") ? Eval("obj('/usr/logic/tool').getdokumentation()")
                                                                   : "<error>";
    }
    nbwItem* At(const char* name) { return Item(std::string("/usr/logic/") + name); }
};

TEST_F(ToolTest, EachToolSavesTheItemLinesThenItsOwnValue) {
    ASSERT_TRUE(Run("new('nbwdokutool', '/usr/logic/cam') sel('/usr/logic/cam') setdokumentation(2.5)"
                    " new('nbwsandremover', '/usr/logic/sweep') sel('/usr/logic/sweep') setsweeppower(0.75)"
                    " new('nbwcuttool', '/usr/logic/cut')"));
    EXPECT_EQ(Eval("obj('/usr/logic/cam').getdokumentation()"), "2.5");
    EXPECT_EQ(Eval("obj('/usr/logic/sweep').getsweeppower()"), "0.75");
    EXPECT_EQ(Eval("getcollcontext('camera')"), "nil");
    EXPECT_EQ(Eval("obj('/usr/logic/cam').getcollcontext('camera')"), "physik");
    EXPECT_FALSE(static_cast<nbwDokuTool*>(Lookup("/usr/logic/cam"))->GetCameraState()->GetEnabled());

    struct Case {
        const char* name;
        const char* last;
    };
    for (const Case& c : {Case{"cam", "setdokumentation( 2.50000000 )\n"},
                          Case{"sweep", "setsweeppower( 0.75000000 )\n"}, Case{"cut", ""}}) {
        ASSERT_TRUE(Lookup((std::string("/usr/logic/") + c.name).c_str())->SaveAs(Path(c.name).c_str()));
        const std::string text = Slurp(Path(std::string(c.name) + ".n"));
        const std::string tail = std::string("setultrasonictime( 1.00000000 )\n") + c.last;
        const size_t at = text.find(tail);
        ASSERT_NE(at, std::string::npos) << text;
        EXPECT_EQ(text.find("set", at + tail.size()), std::string::npos) << text;
    }

    // The documentation value goes to the store after the item's values and comes back.
    ASSERT_TRUE(Run("new('npersistlogic', '/usr/persist/cam') sel('/usr/logic/cam') setpersist('/usr/persist/cam')"
                    " new('nbwdokutool', '/usr/logic/cam2') sel('/usr/logic/cam2')"));
    auto* cam = static_cast<nbwDokuTool*>(Lookup("/usr/logic/cam"));
    auto* store = static_cast<nPersistLogic*>(Lookup("/usr/persist/cam"));
    cam->StoreToPersist(store);
    ASSERT_NE(store->GetVar("docuvalue"), nullptr);
    EXPECT_FLOAT_EQ(store->GetVar("docuvalue")->GetF(), 2.5f);
    EXPECT_EQ(std::string(store->GetVarNameAt(store->GetNumVars() - 1)), "docuvalue");
    auto* back = static_cast<nbwDokuTool*>(Lookup("/usr/logic/cam2"));
    back->RestoreFromPersist(store);
    EXPECT_FLOAT_EQ(back->GetDokumentation(), 2.5f);
}

TEST_F(ToolTest, APhotoCollectsEachItemsValueOnceAndWearsTheCamera) {
    nbwDokuTool* tool = Carried("fotoapparat");
    // In the view at x = 11, and one beside the tool itself that the view does not reach.
    ASSERT_TRUE(Run("item('a', 11, 2) item('b', 12, 0) item('c', 10, 1) item('near', 1, 4)"));
    GameFrame(0.1f);
    EXPECT_FLOAT_EQ(tool->GetDokumentation(), 0.0f);
    EXPECT_EQ(Shot(), "0.5");
    EXPECT_TRUE(tool->GetCameraState()->GetEnabled());
    EXPECT_FLOAT_EQ(tool->GetFloat(nbwItem::Hitpoints), 0.9f);
    GameFrame(0.1f);
    EXPECT_FLOAT_EQ(tool->GetDokumentation(), 3.5f);
    EXPECT_FALSE(tool->GetCameraState()->GetEnabled());
    for (const char* name : {"a", "b", "c"}) EXPECT_FLOAT_EQ(At(name)->GetFloat(nbwItem::DocValue), 0.0f) << name;
    EXPECT_FLOAT_EQ(At("near")->GetFloat(nbwItem::DocValue), 4.0f);
    // Off, the zone sees nothing more; a second photo adds only the shot.
    GameFrame(0.1f);
    EXPECT_FLOAT_EQ(tool->GetDokumentation(), 3.5f);
    Shot();
    GameFrame(0.1f);
    EXPECT_FLOAT_EQ(tool->GetDokumentation(), 4.0f);
    EXPECT_FALSE(tool->GetCameraState()->GetEnabled());
}

TEST_F(ToolTest, AShotWaitsForAPassThatSeesSomethingAndACameraScoresScenery) {
    nbwDokuTool* tool = Carried("fotoapparat");
    EXPECT_EQ(Shot(), "0.5");
    for (int i = 0; i < 3; i++) GameFrame(0.1f);
    EXPECT_TRUE(tool->GetCameraState()->GetEnabled());
    EXPECT_FLOAT_EQ(tool->GetDokumentation(), 0.5f);
    // Two pieces of scenery come into view: 0.1 each, then the zone is off.
    ASSERT_TRUE(Run("scenery('rock', 11) scenery('reef', 12)"));
    GameFrame(0.1f);
    EXPECT_FLOAT_EQ(tool->GetDokumentation(), 0.7f);
    EXPECT_FALSE(tool->GetCameraState()->GetEnabled());

    // A sonar scores no scenery.
    tool->SetString(nbwItem::Type, "rovsonar");
    Shot();
    GameFrame(0.1f);
    EXPECT_FLOAT_EQ(tool->GetDokumentation(), 1.2f);
    EXPECT_FALSE(tool->GetCameraState()->GetEnabled());
}

TEST_F(ToolTest, ASonarLightsItemsInViewWithoutRestartingALitOne) {
    nbwDokuTool* tool = Carried("tauchersonar");
    // Shown, so that its ultrasonic time runs.
    kernel->AddClass(nRecordingVisualizer::classInfo);
    kernel->New("nrecordingvisualizer", "/usr/modules/rec");
    ASSERT_TRUE(Run("item('a', 11, 2) item('b', 12, 1) item('far', 30, 1)"
                    " sel('/usr/logic/b') setultrasonictime(10) addvisualizer('default', '/usr/modules/rec')"));
    Shot();
    GameFrame(0.25f);
    for (const char* name : {"a", "b"}) {
        EXPECT_TRUE(At(name)->GetUltrasonicState()->GetEnabled()) << name;
        // Not scored: a sonar only lights.
        EXPECT_NE(At(name)->GetFloat(nbwItem::DocValue), 0.0f) << name;
    }
    EXPECT_FALSE(At("far")->GetUltrasonicState()->GetEnabled());
    EXPECT_FLOAT_EQ(tool->GetDokumentation(), 0.5f);
    GameFrame(0.25f);
    const float lit = At("b")->GetUltrasonicElapsed();
    EXPECT_GT(lit, 0.0f);
    // A second shot: the lit item's timer runs on.
    Shot();
    GameFrame(0.25f);
    EXPECT_FLOAT_EQ(At("b")->GetUltrasonicElapsed(), lit + 0.25f);
    EXPECT_FLOAT_EQ(tool->GetDokumentation(), 1.0f);
}

}  // namespace
