// The root editor and the script editor: their hooks in the tree view's menu, the entry
// each offers, one dialog an object, the root editor's text, run and completion, the
// script editor's text kept as written, what they refuse, editors that follow their
// object through renames and moves, and failed runs that keep their text.
#include <functional>
#include <string>

#include "kernel/nPersistServer.h"
#include "platform/ui/EditorControl.h"
#include "script/nScriptlet.h"
#include "tests/tools/ToolsFixture.h"
#include "tools/nContextMenu.h"
#include "tools/nRootEdit.h"
#include "tools/nSciControl.h"
#include "tools/nScriptEdit.h"
#include "tools/nScriptEditDlg.h"
#include "tools/nTreeView.h"

namespace {

class EditPluginsTest : public ToolsFixture {
protected:
    void SetUp() override {
        ToolsFixture::SetUp();
        MakePluginServer();
        tv = static_cast<nTreeView*>(kernel->New("ntreeview", "/sys/servers/plugin/treeview"));
        tv->SetRootNode("/usr");
        rootEdit = static_cast<nRootEdit*>(kernel->New("nrootedit", "/sys/servers/plugin/rootedit"));
        scriptEdit = static_cast<nScriptEdit*>(kernel->New("nscriptedit", "/sys/servers/plugin/scriptedit"));
    }
    std::string Functions(const char* event) {
        std::string s;
        nScriptEvent* e = tv->FindEvent(event);
        for (int i = 0; e && i < e->GetNumFunctions(); i++) s += std::string(e->GetFunction(i)) + ";";
        return s;
    }
    std::string Menu() {
        std::string s;
        for (int i = 0; i < tv->GetContextMenu()->GetNumItems(); i++) {
            s += std::string(s.empty() ? "" : ",") + tv->GetContextMenu()->GetItem(i)->GetName();
        }
        return s;
    }
    static std::string Text(nScriptEditDlg* d) { return d->GetEditor().GetText(); }

    nTreeView* tv = nullptr;
    nRootEdit* rootEdit = nullptr;
    nScriptEdit* scriptEdit = nullptr;
};

TEST_F(EditPluginsTest, SwitchingOnHooksTheMenuAndEachOffersItsEntry) {
    EXPECT_EQ(tv->FindEvent("editroot"), nullptr);
    ASSERT_TRUE(Run("obj('/sys/servers/plugin/rootedit').setactive(true) "
                    "obj('/sys/servers/plugin/scriptedit').setactive(true) "
                    "obj('/sys/servers/plugin/scriptedit').setactive(true)"));
    EXPECT_EQ(Functions("editroot"), "obj('/sys/servers/plugin/rootedit').open;");
    EXPECT_EQ(Functions("editscript"), "obj('/sys/servers/plugin/scriptedit').open;");
    EXPECT_EQ(Functions("nm_rclick"),
              "obj('/sys/servers/plugin/rootedit').addcontext;obj('/sys/servers/plugin/scriptedit').addcontext;");

    // A right click runs the bound texts with the path: the entries join the menu.
    kernel->New("nroot", "/usr/plain");
    kernel->New("nluascriptlet", "/usr/lua");
    tv->Refresh();
    tv->OnRightClick(tv->FindItem("/usr/plain"));
    EXPECT_EQ(Menu(), "delete,copy,cut,editroot");
    EXPECT_EQ(tv->GetContextMenu()->FindItem("editroot")->GetWidth(), 100);
    tv->OnRightClick(tv->FindItem("/usr/lua"));
    EXPECT_EQ(Menu(), "delete,copy,cut,editroot,editscript");
    // Picking the entry opens the object.
    tv->MenuPicked("editscript");
    EXPECT_NE(scriptEdit->FindDialog("/usr/lua"), nullptr);

    ASSERT_TRUE(Run("obj('/sys/servers/plugin/rootedit').setactive(false)"));
    EXPECT_EQ(tv->FindEvent("editroot"), nullptr);
    EXPECT_EQ(Functions("nm_rclick"), "obj('/sys/servers/plugin/scriptedit').addcontext;");
    EXPECT_FALSE(rootEdit->IsRegistered());
    // Dying switches off too.
    scriptEdit->Release();
    EXPECT_EQ(Functions("nm_rclick"), "");
    EXPECT_EQ(tv->FindEvent("editscript"), nullptr);
}

TEST_F(EditPluginsTest, WithoutATreeViewTheHooksAndEntriesDoNothing) {
    tv->Release();
    tv = nullptr;
    rootEdit->SetActive(true);
    EXPECT_FALSE(rootEdit->IsRegistered());
    ASSERT_TRUE(Run("obj('/sys/servers/plugin/rootedit').addcontext('/usr')"));
    EXPECT_TRUE(Run("obj('/sys/servers/plugin/rootedit').open('/usr')"));
    EXPECT_NE(rootEdit->FindDialog("/usr"), nullptr);
}

TEST_F(EditPluginsTest, OneDialogAnObjectAndRefusedPaths) {
    rootEdit->SetActive(true);
    kernel->New("nroot", "/usr/obj");
    ASSERT_TRUE(Run("obj('/sys/servers/plugin/rootedit').open('/usr/obj')"));
    nScriptEditDlg* first = rootEdit->FindDialog("/usr/obj");
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->GetWindow()->IsVisible());
    EXPECT_TRUE(rootEdit->Open("/usr/obj"));
    EXPECT_EQ(rootEdit->GetNumDialogs(), 1);
    EXPECT_EQ(rootEdit->FindDialog("/usr/obj"), first);

    EXPECT_FALSE(rootEdit->Open("/usr/none"));
    EXPECT_FALSE(scriptEdit->Open("/usr/obj"));
    EXPECT_TRUE(LogHas("'/usr/none' names no object"));
    EXPECT_TRUE(LogHas("'/usr/obj' is no object this editor opens"));
    EXPECT_EQ(scriptEdit->GetNumDialogs(), 0);

    // Switched off, the dialogs hide; minimised with the plugin; closing one deletes it.
    rootEdit->SetActive(false);
    EXPECT_FALSE(first->GetWindow()->IsVisible());
    rootEdit->SetActive(true);
    rootEdit->Minimize();
    EXPECT_TRUE(first->GetWindow()->IsMinimised());
    delete first;
    EXPECT_EQ(rootEdit->GetNumDialogs(), 0);
}

TEST_F(EditPluginsTest, TheRootEditorShowsRunsAndCompletesAnObject) {
    rootEdit->SetActive(true);
    auto* s = static_cast<nScriptlet*>(kernel->New("nscriptlet", "/usr/obj"));
    s->SetScript("x = 1");
    ASSERT_TRUE(rootEdit->Open("/usr/obj"));
    nScriptEditDlg* d = rootEdit->FindDialog("/usr/obj");
    nString captured;
    ASSERT_TRUE(kernel->GetPersistServer()->CaptureCmds(s, captured));
    EXPECT_EQ(Text(d), "--[name]: /usr/obj\n--[class]: nscriptlet\n-----------------------------------\n" +
                           std::string(captured.Get()));
    EXPECT_NE(Text(d).find("setscript"), std::string::npos);

    // Run: with the object current, the current object back afterwards, the new state shown.
    nRoot* cwd = kernel->GetCwd();
    d->GetEditor().SetText("setscript('y = 2')\nnew('nroot', 'child')");
    d->Command(nScriptEditDlg::Run);
    EXPECT_EQ(kernel->GetCwd(), cwd);
    EXPECT_STREQ(s->GetScript(), "y = 2");
    EXPECT_NE(Lookup("/usr/obj/child"), nullptr);
    EXPECT_NE(Text(d).find("y = 2"), std::string::npos);
    // An empty text changes nothing and shows the commands again.
    d->GetEditor().SetText("");
    d->Command(nScriptEditDlg::Run);
    EXPECT_STREQ(s->GetScript(), "y = 2");
    EXPECT_EQ(Text(d).rfind("--[name]: /usr/obj\n", 0), 0u);
    // Other commands are not runs.
    d->GetEditor().SetText("setscript('z')");
    d->Command(nScriptEditDlg::Copy);
    EXPECT_STREQ(s->GetScript(), "y = 2");

    // Ctrl+Space: the class's commands first, then its superclasses', the last blank gone.
    ui::EditorControl& c = *d->GetEditor().GetControl();
    c.SetText("setsc");
    c.SetCaret(5);
    c.TypeCharacter(' ', true);
    ASSERT_TRUE(c.IsCompletionActive());
    std::string list;
    for (const std::string& e : c.GetCompletionEntries()) list += e + " ";
    EXPECT_EQ(list.rfind("setautorun(bool) getautorun() parsefile(string) setscript(string) getscript() run() ", 0), 0u)
        << list;
    EXPECT_NE(list.find("setname(string)"), std::string::npos);
    const std::string raw = nRootEdit::Commands(s);
    EXPECT_NE(raw.back(), ' ');
    EXPECT_EQ(c.GetCompletionEntries()[size_t(c.GetCompletionSelection())], "setscript(string)");
}

TEST_F(EditPluginsTest, AnObjectDeletedWhileItsDialogIsOpenRunsNothingAndKeepsTheText) {
    kernel->New("nroot", "/usr/gone");
    ASSERT_TRUE(rootEdit->Open("/usr/gone"));
    nScriptEditDlg* d = rootEdit->FindDialog("/usr/gone");
    ASSERT_TRUE(Run("delete('/usr/gone')"));
    nRoot* cwd = kernel->GetCwd();
    d->GetEditor().SetText("new('nroot', 'made_at_root')");
    d->Command(nScriptEditDlg::Run);
    EXPECT_EQ(Lookup("/made_at_root"), nullptr);
    EXPECT_EQ(kernel->GetCwd(), cwd);
    // The text stays, and the window says why nothing ran.
    EXPECT_EQ(Text(d), "new('nroot', 'made_at_root')");
    EXPECT_NE(d->GetNote().find("'/usr/gone' ist nicht mehr im Objektbaum"), std::string::npos) << d->GetNote();
    EXPECT_TRUE(LogHas("rootedit: '/usr/gone' is no longer in the object tree"));

    // A text that deletes the editor itself: its dialogs go with it, nothing dangles.
    kernel->New("nroot", "/made_at_root");
    ASSERT_TRUE(rootEdit->Open("/made_at_root"));
    d = rootEdit->FindDialog("/made_at_root");
    d->GetEditor().SetText("delete('/sys/servers/plugin/rootedit')");
    d->Command(nScriptEditDlg::Run);
    EXPECT_EQ(Lookup("/sys/servers/plugin/rootedit"), nullptr);
    EXPECT_EQ(kernel->GetCwd(), cwd);
}

TEST_F(EditPluginsTest, BothEditorsFollowTheirObjectThroughRenamesAndMoves) {
    rootEdit->SetActive(true);
    scriptEdit->SetActive(true);
    const std::string newName = "probe2";
    struct Row {
        const char* how;
        std::function<void()> move;
        const char* path;
    };
    const Row rows[] = {
        {"setname", [&] { ASSERT_TRUE(Run("obj('/usr/a/probe').setname('probe2')")); }, "/usr/a/probe2"},
        {"F2 in the tree view", [&] { tv->OnLabelEditEnd(tv->FindItem("/usr/a/probe"), &newName); }, "/usr/a/probe2"},
        {"cut and paste",
         [&] {
             tv->OnRightClick(tv->FindItem("/usr/a/probe"));
             tv->MenuPicked("cut");
             tv->Refresh();
             tv->OnRightClick(tv->FindItem("/usr/b"));
             tv->MenuPicked("paste");
         },
         "/usr/b/probe"},
        {"renamed twice in a frame", [&] { ASSERT_TRUE(Run("sel('/usr/a/probe') setname('x') setname('y') sel('/')")); },
         "/usr/a/y"},
        {"its parent renamed", [&] { ASSERT_TRUE(Run("obj('/usr/a').setname('c')")); }, "/usr/c/probe"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.how);
        auto* s = static_cast<nScriptlet*>(kernel->New("nluascriptlet", "/usr/a/probe"));
        kernel->New("nroot", "/usr/b");
        tv->Refresh();
        ASSERT_TRUE(rootEdit->Open("/usr/a/probe"));
        ASSERT_TRUE(scriptEdit->Open("/usr/a/probe"));
        nScriptEditDlg* root = rootEdit->FindDialog("/usr/a/probe");
        nScriptEditDlg* script = scriptEdit->FindDialog("/usr/a/probe");
        // The person has typed a line before the object moves.
        ui::EditorControl& c = *root->GetEditor().GetControl();
        c.SetCaret(c.GetLength());
        c.ReplaceSelection("new('nroot', 'neu')\n");
        row.move();
        plugins->Trigger();

        const std::string path = row.path;
        EXPECT_EQ(rootEdit->FindDialog(path.c_str()), root);
        EXPECT_EQ(scriptEdit->FindDialog(path.c_str()), script);
        EXPECT_EQ(rootEdit->FindDialog("/usr/a/probe"), nullptr);
        EXPECT_EQ(std::string(root->GetName()), path);
        EXPECT_EQ(root->GetNote(), "");
        // The header shows the new path at once; the typed line stays the person's to undo.
        const std::string header = "--[name]: " + path + "\n";
        EXPECT_EQ(Text(root).rfind(header, 0), 0u) << Text(root);
        const size_t typed = Text(root).size() - std::string("new('nroot', 'neu')\n").size();
        EXPECT_EQ(Text(root).substr(typed), "new('nroot', 'neu')\n");
        const std::string moved = Text(root);
        c.Undo();
        EXPECT_EQ(Text(root), moved.substr(0, typed));
        c.Redo();
        EXPECT_EQ(Text(root), moved);

        // "Ausführen" runs at the object and stores into it, wherever it went.
        root->Command(nScriptEditDlg::Run);
        EXPECT_NE(Lookup((path + "/neu").c_str()), nullptr) << root->GetNote();
        EXPECT_EQ(Lookup("/neu"), nullptr);
        EXPECT_EQ(Text(root).rfind(header, 0), 0u);
        script->GetEditor().SetText("moved = 'stored'");
        script->Command(nScriptEditDlg::Run);
        EXPECT_STREQ(s->GetScript(), "moved = 'stored'");
        EXPECT_FALSE(LogHas("no longer in the object tree"));

        delete root;
        delete script;
        for (const char* gone : {"/usr/a", "/usr/b", "/usr/c"}) {
            if (nRoot* o = Lookup(gone)) o->Release();
        }
    }

    // A new object at a renamed object's old path is another object: a dialog of its own.
    kernel->New("nroot", "/usr/x");
    ASSERT_TRUE(rootEdit->Open("/usr/x"));
    nScriptEditDlg* first = rootEdit->FindDialog("/usr/x");
    ASSERT_TRUE(Run("obj('/usr/x').setname('y')"));
    kernel->New("nroot", "/usr/x");
    EXPECT_EQ(rootEdit->FindDialog("/usr/x"), nullptr);
    ASSERT_TRUE(rootEdit->Open("/usr/x"));
    EXPECT_EQ(rootEdit->GetNumDialogs(), 2);
    EXPECT_EQ(rootEdit->FindDialog("/usr/y"), first);
    EXPECT_NE(rootEdit->FindDialog("/usr/x"), first);
}

TEST_F(EditPluginsTest, AnEditorWhoseObjectLeftTheTreeSaysSoKeepsItsTextAndRunsNothing) {
    rootEdit->SetActive(true);
    scriptEdit->SetActive(true);
    struct Row {
        const char* how;
        std::function<void()> remove;
        bool pastedBack;
    };
    const Row rows[] = {
        {"deleted", [&] { ASSERT_TRUE(Run("delete('/usr/p')")); }, false},
        {"cut and not pasted",
         [&] {
             tv->OnRightClick(tv->FindItem("/usr/p"));
             tv->MenuPicked("cut");
         },
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.how);
        auto* s = static_cast<nScriptlet*>(kernel->New("nluascriptlet", "/usr/p"));
        s->SetScript("kept = 1");
        tv->Refresh();
        ASSERT_TRUE(rootEdit->Open("/usr/p"));
        ASSERT_TRUE(scriptEdit->Open("/usr/p"));
        nScriptEditDlg* root = rootEdit->FindDialog("/usr/p");
        nScriptEditDlg* script = scriptEdit->FindDialog("/usr/p");
        root->GetEditor().SetText("new('nroot', 'stray')");
        script->GetEditor().SetText("stray = 1");
        row.remove();
        plugins->Trigger();
        for (nScriptEditDlg* d : {root, script}) {
            EXPECT_NE(d->GetNote().find("'/usr/p' ist nicht mehr im Objektbaum"), std::string::npos) << d->GetNote();
            d->Command(nScriptEditDlg::Run);
        }
        // Nothing ran anywhere else, and both texts stay.
        EXPECT_EQ(Lookup("/stray"), nullptr);
        EXPECT_EQ(Lookup("/usr/stray"), nullptr);
        EXPECT_EQ(Text(root), "new('nroot', 'stray')");
        EXPECT_EQ(Text(script), "stray = 1");
        EXPECT_EQ(Global("stray"), "nil");
        EXPECT_TRUE(LogHas("scriptedit: '/usr/p' is no longer in the object tree"));
        if (row.pastedBack) {
            // Back in the tree the editors work again, with their texts.
            tv->OnRightClick(tv->FindItem("/usr"));
            tv->MenuPicked("paste");
            plugins->Trigger();
            EXPECT_EQ(script->GetNote(), "");
            script->Command(nScriptEditDlg::Run);
            EXPECT_STREQ(s->GetScript(), "stray = 1");
            root->Command(nScriptEditDlg::Run);
            EXPECT_NE(Lookup("/usr/p/stray"), nullptr);
            Lookup("/usr/p")->Release();
        }
        delete root;
        delete script;
    }
}

TEST_F(EditPluginsTest, ARootEditorRunThatFailsKeepsItsTextAndShowsTheError) {
    rootEdit->SetActive(true);
    kernel->New("nroot", "/usr/obj");
    ASSERT_TRUE(rootEdit->Open("/usr/obj"));
    nScriptEditDlg* d = rootEdit->FindDialog("/usr/obj");
    struct Row {
        const char* text;
        const char* error;  // null: the run works
    };
    // In order: a good run clears what a failed one showed.
    const Row rows[] = {
        {"new('nroot', 'a'", "expected"},
        {"error('kaputt')", "kaputt"},
        {"new('nroot', 'half') undefined_function()", "undefined_function"},
        {"-- %s%n ## a note that is no format\nerror('%s ##')", "%s ##"},
        {"new('nroot', 'fine')", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        d->GetEditor().SetText(row.text);
        d->Command(nScriptEditDlg::Run);
        if (row.error) {
            EXPECT_EQ(Text(d), row.text);
            EXPECT_EQ(d->GetNote().rfind("Fehler: ", 0), 0u) << d->GetNote();
            EXPECT_NE(d->GetNote().find(row.error), std::string::npos) << d->GetNote();
            EXPECT_TRUE(LogHas("rootedit: the text run at '/usr/obj' failed"));
            // The window draws the note whatever it holds.
            LayerFrame();
        } else {
            EXPECT_EQ(Text(d).rfind("--[name]: /usr/obj\n", 0), 0u) << Text(d);
            EXPECT_EQ(d->GetNote(), "");
        }
    }
    EXPECT_NE(Lookup("/usr/obj/fine"), nullptr);
    EXPECT_NE(Lookup("/usr/obj/half"), nullptr);
}

TEST_F(EditPluginsTest, TheScriptEditorKeepsTheTextAsWrittenAndAutorunRunsIt) {
    auto* s = static_cast<nScriptlet*>(kernel->New("nluascriptlet", "/usr/script"));
    const std::string text = "-- counts\nn = (n or 0) + 1; m = \"it's\"\n\nk = 'q'";
    s->SetScript(text.c_str());
    ASSERT_TRUE(Run("obj('/sys/servers/plugin/scriptedit').open('/usr/script')"));
    nScriptEditDlg* d = scriptEdit->FindDialog("/usr/script");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(Text(d), text);
    d->Command(nScriptEditDlg::Run);
    EXPECT_EQ(std::string(s->GetScript()), text);

    ASSERT_TRUE(Run("obj('/usr/script').setautorun(true)"));
    d->GetEditor().SetText("ran_by_editor = 'yes'\n-- a comment\nalso = 2");
    d->Command(nScriptEditDlg::Run);
    EXPECT_EQ(std::string(s->GetScript()), "ran_by_editor = 'yes'\n-- a comment\nalso = 2");
    EXPECT_EQ(Global("ran_by_editor"), "yes");
    EXPECT_EQ(Global("also"), "2");
    // A deleted scriptlet: the editor keeps the text and says so, and nothing breaks.
    s->Release();
    d->Command(nScriptEditDlg::Run);
    EXPECT_TRUE(LogHas("'/usr/script' is no longer in the object tree"));
    EXPECT_EQ(Text(d), "ran_by_editor = 'yes'\n-- a comment\nalso = 2");
    EXPECT_NE(d->GetNote(), "");
}

}  // namespace
