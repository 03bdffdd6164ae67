#pragma once
// The macro buttons (script class "nmacroexec2", no commands of its own): every object
// under "/scripts" is a macro with a push button in the tool window "Scripts-Macros";
// a press saves the macros to "bin:scripts.n" and runs the macro. The macros are loaded
// from that file when the plugin is made and saved, when they changed, with the file
// before them as "bin:scripts.bak", when it goes. While bin:scripts.n cannot take them a
// line above the tool windows says so; at the end they go to a file of their own.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>
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
    // Its window closed by the X, the plugin stays active, still looking whether
    // bin:scripts.n can take the macros: the word above the tools stays right.
    bool IsShown() const override;
    // Every 5 s of the tools' own time (and at the first call): Update, Layout and a look
    // whether bin:scripts.n could take the macros. The first call also runs the auto-run
    // macros that bin:scripts.n brought.
    bool Trigger() override;

    // One button per macro, in the order they appeared; buttons of macros gone go.
    // The macros are those at "/scripts", whatever object stands there now: one moved
    // away by a script is left (logged) once another stands there, one deleted is made
    // again (logged).
    void Update();
    // Rows of four 80 x 25 buttons; the window fits them.
    void Layout();
    // What a press does: save the macros (when there are any), then run the macro
    // (only an "nscriptlet") with the origin of its text. False for an unknown button.
    bool Press(int button);
    // Writes the macros when they differ from bin:scripts.n; with none left, the file the
    // session began with becomes the backup. False (logged) when a write fails.
    bool Save();
    // Why bin:scripts.n cannot take the macros now (shown above the tool windows); empty
    // while it can or nothing waits to be written.
    const std::string& GetUnwritable() const { return unwritable_; }
    // Writes the macros to a file of their own, never over one that exists: in `folder`
    // (an on-disk folder, no link), named "brinewick-macros.n" (a number after it where
    // taken), whole or not at all. The file's path; empty (logged) when it cannot.
    std::string KeepIn(const std::string& folder);

    ui::ToolWindow* GetWindow() const { return window_.get(); }
    int GetNumButtons() const { return static_cast<int>(buttons_.size()); }
    nMacroButton* GetButton(int index) const;
    nRoot* GetScripts() const { return scripts_.GetUnsafe(); }

private:
    nRoot* FindOrMakeScripts();
    // The object at "/scripts" (made when missing and `make`), followed from now on; the
    // one followed so far while a script moved it and none stands there; null for none.
    nRoot* Follow(bool make);
    // Looks whether bin:scripts.n could take the macros when they differ from what it
    // holds, and says so on the screen (or takes the word back).
    void CheckWritable();
    // Why a file of `bytes` cannot stand as bin:scripts.n now; empty when it can.
    std::string WhyUnwritable(size_t bytes) const;
    // Shows `why` above the tool windows and logs it, or takes the word back when empty.
    void SetUnwritable(const std::string& why);
    // The macros that the end could not write go to a file of their own: in the save
    // folder, else the system's temporary folder; named in the log and on standard error.
    void KeepUnwritten();
    // Loads the macros of "bin:scripts.n" (when there is one) under `scripts`; their text
    // runs as the person's. A file refused or holding none gives way to the backup's macros.
    void Load(nRoot* scripts);
    // Writes the macros as "bin:scripts" when there are any and they or the file changed,
    // leaving out the scriptlets whose text data planted or edited. The first write of a
    // session moves the file it began with aside: one that loaded macros becomes
    // "bin:scripts.bak" once the new file is whole; one refused or holding no macros, or
    // that another program wrote since, keeps a name of its own, logged, and the backup
    // stays (a backup that was refused keeps one too). False (logged) when the write fails
    // or the old file has nowhere to go; then nothing changed.
    bool WriteChanged(nRoot* scripts);

    // What "bin:scripts.n" was when the plugin was made.
    enum class Began { NoFile, Macros, NoMacros, Refused };
    // Loads the macros of the file `name` under `scripts` (where a name is taken, the macro
    // in memory stays) and their text into `text`; what the file held.
    Began LoadFile(const char* name, nRoot* scripts, std::string& text);
    // What tells a file changed on disk: its size and time of change.
    struct Stamp {
        bool exists = false;
        uintmax_t size = 0;
        std::filesystem::file_time_type time{};
        bool operator==(const Stamp&) const = default;
    };
    static Stamp StampOf(const std::string& file);
    // Gives `file` (an on-disk path) the first name "bin:scripts.kept", "bin:scripts.kept2" ..
    // "bin:scripts.kept99" not taken yet, never through a link; that name, or empty.
    static std::string KeepAside(const std::string& file);

    std::unique_ptr<ui::ToolWindow> window_;
    double lastUpdate_ = 0.0;
    // How many macros the last look saw (less, once some went): one more is looked at at once.
    int seenMacros_ = 0;
    nRef<nRoot> scripts_;
    std::vector<std::unique_ptr<nMacroButton>> buttons_;
    std::unordered_map<const nRoot*, nMacroButton*> buttonOf_;  // Update's scratch
    // The macros of bin:scripts.n that were to run as the file loaded, in its order.
    std::vector<nRef<nRoot>> autoRuns_;
    Began began_ = Began::NoFile;
    // The macros as bin:scripts.n holds them (as loaded or last written) and that file's
    // stamp then; no file of macros leaves the text empty.
    std::string onDisk_;
    // The macros as bin:scripts.bak holds them, when they were loaded in a refused file's place.
    std::string backupText_;
    Stamp onDiskStamp_;
    // bin:scripts.bak was refused when it was loaded in the file's place.
    bool backupRefused_ = false;
    // The file the session began with has been moved aside (or there was none).
    bool movedAside_ = false;
    // The macros as last looked at by CheckWritable, and why they could not be written.
    std::string probed_;
    std::string unwritable_;
};
