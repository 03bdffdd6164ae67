#pragma once
// The basket of a lift (script class "nbwelevator"): divers load the item in their hand
// into its "inventory" by using the item on it; the bare hand opens the basket's
// inventory screen instead, where the player drags the "selector" sprite along the
// "selection" movie's four slots to take an item back. The basket neither swims nor
// loses life: its frame replaces the diver's.
#include <string>
#include <vector>

#include "game/nbwDiver.h"
#include "kernel/nRef.h"

class nbwContainer;
class nLogicFlash;
class nLogicInput;
class nLogicSprite;

class nbwElevator : public nbwDiver {
public:
    static const nClassInfo classInfo;

    // Rest positions of the selector and the right ends of their zones, from the
    // movie's left edge.
    static constexpr float RestX[4] = {8.0f, 71.0f, 135.0f, 200.0f};
    static constexpr float ZoneEnd[4] = {40.0f, 104.0f, 167.0f, 209.0f};
    static constexpr float SlideSpeed = 1000.0f;
    static constexpr float ScrollRepeat = 0.4f;
    // The movie's variable holding the items' German names ("type=Name;..."), which the
    // game's scripts set and the basket hands on across its screen's reloads.
    static constexpr const char* LabelsValue = "typnamen";

    nbwElevator();
    ~nbwElevator() override;

    // The actor's lines only.
    bool SaveCmds(nPersistServer* ps) override;
    bool Trigger(nLogicGraph* graph) override;
    void PlayMove(int move, const char* text, float power) override;
    // A bare hand opens the screen for its diver; another item moves into the basket
    // when it fits.
    void Use(nRoot* obj) override;

    void MouseMove();
    void MouseDown();
    void MouseUp();
    // The script command: refused without a user.
    void OpenInventoryCmd();
    void OpenInventory(nbwActor* user);
    void CloseInventory();
    void Nothing() {}
    void MoveCmd(const char*, float) {}

    bool IsOpen() const { return open_; }
    bool IsDragging() const { return dragging_; }
    int GetCountdown() const { return countdown_; }
    nRoot* GetUser() { return user_.GetUnsafe(); }
    int GetNumSlots() const { return int(slots_.size()); }

private:
    void SetupScreen();
    void FillLists();
    void ShowScreen();
    void UpdateSelector(float ft);
    void TakeSlot(int slot);
    // Runs the statement through the script server.
    void RunMessage(const std::string& statement);
    // The child `name` of the basket, logged once per name when missing.
    nRoot* Named(const char* name);
    void Missing(const char* name);
    nbwContainer* BasketInventory();
    nLogicInput* MenuInput();
    nLogicFlash* Selection();
    nLogicSprite* Selector();

    std::vector<nRef<nRoot>> slots_;
    nRef<nRoot> selection_;
    nRef<nRoot> selector_;
    nRef<nRoot> menuInput_;
    nRef<nRoot> user_;
    std::vector<std::string> logged_;
    std::string labels_;
    bool needsSetup_ = true;
    bool needsRefresh_ = false;
    bool open_ = false;
    bool dragging_ = false;
    int mouseX_ = 0, mouseY_ = 0, deltaX_ = 0, deltaY_ = 0;
    float scrollTimer_ = 0.0f;
    bool mouseMoved_ = false;
    int countdown_ = 0;
};
