#include <string>

#include "kernel/nEnv.h"
#include "scene/nChannelSet.h"
#include "tests/scene/SceneFixture.h"

namespace {

using ChannelServerTest = SceneFixture;

TEST_F(ChannelServerTest, ChannelsAreNumberedEnvsUnderTheChannelDirectory) {
    EXPECT_EQ(channels->GenChannel("time"), 0);
    EXPECT_EQ(channels->GenChannel("time"), 0);
    EXPECT_EQ(channels->GenChannel("lod"), 1);
    auto* env = static_cast<nEnv*>(Lookup("/sys/share/channels/lod"));
    ASSERT_NE(env, nullptr);
    EXPECT_STREQ(env->GetTypeName(), "int");
    EXPECT_EQ(env->GetI(), 1);
    // A server made again while the directory lives on keeps the indices handed out.
    nRoot* dir = Lookup("/sys/share/channels");
    dir->AddRef();
    channels->Release();
    channels = static_cast<nChannelServer*>(kernel->New("nchannelserver", "/sys/servers/channel"));
    EXPECT_EQ(channels->GenChannel("lod"), 1);
    EXPECT_EQ(channels->GenChannel("new"), 2);
    dir->Release();
}

TEST_F(ChannelServerTest, ScriptSetsAndGetsValues) {
    ASSERT_TRUE(Run("sel('/sys/servers/channel')\n"
                    "setchannel2f('x', 1, 2)\n"
                    "a, b, c, d = getchannel4f('x')\n"
                    "setchannel4f('y', 5, 6, 7, 8)\n"
                    "setchannel1f('y', 9)\n"
                    "e, f, g = getchannel3f('y')\n"
                    "setchannelstring('name', 'walk')\n"
                    "s = getchannelstring('name')\n"
                    "n = getchannelstring('x')\n"));
    EXPECT_EQ(Eval("a .. ' ' .. b .. ' ' .. c .. ' ' .. d"), "1.0 2.0 0.0 0.0");
    EXPECT_EQ(Eval("e .. ' ' .. f .. ' ' .. g"), "9.0 6.0 7.0");
    EXPECT_EQ(Global("s"), "walk");
    EXPECT_EQ(Global("n"), "");
}

TEST_F(ChannelServerTest, StringChannelsKeepTheirTextInTheirOwnSlot) {
    int walk = channels->GenChannel("state");
    int other = channels->GenChannel("other");
    std::string text = "swim";
    channels->SetChannelString(walk, text.c_str());
    text = "changed";  // the channel keeps its own copy
    channels->SetChannelString(other, "");
    EXPECT_STREQ(channels->GetChannelString(walk), "swim");
    EXPECT_STREQ(channels->GetChannelString(other), "");
    channels->SetChannelString(walk, nullptr);
    EXPECT_EQ(channels->GetChannelString(walk), nullptr);
    EXPECT_EQ(channels->GetChannelRaw(walk), 0u);
}

TEST_F(ChannelServerTest, ContextKeepsTheValuesOfItsMomentUntilTheNextFrame) {
    nChannelSet set;
    int time = set.AddChannel(channels, "time");
    int lod = set.AddChannel(channels, "lod");
    EXPECT_EQ(set.AddChannel(channels, "time"), time);  // no duplicate
    EXPECT_EQ(set.GetNumChannels(), 2);
    channels->SetChannel1f(time, 1.5f);
    channels->SetChannel1f(lod, 0.25f);

    channels->BeginScene();
    nChannelContext* ctx = channels->NewContext(&set);
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(set.GetRefCount(), 1);
    channels->SetChannel1f(time, 9.0f);
    EXPECT_FLOAT_EQ(nChannelContext::Read(ctx, time).f[0], 1.5f);
    EXPECT_FLOAT_EQ(nChannelContext::Read(ctx, lod).f[0], 0.25f);
    channels->EndScene();
    EXPECT_EQ(set.GetRefCount(), 0);

    channels->BeginScene();
    ctx = channels->NewContext(&set);
    EXPECT_FLOAT_EQ(nChannelContext::Read(ctx, time).f[0], 9.0f);
    channels->EndScene();
}

TEST_F(ChannelServerTest, ChannelsMissingFromASetReadZeroAndAreLoggedOnce) {
    nChannelSet set;
    set.AddChannel(channels, "time");
    int other = channels->GenChannel("other");
    channels->SetChannel1f(other, 3.0f);
    channels->BeginScene();
    nChannelContext* ctx = channels->NewContext(&set);
    EXPECT_EQ(nChannelContext::Read(ctx, other).f[0], 0.0f);
    EXPECT_EQ(nChannelContext::Read(ctx, other).f[0], 0.0f);
    EXPECT_EQ(nChannelContext::Read(nullptr, other).f[0], 0.0f);
    channels->EndScene();
    size_t first = log.text.find("not in set");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(log.text.find("not in set", first + 1), std::string::npos);
}

// Channels never go: a name that could hold megabytes is refused, one at the bound is not.
TEST_F(ChannelServerTest, LongNamesAreRefused) {
    EXPECT_EQ(channels->GenChannel(std::string(nChannelServer::MaxNameLength + 1, 'x').c_str()), -1);
    EXPECT_TRUE(LogHas("longer than"));
    EXPECT_EQ(channels->GetNumChannels(), 0);
    EXPECT_GE(channels->GenChannel(std::string(nChannelServer::MaxNameLength, 'x').c_str()), 0);
}

TEST_F(ChannelServerTest, BadNamesAreRefusedAndChangeNothing) {
    for (const char* bad : {"", ".", "..", "a/b"}) {
        log.text.clear();
        EXPECT_EQ(channels->GenChannel(bad), -1) << bad;
        EXPECT_TRUE(LogHas("no channel name")) << bad;
    }
    EXPECT_EQ(channels->GenChannel(nullptr), -1);
    EXPECT_EQ(channels->GetNumChannels(), 0);
    EXPECT_EQ(Lookup("/sys/share/channels/a"), nullptr);
    // From a script: logged, nothing set, the getter reads 0.
    ASSERT_TRUE(Run("sel('/sys/servers/channel')\nsetchannel1f('..', 4)\nv = getchannel1f('..')\n"));
    EXPECT_EQ(Eval("v"), "0.0");
    // Wrong argument types do nothing.
    Run("setchannel1f('x', 'text')");
    EXPECT_EQ(Lookup("/sys/share/channels/x"), nullptr);
    // An object under the directory that is not a channel.
    kernel->New("nroot", "/sys/share/channels/stray");
    EXPECT_EQ(channels->GenChannel("stray"), -1);
}

TEST_F(ChannelServerTest, LimitsRefuseWithALogAndReadersReadZero) {
    // The 2049th channel.
    for (int i = 0; i < nChannelServer::MaxChannels; i++) {
        ASSERT_EQ(channels->GenChannel(("c" + std::to_string(i)).c_str()), i);
    }
    log.text.clear();
    EXPECT_EQ(channels->GenChannel("onemore"), -1);
    EXPECT_TRUE(LogHas("no room"));
    channels->SetChannel1f(-1, 5.0f);
    EXPECT_EQ(channels->GetChannel1f(-1), 0.0f);

    // 1024 contexts of one slot each, then one more.
    nChannelSet one;
    one.AddChannel(channels, "c7");
    channels->SetChannel1f(7, 2.0f);
    channels->BeginScene();
    for (int i = 0; i < nChannelServer::MaxContexts; i++) ASSERT_NE(channels->NewContext(&one), nullptr);
    log.text.clear();
    nChannelContext* refused = channels->NewContext(&one);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(nChannelContext::Read(refused, 7).f[0], 0.0f);
    EXPECT_TRUE(LogHas("1024"));
    channels->NewContext(&one);  // once a frame is enough
    EXPECT_EQ(log.text.find("1024"), log.text.rfind("1024"));
    channels->EndScene();
    EXPECT_EQ(one.GetRefCount(), 0);

    // Value slots: a set of 1500 channels fits once, not twice.
    nChannelSet big;
    for (int i = 0; i < 1500; i++) big.AddChannel(channels, ("c" + std::to_string(i)).c_str());
    channels->BeginScene();
    EXPECT_NE(channels->NewContext(&big), nullptr);
    EXPECT_EQ(channels->NewContext(&big), nullptr);
    EXPECT_EQ(channels->GetStackTop(), 1500);
    EXPECT_EQ(big.GetRefCount(), 1);
    channels->EndScene();
}

}  // namespace
