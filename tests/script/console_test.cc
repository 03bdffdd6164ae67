// The console: the watch of "/sys/var", the line editor and its history, lines run in the
// console's own object, the log view, and a console that survives its own deletion.
#include <string>
#include <vector>

#include "gfx/nGfxPackage.h"
#include "input/nInputPackage.h"
#include "input/nInputServer.h"
#include "kernel/nEnv.h"
#include "kernel/nLineBuffer.h"
#include "script/nConServer.h"
#include "tests/gfx/TextRecordingGfx.h"
#include "tests/script/script_fixture.h"

namespace {

// Key codes of the input server's key names.
enum { Bs = 4, Return = 6, Shift = 7, Ctrl = 8, Left = 18, Up = 19, Right = 20, Down = 21, Insert = 26,
       Delete = 27, KeyA = 39, F1 = 84 };

class ConsoleTest : public nScriptFixture {
protected:
    // The fixture's log handler with a line buffer the console can show.
    class LinesLog : public CaptureLog {
    public:
        void Print(const char* fmt, va_list args) override {
            char buf[512];
            std::vsnprintf(buf, sizeof buf, fmt, args);
            lines.Put(buf);
        }
        nLineBuffer* GetLineBuffer() override { return &lines; }
        nLineBuffer lines;
    };

    void SetUp() override {
        nScriptFixture::SetUp();
        nGfxPackage(kernel);
        nInputPackage(kernel);
        kernel->AddClass(nTextRecordingGfx::classInfo);
        gfx = static_cast<nTextRecordingGfx*>(kernel->New("ntextrecordinggfx", "/sys/servers/gfx"));
        input = static_cast<nInputServer*>(kernel->New("ninputserver", "/sys/servers/input"));
        ASSERT_TRUE(Run("new('nconserver', '/sys/servers/console')")) << log.text;
        con = static_cast<nConServer*>(Lookup("/sys/servers/console"));
        ASSERT_TRUE(gfx && input && con);
    }
    void TearDown() override {
        kernel->SetLogHandler(&log);
        nScriptFixture::TearDown();
    }

    // One frame of the console over the queued events: the texts it drew.
    std::vector<std::string> Frame() {
        gfx->ops.clear();
        con->Trigger();
        return gfx->Texts();
    }
    nInputEvent* Event(int type, int number) {
        nInputEvent* e = input->NewEvent();
        e->type = type;
        e->deviceId = N_INPUT_DEV_KEYBOARD;
        e->number = number;
        input->PostEvent(e);
        return e;
    }
    void Type(const std::string& text) {
        for (unsigned char ch : text) Event(N_INPUT_KEY_CHAR, ch);
    }
    void Keys(std::initializer_list<int> codes) {
        for (int code : codes) Event(N_INPUT_KEY_DOWN, code);
    }
    // Runs one input step and flushes the queue as a frame does.
    void Step() {
        con->HandleInput();
        input->FlushEvents();
    }
    std::string Line() const { return con->GetLine().GetText(); }

    nTextRecordingGfx* gfx = nullptr;
    nInputServer* input = nullptr;
    nConServer* con = nullptr;
};

TEST_F(ConsoleTest, WatchShowsOnlyMatchingValuesByType) {
    nEnv* fps = static_cast<nEnv*>(kernel->New("nenv", "/sys/var/fps"));
    fps->SetF(59.5f);
    static_cast<nEnv*>(kernel->New("nenv", "/sys/var/fpsmin"))->SetI(12);
    static_cast<nEnv*>(kernel->New("nenv", "/sys/var/fpsshown"))->SetB(false);
    static_cast<nEnv*>(kernel->New("nenv", "/sys/var/fpsname"))->SetS("schnell");
    static_cast<nEnv*>(kernel->New("nenv", "/sys/var/fpsobj"))->SetO(fps);
    static_cast<nEnv*>(kernel->New("nenv", "/sys/var/frames"))->SetI(3);
    kernel->New("nroot", "/sys/var/fpsfolder");

    EXPECT_TRUE(Frame().empty());
    ASSERT_TRUE(Run("obj('/sys/servers/console').watch('fps*')"));
    const std::vector<std::string> expected = {"fps: 59.500000\n", "fpsmin: 12\n", "fpsshown: false\n",
                                               "fpsname: schnell\n", "fpsobj: <unknown data type>\n"};
    EXPECT_EQ(Frame(), expected);
    // 600 pixels: 24 lines of 10 pixels over 40 % of the height, from the top left.
    ASSERT_EQ(gfx->ops.size(), 5u);
    EXPECT_FLOAT_EQ(gfx->ops[0].x, -1.0f);
    EXPECT_FLOAT_EQ(gfx->ops[0].y, -1.0f);
    EXPECT_FLOAT_EQ(gfx->ops[1].y, -1.0f + 2.0f / 24.0f);
    EXPECT_EQ(gfx->begins, 1);
    EXPECT_EQ(gfx->ends, 1);

    con->Watch("fps?in");
    EXPECT_EQ(Frame(), std::vector<std::string>{"fpsmin: 12\n"});
    con->Watch("[e-g]rames");
    EXPECT_EQ(Frame(), std::vector<std::string>{"frames: 3\n"});
    con->Watch("");
    EXPECT_TRUE(Frame().empty());
    ASSERT_TRUE(Run("obj('/sys/servers/console').unwatch()"));
    con->Watch("*");
    con->Unwatch();
    EXPECT_TRUE(Frame().empty());

    // A display too low for one line draws nothing, open or watching.
    gfx->height = 24;
    con->Watch("*");
    EXPECT_TRUE(Frame().empty());
    con->Open();
    EXPECT_TRUE(Frame().empty());
}

TEST_F(ConsoleTest, LinesRunInTheConsolesObjectWhichFollowsTheLine) {
    kernel->New("nroot", "/a/b");
    kernel->New("nroot", "/c");
    kernel->SetCwd(Lookup("/c"));
    ASSERT_TRUE(Run("obj('/sys/servers/console').open()"));
    ASSERT_TRUE(con->IsOpen());

    // The first step takes the kernel's object; the line moves the console to /a.
    Type("sel('/a')");
    Keys({Return});
    Step();
    EXPECT_EQ(con->GetCwd(), Lookup("/a"));
    EXPECT_EQ(kernel->GetCwd(), Lookup("/c"));
    EXPECT_EQ(Line(), "");

    // The next line runs in /a, not in the kernel's /c.
    Type("new('nroot', 'x')");
    Keys({Return});
    Step();
    EXPECT_NE(Lookup("/a/x"), nullptr);
    EXPECT_EQ(Lookup("/c/x"), nullptr);

    // shift + right steps into the first child.
    Keys({Shift, Right});
    Event(N_INPUT_KEY_UP, Shift);
    Step();
    EXPECT_EQ(con->GetCwd(), Lookup("/a/b"));

    // An empty line runs nothing and adds no history; two lines were kept.
    Keys({Return});
    Step();
    EXPECT_EQ(con->GetHistory().GetNumLines(), 2);
    EXPECT_STREQ(con->GetHistory().GetLine(1), "new('nroot', 'x')");

    // Handled events are flagged for the game; others pass.
    nInputEvent* a = Event(N_INPUT_KEY_DOWN, KeyA);
    nInputEvent* aUp = Event(N_INPUT_KEY_UP, KeyA);
    nInputEvent* f1 = Event(N_INPUT_KEY_DOWN, F1);
    nInputEvent* tab = Event(N_INPUT_KEY_CHAR, '\t');
    nInputEvent* ch = Event(N_INPUT_KEY_CHAR, 'q');
    con->HandleInput();
    EXPECT_EQ(a->flags & N_IEF_HANDLED, N_IEF_HANDLED);
    EXPECT_EQ(aUp->flags & N_IEF_HANDLED, N_IEF_HANDLED);
    EXPECT_EQ(f1->flags & N_IEF_HANDLED, 0u);
    EXPECT_EQ(tab->flags & N_IEF_HANDLED, 0u);
    EXPECT_EQ(ch->flags & N_IEF_HANDLED, N_IEF_HANDLED);
    input->FlushEvents();

    // A closed console leaves the events alone.
    con->Close();
    nInputEvent* later = Event(N_INPUT_KEY_CHAR, 'z');
    con->HandleInput();
    EXPECT_EQ(later->flags, 0u);
    EXPECT_EQ(Line(), "q");
}

TEST_F(ConsoleTest, EditingKeysHistoryAndTheLineLimit) {
    con->Open();
    Type("eins zwei drei");
    Keys({Ctrl, Left, Left});
    Event(N_INPUT_KEY_UP, Ctrl);
    Step();
    EXPECT_EQ(con->GetLine().GetCursor(), 5);
    Keys({Left, Bs, Delete});
    Step();
    EXPECT_EQ(Line(), "einzwei drei");
    Keys({Insert});
    Type("XY");
    Step();
    EXPECT_EQ(Line(), "einXYei drei");
    Keys({Insert});
    Step();

    // History: back stops at the oldest line, forward ends on an empty line. A line that
    // fails is kept like any other.
    con->Execute();
    EXPECT_EQ(Line(), "");
    for (const char* line : {"a = 1", "b = 2"}) {
        Type(line);
        Keys({Return});
        Step();
    }
    EXPECT_EQ(Eval("b"), "2");
    Keys({Up});
    Step();
    EXPECT_EQ(Line(), "b = 2");
    Keys({Up, Up, Up});
    Step();
    EXPECT_EQ(Line(), "einXYei drei");
    Keys({Down, Down});
    Step();
    EXPECT_EQ(Line(), "b = 2");
    EXPECT_EQ(con->GetLine().GetCursor(), 5);
    Keys({Down});
    Step();
    EXPECT_EQ(Line(), "");

    // Scrolling the log view with ctrl, never below the newest line.
    Keys({Ctrl, Up, Up, Down, Down, Down});
    Event(N_INPUT_KEY_UP, Ctrl);
    Step();
    EXPECT_EQ(con->GetScroll(), 0);
    Keys({Ctrl, Up});
    Event(N_INPUT_KEY_UP, Ctrl);
    Step();
    EXPECT_EQ(con->GetScroll(), 1);

    // At most 511 characters; the cursor stops at the end.
    Type(std::string(600, 'x'));
    Step();
    EXPECT_EQ(Line().size(), 511u);
    EXPECT_EQ(con->GetLine().GetCursor(), 511);
}

TEST_F(ConsoleTest, OpenConsoleShowsTheLogAboveThePromptLine) {
    LinesLog lines;
    kernel->SetLogHandler(&lines);
    for (int i = 0; i < 30; ++i) n_printf("zeile %d\n", i);
    kernel->New("nroot", "/c");
    kernel->SetCwd(Lookup("/c"));
    con->Open();
    Type("abc");
    Keys({Left});
    // 600 pixels: 24 rows, the prompt row at the bottom and 23 log lines above it.
    std::vector<std::string> drawn = Frame();
    ASSERT_EQ(drawn.size(), 24u);
    EXPECT_EQ(drawn[0], "zeile 29\n");
    EXPECT_EQ(drawn[22], "zeile 7\n");
    EXPECT_EQ(drawn[23], "/c:>ab|c\n");
    const float step = 2.0f / 24.0f;
    EXPECT_FLOAT_EQ(gfx->ops[23].y, -1.0f + 23 * step);
    EXPECT_FLOAT_EQ(gfx->ops[0].y, -1.0f + 22 * step);
    input->FlushEvents();

    Keys({Ctrl, Up, Up});
    drawn = Frame();
    input->FlushEvents();
    EXPECT_EQ(drawn[0], "zeile 27\n");
}

TEST_F(ConsoleTest, ALineThatDeletesTheConsoleEndsTheFrameSafely) {
    con->Open();
    Type("delete('/sys/servers/console')");
    Keys({Return});
    Type("more");
    EXPECT_TRUE(Frame().empty());
    input->FlushEvents();
    EXPECT_EQ(Lookup("/sys/servers/console"), nullptr);
}

TEST_F(ConsoleTest, MissingGraphicsServerIsFatal) {
    gfx->Release();
    EXPECT_EXIT(con->Trigger(), ::testing::ExitedWithCode(3), "Aborting");
}

}  // namespace
