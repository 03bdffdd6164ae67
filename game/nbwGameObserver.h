#pragma once
// What the game's two observers ("nbwobserver" and "nbw2observer") share: the game-state
// word mirrored into "/usr/persist/gamestatus", the per-frame choice of input focus
// groups, cursor and audio, the frame sleep and game clock by state, starting and ending
// levels, and saving and loading games. The twin differs only where `twin_` is asked;
// both register under "nbaseobserver", so neither is the other's kind.
#include <cstdint>
#include <string>
#include <vector>

#include "game/nbwSaveDeclaration.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/nScriptServer.h"
#include "logic/nBaseObserver.h"

class nbwLevel;
class nbwUwMenu;
class nLogicInputServer;
class nLogicNode;
class nPersist;

class nbwGameObserver : public nBaseObserver {
public:
    // The commands both observers open to data's text: the reads of the game's state. What
    // the main menu's line asks for runs as the game's own declared entry.
    static constexpr const char* DataSafe[] = {"getlevel", "getlastsaveok", "getgamestate", "gethud"};
    // Game-state bits the observer itself acts on.
    enum : uint32_t {
        Running = 0x2,
        MainMenu = 0x4,
        NoInput = 0x20,
        LevelRunning = 0x40,
        Video = 0x80,
        FlashMenus = 0x2B00,
        NoRunSleep = 0x600,
        Inventory = 0x1000,
        FlashKeepsDiver = 0x2000,
        CursorShown = 0x3706,
        // What a running game's play sets and a save brings back: start-up's bit, a level
        // that runs, the game on.
        LoadKeeps = 0x4000 | LevelRunning | Running,
    };
    static constexpr int MaxKeys = 16;
    static constexpr float RunSleep = 0.02f;
    static constexpr float IdleSleep = 0.05f;
    static constexpr float TwinRunSleep = 1.0f / 35.0f;

    explicit nbwGameObserver(bool twin) : twin_(twin) {}
    ~nbwGameObserver() override;

    void Trigger() override;
    void LogicRan() override;
    bool GetGameState(uint32_t mask) const override;
    void SetGameState(uint32_t mask, bool on) override;
    // The script command: as SetGameState, for a person's text only (data's refused, logged):
    // a state would let data take the keys from the person (video, inventory, no input) or
    // hold the clock.
    void SetGameStateCmd(int mask, bool on);
    // The person's keys: while the input `input` is active, `line` runs as the person's text
    // in every frame, whatever the game state and the focus groups are. Bound by the start
    // scripts; the observer lives under "/sys", so data's text can neither bind nor unbind
    // them. A second binding of an input replaces its line; an empty line unbinds it. At
    // most MaxKeys inputs (more are refused, logged).
    void BindKey(const char* input, const char* line);
    std::string GetKey(const char* input) const;

    // A start that does not run the level's map through or build all of its stores, while
    // a load holds the game that ran aside, puts that game back (RestoreGame).
    void StartLevel(const char* name);
    // The current level's object name, "none" without one.
    const char* GetLevel();
    void EndLevel();
    // The game says no level runs (its status and word) and hides the heads-up display.
    void NoLevelRuns();
    // Both take "name" or "save:name" (see SaveName); a refused name changes nothing.
    void SaveGame(const char* name);
    void LoadGame(const char* name);
    // Whether the last SaveGame wrote its file, or the last LoadGame loaded one (and the
    // level it names started, once it was started): the scripts tell the player.
    bool GetLastSaveOk() const { return lastSaveOk_; }
    // A load keeps the stores of the game that ran aside until the level it names has
    // started. This puts them back: the level started from the loaded ones (if any) ends,
    // the loaded stores go, and the level that ran starts again. True when a game was held
    // and its level runs again (or none ran); the scripts call it when their start broke off.
    bool RestoreGame();
    // The full path of the heads-up display the game runs on, "none" without one.
    std::string GetHudPath();
    void SetRotateCursor(bool on) { rotateCursor_ = on; }
    bool GetRotateCursor() const { return rotateCursor_; }
    nbwLevel* GetCurrentLevel() const { return level_.GetUnsafe(); }

protected:
    // The focus groups, cursor and audio of one frame by the game state.
    void ApplyFocus(nLogicInputServer* lis);
    void Focus(nLogicInputServer* lis, const char* group, bool on);
    static constexpr int NumGroups = 5;
    void SetGroups(nLogicInputServer* lis, const int8_t (&want)[NumGroups]);
    // "gamestatus" under the persist root, made (logged once) when `make` and missing.
    nPersist* GameStatus(bool make) const;
    void SetCurrLevel(const char* name);
    // The persist root for a save or load of `name`, with its file; null (logged) for a
    // refused name or without the root.
    nRoot* SaveTarget(const char* op, const char* name, std::string& file);
    // Reads the save `file` into a scratch object by the one rule for every save (a load
    // and the check of a save just written); the scratch (the caller's to release) when it
    // holds a game status with its word, else null (logged with `op`). A load reads its
    // values kindly (what earlier play wrote brought inside, logged), F5's check strictly.
    nRoot* ReadSave(const std::string& file, const char* op, nbwSaveDeclaration::Reading reading);
    // Whether what starting the save read into `scratch` needs stands where the start (and
    // the start scripts) reach it; false with why. Checked before the running level ends.
    bool StartNeeds(nRoot* root, nRoot* scratch, std::string& why);
    // StartLevel without the held game: true when the level started whole.
    bool StartNamed(const char* name);
    void DropHeld();
    // What data made below `from` stays data's in its copy: a game put back is trusted no
    // more than the save it came from.
    static void KeepDataMarks(nRoot* from, nRoot* copy);
    // Flushes the file or folder at the disk path to the disk; false when it cannot.
    static bool SyncPath(const char* path);
    // The objects below `tree` (and itself) that data's text made.
    static uint64_t DataMadeIn(nRoot* tree);
    void StopClock();
    void StartClock();
    // The heads-up display, null (logged) when it is missing.
    nbwUwMenu* Hud();

    bool twin_;
    bool debugMode_ = false;
    bool rotateCursor_ = false;
    bool lastSaveOk_ = false;
    mutable bool statusMadeLogged_ = false;
    mutable nPathRef<nRoot> refPersist_{"/usr/persist"};
    nPathRef<nRoot> refLevels_{"/usr/logic"};
    nPathRef<nRoot> refHud_{"/usr/logic/uwmenu"};
    nPathRef<nLogicInputServer> refLogicInput_{"/sys/servers/logicinput"};
    nPathRef<nLogicNode> refMenuManager_{"/usr/logic/menu/menu_manager"};
    nRef<nbwLevel> level_;
    // The stores of the game that ran before the last load (unnamed, ours to release), and
    // the level that ran then ("" for none), until the loaded level has started.
    nRef<nRoot> held_;
    std::string heldLevel_;
    // The map that built the level that ran, and its origin: the game put back is built by
    // it, whatever map file the tools set on the level since.
    std::string heldMap_;
    nScriptServer::Origin heldMapOrigin_ = nScriptServer::Origin::Person;
    // Logged once when the running level's node went away under the game.
    bool levelGoneLogged_ = false;
    // Focus groups already logged as missing, so a frame loop logs each once.
    std::string missingGroups_;
    struct Key {
        std::string input;
        std::string line;
    };
    std::vector<Key> keys_;
    // Runs the lines of the person's keys active in this frame.
    void RunKeys();
    // In the viewer's frames only the keys the viewer keeps mapped (F12's tools) can fire.
    void ViewerKeys() override { RunKeys(); }
};
