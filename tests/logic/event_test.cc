// Logic events: records and event objects, queueing with argument snapshots, the three
// handler kinds, handlers and servers that die at awkward moments, and the queue's size.
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "logic/nLogicEvent.h"
#include "logic/nLogicEventHandler.h"
#include "logic/nLogicEventRecord.h"
#include "logic/nLogicEventServer.h"
#include "logic/nLogicFunctionHandler.h"
#include "tests/logic/AllocationCount.h"
#include "tests/logic/LogicFixture.h"

namespace {

// A node stand-in that owns one handler and deletes it when it dies, as a logic node does.
class nTestHandlerOwner : public nRoot {
public:
    static const nClassInfo classInfo;
    ~nTestHandlerOwner() override { delete handler; }
    nLogicEventHandler* handler = nullptr;
};
const nClassInfo nTestHandlerOwner::classInfo = nClassInfo::Make<nTestHandlerOwner>("ntesthandlerowner", "nroot");

// What callback handlers saw: event name and the event object's variables, per call.
std::vector<std::string> gSeen;
void Record(nLogicEventHandler* h) {
    std::string line = std::string(h->GetEventName()) + ":";
    nLogicEvent* obj = h->GetEventObject();
    for (nPersistVar* pv = obj->GetFirstVar(); pv; pv = pv->GetSucc()) {
        const nVariable& v = pv->Get();
        line += " " + std::string(pv->GetName());
        line += "=" + (v.GetType() == nVariable::String ? std::string(v.GetS()) : std::to_string(v.GetI()));
    }
    gSeen.push_back(line);
}
// Queues itself again with its argument counted up; keeps every argument it ran with.
int gRequeues = 0;
std::vector<int> gRequeueArgs;
void Requeue(nLogicEventHandler* h) {
    gRequeues++;
    nVariable* n = h->GetEventObject()->GetVar("n");
    gRequeueArgs.push_back(n->GetI());
    n->SetI(n->GetI() + 1);
    h->Queue();
}

class LogicEventTest : public nLogicFixture {
protected:
    void SetUp() override {
        nLogicFixture::SetUp();
        kernel->AddClass(nTestHandlerOwner::classInfo);
        server = static_cast<nLogicEventServer*>(kernel->New("nlogiceventserver", "/sys/servers/event"));
        record = server->FindOrCreateEvent("logicgraph");
        gSeen.clear();
        gRequeues = 0;
        gRequeueArgs.clear();
    }
    void TearDown() override {
        handlers.clear();
        nLogicFixture::TearDown();
    }
    nLogicEventHandler* Make(int kind, const char* event, nRoot* owner = nullptr) {
        handlers.emplace_back(nLogicEventHandler::Create(kind, owner, event, record));
        return handlers.back().get();
    }
    nLogicEventHandler* Callback(const char* event, nLogicEventHandler::CallbackFn fn = Record) {
        nLogicEventHandler* h = Make(nLogicEventHandler::Callback, event);
        h->SetCallback(fn);
        return h;
    }
    // The firing pattern of a node: arguments into the event object, then Queue.
    static bool FireWith(nLogicEventHandler* h, const char* name, int value) {
        nVariable v;
        v.SetI(value);
        h->GetEventObject()->SetVar(name, v);
        return h->Queue();
    }
    // A handler owned by a new stand-in node at `path`.
    nTestHandlerOwner* Owner(const char* path, int kind, const char* event) {
        auto* o = static_cast<nTestHandlerOwner*>(kernel->New("ntesthandlerowner", path));
        o->handler = nLogicEventHandler::Create(kind, o, event, record);
        return o;
    }

    nLogicEventServer* server = nullptr;
    nLogicEventRecord* record = nullptr;
    std::vector<std::unique_ptr<nLogicEventHandler>> handlers;
};

TEST_F(LogicEventTest, RecordsGroupsAndEventObjectsAreMadeOnceAndShared) {
    EXPECT_EQ(server->FindOrCreateEvent("logicgraph"), record);
    nRoot* group = Lookup("/sys/events/logicgraph");
    ASSERT_NE(group, nullptr);
    EXPECT_STREQ(group->GetClass()->GetName(), "nroot");
    EXPECT_EQ(record->GetGroupObject(), group);
    EXPECT_EQ(group->GetHead(), nullptr);

    nLogicEventHandler* a = Make(nLogicEventHandler::Script, "onuse");
    nLogicEventHandler* b = Make(nLogicEventHandler::Function, "onuse");
    nLogicEventHandler* c = Make(nLogicEventHandler::Script, "onenter");
    nRoot* onuse = Lookup("/sys/events/logicgraph/onuse");
    ASSERT_NE(onuse, nullptr);
    EXPECT_STREQ(onuse->GetClass()->GetName(), "nlogicevent");
    EXPECT_TRUE(onuse->IsA("npersist"));
    EXPECT_EQ(onuse->GetClass()->GetFirstCmd(), nullptr);
    EXPECT_EQ(static_cast<nRoot*>(a->GetEventObject()), onuse);
    EXPECT_EQ(b->GetEventObject(), a->GetEventObject());
    EXPECT_NE(c->GetEventObject(), a->GetEventObject());
    EXPECT_EQ(a->GetKind(), 1);
    EXPECT_EQ(b->GetKind(), 2);
    // Its handlers keep the event object while they live.
    EXPECT_EQ(onuse->GetRefCount(), 3);
}

TEST_F(LogicEventTest, FiringsRunNextFrameInOrderEachWithItsOwnArguments) {
    nLogicEventHandler* unbound = Make(nLogicEventHandler::Callback, "idle");
    EXPECT_FALSE(FireWith(unbound, "n", 1));
    EXPECT_EQ(record->GetNumQueued(), 0);

    nLogicEventHandler* h = Callback("onuse");
    nLogicEventHandler* other = Callback("onenter");
    ASSERT_TRUE(FireWith(h, "n", 1));
    ASSERT_TRUE(FireWith(other, "n", 10));
    ASSERT_TRUE(FireWith(h, "n", 2));
    // A variable added since queueing: the snapshot writes only what it holds.
    nVariable s;
    s.SetS("late");
    h->GetEventObject()->SetVar("who", s);
    EXPECT_TRUE(gSeen.empty());
    EXPECT_EQ(record->GetNumQueued(), 3);

    server->Trigger();
    EXPECT_EQ(gSeen, (std::vector<std::string>{"onuse: n=1 who=late", "onenter: n=10", "onuse: n=2 who=late"}));
    EXPECT_EQ(record->GetNumQueued(), 0);
    gSeen.clear();
    server->Trigger();
    EXPECT_TRUE(gSeen.empty());
}

TEST_F(LogicEventTest, AFiringQueuedByARunningHandlerRunsInTheSamePass) {
    static nLogicEventHandler* follow = nullptr;
    follow = Callback("second");
    Callback("first", [](nLogicEventHandler* h) {
        Record(h);
        FireWith(follow, "n", 5);
    })->Queue();
    server->Trigger();
    EXPECT_EQ(gSeen, (std::vector<std::string>{"first:", "second: n=5"}));
    EXPECT_EQ(record->GetNumQueued(), 0);
}

TEST_F(LogicEventTest, ScriptHandlerRunsWithItsOwnerCurrentAndRestoresTheFormerOne) {
    nRoot* node = kernel->New("nroot", "/usr/logic/door");
    nLogicEventHandler* h = Make(nLogicEventHandler::Script, "onuse", node);
    EXPECT_FALSE(h->IsBound());
    EXPECT_STREQ(h->GetScript(), "");
    h->SetScript("who = getname() n = obj('/sys/events/logicgraph/onuse').geti('n')");
    EXPECT_TRUE(h->IsBound());
    nRoot* here = kernel->New("nroot", "/here");
    kernel->SetCwd(here);
    FireWith(h, "n", 3);
    server->Trigger();
    EXPECT_EQ(Global("who"), "door");
    EXPECT_EQ(Global("n"), "3");
    EXPECT_EQ(kernel->GetCwd(), here);

    // Without an owner the root is current; a deleted former object gives the root.
    nLogicEventHandler* free = Make(nLogicEventHandler::Script, "onfree");
    free->SetScript("who = getname() delete('/here')");
    free->Queue();
    server->Trigger();
    EXPECT_EQ(Global("who"), "/");
    EXPECT_EQ(kernel->GetCwd(), kernel->GetRoot());
}

TEST_F(LogicEventTest, FunctionHandlerRunsItsLinesUnchangedInOrder) {
    nRoot* node = kernel->New("nroot", "/usr/logic/lift");
    auto* h = static_cast<nLogicFunctionHandler*>(Make(nLogicEventHandler::Function, "onstop", node));
    EXPECT_FALSE(h->IsBound());
    h->AddFunction("trace = (trace or '') .. 'a' .. getname()");
    h->AddFunction("trace = trace .. 'b'");
    h->AddFunction("trace = trace .. 'c'");
    h->AddFunction("trace = trace .. 'b'");
    EXPECT_EQ(h->FindFunction("trace = trace .. 'b'"), 1);
    EXPECT_EQ(h->FindFunction("trace = trace .. 'B'"), -1);
    h->RemoveFunction("trace = trace .. 'b'");
    h->RemoveFunction("absent");
    EXPECT_EQ(h->GetNumFunctions(), 3);
    EXPECT_STREQ(h->GetFunction(1), "trace = trace .. 'c'");
    h->Queue();
    server->Trigger();
    EXPECT_EQ(Global("trace"), "aliftcb");
    EXPECT_EQ(kernel->GetCwd(), kernel->GetRoot());
    // Reading past the end grows the list.
    EXPECT_STREQ(h->GetFunction(5), "");
    EXPECT_EQ(h->GetNumFunctions(), 6);
}

TEST_F(LogicEventTest, HandlersThatDieBeforeTheirFiringAreSkipped) {
    // Deleted between queueing and dispatch.
    nLogicEventHandler* gone = Callback("gone");
    gone->Queue();
    handlers.pop_back();
    // Deleted by an earlier handler's script in the same pass, with its node.
    nTestHandlerOwner* victim = Owner("/usr/logic/victim", nLogicEventHandler::Callback, "victim");
    victim->handler->SetCallback(Record);
    nTestHandlerOwner* killer = Owner("/usr/logic/killer", nLogicEventHandler::Script, "killer");
    killer->handler->SetScript("delete('/usr/logic/victim')");
    killer->handler->Queue();
    victim->handler->Queue();
    // A function handler whose first line deletes its own node stops there.
    nTestHandlerOwner* self = Owner("/usr/logic/self", nLogicEventHandler::Function, "self");
    self->handler->AddFunction("delete('/usr/logic/self')");
    self->handler->AddFunction("after = 1");
    self->handler->Queue();
    Callback("last")->Queue();
    server->Trigger();
    EXPECT_EQ(gSeen, (std::vector<std::string>{"last:"}));
    EXPECT_EQ(Lookup("/usr/logic/victim"), nullptr);
    EXPECT_EQ(Lookup("/usr/logic/self"), nullptr);
    EXPECT_EQ(Global("after"), "nil");
    EXPECT_EQ(record->GetNumQueued(), 0);
}

TEST_F(LogicEventTest, ReleasingTheServerBeforeOrAfterTheOwnersFreesNothingTwice) {
    nTestHandlerOwner* first = Owner("/usr/logic/first", nLogicEventHandler::Script, "onuse");
    first->handler->SetScript("x = 1");
    first->handler->Queue();
    server->Release();
    EXPECT_EQ(first->handler->GetRecord(), nullptr);
    EXPECT_FALSE(first->handler->Queue());
    EXPECT_TRUE(LogHas("fired after the event server was released"));
    first->Release();

    // And the other way round: the owner goes first, then the server.
    server = static_cast<nLogicEventServer*>(kernel->New("nlogiceventserver", "/sys/servers/event"));
    record = server->FindOrCreateEvent("logicgraph");
    nTestHandlerOwner* second = Owner("/usr/logic/second", nLogicEventHandler::Script, "onuse");
    second->handler->SetScript("x = 2");
    second->handler->Queue();
    second->Release();
    server->Trigger();
    EXPECT_EQ(Global("x"), "nil");
    server->Release();
}

TEST_F(LogicEventTest, AScriptDeletingTheEventObjectsBreaksNoLaterFiring) {
    nLogicEventHandler* h = Callback("onuse");
    nLogicEventHandler* deleter = Make(nLogicEventHandler::Script, "cleanup");
    deleter->SetScript("delete('/sys/events/logicgraph')");
    // Queued with an argument, then the script takes the objects away: that firing no
    // longer fits its new, empty event object and is skipped.
    deleter->Queue();
    FireWith(h, "n", 1);
    server->Trigger();
    EXPECT_TRUE(gSeen.empty());
    EXPECT_TRUE(LogHas("/sys/events/logicgraph/onuse: found no persist var on index!"));
    // The next firing finds the object made again.
    ASSERT_TRUE(FireWith(h, "n", 2));
    server->Trigger();
    EXPECT_EQ(gSeen, (std::vector<std::string>{"onuse: n=2"}));
    EXPECT_STREQ(Lookup("/sys/events/logicgraph/onuse")->GetClass()->GetName(), "nlogicevent");

    // An argument whose type changed since queueing is skipped too.
    FireWith(h, "n", 3);
    nLogicEvent* obj = h->GetEventObject();
    obj->RemoveVar("n");
    nVariable f;
    f.SetF(1.0f);
    obj->SetVar("n", f);
    server->Trigger();
    EXPECT_EQ(gSeen.size(), 1u);
    EXPECT_TRUE(LogHas("argument 'n' changed its type"));

    // A script that puts another object at the event's path: logged, nothing queued.
    ASSERT_TRUE(Run("delete('/sys/events/logicgraph') new('nroot', '/sys/events/logicgraph/onuse')"));
    EXPECT_FALSE(h->Queue());
    EXPECT_TRUE(LogHas("is a nroot, not the event object"));
}

TEST_F(LogicEventTest, AHundredFiringsRunInOrderAndASelfRequeueWaitsAfterSixtyFour) {
    nLogicEventHandler* h = Callback("many");
    for (int i = 0; i < 100; i++) FireWith(h, "n", i);
    server->Trigger();
    ASSERT_EQ(gSeen.size(), 100u);
    for (int i = 0; i < 100; i++) EXPECT_EQ(gSeen[i], "many: n=" + std::to_string(i));

    // Behind a plain firing, so the waiting one has to move to the queue's front.
    nLogicEventHandler* loop = Callback("loop", Requeue);
    FireWith(h, "n", 7);
    FireWith(loop, "n", 0);
    server->Trigger();
    EXPECT_EQ(gRequeues, 1 + nLogicEventRecord::MaxRequeuedPerPass);
    EXPECT_EQ(record->GetNumQueued(), 1);
    EXPECT_EQ(gSeen.back(), "many: n=7");
    server->Trigger();
    EXPECT_EQ(gRequeues, 2 + 2 * nLogicEventRecord::MaxRequeuedPerPass);
    // Each run saw the value the run before it queued, across the frames.
    for (int i = 0; i < gRequeues; i++) ASSERT_EQ(gRequeueArgs[i], i);
    loop->SetCallback(Record);
    server->Trigger();
    EXPECT_EQ(record->GetNumQueued(), 0);
}

TEST_F(LogicEventTest, FramesAllocateNothingOnceTheSlotsHaveGrown) {
    if (!AllocationCount::Available()) GTEST_SKIP() << "allocations are counted in the sanitizer build";
    nLogicEventHandler* h = Callback("count", [](nLogicEventHandler*) {});
    auto frame = [&] {
        for (int i = 0; i < 100; i++) FireWith(h, "n", i);
        server->Trigger();
    };
    // The first frame grows the slots (and shows that the count works).
    AllocationCount::Start();
    frame();
    EXPECT_GT(AllocationCount::Stop(), 0);
    AllocationCount::Start();
    frame();
    frame();
    EXPECT_EQ(AllocationCount::Stop(), 0);
}

using LogicEventDeathTest = LogicEventTest;

TEST_F(LogicEventDeathTest, UnknownKindsAndMissingOperationsStop) {
    EXPECT_EXIT(nLogicEventHandler::Create(0, nullptr, "x", record), ::testing::ExitedWithCode(3),
                "unknown event type for creation!");
    EXPECT_EXIT(nLogicEventHandler::Create(4, nullptr, "x", record), ::testing::ExitedWithCode(3),
                "unknown event type for creation!");
    nLogicEventHandler* script = Make(nLogicEventHandler::Script, "x");
    EXPECT_EXIT(script->AddFunction("f()"), ::testing::ExitedWithCode(3), "pure virtual function call!");
    nLogicEventHandler* cb = Make(nLogicEventHandler::Callback, "x");
    EXPECT_EXIT(cb->SetScript("x = 1"), ::testing::ExitedWithCode(3), "pure virtual function call!");
}

}  // namespace
