// Scriptlets: script text held by an object, run on request or as it is set.
#include "script/nScriptlet.h"

#include <filesystem>
#include <string>

#include "tests/script/script_fixture.h"

namespace {

class ScriptletTest : public nScriptFixture {
protected:
    nScriptlet* Make(const char* path) { return static_cast<nScriptlet*>(kernel->New("nluascriptlet", path)); }
    // The value of the counter global `n` (0 when unset).
    int Count() { return Global("n") == "nil" ? 0 : std::stoi(Global("n")); }
};

const char* kCount = "n = (n or 0) + 1";

TEST_F(ScriptletTest, AutoRunRunsOnlyWhenTheTextIsSet) {
    nScriptlet* s = Make("/usr/s");
    EXPECT_EQ(s->RunScriptlet(), nullptr);
    s->SetScript(kCount);
    s->SetAutoRun(true);
    EXPECT_EQ(Count(), 0);
    s->SetScript(kCount);
    EXPECT_EQ(Count(), 1);
    EXPECT_STREQ(s->RunScriptlet(), "");
    EXPECT_EQ(Count(), 2);

    // The result text is the script's last command output.
    s->SetAutoRun(false);
    s->SetScript("obj('/usr').getname()");
    EXPECT_STREQ(s->RunScriptlet(), "usr");
    // A text that fails to run gives the empty result, nothing stops.
    s->SetScript("this is ( not lua");
    EXPECT_STREQ(s->RunScriptlet(), "");
    // A text that deletes its own scriptlet.
    s->SetScript("delete('/usr/s')");
    ASSERT_TRUE(Run("r = obj('/usr/s').run()"));
    EXPECT_EQ(Lookup("/usr/s"), nullptr);
    // One that deletes its parent, which takes the scriptlet along at once.
    Make("/usr/p/s")->SetScript("delete('/usr/p')");
    ASSERT_TRUE(Run("r = obj('/usr/p/s').run()"));
    EXPECT_EQ(Lookup("/usr/p"), nullptr);

    // The base class reads no files: an error for the script, not a stop.
    ASSERT_TRUE(Run("new('nscriptlet', '/usr/t'); p = obj('/usr/t').parsefile('x.lua')"));
    EXPECT_EQ(Global("p"), "nil");
    EXPECT_TRUE(LogHas("Pure virtual function called!"));
}

// A scriptlet that data's line made stays data's when the person saves it and loads the
// file with a script of their own, or clones it: its text never writes a file.
TEST_F(ScriptletTest, DataTextStaysDataThroughTheWriterAndAPersonsLoad) {
    kernel->New("nroot", "/usr/w");
    kernel->New("nroot", "/usr/persist");
    const std::string line = "new('nluascriptlet', '/usr/persist/s') sel('/usr/persist/s') setautorun(true) "
                             "setscript([[obj('/usr/w').saveas('" + Path("w") + "')]]) sel('/')";
    const char* result = nullptr;
    ASSERT_TRUE(server->RunLine(line.c_str(), result)) << log.text;
    ASSERT_TRUE(Lookup("/usr/persist/s")->SaveAs(Path("s").c_str()));
    Lookup("/usr/persist/s")->Release();
    ASSERT_TRUE(Run("new('nluascriptlet', '/usr/s') sel('/usr/s')"));
    ASSERT_TRUE(server->RunScript(Path("s.n").c_str(), result)) << log.text;
    auto* s = static_cast<nScriptlet*>(Lookup("/usr/s"));
    // A loader that trusts its file cannot make that text the person's, nor can a clone.
    s->SetOrigin(nScriptServer::Origin::Person);
    static_cast<nScriptlet*>(s->Clone("/usr/copy"))->RunScriptlet();
    EXPECT_EQ(s->GetOrigin(), nScriptServer::Origin::Data);
    EXPECT_FALSE(std::filesystem::exists(Path("w.n")));
}

TEST_F(ScriptletTest, ParseFileReadsTheWholeFileWithoutRunningIt) {
    nScriptlet* s = Make("/usr/f");
    s->SetAutoRun(true);
    std::string text = "n = 40\nn = n + 2\n";
    ASSERT_TRUE(s->ParseFile(Write("s.lua", text).c_str()));
    EXPECT_EQ(std::string(s->GetScript()), text);
    EXPECT_EQ(Count(), 0);
    s->RunScriptlet();
    EXPECT_EQ(Count(), 42);
    // An empty file gives an empty text, a missing one leaves the text alone.
    ASSERT_TRUE(s->ParseFile(Write("empty.lua", "").c_str()));
    EXPECT_STREQ(s->GetScript(), "");
    EXPECT_FALSE(s->ParseFile(Path("missing.lua").c_str()));
    EXPECT_STREQ(s->GetScript(), "");
    EXPECT_FALSE(s->ParseFile(nullptr));
}

}  // namespace
