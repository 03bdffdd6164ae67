#include "tests/game/UwMenuFixture.h"

#include "tests/input/PostMouse.h"

const nClassInfo nHudDiver::classInfo = nClassInfo::Make<nHudDiver>("nhudtestdiver", "ntestswimmer");

namespace {
// A movie that keeps whatever variables it is given.
const char* kPlainMovie = "--tessel movie 1\nstage(64, 16)\n";
}  // namespace

void UwMenuFixture::Build(const char* cls, std::initializer_list<const char*> figures,
                          std::initializer_list<const char*> divers) {
    UseRealCameraServer();
    kernel->New("nlogicinputserver", "/sys/servers/logicinput");
    observer = static_cast<nBaseObserver*>(kernel->New("nbaseobserver", "/sys/servers/observer"));
    kernel->AddClass(nHudDiver::classInfo);
    ASSERT_TRUE(Run("shown = '' function settext(t) shown = t obj('.').settext(t) end "
                    "FB_SAUERSTOFF_TAUCHER = 'Luft' FB_ZUSTAND_TAUCHER = 'Zustand' FB_lamp = 'Lampe' "
                    "FB_ONBOARD_WECHSEL = 'Wechsel'"));

    // A diver has its keys; the robot, a device, has none and is nothing to steer.
    kernel->New("nhudtestdiver", "/usr/prototypes/diver");
    static_cast<nLogicInput*>(kernel->New("nlogicinput", "/usr/prototypes/diver/input"))->SetGroup("diver");
    kernel->New("nhudtestdiver", "/usr/prototypes/robot");
    kernel->New("npersistlogic", "/usr/persist/lvl");
    for (const char* d : divers) {
        auto* s = static_cast<nPersistLogic*>(kernel->New("npersistlogic", (std::string("/usr/persist/lvl/") + d).c_str()));
        s->SetS("prototype", d[0] == 'r' ? "robot" : "diver");
    }
    level = static_cast<nbwLevel*>(kernel->New("nbwlevel", "/usr/logic/level"));
    level->SetMapFile(Write("map.lua", "new('nbwstartpoint', 'start1')\n").c_str());
    level->SetPersist("/usr/persist/lvl");
    level->LoadLevel();
    level->UpdateLevel();
    ann = Diver("ann");
    bob = Diver("bob");
    rob = Diver("rob");
    ASSERT_TRUE(ann && bob && rob);
    for (nHudDiver* d : {ann, bob}) d->SetFlag(nHudDiver::Human, true);

    // The hand and the inventory of ann.
    kernel->New("nbwcontainer", "/usr/logic/level/ann/inventory");
    hand = Thing("hand", "hand");
    Thing("knife", "knife");
    Thing("lamp", "lamp");
    ann->SetPath(nHudDiver::InventoryPath, "inventory");
    ann->SetPath(nHudDiver::HandPath, "inventory/hand");
    level->ActivateDiver(ann);
    GameFrame(0.01f);
    ASSERT_EQ(level->GetActiveDiver(), ann);

    movie = Write("plain.lua", kPlainMovie);
    menu = static_cast<nbwUwMenuBase*>(kernel->New(cls, "/usr/logic/uwmenu"));
    ASSERT_NE(menu, nullptr);
    kernel->New("nlogicnode", "/usr/logic/uwmenu/static");
    kernel->New("nlogicsprite", "/usr/logic/uwmenu/static/frame");
    kernel->New("nlogicnode", "/usr/logic/uwmenu/selection_sprites");
    back = static_cast<nLogicSprite*>(kernel->New("nlogicsprite", "/usr/logic/uwmenu/selection_sprites/back"));
    back->SetPosition(390.0f, 520.0f);
    for (const char* f : {"statusbar", "inventory", "energy", "hitpoints"}) Flash(f)->SetTexture(movie.c_str());
    for (const char* f : figures) Flash(f)->SetTexture(movie.c_str());
    selection = Flash("selection");
    selection->SetTexture("home:flash/inventorybar.movie");
    selection->SetPosition(400.0f, 522.0f);
    selection->SetDimension(250.0f, 64.0f);
    selector = static_cast<nLogicSprite*>(kernel->New("nlogicsprite", "/usr/logic/uwmenu/selector"));
    selector->SetDimension(40.0f, 66.0f);
    selector->SetPosition(408.0f, 521.0f);
    kernel->New("nlogicnode", "/usr/logic/uwmenu/button");
    input = static_cast<nLogicInput*>(kernel->New("nlogicinput", "/usr/logic/uwmenu/input"));
    input->SetGroup("hud");
    input->SetFocus(true);
    inputServer = static_cast<nInputServer*>(Lookup("/sys/servers/input"));
    menu->RegisterLevel("/usr/logic/level");
}

nHudDiver* UwMenuFixture::Diver(const char* name) {
    nRoot* o = Lookup((std::string("/usr/logic/level/") + name).c_str());
    return o && o->IsA("nhudtestdiver") ? static_cast<nHudDiver*>(o) : nullptr;
}
nbwItem* UwMenuFixture::Thing(const char* name, const char* type) {
    auto* i = static_cast<nbwItem*>(kernel->New("nbwitem", (std::string("/usr/logic/level/ann/inventory/") + name).c_str()));
    i->SetString(nbwItem::Type, type);
    return i;
}
nLogicFlash* UwMenuFixture::Flash(const char* name) {
    const std::string path = std::string("/usr/logic/uwmenu/") + name;
    nRoot* o = Lookup(path.c_str());
    return static_cast<nLogicFlash*>(o ? o : kernel->New("nlogicflash", path.c_str()));
}
std::string UwMenuFixture::Value(const char* node, const char* var) {
    const char* v = Flash(node)->GetValue(var);
    return v ? v : "<null>";
}
float UwMenuFixture::X(nLogicSprite* s) {
    float x, y;
    s->GetPosition(x, y);
    return x;
}
void UwMenuFixture::MouseTo(int x, int y) {
    PostMouse(inputServer, N_INPUT_MOUSE_MOVE, x, y);
}
void UwMenuFixture::Frame(float dt) {
    inputTime += dt + 0.001;
    inputServer->Trigger(inputTime);
    GameFrame(dt);
    inputServer->FlushEvents();
}
bool UwMenuFixture::Active(const char* name) { return static_cast<nLogicNode*>(Lookup((std::string("/usr/logic/uwmenu/") + name).c_str()))->GetActive(); }


