// The chat overlay: its message ring, the lines it draws and the input line it edits.
#include <string>
#include <vector>

#include "gfx/nD3D8Server.h"
#include "gfx/nGfxServer.h"
#include "gfx/nGfxPackage.h"
#include "input/nInputPackage.h"
#include "input/nInputServer.h"
#include "kernel/nTimeServer.h"
#include "logic/nChatBuffer.h"
#include "logic/nChatServer.h"
#include "platform/render/Device.h"
#include "tests/gfx/TextRecordingGfx.h"
#include "tests/logic/LogicFixture.h"
#include "tests/platform/SdlTestEnvironment.h"

namespace {

using nChatRecordingGfx = nTextRecordingGfx;

std::string LineText(const nChatBuffer& b, int age) { return b.GetLine(age).text; }

TEST(ChatBuffer, SplitsLinesContinuesOpenLinesAndWrapsTheRing) {
    nChatBuffer b;
    b.Append("a\nb", 1, 0, 0, 1, 2.0f);
    EXPECT_EQ(LineText(b, 0), "b");
    EXPECT_EQ(LineText(b, 1), "a");
    EXPECT_EQ(b.GetLine(0).time, 2.0f);

    b.Clear();
    b.Append(std::string(200, 'x').c_str(), 0, 1, 0, 1, 0.0f);
    EXPECT_EQ(b.GetLine(2).length, 79);
    EXPECT_EQ(b.GetLine(1).length, 79);
    EXPECT_EQ(b.GetLine(0).length, 42);

    b.Clear();
    b.Append("abc", 0, 0, 1, 1, 0.0f);
    b.Append("def", 0, 0, 1, 1, 0.0f);
    EXPECT_EQ(LineText(b, 0), "abcdef");
    // A carriage return is skipped; a full line then a line feed gives no empty line.
    b.Append("\r\n", 0, 0, 1, 1, 0.0f);
    b.Append("g", 0, 0, 1, 1, 0.0f);
    EXPECT_EQ(LineText(b, 0), "g");
    EXPECT_EQ(LineText(b, 1), "abcdef");

    b.Clear();
    for (int i = 0; i < 65; ++i) b.Append((std::to_string(i) + "\n").c_str(), 1, 1, 1, 1, float(i));
    EXPECT_EQ(LineText(b, 0), "64");
    EXPECT_EQ(LineText(b, 63), "1");  // line "0" was overwritten
    EXPECT_EQ(b.GetNewest(), 0);
    EXPECT_EQ(b.GetOldest(), 1);
    const nChatBuffer::Line* out[100];
    EXPECT_EQ(b.Read(100, out), 64);
    EXPECT_EQ(std::string(out[0]->text), "64");

    b.Clear();
    EXPECT_EQ(b.GetNewest(), 0);
    EXPECT_EQ(b.GetOldest(), 0);
    for (int i = 0; i < nChatBuffer::NumLines; ++i) {
        EXPECT_EQ(b.GetLine(i).length, 0);
        EXPECT_EQ(b.GetLine(i).text[0], 0);
        EXPECT_EQ(b.GetLine(i).a, 0.0f);
    }
}

class ChatTest : public nLogicFixture {
protected:
    void SetUp() override {
        nLogicFixture::SetUp();
        nGfxPackage(kernel);
        nInputPackage(kernel);
        kernel->AddClass(nChatRecordingGfx::classInfo);
        gfx = static_cast<nChatRecordingGfx*>(kernel->New("ntextrecordinggfx", "/sys/servers/gfx"));
        input = static_cast<nInputServer*>(kernel->New("ninputserver", "/sys/servers/input"));
        chat = static_cast<nChatServer*>(kernel->New("nchatserver", "/sys/servers/chat"));
        ASSERT_TRUE(gfx && input && chat);
        kernel->GetTimeServer()->StopTime();
        SetNow(0.0);
    }
    void SetNow(double t) { kernel->GetTimeServer()->SetTime(t); }
    void Frame() {
        gfx->ops.clear();
        chat->Render();
    }
    void Event(int type, int number) {
        nInputEvent* e = input->NewEvent();
        e->type = type;
        e->deviceId = N_INPUT_DEV_KEYBOARD;
        e->number = number;
        input->PostEvent(e);
    }
    // Runs one input step over the given events, then flushes them as the frame does.
    void Type(const std::string& text) {
        for (unsigned char ch : text) Event(N_INPUT_KEY_CHAR, ch);
        Step();
    }
    void Key(int code) {
        Event(N_INPUT_KEY_DOWN, code);
        Step();
    }
    void Step() {
        chat->HandleInput();
        input->FlushEvents();
    }
    // The message texts drawn by the last frame (without the input line).
    std::vector<std::string> Drawn(bool withInput) {
        std::vector<std::string> t;
        for (auto& op : gfx->ops) t.push_back(op.text);
        if (withInput && !t.empty()) t.pop_back();
        return t;
    }

    nChatRecordingGfx* gfx = nullptr;
    nInputServer* input = nullptr;
    nChatServer* chat = nullptr;
};

TEST_F(ChatTest, CommandsFromScriptsAndClosingEmptiesTheLines) {
    ASSERT_TRUE(Run("chat = obj('/sys/servers/chat')\n"
                    "chat.add('hello', 1, 0, 0, 1)\n"
                    "chat.add('world', 0, 1, 0, 1)\n"
                    "chat.setinputcolor(0.5, 0.5, 0.5, 1)\n"
                    "chat.registercallback('onchat')\n"
                    "chat.setrenderoffset(-0.5, -0.8)\n"
                    "chat.setinput(true)\n"
                    "chat.setfadeouttime(3)\n")) << log.text;
    EXPECT_EQ(LineText(chat->GetBuffer(), 0), "world");
    EXPECT_EQ(LineText(chat->GetBuffer(), 1), "hello");
    EXPECT_EQ(chat->GetBuffer().GetLine(1).r, 1.0f);
    EXPECT_STREQ(chat->GetCallback(), "onchat");
    EXPECT_TRUE(chat->IsInputEnabled());
    EXPECT_EQ(chat->GetFadeOutTime(), 3.0f);
    SetNow(1.0);
    Frame();
    ASSERT_EQ(gfx->ops.size(), 3u);
    EXPECT_EQ(gfx->ops[0].text, "hello\n");
    EXPECT_EQ(gfx->ops[0].x, -0.5f);
    EXPECT_EQ(gfx->ops[0].y, -0.8f);
    EXPECT_EQ(gfx->ops[2].r, 0.5f);
    EXPECT_EQ(gfx->begins, 1);
    EXPECT_EQ(gfx->ends, 1);

    ASSERT_TRUE(Run("chat.close()"));
    EXPECT_FALSE(chat->IsOpen());
    EXPECT_EQ(chat->GetBuffer().GetLine(0).length, 0);
    Frame();
    EXPECT_TRUE(gfx->ops.empty());
    // Closing a closed overlay keeps what was added meanwhile.
    ASSERT_TRUE(Run("chat.add('kept', 1, 1, 1, 1)\nchat.close()"));
    EXPECT_EQ(LineText(chat->GetBuffer(), 0), "kept");
    ASSERT_TRUE(Run("chat.toggle()"));
    EXPECT_TRUE(chat->IsOpen());
    ASSERT_TRUE(Run("chat.toggle()"));
    EXPECT_FALSE(chat->IsOpen());
    EXPECT_EQ(chat->GetBuffer().GetLine(0).length, 0);
    ASSERT_TRUE(Run("chat.open()"));
    EXPECT_TRUE(chat->IsOpen());

    // A callback name beyond 255 characters is cut.
    chat->RegisterCallback(std::string(300, 'f').c_str());
    EXPECT_EQ(std::string(chat->GetCallback()).size(), 255u);
}

// A report too long for its last row breaks after a word; one without a space to break
// at still leaves no lone character (the closing quote of a path) on a row.
TEST_F(ChatTest, AReportBreaksBetweenWordsAndLeavesNoLoneCharacter) {
    const std::string words = "nPersistServer: cannot save '/usr/persist' as 'save:schnellspeicher.n'";
    const std::string solid = "'" + std::string(68, 'x') + "'";
    std::string umlauts = "'x";
    for (int i = 0; i < 40; i++) umlauts += "\xC3\xA4";
    for (const std::string& text : {words, solid, umlauts + "'"}) {
        chat->Open();
        chat->Close();
        chat->AddReport(text.c_str(), 1, 0, 0, 1);
        const std::string first = LineText(chat->GetBuffer(), 1), second = LineText(chat->GetBuffer(), 0);
        EXPECT_GT(second.size(), 1u) << first << "|" << second;
        EXPECT_EQ(first + second, text);
        EXPECT_NE(uint8_t(second[0]) & 0xC0, 0x80);  // nor half of a character's UTF-8
    }
    // Nor the cut of a longer one, nor a plain line's wrap.
    chat->AddReport((umlauts + umlauts).c_str(), 1, 0, 0, 1);
    chat->Add(umlauts.c_str(), 1, 1, 1, 1);
    EXPECT_EQ(LineText(chat->GetBuffer(), 0) + LineText(chat->GetBuffer(), 2).substr(58),
              "\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4[...]");
    chat->Open();
    chat->Close();
    chat->AddReport(words.c_str(), 1, 0, 0, 1);
    EXPECT_EQ(LineText(chat->GetBuffer(), 0), "'save:schnellspeicher.n'");
}

TEST_F(ChatTest, RowsFollowTheDisplayHeight) {
    for (int i = 0; i < 15; ++i) chat->Add(("m" + std::to_string(i)).c_str(), 1, 1, 1, 1);
    chat->SetInput(true);
    SetNow(1.0);

    // 600 pixels: 30 rows, 11 lines, the input line on row 12.
    Frame();
    const float h = 2.0f / 30.0f;
    ASSERT_EQ(gfx->ops.size(), 12u);
    EXPECT_EQ(gfx->ops[0].text, "m4\n");
    EXPECT_EQ(gfx->ops[10].text, "m14\n");
    EXPECT_NEAR(gfx->ops[10].y, -0.9f + 10 * h, 1e-5);
    EXPECT_NEAR(gfx->ops[11].y, -0.9f + 11 * h, 1e-5);
    EXPECT_EQ(gfx->ops[11].text.substr(0, 2), "> ");

    gfx->height = 419;
    Frame();
    EXPECT_EQ(Drawn(true), std::vector<std::string>{"m14\n"});
    gfx->height = 399;
    Frame();
    ASSERT_EQ(gfx->ops.size(), 1u);
    EXPECT_NEAR(gfx->ops[0].y, -0.9f + 0 * (2.0f / 19.0f), 1e-5);
    // Too small for one row: nothing at all.
    gfx->height = 19;
    Frame();
    EXPECT_TRUE(gfx->ops.empty());
    gfx->height = 0;
    Frame();
    EXPECT_TRUE(gfx->ops.empty());
}

TEST_F(ChatTest, LinesFadeInThenSlideUpAndLeaveOnePerFrame) {
    chat->SetFadeOutTime(2.0f);
    chat->Add("old", 1, 1, 1, 0.8f);
    SetNow(0.5);
    chat->Add("new", 1, 1, 1, 1);
    SetNow(0.75);
    Frame();
    ASSERT_EQ(gfx->ops.size(), 2u);
    EXPECT_NEAR(gfx->ops[0].a, 0.8f, 1e-5);   // 0.75 s old: fully in
    EXPECT_NEAR(gfx->ops[1].a, 0.5f, 1e-5);   // 0.25 s old: half alpha

    // "old" is 2.5 s old: half gone, the block slid up by half a row.
    const float h = 2.0f / 30.0f;
    SetNow(2.5);
    Frame();
    ASSERT_EQ(gfx->ops.size(), 2u);
    EXPECT_NEAR(gfx->ops[0].y, -0.9f - 0.5f * h, 1e-5);
    EXPECT_NEAR(gfx->ops[0].a, 0.8f, 1e-5);
    EXPECT_NEAR(gfx->ops[1].y, -0.9f + 0.5f * h, 1e-5);

    // Both expired: one leaves this frame, the other the next.
    SetNow(10.0);
    Frame();
    EXPECT_EQ(gfx->ops.size(), 2u);
    EXPECT_EQ(gfx->ops[0].a, 0.0f);
    Frame();
    EXPECT_EQ(Drawn(false), std::vector<std::string>{"new\n"});
    Frame();
    EXPECT_TRUE(gfx->ops.empty());
    EXPECT_EQ(chat->GetBuffer().GetOldest(), chat->GetBuffer().GetNewest());
    // The ring takes new messages after emptying itself.
    chat->Add("again", 1, 1, 1, 1);
    Frame();
    EXPECT_EQ(Drawn(false), std::vector<std::string>{"again\n"});
}

TEST_F(ChatTest, InputLineEditing) {
    // Nothing is typed while input is off.
    Type("x");
    EXPECT_STREQ(chat->GetInputText(), "");
    chat->SetInput(true);
    Type("hello world");
    EXPECT_EQ(chat->GetCursor(), 11);
    Key(nChatServer::KeyHome);
    Type(">");
    EXPECT_STREQ(chat->GetInputText(), ">hello world");
    Key(nChatServer::KeyInsert);
    Type("H");
    EXPECT_STREQ(chat->GetInputText(), ">Hello world");
    Key(nChatServer::KeyEnd);
    Type("!");  // overwrite at the end appends
    EXPECT_STREQ(chat->GetInputText(), ">Hello world!");
    Key(nChatServer::KeyInsert);
    Key(nChatServer::KeyDelete);  // at the end: nothing
    EXPECT_STREQ(chat->GetInputText(), ">Hello world!");
    Key(nChatServer::KeyHome);
    Key(nChatServer::KeyBackspace);  // at 0: nothing
    Key(nChatServer::KeyDelete);
    EXPECT_STREQ(chat->GetInputText(), "Hello world!");
    Key(nChatServer::KeyLeft);
    EXPECT_EQ(chat->GetCursor(), 0);

    // Word moves with ctrl held; ctrl released by its key-up.
    chat->GetBuffer().Clear();
    Key(nChatServer::KeyEnd);
    while (chat->GetCursor() > 0) Key(nChatServer::KeyBackspace);
    Type("ab  cd ef");
    Key(nChatServer::KeyHome);
    Event(N_INPUT_KEY_DOWN, nChatServer::KeyCtrl);
    Event(N_INPUT_KEY_DOWN, nChatServer::KeyRight);
    Step();
    EXPECT_EQ(chat->GetCursor(), 4);  // over "ab" and both spaces
    Key(nChatServer::KeyRight);
    EXPECT_EQ(chat->GetCursor(), 7);
    Key(nChatServer::KeyRight);
    EXPECT_EQ(chat->GetCursor(), 9);  // stops at the end
    Key(nChatServer::KeyRight);
    EXPECT_EQ(chat->GetCursor(), 9);
    Key(nChatServer::KeyLeft);
    EXPECT_EQ(chat->GetCursor(), 7);
    Key(nChatServer::KeyLeft);
    EXPECT_EQ(chat->GetCursor(), 4);
    Key(nChatServer::KeyLeft);
    EXPECT_EQ(chat->GetCursor(), 0);
    Event(N_INPUT_KEY_UP, nChatServer::KeyCtrl);
    Event(N_INPUT_KEY_DOWN, nChatServer::KeyRight);
    Step();
    EXPECT_EQ(chat->GetCursor(), 1);
    // Control characters are not typed.
    Event(N_INPUT_KEY_CHAR, 13);
    Step();
    EXPECT_STREQ(chat->GetInputText(), "ab  cd ef");

    // The cursor mark blinks with the time's fraction.
    SetNow(3.75);
    Frame();
    EXPECT_EQ(gfx->ops.back().text, "> a|b  cd ef");
    SetNow(4.25);
    Frame();
    EXPECT_EQ(gfx->ops.back().text, "> a b  cd ef");
}

TEST_F(ChatTest, AFullInputLineStaysTerminated) {
    chat->SetInput(true);
    Type(std::string(600, 'a'));
    EXPECT_EQ(chat->GetCursor(), 511);
    EXPECT_EQ(std::string(chat->GetInputText()).size(), 511u);
    // Inserting into a full line drops the overflowing character.
    Key(nChatServer::KeyHome);
    Type("b");
    EXPECT_EQ(std::string(chat->GetInputText()).size(), 511u);
    EXPECT_EQ(chat->GetInputText()[0], 'b');
    Key(nChatServer::KeyInsert);
    Key(nChatServer::KeyEnd);
    Type("cc");
    EXPECT_EQ(chat->GetCursor(), 511);
    EXPECT_EQ(std::string(chat->GetInputText()).size(), 511u);
}

TEST_F(ChatTest, ReturnHandsTheEscapedLineToTheCallback) {
    chat->SetInput(true);
    Type("abc");
    Key(nChatServer::KeyReturn);  // no callback: just emptied
    EXPECT_STREQ(chat->GetInputText(), "");
    EXPECT_EQ(chat->GetCursor(), 0);

    ASSERT_TRUE(Run("got = nil\nfunction onchat(s) got = s end"));
    chat->RegisterCallback("onchat");
    Type("hallo welt");
    Key(nChatServer::KeyReturn);
    EXPECT_EQ(Global("got"), "hallo welt");
    EXPECT_STREQ(chat->GetInputText(), "");

    // Quotes and backslashes stay text; a long line is passed whole.
    const std::string nasty = "x') hacked = 1 --\\'" + std::string(400, 'z');
    ASSERT_TRUE(Run("hacked = 0"));
    Type(nasty);
    Key(nChatServer::KeyReturn);
    EXPECT_EQ(Global("got"), nasty);
    EXPECT_EQ(Global("hacked"), "0");
}

// A callback that deletes the chat server while its input step runs: the step finishes on
// the server, which is out of the tree at once and freed when the step returns.
TEST_F(ChatTest, ACallbackDeletingTheServerLetsItsInputStepFinish) {
    ASSERT_TRUE(Run("function onchat(s) got = s; delete('/sys/servers/chat') end"));
    chat->RegisterCallback("onchat");
    chat->SetInput(true);
    Type("bye");
    Event(N_INPUT_KEY_DOWN, nChatServer::KeyReturn);
    Event(N_INPUT_KEY_CHAR, 'x');
    Step();
    EXPECT_EQ(Global("got"), "bye");
    EXPECT_EQ(Lookup("/sys/servers/chat"), nullptr);

    // The same with the input server, whose events the step is reading.
    chat = static_cast<nChatServer*>(kernel->New("nchatserver", "/sys/servers/chat"));
    ASSERT_TRUE(Run("function onchat(s) got = s; delete('/sys/servers/input') end"));
    chat->RegisterCallback("onchat");
    chat->SetInput(true);
    Type("bye too");
    Event(N_INPUT_KEY_DOWN, nChatServer::KeyReturn);
    Event(N_INPUT_KEY_CHAR, 'x');
    chat->HandleInput();
    EXPECT_EQ(Global("got"), "bye too");
    EXPECT_EQ(Lookup("/sys/servers/input"), nullptr);
    EXPECT_STREQ(chat->GetInputText(), "x");
}

// The overlay on the real device: its message shows up as lit pixels in its row.
class ChatDisplayTest : public nLogicFixture {
protected:
    static void SetUpTestSuite() { bwtest::LoadSdlVideo(); }
    void SetUp() override {
        nLogicFixture::SetUp();
        nGfxPackage(kernel);
        gfx = static_cast<nD3D8Server*>(kernel->New("nd3d8server", "/sys/servers/gfx"));
        ASSERT_NE(gfx, nullptr);
        // At 480 rows the overlay has 24 text rows, enough for message lines.
        ASSERT_TRUE(gfx->SetDisplayMode("w(640)-h(480)-zbuf(16)"));
        ASSERT_TRUE(gfx->OpenDisplay());
        gfx->SetClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        chat = static_cast<nChatServer*>(kernel->New("nchatserver", "/sys/servers/chat"));
        ASSERT_NE(chat, nullptr);
        kernel->GetTimeServer()->StopTime();
    }
    // Green pixels in the rectangle [x0, x1) x [y0, y1) of the presented frame.
    int Green(int x0, int y0, int x1, int y1) {
        std::vector<uint32_t> pixels;
        int w = 0, h = 0;
        EXPECT_TRUE(gfx->GetDevice()->CopyFrontBuffer(pixels, w, h));
        int n = 0;
        for (int y = y0; y < y1 && y < h; ++y)
            for (int x = x0; x < x1 && x < w; ++x)
                if (bwtest::ColorNear(pixels[size_t(y) * size_t(w) + size_t(x)] | 0xFF000000u, 0xFF00FF00u, 8)) ++n;
        return n;
    }
    void Frame(double t) {
        kernel->GetTimeServer()->SetTime(t);
        ASSERT_TRUE(gfx->BeginScene());
        chat->Render();
        gfx->EndScene();
    }
    nD3D8Server* gfx = nullptr;
    nChatServer* chat = nullptr;
};

TEST_F(ChatDisplayTest, AMessageLightsPixelsInItsRow) {
    kernel->GetTimeServer()->SetTime(0.0);
    ASSERT_TRUE(Run("obj('/sys/servers/chat').add('Hallo Taucher', 0, 1, 0, 1)")) << log.text;
    Frame(1.0);
    // The row starts at the render offset (-0.9, -0.9): 32 pixels in, 24 down.
    EXPECT_GT(Green(28, 20, 320, 48), 20);
    EXPECT_EQ(Green(0, 0, 640, 16), 0);
    EXPECT_EQ(Green(0, 60, 640, 480), 0);
    // Expired and gone, the row stays dark.
    chat->SetFadeOutTime(2.0f);
    Frame(4.0);
    Frame(4.1);
    EXPECT_EQ(Green(0, 0, 640, 480), 0);
}

}  // namespace
