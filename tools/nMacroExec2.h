#pragma once
// The macro buttons (script class "nmacroexec2", no commands of its own): every object
// under "/scripts" is a macro with a push button in the tool window "Scripts-Macros";
// a press saves the macros to "bin:scripts.n" and runs the macro. The macros are loaded
// from that file when the plugin is made and saved, after a backup to
// "bin:scripts.bak", when it goes.
#include <memory>
#include <vector>

#include "kernel/nRef.h"
#include "tools/nMacroButton.h"
#include "tools/nPlugin.h"

namespace ui {
class ToolWindow;
}

class nMacroExec2 : public nPlugin {
public:
    static const nClassInfo classInfo;

    nMacroExec2();
    ~nMacroExec2() override;

    void SetActive(bool active) override;
    void Minimize() override;
    // Every 5 s (and at the first call): Update and Layout. The first call also runs the
    // auto-run macros that bin:scripts.n brought.
    bool Trigger() override;

    // One button per macro, in the order they appeared; buttons of macros gone go.
    // "/scripts" deleted meanwhile is made again (logged).
    void Update();
    // Rows of four 80 x 25 buttons; the window fits them.
    void Layout();
    // What a press does: save the macros (when there are any), then run the macro
    // (only an "nscriptlet") with the origin of its text. False for an unknown button.
    bool Press(int button);
    // Moves "bin:scripts.n" to "bin:scripts.bak" (replacing it) and saves the macros
    // there when there are any; false (logged) when that save fails.
    bool Save();

    ui::ToolWindow* GetWindow() const { return window_.get(); }
    int GetNumButtons() const { return static_cast<int>(buttons_.size()); }
    nMacroButton* GetButton(int index) const;
    nRoot* GetScripts() const { return scripts_.GetUnsafe(); }

private:
    nRoot* FindOrMakeScripts();
    // Loads the macros of "bin:scripts.n" (when there is one) under `scripts`; their text
    // runs as the person's.
    void Load(nRoot* scripts);
    // Saves the macros as "bin:scripts" when there are any, leaving out the scriptlets
    // whose text data planted or edited; false when the save fails.
    bool WriteMacros(nRoot* scripts);

    std::unique_ptr<ui::ToolWindow> window_;
    double lastUpdate_ = 0.0;
    nRef<nRoot> scripts_;
    std::vector<std::unique_ptr<nMacroButton>> buttons_;
    // The macros of bin:scripts.n that were to run as the file loaded, in its order.
    std::vector<nRef<nRoot>> autoRuns_;
    bool refused_ = false;  // bin:scripts.n was there and did not load
};
