#include "logic/nLogicFlash.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "gfx/nD3D8Server.h"
#include "gfx/nD3D8Texture.h"
#include "gfx/nGfxServer.h"
#include "input/nInputServer.h"
#include "kernel/nEnv.h"
#include "kernel/nFile.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"
#include "kernel/nNpkArchive.h"
#include "kernel/nNpkFile.h"
#include "kernel/nNpkFileServer.h"
#include "kernel/nNpkTocEntry.h"
#include "kernel/nObjectCount.h"
#include "kernel/nPersistServer.h"
#include "kernel/nScriptServer.h"
#include "platform/flash/FlashModule.h"
#include "platform/flash/MovieHost.h"
#include "platform/image/Picture.h"

static const nCmdDef<nLogicFlash> cmds[] = {
    {"v_setmovierect_iiii", "LFSR",
     [](nLogicFlash* self, nCmd* c) {
         int v[4];
         for (int& i : v) i = c->In()->GetI();
         self->SetMovieRect(v[0], v[1], v[2], v[3]);
     }},
    {"iiii_getmovierect_v", "LFGR",
     [](nLogicFlash* self, nCmd* c) {
         int v[4];
         self->GetMovieRect(v[0], v[1], v[2], v[3]);
         for (int i : v) c->Out()->SetI(i);
     }},
    Bind<&nLogicFlash::SetFps>("v_setfps_f", "LFSF"),
    Bind<&nLogicFlash::GetFps>("f_getfps_v", "LFGF"),
    Bind<&nLogicFlash::SetMessaging>("v_setmessaging_b", "LFSM"),
    Bind<&nLogicFlash::GetMessaging>("b_getmessaging_v", "LFGM"),
    Bind<&nLogicFlash::SetInputEvents>("v_setinputevents_b", "LFSI"),
    Bind<&nLogicFlash::GetInputEvents>("b_getinputevents_v", "LFGI"),
    {"v_setvalue_ss", "LFSV",
     [](nLogicFlash* self, nCmd* c) {
         const char* var = c->In()->GetS();
         self->SetValue(var, c->In()->GetS());
     }},
    {"v_concatvalue_ss", "LFCV",
     [](nLogicFlash* self, nCmd* c) {
         const char* var = c->In()->GetS();
         self->ConcatValue(var, c->In()->GetS());
     }},
    {"s_getvalue_s", "LFGV", [](nLogicFlash* self, nCmd* c) { c->Out()->SetS(self->GetValue(c->In()->GetS())); }},
    Bind<&nLogicFlash::RequestUpdates>("v_update_v", "LFUP"),
    Bind<&nLogicFlash::SetUnloadThreshold>("v_setunloadthreshold_f", "LFSU"),
    Bind<&nLogicFlash::GetUnloadThreshold>("f_getunloadthreshold_v", "LFGU"),
    {"v_loadflash_v", "LFMO", [](nLogicFlash* self, nCmd*) { self->LoadFlash(true); }},
    {"f_unloadflash_v", "UFMO",
     [](nLogicFlash* self, nCmd* c) {
         self->UnloadFlash();
         c->Out()->SetF(0.0f);
     }},
    Bind<&nLogicFlash::SetFrozen>("v_setfrozen_b", "FSFR"),
    Bind<&nLogicFlash::SetFrozenRec>("v_setfrozenrec_b", "SFRR"),
    Bind<&nLogicFlash::GetFrozen>("b_getfrozen_v", "FGFR"),
    Bind<&nLogicFlash::SetCheckUpdate>("v_setcheckupdateflag_b", "FSCU"),
    Bind<&nLogicFlash::SetNetworking>("v_setnetworking_b", "FSNW"),
    Bind<&nLogicFlash::SetCursorTest>("v_setcursortest_b", "FSCT"),
};
const nClassInfo nLogicFlash::classInfo = nClassInfo::Make<nLogicFlash>("nlogicflash", "nlogiccsprite", cmds);

bool nLogicFlash::cursorMode_ = false;

namespace {

// The Flash nodes by name, the first node of a name kept.
std::unordered_map<std::string, nLogicFlash*>& Registry() {
    static std::unordered_map<std::string, nLogicFlash*> table;
    return table;
}

// A movie's failure is shown in the game while the frame loop runs and only logged before it
// (the start's loading screen): no box waits for a click while the game should draw, and the
// game goes on without the movie.
__attribute__((format(printf, 1, 2))) void MovieError(const char* fmt, ...) {
    char text[2048];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof(text), fmt, args);
    va_end(args);
    nLogHandler* log = nKernelServer::ks ? nKernelServer::ks->GetLogHandler() : nullptr;
    nLogHandler::OffScreen logged(log && !log->GetPlayDisplay() ? log : nullptr);
    n_error("%s", text);
}

// Movies and their images are read through the engine's file server; the module's
// problems go to the engine's log.
void InstallMovieHost() {
    static std::once_flag once;
    std::call_once(once, [] {
        flash::MovieHost host;
        host.readFile = [](const std::string& path, std::string& bytes) {
            // Held to the picture files' size limit: no file of a movie is larger.
            std::string error;
            return nD3D8Texture::ReadPictureFile(nKernelServer::ks, path.c_str(), bytes, error);
        };
        // Opening tells the size, from an archive too, without reading a byte.
        host.fileSize = [](const std::string& path, uint64_t& size) {
            nFileServer2* fs = nKernelServer::ks ? nKernelServer::ks->GetFileServer() : nullptr;
            if (!fs) return false;
            std::unique_ptr<nFile> file(fs->NewFileObject());
            if (!file->Open(path.c_str(), "rb")) return false;
            size = file->GetSize();
            file->Close();
            return true;
        };
        host.log = [](const std::string& message) { MovieError("%s\n", message.c_str()); };
        // The game's own movies are those its archives hold where no loose file wins.
        auto archives = [] {
            nFileServer2* fs = nKernelServer::ks ? nKernelServer::ks->GetFileServer() : nullptr;
            return fs && fs->IsA("nnpkfileserver") ? static_cast<nNpkFileServer*>(fs) : nullptr;
        };
        host.shipped = [archives](const std::string& path) {
            nNpkFileServer* fs = archives();
            if (!fs) return false;
            std::unique_ptr<nFile> file(fs->NewFileObject());
            const bool own = file->Open(path.c_str(), "rb") && static_cast<nNpkFile*>(file.get())->IsInArchive();
            file->Close();
            return own;
        };
        host.readShipped = [archives](const std::string& path, std::string& bytes) {
            nNpkFileServer* fs = archives();
            const nNpkTocEntry* entry = fs ? fs->ResolveInArchives(fs->ManglePath(path.c_str())) : nullptr;
            if (!entry || entry->IsDirectory() || entry->GetFileLength() > image::MaxFileBytes) return false;
            bytes.assign(entry->GetFileLength(), '\0');
            return entry->GetArchive()->Read(entry, 0, bytes.data(), bytes.size()) == bytes.size();
        };
        // A movie's code is data's text: it shares a frame's time with the rest of it.
        auto script = [] {
            return nKernelServer::ks ? static_cast<nScriptServer*>(nKernelServer::ks->Lookup("/sys/servers/script"))
                                     : nullptr;
        };
        host.share = [script](flash::MovieHost::Call call, sys::ForeignTurn& turn) {
            nScriptServer* s = script();
            return s ? s->ForeignShare(call, turn) : UINT64_MAX;
        };
        host.time = [script](flash::MovieHost::Call call, const sys::ForeignTurn& turn) {
            nScriptServer* s = script();
            return s ? s->ForeignTime(call, turn) : std::chrono::steady_clock::duration::max();
        };
        host.spent = [script](uint64_t instructions, std::chrono::steady_clock::duration taken,
                              std::chrono::steady_clock::duration wall, sys::ForeignTurn& turn) {
            if (nScriptServer* s = script()) s->ForeignSpent(instructions, taken, wall, turn);
        };
        // What the movies keep (Lua memory, text faces, pictures) is data's, all movies
        // together: the module logs its own refusal once.
        host.keep = [](int64_t bytes) {
            if (bytes > 0 && (uint64_t(bytes) > nObjectCount::LiveBytesBound() ||
                              nObjectCount::DataLiveBytes() > nObjectCount::LiveBytesBound() - uint64_t(bytes))) {
                return false;
            }
            nObjectCount::ChargeKept(bytes);
            return true;
        };
        flash::MovieHost::SetDefault(std::move(host));
    });
}

}  // namespace

nLogicFlash::nLogicFlash() {
    quadFlag_ = false;
    bytesPerPixel_ = DisplayBytesPerPixel();
    ReleaseQuad();
}

nLogicFlash::~nLogicFlash() {
    UnloadFlash();
    ReleaseQuad();
    if (!registryName_.empty()) {
        auto it = Registry().find(registryName_);
        // Only its own entry: a later node of the same name was never entered.
        if (it != Registry().end() && it->second == this) Registry().erase(it);
    }
}

void nLogicFlash::Initialize() {
    nLogicCSprite::Initialize();
    const char* name = GetName();
    if (!name || !*name) return;
    if (Registry().emplace(name, this).second) registryName_ = name;
}

nLogicFlash* nLogicFlash::Find(const char* name) {
    if (!name) return nullptr;
    auto it = Registry().find(name);
    return it == Registry().end() ? nullptr : it->second;
}

int nLogicFlash::TranslateKey(int code) {
    // The inverse of the window's key translation: each engine key code to the first
    // virtual key that gives it.
    static const auto table = [] {
        std::array<uint8_t, 146> t{};
        for (int vk = 1; vk <= 220; vk++) {
            const int c = nD3D8Server::TranslateKey(vk);
            if (c > 0 && c < int(t.size()) && t[size_t(c)] == 0) t[size_t(c)] = uint8_t(vk);
        }
        return t;
    }();
    return code >= 1 && code < int(table.size()) ? table[size_t(code)] : 0;
}

bool nLogicFlash::SaveCmds(nPersistServer* ps) {
    // The sprite's lines (the image sprite writes none of them).
    if (!nLogicSprite::SaveCmds(ps)) return false;
    return ps->Put(this, nId("LFSR"), movieLeft_, movieTop_, movieWidth_, movieHeight_) &&
           ps->Put(this, nId("LFSM"), messaging_) && ps->Put(this, nId("LFSI"), inputEvents_) &&
           ps->Put(this, nId("LFSF"), fps_) && ps->Put(this, nId("LFSU"), unloadThreshold_);
}

// -- the movie ----------------------------------------------------------------------

void nLogicFlash::FailLoad(const char* fmt, const char* arg) {
    if (fmt) MovieError(fmt, arg);
    flash::DeleteFlashModule(module_);
    module_ = nullptr;
    loadFailed_ = true;
}

void nLogicFlash::RefusedForTime() {
    // The module logged the refusal: the node tries again when it is asked to load.
    flash::DeleteFlashModule(module_);
    module_ = nullptr;
    refusedForTime_ = true;
}

void nLogicFlash::LoadFlash(bool explicitLoad) {
    if (module_ || (loadFailed_ && !explicitLoad)) return;
    loadFailed_ = false;
    refusedForTime_ = false;
    const char* movie = GetTexture();
    if (!*movie) {
        n_error("%s: no movie to load (v_settexture_s names it)\n", GetFullName().c_str());
        loadFailed_ = true;
        return;
    }
    InstallMovieHost();
    module_ = flash::CreateFlashModule(flash::InterfaceId);
    if (!module_) nKernelServer::FatalError("error: couldn't create flash module.\n");
    uintptr_t window = 0;
    if (nRoot* hwnd = nKernelServer::ks->Lookup("/sys/env/hwnd"); hwnd && hwnd->IsA("nenv")) {
        window = uintptr_t(uint32_t(static_cast<nEnv*>(hwnd)->GetI()));
    }
    if (module_->AttachWindow(window) < 0) nKernelServer::FatalError("error: couldn't update hwnd in flash module.\n");
    if (module_->Initialize(0, 1) < 0) {
        nKernelServer::FatalError("warning: failed to init flash player for movie: %s.\n", movie);
    }
    // The native path as it is: Linux paths keep their "/".
    nFileServer2* fs = nKernelServer::ks->GetFileServer();
    const std::string path = fs ? fs->ManglePath(movie) : std::string(movie);
    const int32_t loaded = module_->LoadMovie(path.c_str());
    if (loaded == flash::RefusedForTime) return RefusedForTime();
    if (loaded < 0) return FailLoad("flash loader error: couldn't open file '%s'.\n", movie);
    if (module_->Play() < 0) return FailLoad("error: failed to play flash movie '%s'.\n", movie);
    readyPolls_ = 0;
    PollReady();
}

bool nLogicFlash::PollReady() {
    if (readyPolls_ < 0) return module_ != nullptr;
    if (!module_) return false;
    // Polled once a frame, not waited for: a movie's start waits for the frame's time for
    // data, which a wait within the frame never brings.
    const int32_t ready = module_->IsReady();
    if (ready == 0 && ++readyPolls_ <= ReadyPolls) return false;
    if (ready <= 0) {
        readyPolls_ = -1;
        if (ready == flash::RefusedForTime) RefusedForTime();
        else FailLoad("error: flash movie '%s' did not get ready.\n", GetTexture());
        return false;
    }
    readyPolls_ = -1;
    if (quadBuilt_) {
        module_->SetMessaging(false);
        updateRequests_ = std::max(updateRequests_, 1);
        Update();
        unload_ = false;
    }
    return module_ != nullptr;  // the first draw may refuse it
}

void nLogicFlash::UnloadFlash() {
    readyPolls_ = -1;
    refusedLines_.clear();
    if (!module_) return;
    module_->Stop();
    module_->Unload();
    flash::DeleteFlashModule(module_);
    module_ = nullptr;
}

bool nLogicFlash::EnsureModule() {
    // A value read or set is no request to load a movie refused for its time.
    if (!module_ && !refusedForTime_) LoadFlash(false);
    return module_ != nullptr;
}

void nLogicFlash::ApplyMovieRect() {
    if (nGfxServer* gfx = gfxRef_.Resolve()) {
        int x0 = 0, y0 = 0, w = 0, h = 0;
        if (gfx->GetDisplayDesc(x0, y0, w, h)) {
            scaleX_ = float(w) / VirtualWidth;
            scaleY_ = float(h) / VirtualHeight;
        }
    }
    if (!module_) return;
    // Without a rectangle the movie fills the buffer.
    const bool set = movieWidth_ > 0 && movieHeight_ > 0;
    // Script values summed in 64 bits and held to the int range; the module refuses a
    // rectangle past its own limits.
    auto end = [](int32_t a, int32_t b) { return int32_t(std::clamp<int64_t>(int64_t(a) + b, INT32_MIN, INT32_MAX)); };
    if (set && module_->SetMovieRect(movieLeft_, movieTop_, end(movieLeft_, movieWidth_), end(movieTop_, movieHeight_)) < 0) {
        return;
    }
    module_->SetMessaging(false);
    updateRequests_ = std::max(updateRequests_, 1);
    unload_ = false;
}

void nLogicFlash::LoadImage() {
    // The frame's draw builds tiles again after a refusal: no request to load one refused for
    // its time.
    if (!module_ && !refusedForTime_) LoadFlash(false);
    ApplyMovieRect();
}

void nLogicFlash::Update() {
    if (!module_ || readyPolls_ >= 0 || !quadBuilt_ || tiles_.empty()) return;
    nGfxServer* gfx = gfxRef_.Get();
    int x0 = 0, y0 = 0, w = 0, h = 0;
    if (!gfx->GetDisplayDesc(x0, y0, w, h)) return;
    if (x_ > float(w) || y_ > float(h)) return;
    uint8_t* buffer = GetImageBuffer();
    if (!buffer) return;
    // A frame that waits leaves the picture and the requests as they are.
    const int32_t rendered = module_->Render(buffer, imageW_, imageH_, bytesPerPixel_);
    if (rendered == flash::Waits) return;
    // A movie refused after it was ready (a call before the first frame stopped) has failed as
    // a load does; the module logged why.
    if (rendered == flash::MovieFailed) {
        const int32_t ready = module_->IsReady();
        if (ready == flash::RefusedForTime) return RefusedForTime();
        if (ready < 0) return FailLoad(nullptr, nullptr);
    }
    if (mouseInside_ && gfx->GetNumCursors() > 0 && gfx->IsCursorVisible()) gfx->ShowCursor();
    if (updateRequests_ > 0) updateRequests_--;
    // A draw that failed is tried again at the next frame, a few times in a row, whether the
    // movie draws at its rate or when asked: a loose movie whose draws keep failing gives way
    // to the game's own copy within them.
    failedDraws_ = rendered == flash::MovieFailed ? failedDraws_ + 1 : 0;
    if (failedDraws_ > 0 && failedDraws_ <= RetriedDraws) RaiseUpdateRequests(1);
    unload_ = updateRequests_ == 0 && fps_ < unloadThreshold_;
    CommitImage(unload_);
}

void nLogicFlash::RequestUpdates() {
    updateRequests_ = std::max(updateRequests_, UpdateBurst);
    Update();
}

void nLogicFlash::SetTexture(const char* name) {
    if (!nFileServer2::MayKeepPath(name)) return;
    const std::string movie = name ? name : "";
    // A new movie name may be tried again after a failed load.
    if (movie != textureName_) loadFailed_ = refusedForTime_ = false;
    textureName_ = movie;
}

void nLogicFlash::SetMovieRect(int left, int top, int width, int height) {
    movieLeft_ = left;
    movieTop_ = top;
    movieWidth_ = width;
    movieHeight_ = height;
    // A movie showing already takes the new rectangle at once.
    if (module_ && quadBuilt_) ApplyMovieRect();
}

void nLogicFlash::GetMovieRect(int& left, int& top, int& width, int& height) const {
    left = movieLeft_;
    top = movieTop_;
    width = movieWidth_;
    height = movieHeight_;
}

void nLogicFlash::SetMessaging(bool on) {
    messaging_ = on;
    if (module_) module_->SetMessaging(on);
}

void nLogicFlash::SetFrozenRec(bool on) {
    frozen_ = on;
    for (nRoot* child = GetHead(); child; child = child->GetSucc()) {
        if (child->IsA("nlogicflash")) static_cast<nLogicFlash*>(child)->SetFrozen(on);
    }
}

// -- variables ----------------------------------------------------------------------

bool nLogicFlash::SetValue(const char* var, const char* text) {
    if (!var || !*var) {
        n_error("%s: v_setvalue: no variable name\n", GetFullName().c_str());
        return false;
    }
    return EnsureModule() && module_->SetVariable(var, text ? text : "") >= 0;
}

const char* nLogicFlash::GetValue(const char* var) {
    if (!var || !*var) {
        n_error("%s: s_getvalue: no variable name\n", GetFullName().c_str());
        return nullptr;
    }
    if (!EnsureModule()) return nullptr;
    const char* text = nullptr;
    size_t length = 0;
    if (module_->GetVariable(var, &text, &length) < 0 || length < 1 || !text) return nullptr;
    value_.assign(text, length);
    return value_.c_str();
}

void nLogicFlash::ConcatValue(const char* var, const char* text) {
    if (!var || !*var) {
        n_error("%s: v_concatvalue: no variable name\n", GetFullName().c_str());
        return;
    }
    if (!EnsureModule()) return;
    const std::string add = text ? text : "";
    size_t length = 0;
    module_->CopyVariable(var, &length, nullptr);
    if (length < 1) {
        module_->SetVariable(var, add.c_str());
        return;
    }
    std::string joined(length + 1, '\0');
    size_t room = joined.size();
    module_->CopyVariable(var, &room, joined.data());
    joined.resize(std::strlen(joined.c_str()));
    joined += ';';
    joined += add;
    module_->SetVariable(var, joined.c_str());
}

// -- the frame ----------------------------------------------------------------------

void nLogicFlash::SetActive(bool on) {
    // A key pressed before this movie showed (the Esc that opened the menu) was no answer
    // to it.
    if (on && messaging_ && !GetActive()) nScriptServer::ForgetPersonInput();
    nLogicCSprite::SetActive(on);
    if (!on) {
        ReleaseQuad();
        return;
    }
    // A saved node is switched on before its movie and size load back: what is not
    // there yet waits for the first Render.
    if (!module_ && *GetTexture()) LoadFlash(false);
    // Data's switch leaves the tiles to the frame's draw, which builds them once however
    // often data's text switched the node in between.
    if (nScriptServer::DataRunning()) return;
    nGfxServer* gfx = gfxRef_.Resolve();
    if (!gfx || !gfx->IsDisplayOpen()) return;
    // The display size first, as the frame's draw takes it: tiles built for another size would
    // be built again there, and this picture lost.
    UpdateProjection(gfx);
    if (!quadBuilt_) CreateQuad();
    Update();
}

void nLogicFlash::Render() {
    nGfxServer* gfx = gfxRef_.Get();
    if (mouseOutPending_) {
        mouseOutPending_ = false;
        SetValue("input", "_root.mouseout()");
    }
    if (module_) PollReady();
    // The display size first, so that the tiles are built once for it.
    UpdateProjection(gfx);
    CreateQuad();
    const float now = GetTime();
    // A clock that went back (the node's time set anew) redraws at once rather than when it
    // passes the last redraw.
    if (updateRequests_ > 0 || (fps_ > 0.0f && (now - lastUpdate_ > 1.0f / fps_ || now < lastUpdate_))) {
        Update();
        lastUpdate_ = now;
    }
    nLogicCSprite::Render();
}

bool nLogicFlash::Trigger(nLogicGraph* graph) {
    nRef<nRoot> alive(this);
    const bool on = nLogicCSprite::Trigger(graph);
    // Scripts run below may release the node or unload its movie.
    auto live = [&] { return alive.IsValid() && module_; };
    if (!alive.IsValid() || !on || !GetActive() || !module_) return on;
    // The movie's start and the events that waited for the frame's time, first.
    if (!PollReady()) return on;
    module_->RunWaiting();
    if (checkUpdate_) {
        const char* text = GetValue("_root.update_tex");
        if (text && *text) updateRequests_++;
    }
    if (live() && messaging_) HandleMessages();
    if (live() && inputEvents_) ForwardInput();
    if (live() && networking_) HandleNetMessages();
    if (live() && cursorTest_) HandleCursorMode();
    return on;
}

void nLogicFlash::HandleMessages() {
    if (!messaging_ || frozen_ || !module_) return;
    const char* text = GetValue("Tessel_script");
    if (!text || !*text) return;
    const std::string line = text;
    SetValue("Tessel_script", "");
    // Lines refused of a loose movie are not held against the game's own copy in its place.
    if (module_->Starts() != linesOfStart_) {
        linesOfStart_ = module_->Starts();
        refusedLines_.clear();
    }
    // A line that took a whole frame's time once would take it again each time it comes.
    const size_t hash = std::hash<std::string>{}(line);
    if (refusedLines_.size() >= MaxRefusedLines ||
        std::find(refusedLines_.begin(), refusedLines_.end(), hash) != refusedLines_.end()) {
        return;
    }
    const char* result = nullptr;
    nScriptServer* script = refScript_.Get();
    nRef<nRoot> alive(this);
    // The line may release this node: nothing of it is touched then. It comes from the
    // movie, which is data: it reaches only the game's declared entries.
    if (script->RunDataText(line.c_str(), result) || !script->LastRunPassedFrame() || !alive.IsValid()) return;
    refusedLines_.push_back(hash);
    n_error("%s: a script line of the movie took the frame's time for data; %s\n", GetFullName().c_str(),
            refusedLines_.size() < MaxRefusedLines ? "it is not run again"
                                                   : "the movie's script lines are not run until it is loaded again");
}

void nLogicFlash::HandleNetMessages() {
    const char* text = GetValue("net_msg_output");
    if (!text || !*text) return;
    const std::string messages = text;
    SetValue("net_msg_output", "");
    // Pairs of a node's name and a message, '^' between all; a trailing name without a
    // message is ignored. Each message runs the target's code, which is data's: once this
    // frame's share of data's time is spent, the rest is dropped.
    nScriptServer* script = refScript_.Get();
    std::string name, message;
    for (size_t from = 0; from < messages.size();) {
        const size_t nameEnd = messages.find('^', from);
        if (nameEnd == std::string::npos) break;
        const size_t end = std::min(messages.find('^', nameEnd + 1), messages.size());
        name.assign(messages, from, nameEnd - from);
        message.assign(messages, nameEnd + 1, end - nameEnd - 1);
        from = end + 1;
        if (message.empty()) continue;
        if (script->DataWaits()) {
            n_error("%s: messages to other movies dropped: this frame's time for data is spent\n",
                    GetFullName().c_str());
            break;
        }
        if (nLogicFlash* target = Find(name.c_str())) target->SetValue("input", message.c_str());
    }
}

void nLogicFlash::HandleCursorMode() {
    const char* text = GetValue("cursor_mode");
    if (text && text[0] == '1') cursorMode_ = true;
}

void nLogicFlash::Mouse(unsigned message, int flags) {
    if (module_) module_->MouseEvent(message, mouseX_, mouseY_, flags);
}

bool nLogicFlash::MovePointer(float x, float y) {
    nRef<nRoot> alive(this);
    mouseX_ = x;
    mouseY_ = y;
    if (!(x >= 0.0f && x < 1.0f && y >= 0.0f && y < 1.0f)) {
        if (mouseInside_) {
            mouseInside_ = false;
            mouseOutPending_ = true;
            updateRequests_ = std::max(updateRequests_, 1);
            HandleMessages();
        }
        return alive.IsValid();
    }
    if (!mouseInside_) {
        SetValue("input", "_root.mousein()");
        mouseInside_ = true;
    }
    Mouse(flash::MouseMove, buttonFlags_);
    HandleMessages();
    if (!alive.IsValid()) return false;
    updateRequests_ = std::max(updateRequests_, 1);
    return true;
}

void nLogicFlash::ForwardInput() {
    if (!inputEvents_ || frozen_ || !module_) return;
    nInputServer* input = refInput_.Get();
    nGfxServer* gfx = gfxRef_.Get();
    int x0 = 0, y0 = 0, dw = 0, dh = 0;
    if (!gfx->GetDisplayDesc(x0, y0, dw, dh)) dw = dh = 0;
    const float sx = float(dw) / VirtualWidth, sy = float(dh) / VirtualHeight;
    nRef<nRoot> alive(this);
    for (nInputEvent* e = input->FirstEvent(); e; e = nInputServer::NextEvent(e)) {
        if (!alive.IsValid() || !module_) return;
        const bool button = e->type == N_INPUT_BUTTON_DOWN || e->type == N_INPUT_BUTTON_UP;
        if (e->deviceId == N_INPUT_DEV_MOUSE && (e->type == N_INPUT_MOUSE_MOVE || button)) {
            // A button acts where it was pressed: the pointer may have moved while the
            // node was off and saw no moves, so the press moves it there first.
            const float mw = w_ * sx, mh = h_ * sy;
            const float x = mw > 0.0f ? (float(e->x) - x_ * sx) / mw : -1.0f;
            const float y = mh > 0.0f ? (float(e->y) - y_ * sy) / mh : -1.0f;
            if (e->type == N_INPUT_MOUSE_MOVE || x != mouseX_ || y != mouseY_) {
                if (!MovePointer(x, y)) return;
            }
        }
        if (!alive.IsValid() || !module_) return;
        if (e->deviceId == N_INPUT_DEV_MOUSE && e->type == N_INPUT_BUTTON_DOWN) {
            buttonFlags_ |= 1;
            if (e->number == 0 && mouseInside_) {
                // A click on a movie that reports lines answers it.
                if (messaging_) nScriptServer::PersonInput();
                Mouse(flash::MouseDown, 1);
                HandleMessages();
            }
        } else if (e->deviceId == N_INPUT_DEV_MOUSE && e->type == N_INPUT_BUTTON_UP && e->number == 0) {
            buttonFlags_ &= ~1;
            if (mouseInside_) {
                Mouse(flash::MouseUp, 0);
                HandleMessages();
            }
        } else if (e->deviceId == N_INPUT_DEV_KEYBOARD && (e->type == N_INPUT_KEY_DOWN || e->type == N_INPUT_KEY_UP) &&
                   e->number != 0) {
            module_->KeyEvent(e->type == N_INPUT_KEY_DOWN ? flash::KeyDown : flash::KeyUp, TranslateKey(e->number), 0);
            HandleMessages();
        } else if (e->deviceId == N_INPUT_DEV_KEYBOARD && e->type == N_INPUT_KEY_CHAR) {
            module_->KeyEvent(flash::Character, e->number, 0);
        }
    }
    if (!alive.IsValid() || !mouseInside_) return;
    updateRequests_ = std::max(updateRequests_, 1);
    if (gfx->GetNumCursors() > 0 && gfx->IsCursorVisible()) gfx->ShowCursor();
}
