#include "platform/ui/EditorControl.h"

#include <imgui.h>
#include <imgui_internal.h>
#include <imgui_stdlib.h>

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#include "platform/ui/Host.h"
#include "platform/ui/ToolWindow.h"

namespace ui {

namespace {

bool IsWordByte(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return std::isalnum(u) != 0 || c == '_' || u >= 0x80;
}

ImU32 ToColour(unsigned windowsColour)
{
    // 0x00BBGGRR is ImGui's packing already; only alpha is missing.
    return (windowsColour & 0xFFFFFFu) | 0xFF000000u;
}

ImFont* MonoFont()
{
    ImFontAtlas* fonts = ImGui::GetIO().Fonts;
    return fonts->Fonts.Size > 1 ? fonts->Fonts[1] : fonts->Fonts[0];
}

bool StartsWith(const std::string& entry, std::string_view word, bool ignoreCase)
{
    if (entry.size() < word.size()) return false;
    for (size_t i = 0; i < word.size(); i++) {
        const char a = entry[i];
        const char b = word[i];
        if (ignoreCase ? std::tolower(static_cast<unsigned char>(a)) != std::tolower(static_cast<unsigned char>(b))
                       : a != b) {
            return false;
        }
    }
    return true;
}

// Keeps a key press from ImGui's own handling this frame without making it look new
// in the next one.
void SwallowKey(int key)
{
    ImGuiIO& io = ImGui::GetIO();
    if (io.KeysDown[key] && io.KeysDownDuration[key] == 0.0f) io.KeysDownDuration[key] = 1e-4f;
}

// The text is bytes, mostly UTF-8 as the game's scripts are; ImGui's buffer must be UTF-8.
// A valid character passes as it is; any other byte stands as a private character of its
// own (U+F780 to U+F7FF), so that text the person did not touch comes back as it was.
constexpr uint32_t kRawBase = 0xF700;

// The length of the UTF-8 character at `p` (1 to 4), or 0 where `p` starts none, or starts
// one of the private characters that stand for bytes (those bytes stand for themselves).
size_t CharLength(const unsigned char* p, const unsigned char* end)
{
    const unsigned lead = p[0];
    if (lead < 0x80) return 1;
    const size_t n = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (n == 0 || static_cast<size_t>(end - p) < n) return 0;
    uint32_t c = lead & (0x7Fu >> n);
    for (size_t k = 1; k < n; k++) {
        if ((p[k] & 0xC0) != 0x80) return 0;
        c = (c << 6) | (p[k] & 0x3Fu);
    }
    const bool overlong = (n == 3 && c < 0x800) || (n == 4 && c < 0x10000);
    if (overlong || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    if (c >= kRawBase + 0x80 && c <= kRawBase + 0xFF) return 0;
    return n;
}

// The byte that the buffer's character at `p` stands for, or -1 where it stands for itself.
int RawByte(const unsigned char* p, const unsigned char* end)
{
    if (end - p < 3 || p[0] != 0xEF || (p[1] != 0x9E && p[1] != 0x9F) || (p[2] & 0xC0) != 0x80) return -1;
    return static_cast<int>(((p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu)) - (kRawBase & 0xFFF));
}

// The first byte from `p` on that is not ASCII, eight at a time.
const char* AsciiEnd(const char* p, const char* end)
{
    uint64_t eight = 0;
    while (end - p >= 8 && (std::memcpy(&eight, p, 8), (eight & 0x8080808080808080ull) == 0)) p += 8;
    while (p < end && static_cast<unsigned char>(*p) < 0x80) ++p;
    return p;
}

void AppendUtf8(const char* begin, const char* end, std::string& out)
{
    const char* p = begin;
    while (p < end) {
        // ASCII runs are copied as they are.
        const char* run = p;
        p = AsciiEnd(p, end);
        out.append(run, p);
        if (p == end) break;
        const auto* u = reinterpret_cast<const unsigned char*>(p);
        if (const size_t n = CharLength(u, reinterpret_cast<const unsigned char*>(end))) {
            out.append(p, n);
            p += n;
            continue;
        }
        const uint32_t c = kRawBase + *u;
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
        p++;
    }
}

// Back to the text's bytes.
void FromUtf8(const std::string& utf8, std::string& out)
{
    out.clear();
    const auto* end = reinterpret_cast<const unsigned char*>(utf8.data() + utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const size_t run = i;
        i = static_cast<size_t>(AsciiEnd(utf8.data() + i, utf8.data() + utf8.size()) - utf8.data());
        out.append(utf8, run, i - run);
        if (i == utf8.size()) break;
        const auto* u = reinterpret_cast<const unsigned char*>(utf8.data() + i);
        if (const int raw = RawByte(u, end); raw >= 0) {
            out += static_cast<char>(raw);
            i += 3;
        } else {
            const size_t n = std::max<size_t>(1, CharLength(u, end));
            out.append(utf8, i, n);
            i += n;
        }
    }
}

// Byte offsets between the buffer and the text: a byte that stands as a private character
// takes three bytes of the buffer.
size_t TextOffset(const char* utf8, int offset)
{
    const auto* u = reinterpret_cast<const unsigned char*>(utf8);
    size_t n = 0;
    for (int i = 0; i < offset; n++) i += RawByte(u + i, u + offset) >= 0 ? 3 : 1;
    return n;
}

int BufferOffset(const std::string& text, size_t offset)
{
    const auto* u = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* end = u + std::min(offset, text.size());
    int n = 0;
    for (const unsigned char* p = u; p < end;) {
        const size_t length = CharLength(p, end);
        n += length ? static_cast<int>(length) : 3;
        p += length ? length : 1;
    }
    return n;
}

}  // namespace

EditorControl::EditorControl(Host* host) : host(host)
{
}

void EditorControl::ToInput(const std::string& text, std::string& utf8)
{
    utf8.clear();
    AppendUtf8(text.data(), text.data() + text.size(), utf8);
}

void EditorControl::FromInput(const std::string& utf8, std::string& text)
{
    FromUtf8(utf8, text);
}

void EditorControl::SetText(const std::string& newText)
{
    this->Edit(0, this->text.size(), newText);
    this->SetSelection(0, 0);
}

std::string EditorControl::GetTextRange(size_t start, size_t end) const
{
    start = std::min(start, this->text.size());
    end = std::min(std::max(end, start), this->text.size());
    return this->text.substr(start, end - start);
}

void EditorControl::SetSelection(size_t newAnchor, size_t newCaret)
{
    this->anchor = std::min(newAnchor, this->text.size());
    this->caret = std::min(newCaret, this->text.size());
    this->pushText = true;
}

void EditorControl::TypeCharacter(char c, bool ctrl)
{
    // Ctrl+Space's space asks for a completion; it is no letter of the typed word and
    // goes again before the list is asked for.
    this->completionRequest = ctrl && c == ' ';
    this->ReplaceSelection(std::string(1, c));
    this->completionRequest = false;
    this->Notify([this, c, ctrl] {
        this->ctrlHeld = ctrl;
        if (this->onCharAdded) this->onCharAdded(static_cast<unsigned char>(c));
        this->ctrlHeld = false;
    });
}

void EditorControl::ReplaceSelection(const std::string& inserted)
{
    this->Edit(std::min(this->anchor, this->caret), std::max(this->anchor, this->caret), inserted);
}

void EditorControl::DeleteBack()
{
    if (this->anchor != this->caret) {
        this->ReplaceSelection("");
    } else if (this->caret > 0) {
        this->Edit(this->caret - 1, this->caret, "");
    }
}

void EditorControl::Clear()
{
    if (this->anchor != this->caret) {
        this->ReplaceSelection("");
    } else if (this->caret < this->text.size()) {
        this->Edit(this->caret, this->caret + 1, "");
    }
}

void EditorControl::Edit(size_t start, size_t end, const std::string& inserted)
{
    start = std::min(start, this->text.size());
    end = std::min(std::max(end, start), this->text.size());
    if (start == end && inserted.empty()) return;
    this->undo.push_back({start, this->text.substr(start, end - start), inserted, this->caret, this->anchor});
    this->redo.clear();
    this->Apply(start, end - start, inserted);
    this->caret = this->anchor = start + inserted.size();
    this->FollowCompletion();
    this->Modified();
}

bool EditorControl::ReplaceUntracked(size_t start, size_t end, const std::string& with)
{
    if (start > end || end > this->text.size()) return false;
    // Newest first, the undo steps must lie wholly after the span until one that inserted
    // it whole (the texts before that one never held it); the redo steps wholly after it.
    size_t after = 0;  // the first step that lies after the span
    for (size_t i = this->undo.size(); i-- > 0;) {
        const Step& step = this->undo[i];
        if (step.position >= end) continue;
        if (step.position > start || step.position + step.inserted.size() < end) return false;
        after = i + 1;
        break;
    }
    for (const Step& step : this->redo) {
        if (step.position < end) return false;
    }
    const size_t length = end - start;
    const auto shift = [&](size_t& p) {
        if (p >= end) p = p - length + with.size();
        else if (p > start) p = std::min(p, start + with.size());
    };
    for (size_t i = after; i < this->undo.size(); i++) {
        shift(this->undo[i].position);
        shift(this->undo[i].caretBefore);
        shift(this->undo[i].anchorBefore);
    }
    if (after > 0) {
        Step& holder = this->undo[after - 1];
        holder.inserted.replace(start - holder.position, length, with);
    }
    for (Step& step : this->redo) {
        shift(step.position);
        shift(step.caretBefore);
        shift(step.anchorBefore);
    }
    this->Apply(start, length, with);
    shift(this->caret);
    shift(this->anchor);
    if (this->completionStart > start) shift(this->completionStart);
    return true;
}

void EditorControl::Apply(size_t start, size_t removedLength, const std::string& inserted)
{
    this->text.replace(start, removedLength, inserted);
    this->stylerStale = true;
    this->bufferStale = true;
    this->pushText = true;
}

void EditorControl::Undo()
{
    if (this->undo.empty()) return;
    Step step = std::move(this->undo.back());
    this->undo.pop_back();
    this->Apply(step.position, step.inserted.size(), step.removed);
    this->caret = step.caretBefore;
    this->anchor = step.anchorBefore;
    this->redo.push_back(std::move(step));
    this->FollowCompletion();
    this->Modified();
}

void EditorControl::Redo()
{
    if (this->redo.empty()) return;
    Step step = std::move(this->redo.back());
    this->redo.pop_back();
    this->Apply(step.position, step.removed.size(), step.inserted);
    this->caret = this->anchor = step.position + step.inserted.size();
    this->undo.push_back(std::move(step));
    this->FollowCompletion();
    this->Modified();
}

void EditorControl::EmptyUndoBuffer()
{
    this->undo.clear();
    this->redo.clear();
}

void EditorControl::Cut()
{
    if (this->anchor == this->caret) return;
    this->Copy();
    this->ReplaceSelection("");
}

void EditorControl::Copy()
{
    if (this->anchor == this->caret || this->host == nullptr) return;
    const size_t start = std::min(this->anchor, this->caret);
    this->host->SetClipboardText(this->text.substr(start, std::max(this->anchor, this->caret) - start));
}

void EditorControl::Paste()
{
    if (this->host == nullptr) return;
    const std::string pasted = this->host->GetClipboardText();
    if (!pasted.empty() || this->anchor != this->caret) this->ReplaceSelection(pasted);
}

size_t EditorControl::WordStartPosition(size_t position) const
{
    position = std::min(position, this->text.size());
    while (position > 0 && IsWordByte(this->text[position - 1])) position--;
    return position;
}

const LuaStyler& EditorControl::GetStyler()
{
    if (this->stylerStale) {
        this->styler.Update(this->text);
        this->stylerStale = false;
    }
    return this->styler;
}

int EditorControl::LineFromPosition(size_t position)
{
    return this->GetStyler().LineFromPosition(position);
}

size_t EditorControl::PositionFromLine(int line)
{
    return this->GetStyler().LineStart(line);
}

int EditorControl::GetLineCount()
{
    return this->GetStyler().GetLineCount();
}

void EditorControl::ShowCompletion(int typedLength, const std::string& list)
{
    this->completionEntries.clear();
    // Entries are separated by single spaces, so two in a row make an empty entry.
    size_t start = 0;
    while (true) {
        const size_t space = list.find(' ', start);
        this->completionEntries.push_back(list.substr(start, space == std::string::npos ? std::string::npos
                                                                                          : space - start));
        if (space == std::string::npos) break;
        start = space + 1;
    }
    this->completionStart = this->caret - static_cast<size_t>(std::clamp(typedLength, 0, static_cast<int>(this->caret)));
    this->completionSelection = 0;
    this->completionActive = true;
    this->completionScroll = true;
}

void EditorControl::SelectCompletion(const std::string& word)
{
    for (size_t i = 0; i < this->completionEntries.size(); i++) {
        if (StartsWith(this->completionEntries[i], word, this->completionIgnoreCase)) {
            this->completionSelection = static_cast<int>(i);
            this->completionScroll = true;
            return;
        }
    }
}

bool EditorControl::CompletionWord(size_t& start) const
{
    if (this->completionStart > this->caret) return false;
    start = this->completionStart;
    return true;
}

void EditorControl::FollowCompletion()
{
    if (!this->completionActive || this->completionRequest) return;
    size_t start = 0;
    if (this->CompletionWord(start)) {
        const std::string_view word(this->text.data() + start, this->caret - start);
        for (size_t i = 0; i < this->completionEntries.size(); i++) {
            if (StartsWith(this->completionEntries[i], word, this->completionIgnoreCase)) {
                this->completionScroll = this->completionScroll || this->completionSelection != static_cast<int>(i);
                this->completionSelection = static_cast<int>(i);
                return;
            }
        }
    }
    this->completionActive = false;
}

bool EditorControl::GetCompletionRowsShown(int& first, int& last) const
{
    if (!this->drawn || !this->completionActive || this->completionLastShown < this->completionFirstShown) return false;
    first = this->completionFirstShown;
    last = this->completionLastShown;
    return true;
}

void EditorControl::PickCompletion(int entry)
{
    if (!this->completionActive || entry < 0 || entry >= static_cast<int>(this->completionEntries.size())) return;
    this->completionActive = false;
    // Only the typed word goes, and only for an entry it begins.
    size_t start = 0;
    const std::string& chosen = this->completionEntries[static_cast<size_t>(entry)];
    if (!this->CompletionWord(start) ||
        !StartsWith(chosen, std::string_view(this->text.data() + start, this->caret - start), this->completionIgnoreCase)) {
        return;
    }
    this->Edit(start, this->caret, chosen);
}

void EditorControl::SetKeywords(int set, const std::string& words)
{
    this->keywords[set] = words;
    if (set == 0) {
        this->styler.SetKeywords(words);
        this->stylerStale = true;
    }
}

std::string EditorControl::GetKeywords(int set) const
{
    const auto it = this->keywords.find(set);
    return it != this->keywords.end() ? it->second : std::string();
}

EditorControl::Style* EditorControl::GetStyle(int style)
{
    return style >= 0 && style < kStyles ? &this->styles[style] : nullptr;
}

const EditorControl::Style* EditorControl::GetStyle(int style) const
{
    return style >= 0 && style < kStyles ? &this->styles[style] : nullptr;
}

std::string EditorControl::GetProperty(const std::string& name) const
{
    const auto it = this->properties.find(name);
    return it != this->properties.end() ? it->second : std::string();
}

EditorControl::Margin* EditorControl::GetMargin(int margin)
{
    return margin >= 0 && margin < kMargins ? &this->margins[margin] : nullptr;
}

EditorControl::Marker* EditorControl::GetMarker(int marker)
{
    return marker >= 0 && marker < kMarkers ? &this->markers[marker] : nullptr;
}

void EditorControl::MarginClick(int margin, size_t position)
{
    const Margin* m = this->GetMargin(margin);
    if (m == nullptr || !m->sensitive) return;
    this->Notify([this, margin, position] {
        if (this->onMarginClick) this->onMarginClick(margin, position);
    });
}

void EditorControl::Notify(std::function<void()> note)
{
    if (this->building) {
        this->pending.push_back(std::move(note));
    } else {
        note();
    }
}

void EditorControl::Modified()
{
    this->Notify([this] {
        if (this->onModified) this->onModified();
    });
}

bool EditorControl::GetScreenPosition(size_t position, float& x, float& y) const
{
    if (!this->drawn || this->host == nullptr) return false;
    ImGuiContext* previous = ImGui::GetCurrentContext();
    ImGui::SetCurrentContext(this->host->GetContext());
    const LuaStyler& s = this->styler;
    position = std::min(position, s.GetLength());
    const int line = s.LineFromPosition(position);
    const size_t start = s.LineStart(line);
    ImFont* mono = MonoFont();
    std::string& utf8 = this->drawn8;
    utf8.clear();
    AppendUtf8(this->text.data() + start, this->text.data() + position, utf8);
    x = this->textX + mono->CalcTextSizeA(mono->FontSize, FLT_MAX, 0.0f, utf8.data(), utf8.data() + utf8.size()).x;
    y = this->textY + static_cast<float>(line) * this->lineHeight;
    ImGui::SetCurrentContext(previous);
    return true;
}

bool EditorControl::GetMarginScreenRange(int margin, float& left, float& right) const
{
    if (!this->drawn || margin < 0 || margin >= kMargins || this->marginRight[margin] <= this->marginLeft[margin]) {
        return false;
    }
    left = this->marginLeft[margin];
    right = this->marginRight[margin];
    return true;
}

bool EditorControl::GetCompletionScreenPosition(float& x, float& y) const
{
    if (!this->drawn || !this->completionActive) return false;
    x = this->completionX;
    y = this->completionY;
    return true;
}

namespace {

int Callback(ImGuiInputTextCallbackData* data)
{
    auto* selection = static_cast<std::pair<size_t, size_t>*>(data->UserData);
    // Only the caret and selection come out: text changes are read from the buffer. An
    // empty selection may be left where it was made while the caret moved on: it is none.
    const int start = data->SelectionStart, end = data->SelectionEnd, cursor = data->CursorPos;
    const int anchor = start == end ? cursor : start == cursor ? end : end == cursor ? start : cursor;
    selection->first = TextOffset(data->Buf, anchor);
    selection->second = TextOffset(data->Buf, cursor);
    return 0;
}

int PushCallback(ImGuiInputTextCallbackData* data)
{
    auto* pushed = static_cast<std::pair<const std::string*, std::pair<int, int>>*>(data->UserData);
    // ImGui takes the room from the string handed in, which grows with a paste or an edit of
    // the model; the input's own copy may be smaller: that room is what it has, so that a
    // longer text makes it grow its copy instead of writing past it.
    ImGuiInputTextState& state = GImGui->InputTextState;
    data->BufSize = state.BufCapacityA = std::min(data->BufSize, state.TextA.Capacity);
    data->DeleteChars(0, data->BufTextLen);
    data->InsertChars(0, pushed->first->data(), pushed->first->data() + pushed->first->size());
    data->SelectionStart = pushed->second.first;
    data->CursorPos = data->SelectionEnd = pushed->second.second;
    return 0;
}

}  // namespace

void EditorControl::Build(ToolWindow& window, float width, float height)
{
    this->building = true;
    ImGuiIO& io = ImGui::GetIO();
    ImFont* mono = MonoFont();
    ImGui::PushFont(mono);
    ImGui::PushID(this);
    this->lineHeight = mono->FontSize;
    const LuaStyler& s = this->GetStyler();

    // Margins left of the text: clicks in a sensitive one reach the owner with the line. A
    // line-number margin widens to the widest number, so that every number shows whole.
    char number[16];
    const int digits = std::snprintf(number, sizeof number, "%d", s.GetLineCount());
    const float numbersWidth =
        std::ceil(mono->CalcTextSizeA(mono->FontSize, FLT_MAX, 0.0f, number, number + digits).x) + 4.0f;
    float widths[kMargins];
    float marginWidth = 0.0f;
    for (int m = 0; m < kMargins; m++) {
        const Margin& margin = this->margins[m];
        widths[m] = static_cast<float>(std::max(margin.width, 0));
        if (margin.type == 1 && margin.width > 0) widths[m] = std::max(widths[m], numbersWidth);
        marginWidth += widths[m];
    }
    const ImVec2 topLeft = ImGui::GetCursorScreenPos();
    width = std::max(width, marginWidth + 8.0f);
    height = std::max(height, this->lineHeight + 8.0f);

    // Keys the control answers itself while its input has the keyboard.
    if (this->wasActive && io.KeyCtrl) {
        if (ImGui::IsKeyPressed('Z')) this->Undo();
        if (ImGui::IsKeyPressed('Y')) this->Redo();
        if (ImGui::IsKeyPressed('X')) this->Cut();
        if (ImGui::IsKeyPressed('C')) this->Copy();
        if (ImGui::IsKeyPressed('V')) this->Paste();
        // Ctrl+Space asks for a completion: its space goes in at the caret, never over the
        // selection, whose text the person did not remove.
        if (ImGui::IsKeyPressed(' ')) {
            this->SetCaret(this->caret);
            this->TypeCharacter(' ', true);
        }
        for (int key : {'Z', 'Y', 'X', 'C', 'V', ' '}) SwallowKey(key);
    }
    if (this->completionActive && this->wasActive) {
        const int count = static_cast<int>(this->completionEntries.size());
        const int chosen = this->completionSelection;
        if (ImGui::IsKeyPressed(38)) this->completionSelection = std::max(0, this->completionSelection - 1);
        if (ImGui::IsKeyPressed(40)) this->completionSelection = std::min(count - 1, this->completionSelection + 1);
        if (this->completionSelection != chosen) this->completionScroll = true;
        if (ImGui::IsKeyPressed(27)) this->completionActive = false;
        if (ImGui::IsKeyPressed(13) || ImGui::IsKeyPressed(9)) this->PickCompletion(this->completionSelection);
        for (int key : {38, 40, 27, 13, 9}) SwallowKey(key);
    }

    // The input shows the model; an edit made while it has the keyboard is pushed in.
    std::pair<const std::string*, std::pair<int, int>> pushed{
        &this->buffer, {BufferOffset(this->text, this->anchor), BufferOffset(this->text, this->caret)}};
    std::pair<size_t, size_t> selection{this->anchor, this->caret};
    const bool push = this->pushText && this->wasActive;
    if (this->bufferStale) {
        this->buffer.clear();
        AppendUtf8(this->text.data(), this->text.data() + this->text.size(), this->buffer);
        this->bufferStale = false;
    }
    this->pushText = false;

    const Style& back = this->styles[32];
    ImGui::PushStyleColor(ImGuiCol_FrameBg, ToColour(back.back));
    ImGui::PushStyleColor(ImGuiCol_Text, IM_COL32(0, 0, 0, 0));
    ImGui::SetCursorScreenPos(ImVec2(topLeft.x + marginWidth, topLeft.y));
    const ImGuiID inputId = ImGui::GetID("##text");
    const bool changed = ImGui::InputTextMultiline("##text", &this->buffer, ImVec2(width - marginWidth, height),
                              ImGuiInputTextFlags_AllowTabInput | ImGuiInputTextFlags_NoUndoRedo |
                                  ImGuiInputTextFlags_CallbackAlways,
                              push ? PushCallback : Callback, push ? static_cast<void*>(&pushed) : &selection);
    const bool active = ImGui::IsItemActive();
    // Escape takes the input back to what it held when it took the keyboard; the text
    // keeps every edit, and the input shows it again.
    if (changed && !active) this->bufferStale = true;
    ImGui::PopStyleColor(2);
    if (!push && active) {
        if (changed) FromUtf8(this->buffer, this->edited);
        const std::string& now = this->edited;
        if (changed && now != this->text) {
            // The input edited: one undo step for the changed span.
            size_t head = 0;
            const size_t common = std::min(now.size(), this->text.size());
            while (head < common && now[head] == this->text[head]) head++;
            size_t tail = 0;
            while (tail < common - head && now[now.size() - 1 - tail] == this->text[this->text.size() - 1 - tail]) {
                tail++;
            }
            const std::string inserted = now.substr(head, now.size() - tail - head);
            const bool typed = inserted.size() == 1 && this->text.size() + 1 == now.size();
            this->Edit(head, this->text.size() - tail, inserted);
            if (typed) {
                const char c = inserted[0];
                this->Notify([this, c] {
                    if (this->onCharAdded) this->onCharAdded(static_cast<unsigned char>(c));
                });
            }
            this->pushText = false;
        }
        this->anchor = std::min(selection.first, this->text.size());
        this->caret = std::min(selection.second, this->text.size());
    }
    this->wasActive = active;

    // The input's own scrolling child: our glyphs go over its text at its scroll offset.
    ImGuiWindow* child = nullptr;
    for (ImGuiWindow* w : GImGui->Windows) {
        if (w->ChildId == inputId && (w->Flags & ImGuiWindowFlags_ChildWindow) != 0) child = w;
    }
    const ImGuiStyle& style = ImGui::GetStyle();
    if (child != nullptr) {
        this->textX = child->Pos.x + style.FramePadding.x - child->Scroll.x;
        this->textY = child->Pos.y + style.FramePadding.y - child->Scroll.y;
        this->DrawText(child, this->textX, this->textY);
        ImDrawList* list = child->DrawList;
        if (active) {
            float cx = 0.0f, cy = 0.0f;
            this->drawn = true;
            this->GetScreenPosition(this->caret, cx, cy);
            list->PushClipRect(child->InnerClipRect.Min, child->InnerClipRect.Max, true);
            list->AddRectFilled(ImVec2(cx, cy), ImVec2(cx + 1.0f, cy + this->lineHeight), IM_COL32(0, 0, 0, 255));
            list->PopClipRect();
        }
    }

    // Margins: their background, line numbers in the number margins, click targets.
    ImDrawList* list = ImGui::GetWindowDrawList();
    float mx = topLeft.x;
    for (int m = 0; m < kMargins; m++) {
        const Margin& margin = this->margins[m];
        this->marginLeft[m] = this->marginRight[m] = mx;
        if (widths[m] <= 0.0f) continue;
        const float w = widths[m];
        this->marginRight[m] = mx + w;
        list->AddRectFilled(ImVec2(mx, topLeft.y), ImVec2(mx + w, topLeft.y + height), IM_COL32(224, 224, 224, 255));
        ImGui::SetCursorScreenPos(ImVec2(mx, topLeft.y));
        ImGui::PushID(m);
        if (ImGui::InvisibleButton("margin", ImVec2(w, height)) && this->lineHeight > 0.0f) {
            const int line = static_cast<int>((io.MousePos.y - this->textY) / this->lineHeight);
            this->MarginClick(m, s.LineStart(std::clamp(line, 0, s.GetLineCount() - 1)));
        }
        ImGui::PopID();
        if (margin.type == 1 && this->lineHeight > 0.0f) {
            list->PushClipRect(ImVec2(mx, topLeft.y), ImVec2(mx + w, topLeft.y + height), true);
            const int first = std::max(0, static_cast<int>((topLeft.y - this->textY) / this->lineHeight));
            const int last = std::min(s.GetLineCount(),
                                      static_cast<int>((topLeft.y + height - this->textY) / this->lineHeight) + 1);
            for (int line = first; line < last; line++) {
                const int n = std::snprintf(number, sizeof number, "%d", line + 1);
                const float nw = mono->CalcTextSizeA(mono->FontSize, FLT_MAX, 0.0f, number, number + n).x;
                list->AddText(mono, mono->FontSize,
                              ImVec2(mx + w - nw - 2.0f, this->textY + static_cast<float>(line) * this->lineHeight),
                              IM_COL32(0, 0, 0, 255), number, number + n);
            }
            list->PopClipRect();
        }
        mx += w;
    }
    ImGui::SetCursorScreenPos(ImVec2(topLeft.x, topLeft.y + height));
    ImGui::Dummy(ImVec2(0.0f, 0.0f));
    this->drawn = child != nullptr;

    // The completion list below the caret, over everything; empty entries are blank lines.
    if (this->completionActive && this->drawn) {
        float cx = 0.0f, cy = 0.0f;
        this->GetScreenPosition(this->caret, cx, cy);
        this->completionX = cx;
        this->completionY = cy + this->lineHeight;
        ImGui::SetNextWindowPos(ImVec2(this->completionX, this->completionY), ImGuiCond_Always);
        ImGui::SetNextWindowSizeConstraints(ImVec2(80.0f, 0.0f), ImVec2(400.0f, 10.0f * this->lineHeight + 8.0f));
        const ImGuiWindowFlags flags = ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_AlwaysAutoResize |
                                       ImGuiWindowFlags_NoFocusOnAppearing | ImGuiWindowFlags_NoNav |
                                       ImGuiWindowFlags_NoSavedSettings;
        char name[48];
        std::snprintf(name, sizeof name, "##completion%d", window.GetId());
        this->completionFirstShown = 0;
        this->completionLastShown = -1;
        if (ImGui::Begin(name, nullptr, flags)) {
            ImGuiWindow* listWindow = ImGui::GetCurrentWindow();
            ImGui::BringWindowToDisplayFront(listWindow);
            const ImRect shown = listWindow->InnerRect;
            // A list that appears is measured in a hidden frame first: nothing shows to scroll to.
            const bool measuring = listWindow->HiddenFramesCannotSkipItems > 0 || listWindow->HiddenFramesCanSkipItems > 0;
            for (size_t i = 0; i < this->completionEntries.size(); i++) {
                ImGui::PushID(static_cast<int>(i));
                const std::string& entry = this->completionEntries[i];
                const int row = static_cast<int>(i);
                ImGui::Selectable("##entry", row == this->completionSelection);
                ImGui::SameLine(4.0f);
                ImGui::TextUnformatted(entry.data(), entry.data() + entry.size());
                if (ImGui::IsItemClicked()) this->completionSelection = row;
                const ImVec2 top = ImGui::GetItemRectMin(), bottom = ImGui::GetItemRectMax();
                const bool whole = !measuring && top.y >= shown.Min.y && bottom.y <= shown.Max.y;
                if (whole && this->completionLastShown < this->completionFirstShown) this->completionFirstShown = row;
                if (whole) this->completionLastShown = row;
                // A choice moved by keys or typing is scrolled into sight, at the edge it left by.
                if (this->completionScroll && !measuring && row == this->completionSelection && !whole) {
                    ImGui::SetScrollHereY(top.y < shown.Min.y ? 0.0f : 1.0f);
                }
                ImGui::PopID();
            }
            if (!measuring) this->completionScroll = false;
        }
        ImGui::End();
    }

    ImGui::PopID();
    ImGui::PopFont();
    this->building = false;
    // One job each: a note that deletes the window drops the ones after it.
    for (std::function<void()>& note : this->pending) window.Defer(std::move(note));
    this->pending.clear();
}

void EditorControl::DrawText(ImGuiWindow* child, float originX, float originY)
{
    if (this->lineHeight <= 0.0f) return;
    const LuaStyler& s = this->GetStyler();
    const float left = child->InnerClipRect.Min.x;
    const float right = child->InnerClipRect.Max.x;
    const float clipTop = child->InnerClipRect.Min.y;
    const float clipBottom = child->InnerClipRect.Max.y;
    ImDrawList* list = child->DrawList;
    ImFont* mono = MonoFont();
    const float size = mono->FontSize;
    list->PushClipRect(ImVec2(left, clipTop), ImVec2(right, clipBottom), true);
    const int first = std::max(0, static_cast<int>((clipTop - originY) / this->lineHeight));
    const int last = std::min(s.GetLineCount(), static_cast<int>((clipBottom - originY) / this->lineHeight) + 1);
    const char* data = this->text.data();
    const uint8_t* styles = s.GetStyles();
    for (int line = first; line < last; line++) {
        size_t i = s.LineStart(line);
        const size_t end = s.LineEnd(line);
        float x = originX;
        const float y = originY + static_cast<float>(line) * this->lineHeight;
        while (i < end && x < right) {
            size_t j = i + 1;
            while (j < end && styles[j] == styles[i]) j++;
            const ImU32 colour = ToColour(this->styles[styles[i]].fore);
            this->drawn8.clear();
            AppendUtf8(data + i, data + j, this->drawn8);
            const char* run = this->drawn8.data();
            list->AddText(mono, size, ImVec2(x, y), colour, run, run + this->drawn8.size());
            x += mono->CalcTextSizeA(size, FLT_MAX, 0.0f, run, run + this->drawn8.size()).x;
            i = j;
        }
    }
    list->PopClipRect();
}

}  // namespace ui
