#pragma once
// A movie on a 2D sprite (script class "nlogicflash"): the Flash module plays the movie
// named by the sprite's texture and renders its frames into the image sprite's buffer,
// from which the tiles are textured. The node forwards mouse and keys to the movie, runs
// the script lines it sends ("Tessel_script"), routes its messages to other Flash nodes
// by name ("net_msg_output"), follows its cursor mode ("cursor_mode") and lets scripts
// read and write its variables. Menus and the heads-up display are made of these.
#include <string>
#include <vector>

#include "kernel/nPathRef.h"
#include "logic/nLogicCSprite.h"

class nInputServer;
class nScriptServer;
namespace flash {
class FlashModule;
}

class nLogicFlash : public nLogicCSprite {
public:
    static const nClassInfo classInfo;
    // Polls of the movie's readiness, one a frame, before a load is given up.
    static constexpr int ReadyPolls = 200;
    // Frames updated after "v_update_v".
    static constexpr int UpdateBurst = 20;
    // Failed draws in a row tried again at the next frame: twice the failures that make a
    // loose movie give way.
    static constexpr int RetriedDraws = 20;

    nLogicFlash();
    ~nLogicFlash() override;
    // Enters the node into the table of Flash nodes by name (the first of a name stays).
    void Initialize() override;
    bool SaveCmds(nPersistServer* ps) override;
    // The movie's messages, input and variables polled, once the node's own frame ran.
    bool Trigger(nLogicGraph* graph) override;
    // On: loads the movie, builds the tiles and updates; off: drops the tiles (the
    // movie stays loaded).
    void SetActive(bool on) override;
    // Owed mouse-out, tiles, the update when one is due, then the tiles drawn.
    void Render() override;
    // The movie file; the tiles are kept. Another name may be loaded again after a failure.
    void SetTexture(const char* name) override;
    // Applies the movie rectangle where the image sprite loads its picture.
    void LoadImage() override;

    virtual void ForwardInput();
    virtual void HandleMessages();
    virtual void HandleNetMessages();
    virtual void HandleCursorMode();

    // Makes the module and starts the movie. A movie that does not load, play or get
    // ready is logged and the node stays without one until its name changes or this is
    // called again ("v_loadflash_v"); `explicitLoad` false does not retry such a movie. One
    // whose start was stopped at its time is tried again at the next load (this, the node
    // switched on), not at a read or write of its values or the frame's draw.
    void LoadFlash(bool explicitLoad = true);
    void UnloadFlash();
    // Renders the movie's frame into the tiles (with a module and tiles only).
    void Update();
    // "v_update_v": at least 20 update requests, then Update.
    void RequestUpdates();

    // Movie variables; the movie is loaded first when there is none.
    bool SetValue(const char* var, const char* text);
    // Null when the movie has no text for the variable.
    const char* GetValue(const char* var);
    // The old text, ";" and the new one (the new alone when the old is empty).
    void ConcatValue(const char* var, const char* text);

    void SetMovieRect(int left, int top, int width, int height);
    void GetMovieRect(int& left, int& top, int& width, int& height) const;
    void SetFps(float fps) { fps_ = fps; }
    float GetFps() const { return fps_; }
    void SetMessaging(bool on);
    bool GetMessaging() const { return messaging_; }
    void SetInputEvents(bool on) { inputEvents_ = on; }
    bool GetInputEvents() const { return inputEvents_; }
    void SetUnloadThreshold(float t) { unloadThreshold_ = t; }
    float GetUnloadThreshold() const { return unloadThreshold_; }
    void SetFrozen(bool on) { frozen_ = on; }
    bool GetFrozen() const { return frozen_; }
    // This node and its direct children that are Flash nodes (of any subclass).
    void SetFrozenRec(bool on);
    void SetCheckUpdate(bool on) { checkUpdate_ = on; }
    void SetNetworking(bool on) { networking_ = on; }
    void SetCursorTest(bool on) { cursorTest_ = on; }

    flash::FlashModule* GetModule() const { return module_; }
    int GetUpdateRequests() const { return updateRequests_; }
    // Owes at least `n` updates.
    void RaiseUpdateRequests(int n) { updateRequests_ = updateRequests_ < n ? n : updateRequests_; }
    bool IsMouseInside() const { return mouseInside_; }
    float GetMouseX() const { return mouseX_; }
    float GetMouseY() const { return mouseY_; }

    // The Flash node entered under `name`, null for none.
    static nLogicFlash* Find(const char* name);
    // Set for good once a movie's "cursor_mode" began with "1".
    static bool GetCursorMode() { return cursorMode_; }
    static void ResetCursorMode() { cursorMode_ = false; }
    // The virtual-key code of an engine key code (1 … 145), 0 for others.
    static int TranslateKey(int code);

private:
    // The movie's readiness, polled once a frame until it plays (then the tiles update) or
    // the polls run out (then the load fails). True while the movie plays.
    bool PollReady();
    // A load failure: logged (`fmt` null: the module logged it), the module deleted, no retry
    // until asked.
    void FailLoad(const char* fmt, const char* arg);
    // A start stopped at its time (the module logged it): the module deleted, tried again at
    // the next load.
    void RefusedForTime();
    bool EnsureModule();
    // Operation 10 with the movie rectangle (the whole buffer when none is set); then
    // messaging off and one update.
    void ApplyMovieRect();
    void Mouse(unsigned message, int flags);
    // The pointer at (x, y), relative to the sprite: in, out or moved, as the movie hears
    // it. False when the movie's script released the node.
    bool MovePointer(float x, float y);

    flash::FlashModule* module_ = nullptr;
    int movieLeft_ = -1, movieHeight_ = -1, movieTop_ = -1, movieWidth_ = -1;
    float lastUpdate_ = -9999999.0f;
    float fps_ = 0.0f;
    bool messaging_ = false;
    bool inputEvents_ = false;
    float mouseX_ = -1.0f, mouseY_ = -1.0f;
    bool mouseInside_ = false;
    int updateRequests_ = 2;
    int buttonFlags_ = 0;
    bool unload_ = false;
    float unloadThreshold_ = 1.0f;
    float scaleX_ = 0.0f, scaleY_ = 0.0f;
    bool checkUpdate_ = false;
    bool networking_ = false;
    bool cursorTest_ = false;
    bool mouseOutPending_ = false;
    bool frozen_ = false;
    // The name this node is entered under in the table of Flash nodes (empty: not entered).
    std::string registryName_;
    bool loadFailed_ = false;
    bool refusedForTime_ = false;
    int readyPolls_ = -1;  // polls of a movie not yet ready; -1: none waits
    int failedDraws_ = 0;  // in a row
    // Script lines of the movie that took a whole frame's time for data, by their text's hash:
    // the same line again is not run (a movie may set it every frame). Past MaxRefusedLines
    // the movie's lines are not run until it is loaded again.
    static constexpr size_t MaxRefusedLines = 16;
    std::vector<size_t> refusedLines_;
    uint32_t linesOfStart_ = 0;  // the module's start whose lines were refused
    // Text handed out by GetValue.
    std::string value_;
    nPathRef<nInputServer> refInput_{"/sys/servers/input"};
    nPathRef<nScriptServer> refScript_{"/sys/servers/script"};

    static bool cursorMode_;
};
