// The logic node base: the per-frame walk over children (input, raised events, timers,
// clock), timers, events and handlers, the persistent store link, saving, and walks
// whose scripts delete what is being walked.
#include <functional>
#include <string>
#include <vector>

#include "logic/nLogicEventHandler.h"
#include "logic/nLogicEventRecord.h"
#include "logic/nLogicEventServer.h"
#include "logic/nLogicNode.h"
#include "logic/nScriptEvent.h"
#include "scene/nChannelServer.h"
#include "scene/nScenePackage.h"
#include "tests/logic/LogicFixture.h"

namespace {

std::vector<std::string> gTrace;

// Records what the walk calls on it and keeps one variable in its store.
class nTestLogicNode : public nLogicNode {
public:
    static const nClassInfo classInfo;
    void HandleInput() override { Mark("input"); }
    void Setup() override {
        Mark("setup");
        nLogicNode::Setup();
    }
    bool Trigger(nLogicGraph* graph) override {
        Mark("trigger");
        if (onTrigger) onTrigger();
        return nLogicNode::Trigger(graph);
    }
    void Traverse(nLogicGraph* graph, const matrix44& m) override {
        Mark("traverse");
        nLogicNode::Traverse(graph, m);
    }
    void StoreToPersist(nPersistLogic* store) override {
        stores++;
        nVariable v;
        v.SetI(value);
        store->SetVar("value", v);
    }
    void RestoreFromPersist(nPersistLogic* store) override {
        nLogicNode::RestoreFromPersist(store);
        if (const nVariable* v = store->GetVar("value")) value = v->GetI();
    }
    // Enters the parent's input list, as an input node does when it is initialized.
    void JoinParentInput() {
        auto* parent = static_cast<nTestLogicNode*>(GetParent());
        parent->GetInputList().AddTail(&GetInputLink());
    }
    void Mark(const char* what) { gTrace.push_back(std::string(GetName()) + "." + what); }
    int value = 0;
    int stores = 0;
    std::function<void()> onTrigger;
};
const nCmdDef<nTestLogicNode> testCmds[] = {
    {"v_mark_s", "TMRK", [](nTestLogicNode*, nCmd* c) { gTrace.push_back(c->In()->GetS()); }},
    {"v_raise_s", "TRAI", [](nTestLogicNode* self, nCmd* c) { self->AddPendingEvent(self->FindEvent(c->In()->GetS())); }},
};
const nClassInfo nTestLogicNode::classInfo =
    nClassInfo::Make<nTestLogicNode>("ntestlogicnode", "nlogicnode", testCmds);

class LogicNodeTest : public nLogicFixture {
protected:
    void SetUp() override {
        nLogicFixture::SetUp();
        nScenePackage(kernel);
        kernel->AddClass(nTestLogicNode::classInfo);
        channels = static_cast<nChannelServer*>(kernel->New("nchannelserver", "/sys/servers/channel"));
        events = static_cast<nLogicEventServer*>(kernel->New("nlogiceventserver", "/sys/servers/event"));
        frameTime = channels->GenChannel("frametime");
        root = static_cast<nLogicNode*>(kernel->New("nlogicnode", "/usr/logic"));
        gTrace.clear();
    }
    void TearDown() override {
        gTrace.clear();
        nLogicFixture::TearDown();
    }
    nTestLogicNode* Node(const char* path) { return static_cast<nTestLogicNode*>(kernel->New("ntestlogicnode", path)); }
    // One frame as the observer runs it.
    void Frame(float dt = 0.3f) {
        channels->SetChannel1f(frameTime, dt);
        events->Trigger();
        if (nRoot* r = Lookup("/usr/logic")) static_cast<nLogicNode*>(r)->Trigger(nullptr);
    }
    std::string Trace() {
        std::string s;
        for (auto& t : gTrace) s += t + " ";
        gTrace.clear();
        return s;
    }
    nChannelServer* channels = nullptr;
    nLogicEventServer* events = nullptr;
    nLogicNode* root = nullptr;
    int frameTime = -1;
};

TEST_F(LogicNodeTest, TriggerServesActiveLogicChildrenInOrderAndSkipsTheRestWithTheirSubtrees) {
    nTestLogicNode* a = Node("/usr/logic/a");
    Node("/usr/logic/a/in")->JoinParentInput();
    Node("/usr/logic/a/a1");
    nTestLogicNode* b = Node("/usr/logic/b");
    Node("/usr/logic/b/b1");
    kernel->New("nroot", "/usr/logic/plain");
    Node("/usr/logic/plain/hidden");
    Node("/usr/logic/c");
    ASSERT_TRUE(Run("function f(x) obj('/usr/logic/a').mark('f' .. x) end"
                    " function g(x, n) obj('/usr/logic/a').mark(string.format('g%.6f,%d', x, n)) end"
                    " obj('/usr/logic/b').setactive(false)"
                    " b_active = obj('/usr/logic/b').getactive() and 'on' or 'off'"));
    EXPECT_EQ(Global("b_active"), "off");

    nScriptEvent* f = a->DeclareEvent("onf", "s");
    a->AddEventFunction("onf", "f");
    f->GetArg(0).SetS("P");
    nScriptEvent* g = a->DeclareEvent("ong", "fi");
    a->AddEventFunction("ong", "g");
    g->GetArg(0).SetF(0.5f);
    g->GetArg(1).SetI(3);
    a->AddPendingEvent(f);
    a->AddPendingEvent(g);
    a->AddTimer("t", "loop", 0.0f, 0.1f, "obj('/usr/logic/a').mark('timer')");
    // The walk serves the child's input, events, timers, then its clock, then its Trigger.
    Frame();
    EXPECT_EQ(Trace(), "in.input fP g0.500000,3 timer a.trigger in.trigger a1.trigger c.trigger ");
    EXPECT_EQ(a->GetNumPendingEvents(), 0);
    EXPECT_FLOAT_EQ(a->GetTime(), 0.3f);
    EXPECT_FLOAT_EQ(b->GetTime(), 0.0f);
    // The root's own clock never runs.
    EXPECT_FLOAT_EQ(root->GetTime(), 0.0f);

    // An inactive node's raised events wait until it is active again.
    nScriptEvent* e = b->DeclareEvent("one", "v");
    ASSERT_TRUE(Run("function noop() end"));
    b->AddEventFunction("one", "noop");
    b->AddPendingEvent(e);
    Frame();
    EXPECT_EQ(b->GetNumPendingEvents(), 1);
    Trace();
    b->SetActive(true);
    Frame();
    EXPECT_EQ(b->GetNumPendingEvents(), 0);
    EXPECT_NE(Trace().find("b.trigger b1.trigger"), std::string::npos);

    // Setup and Traverse go into active logic children only.
    b->SetActive(false);
    root->Setup();
    EXPECT_EQ(Trace(), "a.setup in.setup a1.setup c.setup ");
    root->Traverse(nullptr, matrix44());
    EXPECT_EQ(Trace(), "a.traverse in.traverse a1.traverse c.traverse ");
}

TEST_F(LogicNodeTest, TimersFireAtTheirPeriodAndRestartAtZero) {
    nTestLogicNode* n = Node("/usr/logic/n");
    ASSERT_TRUE(Run("n = obj('/usr/logic/n')"
                    " n.addtimer('loop', 'loop', 0, 0.5, 'obj(\"/usr/logic/n\").mark(\"loop\")')"
                    " n.addtimer('once', 'oneshot', 0, 0.2, 'obj(\"/usr/logic/n\").mark(\"once\")')"));
    Frame();  // 0.3: only the one-shot, which is gone afterwards
    EXPECT_EQ(Trace(), "once n.trigger ");
    EXPECT_EQ(n->FindTimer("once"), nullptr);
    Frame();  // 0.6: the loop fires and restarts at 0, not 0.1
    EXPECT_EQ(Trace(), "loop n.trigger ");
    EXPECT_FLOAT_EQ(n->FindTimer("loop")->time, 0.0f);
    Frame();
    EXPECT_EQ(Trace(), "n.trigger ");
    Frame();
    EXPECT_EQ(Trace(), "loop n.trigger ");

    // An existing name is updated, not added.
    ASSERT_TRUE(Run("n.addtimer('loop', 'oneshot', 0.1, 2, 'x = 1')"));
    EXPECT_EQ(n->GetNumTimers(), 1);
    nLogicTimer* t = n->FindTimer("loop");
    EXPECT_EQ(t->repeat, nLogicTimer::OneShot);
    EXPECT_FLOAT_EQ(t->time, 0.1f);
    EXPECT_FLOAT_EQ(t->period, 2.0f);
    EXPECT_STREQ(t->script.Get(), "x = 1");

    // A one-shot that re-arms itself at time 0 fires again a period later; a big frame
    // fires a timer once, never twice.
    ASSERT_TRUE(Run(R"lua(n.deletetimers()
        n.addtimer('re', 'oneshot', 0, 0.5, [[obj('/usr/logic/n').mark('re')
            obj('/usr/logic/n').addtimer('re', 'oneshot', 0, 0.5, "obj('/usr/logic/n').mark('re2')")]]))lua"));
    Frame(5.0f);
    EXPECT_EQ(Trace(), "re n.trigger ");
    ASSERT_NE(n->FindTimer("re"), nullptr);
    Frame(0.3f);
    EXPECT_EQ(Trace(), "n.trigger ");
    Frame(0.3f);
    EXPECT_EQ(Trace(), "re2 n.trigger ");
    EXPECT_EQ(n->FindTimer("re"), nullptr);

    // Bad input changes nothing.
    ASSERT_TRUE(Run("n.addtimer('bad', 'twice', 0, 1, '') n.deletetimer('unknown')"));
    EXPECT_EQ(n->FindTimer("bad"), nullptr);
    EXPECT_TRUE(LogHas("unknown repeat type 'twice'"));
}

TEST_F(LogicNodeTest, EventsFunctionsAndHandlers) {
    nTestLogicNode* n = Node("/usr/logic/n");
    ASSERT_TRUE(Run("s = obj('/usr/logic/n').getevents()"));
    EXPECT_EQ(Global("s"), "");
    n->DeclareEvent("onenter", "s");
    n->DeclareEvent("oncurrent", "s");
    n->DeclareEvent("onleave", "s");
    EXPECT_EQ(n->DeclareEvent("onenter", "i"), n->FindEvent("onenter"));
    ASSERT_TRUE(Run("n = obj('/usr/logic/n') s = n.getevents()"
                    " n.addeventfunction('onenter', 'a') n.addeventfunction('onenter', 'b')"
                    " n.addeventfunction('onenter', 'a') n.addeventfunction('onenter', 'c')"
                    " n.removeeventfunction('onenter', 'b') n.removeeventfunction('onenter', 'zz')"
                    " n.addeventfunction('nosuch', 'a') n.removeeventfunction('nosuch', 'a')"
                    " n.seteventscript('nosuch', 'x = 1')"));
    EXPECT_EQ(Global("s"), "onenter_s\noncurrent_s\nonleave_s\n");
    nScriptEvent* e = n->FindEvent("onenter");
    ASSERT_EQ(e->GetNumFunctions(), 2);
    EXPECT_STREQ(e->GetFunction(0), "a");
    EXPECT_STREQ(e->GetFunction(1), "c");
    EXPECT_TRUE(LogHas("event 'nosuch' is not declared"));
    EXPECT_TRUE(LogHas("no handler for event 'nosuch'"));

    // Argument letters: ints and bools are 'd'.
    n->DeclareEvent("mixed", "bifs");
    ASSERT_TRUE(Run("s = obj('/usr/logic/n').getevents()"));
    EXPECT_NE(Global("s").find("mixed_ddfs\n"), std::string::npos);

    // A handler of the record "logicgraph", whose script runs the frame after the firing.
    nLogicEventHandler* h = n->AddHandler("picked");
    EXPECT_EQ(h->GetKind(), 1);
    EXPECT_STREQ(h->GetRecord()->GetName(), "logicgraph");
    EXPECT_EQ(h->GetOwner(), n);
    EXPECT_EQ(n->FindHandler("picked"), h);
    ASSERT_TRUE(Run("obj('/usr/logic/n').seteventscript('picked', 'obj(\"/usr/logic/n\").mark(\"picked\")')"));
    EXPECT_STREQ(h->GetScript(), "obj(\"/usr/logic/n\").mark(\"picked\")");
    Frame();
    Trace();
    EXPECT_TRUE(h->Queue());
    EXPECT_EQ(Trace(), "");
    Frame();
    EXPECT_EQ(Trace(), "picked n.trigger ");
}

TEST_F(LogicNodeTest, PersistentStoreLinkRestoresAtOnceAndStoresAtEachRelease) {
    ASSERT_TRUE(Run("new('npersistlogic', '/usr/persist/n') obj('/usr/persist/n').seti('value', 9)"
                    " new('npersist', '/usr/persist/plain')"));
    auto* store = static_cast<nPersistLogic*>(Lookup("/usr/persist/n"));
    nTestLogicNode* n = Node("/usr/logic/n");
    ASSERT_TRUE(Run("n = obj('/usr/logic/n') none = n.getpersist()"
                    " n.setpersist('/usr/persist/nothing') n.setpersist('/usr/persist/plain') bad = n.getpersist()"));
    EXPECT_EQ(Global("none"), "");
    EXPECT_EQ(Global("bad"), "");
    EXPECT_TRUE(LogHas("'/usr/persist/plain' is no npersistlogic store"));
    EXPECT_EQ(n->value, 0);

    ASSERT_TRUE(Run("n.setpersist('../../persist/n') p = n.getpersist()"));
    EXPECT_EQ(n->value, 9);
    EXPECT_EQ(Global("p"), "/usr/persist/n");
    EXPECT_STREQ(store->GetOwnerPath(), "/usr/logic/n");
    EXPECT_EQ(n->GetPersist(), store);
    EXPECT_EQ(store->GetOwner(), static_cast<nPersistOwner*>(n));

    // A store saved while its owner lives holds the owner's current value.
    n->value = 11;
    ASSERT_TRUE(store->SaveAs(Path("n").c_str()));
    EXPECT_NE(Slurp(Path("n.n")).find("seti( \"value\", 11 )"), std::string::npos);

    // Every release stores, not only the last.
    n->AddRef();
    n->value = 12;
    n->stores = 0;
    EXPECT_FALSE(n->Release());
    EXPECT_EQ(n->stores, 1);
    n->value = 13;
    EXPECT_TRUE(n->Release());
    EXPECT_EQ(store->GetVar("value")->GetI(), 13);

    // Rebuilt, the node finds its state again.
    nTestLogicNode* again = Node("/usr/logic/again");
    again->SetPersist("/usr/persist/n");
    EXPECT_EQ(again->value, 13);
    EXPECT_STREQ(store->GetOwnerPath(), "/usr/logic/again");

}

TEST_F(LogicNodeTest, SaveCmdsMatchesTheGoldenFileAndLoadsBackEqual) {
    ASSERT_TRUE(Run("new('npersistlogic', '/usr/persist/n')"
                    " new('nlogicnode', '/usr/logic/n') n = obj('/usr/logic/n')"
                    " n.setactive(false) n.setpersistence(true) n.settime(1.5)"
                    " n.addtimer('blink', 'loop', 0.25, 0.5, 'x = \"a\"')"
                    " n.addtimer('once', 'oneshot', 0, 2, '')"
                    " n.setpersist('/usr/persist/n')"));
    auto* n = static_cast<nLogicNode*>(Lookup("/usr/logic/n"));
    n->DeclareEvent("onenter", "s");
    n->DeclareEvent("onleave", "v");
    n->AddEventFunction("onenter", "first");
    n->AddEventFunction("onenter", "second");
    n->AddHandler("picked");
    n->AddHandler("empty");
    n->SetEventScript("picked", "print('p')");
    ASSERT_TRUE(n->SaveAs(Path("n").c_str()));
    EXPECT_EQ(Slurp(Path("n.n")), Slurp(SourceDir() + "/tests/logic/golden/logicnode_n.n"));

    // The golden file into a fresh node (events and handlers are the class's to declare).
    kernel->SetCwd(kernel->New("nroot", "/loaded"));
    auto* back = static_cast<nLogicNode*>(kernel->Load((SourceDir() + "/tests/logic/golden/logicnode_n.n").c_str()));
    ASSERT_NE(back, nullptr);
    EXPECT_FALSE(back->GetActive());
    EXPECT_TRUE(back->GetPersistence());
    EXPECT_FLOAT_EQ(back->GetTime(), 1.5f);
    ASSERT_EQ(back->GetNumTimers(), 2);
    EXPECT_STREQ(back->FindTimer("blink")->script.Get(), "x = \"a\"");
    EXPECT_FLOAT_EQ(back->FindTimer("blink")->time, 0.25f);
    EXPECT_EQ(back->FindTimer("once")->repeat, nLogicTimer::OneShot);
    EXPECT_EQ(back->GetPersistPath(), "/usr/persist/n");
}

TEST_F(LogicNodeTest, SaveLogicWritesOnlyLogicChildrenWithPersistence) {
    ASSERT_TRUE(Run("new('nlogicnode', '/usr/logic/level') new('nlogicnode', '/usr/logic/level/keep')"
                    " new('nlogicnode', '/usr/logic/level/skip') new('nroot', '/usr/logic/level/plain')"
                    " new('nlogicnode', '/usr/logic/level/keep/deep')"
                    " obj('/usr/logic/level/keep').setpersistence(true)"
                    " obj('/usr/logic/level/keep/deep').setpersistence(true)"
                    " ok = obj('/usr/logic/level').savelogicas('" +
                    Path("level") + "') and 'yes' or 'no'"));
    EXPECT_EQ(Global("ok"), "yes");
    std::string text = Slurp(Path("level.n"));
    EXPECT_NE(text.find("keep"), std::string::npos);
    EXPECT_NE(text.find("deep"), std::string::npos);
    EXPECT_EQ(text.find("skip"), std::string::npos);
    EXPECT_EQ(text.find("plain"), std::string::npos);
}

TEST_F(LogicNodeTest, WalksGoOnWhenScriptsDeleteWhatIsWalked) {
    // Timer scripts that delete all timers, release their own node, a sibling, the parent.
    nTestLogicNode* p = Node("/usr/logic/p");
    nTestLogicNode* a = Node("/usr/logic/p/a");
    Node("/usr/logic/p/b");
    Node("/usr/logic/p/c");
    a->AddTimer("wipe", "loop", 0, 0, "obj('/usr/logic/p/a').deletetimers()");
    a->AddTimer("after", "loop", 0, 0, "obj('/usr/logic/p/a').mark('after')");
    Frame();
    EXPECT_EQ(Trace(), "p.trigger a.trigger b.trigger c.trigger ");
    EXPECT_EQ(a->GetNumTimers(), 0);

    a->AddTimer("self", "loop", 0, 0, "delete('/usr/logic/p/a')");
    a->AddTimer("never", "loop", 0, 0, "obj('/usr/logic/p').mark('never')");
    Frame();
    EXPECT_EQ(Lookup("/usr/logic/p/a"), nullptr);
    EXPECT_EQ(Trace(), "p.trigger b.trigger c.trigger ");

    nTestLogicNode* b = static_cast<nTestLogicNode*>(Lookup("/usr/logic/p/b"));
    b->AddTimer("sib", "oneshot", 0, 0, "delete('/usr/logic/p/c')");
    Frame();
    EXPECT_EQ(Trace(), "p.trigger b.trigger ");

    Node("/usr/logic/p/d");
    b->AddTimer("parent", "loop", 0, 0, "delete('/usr/logic/p')");
    Frame();
    EXPECT_EQ(Lookup("/usr/logic/p"), nullptr);
    EXPECT_EQ(Trace(), "p.trigger ");
    (void)p;

    // An event function releasing the next child: the walk ends after what is left.
    nTestLogicNode* x = Node("/usr/logic/x");
    Node("/usr/logic/y");
    Node("/usr/logic/z");
    ASSERT_TRUE(Run("function kill() delete('/usr/logic/y') end"));
    nScriptEvent* e = x->DeclareEvent("go", "v");
    x->AddEventFunction("go", "kill");
    x->AddPendingEvent(e);
    Frame();
    EXPECT_EQ(Trace(), "x.trigger z.trigger ");

    // A node released with a handler queued: nothing fires for it.
    nLogicEventHandler* h = x->AddHandler("picked");
    h->SetScript("obj('/usr/logic/z').mark('fired')");
    ASSERT_TRUE(h->Queue());
    x->Release();
    Frame();
    EXPECT_EQ(Trace(), "z.trigger ");
}

TEST_F(LogicNodeTest, WalksFollowTheListWhenChildrenMoveOrJoinMidFrame) {
    // The walks keep a copy of each child list; these catch a copy trusted after the list
    // changed, and entries left pointing at children that moved away and died.
    nTestLogicNode* p = Node("/usr/logic/p");
    nTestLogicNode* q = Node("/usr/logic/q");
    nTestLogicNode* a = Node("/usr/logic/p/a");
    nTestLogicNode* b = Node("/usr/logic/p/b");
    nTestLogicNode* c = Node("/usr/logic/p/c");
    Frame();
    EXPECT_EQ(Trace(), "p.trigger a.trigger b.trigger c.trigger q.trigger ");

    // Moved to the next parent while the walk runs: served there, not here.
    a->onTrigger = [&] { q->AddTail(c); };
    Frame();
    a->onTrigger = nullptr;
    EXPECT_EQ(Trace(), "p.trigger a.trigger b.trigger q.trigger c.trigger ");
    // Dies in the other parent's list, then both walk again.
    c->Release();
    Frame();
    EXPECT_EQ(Trace(), "p.trigger a.trigger b.trigger q.trigger ");

    // A child added at the end while the walk runs is served in the same frame; one added
    // in front of the walk waits.
    b->onTrigger = [&] {
        Node("/usr/logic/p/e");
        nTestLogicNode* f = Node("/usr/logic/f");
        p->AddHead(f);
    };
    Frame();
    b->onTrigger = nullptr;
    EXPECT_EQ(Trace(), "p.trigger a.trigger b.trigger e.trigger q.trigger ");
    Frame();
    EXPECT_EQ(Trace(), "p.trigger f.trigger a.trigger b.trigger e.trigger q.trigger ");
    root->Traverse(nullptr, matrix44());
    EXPECT_EQ(Trace(), "p.traverse f.traverse a.traverse b.traverse e.traverse q.traverse ");

    // A timer that deletes a timer walked after it and adds one in its place: neither runs
    // in this frame, the new one runs in the next.
    a->AddTimer("swap", "oneshot", 0, 0,
                "n = obj('/usr/logic/p/a') n.deletetimer('old') n.addtimer('new', 'loop', 0, 0, \"obj('/usr/logic/p/a').mark('new')\")");
    a->AddTimer("old", "loop", 0, 0, "obj('/usr/logic/p/a').mark('old')");
    a->AddTimer("third", "loop", 0, 0, "obj('/usr/logic/p/a').mark('third')");
    Frame();
    EXPECT_EQ(Trace(), "p.trigger f.trigger third a.trigger b.trigger e.trigger q.trigger ");
    Frame();
    EXPECT_EQ(Trace(), "p.trigger f.trigger third new a.trigger b.trigger e.trigger q.trigger ");
    EXPECT_EQ(a->GetNumTimers(), 2);
}

TEST_F(LogicNodeTest, TimersAndClocksCountOnceAFrameWhileTheChildListChanges) {
    // A child's timers and clock live in the node; the walk serves each child at most once
    // a frame whatever the list does meanwhile, and a list sorted between frames is walked
    // in its new order.
    nTestLogicNode* p = Node("/usr/logic/p");
    nTestLogicNode* a = Node("/usr/logic/p/a");
    nTestLogicNode* b = Node("/usr/logic/p/b");
    nTestLogicNode* c = Node("/usr/logic/p/c");
    for (nTestLogicNode* n : {a, b, c}) {
        n->AddTimer("t", "loop", 0, 1e9f, "x = 1");
        n->AddTimer("u", "oneshot", 0, 1e9f, "x = 2");
    }
    Frame(0.25f);
    EXPECT_EQ(Trace(), "p.trigger a.trigger b.trigger c.trigger ");

    // a drops b, moves c in front of itself and adds d at the end: c waits, d is served.
    nTestLogicNode* d = nullptr;
    a->onTrigger = [&] {
        b->Release();
        p->AddHead(c);
        d = Node("/usr/logic/p/d");
        d->AddTimer("t", "loop", 0, 1e9f, "x = 3");
    };
    Frame(0.25f);
    a->onTrigger = nullptr;
    EXPECT_EQ(Trace(), "p.trigger a.trigger d.trigger ");
    ASSERT_NE(d, nullptr);
    Frame(0.25f);
    EXPECT_EQ(Trace(), "p.trigger c.trigger a.trigger d.trigger ");

    p->Sort();
    Frame(0.25f);
    EXPECT_EQ(Trace(), "p.trigger a.trigger c.trigger d.trigger ");
    EXPECT_FLOAT_EQ(a->FindTimer("t")->time, 1.0f);
    EXPECT_FLOAT_EQ(a->FindTimer("u")->time, 1.0f);
    EXPECT_FLOAT_EQ(a->GetTime(), 1.0f);
    EXPECT_FLOAT_EQ(c->FindTimer("t")->time, 0.75f);
    EXPECT_FLOAT_EQ(c->FindTimer("u")->time, 0.75f);
    EXPECT_FLOAT_EQ(c->GetTime(), 0.75f);
    EXPECT_FLOAT_EQ(d->FindTimer("t")->time, 0.75f);
    EXPECT_FLOAT_EQ(d->GetTime(), 0.75f);

    // The traversal walks the sorted list too, and a child inactive this frame keeps its
    // timers where they were.
    root->Traverse(nullptr, matrix44());
    EXPECT_EQ(Trace(), "p.traverse a.traverse c.traverse d.traverse ");
    c->SetActive(false);
    Frame(0.25f);
    EXPECT_EQ(Trace(), "p.trigger a.trigger d.trigger ");
    EXPECT_FLOAT_EQ(c->FindTimer("t")->time, 0.75f);
    EXPECT_FLOAT_EQ(d->FindTimer("t")->time, 1.0f);

    // Timers deleted and added in another order than their room in the node, and a third
    // one: each counts once a frame and fires in list order.
    a->DeleteTimer("t");
    a->AddTimer("v", "loop", 0, 1e9f, "x = 4");
    a->AddTimer("w", "loop", 0.5f, 1e9f, "x = 5");
    a->AddTimer("fire", "oneshot", 0, 0.25f, "obj('/usr/logic/p/a').mark('fire')");
    Frame(0.25f);
    EXPECT_EQ(Trace(), "p.trigger fire a.trigger d.trigger ");
    EXPECT_FLOAT_EQ(a->FindTimer("u")->time, 1.5f);
    EXPECT_FLOAT_EQ(a->FindTimer("v")->time, 0.25f);
    EXPECT_FLOAT_EQ(a->FindTimer("w")->time, 0.75f);
    EXPECT_EQ(a->FindTimer("fire"), nullptr);
    a->DeleteTimer("u");
    Frame(0.25f);
    EXPECT_FLOAT_EQ(a->FindTimer("v")->time, 0.5f);
    EXPECT_FLOAT_EQ(a->FindTimer("w")->time, 1.0f);
    EXPECT_EQ(a->GetNumTimers(), 2);
}

TEST_F(LogicNodeTest, RaisedEventsFireAtTheChildsNextServingAndDeathsInAChildsWalkLeaveTheRest) {
    // Whether a child has raised events is kept apart from the events themselves: one raised
    // while another fires, one raised on a child the walk has yet to reach and one on a child
    // it has passed must each fire exactly once, at the right frame.
    Node("/usr/logic/p");
    nTestLogicNode* a = Node("/usr/logic/p/a");
    nTestLogicNode* b = Node("/usr/logic/p/b");
    nTestLogicNode* c = Node("/usr/logic/p/c");
    nTestLogicNode* d = Node("/usr/logic/p/d");
    Frame();
    Trace();
    ASSERT_TRUE(Run("function go() obj('/usr/logic/p/b').mark('go') end"
                    " function again() obj('/usr/logic/p/b').mark('again') obj('/usr/logic/p/b').raise('go') end"
                    " function hit() obj('/usr/logic/p/a').mark('hit') end"));
    b->DeclareEvent("go", "v");
    b->AddEventFunction("go", "go");
    b->DeclareEvent("again", "v");
    b->AddEventFunction("again", "again");
    a->DeclareEvent("hit", "v");
    a->AddEventFunction("hit", "hit");
    b->AddPendingEvent(b->FindEvent("again"));
    Frame();
    EXPECT_EQ(Trace(), "p.trigger a.trigger again b.trigger c.trigger d.trigger ");
    Frame();
    EXPECT_EQ(Trace(), "p.trigger a.trigger go b.trigger c.trigger d.trigger ");
    Frame();
    EXPECT_EQ(Trace(), "p.trigger a.trigger b.trigger c.trigger d.trigger ");
    a->onTrigger = [&] { b->AddPendingEvent(b->FindEvent("go")); };
    c->onTrigger = [&] { a->AddPendingEvent(a->FindEvent("hit")); };
    Frame();
    a->onTrigger = nullptr;
    c->onTrigger = nullptr;
    EXPECT_EQ(Trace(), "p.trigger a.trigger go b.trigger c.trigger d.trigger ");
    Frame();
    EXPECT_EQ(Trace(), "p.trigger hit a.trigger b.trigger c.trigger d.trigger ");

    // A grandchild's timer deletes its parent while the parent walks its children: the
    // parent's siblings are still served, their clocks counted once.
    Node("/usr/logic/p/c/e")->AddTimer("end", "oneshot", 0, 0.1f, "delete('/usr/logic/p/c')");
    d->AddTimer("t", "loop", 0, 1e9f, "x = 1");
    Frame(0.25f);
    EXPECT_EQ(Lookup("/usr/logic/p/c"), nullptr);
    EXPECT_EQ(Trace(), "p.trigger a.trigger b.trigger c.trigger d.trigger ");
    EXPECT_FLOAT_EQ(d->FindTimer("t")->time, 0.25f);
    Frame(0.25f);
    EXPECT_EQ(Trace(), "p.trigger a.trigger b.trigger d.trigger ");
    EXPECT_FLOAT_EQ(d->FindTimer("t")->time, 0.5f);
}

TEST_F(LogicNodeTest, ChildrenOfTheBaseClassAreServedLikeAnyOther) {
    // Children of the base class itself, whose Trigger only walks their own children: their
    // clocks and timers count, a due timer runs, a child that gains children mid-frame
    // walks them in that frame, and timer clocks keep their own times however timers come
    // and go.
    auto* p = static_cast<nLogicNode*>(kernel->New("nlogicnode", "/usr/logic/p"));
    auto* a = static_cast<nLogicNode*>(kernel->New("nlogicnode", "/usr/logic/p/a"));
    auto* b = static_cast<nLogicNode*>(kernel->New("nlogicnode", "/usr/logic/p/b"));
    auto* c = static_cast<nLogicNode*>(kernel->New("nlogicnode", "/usr/logic/p/c"));
    Node("/usr/logic/p/z");
    a->AddTimer("t", "loop", 0, 0.5f, "obj('/usr/logic/p/z').mark('a.t')");
    a->AddTimer("u", "loop", 0.1f, 1e9f, "x = 1");
    c->AddTimer("grow", "oneshot", 0, 0.5f, "x = 1");
    Frame(0.25f);
    EXPECT_EQ(Trace(), "z.trigger ");
    EXPECT_FLOAT_EQ(a->GetTime(), 0.25f);
    EXPECT_FLOAT_EQ(b->GetTime(), 0.25f);
    EXPECT_FLOAT_EQ(a->FindTimer("u")->time, 0.35f);
    EXPECT_FLOAT_EQ(p->GetTime(), 0.25f);

    // a's timer fires and gives b a child before the walk reaches b; c's one-shot gives
    // itself one: both are walked at once.
    a->FindTimer("t")->script = "obj('/usr/logic/p/z').mark('a.t') new('ntestlogicnode', '/usr/logic/p/b/x')";
    c->FindTimer("grow")->script = "new('ntestlogicnode', '/usr/logic/p/c/y')";
    Frame(0.25f);
    EXPECT_EQ(Trace(), "a.t x.trigger y.trigger z.trigger ");
    EXPECT_FLOAT_EQ(a->FindTimer("t")->time, 0.0f);
    EXPECT_EQ(c->GetNumTimers(), 0);
    EXPECT_FLOAT_EQ(c->GetTime(), 0.5f);
    a->FindTimer("t")->script = "x = 2";

    // The first timer goes, the second stays in its place, and a new one takes the first
    // one's room: each starts where it was set and comes due at its own period.
    a->DeleteTimer("t");
    Frame(0.25f);
    EXPECT_FLOAT_EQ(a->FindTimer("u")->time, 0.85f);
    a->AddTimer("n", "oneshot", 0.125f, 0.5f, "obj('/usr/logic/p/z').mark('a.n')");
    a->DeleteTimer("u");
    Frame(0.25f);
    EXPECT_FLOAT_EQ(a->FindTimer("n")->time, 0.375f);
    EXPECT_EQ(Trace(), "x.trigger y.trigger z.trigger x.trigger y.trigger z.trigger ");
    Frame(0.25f);
    EXPECT_EQ(Trace(), "a.n x.trigger y.trigger z.trigger ");
    EXPECT_EQ(a->GetNumTimers(), 0);
}

TEST_F(LogicNodeTest, TraversalFollowsActiveChangesOfChildrenItWalkedBefore) {
    // The traversal walks a copy of the child list kept between frames: a child switched
    // off or on (by command or call, before the copy is made or after a move) counts at once.
    Node("/usr/logic/p");
    nTestLogicNode* a = Node("/usr/logic/p/a");
    nTestLogicNode* b = Node("/usr/logic/p/b");
    b->SetActive(false);
    root->Traverse(nullptr, matrix44());
    EXPECT_EQ(Trace(), "p.traverse a.traverse ");
    ASSERT_TRUE(Run("obj('/usr/logic/p/a').setactive(false) obj('/usr/logic/p/b').setactive(true)"));
    Node("/usr/logic/q")->AddTail(b);
    root->Traverse(nullptr, matrix44());
    b->SetActive(false);
    a->SetActive(true);
    root->Traverse(nullptr, matrix44());
    EXPECT_EQ(Trace(), "p.traverse q.traverse b.traverse p.traverse a.traverse q.traverse ");
}

}  // namespace
