#include "script/nScriptlet.h"

#include <cstdio>
#include <string>
#include <vector>

#include "script/nLuaScriptlet.h"
#include "tests/script/nScriptFixture.h"

namespace {

class ScriptletTest : public nScriptFixture {
protected:
    nScriptlet* Make(const char* cls, const char* path) {
        return static_cast<nScriptlet*>(kernel->New(cls, path));
    }
    // The value of the counter global `n` (0 when unset).
    int Count() {
        std::string v = Global("n");
        return v == "nil" ? 0 : std::stoi(v);
    }
    std::string TempFile(const std::string& name, const std::string& content) {
        std::string path = ::testing::TempDir() + name;
        FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(content.data(), 1, content.size(), f);
        std::fclose(f);
        return path;
    }
};

const char* kCount = "n = (n or 0) + 1";

}  // namespace

TEST_F(ScriptletTest, AutoRunRunsOnlyWhenTheTextIsSet) {
    nScriptlet* s = Make("nluascriptlet", "/usr/s");
    EXPECT_EQ(s->GetScript(), nullptr);
    EXPECT_EQ(s->RunScriptlet(), nullptr);

    s->SetScript(kCount);
    EXPECT_EQ(Count(), 0);
    s->SetAutoRun(true);
    EXPECT_EQ(Count(), 0);
    s->SetScript(kCount);
    EXPECT_EQ(Count(), 1);
    EXPECT_STREQ(s->RunScriptlet(), "");
    EXPECT_EQ(Count(), 2);

    // the result text is the script's last command output
    s->SetAutoRun(false);
    s->SetScript("obj('/usr').getname()");
    EXPECT_STREQ(s->RunScriptlet(), "usr");
    // a text that fails to run gives the empty result, nothing stops
    s->SetScript("this is ( not lua");
    EXPECT_STREQ(s->RunScriptlet(), "");

    // a text that deletes its own scriptlet
    s->SetScript("delete('/usr/s')");
    ASSERT_TRUE(Run("r = obj('/usr/s').run()"));
    EXPECT_EQ(Lookup("/usr/s"), nullptr);
}

TEST_F(ScriptletTest, ScriptCommands) {
    ASSERT_TRUE(Run("new('nscriptlet', '/usr/t')"));
    ASSERT_TRUE(Run("r = obj('/usr/t').run()"));
    EXPECT_EQ(Global("r"), "nil");
    ASSERT_TRUE(Run("obj('/usr/t').setscript('n = 5')"));
    ASSERT_TRUE(Run("g = obj('/usr/t').getscript(); a = obj('/usr/t').getautorun()"));
    EXPECT_EQ(Global("g"), "n = 5");
    EXPECT_EQ(Global("a"), "nil");
    ASSERT_TRUE(Run("obj('/usr/t').setautorun(true); a = obj('/usr/t').getautorun()"));
    EXPECT_EQ(Global("a"), "1");
    EXPECT_EQ(Count(), 0);
    ASSERT_TRUE(Run("obj('/usr/t').run()"));
    EXPECT_EQ(Count(), 5);

    // the base class reads no files: an error for the script, not a stop
    ASSERT_TRUE(Run("p = obj('/usr/t').parsefile('x.lua')"));
    EXPECT_EQ(Global("p"), "nil");
    EXPECT_TRUE(LogHas("Pure virtual function called!"));
}

TEST_F(ScriptletTest, ParseFileReadsTheWholeFileWithoutRunningIt) {
    nScriptlet* s = Make("nluascriptlet", "/usr/f");
    s->SetAutoRun(true);
    std::string text = "n = 40\nn = n + 2\n";
    std::string path = TempFile("bw_scriptlet.lua", text);
    ASSERT_TRUE(s->ParseFile(path.c_str()));
    EXPECT_EQ(std::string(s->GetScript()), text);
    EXPECT_EQ(Count(), 0);
    s->RunScriptlet();
    EXPECT_EQ(Count(), 42);

    // an empty file gives an empty text, a missing one leaves the text alone
    ASSERT_TRUE(s->ParseFile(TempFile("bw_empty.lua", "").c_str()));
    EXPECT_STREQ(s->GetScript(), "");
    s->SetScript(nullptr);
    EXPECT_FALSE(s->ParseFile((::testing::TempDir() + "bw_no_such_file.lua").c_str()));
    EXPECT_EQ(s->GetScript(), nullptr);
    EXPECT_FALSE(s->ParseFile(nullptr));
}

TEST_F(ScriptletTest, SavedCommandsRestoreFlagFirstSoAutoRunTextRunsOnLoad) {
    nScriptlet* s = Make("nluascriptlet", "/usr/src");
    std::vector<std::string> protos;
    auto release = [&](nCmd* cmd) {
        protos.push_back(cmd->GetProto()->GetProtoText());
        cmd->GetProto()->RelCmd(cmd);
        return true;
    };
    // without text only the flag is written
    ASSERT_TRUE(s->EmitSaveCmds(release));
    EXPECT_EQ(protos, std::vector<std::string>{"v_setautorun_b"});

    s->SetScript(kCount);
    s->SetAutoRun(true);
    // replay the saved commands on a fresh object, as loading its file would
    nScriptlet* copy = Make("nluascriptlet", "/usr/copy");
    protos.clear();
    ASSERT_TRUE(s->EmitSaveCmds([&](nCmd* cmd) {
        protos.push_back(cmd->GetProto()->GetProtoText());
        bool ok = copy->Dispatch(cmd);
        cmd->GetProto()->RelCmd(cmd);
        return ok;
    }));
    EXPECT_EQ(protos, (std::vector<std::string>{"v_setautorun_b", "v_setscript_s"}));
    EXPECT_TRUE(copy->GetAutoRun());
    EXPECT_STREQ(copy->GetScript(), kCount);
    EXPECT_EQ(Count(), 1);
}

TEST_F(ScriptletTest, SavedWithAutoRunItRunsWhenItsFileIsLoaded) {
    nScriptlet* s = Make("nluascriptlet", "/usr/saved");
    s->SetScript(kCount);
    s->SetAutoRun(true);
    std::string base = ::testing::TempDir() + "bw_saved_scriptlet";
    ASSERT_TRUE(s->SaveAs(base.c_str()));
    s->Release();
    EXPECT_EQ(Count(), 0);

    // the flag comes first in the file, so the text runs as it is restored
    std::string file = base + ".n";
    std::string text;
    {
        FILE* f = std::fopen(file.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        char buf[4096];
        size_t n = std::fread(buf, 1, sizeof(buf), f);
        std::fclose(f);
        text.assign(buf, n);
    }
    size_t flag = text.find("setautorun(");
    size_t script = text.find("setscript(");
    ASSERT_NE(flag, std::string::npos);
    ASSERT_NE(script, std::string::npos);
    EXPECT_LT(flag, script);

    ASSERT_TRUE(Run("sel('/usr'); get('" + file + "')"));
    EXPECT_EQ(Count(), 1);
    auto* loaded = static_cast<nScriptlet*>(Lookup("/usr/bw_saved_scriptlet"));
    ASSERT_NE(loaded, nullptr);
    EXPECT_TRUE(loaded->GetAutoRun());
    EXPECT_STREQ(loaded->GetScript(), kCount);
    std::remove(file.c_str());
}
