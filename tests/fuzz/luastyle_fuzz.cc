// Feeds arbitrary text to the editor control's Lua styler and line index: the whole text,
// then an edit of it made through the control. Every byte gets a known style, the line
// index matches the line feeds, and the edited styling matches a styling from scratch.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/ui/EditorControl.h"
#include "platform/ui/LuaStyler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first two bytes place an edit; the rest is the text.
    const size_t at = data[0];
    const size_t cut = data[1] % 8;
    const std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);

    ui::EditorControl control(nullptr);
    control.SetKeywords(0, "and end function local sel obj");
    control.SetText(text);
    control.GetStyler();
    control.SetSelection(std::min(at, text.size()), std::min(at + cut, text.size()));
    control.ReplaceSelection(text.substr(0, cut));
    control.Undo();
    control.Redo();
    const ui::LuaStyler& kept = control.GetStyler();

    ui::LuaStyler fresh;
    fresh.SetKeywords("and end function local sel obj");
    fresh.Update(control.GetText());
    if (kept.GetLength() != fresh.GetLength() || kept.GetLineCount() != fresh.GetLineCount()) std::abort();
    if (kept.GetLength() > 0 && std::memcmp(kept.GetStyles(), fresh.GetStyles(), kept.GetLength()) != 0) std::abort();
    const std::string& now = control.GetText();
    size_t lines = 1;
    for (size_t i = 0; i < now.size(); i++) {
        if (kept.GetStyles()[i] > ui::LuaStyler::StringEol) std::abort();
        if (now[i] == '\n') lines++;
    }
    if (static_cast<size_t>(kept.GetLineCount()) != lines) std::abort();
    for (int line = 0; line < kept.GetLineCount(); line++) {
        if (kept.LineStart(line) > kept.LineEnd(line) || kept.LineEnd(line) > now.size()) std::abort();
        if (kept.LineFromPosition(kept.LineStart(line)) != line) std::abort();
    }
    return 0;
}
