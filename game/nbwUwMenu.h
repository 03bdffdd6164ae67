#pragma once
// The underwater heads-up display (script class "nbwuwmenu"): a figure per diver of the
// registered level, the held item's condition and energy, help texts in the status line,
// and the inventory bar that slides in from the right, where the player drags a
// selector over four slots to put an item into the active diver's hand. Its parts are
// children found by name; the figure policy decides which divers get which figure.
#include <cstdint>
#include <string>
#include <vector>

#include "kernel/nRef.h"
#include "logic/nLogicNode.h"

class nbwActor;
class nbwLevel;
class nLogicFlash;
class nLogicInput;
class nLogicSprite;

class nbwUwMenu : public nLogicNode {
public:
    static const nClassInfo classInfo;

    // The bar slides in this far from the right of its home, over 1 / FadeSpeed seconds.
    static constexpr float SlideOffset = 300.0f;
    static constexpr float FadeSpeed = 4.0f;
    static constexpr uint32_t InventoryState = 0x1000;
    static constexpr int Humans = 3;
    static constexpr int Others = 4;

    nbwUwMenu();
    ~nbwUwMenu() override;

    bool SaveCmds(nPersistServer* ps) override;
    bool Trigger(nLogicGraph* graph) override;

    void OpenInventory();
    void CloseInventory();
    void ToggleInventory();
    void ShowMenu(bool on);
    void MouseMove();
    bool MouseDown();
    void MouseUp();
    void RegisterLevel(const char* path);
    void SetText(const char* text);
    void HideAll();

    // What the game observer sets directly.
    bool show = true;
    bool redraw = true;

    nbwLevel* GetLevel() const;
    float GetOpenness() const { return openness_; }
    bool IsOpen() const { return open_; }
    bool IsDragging() const { return dragging_; }

private:
    void BuildReferences();
    void ApplyVisibility();
    void UpdateFade(float t);
    void UpdateSlots(float t);
    // The selection movie's "slot<n>_<what>", null when it does not report it.
    const char* SlotValue(nLogicFlash* selection, int slot, const char* what);
    void UpdateHandItem();
    void UpdateFigures();
    void UpdateFigure(int number, const std::string& name, int e, int l);
    void FillInventoryLists();
    // The active diver when it is no basket, else null.
    nbwActor* HandDiver();
    void SlideTo(float openness);
    // Runs the statement with the HUD as the current object; false when it deleted the HUD.
    bool Run(const char* statement);
    void SetGameState(bool on);
    nRoot* Child(const char* name);
    void Missing(const char* name);
    nLogicFlash* Flash(const nRef<nRoot>& ref, const char* name);
    nLogicSprite* Sprite(const nRef<nRoot>& ref, const char* name);

    struct Home {
        nRef<nRoot> ref;
        float x = 0.0f, y = 0.0f;
    };
    std::vector<nRef<nRoot>> statics_;
    std::vector<Home> selectionSprites_;
    nRef<nRoot> statusbar_, inventory_, energy_, hitpoints_;
    Home selection_, selector_;
    nRef<nRoot> button_, input_;
    nRef<nRoot> level_;
    nRef<nRoot> figures_[Humans + Others];
    std::vector<std::string> logged_;
    std::string text_;
    char key_[32] = {};
    bool rebuild_ = true;
    float openness_ = 0.0f;
    bool open_ = false;
    bool dragging_ = false;
    bool armed_ = false;
    float scrollTimer_ = 0.0f;
    bool mouseHandled_ = false;
    int mouseX_ = 0, mouseY_ = 0, mouseDx_ = 0, mouseDy_ = 0;
};
