#include "logic/nChatServer.h"

#include <cmath>
#include <cstring>

#include "gfx/nGfxServer.h"
#include "input/nInputServer.h"
#include "kernel/nKernelServer.h"
#include "kernel/nScriptServer.h"
#include "kernel/nTimeServer.h"
#include "script/nLuaWriter.h"

static const nCmdDef<nChatServer> cmds[] = {
    Bind<&nChatServer::Open>("v_open_v", "OCCS"),
    Bind<&nChatServer::Close>("v_close_v", "CCCS"),
    Bind<&nChatServer::Toggle>("v_toggle_v", "TCCS"),
    Bind<&nChatServer::Add>("v_add_sffff", "ALCS"),
    Bind<&nChatServer::SetInputColor>("v_setinputcolor_ffff", "SICS"),
    Bind<&nChatServer::RegisterCallback>("v_registercallback_s", "SRCB"),
    Bind<&nChatServer::SetRenderOffset>("v_setrenderoffset_ff", "SSRO"),
    Bind<&nChatServer::SetInput>("v_setinput_b", "SSSI"),
    Bind<&nChatServer::SetFadeOutTime>("v_setfadeouttime_f", "SSFO"),
};
const nClassInfo nChatServer::classInfo = nClassInfo::Make<nChatServer>("nchatserver", "nroot", cmds);

nChatServer::nChatServer() = default;

double nChatServer::Now() const {
    nKernelServer* ks = nKernelServer::ks;
    nTimeServer* ts = ks ? ks->GetTimeServer() : nullptr;
    return ts ? ts->GetTime() : 0.0;
}

void nChatServer::Close() {
    if (!open_) return;
    open_ = false;
    buffer_.Clear();
}

void nChatServer::Toggle() {
    if (open_) {
        Close();
    } else {
        open_ = true;
    }
}

void nChatServer::Add(const char* text, float r, float g, float b, float a) {
    if (!text) return;
    const float t = float(Now());
    buffer_.Append(text, r, g, b, a, t);
    buffer_.Append("\n", r, g, b, a, t);
}

void nChatServer::SetInputColor(float r, float g, float b, float a) {
    inputColor_[0] = r;
    inputColor_[1] = g;
    inputColor_[2] = b;
    inputColor_[3] = a;
}

void nChatServer::RegisterCallback(const char* name) {
    if (!name) name = "";
    std::strncpy(callback_, name, CallbackSize - 1);
    callback_[CallbackSize - 1] = 0;
}

// ---------------------------------------------------------------------------------------
// Input line

void nChatServer::HandleInput() {
    if (!open_ || !inputEnabled_) return;
    nInputServer* input = refInput_.Resolve();
    if (!input) return;
    for (nInputEvent* e = input->FirstEvent(); e; e = nInputServer::NextEvent(e)) {
        switch (e->type) {
            case N_INPUT_KEY_CHAR:
                // Characters are single bytes in the game's code page.
                if (e->number >= 32 && e->number < 256) TypeChar(char(e->number));
                break;
            case N_INPUT_KEY_DOWN:
                KeyDown(e->number);
                break;
            case N_INPUT_KEY_UP:
                if (e->number == KeyCtrl) ctrlHeld_ = false;
                break;
            default:
                break;
        }
    }
}

void nChatServer::TypeChar(char c) {
    if (overwrite_) {
        const bool atEnd = input_[cursor_] == 0;
        input_[cursor_] = c;
        if (atEnd && cursor_ < InputSize - 1) input_[cursor_ + 1] = 0;
    } else {
        std::memmove(input_ + cursor_ + 1, input_ + cursor_, size_t(InputSize - 1 - cursor_));
        input_[cursor_] = c;
        // A full line drops its overflowing character and keeps the terminator.
        input_[InputSize - 1] = 0;
    }
    if (++cursor_ >= InputSize) {
        cursor_ = InputSize - 1;
        input_[InputSize - 1] = 0;
    }
}

void nChatServer::KeyDown(int code) {
    const int length = int(std::strlen(input_));
    switch (code) {
        case KeyBackspace:
            if (cursor_ > 0) {
                std::memmove(input_ + cursor_ - 1, input_ + cursor_, size_t(length - cursor_ + 1));
                --cursor_;
            }
            break;
        case KeyReturn:
            Submit();
            break;
        case KeyCtrl:
            ctrlHeld_ = true;
            break;
        case KeyEnd:
            cursor_ = length;
            break;
        case KeyHome:
            cursor_ = 0;
            break;
        case KeyLeft:
            if (ctrlHeld_) {
                WordLeft();
            } else if (cursor_ > 0) {
                --cursor_;
            }
            break;
        case KeyRight:
            if (ctrlHeld_) {
                WordRight();
            } else if (cursor_ < length) {
                ++cursor_;
            }
            break;
        case KeyInsert:
            overwrite_ = !overwrite_;
            break;
        case KeyDelete:
            if (cursor_ < length) std::memmove(input_ + cursor_, input_ + cursor_ + 1, size_t(length - cursor_));
            break;
        default:
            break;
    }
}

void nChatServer::WordRight() {
    int c = cursor_;
    while (input_[c] == ' ') ++c;
    while (input_[c] && input_[c] != ' ') ++c;
    while (input_[c] == ' ') ++c;
    cursor_ = c;
}

void nChatServer::WordLeft() {
    int c = cursor_;
    while (c > 0 && input_[c - 1] == ' ') --c;
    while (c > 0 && input_[c - 1] != ' ') --c;
    cursor_ = c;
}

void nChatServer::Submit() {
    if (callback_[0]) {
        // The typed text is quoted as script texts are, so it never runs as code.
        std::string line = callback_;
        line += '(';
        nLuaWriter::AppendQuoted(line, input_, '\'');
        line += ')';
        const char* result = nullptr;
        refScript_.Get()->Run(line.c_str(), result);
    }
    input_[0] = 0;
    cursor_ = 0;
}

// ---------------------------------------------------------------------------------------
// Drawing

void nChatServer::Render() {
    if (!open_) return;
    nGfxServer* gfx = refGfx_.Get();
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    gfx->GetDisplayDesc(x0, y0, x1, y1);
    const int rows = (y1 - y0) / (FontSize * 2);
    // Too small a display for one row: nothing to draw (and no division by zero).
    if (rows <= 0) return;
    const double now = Now();

    // Up to 20 non-empty lines, newest first, by their age in the ring.
    constexpr int MaxShown = 20;
    int shown[MaxShown];
    int collected = 0;
    for (int age = 0; age < nChatBuffer::NumLines && collected < MaxShown; ++age) {
        if (buffer_.GetLine(age).length > 0) shown[collected++] = age;
    }

    const int extra = rows - MaxShown;
    const float h = 2.0f / float(rows);
    const int first = extra < collected - 1 ? extra : collected - 1;
    int last = first - extra;
    if (last < 0) last = 0;

    gfx->BeginText();
    float y = offsetY_;
    int expired = -1;
    for (int i = first; i >= last; --i) {
        const nChatBuffer::Line& line = buffer_.GetLine(shown[i]);
        const float age = float(now) - line.time;
        float t;
        if (age > fadeOutTime_) {
            t = fadeOutTime_ + 1.0f - age;
            if (t < 0.0f) {
                t = 0.0f;
                if (expired < 0) expired = shown[i];
            }
            // The block slides up as its top line fades.
            if (t < 1.0f) y -= (1.0f - t) * h;
        } else {
            t = age;
        }
        const float factor = std::fmin(1.0f, 2.0f * t);
        scratch_.assign(line.text);
        scratch_ += '\n';
        gfx->SetTextPos(offsetX_, y);
        gfx->SetTextColor(line.r, line.g, line.b, line.a * factor);
        gfx->Text(scratch_.c_str());
        y += h;
    }
    // One expired line leaves per frame.
    if (expired >= 0) buffer_.Remove(expired);

    if (inputEnabled_) {
        double whole;
        const char* mark = std::modf(now, &whole) > 0.5 ? "|" : " ";
        scratch_.assign("> ");
        scratch_.append(input_, size_t(cursor_));
        scratch_ += mark;
        scratch_ += input_ + cursor_;
        gfx->SetTextPos(offsetX_, offsetY_ + float(extra + 1) * h);
        gfx->SetTextColor(inputColor_[0], inputColor_[1], inputColor_[2], inputColor_[3]);
        gfx->Text(scratch_.c_str());
    }
    gfx->EndText();
}
