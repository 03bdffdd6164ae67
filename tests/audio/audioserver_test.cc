// The audio server's device-independent part: mode strings, script commands, sound
// ids, shared streams and the fade times.
#include <lua.hpp>

#include "audio/nAudioServer2.h"
#include "script/nLuaServer2.h"
#include "tests/audio/AudioTestKernel.h"
#include "tests/kernel/Respelled.h"

namespace {

using AudioServerTest = AudioTestKernel;

TEST_F(AudioServerTest, ModeStringsStartFromTheDefaults) {
    auto* a = static_cast<nAudioServer2*>(kernel->New("naudioserver2", "/sys/servers/audio"));
    a->SetMode("speakers(quad)");
    EXPECT_EQ(a->GetSpeakerMode(), nAudioServer2::Quad);
    EXPECT_EQ(a->GetSampleRate(), 22050);
    EXPECT_EQ(a->GetBitsPerSample(), 16);
    EXPECT_EQ(a->GetNumVoices(), 16);
    EXPECT_EQ(a->GetDevice(), 0);
    a->SetMode("dev(1)-bps(8)-hz(44100)-chn(8)-speakers(5.1)-hz(11025)");
    EXPECT_EQ(a->GetDevice(), 1);
    EXPECT_EQ(a->GetBitsPerSample(), 8);
    EXPECT_EQ(a->GetSampleRate(), 44100);  // the first item with a key counts
    EXPECT_EQ(a->GetNumVoices(), 8);
    EXPECT_EQ(a->GetSpeakerMode(), nAudioServer2::FivePointOne);
    a->SetMode("");
    EXPECT_EQ(a->GetDevice(), 0);
    EXPECT_EQ(a->GetBitsPerSample(), 16);
    EXPECT_EQ(a->GetSampleRate(), 22050);
    EXPECT_EQ(a->GetNumVoices(), 16);
    EXPECT_EQ(a->GetSpeakerMode(), nAudioServer2::Stereo);
    EXPECT_FALSE(TakeErrors());
    a->SetMode("speakers(7.1)-hz(fast)-chn(100000)");
    EXPECT_EQ(a->GetSpeakerMode(), nAudioServer2::Stereo);
    EXPECT_EQ(a->GetSampleRate(), 22050);
    EXPECT_EQ(a->GetNumVoices(), nAudioServer2::MaxVoices);
    EXPECT_EQ(log.errors.size(), 2u);
    log.errors.clear();
    EXPECT_EQ(a->NewSoundId(), 1);
    EXPECT_EQ(a->NewSoundId(), 2);
    EXPECT_EQ(a->NewSoundId(), 3);
    // The base plays nothing but keeps the fade times.
    a->BeginScene(10.0);
    a->FlushAudio(0.5f, 1.0f);
    EXPECT_TRUE(a->IsFading());
    EXPECT_DOUBLE_EQ(a->GetFadeOutEnd(), 10.5);
    EXPECT_DOUBLE_EQ(a->GetFadeInEnd(), 11.5);
    a->EndScene();
}

TEST_F(AudioServerTest, ScriptCommands) {
    auto* lua = static_cast<nLuaServer2*>(kernel->New("nluaserver2", "/sys/servers/script"));
    OpenServer();
    audio->CloseAudio();
    auto global = [&](const char* name) {
        lua_State* L = lua->GetState();
        lua_getglobal(L, name);
        std::string text = lua_isnil(L, -1) ? "nil" : lua_tostring(L, -1) ? lua_tostring(L, -1) : "?";
        lua_pop(L, 1);
        return text;
    };
    const char* result = nullptr;
    // Closed, the volume and the mute wait for the device: they are not taken.
    ASSERT_TRUE(lua->Run("sel('/sys/servers/audio')\n"
                         "setmode('speakers(quad)-chn(4)')\n"
                         "mode = getmode()\n"
                         "setmastervolume(0.5); closed = getmastervolume()\n"
                         "opened = openaudio()\n"
                         "setmastervolume(0.25); volume = getmastervolume()\n"
                         "muteaudio(true)\n"
                         "flushaudio(0, 0)\n"
                         "closeaudio()",
                         result));
    EXPECT_EQ(global("mode"), "nil");
    EXPECT_EQ(global("closed"), "1.0");
    EXPECT_EQ(global("opened"), "1");
    EXPECT_EQ(global("volume"), "0.25");
    EXPECT_EQ(audio->GetMuteGain(), 0.0f);
    EXPECT_EQ(audio->GetNumVoices(), 4);
    EXPECT_FALSE(audio->IsOpen());
    EXPECT_FALSE(TakeErrors());
    // Wrong argument types are a script error, never the end of the program.
    log.printed.clear();
    lua->Run("sel('/sys/servers/audio'); setmode()", result);
    lua->Run("sel('/sys/servers/audio'); flushaudio('x', 1)", result);
    EXPECT_NE(log.printed.find("'setmode'"), std::string::npos) << log.printed;
    EXPECT_NE(log.printed.find("'flushaudio'"), std::string::npos) << log.printed;
    EXPECT_FALSE(audio->IsFading());
}

TEST_F(AudioServerTest, StreamsAreSharedByFileName) {
    OpenServer();
    const std::string file = Write("bell.wav", wav::File(1, 22050, wav::Tone(1000, 22050, 0.1)));
    nStream* a = audio->NewStream(file.c_str(), false);
    nStream* b = audio->NewStream(file.c_str(), false);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->GetRefCount(), 2);
    EXPECT_TRUE(a->IsInstanceOf("nwavstream"));
    EXPECT_EQ(a->GetParent(), kernel->Lookup("/sys/share/audio"));
    EXPECT_EQ(std::string(a->GetName()), nAudioServer2::MakeStreamName(file.c_str()));
    // Long names that end alike are different files.
    EXPECT_NE(nAudioServer2::MakeStreamName("home:sounds/level01/ambient/water_loop_large.wav"),
              nAudioServer2::MakeStreamName("home:sounds/level02/ambient/water_loop_large.wav"));
    EXPECT_EQ(nAudioServer2::MakeStreamName("a:b/c\\d.wav"), "a_b_c_d_wav");

    // Neither WAV nor Ogg: no stream, nothing said. Ogg: no stream, logged.
    EXPECT_EQ(audio->NewStream("home:sounds/bell.mp3", false), nullptr);
    EXPECT_FALSE(TakeErrors());
    EXPECT_EQ(audio->NewStream("home:sounds/bell.ogg", false), nullptr);
    EXPECT_TRUE(TakeErrors());
    a->Release();
    b->Release();
    EXPECT_EQ(kernel->Lookup("/sys/share/audio")->GetHead(), nullptr);

    // A script that deletes the share folder does not take the server down with it.
    kernel->Lookup("/sys/share/audio")->Release();
    nStream* c = audio->NewStream(file.c_str(), true);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->GetParent(), kernel->Lookup("/sys/share/audio"));
    EXPECT_TRUE(c->IsLooping());
    c->Release();
}

// Sound nodes naming one file in any spelling share its stream, named after the first
// spelling; another file opens another stream.
TEST_F(AudioServerTest, EverySpellingOfOneFileSharesOneStream) {
    OpenServer();
    const std::string file = Write("Swell.wav", wav::File(1, 22050, wav::Tone(500, 22050, 0.1)));
    const std::string other = Write("gull.wav", wav::File(1, 22050, wav::Tone(700, 22050, 0.1)));
    nStream* a = audio->NewStream(file.c_str(), false);
    nStream* b = audio->NewStream(Respelled(file).c_str(), false);
    nStream* c = audio->NewStream(other.c_str(), false);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->GetRefCount(), 2);
    EXPECT_EQ(std::string(a->GetName()), nAudioServer2::MakeStreamName(file.c_str()));
    EXPECT_NE(a, c);
    for (nStream* s : {a, b, c}) s->Release();
}

}  // namespace
