#pragma once
// The base of the in-game tools (script class "nplugin"): a switch, and named script
// events to which scripts bind Lua functions and which the tool fires when the user acts
// in its window. Plugins live under the plugin server at "/sys/servers/plugin".
#include <memory>
#include <string>
#include <vector>

#include "kernel/nPathRef.h"
#include "kernel/nRoot.h"
#include "kernel/nScriptServer.h"
#include "logic/nScriptEvent.h"

class nPluginServer;
namespace ui {
class Host;
}

class nPlugin : public nRoot {
public:
    static const nClassInfo classInfo;

    nPlugin();
    ~nPlugin() override;

    // Window plugins also show or hide their window.
    virtual void SetActive(bool active);
    virtual bool GetActive() const;
    // Whether a window of the plugin shows now: an active plugin with a window of its own
    // shows it; one whose windows are all closed shows none (F12 decides by this).
    virtual bool IsShown() const { return GetActive(); }
    virtual void Minimize();
    // The per-frame work while active; the base does none and says so with false.
    virtual bool Trigger();

    // Binds a script function to an event of the plugin (once); an event the plugin lacks
    // is logged with the plugin's path and changes nothing.
    void AddEventFunction(const char* event, const char* function);
    // Unbinds it; a function not bound changes nothing.
    void RemoveEventFunction(const char* event, const char* function);
    // One line a event: its name, "_", a letter an argument (d int and bool, f float,
    // s text, v others), a line feed.
    std::string GetEvents() const;

    // -1 when there is none (exact, case-sensitive; the first in order).
    int FindEventIndex(const char* name) const;
    nScriptEvent* FindEvent(const char* name) const;
    // The event of that name, else a new one of those argument letters at the end.
    nScriptEvent* FindOrCreateEvent(const char* name, const char* argLetters);
    // Deletes the event of that name; the later ones move down.
    void RemoveEvent(const char* name);
    int GetNumEvents() const { return static_cast<int>(events_.size()); }
    // Runs the event's bound functions, only when one is bound; false when a call failed
    // or there is no script server.
    bool FireEvent(nScriptEvent* event);

protected:
    // The widget layer of the plugin server, null without one (the plugin then has no
    // window).
    ui::Host* GetUiHost();
    // Seconds on the tools' own clock: the one beneath the game's, which runs on while the
    // game's clock stands, is locked, scaled or set (the menu over a game, the viewer).
    static double ToolTime();

    bool active_ = false;
    std::vector<std::unique_ptr<nScriptEvent>> events_;
    nPathRef<nRoot> refPluginServer_{"/sys/servers/plugin"};
    nPathRef<nRoot> refInput_{"/sys/servers/input"};
    nPathRef<nScriptServer> refScript_{"/sys/servers/script"};
};
