#include "game/nbwUwMenu.h"

#include "game/nbwActor.h"
#include "game/nbwLevel.h"

static const nCmdDef<nbwUwMenu> cmds[] = {
    Bind<&nbwUwMenu::OpenInventory>("v_openinventory_v", "UMOI"),
    Bind<&nbwUwMenu::CloseInventory>("v_closeinventory_v", "UMCI"),
    Bind<&nbwUwMenu::ToggleInventory>("v_toggleinventory_v", "UMTI"),
    Bind<&nbwUwMenu::ShowMenu>("v_showmenu_b", "UMSM"),
    Bind<&nbwUwMenu::MouseMove>("v_mousemove_v", "UMMM"),
    Bind<&nbwUwMenu::MouseDown>("b_mousedown_v", "UMMD"),
    Bind<&nbwUwMenu::MouseUp>("v_mouseup_v", "UMMU"),
    Bind<&nbwUwMenu::RegisterLevel>("v_registerlevel_s", "UMRL"),
    Bind<&nbwUwMenu::SetText>("v_settext_s", "UMST"),
};
const nClassInfo nbwUwMenu::classInfo = nClassInfo::Make<nbwUwMenu>("nbwuwmenu", "nlogicnode", cmds);

namespace {

const char* const kNames[] = {"taucher1", "taucher2", "taucher3", "geraet1", "geraet2", "geraet3", "geraet4"};
static_assert(std::size(kNames) == nbwUwMenu::Humans + nbwUwMenu::Others);

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
    {190, 240, 559, 565, 3, "settext(FB_ENERGIE_SPEZIALGERAET)"},
    {190, 240, 566, 571, 3, "settext(FB_ZUSTAND_SPEZIALGERAET)"},
    {248, 298, 559, 565, 4, "settext(FB_ENERGIE_SPEZIALGERAET)"},
    {248, 298, 566, 571, 4, "settext(FB_ZUSTAND_SPEZIALGERAET)"},
    {306, 356, 559, 565, 5, "settext(FB_ENERGIE_SPEZIALGERAET)"},
    {306, 356, 566, 571, 5, "settext(FB_ZUSTAND_SPEZIALGERAET)"},
    {364, 414, 559, 565, 6, "settext(FB_ENERGIE_SPEZIALGERAET)"},
    {364, 414, 566, 571, 6, "settext(FB_ZUSTAND_SPEZIALGERAET)"},
};

// Click ranges of the figures: humans lo < x <= hi, others lo < x < hi.
struct ClickRange {
    int lo, hi;
};
const ClickRange kHumanClicks[nbwUwMenu::Humans] = {{75, 105}, {110, 140}, {145, 175}};
const ClickRange kOtherClicks[nbwUwMenu::Others] = {{190, 240}, {248, 298}, {306, 356}, {364, 414}};

// One flag for every display of this class.
bool helpShown = false;

// Three diver figures, then four vehicles; the bar opens only for a diver's hand.
const nbwUwMenuBase::FigurePolicy kPolicy{.names = kNames,
                                          .humans = nbwUwMenu::Humans,
                                          .others = nbwUwMenu::Others,
                                          .humanLife = "gesundheit",
                                          .humanEnergy = "sauerstoff",
                                          .otherLife = "zustand",
                                          .otherEnergy = "energie",
                                          .areas = kAreas,
                                          .helpShown = &helpShown,
                                          .registerLevelId = nId("UMRL"),
                                          .openNeedsHandDiver = true};

}  // namespace

nbwUwMenu::nbwUwMenu() : nbwUwMenuBase(kPolicy) {}

nbwActor* nbwUwMenu::PickDiver(nbwLevel* level) {
    if (!(524 < mouseY_ && mouseY_ < 576)) return nullptr;
    nbwActor* active = level->GetActiveDiver();
    if (active && Flag(active, "singleplayer")) return nullptr;
    nbwActor* humans[Humans] = {};
    nbwActor* others[Others] = {};
    int nh = 0, no = 0;
    for (int i = 0, count = level->GetDiverCount(); i < count; i++) {
        nbwActor* d = level->GetDiver(i);
        if (!d) continue;
        if (Flag(d, "human")) {
            if (nh < Humans) humans[nh++] = d;
        } else if (no < Others) {
            others[no++] = d;
        }
    }
    for (int i = 0; i < Humans; i++) {
        if (kHumanClicks[i].lo < mouseX_ && mouseX_ <= kHumanClicks[i].hi) return humans[i];
    }
    for (int i = 0; i < Others; i++) {
        if (kOtherClicks[i].lo < mouseX_ && mouseX_ < kOtherClicks[i].hi) return others[i];
    }
    return nullptr;
}
