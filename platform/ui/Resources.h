#pragma once
// The tools' resources as one table in code: dialogs with their sizes, the editor's
// menu and the tooltip strings, under the ids scripts and tools know them by.
// Dialog units become pixels as an 8-point dialog font makes them.

namespace ui {

struct DialogResource {
    int id;
    const char* name;
    int width;   // dialog units
    int height;  // dialog units
};

struct MenuEntry {
    int command;       // 0: a separator
    const char* text;  // Windows-1252
};

// Null for an id that names no dialog.
const DialogResource* FindDialog(int id);
// The entries of a menu in order, their count in `count`; null (count 0) for an unknown id.
const MenuEntry* FindMenu(int id, int& count);
// Null for an id that names no string.
const char* FindString(int id);

inline int DialogUnitsToPixelsX(int units) { return units * 3 / 2; }
inline int DialogUnitsToPixelsY(int units) { return units * 13 / 8; }

}  // namespace ui
