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
    void Pick(const char* path, const char* entry) { tv->OnRightClick(tv->FindItem(path)), tv->MenuPicked(entry); }
    // Both editors on, each with a dialog open on `path`.
    bool OpenBoth(const char* path, nScriptEditDlg*& root, nScriptEditDlg*& script) {
        rootEdit->SetActive(true), scriptEdit->SetActive(true), tv->Refresh();
        if (!rootEdit->Open(path) || !scriptEdit->Open(path)) return false;
        root = rootEdit->FindDialog(path), script = scriptEdit->FindDialog(path);
        return true;
    }

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
    const std::string probe2 = "probe2", line = "new('nroot', 'neu')\n";
    nScriptlet* s = nullptr;
    nScriptEditDlg *root = nullptr, *script = nullptr;
    // While cut, both say so and run nothing; pasted, they work with the texts they kept.
    auto cutAndPaste = [&] {
        EXPECT_FALSE(LogHas("no longer in the object tree"));
        Pick("/usr/a/p", "cut");
        plugins->Trigger();
        for (nScriptEditDlg* d : {root, script}) {
            EXPECT_NE(d->GetNote().find("'/usr/a/p' ist nicht mehr im Objektbaum"), std::string::npos) << d->GetNote();
            d->Command(nScriptEditDlg::Run);
        }
        EXPECT_EQ(Lookup("/neu"), nullptr);
        EXPECT_EQ(s->GetScript(), nullptr);
        EXPECT_TRUE(LogHas("scriptedit: '/usr/a/p' is no longer in the object tree"));
        log.text.clear();
        Pick("/usr/b", "paste");
    };
    const std::pair<std::function<void()>, std::string> rows[] = {
        {[&] { EXPECT_TRUE(Run("obj('/usr/a/p').setname('probe2')")); }, "/usr/a/probe2"},
        {[&] { tv->OnLabelEditEnd(tv->FindItem("/usr/a/p"), &probe2); }, "/usr/a/probe2"},
        {cutAndPaste, "/usr/b/p"},
        {[&] { EXPECT_TRUE(Run("obj('/usr/a').setname('c')")); }, "/usr/c/p"},
    };
    for (const auto& [move, to] : rows) {
        SCOPED_TRACE(to);
        s = static_cast<nScriptlet*>(kernel->New("nluascriptlet", "/usr/a/p"));
        kernel->New("nroot", "/usr/b");
        ASSERT_TRUE(OpenBoth("/usr/a/p", root, script));
        // A line typed before the move: the header follows at once, undo and redo keep to the line.
        const std::string body = Text(root).substr(Text(root).find('\n'));
        ui::EditorControl& c = *root->GetEditor().GetControl();
        c.SetCaret(c.GetLength());
        c.ReplaceSelection(line);
        script->GetEditor().SetText("x = 1");
        move();
        plugins->Trigger();
        EXPECT_EQ(Text(root), "--[name]: " + to + body + line);
        EXPECT_EQ(rootEdit->FindDialog(to.c_str()), root);
        EXPECT_EQ(scriptEdit->FindDialog(to.c_str()), script);
        EXPECT_EQ(root->GetNote() + script->GetNote(), "");
        c.Undo();
        EXPECT_EQ(Text(root), "--[name]: " + to + body);
        c.Redo();
        // "Ausführen" runs at the object and stores into it where it stands now.
        root->Command(nScriptEditDlg::Run);
        EXPECT_NE(Lookup((to + "/neu").c_str()), nullptr);
        script->Command(nScriptEditDlg::Run);
        EXPECT_STREQ(s->GetScript(), "x = 1");
        // The text the run put in whole follows a later rename too.
        s->SetName("q");
        plugins->Trigger();
        EXPECT_EQ(Text(root).rfind("--[name]: " + to.substr(0, to.rfind('/')) + "/q\n", 0), 0u) << Text(root);
        delete root;
        delete script;
        for (const char* made : {"/usr/a", "/usr/b", "/usr/c"}) if (nRoot* o = Lookup(made)) o->Release();
    }
    EXPECT_FALSE(LogHas("no longer in the object tree"));
}

TEST_F(EditPluginsTest, ARootEditorRunThatFailsKeepsItsTextAndShowsTheError) {
    rootEdit->SetActive(true);
    kernel->New("nroot", "/usr/obj");
    static_cast<nScriptlet*>(kernel->New("nluascriptlet", "/usr/inner"))->SetScript("error('inner boom')");
    ASSERT_TRUE(rootEdit->Open("/usr/obj"));
    nScriptEditDlg* d = rootEdit->FindDialog("/usr/obj");
    // Text and a part of its error (null: it works), in order: a good run clears the note.
    const std::pair<const char*, const char*> rows[] = {
        {"new('nroot', 'a'", "expected"}, {"new('nroot', 'half') nothing_here()", "nothing_here"},
        {"error('%s%n ##')", "%s%n ##"}, {"obj('/usr/inner').run() new('nroot', 'after')", "inner boom"},
        {"new('nroot', 'fine')", nullptr},
    };
    for (const auto& [text, error] : rows) {
        SCOPED_TRACE(text);
        d->GetEditor().SetText(text);
        d->Command(nScriptEditDlg::Run);
        LayerFrame();  // the window draws the note, whatever it holds
        if (error) {
            EXPECT_EQ(Text(d), text);
            EXPECT_EQ(d->GetNote().rfind("Fehler: ", 0), 0u) << d->GetNote();
            EXPECT_NE(d->GetNote().find(error), std::string::npos) << d->GetNote();
        } else {
            EXPECT_EQ(Text(d).rfind("--[name]: /usr/obj\n", 0), 0u) << Text(d);
            EXPECT_EQ(d->GetNote(), "");
        }
    }
    EXPECT_TRUE(LogHas("rootedit: the text run at '/usr/obj' failed"));
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
