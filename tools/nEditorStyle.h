#pragma once
// One text style of the editor control as the script editor sets it: fore and back
// colours (0x00BBGGRR), size, font face and bold / italic / underline flags. A stack
// record applied to one style number.
#include <string>

class nSciControl;

class nEditorStyle {
public:
    enum Flags { Bold = 1, Italic = 2, Underline = 4 };

    nEditorStyle(unsigned fore, unsigned back, int size, const char* face, int flags)
        : fore(fore), back(back), size(size), face(face != nullptr ? face : ""), flags(flags) {}
    virtual ~nEditorStyle() = default;

    // Fore, back, font, size, bold, italic, underline, then the filled line end, in that
    // order; nothing when the control's window is gone.
    void Apply(nSciControl& control, int style) const;

    unsigned fore;
    unsigned back;
    int size;
    std::string face;
    int flags;
};
