#include "platform/ui/Resources.h"

#include <iterator>

namespace ui {

namespace {

// The tree view's size is ours: its resource gives none that the tools depend on.
constexpr DialogResource kDialogs[] = {
    {101, "TreeView", 140, 200},
    {107, "ScriptEditor", 408, 225},
    {126, "Scripts-Macros", 69, 4},
};

constexpr MenuEntry kMenu116[] = {
    {32910, "Undo"},         {32908, "Redo"},     {0, ""},
    {32906, "Ausschneiden"}, {32905, "Kopieren"}, {32907, "Einf\xfcgen"},
    {32821, "L\xf6schen"},   {0, ""},             {32909, "Ausf\xfchren"},
};

struct StringResource {
    int id;
    const char* text;
};
constexpr StringResource kStrings[] = {
    {118, "Ausschneiden"}, {119, "Einf\xfcgen"},           {120, "Undo"},
    {121, "Redo"},         {122, "Script ausf\xfchren ..."}, {123, "Kopieren"},
};

}  // namespace

const DialogResource* FindDialog(int id)
{
    for (const DialogResource& d : kDialogs) {
        if (d.id == id) return &d;
    }
    return nullptr;
}

const MenuEntry* FindMenu(int id, int& count)
{
    if (id == 116) {
        count = static_cast<int>(std::size(kMenu116));
        return kMenu116;
    }
    count = 0;
    return nullptr;
}

const char* FindString(int id)
{
    for (const StringResource& s : kStrings) {
        if (s.id == id) return s.text;
    }
    return nullptr;
}

}  // namespace ui
