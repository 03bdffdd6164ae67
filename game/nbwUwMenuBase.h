#pragma once
// What the two underwater heads-up displays ("nbwuwmenu" and "nbw2uwmenu") share: the held
// item's condition and energy, help texts in the status line, the figure per diver of
// the registered level, and the inventory bar that slides in from the right, where the
// player drags a selector over four slots to put an item into the active diver's hand.
// Its parts are children found by name. The figure policy of each display (its figure
// nodes, which divers get which figure, their help areas, the click that picks a diver,
// whether opening needs a diver) is what the subclasses give; both register under
// "nlogicnode", so neither is the other's kind and this base is no script class.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "kernel/nRef.h"
#include "logic/nLogicNode.h"

class nbwActor;
class nBaseObserver;
class nbwItem;
class nClass;
class nbwLevel;
class nLogicFlash;
class nLogicNode;
class nLogicSprite;

class nbwUwMenuBase : public nLogicNode {
public:
    // The bar slides in this far from the right of its home, over 1 / FadeSpeed seconds.
    static constexpr float SlideOffset = 300.0f;
    static constexpr float FadeSpeed = 4.0f;
    static constexpr uint32_t InventoryState = 0x1000;
    // The game states that take the keys before the bar: the main menu, a video.
    static constexpr uint32_t KeysTakenStates = 0x4 | 0x80;
    static constexpr int MaxFigures = 7;

    ~nbwUwMenuBase() override;

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

    // A help area: x and y bounds (exclusive), the figure that must be active (or -1) and
    // the statement run.
    struct HelpArea {
        int x0, x1, y0, y1;
        int figure;
        const char* text;
    };
    // A display's figure policy: its figure nodes, the first `humans` for human divers in
    // list order and the next `others` for the other divers, with the movie variables that
    // take a figure's lifepoints and energy (human and other figures); the figures' help
    // areas (checked before the fixed areas, first match); the class's one flag for all
    // its displays that a help text stands in the status line; the id of its
    // "v_registerlevel_s"; whether opening the bar needs an active diver that is no basket.
    struct FigurePolicy {
        std::span<const char* const> names;
        int humans;
        int others;
        const char* humanLife;
        const char* humanEnergy;
        const char* otherLife;
        const char* otherEnergy;
        std::span<const HelpArea> areas;
        bool* helpShown;
        uint32_t registerLevelId;
        bool openNeedsHandDiver;
    };

protected:
    explicit nbwUwMenuBase(const FigurePolicy& policy);

    // The diver a click at the last mouse position picks (the level is registered), or null.
    virtual nbwActor* PickDiver(nbwLevel* level) = 0;

    // The figure node `i` when it is an active Flash node or any logic node.
    nLogicNode* FigureNode(int i) const;
    nLogicSprite* Sprite(const nRef<nRoot>& ref, const char* name);
    static bool Flag(nbwActor* a, const char* name);

    int mouseX_ = 0, mouseY_ = 0;
    const FigurePolicy& policy_;
    nRef<nRoot> figures_[MaxFigures];
    nClass *flashClass_ = nullptr, *spriteClass_ = nullptr, *nodeClass_ = nullptr;

private:
    void BuildReferences();
    // The references built once, at the first use or frame.
    void EnsureReferences();
    void ApplyVisibility();
    void UpdateFade(float t);
    void UpdateSlots(float t);
    // The selection movie's "slot<n>_<what>", null when it does not report it.
    const char* SlotValue(nLogicFlash* selection, int slot, const char* what);
    void ShowHelp(const void* area, const char* text);
    void UpdateHandItem();
    void UpdateFigures();
    void FillInventoryLists();
    // The name indices the frame reads of a diver, kept for the last name tables seen
    // (divers of one class share them); -1 for a name the diver lacks.
    struct Indices {
        const char* const* flags = nullptr;
        const char* const* stats = nullptr;
        const char* const* paths = nullptr;
        int human = -1, follow = -1, lifepoints = -1, energie = -1, hand = -1, inventory = -1;
    };
    const Indices& IndicesOf(nbwActor* a);
    // The active diver when it is no basket, else null.
    nbwActor* HandDiver();
    // Whether the open bar lost the keys (a load cleared its game state, the main menu or
    // a video took them) or lists what is no longer the active diver's.
    bool KeysGone();
    void SlideTo(float openness);
    // Closes the bar: it slides out with its selector let go.
    void SlideOut();
    // Runs the statement with the display as the current object; false when it deleted it.
    bool Run(const char* statement);
    void SetGameState(bool on);
    nBaseObserver* Observer();
    nRoot* Child(const char* name);
    void Missing(const char* name);
    nLogicFlash* Flash(const nRef<nRoot>& ref, const char* name);
    nbwItem* AsItem(nRoot* obj) const;

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
    // The diver whose things the open bar lists.
    nRef<nRoot> openedFor_;
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
    // The help area whose text the pointer showed last; null off every area.
    const void* helpArea_ = nullptr;
    int mouseDx_ = 0, mouseDy_ = 0;
    nClass *inputClass_ = nullptr, *elevatorClass_ = nullptr, *itemClass_ = nullptr, *observerClass_ = nullptr;
    Indices indices_;
};
