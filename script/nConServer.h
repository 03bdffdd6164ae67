#pragma once
// The in-game console (script class "nconserver", "/sys/servers/console"): a line editor
// with a history that runs each line in the console's own current object, drawn over the
// recent log output; closed, it can show a live watch of "/sys/var" values whose names
// match a wildcard pattern. Made by scripts only; whoever owns it calls Trigger each frame.
#include <string>

#include "input/nEditLine.h"
#include "kernel/nLineBuffer.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/nRoot.h"

class nGfxServer;
class nInputEvent;
class nInputServer;
class nScriptServer;

class nConServer : public nRoot {
public:
    static const nClassInfo classInfo;

    nConServer();

    void Open() { open_ = true; }
    void Close() { open_ = false; }
    void Toggle() { open_ = !open_; }
    void Watch(const char* pattern);
    void Unwatch() { watch_ = false; }

    // Once a frame: the input step while open, then the console or the watch.
    void Trigger();
    // Hands the input server's queued events to the editor while open, flagging those it
    // handled, with the console's object current; the kernel's object is restored after.
    // False when a typed line deleted the console.
    bool HandleInput();
    // Edits the line from one input event; true when the console took the event.
    bool HandleEvent(const nInputEvent* event);
    // Runs the edit line and keeps it in the history.
    void Execute();

    nRoot* GetCwd();
    void SetCwd(nRoot* obj) { cwd_ = obj; }
    bool IsOpen() const { return open_; }
    bool IsWatching() const { return watch_; }
    const char* GetPattern() const { return pattern_.c_str(); }
    const nEditLine& GetLine() const { return line_; }
    const nLineBuffer& GetHistory() const { return history_; }
    int GetScroll() const { return scroll_; }

private:
    bool KeyDown(int code);
    bool KeyUp(int code);
    void HistoryBack();
    void HistoryForward();
    void DrawWatch(int height);
    void DrawConsole(int height);

    nPathRef<nInputServer> refInput_{"/sys/servers/input"};
    nPathRef<nGfxServer> refGfx_{"/sys/servers/gfx"};
    nPathRef<nScriptServer> refScript_{"/sys/servers/script"};
    nRef<nRoot> cwd_;
    nClass* envClass_ = nullptr;
    bool open_ = false;
    bool watch_ = false;
    int historyCursor_ = 0;  // 0: the line being edited; k: the k-th newest history line
    nLineBuffer history_;
    nEditLine line_;
    bool ctrlHeld_ = false;
    bool shiftHeld_ = false;
    int scroll_ = 0;
    std::string pattern_;
    // Drawn texts, kept so a frame allocates nothing once they have grown.
    std::string scratch_;
};
