#include "logic/nBaseObserver.h"
#include "logic/nToolPass.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <string>

#include "anim/nParticleServer.h"
#include "audio/nAudioServer2.h"
#include "gfx/nGfxServer.h"
#include "input/nInputServer.h"
#include "input/nInputState.h"
#include "kernel/nDirectory.h"
#include "kernel/nFile.h"
#include "kernel/nFileServer2.h"
#include "kernel/nFrameGuard.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"
#include "kernel/nProfiler.h"
#include "kernel/nScriptServer.h"
#include "kernel/nTimeServer.h"
#include "logic/nChatServer.h"
#include "logic/nLogic2DServer.h"
#include "logic/nLogicEventServer.h"
#include "logic/nLogicGraph.h"
#include "logic/nLogicNode.h"
#include "logic/nObserver.h"
#include "platform/system/Clock.h"
#include "platform/system/Disk.h"
#include "scene/nChannelServer.h"

static const nCmdDef<nBaseObserver> cmds[] = {
    Bind<&nBaseObserver::GetType>("s_gettype_v", "OGTY"),
    Bind<&nBaseObserver::SetSleep>("v_setsleep_f", "SSLP"),
    Bind<&nBaseObserver::GetSleep>("f_getsleep_v", "GSLP"),
    Bind<&nBaseObserver::SetGrid>("v_setgrid_b", "SGRD"),
    Bind<&nBaseObserver::GetGrid>("b_getgrid_v", "GGRD"),
    Bind<&nBaseObserver::SetLogicRoot>("v_setlogicroot_s", "SLOR"),
    // A script asking for a root that is not there gets nothing rather than a stop.
    {"o_getlogicroot_v", "GLOR",
     [](nBaseObserver* self, nCmd* c) {
         nRoot* root = nKernelServer::ks->Lookup(self->GetLogicRootPath());
         c->Out()->SetO(root);
     }},
    {"b_opendisplay_b", "BOOD",
     [](nBaseObserver* self, nCmd* c) { c->Out()->SetB(self->OpenDisplay(c->In()->GetB(), nullptr)); }},
    Bind<&nBaseObserver::GetSaveGames>("s_getsavegames_v", "BOGS"),
    Bind<&nBaseObserver::HasSaveGame>("b_hassavegame_s", "BOHS"),
    {"v_incloading_v", "BILO", [](nBaseObserver* self, nCmd*) { self->IncLoading(self->NextLoadingCounter()); }},
};
// Open to data's text: the names of the save games (the menu's line asks for the quick save).
static const char* const dataSafe[] = {"getsavegames"};
const nClassInfo nBaseObserver::classInfo = nClassInfo::Make<nBaseObserver>("nbaseobserver", "nroot", cmds, dataSafe);

nBaseObserver::nBaseObserver() = default;

nBaseObserver::~nBaseObserver() {
    for (int i = 0; i < loadingScreens_.Size(); i++) delete loadingScreens_[i];
    loadingScreens_.Clear();
    ReleaseLineRecords();
}

// ---- state

void nBaseObserver::SetGameState(uint32_t mask, bool on) {
    if (on) {
        gameState_ |= mask;
    } else {
        gameState_ &= ~mask;
    }
}

void nBaseObserver::SetLogicRoot(const char* path) {
    // A root that is no logic node would take the logic off every frame for good.
    nRoot* obj = path && *path ? nKernelServer::ks->Lookup(path) : nullptr;
    if (!obj || !obj->IsA("nlogicnode")) {
        nKernelServer::ks->Error("nBaseObserver: logic root '%s' is no logic node; the root stays '%s'\n",
                                 path ? path : "", GetLogicRootPath());
        return;
    }
    refLogicRoot_.SetPath(path);
    rootMissingLogged_ = false;
}

const char* nBaseObserver::GetLogicRootPath() const {
    const char* p = refLogicRoot_.GetPath();
    return p ? p : "";
}

nLogicNode* nBaseObserver::GetLogicRoot() { return refLogicRoot_.Get(); }

nLogicNode* nBaseObserver::FindLogicRoot() {
    nLogicNode* root = nullptr;
    if (refLogicRoot_.IsResolved()) {
        root = refLogicRoot_.Resolve();
    } else if (nRoot* obj = refLogicRoot_.GetPath() ? nKernelServer::ks->Lookup(refLogicRoot_.GetPath()) : nullptr) {
        // A path naming an object of another class is a script's mistake, not the engine's.
        if (obj->IsA("nlogicnode")) root = refLogicRoot_.Resolve();
    }
    if (root) {
        rootMissingLogged_ = false;
    } else if (!rootMissingLogged_) {
        rootMissingLogged_ = true;
        nKernelServer::ks->Error("nBaseObserver: logic root '%s' is no logic node; the frame runs without the logic\n",
                                 GetLogicRootPath());
    }
    return root;
}

bool nBaseObserver::HasExtension(const char* text, const char* ext) {
    if (!text || !ext) return false;
    const char* dot = std::strrchr(text, '.');
    if (!dot || dot[1] == '\0') return false;
    return std::strcmp(dot + 1, ext) == 0;
}

// ---- loop

void nBaseObserver::TakeChannels() {
    nChannelServer* channel = refChannel_.Get();
    gametimeChannel_ = channel->GenChannel("gametime");
    frametimeChannel_ = channel->GenChannel("frametime");
}

bool nBaseObserver::Run() {
    nTimeServer* ts = nKernelServer::ks->GetTimeServer();
    ts->StartTime();
    ts->ResetTime();
    ts->EnableFrameTime();
    previousTime_ = gameTime_ = 0.0;
    TakeChannels();
    // Each frame's wall time, whole (its sleep included), reaches scripts one frame later
    // as "/sys/var/prof_frame": measuring a running game needs no tool inside it.
    nProfiler* frame = ts->NewProfiler("frame");
    // A script that deletes the observer ends the loop after that frame; the observer
    // is freed when Run returns.
    nFrameGuard running(this);
    // Error reports show in the chat overlay while the game runs: a message box waiting
    // for a click would stop it (and may not even show above a full-screen window).
    nLogHandler* log = nKernelServer::ks->GetLogHandler();
    const nLogHandler::PlayDisplay shownBefore = log->GetPlayDisplay();
    void* const contextBefore = log->GetPlayContext();
    log->SetPlayDisplay(&nBaseObserver::ShowInChat, this);
    bool more = true;
    while (more) {
        frame->Start();
        more = RunFrame();
        frame->Stop();
    }
    log->SetPlayDisplay(shownBefore, contextBefore);
    ts->ReleaseProfiler(frame);
    return true;
}

void nBaseObserver::ShowInChat(void* self, const char* text) {
    // A warm red, so that it reads as an error.
    nChatServer* chat = static_cast<nBaseObserver*>(self)->refChat_.Resolve();
    if (chat) chat->AddReport(text, 1.0f, 0.4f, 0.3f, 1.0f);
}

void nBaseObserver::ResetTime() {
    nTimeServer* ts = nKernelServer::ks->GetTimeServer();
    ts->StartTime();
    ts->ResetTime();
    previousTime_ = gameTime_ = 0.0;
    TakeChannels();
}

bool nBaseObserver::RunFrame() {
    nFrameGuard running(this);
    if (!refGfx_.Get()->Trigger()) return false;
    if (!refScript_.Get()->Trigger()) return false;
    // The game stands, its clock too, while the viewer draws.
    if (RunViewerFrame()) return keepRunning_ && !nFrameGuard::IsReleasePending(this);

    nTimeServer* ts = nKernelServer::ks->GetTimeServer();
    ts->Trigger();
    previousTime_ = gameTime_;
    double now = ts->GetFrameTime();
    gameTime_ = now;
    frameTime_ = float(now - previousTime_);
    if (!(frameTime_ > 0.0f)) frameTime_ = 0.0f;
    if (frameTime_ > 1.0f) {
        // After a stall the clock is moved back so that the frame counts one second;
        // the game time follows the clock, so it never runs backwards.
        double moved = now - (double(frameTime_) - 1.0);
        ts->SetTime(moved);
        gameTime_ = moved;
        frameTime_ = 1.0f;
    }

    refEvent_.Get()->Trigger();
    refInput_.Get()->Trigger(gameTime_);
    ToggleChatInput();
    if (auto* tools = dynamic_cast<nToolPass*>(refPlugin_.Resolve())) tools->RunTools(frameTime_);
    refGraph_.Get()->ReleaseQueued();
    Trigger();
    return keepRunning_ && !nFrameGuard::IsReleasePending(this);
}

void nBaseObserver::Trigger() {
    nLogicGraph* graph = refGraph_.Get();
    nLogicNode* root = FindLogicRoot();
    // The frame keeps using the graph and the root after the logic's scripts ran, which
    // may delete either.
    nFrameGuard graphRunning(graph);
    nFrameGuard rootRunning(root);
    if (root) root->Trigger(graph);
    LogicRan();
    refGfx2d_.Get()->Trigger();
    // Without a root the pass still runs: it empties the lists, whose records would
    // otherwise name last frame's nodes, which may be gone with the root.
    graph->TraversePass(root);
    if (frameTime_ > 0.0f) {
        graph->AnalyseCollisions();
        graph->Step(frameTime_);
    }
    nChatServer* chat = refChat_.Resolve();
    if (chat) chat->HandleInput();

    nGfxServer* gfx = refGfx_.Get();
    nInputServer* input = refInput_.Get();
    if (!gfx->BeginScene()) {
        // The device is lost: the events of this frame must not be replayed next frame.
        input->FlushEvents();
        return;
    }
    nAudioServer2* audio = refAudio_.Get();
    audio->BeginScene(gameTime_);
    if (nParticleServer* particle = refParticle_.Resolve()) particle->Trigger();

    nChannelServer* channel = refChannel_.Get();
    if (gametimeChannel_ < 0) TakeChannels();
    channel->SetChannel1f(gametimeChannel_, float(gameTime_));
    channel->SetChannel1f(frametimeChannel_, frameTime_);

    graph->VisualPass();
    if (grid_) {
        matrix44 view = gfx->GetMatrix(3);
        DrawGrid(gfx, view);
    }
    if (queueHead_) DrawLineGroups(gfx);
    chat = refChat_.Resolve();
    if (chat) chat->Render();
    audio->EndScene();
    gfx->EndScene();
    input->FlushEvents();
    SleepFrame();
}

void nBaseObserver::SleepFrame() {
    if (sleep_ > 0.0f && !skipSleep_) {
        // A script's sleep is held to the frame's longest: more would stop the game.
        const int ms = int(std::min(double(sleep_), nTimeServer::MaxFrameSleep) * 1000.0);
        nKernelServer::ks->GetTimeServer()->GetClock()->Sleep(ms);
    }
    skipSleep_ = false;
}

bool nBaseObserver::SetViewer(nObserver* viewer) {
    nObserver* running = viewer_.IsValid() ? viewer_.Get() : nullptr;
    if (running && running != viewer && running->IsRunning()) return false;
    viewer_ = viewer;
    return true;
}

bool nBaseObserver::RunViewerFrame() {
    nObserver* viewer = viewer_.IsValid() ? viewer_.Get() : nullptr;
    if (!viewer || !viewer->IsRunning() || !viewer->IsInGame()) {
        if (viewer) viewer_.Invalidate();
        return false;
    }
    {
        // A tool's or a key's line may stop or delete the viewer.
        nFrameGuard viewing(viewer);
        if (viewer->Advance()) {
            ViewerKeys();
            if (viewer->IsRunning() && !nFrameGuard::IsReleasePending(viewer)) viewer->Render();
        }
    }
    // A frame the viewer left early must not hand its events to the game's next one.
    refInput_.Get()->FlushEvents();
    SleepFrame();
    return true;
}

void nBaseObserver::ToggleChatInput() {
    nInputState* state = refInput_.Get()->FindState("chat");
    if (!state || !state->flag) return;
    if (nChatServer* chat = refChat_.Resolve()) chat->Toggle();
}

// ---- display, scripts, save games

bool nBaseObserver::OpenDisplay(bool fullScreen, nGfxServer* gfx) {
    static const char* const fullModes[] = {
        "type(full)-w(800)-h(600)-bpp(32)-zbuf(16)-sbuf(0)-bbuf(1)-rtype(hal)",
        "type(full)-w(800)-h(600)-bpp(16)-zbuf(16)-sbuf(0)-bbuf(1)-rtype(hal)",
        "type(full)-w(800)-h(600)-bpp(16)-zbuf(16)-sbuf(0)-bbuf(1)-rtype(sw)",
        "type(full)-w(800)-h(600)-bpp(16)-zbuf(16)-sbuf(0)-bbuf(1)-rtype(ref)",
        nullptr,
    };
    static const char* const windowModes[] = {
        "w(800)-h(600)-zbuf(16)-sbuf(0)-bbuf(1)-rtype(hal)",
        "w(800)-h(600)-zbuf(16)-sbuf(0)-bbuf(1)-rtype(sw)",
        "w(800)-h(600)-zbuf(16)-sbuf(0)-bbuf(1)-rtype(ref)",
        nullptr,
    };
    if (!gfx) gfx = refGfx_.Get();
    for (const char* const* mode = fullScreen ? fullModes : windowModes; *mode; mode++) {
        if (gfx->SetDisplayMode(*mode) && gfx->OpenDisplay()) return true;
    }
    return false;
}

bool nBaseObserver::RunScript(const char* fileName, nScriptServer::Origin origin) {
    const char* result = nullptr;
    return refScript_.Get()->RunMapFile(fileName, origin, result);
}

namespace {
struct SaveSlot {
    // Creation time, then modification time: files made within one tick of the file
    // system's clock share a creation time, and their modification times tell them apart.
    double time;
    double modified;
    char name[nBaseObserver::MaxSaveNameLength + 1];
    bool NewerThan(const SaveSlot& o) const { return time > o.time || (time == o.time && modified > o.modified); }
};

double Seconds(const statx_timestamp& t) { return double(t.tv_sec) + double(t.tv_nsec) * 1e-9; }

// Creation time where the file system keeps one, else the modification time. The
// listing's names are lower-cased; the disk's own spelling is looked up first.
void FileTimes(const char* path, SaveSlot& slot) {
    slot.time = slot.modified = 0.0;
    std::string real = sys::Disk::Resolve(path);
    struct statx sx;
    if (statx(AT_FDCWD, real.c_str(), 0, STATX_BTIME | STATX_MTIME, &sx) != 0) return;
    slot.modified = Seconds(sx.stx_mtime);
    slot.time = (sx.stx_mask & STATX_BTIME) ? Seconds(sx.stx_btime) : slot.modified;
}
}  // namespace

const char* nBaseObserver::GetSaveGames() {
    saveGames_.Set("");
    nFileServer2* fs = nKernelServer::ks->GetFileServer();
    std::unique_ptr<nDirectory> dir(fs->NewDirectoryObject());
    if (!dir || !dir->Open("save:")) return saveGames_.Get();

    auto slots = std::make_unique<SaveSlot[]>(MaxSaveGames);
    int filled = 0;
    if (!dir->IsEmpty() && dir->SetToFirstEntry()) {
        do {
            if (dir->GetEntryType() != nDirectory::FILE) continue;
            std::string full = dir->GetEntryName();
            std::string lower = full;
            for (char& ch : lower) ch = char(std::tolower(static_cast<unsigned char>(ch)));
            if (!HasExtension(lower.c_str(), "n")) continue;
            size_t slash = lower.find_last_of('/');
            std::string base = lower.substr(slash == std::string::npos ? 0 : slash + 1);
            // A save being written and checked, not yet in its place.
            if (base[0] == '.') continue;

            SaveSlot entry;
            FileTimes(full.c_str(), entry);
            base.erase(base.find_last_of('.'));
            nKernelServer::StrCopy(entry.name, base.c_str(), sizeof(entry.name));

            // Newest first; an equal time keeps the earlier entry in front. When the
            // table is full the oldest falls out.
            int pos = 0;
            while (pos < filled && !entry.NewerThan(slots[pos])) pos++;
            if (pos >= MaxSaveGames) continue;
            int last = std::min(filled, MaxSaveGames - 1);
            for (int i = last; i > pos; i--) slots[i] = slots[i - 1];
            slots[pos] = entry;
            if (filled < MaxSaveGames) filled++;
        } while (dir->SetToNextEntry());
    }

    std::string joined;
    for (int i = 0; i < filled; i++) {
        if (i) joined += ',';
        joined += slots[i].name;
    }
    saveGames_.Set(joined.c_str());
    return saveGames_.Get();
}

bool nBaseObserver::HasSaveGame(const char* name) {
    const std::string path = SaveFile(name);
    if (path.empty()) return false;
    // The file a load opens, opened as it does (a readable regular file by the name the
    // file server resolves): a folder, a broken link or a FIFO by that name is no save.
    std::unique_ptr<nFile> file(nKernelServer::ks->GetFileServer()->NewFileObject());
    const bool found = file && file->Open(path.c_str(), "r");
    if (found) file->Close();
    return found;
}

std::string nBaseObserver::SaveFile(const char* name) {
    if (!name) return {};
    if (std::strncmp(name, "save:", 5) == 0) name += 5;
    size_t n = std::strlen(name);
    if (n < 1 || n > size_t(MaxSaveNameLength)) return {};
    // A leading "." names the file a save is written to before it takes its place.
    if (name[0] == '.') return {};
    for (const char* p = name; *p; p++) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c == 0x7f || c == '/' || c == '\\' || c == ':') return {};
    }
    return std::string("save:") + name + ".n";
}

// ---- loading screens

void nBaseObserver::AddLoadingScreen(const char* path) {
    nRoot* obj = path ? nKernelServer::ks->Lookup(path) : nullptr;
    if (!obj || !obj->IsA("nlogicnode")) {
        nKernelServer::ks->Error("nBaseObserver: loading screen '%s' is no logic node\n", path ? path : "");
        return;
    }
    static_cast<nLogicNode*>(obj)->Setup();
    loadingScreens_.Append(new nPathRef<nLogicNode>(path));
    loadingIndex_ = 0;
}

static void Render2D(nRoot* obj) {
    if (obj && obj->IsA("nlogicnode")) {
        nLogicNode* node = static_cast<nLogicNode*>(obj);
        if (node->Is2D()) node->Render();
    }
}

void nBaseObserver::IncLoading(int /*counter*/) {
    nKernelServer* ks = nKernelServer::ks;
    ks->PushCwd(this);
    refChannel_.Get()->GenChannel("time");
    nGfxServer* gfx = refGfx_.Get();
    if (gfx->Trigger() && gfx->BeginScene()) {
        if (loadingScreens_.Size() > 0) {
            nLogicNode* screen = loadingScreens_[loadingIndex_]->Get();
            if (++loadingIndex_ >= loadingScreens_.Size()) loadingIndex_ = 0;
            Render2D(screen);
            for (nRoot* child = screen->GetHead(); child; child = child->GetSucc()) Render2D(child);
        }
        gfx->EndScene();
        refInput_.Get()->FlushEvents();
    }
    ks->PopCwd();
}

// ---- debug drawing

void nBaseObserver::DrawGrid(nGfxServer* gfx, const matrix44& view) {
    gfx->PushMatrix(1);
    gfx->SetMatrix(1, view);
    gfx->Begin(3);
    auto line = [gfx](float x0, float y0, float z0, float x1, float y1, float z1) {
        gfx->Coord(x0, y0, z0);
        gfx->Coord(x1, y1, z1);
    };
    gfx->Rgba(0.5f, 0.5f, 0.5f, 0.5f);
    for (float x = -25.0f; x <= 25.0f; x += 1.0f) {
        line(x, 0, -25, x, 0, 25);
        line(-25, 0, x, 25, 0, x);
    }
    gfx->Rgba(1, 1, 1, 0.3f);
    line(25, 0, 0, -25, 0, 0);
    line(0, 0, 25, 0, 0, -25);
    gfx->Rgba(1, 0, 0, 1);
    line(25, 2, 0.5f, 25, 0, -0.5f);
    line(25, 2, -0.5f, 25, 0, 0.5f);
    line(-25, 1, 0.5f, -25, 1, 1);
    line(-25, 2, 0.5f, -25, 0, -0.5f);
    line(-25, 2, -0.5f, -25, 0, 0.5f);
    gfx->Rgba(0, 0, 1, 1);
    line(0.5f, 2, 25, -0.5f, 2, 25);
    line(-0.5f, 2, 25, 0.5f, 0, 25);
    line(0.5f, 0, 25, -0.5f, 0, 25);
    line(-0.5f, 1, -25, -1, 1, -25);
    line(-0.5f, 2, -25, 0.5f, 2, -25);
    line(0.5f, 2, -25, -0.5f, 0, -25);
    line(0.5f, 0, -25, -0.5f, 0, -25);
    gfx->End();
    gfx->PopMatrix(1);
}

void nBaseObserver::AddLineGroup(const matrix44& transform, float r, float g, float b, float a) {
    LineGroup* group = freeGroups_;
    if (group) {
        freeGroups_ = group->next;
    } else {
        group = new LineGroup;
    }
    group->next = nullptr;
    group->first = group->last = nullptr;
    group->transform = transform;
    group->color[0] = r;
    group->color[1] = g;
    group->color[2] = b;
    group->color[3] = a;
    if (queueTail_) {
        queueTail_->next = group;
    } else {
        queueHead_ = group;
    }
    queueTail_ = group;
}

void nBaseObserver::AddLinePoint(const vector3& p) {
    if (!queueTail_) {
        nKernelServer::ks->Error("nBaseObserver: line point without a line group ignored\n");
        return;
    }
    LinePoint* point = freePoints_;
    if (point) {
        freePoints_ = point->next;
    } else {
        point = new LinePoint;
    }
    point->next = nullptr;
    point->x = p.x;
    point->y = p.y;
    point->z = p.z;
    if (queueTail_->last) {
        queueTail_->last->next = point;
    } else {
        queueTail_->first = point;
    }
    queueTail_->last = point;
}

void nBaseObserver::DrawLineGroups(nGfxServer* gfx) {
    gfx->PushMatrix(1);
    while (LineGroup* group = queueHead_) {
        gfx->SetMatrix(1, group->transform);
        gfx->Begin(3);
        gfx->Rgba(group->color[0], group->color[1], group->color[2], group->color[3]);
        while (LinePoint* point = group->first) {
            gfx->Coord(point->x, point->y, point->z);
            group->first = point->next;
            point->next = freePoints_;
            freePoints_ = point;
        }
        group->last = nullptr;
        queueHead_ = group->next;
        group->next = freeGroups_;
        freeGroups_ = group;
        gfx->End();
    }
    queueTail_ = nullptr;
    gfx->PopMatrix(1);
}

template <class T>
static int CountGroups(const T* head) {
    int n = 0;
    for (; head; head = head->next) n++;
    return n;
}

int nBaseObserver::GetNumQueuedLineGroups() const { return CountGroups(queueHead_); }
int nBaseObserver::GetNumPooledLineGroups() const { return CountGroups(freeGroups_); }
int nBaseObserver::GetNumPooledLinePoints() const { return CountGroups(freePoints_); }

void nBaseObserver::ReleaseLineRecords() {
    while (LineGroup* g = queueHead_) {
        while (LinePoint* p = g->first) {
            g->first = p->next;
            delete p;
        }
        queueHead_ = g->next;
        delete g;
    }
    queueTail_ = nullptr;
    while (LineGroup* g = freeGroups_) {
        freeGroups_ = g->next;
        delete g;
    }
    while (LinePoint* p = freePoints_) {
        freePoints_ = p->next;
        delete p;
    }
}
