// Scripted actions driven by an actor: the animation weight over the fades and an abort,
// the waiting queue, timed scripts, the actor's animation time, the movement by an
// offset, saving and loading, and bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "game/nbwAction.h"
#include "tests/game/GameTestKernel.h"

namespace {

constexpr int Walk = 2;  // the test actor's animation "walk"

class ActionTest : public GameTestKernel {
protected:
    void SetUp() override {
        GameTestKernel::SetUp();
        actor = NewActor("/usr/logic/a");
    }
    // An action queued on the actor and set up by `setup`, run with the action selected.
    nbwAction* Action(const char* name, const std::string& setup) {
        nbwAction* a = NewAction(actor, name);
        EXPECT_TRUE(Run(std::string("sel('/usr/logic/a/actions/") + name + "') " + setup)) << log.text;
        return a;
    }
    bool Queued(const char* name) { return Lookup((std::string("/usr/logic/a/actions/") + name).c_str()); }
    // The actor's rotation is `q` (either sign) within `tol`.
    static bool SameRotation(const quaternion& a, quaternion q, float tol = 1e-5f) {
        return a.isequal(q, tol) || a.isequal(-q, tol);
    }
    static bool Finite(const matrix44& m) {
        for (auto& row : m.m) {
            for (float v : row) {
                if (!std::isfinite(v)) return false;
            }
        }
        return true;
    }

    nTestActor* actor = nullptr;
};

TEST_F(ActionTest, UnknownTextsBadIndicesAndValuesThatAreNoNumbersChangeNothing) {
    nbwAction* a = Action("w", "setplaydir('backward') setblocking('none')");
    ASSERT_TRUE(Run("setplaydir('Forward') setplaydir('sideways') setblocking('') setblocking('Movement')"));
    EXPECT_EQ(Eval("getplaydir()"), "backward");
    EXPECT_EQ(Eval("getblocking()"), "none");

    // The count comes back; an entry never set has time 0 and no text.
    EXPECT_EQ(Eval("beginscripts(2)"), "2.0");
    ASSERT_TRUE(Run("setscript(1, 0.5, 'x = 1') setscript(2, 0.1, 'x = 2') setscript(-1, 0.1, 'x = 3')"
                    " beginscripts(-1)"));
    EXPECT_TRUE(LogHas("script 2 is outside 0 to 1"));
    EXPECT_TRUE(LogHas("script -1 is outside 0 to 1"));
    ASSERT_EQ(a->GetNumScripts(), 2);
    EXPECT_EQ(a->GetScript(0).time, 0.0f);
    EXPECT_EQ(a->GetScript(0).text, "");
    EXPECT_EQ(a->GetScript(1).text, "x = 1");

    ASSERT_TRUE(Run("setduration(2) setduration(0/0) setfade(1/0, 0) setruntime(-1/0) txyz(0/0, 0, 0) abort(0/0, false)"));
    EXPECT_EQ(a->GetDuration(), 2.0f);
    EXPECT_EQ(a->GetFadeIn(), 0.2f);
    EXPECT_EQ(a->GetRuntime(), 0.0f);
    EXPECT_FALSE(a->HasOffset());
    EXPECT_FALSE(a->IsAborting());
}

TEST_F(ActionTest, WeightRisesHoldsAndFallsAndTheActionEndsAfterItsDuration) {
    nbwAction* a = Action("w", "setanimation('walk') setduration(2) setfade(0.5, 0.5)");
    // The runtime adds the frame times up in the same float steps as the action.
    float runtime = 0.0f;
    int releasedAt = -1, firstPast = -1;
    for (int step = 0; step < 60 && releasedAt < 0; step++) {
        GameFrame(0.05f);
        runtime += 0.05f;
        if (firstPast < 0 && runtime > 2.0f) firstPast = step;
        if (actor->released) releasedAt = step;
        else EXPECT_EQ(a->GetRuntime(), runtime);
        SCOPED_TRACE(runtime);
        const float w = actor->weights[Walk];
        EXPECT_NEAR(actor->addedWeight, w, 1e-5f);
        if (std::fabs(runtime - 0.25f) < 1e-4f || std::fabs(runtime - 1.75f) < 1e-4f) {
            EXPECT_NEAR(w, 0.5f, 1e-4f);
        }
        if (runtime >= 0.5f && runtime <= 1.5f) {
            EXPECT_NEAR(w, 1.0f, 1e-5f);
        }
    }
    EXPECT_EQ(releasedAt, firstPast);
    EXPECT_FALSE(Queued("w"));

    // Fades of 0: full weight in every step, the first and the last included.
    Action("z", "setanimation('walk') setduration(0.2) setfade(0, 0)");
    for (int step = 0; step < 5 && actor->released < 2; step++) {
        GameFrame(0.05f);
        EXPECT_EQ(actor->weights[Walk], 1.0f);
    }
    EXPECT_EQ(actor->released, 2);
}

TEST_F(ActionTest, AbortFadesOutClearsTheQueueAndRestartsOnASecondAbort) {
    nbwAction* a = Action("w", "setanimation('walk') setduration(2) setfade(0.5, 0.5)");
    Action("next1", "setanimation('swim') setduration(1)");
    Action("next2", "setanimation('swim') setduration(1)");
    float runtime = 0.0f;
    for (int step = 0; step < 20; step++) {
        GameFrame(0.05f);
        runtime += 0.05f;
    }
    ASSERT_TRUE(Run("sel('/usr/logic/a/actions/w') abort(0.2, true)"));
    EXPECT_TRUE(a->IsAborting());
    EXPECT_FALSE(Queued("next1"));
    EXPECT_FALSE(Queued("next2"));
    const float end = runtime + 0.2f;
    GameFrame(0.05f);
    GameFrame(0.05f);
    runtime += 0.1f;
    EXPECT_NEAR(actor->weights[Walk], 0.5f, 1e-4f);
    while (!actor->released) {
        ASSERT_LE(runtime, end) << "released late";
        GameFrame(0.05f);
        runtime += 0.05f;
    }
    EXPECT_GT(runtime, end);

    // A fade that would pass the duration leaves the action to end by itself; the queue
    // is cleared all the same.
    a = Action("late", "setanimation('walk') setduration(2) setfade(0.5, 0.5) setruntime(1.75)");
    Action("next3", "setanimation('swim') setduration(1)");
    ASSERT_TRUE(Run("sel('/usr/logic/a/actions/late') abort(0.5, true)"));
    EXPECT_FALSE(a->IsAborting());
    EXPECT_FALSE(Queued("next3"));
    GameFrame(0.125f);
    EXPECT_EQ(actor->weights[Walk], 0.25f);
    GameFrame(0.125f);
    EXPECT_EQ(actor->released, 1);
    GameFrame(0.125f);
    EXPECT_EQ(actor->released, 2);

    // A second abort starts its fade at the runtime it is given; the weight is not
    // clamped in the step that passes the end.
    Action("again", "setanimation('walk') setduration(2) setfade(0.5, 0.5) setruntime(1) abort(0.2, false)");
    GameFrame(0.1f);
    EXPECT_NEAR(actor->weights[Walk], 0.5f, 1e-4f);
    ASSERT_TRUE(Run("sel('/usr/logic/a/actions/again') abort(0.4, false)"));
    GameFrame(0.1f);
    EXPECT_NEAR(actor->weights[Walk], 0.75f, 1e-4f);
    EXPECT_EQ(actor->released, 2);
    GameFrame(0.35f);
    EXPECT_NEAR(actor->weights[Walk], -0.125f, 1e-4f);
    EXPECT_EQ(actor->released, 3);
}

TEST_F(ActionTest, TimedScriptsRunInTimeOrderOnceEachWithTheActorCurrent) {
    // Given out of order: sorting keeps the two entries of 0.5 in table order.
    Action("w",
           "setanimation('walk') setduration(3) setruntime(0.4) beginscripts(4)"
           " setscript(0, 1.0, 'order = order .. \"c\"') setscript(1, 0.5, 'order = order .. \"a\"')"
           " setscript(2, 0.5, 'order = order .. \"b\"') setscript(3, 1.5, 'order = order .. \"d\" who = getname()')"
           " endscripts()");
    ASSERT_TRUE(Run("order = ''"));
    GameFrame(0.7f);
    EXPECT_EQ(Global("order"), "abc");
    // Due exactly at the runtime: waits for the next step.
    ASSERT_TRUE(Run("sel('/usr/logic/a/actions/w') setruntime(1.0)"));
    GameFrame(0.5f);
    EXPECT_EQ(Global("order"), "abc");
    GameFrame(0.25f);
    EXPECT_EQ(Global("order"), "abcd");
    EXPECT_EQ(Global("who"), "a");
    for (int i = 0; i < 3; i++) GameFrame(0.25f);
    EXPECT_EQ(Global("order"), "abcd");
    EXPECT_EQ(actor->released, 0);
}

TEST_F(ActionTest, ScriptsMayDeleteTheirOwnActionOrTheActor) {
    // The second script of the step is not run once the action is gone, and the actor
    // does not release it again.
    Action("x", "setanimation('walk') setduration(1) beginscripts(2)"
                " setscript(0, 0.1, \"delete('/usr/logic/a/actions/x')\") setscript(1, 0.1, 'ran = 1')");
    GameFrame(0.2f);
    EXPECT_FALSE(Queued("x"));
    EXPECT_EQ(Global("ran"), "nil");
    EXPECT_EQ(actor->released, 0);

    Action("y", "setanimation('walk') setduration(1) beginscripts(1) setscript(0, 0.1, \"delete('/usr/logic/a')\")");
    GameFrame(0.2f);
    EXPECT_EQ(Lookup("/usr/logic/a"), nullptr);
    GameFrame(0.2f);
}

TEST_F(ActionTest, AnimationTimeRunsForwardOrBackwardOverTheDuration) {
    Action("b", "setanimation('walk') setduration(2) setplaydir('backward')");
    for (float want : {1.5f, 1.0f, 0.5f, 0.0f}) {
        GameFrame(0.5f);
        EXPECT_EQ(actor->GetTime(), want);
    }
    GameFrame(0.5f);
    EXPECT_EQ(actor->released, 1);
    Action("f", "setanimation('walk') setduration(2)");
    GameFrame(0.5f);
    GameFrame(0.5f);
    EXPECT_EQ(actor->GetTime(), 1.0f);
}

TEST_F(ActionTest, OffsetMovesAndTurnsTheActorOverTheActionAndEndsExactlyThere) {
    const float s = std::sqrt(0.5f);
    ASSERT_TRUE(Run("sel('/usr/logic/a') txyz(1, 0, 3)"));
    Action("m", "setanimation('swim') setduration(2) txyz(0, 0, -2) qxyzw(0, " + std::to_string(s) + ", 0, " +
                    std::to_string(s) + ")");
    for (int i = 0; i < 4; i++) GameFrame(0.25f);
    EXPECT_NEAR(actor->GetPosition().x, 1.0f, 1e-5f);
    EXPECT_NEAR(actor->GetPosition().z, 2.0f, 1e-5f);
    EXPECT_TRUE(SameRotation(actor->GetQuaternion(), quaternion(0, std::sin(0.3926991f), 0, std::cos(0.3926991f))));
    // The step past the end is held at the end pose instead of overshooting it.
    while (!actor->released) GameFrame(0.25f);
    EXPECT_EQ(actor->steps, 9);
    EXPECT_EQ(actor->GetPosition().x, 1.0f);
    EXPECT_EQ(actor->GetPosition().y, 0.0f);
    EXPECT_EQ(actor->GetPosition().z, 1.0f);
    EXPECT_TRUE(SameRotation(actor->GetQuaternion(), quaternion(0, s, 0, s)));

    // Without an offset the actor is held where the action began.
    Action("h", "setanimation('idle') setduration(1)");
    GameFrame(0.25f);
    ASSERT_TRUE(Run("sel('/usr/logic/a') txyz(7, 7, 7)"));
    GameFrame(0.25f);
    EXPECT_EQ(actor->GetPosition().x, 1.0f);
    EXPECT_EQ(actor->GetPosition().z, 1.0f);
    actor->GetActions()->GetHead()->Release();

    // The offset turn goes on top of the actor's own rotation, and its scale stays.
    const quaternion start(s, 0, 0, s), offset(0, s, 0, s);
    ASSERT_TRUE(Run("sel('/usr/logic/a') sxyz(2, 2, 2) qxyzw(" + std::to_string(s) + ", 0, 0, " + std::to_string(s) +
                    ")"));
    Action("t", "setanimation('swim') setduration(1) qxyzw(0, " + std::to_string(s) + ", 0, " + std::to_string(s) +
                    ")");
    for (int i = 0; i < 5; i++) GameFrame(0.25f);
    EXPECT_TRUE(SameRotation(actor->GetQuaternion(), offset * start));
    EXPECT_NEAR(actor->GetScale().x, 2.0f, 1e-5f);
    EXPECT_NEAR(actor->GetScale().y, 2.0f, 1e-5f);
    EXPECT_NEAR(actor->GetScale().z, 2.0f, 1e-5f);
    EXPECT_NEAR(actor->GetPosition().z, 1.0f, 1e-5f);
}

TEST_F(ActionTest, SavesItsLinesInOrderAndALoadedActionStartsFromTheActorsPose) {
    ASSERT_TRUE(Run("sel('/usr/logic/a') txyz(1, 0, 3)"));
    nbwAction* a = Action("m",
                          "setanimation('swim') setduration(2) setfade(0.5, 0.25) txyz(0, 0, -2)"
                          " qxyzw(0, 0.70710677, 0, 0.70710677) setplaydir('backward') setblocking('none')"
                          " beginscripts(2) setscript(0, 0.5, 'order = order .. \"a\"') setscript(1, 1.5, '')"
                          " endscripts()");
    ASSERT_TRUE(Run("order = ''"));
    for (int i = 0; i < 4; i++) GameFrame(0.25f);
    ASSERT_TRUE(a->SaveAs(Path("m").c_str()));
    const std::string golden = SourceDir() + "/tests/game/golden/action_m.n";
    EXPECT_EQ(Slurp(Path("m.n")), Slurp(golden));
    a->Release();

    // Without an offset and scripts their lines are left out.
    nbwAction* plain = Action("p", "");
    ASSERT_TRUE(plain->SaveAs(Path("p").c_str()));
    const std::string saved = Slurp(Path("p.n"));
    EXPECT_NE(saved.find("\nsetduration( 0.00000000 )\nsetfade( 0.20000000, 0.20000000 )\n"), std::string::npos);
    for (const char* cmd : {"txyz", "qxyzw", "beginscripts", "setscript", "endscripts"}) {
        EXPECT_EQ(saved.find(cmd), std::string::npos) << cmd;
    }
    plain->Release();

    // The actor stands half way now (z 2); the loaded action starts from there with its
    // saved runtime of 1: one step of 0.5 is three quarters of the way to z 0.
    ASSERT_NEAR(actor->GetPosition().z, 2.0f, 1e-5f);
    kernel->SetCwd(actor->GetActions());
    auto* back = static_cast<nbwAction*>(kernel->Load(golden.c_str()));
    ASSERT_NE(back, nullptr) << log.text;
    EXPECT_FALSE(back->IsStarted());
    EXPECT_EQ(back->GetRuntime(), 1.0f);
    ASSERT_EQ(back->GetNumScripts(), 2);
    EXPECT_EQ(back->GetScript(0).text, "order = order .. \"a\"");
    GameFrame(0.5f);
    EXPECT_NEAR(actor->GetPosition().z, 0.5f, 1e-5f);
    EXPECT_EQ(actor->GetTime(), 0.5f);
}

TEST_F(ActionTest, BadValuesEndTheActionWithoutMovingWrongOrNaN) {
    // An animation the actor lacks: logged, released in that step, the actor unmoved.
    ASSERT_TRUE(Run("sel('/usr/logic/a') txyz(1, 2, 3)"));
    Action("x", "setanimation('fly') setduration(1) txyz(5, 0, 0)");
    GameFrame(0.1f);
    EXPECT_TRUE(LogHas("Action abort, animation 'fly' not found"));
    EXPECT_EQ(actor->released, 1);
    EXPECT_EQ(actor->addedWeight, 0.0f);
    EXPECT_EQ(actor->GetPosition().x, 1.0f);

    // No duration: over in the first step, even one that takes no time, at the end pose.
    Action("d", "setanimation('walk') setduration(0) setfade(0, 0) txyz(0, 1, 0) qxyzw(0, 0, 0, 0)");
    GameFrame(0.0f);
    EXPECT_EQ(actor->released, 2);
    EXPECT_EQ(actor->GetPosition().y, 3.0f);
    EXPECT_TRUE(Finite(actor->GetMatrix()));
    EXPECT_TRUE(std::isfinite(actor->weights[Walk]));

    // An abort without a fade: weight 0, over at the next step.
    Action("f", "setanimation('walk') setduration(2) setfade(0, 0)");
    GameFrame(0.1f);
    ASSERT_TRUE(Run("sel('/usr/logic/a/actions/f') abort(0, false)"));
    GameFrame(0.0f);
    EXPECT_EQ(actor->weights[Walk], 0.0f);
    EXPECT_EQ(actor->released, 3);
    EXPECT_TRUE(Finite(actor->GetMatrix()));
}

}  // namespace
