#include "game/nbwGameObserver.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "audio/nAudioServer2.h"
#include "game/nbwCamera.h"
#include "game/nbwLevel.h"
#include "game/nbwSaveDeclaration.h"
#include "game/nbwUwMenu.h"
#include "gfx/nGfxServer.h"
#include "input/nInputServer.h"
#include "input/nInputState.h"
#include "kernel/nFile.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"
#include "kernel/nObjectCount.h"
#include "kernel/nScriptServer.h"
#include "kernel/nTimeServer.h"
#include "logic/nChatServer.h"
#include "logic/nLogicButton.h"
#include "logic/nLogicEventHandler.h"
#include "logic/nLogicFlash.h"
#include "logic/nLogicInputServer.h"
#include "logic/nPersist.h"
#include "platform/system/Disk.h"
#include "scene/nVariableServer.h"
#include "script/nLuaServer2.h"

nbwGameObserver::~nbwGameObserver() { DropHeld(); }

namespace {

// `root`'s children go and `from`'s take their place, in their order.
void ReplaceChildren(nRoot* root, nRoot* from) {
    while (nRoot* child = root->GetHead()) {
        child->Remove();
        child->Release();
    }
    while (nRoot* child = from->GetHead()) {
        child->Remove();
        root->AddTail(child);
    }
}

}  // namespace

// ---- game state

nPersist* nbwGameObserver::GameStatus(bool make) const {
    nRoot* root = refPersist_.Resolve();
    if (!root) return nullptr;
    nRoot* status = root->Find("gamestatus");
    if (status && !status->IsA("npersist")) {
        n_error("nbwObserver: '/usr/persist/gamestatus' is no npersist\n");
        return nullptr;
    }
    if (!status && make) {
        // Scripts make the store with the persist root; one deleted later is remade.
        if (!statusMadeLogged_) n_error("nbwObserver: making missing '/usr/persist/gamestatus'\n");
        statusMadeLogged_ = true;
        nKernelServer::ks->PushCwd(root);
        status = nKernelServer::ks->New("npersist", "gamestatus");
        nKernelServer::ks->PopCwd();
    }
    return static_cast<nPersist*>(status);
}

bool nbwGameObserver::GetGameState(uint32_t mask) const {
    if (!refPersist_.Resolve()) return false;
    // Re-read each time: scripts may set "gamestate" directly.
    if (nPersist* status = GameStatus(false)) {
        const nVariable* v = status->GetVar("gamestate");
        if (v && v->GetType() == nVariable::Int) const_cast<nbwGameObserver*>(this)->gameState_ = uint32_t(v->GetI());
    }
    return (gameState_ & mask) != 0;
}

void nbwGameObserver::SetGameState(uint32_t mask, bool on) {
    if (refPersist_.Resolve()) {
        nBaseObserver::SetGameState(mask, on);
        if (nPersist* status = GameStatus(true)) {
            const nVariable* v = status->GetVar("gamestate");
            if (!v || v->GetType() == nVariable::Int) {
                status->SetI("gamestate", int32_t(gameState_));
            } else {
                n_error("nbwObserver: 'gamestate' is no int, left alone\n");
            }
        }
    }
    nChatServer* chat = refChat_.Resolve();
    if (mask == Running && on) {
        if (chat) chat->Open();
        if (nbwUwMenu* hud = Hud()) hud->SetActive(true);
    } else if (mask == Running && !on && (gameState_ & NoInput)) {
        if (chat && chat->IsOpen()) chat->Close();
        if (nbwUwMenu* hud = Hud()) {
            hud->CloseInventory();
            hud->SetActive(false);
            hud->HideAll();
        }
    } else if (mask == MainMenu) {
        if (on) {
            StopClock();
        } else {
            StartClock();
        }
    }
    if (twin_) {
        if (mask == Running && on) {
            SetSleep(TwinRunSleep);
        } else if (mask == Video) {
            if (on) SetSleep(0.0f);
        } else {
            SetSleep(IdleSleep);
        }
    } else if ((gameState_ & Running) && !(gameState_ & (NoRunSleep | MainMenu))) {
        SetSleep(RunSleep);
    } else if (mask == Video && on) {
        SetSleep(0.0f);
    } else {
        SetSleep(IdleSleep);
    }
}

void nbwGameObserver::SetGameStateCmd(int mask, bool on) {
    if (nScriptServer::DataRunning()) {
        char what[64];
        std::snprintf(what, sizeof(what), "the game state 0x%x set %s", unsigned(mask), on ? "on" : "off");
        if (!nScriptServer::PersonOnly(what)) return;
    }
    SetGameState(uint32_t(mask), on);
}

nbwUwMenu* nbwGameObserver::Hud() {
    // Scripts make the HUD; without it (or with something else there) its steps are skipped.
    nRoot* obj = refHud_.Resolve();
    if (obj && obj->IsA(nbwUwMenu::classInfo.name)) return static_cast<nbwUwMenu*>(obj);
    n_error("nbwObserver: no heads-up display 'nbwuwmenu' at '/usr/logic/uwmenu': its steps are skipped\n");
    return nullptr;
}

std::string nbwGameObserver::GetHudPath() {
    nRoot* obj = refHud_.Resolve();
    return obj && obj->IsA(nbwUwMenu::classInfo.name) ? obj->GetFullName() : std::string("none");
}

void nbwGameObserver::StopClock() {
    nTimeServer* ts = nKernelServer::ks->GetTimeServer();
    if (!ts->IsStopped()) ts->StopTime();
}

void nbwGameObserver::StartClock() {
    nTimeServer* ts = nKernelServer::ks->GetTimeServer();
    if (ts->IsStopped()) ts->StartTime();
}

// ---- the person's keys

void nbwGameObserver::BindKey(const char* input, const char* line) {
    if (!input || !*input) {
        n_error("nbwObserver: bindkey: a key needs an input name\n");
        return;
    }
    for (size_t i = 0; i < keys_.size(); i++) {
        if (keys_[i].input != input) continue;
        if (line && *line) {
            keys_[i].line = line;
        } else {
            keys_.erase(keys_.begin() + long(i));
        }
        return;
    }
    if (!line || !*line) return;
    if (keys_.size() >= size_t(MaxKeys)) {
        n_error("nbwObserver: bindkey: more than %d keys; '%s' not bound\n", MaxKeys, input);
        return;
    }
    keys_.push_back({input, line});
}

std::string nbwGameObserver::GetKey(const char* input) const {
    for (const Key& k : keys_) {
        if (input && k.input == input) return k.line;
    }
    return {};
}

void nbwGameObserver::RunKeys() {
    nInputServer* input = refInput_.Resolve();
    nScriptServer* script = refScript_.Resolve();
    if (!input || !script || keys_.empty()) return;
    // A line may bind or unbind keys: the walk goes by index over what is there.
    for (size_t i = 0; i < keys_.size(); i++) {
        nInputState* state = input->FindState(keys_[i].input.c_str());
        if (!state || !(state->value > 0.0f)) continue;
        const std::string line = keys_[i].line;
        const char* result = nullptr;
        if (!script->RunStored(line.c_str(), nScriptServer::Origin::Person, result))
            n_error("nbwObserver: the key line '%s' failed: %s\n", line.c_str(), result ? result : "");
    }
}

// ---- frame

void nbwGameObserver::Focus(nLogicInputServer* lis, const char* group, bool on) {
    if (!lis->FindGroup(group)) {
        // Log each missing group once until it exists again, not every frame.
        std::string key = std::string(",") + group + ",";
        if (missingGroups_.find(key) == std::string::npos) {
            n_error("nbwObserver: no input focus group '%s'\n", group);
            missingGroups_ += key;
        }
        return;
    }
    if (!missingGroups_.empty()) {
        std::string key = std::string(",") + group + ",";
        if (size_t at = missingGroups_.find(key); at != std::string::npos) missingGroups_.erase(at, key.size() - 1);
    }
    lis->SetGroupFocus(group, on);
}

void nbwGameObserver::SetGroups(nLogicInputServer* lis, const int8_t (&want)[NumGroups]) {
    static const char* const names[NumGroups] = {"flash", "video", "diver", "mainmenu", "inventory"};
    for (int i = 0; i < NumGroups; i++) {
        if (want[i] >= 0) Focus(lis, names[i], want[i] != 0);
    }
}

void nbwGameObserver::ApplyFocus(nLogicInputServer* lis) {
    // Per group (flash, video, diver, mainmenu, inventory): 1 on, 0 off, -1 untouched.
    // "mainmenu" is only ever switched on here; the scripts switch it off.
    const uint32_t s = gameState_;
    if (twin_ && debugMode_) {
        SetGroups(lis, {-1, -1, 1, -1, -1});
    } else if (s & MainMenu) {
        SetGroups(lis, {0, 0, 0, 1, 0});
    } else if (s & Video) {
        SetGroups(lis, {0, 1, 0, -1, 0});
    } else if (s & Inventory) {
        SetGroups(lis, {0, 0, 0, -1, 1});
    } else if ((s & Running) && !(s & FlashKeepsDiver)) {
        int8_t diver = 1;
        if (twin_) {
            // The twin hands the diver the keys only once the level has faded in.
            nbwLevel* level = level_.GetUnsafe();
            diver = (level && level->GetTransparency() >= 1.0f) ? 1 : 0;
        }
        SetGroups(lis, {0, 0, diver, -1, 0});
    } else if (s & FlashMenus) {
        SetGroups(lis, {1, 0, 0, -1, 0});
    } else if (s & NoInput) {
        SetGroups(lis, {0, 0, 0, -1, 0});
    }
}

void nbwGameObserver::Trigger() {
    nGfxServer* gfx = refGfx_.Get();
    if (gfx->GetNumCursors() > 0) {
        bool flash = nLogicFlash::GetCursorMode();
        bool button = nLogicButton::GetPointerOverButton();
        gfx->SetCurrentCursor((rotateCursor_ || flash || button) ? 1 : 0);
        if (flash) nLogicFlash::ResetCursorMode();
        if (button) nLogicButton::ClearPointerOverButton();
    }
    // Also refreshes the word from "gamestate"; without the persist root no bit counts.
    const bool cursorState = GetGameState(CursorShown);
    if (!level_.GetUnsafe() && (gameState_ & LevelRunning) && !held_.GetUnsafe()) {
        // The running level's node went away under the game (the tools delete it): the game
        // has no level, so that the menu and the saves say so.
        if (!levelGoneLogged_) n_error("nbwObserver: the running level's node is gone; no level runs\n");
        levelGoneLogged_ = true;
        NoLevelRuns();
    }
    if ((twin_ && debugMode_) || cursorState) {
        gfx->ShowCursor();
    } else {
        gfx->HideCursor();
    }
    RunKeys();
    ApplyFocus(refLogicInput_.Get());
    const uint32_t s = gameState_;
    bool audio = twin_ ? ((s & Running) && !(s & MainMenu))
                       : (((s & Running) && !(s & (NoRunSleep | MainMenu))) || (s & Video));
    nAudioServer2* audioServer = refAudio_.Get();
    if (audio) {
        audioServer->OpenAudio();
    } else {
        audioServer->CloseAudio();
    }
    nBaseObserver::Trigger();
}

// While the game state says the main menu shows, it shows and takes the keys and the
// clicks, whatever a level's, a save's or a movie's text set on its node this frame: the
// person keeps the way back to the game and to "Beenden".
void nbwGameObserver::LogicRan() {
    if (!(gameState_ & MainMenu)) return;
    nLogicNode* menu = refMenuManager_.Resolve();
    if (!menu || !menu->IsA("nlogicflash")) return;
    auto* flash = static_cast<nLogicFlash*>(menu);
    if (!flash->GetActive()) flash->SetActive(true);
    flash->SetInputEvents(true);
    if (!flash->GetMessaging()) flash->SetMessaging(true);
}

// ---- levels

void nbwGameObserver::SetCurrLevel(const char* name) {
    if (nPersist* status = GameStatus(true)) {
        // The status holds the game's word and level; anything else there came from
        // elsewhere and would go into every later save.
        for (nPersistVar* pv = status->GetFirstVar(); pv;) {
            nPersistVar* next = pv->GetSucc();
            if (!nbwSaveDeclaration::IsStatusValue(pv->GetName())) status->RemoveVar(pv->GetName() ? pv->GetName() : "");
            pv = next;
        }
        const nVariable* v = status->GetVar("currlevel");
        if (!v || v->GetType() == nVariable::String) {
            status->SetS("currlevel", name);
        } else {
            n_error("nbwObserver: 'currlevel' is no text, left alone\n");
        }
    }
}

void nbwGameObserver::StartLevel(const char* name) {
    const bool started = StartNamed(name);
    if (!held_.GetUnsafe()) return;
    if (started) {
        DropHeld();
        return;
    }
    n_error("nbwObserver: StartLevel: the loaded level '%s' did not start; the game that ran goes on\n",
            name ? name : "");
    RestoreGame();
}

bool nbwGameObserver::StartNamed(const char* name) {
    nRoot* tree = refLevels_.Resolve();
    if (!tree) {
        n_error("nbwObserver: StartLevel without the level tree '/usr/logic'\n");
        return false;
    }
    nRoot* found = nullptr;
    if (!name || !*name) {
        found = nullptr;
    } else if (std::strcmp(name, ".") == 0) {
        found = tree;
    } else if (std::strcmp(name, "..") == 0) {
        found = tree->GetParent();
    } else {
        found = tree->Find(name);
    }
    if (!found || !found->IsA("nbwlevel")) {
        n_error("nbwObserver: StartLevel: no level '%s'\n", name ? name : "");
        return false;
    }
    auto* level = static_cast<nbwLevel*>(found);
    // What data planted on the game's own nodes goes with the level it came with.
    nLogicNode::DeleteDataTimers(tree);
    if (nbwLevel* old = level_.GetUnsafe()) old->SetActive(false);
    StopClock();
    level_.Set(level);
    levelGoneLogged_ = false;
    level->LoadLevel();
    level->UpdateLevel();
    const bool whole = level->GetLoadOk() && level->GetBuildOk();
    if (nbwCamera* cam = level->GetCamera()) cam->SetCurrent();
    level->SetTime(0.0f);
    level->FadeTo(1.0f, 4.0f);
    level->SetActive(true);
    nbwUwMenu* hud = Hud();
    if (hud) hud->RegisterLevel(level->GetFullName().c_str());
    StartClock();
    SetCurrLevel(level->GetName() ? level->GetName() : "");
    SetGameState(LevelRunning, true);
    level->Setup();
    // Looked up again: the level's set-up runs scripts that may replace the HUD.
    if ((hud = Hud())) {
        hud->show = true;
        hud->redraw = true;
        hud->SetActive(true);
    }
    nLogicEventHandler* h = level->GetHandler(nbwLevel::OnStartup);
    if (h && h->IsBound()) h->Fire();
    return whole && level_.GetUnsafe() == level;
}

const char* nbwGameObserver::GetLevel() {
    nbwLevel* level = level_.GetUnsafe();
    return (level && level->GetName()) ? level->GetName() : "none";
}

void nbwGameObserver::EndLevel() {
    nbwLevel* level = level_.GetUnsafe();
    if (!level) {
        n_error("nbwObserver: EndLevel without a level\n");
        return;
    }
    level->SetActive(false);
    level->UnloadLevel();
    level_.Set(nullptr);
    if (nRoot* tree = refLevels_.Resolve()) nLogicNode::DeleteDataTimers(tree);
    NoLevelRuns();
}

void nbwGameObserver::NoLevelRuns() {
    SetCurrLevel("none");
    SetGameState(LevelRunning, false);
    if (nbwUwMenu* hud = Hud()) {
        hud->show = false;
        hud->redraw = true;
        hud->SetActive(false);
    }
}

// ---- save games

nRoot* nbwGameObserver::SaveTarget(const char* op, const char* name, std::string& file) {
    file = SaveFile(name);
    if (file.empty()) {
        n_error("nbwObserver: %s: refused save name '%s'\n", op, name ? name : "");
        return nullptr;
    }
    nRoot* root = refPersist_.Resolve();
    if (!root) n_error("nbwObserver: %s without '/usr/persist'\n", op);
    return root;
}

void nbwGameObserver::SaveGame(const char* name) {
    std::string file;
    lastSaveOk_ = false;
    // The scripts tell the player in German; the engine's lines on the way go to the log.
    nLogHandler::OffScreen quiet(nKernelServer::ks->GetLogHandler());
    nRoot* root = SaveTarget("SaveGame", name, file);
    if (!root) return;
    // Written first beside the save under a name that no listing shows, and put in its place
    // only once it loads by the load's own rules: a save that would not load never replaces
    // a good one. SaveAs appends the ".n" itself.
    nFileServer2* fs = nKernelServer::ks->GetFileServer<nFileServer2>();
    // Without the folder (its assign deleted) nothing is written anywhere.
    if (fs->DiskPath(file.c_str()).empty()) {
        n_error("nbwObserver: could not save '%s': no folder by that name\n", file.c_str());
        return;
    }
    // A folder under the trial name would refuse every F5: the next hidden name serves.
    const std::string stem = "save:." + file.substr(5, file.size() - 7);
    std::string trial = stem;
    for (int n = 1; n <= 8 && sys::Disk::IsDirectory(fs->DiskPath((trial + ".n").c_str())); n++) {
        trial = stem + "." + std::to_string(n);
    }
    const std::string trialFile = trial + ".n";
    // The save names the level that runs, whatever a level's text has set in the status.
    if (level_.GetUnsafe()) SetCurrLevel(GetLevel());
    bool ok = root->SaveAs(trial.c_str());
    if (ok) {
        nRoot* loaded = ReadSave(trialFile, "SaveGame", nbwSaveDeclaration::Reading::Strict);
        ok = loaded != nullptr;
        if (loaded) loaded->Release();
    }
    const std::string from = fs->DiskPath(trialFile.c_str());
    const std::string to = fs->DiskPath(file.c_str());
    // On the disk before it takes the old one's name, and the name on the disk after: a
    // power loss leaves the old save or the new one, never an empty file.
    if (ok && (from.empty() || !SyncPath(from.c_str()))) {
        n_error("nbwObserver: the new save '%s' did not reach the disk\n", trialFile.c_str());
        ok = false;
    }
    if (ok && (to.empty() || !sys::Disk::Replace(from, to))) {
        n_error("nbwObserver: cannot put the new save in the place of '%s'\n", file.c_str());
        ok = false;
    }
    if (ok && !SyncPath(std::filesystem::path(to).parent_path().c_str())) {
        n_error("nbwObserver: the save folder of '%s' did not reach the disk\n", file.c_str());
        ok = false;
    }
    if (!ok && !from.empty()) std::remove(from.c_str());
    lastSaveOk_ = ok;
    if (!ok) n_error("nbwObserver: could not save '%s'; the save there stays as it was\n", file.c_str());
}

bool nbwGameObserver::SyncPath(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

uint64_t nbwGameObserver::DataMadeIn(nRoot* tree) {
    uint64_t n = 0;
    std::vector<nRoot*> walk;
    if (tree) walk.push_back(tree);
    while (!walk.empty()) {
        nRoot* o = walk.back();
        walk.pop_back();
        if (o->GetDataRun()) n++;
        for (nRoot* c = o->GetHead(); c; c = c->GetSucc()) walk.push_back(c);
    }
    return n;
}

nRoot* nbwGameObserver::ReadSave(const std::string& file, const char* op, nbwSaveDeclaration::Reading reading) {
    // A save is data: it may only build objects below the scratch object. What data made in
    // the stores and the level that a load replaces does not count against the bound on
    // data's leftovers: the person's load is not refused for what it replaces.
    nObjectCount::CreditScope replaced(DataMadeIn(refPersist_.Resolve()) + DataMadeIn(level_.GetUnsafe()));
    nRoot* scratch = nKernelServer::ks->NewUnnamed("nroot");
    // A save is values: read, never run, by one rule for a load and for the check of a
    // save just written, so that a save F5 keeps loads and F5 after any save that loaded
    // saves again. What a load keeps (its texts at their size) stays well below the file
    // that may hold it (its texts escaped to two bytes).
    static_assert(nPersist::MaxSaveBytes < nLuaServer2::MaxDataFileSize);
    nObjectFileReader reader(nPersist::SaveFormat());
    bool ran = reader.Read(file.c_str(), scratch);
    // A lift that finds no camp makes one: a save keeps its room.
    const bool room = !ran || scratch->FindChild("camp") || reader.GetObjects() < nPersist::MaxSaveObjects;
    nRoot* status = scratch->Find("gamestatus");
    const nVariable* word = (status && status->IsA("npersist")) ? static_cast<nPersist*>(status)->GetVar("gamestate") : nullptr;
    // The level a save names is the text of one of the game's levels, or "none" where none
    // ran: the person's load starts it by that name, and a load that ends the running game
    // must not leave it without a level, or on a node that is none.
    const nVariable* at = word ? static_cast<nPersist*>(status)->GetVar("currlevel") : nullptr;
    const nRoot* levels = refLevels_.Resolve();
    const char* levelName = at ? at->GetS() : nullptr;
    const nRoot* named = levelName && levels && std::strcmp(levelName, ".") != 0 && std::strcmp(levelName, "..") != 0
                             ? levels->FindChild(levelName)
                             : nullptr;
    const bool levelOk = (named && named->IsA("nbwlevel")) || (levelName && std::strcmp(levelName, "none") == 0);
    if (!ran || !room || !word || word->GetType() != nVariable::Int || !levelOk) {
        n_error("nbwObserver: %s: '%s' does not load%s\n", op, file.c_str(),
                !ran    ? ""
                : !room ? ": it holds as many objects as a save may, and no camp, which play may add"
                : levelOk ? ": no game status in it"
                          : ": its level is none of the game's");
        scratch->Release();
        return nullptr;
    }
    // What the stores hold is what the level declares; a save of no running level holds
    // at most a level's store beside the status and the camp.
    nRoot* declaring = named && named->IsA("nbwlevel") ? const_cast<nRoot*>(named) : nullptr;
    std::string why;
    for (nRoot* c = scratch->GetHead(); c && !declaring && why.empty(); c = c->GetSucc()) {
        const char* n = c->GetName() ? c->GetName() : "";
        if (std::strcmp(n, "gamestatus") == 0 || std::strcmp(n, "camp") == 0) continue;
        nRoot* l = levels ? const_cast<nRoot*>(levels)->FindChild(n) : nullptr;
        if (l && l->IsA("nbwlevel")) declaring = l;
        else why = std::string("'") + n + "' is no store of the game's";
    }
    if (declaring && why.empty()) static_cast<nbwLevel*>(declaring)->CheckSave(scratch, why, reading);
    if (!why.empty()) {
        n_error("nbwObserver: %s: '%s' does not load: %s\n", op, file.c_str(), why.c_str());
        scratch->Release();
        return nullptr;
    }
    return scratch;
}

void nbwGameObserver::LoadGame(const char* name) {
    std::string file;
    lastSaveOk_ = false;
    nRoot* root = nullptr;
    nRoot* scratch = nullptr;
    {
        // The scripts tell the player of a refused load in German; the lines go to the log.
        nLogHandler::OffScreen quiet(nKernelServer::ks->GetLogHandler());
        root = SaveTarget("LoadGame", name, file);
        // Run the file into a scratch object first, so a missing or broken save leaves the
        // running game as it was.
        if (root) scratch = ReadSave(file, "LoadGame", nbwSaveDeclaration::Reading::Kind);
    }
    if (!scratch) return;
    {
        // What the start of the loaded level needs is checked before the running one ends.
        std::string why;
        if (!StartNeeds(root, scratch, why)) {
            n_error("nbwObserver: LoadGame: '%s' cannot start: %s; the game goes on\n", file.c_str(), why.c_str());
            scratch->Release();
            return;
        }
    }
    if (nChatServer* chat = refChat_.Resolve()) {
        if (chat->IsOpen()) chat->Close();
        chat->Open();
    }
    // An earlier load's game that no start took is no longer the game that ran.
    DropHeld();
    heldLevel_ = level_.GetUnsafe() ? GetLevel() : "";
    if (nbwLevel* running = level_.GetUnsafe()) {
        heldMap_ = running->GetBuiltMap();
        heldMapOrigin_ = running->GetBuiltOrigin();
    }
    // The game that ran, as a save of it now would hold it (copying a store writes its
    // node's live state first), is kept until the loaded level has started.
    nRoot* held = nKernelServer::ks->NewUnnamed("nroot");
    nKernelServer::ks->PushCwd(held);
    for (nRoot* child = root->GetHead(); child; child = child->GetSucc()) {
        if (nRoot* copy = child->Clone(child->GetName())) KeepDataMarks(child, copy);
    }
    nKernelServer::ks->PopCwd();
    held_.Set(held);
    // The running level stores into the old stores, not the loaded ones.
    if (level_.GetUnsafe()) EndLevel();
    ReplaceChildren(root, scratch);
    scratch->Release();
    lastSaveOk_ = true;
    // A save of no running level has nothing to start: the load is whole.
    if (nPersist* status = GameStatus(false)) {
        const nVariable* at = status->GetVar("currlevel");
        if (at && at->GetType() == nVariable::String && at->GetS() && std::strcmp(at->GetS(), "none") == 0) DropHeld();
    }
    GetGameState(0);
    for (uint32_t bit : {uint32_t(Inventory), uint32_t(MainMenu), 0x800u, uint32_t(Video)}) SetGameState(bit, false);
    // No level runs until the loaded one starts (StartLevel says so): a save's word that
    // says one runs where it names none would read as a level gone under the game.
    SetGameState(LevelRunning, false);
    // A save's word keeps only what a running game's play sets: a bit that no flow of the
    // game sets (one that keeps the diver from its keys) is not the save's to set.
    GetGameState(0);
    if (const uint32_t stray = gameState_ & ~LoadKeeps) {
        n_printf("nbwObserver: LoadGame: '%s': game-state bits 0x%x are none that play sets; dropped\n", file.c_str(),
                 stray);
        SetGameState(stray, false);
    }
    nLogicNode* menu = refMenuManager_.Resolve();
    if (!menu || !menu->IsA("nlogicflash")) {
        n_error("nbwObserver: LoadGame: no menu manager '/usr/logic/menu/menu_manager'\n");
        return;
    }
    StopClock();
    menu->SetActive(false);
    static_cast<nLogicFlash*>(menu)->UnloadFlash();
    menu->SetActive(true);
    StartClock();
}

void nbwGameObserver::KeepDataMarks(nRoot* from, nRoot* copy) {
    std::vector<std::pair<nRoot*, nRoot*>> walk{{from, copy}};
    while (!walk.empty()) {
        auto [a, b] = walk.back();
        walk.pop_back();
        if (a->GetDataRun()) b->ChargeToData(a->GetDataRun(), 0);
        for (nRoot* c = a->GetHead(); c; c = c->GetSucc()) {
            if (nRoot* d = b->FindChild(c->GetName() ? c->GetName() : "")) walk.emplace_back(c, d);
        }
    }
}

void nbwGameObserver::DropHeld() {
    if (nRoot* held = held_.GetUnsafe()) held->Release();
    held_.Set(nullptr);
    heldLevel_.clear();
    heldMap_.clear();
}

bool nbwGameObserver::RestoreGame() {
    nRoot* held = held_.GetUnsafe();
    if (!held) return false;
    held_.Set(nullptr);
    const std::string level = heldLevel_;
    const std::string builtBy = heldMap_;
    heldLevel_.clear();
    heldMap_.clear();
    lastSaveOk_ = false;
    nRoot* root = refPersist_.Resolve();
    if (!root) {
        n_error("nbwObserver: RestoreGame without '/usr/persist'; the game that ran is lost\n");
        held->Release();
        return false;
    }
    if (level_.GetUnsafe()) EndLevel();
    ReplaceChildren(root, held);
    held->Release();
    // The word of the game that ran, with the clock as it says.
    GetGameState(0);
    if (gameState_ & MainMenu) {
        StopClock();
    } else {
        StartClock();
    }
    if (level.empty()) return true;
    n_printf("nbwObserver: the game that ran before the load goes on in '%s'\n", level.c_str());
    // Built again by the map that built it: a map file the tools set since (one that fails
    // or makes another world) would leave the player a level that is not the one that ran.
    nRoot* tree = refLevels_.Resolve();
    nRoot* found = tree ? tree->FindChild(level.c_str()) : nullptr;
    nRef<nbwLevel> node;
    if (found && found->IsA("nbwlevel")) node.Set(static_cast<nbwLevel*>(found));
    const char* setMap = node.IsValid() ? node->GetMapFile() : nullptr;
    const std::string set = setMap ? setMap : "";
    const nScriptServer::Origin setOrigin = node.IsValid() ? node->GetMapOrigin() : nScriptServer::Origin::Person;
    const bool other = node.IsValid() && !builtBy.empty() && builtBy != set;
    if (other) {
        nScriptServer::OriginScope origin(heldMapOrigin_);
        node->SetMapFile(builtBy.c_str());
    }
    const bool started = StartNamed(level.c_str()) && level_.GetUnsafe();
    // The tools' map file stays the level's for later starts.
    if (other && node.IsValid()) {
        nScriptServer::OriginScope origin(setOrigin);
        node->SetMapFile(set.c_str());
    }
    return started;
}

bool nbwGameObserver::StartNeeds(nRoot* root, nRoot* scratch, std::string& why) {
    nKernelServer* ks = nKernelServer::ks;
    // The scripts and the level reach these by their paths, the observer by what it found
    // there: one renamed or moved leaves the start half done. (One that was never made is
    // the observer's to skip, as ever.)
    const std::pair<const char*, nRoot*> needs[] = {
        {"/usr/persist", root},
        {"/usr/logic", refLevels_.Resolve()},
        {"/usr/logic/uwmenu", refHud_.Resolve()},
        {"/usr/logic/menu/menu_manager", refMenuManager_.Resolve()},
    };
    for (const auto& [path, held] : needs) {
        if (ks->Lookup(path) != held) {
            why = std::string("'") + path + "' is not where the game's one is";
            return false;
        }
    }
    nPersist* status = static_cast<nPersist*>(scratch->Find("gamestatus"));
    const nVariable* at = status ? status->GetVar("currlevel") : nullptr;
    const char* name = at && at->GetType() == nVariable::String && at->GetS() ? at->GetS() : "";
    if (std::strcmp(name, "none") == 0) return true;
    nRoot* levels = refLevels_.Resolve();
    nRoot* found = levels ? levels->FindChild(name) : nullptr;
    if (!found || !found->IsA("nbwlevel")) {
        why = std::string("no level '") + name + "'";
        return false;
    }
    auto* level = static_cast<nbwLevel*>(found);
    nRoot* store = scratch->FindChild(name);
    if (!store || !store->IsA("npersistlogic")) {
        why = std::string("no store of the level '") + name + "' in it";
        return false;
    }
    const char* map = level->GetMapFile();
    nFile* f = ks->GetFileServer<nFileServer2>()->NewFileObject();
    const bool mapThere = !map || !*map || f->Exists(map);
    delete f;
    if (!mapThere) {
        why = std::string("the map file '") + (map ? map : "") + "' of '" + name + "' is missing";
        return false;
    }
    // A level that runs shows what its start would lack.
    if (level->IsLoaded() && !level->ReachesByPath(why)) return false;
    return level->CanBuild(store, why);
}
