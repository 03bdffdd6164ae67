#include "script/nConServer.h"

#include <cstdio>
#include <cstring>

#include "gfx/nGfxServer.h"
#include "input/nInputEvent.h"
#include "input/nInputServer.h"
#include "kernel/nEnv.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"
#include "kernel/nScriptServer.h"

static const nCmdDef<nConServer> cmds[] = {
    Bind<&nConServer::Open>("v_open_v", "OCON"),
    Bind<&nConServer::Close>("v_close_v", "CCON"),
    Bind<&nConServer::Toggle>("v_toggle_v", "TCON"),
    Bind<&nConServer::Watch>("v_watch_s", "WTCH"),
    Bind<&nConServer::Unwatch>("v_unwatch_v", "UWTC"),
};
const nClassInfo nConServer::classInfo = nClassInfo::Make<nConServer>("nconserver", "nroot", cmds);

namespace {

// Key codes of the input server's key names.
enum Key {
    KeyBackspace = 4, KeyReturn = 6, KeyShift = 7, KeyCtrl = 8, KeySpace = 13, KeyEnd = 16,
    KeyHome = 17, KeyLeft = 18, KeyArrowUp = 19, KeyRight = 20, KeyArrowDown = 21, KeyInsert = 26,
    KeyDelete = 27, KeyDigit1 = 29, KeyZ = 64, KeyNum0 = 68, KeyDivide = 83,
};

// The keys the console takes from the game while open.
bool IsConsoleKey(int code) {
    switch (code) {
        case KeyBackspace: case KeyReturn: case KeyShift: case KeyCtrl: case KeySpace:
        case KeyEnd: case KeyHome: case KeyLeft: case KeyArrowUp: case KeyRight: case KeyArrowDown:
        case KeyInsert: case KeyDelete:
            return true;
        default:
            // Digits and letters, then the number block.
            return (code >= KeyDigit1 && code <= KeyZ) || (code >= KeyNum0 && code <= KeyDivide);
    }
}

constexpr int LinePixels = 10;
constexpr int PromptSize = 1024;

}  // namespace

nConServer::nConServer() { envClass_ = nKernelServer::ks->FindClass("nenv"); }

void nConServer::Watch(const char* pattern) {
    pattern_ = pattern ? pattern : "";
    watch_ = true;
}

nRoot* nConServer::GetCwd() {
    if (!cwd_.IsValid()) cwd_ = nKernelServer::ks->GetCwd();
    return cwd_.GetUnsafe();
}

// ---------------------------------------------------------------------------------------
// Input

bool nConServer::HandleInput() {
    nKernelServer* ks = nKernelServer::ks;
    ks->PushCwd(GetCwd());
    // A typed line may delete the console or the input server: the extra count keeps
    // the console through its own delete, the references tell when either is gone.
    nRef<nRoot> alive(this);
    AddRef();
    nInputServer* input = open_ ? refInput_.Resolve() : nullptr;
    nRef<nInputServer> inputAlive(input);
    for (nInputEvent* e = input ? input->FirstEvent() : nullptr; e; e = nInputServer::NextEvent(e)) {
        if (HandleEvent(e)) e->flags |= N_IEF_HANDLED;
        if (!alive.IsValid() || !inputAlive.IsValid()) break;
    }
    ks->PopCwd();
    return alive.IsValid() && !Release();
}

bool nConServer::HandleEvent(const nInputEvent* event) {
    switch (event->type) {
        case N_INPUT_KEY_CHAR:
            // Characters are single bytes in the game's code page.
            if (event->number < 32 || event->number >= 256) return false;
            line_.Type(char(event->number));
            return true;
        case N_INPUT_KEY_DOWN:
            return KeyDown(event->number);
        case N_INPUT_KEY_UP:
            return KeyUp(event->number);
        default:
            return false;
    }
}

bool nConServer::KeyDown(int code) {
    switch (code) {
        case KeyBackspace: line_.Backspace(); break;
        case KeyReturn: Execute(); break;
        case KeyShift: shiftHeld_ = true; break;
        case KeyCtrl: ctrlHeld_ = true; break;
        case KeyEnd: line_.End(); break;
        case KeyHome: line_.Home(); break;
        case KeyInsert: line_.ToggleOverwrite(); break;
        case KeyDelete: line_.Delete(); break;
        case KeyLeft:
            if (ctrlHeld_) {
                line_.WordLeft();
            } else if (!shiftHeld_) {
                line_.Left();
            }
            break;
        case KeyRight:
            if (ctrlHeld_) {
                line_.WordRight();
            } else if (shiftHeld_) {
                // Steps into the tree: the first child becomes the console's object.
                nRoot* cwd = GetCwd();
                if (cwd && cwd->GetHead()) {
                    cwd_ = cwd->GetHead();
                    nKernelServer::ks->SetCwd(cwd->GetHead());
                }
            } else {
                line_.Right();
            }
            break;
        case KeyArrowUp:
            if (ctrlHeld_) {
                if (scroll_ < nLineBuffer::NumLines) ++scroll_;
            } else if (!shiftHeld_) {
                HistoryBack();
            }
            break;
        case KeyArrowDown:
            if (ctrlHeld_) {
                if (scroll_ > 0) --scroll_;
            } else if (!shiftHeld_) {
                HistoryForward();
            }
            break;
        default: break;
    }
    return IsConsoleKey(code);
}

bool nConServer::KeyUp(int code) {
    if (code == KeyShift) shiftHeld_ = false;
    if (code == KeyCtrl) ctrlHeld_ = false;
    return IsConsoleKey(code);
}

void nConServer::HistoryBack() {
    const int count = history_.GetNumLines();
    if (historyCursor_ >= count) return;
    ++historyCursor_;
    line_.Set(history_.GetLine(count - historyCursor_));
}

void nConServer::HistoryForward() {
    if (historyCursor_ == 0) return;
    --historyCursor_;
    if (historyCursor_ == 0) {
        line_.Clear();
    } else {
        line_.Set(history_.GetLine(history_.GetNumLines() - historyCursor_));
    }
}

void nConServer::Execute() {
    historyCursor_ = 0;
    if (!line_.IsEmpty()) {
        history_.Put(line_.GetText());
        history_.Put("\n");
        // Copied: the line may replace or delete this console.
        const std::string text = line_.GetText();
        nRef<nRoot> alive(this);
        const char* result = nullptr;
        refScript_.Get()->Run(text.c_str(), result);
        if (!alive.IsValid()) return;
        // The line may have selected another object: the console follows it.
        cwd_ = nKernelServer::ks->GetCwd();
    }
    line_.Clear();
    scroll_ = 0;
}

// ---------------------------------------------------------------------------------------
// Drawing

void nConServer::Trigger() {
    if (open_ && !HandleInput()) return;
    nGfxServer* gfx = refGfx_.Get();
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    gfx->GetDisplayDesc(x0, y0, x1, y1);
    if (open_) {
        DrawConsole(y1);
    } else if (watch_) {
        DrawWatch(y1);
    }
}

void nConServer::DrawWatch(int height) {
    nRoot* vars = nKernelServer::ks->Lookup("/sys/var");
    // Lines of 10 pixels over 40 % of the display; too low a display shows none.
    const int lines = (height * 4 / 10) / LinePixels;
    if (!vars || lines <= 0) return;
    const float step = 2.0f / float(lines);
    nGfxServer* gfx = refGfx_.Get();
    gfx->BeginText();
    float y = -1.0f;
    char buf[1024];
    for (nRoot* child = vars->GetHead(); child; child = child->GetSucc()) {
        if (!child->IsA(envClass_) || !nKernelServer::MatchPattern(child->GetName(), pattern_.c_str())) continue;
        const nEnv* env = static_cast<const nEnv*>(child);
        const char* name = child->GetName();
        switch (env->GetType()) {
            case nArg::Int: std::snprintf(buf, sizeof buf, "%s: %d\n", name, int(env->GetI())); break;
            case nArg::Float: std::snprintf(buf, sizeof buf, "%s: %f\n", name, double(env->GetF())); break;
            case nArg::String: std::snprintf(buf, sizeof buf, "%s: %s\n", name, env->GetS() ? env->GetS() : ""); break;
            case nArg::Bool: std::snprintf(buf, sizeof buf, "%s: %s\n", name, env->GetB() ? "true" : "false"); break;
            default: std::snprintf(buf, sizeof buf, "%s: <unknown data type>\n", name); break;
        }
        gfx->SetTextPos(-1.0f, y);
        gfx->Text(buf);
        y += step;
    }
    gfx->EndText();
}

void nConServer::DrawConsole(int height) {
    const int lines = (height * 4 / 10) / LinePixels;
    if (lines <= 0) return;
    const float step = 2.0f / float(lines);
    nGfxServer* gfx = refGfx_.Get();
    gfx->BeginText();

    // The prompt and the edit line on the bottom row, the log above it from the newest up.
    const float bottom = -1.0f + float(lines - 1) * step;
    nLogHandler* handler = nKernelServer::ks->GetLogHandler();
    const nLineBuffer* log = handler ? handler->GetLineBuffer() : nullptr;
    if (log) {
        int index = log->GetNumLines() - 1 - scroll_;
        for (int row = 1; row < lines && index >= 0; ++row, --index) {
            scratch_.assign(log->GetLine(index));
            scratch_ += '\n';
            gfx->SetTextPos(-1.0f, bottom - float(row) * step);
            gfx->Text(scratch_.c_str());
        }
    }
    char prompt[PromptSize] = {};
    refScript_.Get()->Prompt(prompt, PromptSize);
    prompt[PromptSize - 1] = 0;
    scratch_.assign(prompt);
    scratch_.append(line_.GetText(), size_t(line_.GetCursor()));
    scratch_ += '|';
    scratch_ += line_.GetText() + line_.GetCursor();
    scratch_ += '\n';
    gfx->SetTextPos(-1.0f, bottom);
    gfx->Text(scratch_.c_str());
    gfx->EndText();
}
