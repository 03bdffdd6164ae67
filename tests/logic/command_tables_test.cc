// The script commands of the repository, the logic car and the logic graph, one case per
// command: each class has exactly these prototypes and ids, each command does its work
// through Lua, and each class saves only what its scripts need back.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/nAppPackage.h"
#include "app/nRepository.h"
#include "kernel/nFileServer2.h"
#include "logic/nLogicCar.h"
#include "logic/nLogicCarHinge.h"
#include "logic/nScriptEvent.h"
#include "tests/logic/CommandTable.h"
#include "tests/logic/PhysikFixture.h"

namespace {

class CommandTablesTest : public PhysikFixture {
protected:
    void SetUp() override {
        PhysikFixture::SetUp();
        nAppPackage(kernel);
        kernel->GetFileServer<nFileServer2>()->SetAssign("tree", Path("tree/").c_str());
        Write("tree/a.n", "loaded = (loaded or 0) + 1; new('nroot', 'made')");
        repo = static_cast<nRepository*>(kernel->New("nrepository", "/usr/repo"));
        car = static_cast<nLogicCar*>(kernel->New("nlogiccar", "/usr/logic/car"));
    }
    // The text `obj` saves, between the file's header and its end.
    std::string Saved(nRoot* obj, const char* name) {
        if (!obj->SaveAs(Path(name).c_str())) return "<not saved>";
        std::string text = Slurp(Path(std::string(name) + ".n"));
        const size_t from = text.find('\n') + 1;
        const size_t to = text.rfind("\n-- ----- EOF");
        return from <= to && to != std::string::npos ? text.substr(from, to - from) : text;
    }

    nRepository* repo = nullptr;
    nLogicCar* car = nullptr;
};

struct Case {
    const char* className;
    const char* proto;
    const char* id;
    std::function<void()> check;
};

TEST_F(CommandTablesTest, EachCommandHasItsIdAndDoesItsWork) {
    const std::string expanded = kernel->GetFileServer<nFileServer2>()->ManglePath("tree:");
    const std::vector<Case> cases = {
        {"nrepository", "v_setdir_s", "SDIR",
         [&] {
             ASSERT_TRUE(Run("obj('/usr/repo').setdir('tree:')"));
             EXPECT_EQ(repo->GetDir(), expanded);
             // Saved as the expanded directory, and nothing else.
             EXPECT_EQ(Saved(repo, "repo"), "setdir( \"" + expanded + "\" )\n");
         }},
        // Answers its caller (a write into its own input would give the caller nothing).
        {"nrepository", "s_getdir_v", "GDIR",
         [&] { EXPECT_EQ(Eval("obj('/usr/repo').getdir()"), expanded); }},
        {"nrepository", "v_load_s", "LOAD",
         [&] {
             ASSERT_TRUE(Run("obj('/usr/repo').load('*')"));
             EXPECT_EQ(Eval("loaded"), "1");
             EXPECT_NE(Lookup("/usr/repo/made"), nullptr);
         }},
        {"nrepository", "v_unload_s", "ULAD",
         [&] {
             ASSERT_TRUE(Run("obj('/usr/repo').unload('*')"));
             EXPECT_EQ(repo->GetHead(), nullptr);
         }},
        {"nrepository", "v_setonloading_s", "RSOL",
         [&] {
             ASSERT_TRUE(Run("obj('/usr/repo').setonloading('step') obj('/usr/repo').setonloading('step')"));
             ASSERT_EQ(repo->GetOnLoadingEvent()->GetNumFunctions(), 1);
             EXPECT_STREQ(repo->GetOnLoadingEvent()->GetFunction(0), "step");
         }},
        {"nlogiccar", "v_sethingepos_sfff", "CSHP",
         [&] {
             ASSERT_TRUE(Run("obj('/usr/logic/car').sethingepos('frontrighthinge', 1, 2, 3)"));
             matrix44 m;
             m.SetTranslation(vector3(1, 2, 3));
             EXPECT_EQ(car->FindHinge("frontrighthinge")->GetLocalMatrix(), m);
         }},
        {"nlogicgraph", "v_setdbgmode_b", "LGSD",
         [&] {
             ASSERT_TRUE(Run("obj('/sys/servers/lgraph').setdbgmode(true)"));
             EXPECT_TRUE(graph->GetDebug());
             // The graph saves nothing of its own.
             EXPECT_EQ(Saved(graph, "lgraph"), "");
         }},
    };

    for (const char* className : {"nrepository", "nlogiccar", "nlogicgraph"}) {
        SCOPED_TRACE(className);
        CommandTable want;
        for (const Case& c : cases) {
            if (std::string(c.className) == className) want.emplace_back(c.proto, c.id);
        }
        EXPECT_EQ(OwnCommands(kernel, className, want), want);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proto);
        c.check();
    }
}

}  // namespace
