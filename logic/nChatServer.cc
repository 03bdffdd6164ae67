#include "logic/nChatServer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "gfx/nGfxServer.h"
#include "input/nInputServer.h"
#include "kernel/nFrameGuard.h"
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

namespace {
constexpr size_t RowWidth = nChatBuffer::LineCapacity - 1;
constexpr size_t LastRowWidth = RowWidth - nChatServer::CountWidth;
constexpr char CutMark[] = "[...]";
constexpr size_t CutMarkLength = sizeof(CutMark) - 1;
constexpr size_t ReportSize = nChatServer::MaxReportRows * nChatBuffer::LineCapacity + 1;

uint64_t HashText(const char* text) {
    uint64_t h = 14695981039346656037ull;
    for (const char* p = text; *p; ++p) h = (h ^ static_cast<unsigned char>(*p)) * 1099511628211ull;
    return h;
}

// `n` or fewer bytes of `p`, so that they end after a whole character's UTF-8.
size_t WholeCharacters(const char* p, size_t n) {
    size_t end = n;
    while (end > 0 && n - end < 3 && (static_cast<unsigned char>(p[end]) & 0xC0) == 0x80) end--;
    return end > 0 && (static_cast<unsigned char>(p[end]) & 0xC0) != 0x80 ? end : n;
}

// Writes `text` into `out` as the rows of a report, as the ring will split them: a row ends
// at a line feed or when full, the last row keeps room for the count, and a text that
// needs more rows is cut with the mark. Returns where the last row starts in `out`.
size_t LayOutReport(const char* text, char (&out)[ReportSize]) {
    size_t n = 0;
    // The ring drops carriage returns; a space keeps the row as long as counted.
    auto put = [&](const char* from, size_t count) {
        for (size_t i = 0; i < count; i++) out[n++] = from[i] == '\r' ? ' ' : from[i];
    };
    const char* p = text;
    size_t last = 0;
    for (int row = 0;; row++) {
        const size_t line = std::strcspn(p, "\n");
        // Line feeds that end the text make no rows.
        const bool lastLine = p[line + std::strspn(p + line, "\r\n")] == 0;
        last = n;
        if (lastLine && line <= LastRowWidth) {
            put(p, line);
            break;
        }
        if (row == nChatServer::MaxReportRows - 1) {
            put(p, WholeCharacters(p, std::min(line, LastRowWidth - CutMarkLength)));
            put(CutMark, CutMarkLength);
            break;
        }
        size_t take = std::min(line, RowWidth);
        // All that is left fits one full row but not the last row's room: split it.
        if (lastLine && take == line) take = LastRowWidth;
        if (take < line) {
            // A row breaks after a word (its space ends the row) where one ends in its second
            // half, so that the next row does not start with a word's tail; without one, it
            // still leaves no lone character (a closing quote) to a row of its own.
            size_t space = std::min(take, RowWidth - 1);
            while (space > take / 2 && p[space] != ' ') space--;
            if (p[space] == ' ' && space > take / 2) {
                take = space + 1;
            } else if (line - take == 1) {
                take--;
            }
            take = WholeCharacters(p, take);
        }
        put(p, take);
        p += take;
        if (take == line && *p == '\n') p++;
        // A full row ends by itself in the ring; a line feed after it would add an empty one.
        if (take < RowWidth) out[n++] = '\n';
    }
    out[n] = 0;
    return last;
}
}  // namespace

void nChatServer::AddReport(const char* text, float r, float g, float b, float a) {
    if (!text) return;
    const uint64_t hash = HashText(text);
    for (Report& report : reports_) {
        if (report.count == 0 || report.hash != hash) continue;
        nChatBuffer::Line* row = ShownRow(report);
        if (!row) continue;
        if (report.count < 999999) report.count++;
        const size_t base = std::strlen(report.row);
        std::snprintf(row->text + base, sizeof(row->text) - base, " (x%d)", report.count);
        row->length = int(std::strlen(row->text));
        return;
    }
    char rows[ReportSize];
    const size_t last = LayOutReport(text, rows);
    Add(rows, r, g, b, a);
    Report& report = reports_[nextReport_];
    nextReport_ = (nextReport_ + 1) % NumReports;
    report.hash = hash;
    report.index = buffer_.GetNewest();
    report.time = buffer_.GetLine(0).time;
    report.count = 1;
    nKernelServer::StrCopy(report.row, rows + last, sizeof(report.row));
}

nChatBuffer::Line* nChatServer::ShownRow(const Report& report) {
    const int newest = buffer_.GetNewest();
    const int age = (newest - report.index + nChatBuffer::NumLines) % nChatBuffer::NumLines;
    nChatBuffer::Line& line = buffer_.GetLine(age);
    if (line.length == 0 || line.time != report.time) return nullptr;
    if (float(Now()) - line.time > fadeOutTime_ + 1.0f) return nullptr;
    const size_t base = std::strlen(report.row);
    if (std::strncmp(line.text, report.row, base) != 0) return nullptr;
    if (line.text[base] != 0 && std::strncmp(line.text + base, " (x", 3) != 0) return nullptr;
    int newer = 0;
    for (int i = 0; i < age; i++) {
        if (buffer_.GetLine(i).length > 0 && ++newer >= MaxShown) return nullptr;
    }
    return &line;
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
    callbackOrigin_ = nScriptServer::CurrentOrigin();
}

// ---------------------------------------------------------------------------------------
// Input line

void nChatServer::HandleInput() {
    if (!open_ || !inputEnabled_) return;
    nInputServer* input = refInput_.Resolve();
    if (!input) return;
    // The callback's script may delete this server or the input server: both are freed
    // once the step returns, and a deleted chat reads no further events.
    nFrameGuard running(this);
    nFrameGuard inputRunning(input);
    for (nInputEvent* e = input->FirstEvent(); e && !nFrameGuard::IsReleasePending(this); e = nInputServer::NextEvent(e)) {
        switch (e->type) {
            case N_INPUT_KEY_CHAR:
                // Characters are single bytes in the game's code page.
                if (e->number >= 32 && e->number < 256) input_.Type(char(e->number));
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

void nChatServer::KeyDown(int code) {
    switch (code) {
        case KeyBackspace: input_.Backspace(); break;
        case KeyReturn: Submit(); break;
        case KeyCtrl: ctrlHeld_ = true; break;
        case KeyEnd: input_.End(); break;
        case KeyHome: input_.Home(); break;
        case KeyLeft: ctrlHeld_ ? input_.WordLeft() : input_.Left(); break;
        case KeyRight: ctrlHeld_ ? input_.WordRight() : input_.Right(); break;
        case KeyInsert: input_.ToggleOverwrite(); break;
        case KeyDelete: input_.Delete(); break;
        default: break;
    }
}

void nChatServer::Submit() {
    if (callback_[0]) {
        // The typed text is quoted as script texts are, so it never runs as code.
        std::string line = callback_;
        line += '(';
        nLuaWriter::AppendQuoted(line, input_.GetText(), '\'');
        line += ')';
        const char* result = nullptr;
        refScript_.Get()->RunStored(line.c_str(), callbackOrigin_, result);
    }
    input_.Clear();
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

    // Up to MaxShown non-empty lines, newest first, by their age in the ring.
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
        scratch_.append(input_.GetText(), size_t(input_.GetCursor()));
        scratch_ += mark;
        scratch_ += input_.GetText() + input_.GetCursor();
        gfx->SetTextPos(offsetX_, offsetY_ + float(extra + 1) * h);
        gfx->SetTextColor(inputColor_[0], inputColor_[1], inputColor_[2], inputColor_[3]);
        gfx->Text(scratch_.c_str());
    }
    gfx->EndText();
}
