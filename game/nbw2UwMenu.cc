#include "game/nbw2UwMenu.h"

#include <algorithm>

#include "game/nbwActor.h"
#include "game/nbwLevel.h"
#include "logic/nLogicSprite.h"

static const nCmdDef<nbw2UwMenu> cmds[] = {
    Bind<&nbw2UwMenu::OpenInventory>("v_openinventory_v", "U2OI"),
    Bind<&nbw2UwMenu::CloseInventory>("v_closeinventory_v", "U2CI"),
    Bind<&nbw2UwMenu::ToggleInventory>("v_toggleinventory_v", "U2TI"),
    Bind<&nbw2UwMenu::ShowMenu>("v_showmenu_b", "U2SM"),
    Bind<&nbw2UwMenu::MouseMove>("v_mousemove_v", "U2MM"),
    Bind<&nbw2UwMenu::MouseDown>("b_mousedown_v", "U2MD"),
    Bind<&nbw2UwMenu::MouseUp>("v_mouseup_v", "U2MU"),
    Bind<&nbw2UwMenu::RegisterLevel>("v_registerlevel_s", "U2RL"),
    Bind<&nbw2UwMenu::SetText>("v_settext_s", "U2ST"),
};
const nClassInfo nbw2UwMenu::classInfo = nClassInfo::Make<nbw2UwMenu>("nbw2uwmenu", "nlogicnode", cmds);

namespace {

const char* const kNames[nbw2UwMenu::FigureCount] = {"maennel1", "maennel2", "maennel3", "maennel4"};

const nbwUwMenuBase::HelpArea kAreas[] = {
    {75, 105, 524, 563, 0, "settext(FB_ONBOARD_WECHSEL)"},
    {75, 105, 563, 569, 0, "settext(FB_SAUERSTOFF_TAUCHER)"},
    {75, 105, 570, 576, 0, "settext(FB_ZUSTAND_TAUCHER)"},
    {110, 140, 524, 563, 1, "settext(FB_ONBOARD_WECHSEL)"},
    {110, 140, 563, 569, 1, "settext(FB_SAUERSTOFF_TAUCHER)"},
    {110, 140, 570, 576, 1, "settext(FB_ZUSTAND_TAUCHER)"},
    {145, 175, 524, 563, 2, "settext(FB_ONBOARD_WECHSEL)"},
    {145, 175, 563, 569, 2, "settext(FB_SAUERSTOFF_TAUCHER)"},
    {145, 175, 570, 576, 2, "settext(FB_ZUSTAND_TAUCHER)"},
    {180, 210, 524, 563, 3, "settext(FB_ONBOARD_WECHSEL)"},
    {180, 210, 563, 569, 3, "settext(FB_SAUERSTOFF_TAUCHER)"},
    {180, 210, 570, 576, 3, "settext(FB_ZUSTAND_TAUCHER)"},
};

// One flag for every display of this class, apart from the first display's.
bool helpShown = false;

// Four figures for human divers, none for the others.
const nbwUwMenuBase::FigurePolicy kPolicy{.names = kNames,
                                          .humans = nbw2UwMenu::FigureCount,
                                          .others = 0,
                                          .humanLife = "gesundheit",
                                          .humanEnergy = "sauerstoff",
                                          .otherLife = nullptr,
                                          .otherEnergy = nullptr,
                                          .areas = kAreas,
                                          .helpShown = &helpShown,
                                          .registerLevelId = nId("U2RL"),
                                          .openNeedsHandDiver = false};

}  // namespace

nbw2UwMenu::nbw2UwMenu() : nbwUwMenuBase(kPolicy) {}

nbwActor* nbw2UwMenu::PickDiver(nbwLevel* level) {
    // The band of the figures: the first figure's top and bottom, both outside.
    nLogicSprite* first = Sprite(figures_[0], kNames[0]);
    if (!first) return nullptr;
    float x, y, w, h;
    first->GetPosition(x, y);
    first->GetDimension(w, h);
    const float mx = float(mouseX_), my = float(mouseY_);
    if (!(y < my && my < y + h)) return nullptr;
    // Figure i picks the diver at place i of the level's list, human or not; divers past
    // the fourth have no figure to be picked by.
    for (int i = 0, count = std::min(FigureCount, level->GetDiverCount()); i < count; i++) {
        nLogicSprite* f = Sprite(figures_[i], kNames[i]);
        if (!f) continue;
        f->GetPosition(x, y);
        f->GetDimension(w, h);
        if (x < mx && mx <= x + w) return level->GetDiver(i);
    }
    return nullptr;
}
