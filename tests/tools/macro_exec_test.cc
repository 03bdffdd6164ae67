// The macro buttons: loading "bin:scripts.n" into "/scripts", one button a macro, a press
// that saves and runs, the backup at destruction, and what scripts may do meanwhile.
#include <imgui.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
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
        // Macros bin: cannot take go to the save folder, else TMPDIR: both the test's own.
        save = Path("save/"), temp = Path("tmp/");
        Fresh(save), Fresh(temp);
        if (const char* before = std::getenv("TMPDIR")) oldTemp = before;
        ::setenv("TMPDIR", temp.c_str(), 1);
        ASSERT_TRUE(kernel->GetFileServer()->SetAssign("save", save.c_str()));
        MakePluginServer();
        StartClock();
        ASSERT_TRUE(Run("function mark(s) ran = (ran or '') .. s end"));
    }
    void WriteScripts(const std::string& text) {
        std::ofstream(bin + "scripts.n") << text;
    }
    void TearDown() override {
        if (oldTemp) ::setenv("TMPDIR", oldTemp->c_str(), 1);
        else ::unsetenv("TMPDIR");
        ToolsFixture::TearDown();
    }
    std::string save, temp;
    std::optional<std::string> oldTemp;
    static void Fresh(const std::string& folder) { fs::remove_all(folder), fs::create_directories(folder); }
    bool SetBin(const std::string& folder) { return kernel->GetFileServer()->SetAssign("bin", folder.c_str()); }
    bool BinUnderAFile() { return std::ofstream(Path("file")) << "x", SetBin(Path("file") + "/"); }
    bool DropScripts() { return Run("if exists('/scripts') then delete('/scripts') end"); }
    // Names a probe or an unfinished write left in `folder`.
    static std::string Leftovers(const std::string& folder) {
        std::string left;
        for (const auto& entry : fs::directory_iterator(folder)) left += entry.path().filename().string() + " ";
        return left.find("probe") == std::string::npos && left.find(".brinewick") == std::string::npos ? "" : left;
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
// or good, with a backup of six macros or none, a macro added or not, a cut of "/scripts" in
// the tree view (refused) or not. No macro of either file is lost; a file refused or
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
        ASSERT_NE(Lookup("/scripts"), nullptr) << what;
        EXPECT_EQ(LogHas("'cut' refused for '/scripts'"), cut) << what;
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
// 'c' cuts "/scripts" in the tree view (refused) and copies "/usr", 'x' is another program writing
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

namespace {
// Every way bin:scripts.n was seen to refuse the macros. At the end they go to a file of their
// own in the save folder, named in the log and on standard error; a full disk takes that too.
TEST_F(MacroExecTest, MacrosBinCannotTakeAreShownAboveTheToolsAndKeptInAFileOfTheirOwn) {
    struct rlimit unlimited {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    auto fileSize = [&](rlim_t bytes) { rlimit limit{bytes, unlimited.rlim_max}; ::setrlimit(RLIMIT_FSIZE, &limit); };
    using Step = std::function<void()>;
    auto held = [&](std::string name) -> Step { return [&, name] { fs::create_directories(bin + name + "/held"); }; };
    auto unheld = [&](std::string name) -> Step { return [&, name] { fs::remove_all(bin + name); }; };
    const struct {
        const char* what;
        std::function<void()> breakIt, mend;
        bool broken, keptAtEnd;
    } rows[] = {
        {"nothing wrong", [] {}, [] {}, false, false},
        {"bin below a plain file", [&] { BinUnderAFile(); }, [&] { SetBin(bin); }, true, true},
        {"a folder scripts.n", [&] { fs::remove(bin + "scripts.n"), held("scripts.n")(); }, unheld("scripts.n"), true,
         true},
        {"a folder scripts.bak", held("scripts.bak"), unheld("scripts.bak"), true, true},
        {"a folder scripts.bak.new", held("scripts.bak.new"), unheld("scripts.bak.new"), true, true},
        {"the bin assign renamed", [&] { Run("obj('/sys/share/assigns/bin').setname('elsewhere')"); },
         [&] { Run("obj('/sys/share/assigns/elsewhere').setname('bin')"); }, true, true},
        {"a full disk", [&] { std::signal(SIGXFSZ, SIG_IGN), fileSize(64); },
         [&] { fileSize(unlimited.rlim_cur), std::signal(SIGXFSZ, SIG_DFL); }, true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Fresh(bin), Fresh(save), WriteScripts(kScripts), log.text.clear();
        clock.Set(1.0);
        nMacroExec2* m = NewMacros();
        m->SetActive(true);
        m->Trigger();
        auto look = [&](double at) { clock.Set(at), m->Trigger(); };
        row.breakIt();
        // A new macro is looked at in the frame it came, the clock unmoved.
        ASSERT_TRUE(Run("new('nscriptlet', '/scripts/neu')"));
        look(1.0);
        EXPECT_EQ(Host()->GetNotice().find("bin:scripts.n") != std::string::npos, row.broken);
        EXPECT_EQ(m->GetUnwritable().empty(), !row.broken);
        row.mend();
        look(13.0);
        EXPECT_EQ(Host()->GetNotice(), "");
        row.breakIt();
        ASSERT_TRUE(Run("new('nscriptlet', '/scripts/neu2')"));
        look(13.0);
        EXPECT_EQ(Host()->GetNotice().empty(), !row.broken);

        testing::internal::CaptureStderr();
        ASSERT_TRUE(Run("delete('/sys/servers/plugin/macros')"));
        const std::string err = testing::internal::GetCapturedStderr(), kept = save + "brinewick-macros.n";
        row.mend();
        EXPECT_EQ(fs::exists(kept), row.keptAtEnd) << log.text;
        if (row.keptAtEnd) {
            for (const char* name : {"'neu'", "'neu2'", "'hello'"}) EXPECT_NE(Read(kept).find(name), std::string::npos);
            EXPECT_NE(err.find(kept), std::string::npos) << err;
            EXPECT_TRUE(LogHas("kept in '" + kept + "'"));
        }
        // A full disk takes the captured standard error as well: the log tells.
        EXPECT_EQ(LogHas("could be kept nowhere"), row.broken && !row.keptAtEnd) << log.text;
        EXPECT_EQ(Read(bin + "scripts.n").find("'neu2'") != std::string::npos, !row.broken);
        EXPECT_EQ(Host()->GetNotice(), "");
        for (const std::string& folder : {bin, save, temp}) EXPECT_EQ(Leftovers(folder), "");
        DropScripts();
    }
}

// A file of its own goes whole into a plain folder under a name nothing holds, or is refused
// (logged); the end falls back to the temporary folder when "save" is unfit.
TEST_F(MacroExecTest, MacrosKeptInAFileOfTheirOwnGoWholeAndNeverOverAFile) {
    WriteScripts(kScripts);
    nMacroExec2* m = NewMacros();
    const std::string plain = Path("plain"), full = Path("full"), link = Path("link"), file = Path("afile");
    Fresh(plain), Fresh(full), Fresh(Path("target"));
    std::ofstream(plain + "/brinewick-macros.n") << "-- the person's\n";
    for (int n = 1; n <= 99; n++) {
        std::ofstream(full + "/brinewick-macros" + (n > 1 ? std::to_string(n) : "") + ".n") << n;
    }
    fs::create_directory_symlink(Path("target"), link);
    std::ofstream(file) << "x";
    const std::pair<std::string, std::string> rows[] = {
        {plain, plain + "/brinewick-macros2.n"}, {plain + "/", plain + "/brinewick-macros3.n"},
        {full, ""}, {link, ""}, {file, ""}, {"relative/save", ""}, {Path("missing"), ""},
    };
    for (const auto& [folder, kept] : rows) {
        log.text.clear();
        EXPECT_EQ(m->KeepIn(folder), kept) << folder;
        EXPECT_TRUE(kept.empty() ? LogHas("not kept in '") : Read(kept).find("'hello'") != std::string::npos)
            << folder << log.text;
    }
    EXPECT_EQ(Read(plain + "/brinewick-macros.n"), "-- the person's\n");
    EXPECT_EQ(Read(full + "/brinewick-macros.n"), "1");
    EXPECT_TRUE(fs::is_empty(Path("target")));
    EXPECT_EQ(Leftovers(plain) + Leftovers(full), "");

    // The end: the save folder while it is one, else the temporary folder.
    const std::pair<std::function<void()>, bool> ends[] = {
        {[&] { kernel->GetFileServer()->SetAssign("save", save.c_str()); }, true},
        {[&] { Run("delete('/sys/share/assigns/save')"); }, false},
        {[&] { kernel->GetFileServer()->SetAssign("save", (link + "/").c_str()); }, false},  // a link
    };
    ASSERT_TRUE(Run("delete('/sys/servers/plugin/macros')"));
    int row = 0;
    for (const auto& [saveAssign, inSave] : ends) {
        SCOPED_TRACE(row++);
        Fresh(save), Fresh(temp);
        saveAssign();
        NewMacros();
        ASSERT_TRUE(BinUnderAFile());
        ASSERT_TRUE(Run("new('nscriptlet', '/scripts/neu') delete('/sys/servers/plugin/macros')"));
        ASSERT_TRUE(SetBin(bin));
        EXPECT_EQ(fs::exists(save + "brinewick-macros.n"), inSave);
        EXPECT_EQ(fs::exists(temp + "brinewick-macros.n"), !inSave);
        EXPECT_TRUE(fs::is_empty(Path("target")));
        DropScripts();
    }
}

// However "/scripts" went (the tree view refuses a rename or cut), a macro under a new one gets
// its button and is saved, also when the end comes before the next look; no old macro is lost.
TEST_F(MacroExecTest, AMacroMadeUnderANewScriptsGetsItsButtonAndIsSaved) {
    nTreeView* tv = nullptr;
    const std::string skripte = "skripte";
    auto run = [&](const char* text) -> std::function<void()> { return [&, text] { Run(text); }; };
    auto pick = [&](const char* entry) -> std::function<void()> {
        return [&, entry] { tv->OnRightClick(tv->FindItem("/scripts")), tv->MenuPicked(entry); };
    };
    const struct {
        const char* what;
        std::function<void()> away;
        bool refused, made = true;
    } rows[] = {
        {"renamed by a script, none made", run("obj('/scripts').setname('skripte')"), true, false},
        {"deleted by a script", run("delete('/scripts')"), false},
        {"made anew by a script as a scriptlet",
         run("delete('/scripts') new('nscriptlet', '/scripts') obj('/scripts').setscript('x = 1')"), false},
        {"renamed by a script", run("obj('/scripts').setname('skripte')"), false},
        {"deleted in the tree view", pick("delete"), false},
        {"renamed in the tree view", [&] { tv->OnLabelEditEnd(tv->FindItem("/scripts"), &skripte); }, true},
        {"cut in the tree view", pick("cut"), true},
    };
    for (const auto& row : rows) {
        for (const bool look : {true, false}) {
            SCOPED_TRACE(std::string(row.what) + (look ? ", looked" : ", ended at once"));
            Fresh(bin), WriteScripts(kScripts), log.text.clear();
            MakePluginServer();
            tv = static_cast<nTreeView*>(kernel->New("ntreeview", "/sys/servers/plugin/treeview"));
            clock.Set(1.0);
            nMacroExec2* m = NewMacros();
            m->Trigger();
            tv->Refresh();
            row.away();
            if (row.made) ASSERT_TRUE(Run("new('nscriptlet', '/scripts/neu')"));
            EXPECT_EQ(LogHas("refused for '/scripts'"), row.refused && row.made);
            if (look) {
                clock.Set(7.0);
                m->Trigger();
                if (row.made) ASSERT_EQ(m->GetScripts(), Lookup("/scripts"));
                EXPECT_EQ(m->GetButton(m->GetNumButtons() - 1)->GetName(), row.made ? "neu" : "quit");
                EXPECT_EQ(m->GetNumButtons(), row.refused ? 5 + row.made : 1);
            }
            ASSERT_TRUE(Run("delete('/sys/servers/plugin') if exists('/scripts') then delete('/scripts') end"));
            if (Lookup("/skripte")) Run("delete('/skripte')");
            const std::string saved = Read(bin + "scripts.n");
            EXPECT_EQ(saved.find("'neu'") != std::string::npos, row.made) << log.text;
            EXPECT_EQ(saved.find("'hello'") != std::string::npos, row.refused);
            EXPECT_NE((saved + Read(bin + "scripts.bak")).find("'hello'"), std::string::npos);
            // The next session loads the file it left.
            MakePluginServer();
            NewMacros();
            EXPECT_EQ(Lookup("/scripts/neu") != nullptr, row.made) << log.text;
            ASSERT_TRUE(Run("delete('/sys/servers/plugin') delete('/scripts')"));
        }
    }
}

// A name with umlauts or a euro sign draws as many glyphs as plain letters of the same length
// (converted twice, "ö" would draw two); a byte of no character draws as one.
TEST_F(MacroExecTest, AButtonShowsItsMacrosNameAsWritten) {
    const std::pair<const char*, const char*> rows[] = {
        {"größe", "grosz"}, {"€uro", "Euro"}, {"Ärger", "Arger"}, {"a\xff", "ay"}};
    auto vertices = [this] {
        LayerFrame(), LayerFrame();
        return Host()->GetDrawData() ? Host()->GetDrawData()->TotalVtxCount : -1;
    };
    double t = 1.0;
    for (const auto& [name, plain] : rows) {
        fs::remove(bin + "scripts.n");
        nMacroExec2* m = NewMacros();
        m->SetActive(true);
        ASSERT_TRUE(Run(std::string("new('nscriptlet', '/scripts/") + plain + "')"));
        clock.Set(t += 6.0);
        m->Trigger();
        const int plainVertices = vertices();
        ASSERT_TRUE(Run(std::string("obj('/scripts/") + plain + "').setname('" + name + "')"));
        clock.Set(t += 6.0);
        m->Trigger();
        ASSERT_EQ(m->GetButton(0)->GetName(), name);
        EXPECT_EQ(vertices(), plainVertices) << name;
        ASSERT_TRUE(Run("delete('/sys/servers/plugin/macros') if exists('/scripts') then delete('/scripts') end"));
    }
}
}  // namespace
