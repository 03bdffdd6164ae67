#pragma once
#include <vector>

#include "kernel/nRoot.h"

class nFile;
class nCmd;
class nString;

// The script server seen from the rest of the engine: runs script text and
// files, queues text for the next frame, and writes objects as scripts,
// without knowing the script language. The base runs nothing.
class nScriptServer : public nRoot {
public:
    static const nClassInfo classInfo;

    nScriptServer() = default;
    ~nScriptServer() override = default;

    // Runs one piece of script text; `result` receives the output text of
    // the last command it called.
    virtual bool Run(const char* text, const char*& result);
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
    // Runs a line from outside the program (a movie's script line, a remote line): the
    // game's functions, but nothing that reaches files or processes, under a budget.
    virtual bool RunLine(const char* text, const char*& result);

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
    // Servers running script text now, innermost last.
    static std::vector<nScriptServer*> running_;
};
