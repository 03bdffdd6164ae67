// The macro buttons: loading "bin:scripts.n" into "/scripts", one button a macro, a press
// that saves and runs, the backup at destruction, and what scripts may do meanwhile.
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "kernel/nFileServer2.h"
#include "kernel/nScriptServer.h"
#include "tests/kernel/FullPipe.h"
#include "tests/tools/ToolsFixture.h"
#include "tools/nMacroExec2.h"
#include "tools/nTreeView.h"

namespace {

namespace fs = std::filesystem;

// Five macros, written by hand as the object writer would save them.
const char* const kScripts =
    "-- macros\n"
    "new('nscriptlet', 'hello')\n"
    "sel('hello')\n"
    "setscript(\"mark('hello;')\")\n"
    "sel('..')\n"
    "new('nscriptlet', 'grid')\n"
    "sel('grid')\n"
    "setscript(\"mark('grid;')\")\n"
    "sel('..')\n"
    "new('nscriptlet', 'a macro name of more than thirty-one characters')\n"
    "sel('a macro name of more than thirty-one characters')\n"
    "setscript(\"mark('long;')\")\n"
    "sel('..')\n"
    "new('nscriptlet', '100% ##sure')\n"
    "sel('100% ##sure')\n"
    "setscript(\"mark('percent;')\")\n"
    "sel('..')\n"
    "new('nscriptlet', 'quit')\n"
    "sel('quit')\n"
    "setscript(\"delete('/sys/servers/plugin/macros')\")\n"
    "sel('..')\n";

class MacroExecTest : public ToolsFixture {
protected:
    void SetUp() override {
        ToolsFixture::SetUp();
        MakePluginServer();
        StartClock();
        ASSERT_TRUE(Run("function mark(s) ran = (ran or '') .. s end"));
    }
    void WriteScripts(const std::string& text) {
        std::ofstream(bin + "scripts.n") << text;
    }
    nMacroExec2* NewMacros() {
        return static_cast<nMacroExec2*>(kernel->New("nmacroexec2", "/sys/servers/plugin/macros"));
    }
    static std::string Read(const std::string& path) {
        if (fs::is_directory(path)) return "<folder>";
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // The centre of a macro's button on the screen, after a layer frame drew it.
    void Centre(nMacroExec2* m, int index, int& x, int& y) {
        int l = 0, t = 0, r = 0, b = 0;
        ASSERT_TRUE(m->GetWindow()->GetButtonScreenRect(m->GetButton(index)->GetButton(), l, t, r, b));
        x = (l + r) / 2;
        y = (t + b) / 2;
    }
};

TEST_F(MacroExecTest, MacrosLoadUnderScriptsAndTheCurrentObjectStays) {
    WriteScripts(kScripts);
    nRoot* before = kernel->New("nroot", "/usr/here");
    kernel->SetCwd(before);
    testing::internal::CaptureStdout();
    nMacroExec2* m = NewMacros();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(kernel->GetCwd(), before);
    nRoot* scripts = Lookup("/scripts");
    ASSERT_NE(scripts, nullptr);
    EXPECT_EQ(scripts->GetNumChildren(), 5);
    EXPECT_EQ(m->GetScripts(), scripts);
    EXPECT_FALSE(m->GetActive());
    // The run's result text went to standard output on a line of its own.
    EXPECT_FALSE(out.empty());
    EXPECT_EQ(out.back(), '\n');

    // No buttons before the first Trigger; then five in rows of four.
    EXPECT_EQ(m->GetNumButtons(), 0);
    EXPECT_TRUE(m->Trigger());
    ASSERT_EQ(m->GetNumButtons(), 5);
    for (int i = 0; i < 5; i++) {
        EXPECT_EQ(m->GetButton(i)->GetX(), float(i % 4) * 80.0f) << i;
        EXPECT_EQ(m->GetButton(i)->GetY(), float(i / 4) * 25.0f) << i;
        EXPECT_EQ(m->GetButton(i)->GetWidth(), 80.0f);
        EXPECT_EQ(m->GetButton(i)->GetHeight(), 25.0f);
    }
    EXPECT_EQ(m->GetButton(2)->GetName(), "a macro name of more than thirty-one characters");
    EXPECT_EQ(m->GetWindow()->GetWidth(), 325);
    EXPECT_EQ(m->GetWindow()->GetHeight(), 75);
}

TEST_F(MacroExecTest, APressSavesTheMacrosAndRunsTheOnePressed) {
    WriteScripts(kScripts);
    nMacroExec2* m = NewMacros();
    m->SetActive(true);
    StartClock();
    ASSERT_TRUE(FrameAt(0.03));
    ASSERT_EQ(m->GetNumButtons(), 5);
    LayerFrame();
    fs::remove(bin + "scripts.n");
    // The long name and the one with "%" and "##" find their macros by their buttons.
    for (int index : {2, 3}) {
        int x = 0, y = 0;
        Centre(m, index, x, y);
        Click(x, y);
    }
    EXPECT_EQ(Global("ran"), "long;percent;");
    const std::string saved = Read(bin + "scripts.n");
    EXPECT_NE(saved.find("a macro name of more than thirty-one characters"), std::string::npos);
    EXPECT_NE(saved.find("100% ##sure"), std::string::npos);

    // A macro that is no scriptlet is logged and not run.
    kernel->New("nroot", "/scripts/plain");
    clock.Set(10.0);
    m->Trigger();
    ASSERT_EQ(m->GetNumButtons(), 6);
    EXPECT_TRUE(m->Press(m->GetButton(5)->GetButton()));
    EXPECT_TRUE(LogHas("/scripts/plain")) << log.text;
    EXPECT_FALSE(m->Press(9999));
}

TEST_F(MacroExecTest, DeletedMacrosLoseTheirButtonsAndScriptsIsMadeAgain) {
    WriteScripts(kScripts);
    nMacroExec2* m = NewMacros();
    clock.Set(1.0);
    m->Trigger();
    ASSERT_EQ(m->GetNumButtons(), 5);
    ASSERT_TRUE(Run("delete('/scripts/grid')"));
    // Not before five seconds have passed.
    clock.Set(4.0);
    m->Trigger();
    EXPECT_EQ(m->GetNumButtons(), 5);
    clock.Set(6.5);
    m->Trigger();
    ASSERT_EQ(m->GetNumButtons(), 4);
    EXPECT_EQ(m->GetButton(1)->GetName(), "a macro name of more than thirty-one characters");
    EXPECT_EQ(m->GetWindow()->GetWidth(), 325);
    EXPECT_EQ(m->GetWindow()->GetHeight(), 50);

    ASSERT_TRUE(Run("delete('/scripts')"));
    clock.Set(12.0);
    m->Trigger();
    EXPECT_NE(Lookup("/scripts"), nullptr);
    EXPECT_TRUE(LogHas("made again")) << log.text;
    EXPECT_EQ(m->GetNumButtons(), 0);
}

TEST_F(MacroExecTest, DestructionKeepsABackupAndSavesTheMacros) {
    WriteScripts(kScripts);
    NewMacros();
    ASSERT_TRUE(Run("delete('/scripts/quit')"));
    ASSERT_TRUE(Run("delete('/sys/servers/plugin/macros')"));
    EXPECT_EQ(Read(bin + "scripts.bak"), kScripts);
    const std::string saved = Read(bin + "scripts.n");
    EXPECT_NE(saved.find("hello"), std::string::npos);
    EXPECT_EQ(saved.find("'quit'"), std::string::npos);
    EXPECT_EQ(Lookup("/scripts"), nullptr);

    // With no macros only the backup is left.
    NewMacros();
    ASSERT_TRUE(Run("for _, n in ipairs({'hello', 'grid', 'a macro name of more than thirty-one characters', "
                    "'100% ##sure'}) do delete('/scripts/' .. n) end"));
    ASSERT_TRUE(Run("delete('/sys/servers/plugin/macros')"));
    EXPECT_FALSE(fs::exists(bin + "scripts.n"));
    EXPECT_NE(Read(bin + "scripts.bak").find("hello"), std::string::npos);
}

TEST_F(MacroExecTest, AnUnwritableBinKeepsTheMacrosInMemory) {
    WriteScripts(kScripts);
    nMacroExec2* m = NewMacros();
    m->Trigger();
    // Below a plain file nothing can be written, whoever runs the test.
    std::ofstream(Path("file")) << "x";
    ASSERT_TRUE(kernel->GetFileServer()->SetAssign("bin", (Path("file") + "/").c_str()));
    EXPECT_TRUE(m->Press(m->GetButton(0)->GetButton()));
    EXPECT_TRUE(LogHas("stay in memory")) << log.text;
    EXPECT_EQ(Global("ran"), "hello;");
    ASSERT_TRUE(Run("delete('/sys/servers/plugin/macros')"));
    EXPECT_NE(Lookup("/scripts/hello"), nullptr);
    // Made again, the tools keep a macro that stayed in memory over the file's of its name.
    ASSERT_TRUE(Run("obj('/scripts/hello').setscript(\"mark('edited;')\")"));
    ASSERT_TRUE(kernel->GetFileServer()->SetAssign("bin", bin.c_str()));
    NewMacros();
    ASSERT_TRUE(Run("delete('/sys/servers/plugin/macros')"));
    EXPECT_NE(Read(bin + "scripts.n").find("edited;"), std::string::npos) << log.text;

    // A bin: where the old file could be moved but no new one made (every temporary name
    // held by a folder with entries): at the end both files stay as they were.
    WriteScripts(kScripts);
    std::ofstream(bin + "scripts.bak") << "-- older\n";
    for (int n = 0; n <= 16; n++) fs::create_directories(bin + "scripts.n.tmp" + (n ? std::to_string(n) : "") + "/held");
    NewMacros();
    ASSERT_TRUE(Run("new('nscriptlet', '/scripts/more') delete('/sys/servers/plugin/macros')"));
    EXPECT_EQ(Read(bin + "scripts.n"), kScripts);
    EXPECT_EQ(Read(bin + "scripts.bak"), "-- older\n");
    EXPECT_NE(Lookup("/scripts/hello"), nullptr);
}

TEST_F(MacroExecTest, AMacroThatDeletesItsToolsEndsTheToolPass) {
    WriteScripts(kScripts);
    nMacroExec2* m = NewMacros();
    m->SetActive(true);
    ASSERT_TRUE(FrameAt(0.03));
    // A macro whose text a person set meanwhile runs as the person's, as the file's own do.
    ASSERT_TRUE(Run("obj('/scripts/quit').setscript(\"delete('/sys/servers/plugin/macros')\")"));
    LayerFrame();
    int x = 0, y = 0;
    Centre(m, 4, x, y);
    // The press and release reach the layer through the frame loop's tool pass.
    Send(window::MessageKind::MouseMove, x, y);
    Send(window::MessageKind::ButtonDown, x, y);
    Send(window::MessageKind::ButtonUp, x, y);
    ASSERT_TRUE(FrameAt(0.06));
    ASSERT_TRUE(FrameAt(0.09));
    EXPECT_EQ(Lookup("/sys/servers/plugin/macros"), nullptr);
    ASSERT_TRUE(FrameAt(0.12));

    // The same with the plugin server itself.
    m = NewMacros();
    ASSERT_TRUE(Run("obj('/scripts/quit').setscript(\"delete('/sys/servers/plugin')\")"));
    m->SetActive(true);
    ASSERT_TRUE(FrameAt(0.15));
    ASSERT_TRUE(FrameAt(0.18));
    Centre(m, 4, x, y);
    Send(window::MessageKind::MouseMove, x, y);
    Send(window::MessageKind::ButtonDown, x, y);
    Send(window::MessageKind::ButtonUp, x, y);
    ASSERT_TRUE(FrameAt(0.21));
    ASSERT_TRUE(FrameAt(0.24));
    EXPECT_EQ(Lookup("/sys/servers/plugin"), nullptr);
    ASSERT_TRUE(FrameAt(0.27));
}

// The file's macros run as the person's, as the start scripts beside it: one sets the
// globals they read, takes a screenshot and deletes outside the level trees. One that a
// movie or remote line plants or edits runs as data, and the file does not take it: loaded
// again it would run as the person's.
TEST_F(MacroExecTest, TheFilesMacrosRunAsThePersonsAndOnesDataPlantsOrEditsStayData) {
    const std::string mine = Path("mine.bmp"), shot = Path("shot.bmp");
    WriteScripts(std::string(kScripts) +
                 "new('nscriptlet', 'mine')\nsel('mine')\nsetscript(\"macro_flag = 'set' "
                 "obj('/sys/servers/gfx').screenshot('" + mine + "') delete('/usr/victim')\")\nsel('..')\n"
                 "new('nscriptlet', 'shot')\nsel('shot')\nsetscript(\"mark('shot;')\")\nsel('..')\n");
    kernel->New("nroot", "/usr/victim");
    nMacroExec2* m = NewMacros();
    auto* script = static_cast<nScriptServer*>(Lookup("/sys/servers/script"));
    const char* result = nullptr;
    const std::string text = "macro_flag = 'data' obj('/sys/servers/gfx').screenshot('" + shot + "')";
    ASSERT_TRUE(script->RunLine(("obj('/scripts/shot').setscript(\"" + text + "\")").c_str(), result)) << log.text;
    // Data plants no macro: it makes objects only in the level and persist trees.
    script->RunLine(("new('nscriptlet', '/scripts/planted') obj('/scripts/planted').setscript(\"" + text + "\")")
                        .c_str(),
                    result);
    EXPECT_EQ(Lookup("/scripts/planted"), nullptr);
    m->Trigger();
    ASSERT_EQ(m->GetNumButtons(), 7);
    for (int index : {6}) {
        log.text.clear();
        EXPECT_TRUE(m->Press(m->GetButton(index)->GetButton()));
        EXPECT_EQ(Global("macro_flag"), "nil");
        EXPECT_FALSE(fs::exists(shot));
        EXPECT_TRUE(LogHas("the global 'obj', neither a pure function")) << log.text;
    }
    EXPECT_TRUE(m->Press(m->GetButton(5)->GetButton()));
    EXPECT_EQ(Global("macro_flag"), "set") << log.text;
    EXPECT_TRUE(fs::exists(mine)) << log.text;
    EXPECT_EQ(Lookup("/usr/victim"), nullptr);
    const std::string saved = Read(bin + "scripts.n");
    EXPECT_NE(saved.find("'mine'"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("'shot'"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("planted"), std::string::npos) << saved;
    // Left out of the file, they stay in their places in memory.
    EXPECT_EQ(m->GetScripts()->GetNumChildren(), 7);
    EXPECT_STREQ(Lookup("/scripts/mine")->GetSucc()->GetName(), "shot");
    EXPECT_EQ(Lookup("/scripts/shot")->GetSucc(), nullptr);
}

// An auto-run macro of the file waits for the load to end (nothing may run then) and runs
// once, as the person's, at the tools' first pass.
TEST_F(MacroExecTest, TheFilesAutoRunMacrosRunOnceAfterTheLoad) {
    WriteScripts(std::string(kScripts) + "new('nscriptlet', 'auto')\nsel('auto')\nsetautorun(true)\n"
                                         "setscript(\"auto_runs = (auto_runs or 0) + 1\")\nsel('..')\n");
    nMacroExec2* m = NewMacros();
    EXPECT_EQ(m->GetScripts()->GetNumChildren(), 6) << log.text;
    EXPECT_EQ(Global("auto_runs"), "nil");
    m->Trigger();
    EXPECT_EQ(Global("auto_runs"), "1") << log.text;
    clock.Set(10.0);
    m->Trigger();
    EXPECT_EQ(Global("auto_runs"), "1");
}

}  // namespace

// The macros file loads as a data file: a file that runs text while it loads runs nothing
// at the first F12 and brings no macros; with no file at all nothing is said.
TEST_F(MacroExecTest, ACraftedMacrosFileRunsNothingAndNoFileSaysNothing) {
    const std::string marker = Path("ran");
    WriteScripts(std::string(kScripts) + "new('nscriptlet', 'x')\nsel('x')\n"
                                         "setscript(\"io.popen('touch " + marker + "')\")\nrun()\nsel('..')\n");
    log.text.clear();
    nMacroExec2* m = NewMacros();
    EXPECT_TRUE(LogHas("scripts.n' refused: ")) << log.text;
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_EQ(m->GetScripts()->GetNumChildren(), 0);
    ASSERT_TRUE(Run("delete('/sys/servers/plugin/macros')"));

    fs::remove(bin + "scripts.n");
    log.text.clear();
    NewMacros();
    EXPECT_EQ(log.text.find("scripts.n"), std::string::npos) << log.text;
}

namespace {
// A macros file that was refused (logged, no macros from it) and the backup beside it stay
// as they were when the tools end with nothing changed.
TEST_F(MacroExecTest, AQuitWithoutChangesKeepsAMacrosFileThatDidNotLoadAndTheBackup) {
    const std::string backup = std::string(kScripts);
    for (const char* file : {"new('nscriptlet', 'x'\n", "new('nscriptlet', 'x')\nsel('x')\nrun()\nsel('..')\n"}) {
        WriteScripts(file);
        std::ofstream(bin + "scripts.bak") << backup;
        NewMacros();
        ASSERT_TRUE(Run("delete('/sys/servers/plugin/macros')"));
        EXPECT_EQ(Read(bin + "scripts.n"), file);
        EXPECT_EQ(Read(bin + "scripts.bak"), backup) << file;
    }
}
}  // namespace

namespace {
// Standard output that nobody reads (a full pipe) holds the tools no more than it holds the
// log: F12 loads the macros file and the game goes on.
TEST_F(MacroExecTest, AFullPipeOnStandardOutputHoldsNoLoadOfTheMacros) {
    WriteScripts(kScripts);
    FullPipe full(STDOUT_FILENO);
    nMacroExec2* m = NewMacros();
    EXPECT_FALSE(full.Released());
    EXPECT_NE(m, nullptr);
    EXPECT_NE(Lookup("/scripts/hello"), nullptr);
}
}  // namespace

namespace {
// What each end of the tools leaves in bin: for a macros file of random bytes (refused), empty
// or good, with a backup of six macros or none, a macro added or not, "/scripts" cut in the
// tree view and never pasted or not. No macro of either file is lost; a file refused or
// holding none never becomes the backup and, once macros are written, is kept (logged) while
// the backup's macros are shown in its place; an
// end that changes nothing writes nothing, also in the session after.
TEST_F(MacroExecTest, NoEndOfTheToolsLosesAMacroOfTheFileOrItsBackup) {
    std::string random(4096, ' ');
    std::mt19937 bits(161);
    for (char& c : random) c = char(bits());
    std::string backup;
    for (char b = '1'; b <= '6'; b++) backup += std::string("new('nscriptlet', 'b") + b + "')\n";
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24);
    auto changed = [this](std::error_code error = {}) { return fs::last_write_time(bin + "scripts.n", error); };
    // {file, backup, added, cut}: every file with each backup and addition, and the cuts.
    for (int row = 0; row < 14; row++) {
        const std::string file = row < 12 ? std::vector<std::string>{random, "", kScripts}[row / 4] : kScripts;
        const bool good = file == kScripts, withBackup = row >= 12 || row % 4 < 2, added = row % 2, cut = row >= 12;
        const std::string what = "row " + std::to_string(row);
        for (const char* name : {"scripts.n", "scripts.bak", "scripts.kept"}) fs::remove(bin + name);
        WriteScripts(file);
        fs::last_write_time(bin + "scripts.n", old);
        if (withBackup) std::ofstream(bin + "scripts.bak") << backup;
        log.text.clear();
        // The tools as F12 makes them; the shutdown ends them by releasing their server.
        MakePluginServer();
        auto* tv = static_cast<nTreeView*>(kernel->New("ntreeview", "/sys/servers/plugin/treeview"));
        NewMacros()->Trigger();
        if (added) ASSERT_TRUE(Run("new('nscriptlet', '/scripts/added')"));
        if (cut) tv->Refresh(), tv->OnRightClick(tv->FindItem("/scripts")), tv->MenuPicked("cut");
        ASSERT_EQ(Lookup("/scripts") == nullptr, cut) << what;
        ASSERT_TRUE(Run("delete('/sys/servers/plugin')")) << what;

        const std::string saved = Read(bin + "scripts.n");
        EXPECT_EQ(added ? saved.find("'added'") != std::string::npos : saved == file && changed() == old, true) << what;
        EXPECT_EQ(saved.find("'hello'") != std::string::npos, good) << what;
        // The backup's macros stand in for a file refused or holding none, and go on with it.
        const bool shown = !good && withBackup;
        EXPECT_EQ(saved.find("'b6'") != std::string::npos, shown && added) << what;
        EXPECT_EQ(LogHas("the macros of bin:scripts.bak are shown"), shown) << what;
        const bool rotated = added && good, kept = added && !good;
        EXPECT_EQ(Read(bin + "scripts.bak"), rotated ? kScripts : withBackup ? backup : "") << what;
        EXPECT_EQ(fs::exists(bin + "scripts.kept"), kept) << what;
        if (kept) EXPECT_EQ(Read(bin + "scripts.kept"), file) << what;
        EXPECT_EQ(LogHas("is kept as bin:scripts.kept; bin:scripts.bak stays"), kept) << what << log.text;

        const std::string before = Read(bin + "scripts.n") + "|" + Read(bin + "scripts.bak");
        fs::last_write_time(bin + "scripts.n", old);
        NewMacros()->Trigger();
        ASSERT_TRUE(Run("delete('/sys/servers/plugin') if exists('/scripts') then delete('/scripts') end"));
        EXPECT_EQ(Read(bin + "scripts.n") + "|" + Read(bin + "scripts.bak"), before) << what;
        EXPECT_EQ(changed(), old) << what;
    }
}
}  // namespace

namespace {
// Sessions ('|' between): 'a' adds the macro s<its place>, 'D' deletes them all, 'p' presses,
// 'c' cuts "/scripts" in the tree view and copies "/usr", 'x' is another program writing
// bin:scripts.n. Each of `had` is in a file of bin: at the end, none of `!`; a folder with
// entries as `held` stops the write (logged).
TEST_F(MacroExecTest, SessionsInARowLoseNoMacroOfAnyFileAndAHeldNameChangesNothing) {
    const std::string random = "\x89\x01\xff new(nope\n", one = "new('nscriptlet', 'b1')\n";
    const struct { std::string file, backup, ops; std::vector<const char*> had; std::string held; } rows[] = {
        {kScripts, one, "c|a|a", {"'hello'", "'s4'"}, ""},
        {kScripts, one, "apxa|a|a", {"'ext'", "'s0'", "'s7'"}, ""},
        {kScripts, one, "x|a|a", {"'ext'", "'hello'"}, ""},
        {"", one, "x|a|a", {"'ext'", "'b1'"}, ""},
        {random, random + "-- mend me\n", "a|a|a", {"mend me", "'s4'"}, ""},
        {kScripts, one, "a", {"-- macros", "'b1'", "!'s0'"}, "scripts.bak.new"},
        {kScripts, one, "a", {"-- macros", "!'s0'"}, "scripts.bak"},
        {kScripts, one, "D", {"-- macros"}, "scripts.bak"},
    };
    for (const auto& row : rows) {
        fs::remove_all(bin), fs::create_directories(bin + row.held + "/held"), log.text.clear();
        WriteScripts(row.file);
        std::ofstream(bin + "scripts.bak") << row.backup;
        for (size_t i = 0; i <= row.ops.size(); i++) {
            if (i == 0 || row.ops[i - 1] == '|') MakePluginServer(), kernel->New("ntreeview", "/sys/servers/plugin/tv");
            if (i == 0 || row.ops[i - 1] == '|') NewMacros()->Trigger();
            auto* tv = static_cast<nTreeView*>(Lookup("/sys/servers/plugin/tv"));
            auto* m = static_cast<nMacroExec2*>(Lookup("/sys/servers/plugin/macros"));
            const char op = i < row.ops.size() ? row.ops[i] : '|';
            if (op == 'a') ASSERT_TRUE(Run("new('nscriptlet', '/scripts/s" + std::to_string(i) + "')"));
            if (op == 'p') m->Press(m->GetButton(0)->GetButton());
            if (op == 'D') ASSERT_TRUE(Run("delete('/scripts')"));
            if (op == 'x') std::ofstream(bin + "scripts.n") << "new('nscriptlet', 'ext')\n";
            if (op == 'c') tv->Refresh(), tv->OnRightClick(tv->FindItem("/scripts")), tv->MenuPicked("cut");
            if (op == 'c') tv->Refresh(), tv->OnRightClick(tv->FindItem("/usr")), tv->MenuPicked("copy");
            if (op == '|') Run("delete('/sys/servers/plugin') if exists('/scripts') then delete('/scripts') end");
        }
        std::string all;
        for (const auto& entry : fs::directory_iterator(bin)) all += Read(entry.path().string());
        for (const char* text : row.had) {
            EXPECT_EQ(all.find(text + (*text == '!')) == std::string::npos, *text == '!') << row.ops << ": " << text;
        }
        EXPECT_EQ(LogHas("stay in memory") || LogHas("both stay"), !row.held.empty()) << log.text;
    }
}
}  // namespace
