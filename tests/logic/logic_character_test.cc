// Item and character logic nodes: using an item queues its "onuse" handler; a character
// turns each frame's animation weights into render variables that a visualizer module
// is given; render variables of visual nodes declared and set by code.
#include <gtest/gtest.h>

#include <map>

#include "logic/nLogicCharacter.h"
#include "logic/nLogicEventHandler.h"
#include "logic/nLogicEventRecord.h"
#include "logic/nLogicEventServer.h"
#include "logic/nLogicItem.h"
#include "logic/nModVisualizerState.h"
#include "logic/nVariableContext.h"
#include "scene/nChannelServer.h"
#include "tests/logic/GraphFixture.h"
#include "tests/logic/nRecordingVisualizer.h"

namespace {

// An item that remembers whom it was used by.
class nTestItem : public nLogicItem {
public:
    static const nClassInfo classInfo;
    bool Use(nRoot* user) override {
        lastUser = user;
        uses++;
        return nLogicItem::Use(user);
    }
    nRoot* lastUser = nullptr;
    int uses = 0;
};
const nClassInfo nTestItem::classInfo = nClassInfo::Make<nTestItem>("ntestitem", "nlogicitem");

class LogicCharacterTest : public GraphFixture {
protected:
    void SetUp() override {
        GraphFixture::SetUp();
        kernel->AddClass(nRecordingVisualizer::classInfo);
        kernel->AddClass(nTestItem::classInfo);
        rec = static_cast<nRecordingVisualizer*>(kernel->New("nrecordingvisualizer", "/usr/modules/rec"));
    }
    // A character at `path` shown by the recording module, with animations idle, walk, swim.
    nLogicCharacter* Character(const char* path = "/usr/logic/c") {
        EXPECT_TRUE(Run(std::string("new('nlogiccharacter', '") + path + "') sel('" + path + "') beginanims(3)"
                        " setanimchn(0, 'idle', 0, false) setanimchn(1, 'walk', 0, true) setanimtime(1, 1.5)"
                        " setanimchn(2, 'swim', 0, false) endanims() addvisualizer('default', '/usr/modules/rec')"));
        return static_cast<nLogicCharacter*>(Lookup(path));
    }
    // One frame of `dt` seconds; the weights the module was given, in animation order.
    std::vector<float> Frame(float dt = 0.0f) {
        auto* channels = static_cast<nChannelServer*>(Lookup("/sys/servers/channel"));
        channels->SetChannel1f(channels->GenChannel("frametime"), dt);
        LogicFrame(0.0f);
        return {rec->floats["idle"], rec->floats["walk"], rec->floats["swim"], rec->floats["anim"]};
    }
    nLogicEventRecord* Record() {
        return static_cast<nLogicEventServer*>(Lookup("/sys/servers/event"))->FindOrCreateEvent("logicgraph");
    }

    nRecordingVisualizer* rec = nullptr;
};

using Weights = std::vector<float>;

TEST_F(LogicCharacterTest, UsingAnItemQueuesItsHandlerOnlyWhenBound) {
    ASSERT_TRUE(Run("new('ntestitem', '/usr/logic/key') sel('/usr/logic/key')"));
    auto* item = static_cast<nTestItem*>(Lookup("/usr/logic/key"));
    EXPECT_EQ(Eval("use('/usr/logic')"), "1");
    EXPECT_EQ(item->lastUser, root);
    EXPECT_EQ(Record()->GetNumQueued(), 0);

    ASSERT_TRUE(Run("seteventscript('onuse', 'uses = (uses or 0) + 1')"));
    EXPECT_EQ(Eval("use('/usr/nobody')"), "nil");
    EXPECT_EQ(item->lastUser, nullptr);
    EXPECT_EQ(Record()->GetNumQueued(), 1);
    static_cast<nLogicEventServer*>(Lookup("/sys/servers/event"))->Trigger();
    EXPECT_EQ(Eval("uses"), "1");
    EXPECT_EQ(Record()->GetNumQueued(), 0);
    EXPECT_EQ(item->uses, 2);
}

TEST_F(LogicCharacterTest, WeightsAreNormalisedWithAnimationZeroFillingUp) {
    nLogicCharacter* c = Character();
    // Only animation 2 at 0.3: animation 0 takes the rest.
    ASSERT_TRUE(Run("doanim('swim', 0.3)"));
    Weights w = Frame();
    EXPECT_NEAR(w[0], 0.7f, 1e-6f);
    EXPECT_EQ(w[1], 0.0f);
    EXPECT_NEAR(w[2], 0.3f, 1e-6f);
    EXPECT_EQ(w[3], 2.0f);
    // Naming animation 0 itself: its weight is replaced by what is left.
    ASSERT_TRUE(Run("doanim('idle', 0.3)"));
    w = Frame();
    EXPECT_NEAR(w[0], 0.7f, 1e-6f);
    EXPECT_EQ(w[3], 0.0f);
    // Weights above 1 in sum are divided by it.
    ASSERT_TRUE(Run("doanim('walk', 2.0) doanim('swim', 2.0)"));
    EXPECT_EQ(Frame(), (Weights{0.0f, 0.5f, 0.5f, 2.0f}));
    // A frame without calls shows animation 0 alone.
    EXPECT_EQ(Frame(), (Weights{1.0f, 0.0f, 0.0f, 0.0f}));
    // A weight given in one frame is gone in the next, also when another animation is named.
    ASSERT_TRUE(Run("doanim('walk', 1.0)"));
    EXPECT_EQ(Frame(), (Weights{0.0f, 1.0f, 0.0f, 1.0f}));
    ASSERT_TRUE(Run("doanim('swim', 0.25)"));
    EXPECT_EQ(Frame(), (Weights{0.75f, 0.0f, 0.25f, 2.0f}));
    EXPECT_EQ(c->GetWeightSum(), 0.0f);
    // The visual node's variables come first, then "anim" and the animations in order.
    EXPECT_EQ(rec->order, (std::vector<std::string>{"time", "lod", "dist", "anim", "idle", "walk", "swim"}));
    EXPECT_FALSE(LogHas("/usr/logic/c:")) << log.text;
}

TEST_F(LogicCharacterTest, BadNamesAndIndicesAreLoggedAndChangeNothing) {
    // No records: nothing to weigh, "anim" is still written.
    ASSERT_TRUE(Run("new('nlogiccharacter', '/usr/logic/bare') sel('/usr/logic/bare')"
                    " addvisualizer('default', '/usr/modules/rec') doanim('idle', 1)"));
    Frame();
    EXPECT_EQ(rec->order, (std::vector<std::string>{"time", "lod", "dist", "anim"}));
    EXPECT_EQ(rec->floats["anim"], 0.0f);
    EXPECT_TRUE(LogHas("/usr/logic/bare: v_doanim_sf: no animation 'idle'"));
    ASSERT_TRUE(Run("setanimtime(0, 1) setanimchn(0, 'x', 1, true)"));
    EXPECT_TRUE(LogHas("/usr/logic/bare: v_setanimtime_if: animation 0 is outside 0 to -1"));
    EXPECT_TRUE(LogHas("/usr/logic/bare: v_setanimchn_isfb: animation 0 is outside"));
    ASSERT_TRUE(Run("beginanims(-1) beginanims(1000000000)"));
    auto* bare = static_cast<nLogicCharacter*>(Lookup("/usr/logic/bare"));
    EXPECT_EQ(bare->GetNumAnims(), 0);
    EXPECT_TRUE(LogHas("v_beginanims_i: -1 animations"));

    nLogicCharacter* c = Character();
    log.text.clear();
    ASSERT_TRUE(Run("doanim('Swim', 0.5) setanimtime(3, 2) setanimtime(-1, 2) setanimchn(3, 'z', 1, true)"));
    EXPECT_TRUE(LogHas("/usr/logic/c: v_doanim_sf: no animation 'Swim'"));
    EXPECT_TRUE(LogHas("v_setanimtime_if: animation 3 is outside 0 to 2"));
    EXPECT_TRUE(LogHas("v_setanimtime_if: animation -1 is outside 0 to 2"));
    EXPECT_TRUE(LogHas("v_setanimchn_isfb: animation 3 is outside 0 to 2"));
    EXPECT_EQ(c->GetWeightSum(), 0.0f);
    EXPECT_FALSE(c->DoAnim(3, 1.0f));
    EXPECT_EQ(c->GetAnim(1).time, 1.5f);
    EXPECT_EQ(c->GetAnim(2).name, "swim");
    EXPECT_EQ(Frame(), (Weights{1.0f, 0.0f, 0.0f, 0.0f}));

    // No variable server is no script error: the program stops.
    kernel->SetLogHandler(nullptr);
    EXPECT_EXIT(
        {
            Lookup("/sys/servers/variable")->Release();
            c->UpdateVariables();
        },
        ::testing::ExitedWithCode(3), "Aborting.");
}

TEST_F(LogicCharacterTest, ChannelDumpLogsForItsTimeAndEndAnimsRebuildsTheVariables) {
    nLogicCharacter* c = Character();
    ASSERT_TRUE(Run("channeldump(0.5)"));
    // 0.5 s at 0.2 s a frame: three frames log, the fourth ends the dump.
    for (int i = 0; i < 4; i++) {
        ASSERT_TRUE(Run("doanim('walk', 1)"));
        Frame(0.2f);
        EXPECT_EQ(c->GetDumping(), i < 3) << i;
    }
    EXPECT_EQ(Count(log.text, "/usr/logic/c: anim 1 idle 0.000000 walk 1.000000 swim 0.000000\n"), 3) << log.text;
    log.text.clear();

    // Other animations of the same count: the module is given the new names, and a
    // visualizer's copy reads them from the right channels.
    kernel->New("n3dnode", "/tmpl");
    Node("/tmpl/reader", nTestVisNode::Group);
    ASSERT_TRUE(Run("new('nmodvisualizer', '/usr/modules/real') sel('/usr/modules/real') setvisual('/tmpl')"
                    " sel('/usr/logic/c') addvisualizer('default', '/usr/modules/real')"));
    Frame();
    auto* reader = static_cast<nTestVisNode*>(Lookup("/usr/modules/real/ref_real/reader"));
    ASSERT_NE(reader, nullptr);
    reader->channels = {"bite", "rest", "swim"};
    reader->NotifyParents();
    Frame();
    ASSERT_TRUE(Run("beginanims(3) setanimchn(0, 'rest', 0, false) setanimchn(1, 'turn', 0, false)"
                    " setanimchn(2, 'bite', 0, false) endanims() doanim('bite', 0.25)"));
    Frame();
    EXPECT_EQ(rec->order, (std::vector<std::string>{"time", "lod", "dist", "anim", "rest", "turn", "bite"}));
    ASSERT_EQ(reader->read.size(), 3u);
    EXPECT_EQ(reader->read[0], 0.25f);
    EXPECT_EQ(reader->read[1], 0.75f);
    EXPECT_EQ(reader->read[2], 0.0f);
    EXPECT_EQ(log.text, "");
}

TEST_F(LogicCharacterTest, SavingWritesThePhysicsLinesThenTheRecords) {
    nLogicCharacter* c = Character();
    ASSERT_TRUE(Run("setanimchn(2, 'swim', 0.5, true) setgravity(false)"));
    ASSERT_TRUE(c->SaveAs(Path("c").c_str()));
    const std::string saved = Slurp(Path("c.n"));
    const size_t physik = saved.find("setcontactparam( \"approx12\"");
    const size_t records = saved.find(
        "beginanims( 3 )\nsetanimtime( 0, 0.00000000 )\nsetanimchn( 0, \"idle\", 0.00000000, false )\n"
        "setanimtime( 1, 1.50000000 )\nsetanimchn( 1, \"walk\", 0.00000000, true )\n"
        "setanimtime( 2, 0.00000000 )\nsetanimchn( 2, \"swim\", 0.50000000, true )\nendanims(  )\n");
    ASSERT_NE(physik, std::string::npos) << saved;
    ASSERT_NE(records, std::string::npos) << saved;
    EXPECT_LT(physik, records);
    kernel->SetCwd(kernel->New("nroot", "/loaded"));
    auto* back = static_cast<nLogicCharacter*>(kernel->Load(Path("c.n").c_str()));
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->GetNumAnims(), 3);
    ASSERT_TRUE(back->SaveAs(Path("c2").c_str()));
    EXPECT_EQ(Slurp(Path("c2.n")), saved);

    // Without records nothing of them is written.
    ASSERT_TRUE(Run("new('nlogiccharacter', '/usr/logic/bare')"));
    ASSERT_TRUE(Lookup("/usr/logic/bare")->SaveAs(Path("bare").c_str()));
    EXPECT_EQ(Slurp(Path("bare.n")).find("anims("), std::string::npos);
}

TEST_F(LogicCharacterTest, VisualNodesDeclareAndSetVariablesOfTheirStates) {
    auto* v = static_cast<nLogicVisual2*>(kernel->New("nlogicvisual2", "/usr/logic/v"));
    auto* sonar = static_cast<nModVisualizerState*>(v->CreateModuleState(3, "ultrasonic"));
    // Nothing is declared yet: setting finds no variable.
    EXPECT_FALSE(v->SetVariable(nullptr, variables->GetVariableHandleByName("fxtime"), 1.0f));
    const int fx = v->AddVariable(nullptr, "fxtime", 0.5f);
    const int hand = v->AddVariable(nullptr, "right_hand", "knife");
    const int ping = v->AddVariable(sonar, "ping", 0.0f);
    EXPECT_EQ(v->AddVariable(nullptr, "fxtime", 0.25f), fx);
    EXPECT_EQ(v->GetVisualizerState()->GetVariables()->Find(fx)->GetF(), 0.25f);
    EXPECT_TRUE(v->SetVariable(nullptr, hand, "torch"));
    EXPECT_STREQ(v->GetVisualizerState()->GetVariables()->Find(hand)->GetS(), "torch");
    EXPECT_TRUE(v->SetVariable(sonar, ping, 3.0f));
    EXPECT_EQ(sonar->GetVariables()->Find(ping)->GetF(), 3.0f);
    // Each state keeps its own variables.
    EXPECT_FALSE(v->SetVariable(nullptr, ping, 1.0f));
    EXPECT_FALSE(v->SetVariable(sonar, fx, 1.0f));
    EXPECT_FALSE(v->SetVariable(nullptr, -1, 1.0f));
    EXPECT_EQ(v->AddVariable(nullptr, "", 1.0f), -1);
    EXPECT_EQ(v->AddVariable(nullptr, nullptr, "x"), -1);
    EXPECT_TRUE(LogHas("/usr/logic/v: a render variable needs a name"));
    EXPECT_EQ(v->GetVisualizerState()->GetVariables()->Size(), 2);
}

}  // namespace
