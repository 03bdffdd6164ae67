#include "platform/net/nThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {
// A worker that blocks on an event until it is woken, as an accept would.
struct Blocker {
    nEvent wake;
    std::atomic<int> rounds{0};
    std::atomic<bool> sawHarakiri{false};
};

void BlockingFunc(nThread* t) {
    auto* b = static_cast<Blocker*>(t->GetUserData());
    t->ThreadStarted();
    while (!t->ThreadStopRequested()) {
        b->wake.Wait();
        b->rounds++;
    }
    b->sawHarakiri = true;
    t->ThreadHarakiri();
}

void WakeFunc(nThread* t) {
    static_cast<Blocker*>(t->GetUserData())->wake.Signal();
}

void ProducerFunc(nThread* t) {
    t->ThreadStarted();
    for (int i = 0; i < 100; i++) {
        t->GetMsgList()->PutMsg(std::make_unique<nMsgNode>(i, "x", 1));
    }
    t->ThreadHarakiri();
}
}  // namespace

TEST(nThread, StopWakesABlockedThreadAndJoins) {
    Blocker b;
    {
        nThread thread(BlockingFunc, 0, WakeFunc, &b, nullptr);
        EXPECT_TRUE(thread.IsRunning());
        thread.Stop();
        EXPECT_FALSE(thread.IsRunning());
        EXPECT_TRUE(b.sawHarakiri);
        thread.Stop();  // a second stop is harmless
    }
    // the destructor alone stops a running thread too
    Blocker c;
    { nThread thread(BlockingFunc, 0, WakeFunc, &c, nullptr); }
    EXPECT_TRUE(c.sawHarakiri);
}

TEST(nThread, FunctionThatNeverReportsStartedDoesNotHangTheConstructor) {
    nThread thread([](nThread*) {}, 0, nullptr, nullptr, nullptr);
    thread.Stop();
    EXPECT_FALSE(thread.IsRunning());
}

TEST(nThreadSafeList, MessagesFromAnotherThreadArriveInOrder) {
    nThreadSafeList queue;
    nThread thread(ProducerFunc, 0, nullptr, nullptr, &queue);
    EXPECT_EQ(thread.GetMsgList(), &queue);
    int expected = 0;
    while (expected < 100) {
        ASSERT_TRUE(queue.WaitMsg(5.0f));
        std::unique_ptr<nMsgNode> msg = queue.GetMsg();
        ASSERT_NE(msg, nullptr);
        EXPECT_EQ(msg->GetClientId(), expected);
        EXPECT_EQ(msg->GetSize(), 1u);
        expected++;
    }
    EXPECT_TRUE(queue.IsEmpty());
    EXPECT_EQ(queue.GetMsg(), nullptr);
    thread.Stop();
}

TEST(nThreadSafeList, WaitOutlastsTheSignalOfAMessageAlreadyTaken) {
    nThreadSafeList queue;
    queue.PutMsg(std::make_unique<nMsgNode>(1, "a", 1));
    ASSERT_NE(queue.GetMsg(), nullptr);  // its signal is still pending
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        queue.PutMsg(std::make_unique<nMsgNode>(2, "b", 1));
    });
    EXPECT_TRUE(queue.WaitMsg(5.0f));
    late.join();
}
