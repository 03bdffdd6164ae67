#pragma once
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kernel/nCmdProto.h"
#include "kernel/nRoot.h"
#include "platform/system/ForeignTurn.h"

class nFile;
class nClass;
class nCmd;
class nString;

// The script server seen from the rest of the engine: runs script text and
// files, queues text for the next frame, and writes objects as scripts,
// without knowing the script language. The base runs nothing.
class nScriptServer : public nRoot {
public:
    static const nClassInfo classInfo;

    // Where script text came from. A person's text (start scripts, the console, the tools,
    // files they name, the macros file's macros) has the engine's commands and the file
    // server's reach. Data's text (a data file, a save, a movie line, a remote line), and
    // whatever such text stores or runs in turn, runs at the data level: the line
    // environment, budgets, files read only inside the installation, no file written, no
    // assign changed, no socket opened, nothing released outside the level and persist trees.
    enum class Origin : uint8_t { Person, Data };
    // The origin of the text running now (a person's when none runs): what it stores keeps it.
    static Origin CurrentOrigin() { return origin_; }
    static bool DataRunning() { return origin_ == Origin::Data; }
    // False, with one log line naming `what`, while data's text runs.
    static bool PersonOnly(const char* what);
    // True when the text running now may release `obj` (or move it into `into`, when
    // given): anything for a person's text; for data's, only objects below a level
    // ("nlogiclevel") or below "/usr/persist", into the same trees (logged with `what`
    // otherwise).
    static bool MayRelease(const nRoot* obj, const nRoot* into, const char* what);
    // True when the text running now may call `proto` on `obj`: anything for a person's
    // text; for data's, a command of an object under "/sys" only when its class declares
    // it open to data (nClassInfo's data-safe list). A refusal is logged.
    static bool MayCall(const nRoot* obj, const nCmdProto* proto) {
        if (origin_ == Origin::Person) return true;
        if (dataText_) return RefuseInDataText("a command", proto->GetName(), obj);
        return proto->IsDataSafe() || MayCallEngine(obj, proto);
    }
    // Data's text (a movie's line, a stored text of data's) runs in an environment that holds
    // only Lua's pure functions, "print" and the game's declared entries: nothing in it
    // reaches an object. True while such text runs and no declared entry runs for it; the
    // checks below then refuse whatever is asked (one log line each), as a floor beneath
    // that environment.
    static bool DataTextRunning() { return dataText_; }
    // How many times something beyond the declared entries was asked for while data's text
    // ran: none, unless that environment leaks.
    static uint64_t DataTextBreaches() { return dataTextBreaches_; }
    // The person's key or click answered what shows now (a key of the input node that answers
    // it, the menu's, or a click inside a movie that reports lines): what data's text may do
    // only in answer to it (a menu's entry) may run for a few frames. Keys that mean something
    // else (the diver's, Esc, F5, F9, F12, a key the game does not bind there) are no answer.
    static void PersonInput() { framesSinceInput_ = 0; }
    // What the person pressed before a movie that reports lines showed was meant for what
    // was shown then: it answers nothing of the movie.
    static void ForgetPersonInput() { framesSinceInput_ = UINT32_MAX; }
    // A frame began: the person's last key or click is one frame older.
    static void PersonInputAged() {
        if (framesSinceInput_ < UINT32_MAX) framesSinceInput_++;
    }
    static uint32_t FramesSincePersonInput() { return framesSinceInput_; }
    // Sets whether data's text runs in its own environment for as long as it lives.
    class DataTextScope {
    public:
        explicit DataTextScope(bool on) : outer_(dataText_) { dataText_ = on; }
        ~DataTextScope() { dataText_ = outer_; }
        DataTextScope(const DataTextScope&) = delete;
        DataTextScope& operator=(const DataTextScope&) = delete;

    private:
        bool outer_;
    };
    // The weaker of two origins: data's when either is (a call that a person's and data's
    // text set up together, such as a mixer's getter on a source that data named).
    static Origin Weaker(Origin a, Origin b) { return a == Origin::Data ? a : b; }
    // True when a call that text of `origin` set up earlier (a mixer's getter, an
    // interpolator's command) may run `proto` on `obj` now, as MayCall for that origin. A
    // refusal is logged once: it sets `refused`, and a refused call is not tried again
    // until it is set up anew (its owner clears the flag then).
    static bool MayRunKept(const nRoot* obj, const nCmdProto* proto, Origin origin, bool& refused);
    // Runs `cmd` on `obj` for such a call, when MayRunKept allows it, under `origin`: the
    // command and whatever it reaches see data's call as data's. False when not run.
    static bool DispatchKept(nRoot* obj, nCmd* cmd, Origin origin, bool& refused);
    // True when the text running now may make (new, clone) an object of class `cls` below
    // `parent`: anything for a person's text; for data's, no server kind and nothing under
    // "/sys" (logged with `what` otherwise).
    static bool MayMake(const nClass* cls, const nRoot* parent, const char* what);
    // True when the text running now may give the objects it makes below `parent` the names
    // of `path` (its parts between '/', "." and ".." aside): any name for a person's text;
    // for data's, outside "/sys", only letters, digits, '_', '-' and '.', so that no name can
    // end a quoted text or start a line in a script that pastes an object's path (logged
    // when `logged`).
    static bool MayNameIn(const nRoot* parent, std::string_view path, bool logged = true);
    // While it lives, data's text names objects by the person's rules: for a file that is the
    // person's but loads under a data file's bounds (the macros file).
    class PersonNamesScope {
    public:
        PersonNamesScope() : outer_(personNames_) { personNames_ = true; }
        ~PersonNamesScope() { personNames_ = outer_; }
        PersonNamesScope(const PersonNamesScope&) = delete;
        PersonNamesScope& operator=(const PersonNamesScope&) = delete;

    private:
        bool outer_;
    };
    // True when data's text may put an object it makes itself ("new", "clone") below
    // `parent`: only below a level or "/usr/persist", or in a tree that hangs from no root (a
    // loader's scratch); logged with `what` otherwise. Anything for a person's text.
    static bool MayPlace(const nRoot* parent, const char* what);
    // `obj` hangs from no root of the object tree: a tree a loader builds aside (a scratch).
    static bool InScratch(const nRoot* obj);
    // `obj` is "/sys" or below it: the engine's servers, variables and shared resources.
    static bool InEngine(const nRoot* obj);
    // `obj` is a level, "/usr/persist", or below one of them.
    static bool InDataTrees(const nRoot* obj);
    // Sets the origin of the text running now for as long as it lives.
    class OriginScope {
    public:
        explicit OriginScope(Origin origin) : outer_(origin_) { origin_ = origin; }
        ~OriginScope() { origin_ = outer_; }
        OriginScope(const OriginScope&) = delete;
        OriginScope& operator=(const OriginScope&) = delete;

    private:
        Origin outer_;
    };

    nScriptServer() = default;
    ~nScriptServer() override = default;

    // Runs one piece of script text; `result` receives the output text of
    // the last command it called.
    virtual bool Run(const char* text, const char*& result);
    // As Run, for a caller that shows the failure itself (the root editor shows it in its
    // window): a failure's first line goes to `error` instead of the log. A run nested in
    // the text (a scriptlet it runs) that fails is logged and fails the text, its first line
    // the error.
    virtual bool RunCatching(const char* text, const char*& result, std::string& error);
    // Runs a whole script file; the name may start with an assign.
    virtual bool RunScript(const char* fileName, const char*& result);
    // Keeps text to be run by the next Trigger.
    virtual void Enqueue(const char* text);
    // Runs a file that arrived as data (a save game, the macros file) with `root`
    // current: it may only make, select and set up objects at or below `root`. A file
    // that reaches further, runs past its budget or is too big is refused (logged with
    // the file and what it tried); what it made below `root` is the caller's to drop.
    // `result` receives the output text of the last command it called.
    virtual bool RunDataFile(const char* fileName, nRoot* root, const char*& result);
    // Runs a line from outside the program that a person let in (a remote line): the
    // game's functions, but nothing that reaches files or processes, under a budget.
    virtual bool RunLine(const char* text, const char*& result);
    // Runs text that data brought or left behind (a movie's line, a store's action, a saved
    // timer's or event's text) under a line's budgets, where it reaches only Lua's pure
    // functions, "print" and the entries the start scripts declare for data.
    virtual bool RunDataText(const char* text, const char*& result);
    // Runs text that was stored to run later (an action, a timer, an event, a binding) at
    // the origin it was stored with; a person's text run from inside data's runs as data.
    bool RunStored(const char* text, Origin origin, const char*& result) {
        return origin == Origin::Data ? RunDataText(text, result) : Run(text, result);
    }
    // Data's text shares one budget a frame across its timers, handlers and lines (the
    // frames begin with Trigger; the base has no budget). True while this frame's share is
    // spent.
    virtual bool DataWaits() const { return false; }
    // Data's timers take turns: true when one that last ran in data's frame `lastRan` (see
    // DataFrame) waits for a later frame, keeping its time: the share is spent, or timers
    // that have waited longer go first.
    virtual bool TimerWaits(uint32_t lastRan) {
        (void)lastRan;
        return false;
    }
    // Data's code that runs outside this server (a movie's) spends from the same share, each
    // caller with its place `turn` (platform/system/ForeignTurn.h). Before a call: the
    // instructions it may take, 0 when it waits for a later frame. A call in a run of data's
    // text spends from that run. Otherwise, once frames began: a load, a draw, and an event
    // past its caller's reserve take their turns as timers do (`turn.lastRan` becomes this
    // frame when they run); an event within the reserve runs now; a read never waits. Before
    // the first frame a caller's calls but its reads share one start window.
    virtual uint64_t ForeignShare(sys::ForeignCall call, sys::ForeignTurn& turn) {
        (void)call, (void)turn;
        return UINT64_MAX;
    }
    // The time such a call may take now; no bound here.
    virtual std::chrono::steady_clock::duration ForeignTime(sys::ForeignCall call, const sys::ForeignTurn& turn) const {
        (void)call, (void)turn;
        return std::chrono::steady_clock::duration::max();
    }
    // What such a call spent, after it ran: `taken` by sys::RunClock, `wall` on the wall clock.
    virtual void ForeignSpent(uint64_t instructions, std::chrono::steady_clock::duration taken,
                              std::chrono::steady_clock::duration wall, sys::ForeignTurn& turn) {
        (void)instructions, (void)taken, (void)wall, (void)turn;
    }
    // The number of the frame that data's text spends in now.
    virtual uint32_t DataFrame() const { return 0; }
    // True when the last run of data's stored text was stopped for taking a whole frame's
    // share on its own: a timer that does so again and again never fits.
    virtual bool LastRunPassedFrame() const { return false; }
    // A level's map file, at the origin of its name: a person's map runs as a start script
    // does (also when data's text loads the level); a map that data named runs at the data
    // level and only from inside the installation, as any script file that data's text runs.
    virtual bool RunMapFile(const char* fileName, Origin origin, const char*& result);

    // Writing objects as scripts; the persistence server drives these.
    virtual nFile* BeginWrite(const char* fileName, nRoot* obj);
    virtual bool WriteBeginNewObject(nFile* file, nRoot* obj, nRoot* cwd);
    virtual bool WriteBeginObjectCmd(nFile* file, nRoot* obj, nRoot* cwd, nCmd* cmd);
    virtual bool WriteBeginSelObject(nFile* file, nRoot* obj, nRoot* cwd);
    virtual bool WriteCmd(nString& target, nCmd* cmd);
    virtual bool WriteObjectCmd(nFile* file, nCmd* cmd);
    virtual bool WriteEndObject(nFile* file, nRoot* obj, nRoot* cwd);
    virtual bool EndWrite(nFile* file);
    // Ends a save that failed: the file is closed and destroyed, and whatever the
    // save was to replace stays as it was.
    virtual void AbortWrite(nFile* file);

    // Once per frame from the main loop; false ends the loop.
    virtual bool Trigger();
    // The console prompt, written into `buf` (at most `size` bytes).
    virtual char* Prompt(char* buf, int size);

    // True when releasing or moving `obj` would free or move a script server whose
    // interpreter is running script text now: such a server or an object above it.
    // delete, move and greset refuse these (logged) instead of freeing the running
    // interpreter.
    static bool HoldsRunningServer(const nRoot* obj);

    // Marks a server as running script text for as long as the guard lives (nested
    // runs nest).
    class RunningGuard {
    public:
        explicit RunningGuard(nScriptServer* server);
        ~RunningGuard();
        RunningGuard(const RunningGuard&) = delete;
        RunningGuard& operator=(const RunningGuard&) = delete;

    private:
        nScriptServer* server_;
    };

    // Asks the main loop to end after the current frame.
    void SetQuitRequested(bool b) { quitRequested = b; }
    bool GetQuitRequested() const { return quitRequested; }

protected:
    bool quitRequested = false;

private:
    static bool MayCallEngine(const nRoot* obj, const nCmdProto* proto);
    // Logs `what` (`name` of `obj`, when given) refused to data's text and counts it.
    static bool RefuseInDataText(const char* what, const char* name, const nRoot* obj);
    static bool dataText_;
    static uint64_t dataTextBreaches_;
    static uint32_t framesSinceInput_;
    // Servers running script text now, innermost last.
    static std::vector<nScriptServer*> running_;
    static Origin origin_;
    static bool personNames_;
};
