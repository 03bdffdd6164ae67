// The script editor dialog: its set-up read back from the control, its toolbar and menu,
// editing through its commands and through pushed keys, completion that follows the typed
// word, line numbers, folding clicks, resizing and closing.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "kernel/nFileServer2.h"
#include "kernel/nHashList.h"
#include "platform/ui/EditorControl.h"
#include "platform/ui/MenuBar.h"
#include "platform/ui/ToolBar.h"
#include "tests/tools/ToolsFixture.h"
#include "tools/nImageList.h"
#include "tools/nMenu.h"
#include "tools/nSciControl.h"
#include "tools/nScriptEditDlg.h"
#include "tools/nToolBar.h"
#include "tools/nWinCommandEvent.h"

namespace {

using window::MessageKind;

class ScriptEditDlgTest : public ToolsFixture {
protected:
    void SetUp() override {
        ToolsFixture::SetUp();
        MakePluginServer();
        Host()->SetClipboard([this] { return clipboard; }, [this](const std::string& t) { clipboard = t; });
        dlg = new nScriptEditDlg(Host(), kernel->GetFileServer(), "/usr/scene/obj");
        owned.AddTail(dlg);
        dlg->commandHandler = [this](nWinCommandEvent& e) {
            EXPECT_EQ(e.window, dlg->GetWindow());
            EXPECT_EQ(e.message, 273);
            commands.push_back(e.command);
        };
    }
    void TearDown() override {
        while (nHashNode* n = owned.RemHead()) delete static_cast<nScriptEditDlg*>(n);
        ToolsFixture::TearDown();
    }
    ui::EditorControl& Control() { return *dlg->GetEditor().GetControl(); }
    void Key(int key) {
        Send(MessageKind::KeyDown, 0, 0, 0, key);
        Send(MessageKind::KeyUp, 0, 0, 0, key);
        LayerFrame();
        LayerFrame();
    }
    void CtrlKey(int key) {
        Send(MessageKind::KeyDown, 0, 0, 0, 17);
        Key(key);
        Send(MessageKind::KeyUp, 0, 0, 0, 17);
        LayerFrame();
    }
    // '@' Ctrl+Space, '\n' Return, '\b' Backspace, '>' Down, '<' Up, others typed; a shown
    // completion list keeps its choice in sight.
    void Type(const std::string& keys) {
        const std::map<char, int> named{{'\n', 13}, {'\b', 8}, {'>', 40}, {'<', 38}};
        for (char k : keys) {
            if (k == '@') CtrlKey(' ');
            else if (named.count(k)) Key(named.at(k));
            else Send(MessageKind::Char, 0, 0, 0, static_cast<unsigned char>(k)), LayerFrame(), LayerFrame();
            int first = 0, last = -1;
            if (!Control().IsCompletionActive() || !Control().GetCompletionRowsShown(first, last)) continue;
            EXPECT_LE(first, Control().GetCompletionSelection());
            EXPECT_GE(last, Control().GetCompletionSelection());
        }
    }
    // Shows the dialog and clicks into its text so that keys go to it.
    void Focus() {
        dlg->GetWindow()->SetPosition(10, 10);
        dlg->GetWindow()->Show();
        LayerFrame();
        float x = 0, y = 0;
        ASSERT_TRUE(Control().GetScreenPosition(Control().GetLength(), x, y));
        Click(static_cast<int>(x) + 40, static_cast<int>(y) + 4);
    }

    nHashList owned{16};
    nScriptEditDlg* dlg = nullptr;
    std::string clipboard;
    std::vector<int> commands;
};

TEST_F(ScriptEditDlgTest, TheControlIsSetUpForLuaAsTheDialogSaysAndStartsHidden) {
    ASSERT_NE(dlg->GetWindow(), nullptr);
    EXPECT_FALSE(dlg->GetWindow()->IsVisible());
    EXPECT_EQ(dlg->GetWindow()->GetUserData(), dlg);
    ui::EditorControl& c = Control();
    EXPECT_EQ(dlg->GetEditor().GetControlId(), 1000);
    EXPECT_EQ(c.GetLexer(), 15);
    EXPECT_EQ(c.GetStyleBits(), 7);
    EXPECT_EQ(c.GetKeywords(0),
              "and break do else elseif end for function if in local nil not or repeat return then until while "
              "sel up obj n_new float int string object self");
    struct Row {
        int style;
        unsigned fore;
        const char* font;
        int size;
        bool bold, italic;
    };
    const Row rows[] = {{32, 0x00FF00, "Verdana", 8, false, false}, {0, 0x000000, "Verdana", 10, false, false},
                        {1, 0x074F2D, "Verdana", 10, false, true},  {3, 0x074F2D, "Verdana", 10, false, true},
                        {4, 0x001FFF, "Courier", 10, false, false}, {5, 0xFF0000, "Courier", 10, false, false},
                        {7, 0x800000, "Courier", 10, false, false}, {9, 0x4696FF, "Courier", 10, false, false},
                        {10, 0x000000, "Courier", 10, true, false}, {11, 0x505050, "Courier", 10, false, false},
                        {12, 0x000000, "Courier", 10, false, false}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.style);
        const ui::EditorControl::Style* s = c.GetStyle(r.style);
        EXPECT_EQ(s->fore, r.fore);
        EXPECT_EQ(s->back, 0xFFFFFFu);
        EXPECT_EQ(s->font, r.font);
        EXPECT_EQ(s->size, r.size);
        EXPECT_EQ(s->bold, r.bold);
        EXPECT_EQ(s->italic, r.italic);
        EXPECT_FALSE(s->underline);
        EXPECT_TRUE(s->eolFilled);
    }
    EXPECT_EQ(c.GetProperty("fold"), "1");
    EXPECT_EQ(c.GetFoldFlags(), 16);
    const ui::EditorControl::Margin* fold = c.GetMargin(2);
    EXPECT_EQ(fold->type, 0);
    EXPECT_EQ(fold->width, 20);
    EXPECT_EQ(fold->mask, 0xFE000000u);
    EXPECT_TRUE(fold->sensitive);
    const ui::EditorControl::Margin* numbers = c.GetMargin(1);
    EXPECT_EQ(numbers->type, 1);
    EXPECT_EQ(numbers->width, 30);
    EXPECT_TRUE(numbers->sensitive);
    EXPECT_EQ(c.GetMarker(31)->symbol, 6);
    EXPECT_EQ(c.GetMarker(31)->fore, 0xD2D2D2u);
    EXPECT_EQ(c.GetMarker(30)->symbol, 2);
    for (int m = 25; m <= 29; m++) EXPECT_EQ(c.GetMarker(m)->symbol, 5) << m;
    EXPECT_EQ(c.GetMarker(27)->fore, 0xFFFFFFu);
    EXPECT_EQ(c.GetMarker(28)->fore, 0x000000u);
    EXPECT_TRUE(c.GetCompletionIgnoreCase());
    EXPECT_FALSE(c.GetCompletionAutoHide());
    EXPECT_TRUE(c.GetIndentationGuides());
    EXPECT_FALSE(c.CanUndo());
}

TEST_F(ScriptEditDlgTest, ToolbarAndMenuComeInTheirOrderWithUndoRedoAndPasteOff) {
    ui::ToolBar& bar = dlg->GetToolBar().GetBar();
    const int order[] = {32910, 32908, 0, 32906, 32905, 32907, 0, 32909};
    ASSERT_EQ(bar.GetCount(), 8);
    for (int i = 0; i < 8; i++) EXPECT_EQ(bar.GetCommand(i), order[i]) << i;
    EXPECT_EQ(bar.GetState(32910), 0);
    EXPECT_EQ(bar.GetState(32908), 0);
    EXPECT_EQ(bar.GetState(32907), 0);
    EXPECT_EQ(bar.GetState(32906), 4);
    EXPECT_EQ(bar.GetState(32909), 4);
    EXPECT_EQ(dlg->GetToolBar().GetTooltipText(32910), "Undo");
    EXPECT_EQ(dlg->GetToolBar().GetTooltipText(32909), "Script ausf\xfchren ...");
    EXPECT_EQ(dlg->GetToolBar().GetTooltipText(32907), "Einf\xfcgen");
    EXPECT_EQ(dlg->GetToolBar().GetTooltipText(32906), "Ausschneiden");
    EXPECT_EQ(dlg->GetToolBar().GetTooltipText(32905), "Kopieren");
    EXPECT_EQ(dlg->GetToolBar().GetTooltipText(32908), "Redo");
    EXPECT_EQ(dlg->GetImages().GetCount(), 6);
    EXPECT_EQ(dlg->GetImages().FindImage("nroot"), 0);

    ui::MenuBar& menu = dlg->GetMenu().GetMenu();
    const char* texts[] = {"Undo", "Redo", "", "Ausschneiden", "Kopieren", "Einf\xfcgen", "L\xf6schen", "", "Ausf\xfchren"};
    const int ids[] = {32910, 32908, 0, 32906, 32905, 32907, 32821, 0, 32909};
    ASSERT_EQ(menu.GetCount(), 9);
    for (int i = 0; i < 9; i++) {
        EXPECT_EQ(menu.GetCommand(i), ids[i]);
        EXPECT_EQ(*menu.GetText(i), texts[i]);
    }
    EXPECT_TRUE(static_cast<bool>(dlg->GetWindow()->menuBar));
}

TEST_F(ScriptEditDlgTest, CommandsEditThroughTheControlAndAllReachTheHandler) {
    ui::EditorControl& c = Control();
    c.SetText("obj");
    c.EmptyUndoBuffer();
    c.SetCaret(3);
    c.TypeCharacter('x');
    EXPECT_EQ(c.GetText(), "objx");
    EXPECT_EQ(dlg->GetToolBar().GetBar().GetState(32910), 4);
    EXPECT_TRUE(dlg->GetMenu().GetMenu().IsEnabled(32910));
    EXPECT_FALSE(dlg->GetMenu().GetMenu().IsEnabled(32908));
    dlg->Command(32910);
    EXPECT_EQ(c.GetText(), "obj");
    EXPECT_EQ(dlg->GetToolBar().GetBar().GetState(32910), 0);
    EXPECT_EQ(dlg->GetToolBar().GetBar().GetState(32908), 4);
    EXPECT_FALSE(dlg->GetMenu().GetMenu().IsEnabled(32910));
    dlg->Command(32908);
    EXPECT_EQ(c.GetText(), "objx");
    // Undo with nothing to undo changes nothing.
    dlg->Command(32908);
    EXPECT_EQ(c.GetText(), "objx");

    c.SetSelection(0, 2);
    dlg->Command(32905);
    EXPECT_EQ(clipboard, "ob");
    dlg->Command(32906);
    EXPECT_EQ(c.GetText(), "jx");
    c.SetCaret(2);
    dlg->Command(32907);
    EXPECT_EQ(c.GetText(), "jxob");
    c.SetCaret(0);
    dlg->Command(32821);
    EXPECT_EQ(c.GetText(), "xob");
    dlg->Command(32909);
    EXPECT_EQ(commands, (std::vector<int>{32910, 32908, 32908, 32905, 32906, 32907, 32821, 32909}));
}

TEST_F(ScriptEditDlgTest, CtrlSpaceHandsTheWordToCompletionAndAShownListOnlySelects) {
    ui::EditorControl& c = Control();
    c.SetText("obj.ge");
    c.SetCaret(6);
    // Without a handler the space stays.
    c.TypeCharacter(' ', true);
    EXPECT_EQ(c.GetText(), "obj.ge ");
    c.DeleteBack();

    std::vector<std::string> words;
    dlg->completionHandler = [&](nWinCommandEvent&, const std::string& word) {
        words.push_back(word);
        dlg->ShowCompletion(word, "getname Getpath setname");
    };
    c.TypeCharacter(' ', true);
    EXPECT_EQ(c.GetText(), "obj.ge");
    ASSERT_EQ(words, std::vector<std::string>{"ge"});
    ASSERT_TRUE(c.IsCompletionActive());
    EXPECT_EQ(c.GetCompletionSelection(), 0);
    // A second request while the list shows only moves the selection, case ignored.
    c.ReplaceSelection("tp");
    dlg->ShowCompletion("getp", "other list");
    EXPECT_EQ(c.GetCompletionEntries().size(), 3u);
    EXPECT_EQ(c.GetCompletionSelection(), 1);
    // Picking replaces the typed word only.
    c.PickCompletion(1);
    EXPECT_EQ(c.GetText(), "obj.Getpath");
    // A plain space is no request.
    c.TypeCharacter(' ');
    EXPECT_EQ(words.size(), 1u);
}

TEST_F(ScriptEditDlgTest, PushedKeysTypeUndoRedoAndAskForCompletion) {
    Control().SetText("sel\n");
    Control().EmptyUndoBuffer();
    Focus();
    std::vector<std::string> words;
    dlg->completionHandler = [&](nWinCommandEvent&, const std::string& word) {
        words.push_back(word);
        dlg->ShowCompletion(word, "abc  abd");
    };
    Send(MessageKind::Char, 0, 0, 0, 'a');
    LayerFrame();
    Send(MessageKind::Char, 0, 0, 0, 'b');
    LayerFrame();
    LayerFrame();
    EXPECT_EQ(Control().GetText(), "sel\nab");
    EXPECT_EQ(dlg->GetToolBar().GetBar().GetState(32910), 4);
    CtrlKey('Z');
    EXPECT_EQ(Control().GetText(), "sel\na");
    CtrlKey('Y');
    EXPECT_EQ(Control().GetText(), "sel\nab");
    CtrlKey(' ');
    EXPECT_EQ(Control().GetText(), "sel\nab");
    EXPECT_EQ(words, std::vector<std::string>{"ab"});
    ASSERT_TRUE(Control().IsCompletionActive());
    // The empty entry is a blank line of the list.
    EXPECT_EQ(Control().GetCompletionEntries(), (std::vector<std::string>{"abc", "", "abd"}));
    LayerFrame();
    float cx = 0, cy = 0, lx = 0, ly = 0;
    ASSERT_TRUE(Control().GetScreenPosition(Control().GetCaret(), cx, cy));
    ASSERT_TRUE(Control().GetCompletionScreenPosition(lx, ly));
    EXPECT_FLOAT_EQ(lx, cx);
    EXPECT_FLOAT_EQ(ly, cy + Control().GetLineHeight());
    Key(40);
    Key(40);
    Key(13);
    EXPECT_EQ(Control().GetText(), "sel\nabd");
}

TEST_F(ScriptEditDlgTest, AClickInTheFoldMarginTogglesItsLine) {
    Control().SetText("a\nb\nc\n");
    Focus();
    float x = 0, y = 0;
    ASSERT_TRUE(Control().GetScreenPosition(Control().PositionFromLine(1), x, y));
    // Margin 2 lies just left of the text.
    Click(static_cast<int>(x) - 14, static_cast<int>(y + Control().GetLineHeight() / 2));
    EXPECT_EQ(Control().GetFoldToggles(), std::vector<int>{1});
    // The line-number margin is sensitive but no fold margin.
    Click(static_cast<int>(x) - 40, static_cast<int>(y + Control().GetLineHeight() / 2));
    EXPECT_EQ(Control().GetFoldToggles(), std::vector<int>{1});
}

TEST_F(ScriptEditDlgTest, ResizingKeepsTheMarginsAndClosingDeletesTheRecord) {
    const int mx = dlg->GetMarginX();
    const int my = dlg->GetMarginY();
    EXPECT_EQ(mx, 25);
    EXPECT_GT(my, 25);
    dlg->GetWindow()->Show();
    dlg->GetWindow()->SetSize(700, 420);
    LayerFrame();
    EXPECT_EQ(dlg->GetEditorWidth(), 700 - mx);
    EXPECT_EQ(dlg->GetEditorHeight(), 420 - my);

    ASSERT_EQ(owned.Find("/usr/scene/obj"), dlg);
    const int windowId = dlg->GetWindow()->GetId();
    nSciControl orphan(Host(), windowId, &Control(), 1000);
    dlg->GetWindow()->onClose();
    EXPECT_EQ(owned.Find("/usr/scene/obj"), nullptr);
    EXPECT_EQ(owned.GetHead(), nullptr);
    EXPECT_EQ(Host()->FindWindow(windowId), nullptr);
    // A control whose window is gone does nothing.
    EXPECT_EQ(orphan.GetControl(), nullptr);
    orphan.SetText("x");
    orphan.Undo();
    EXPECT_EQ(orphan.GetTextLength(), 0);
    EXPECT_FALSE(orphan.CanUndo());
}

}  // namespace

namespace {

TEST_F(ScriptEditDlgTest, TheCompletionChoiceFollowsTheTypedWordAndReturnPutsInOnlyWhatItBegins) {
    std::string list = "setautorun(bool) getautorun() parsefile(string) setscript(string) getscript() run()";
    for (int i = 0; i < 40; i++) list += (i < 10 ? " e0" : " e") + std::to_string(i);
    dlg->completionHandler = [&](nWinCommandEvent&, const std::string& word) { dlg->ShowCompletion(word, list); };
    Focus();
    const std::pair<std::string, const char*> rows[] = {
        {"se@tscr\n", "setscript(string)"},
        {"get@s\n", "getscript()"},
        {"setn@\b\n", "setautorun(bool)"},
        // No entry starts with the word, or the caret went before it: the list closes.
        {"se@x\n", "sex\n"},
        {"a.se@\b\b\b\n", "a\n"},
        // The arrows move the choice; Return puts in no entry the word does not begin.
        {"run@>\n", "run"},
        {"@>><\n", "getautorun()"},
        {"e@" + std::string(30, '>') + std::string(12, '<') + "\n", "e18"},
        {"e@3\b2\n", "e20"},
    };
    for (const auto& [keys, text] : rows) {
        SCOPED_TRACE(keys);
        Control().CancelCompletion();
        Control().SetText("");
        LayerFrame();
        Type(keys);
        EXPECT_EQ(Control().GetText(), text);
        EXPECT_FALSE(Control().IsCompletionActive());
    }
}

TEST_F(ScriptEditDlgTest, LineNumbersShowWholeAtAnyCount) {
    Focus();
    for (int lines : {1, 999, 9999, 20000, 123456}) {
        SCOPED_TRACE(lines);
        std::string text;
        for (int i = 1; i < lines; i++) text += "x\n";
        Control().SetText(text + "xx");
        LayerFrame();
        float x0 = 0, x1 = 0, y = 0, left = 0, right = 0, foldLeft = 0, foldRight = 0;
        ASSERT_TRUE(Control().GetScreenPosition(text.size(), x0, y) && Control().GetScreenPosition(text.size() + 1, x1, y));
        ASSERT_TRUE(Control().GetMarginScreenRange(1, left, right) && Control().GetMarginScreenRange(2, foldLeft, foldRight));
        // Room for each digit (monospaced) and a pad, never less than set; the fold margin follows.
        EXPECT_GE(right - left, static_cast<float>(std::to_string(lines).size()) * (x1 - x0) + 2.0f);
        if (lines < 1000) EXPECT_EQ(right - left, 30.0f);
        EXPECT_EQ(foldLeft, right);
    }
}

}  // namespace
