#include "tools/nEditorStyle.h"

#include "platform/ui/EditorControl.h"
#include "tools/nSciControl.h"

void nEditorStyle::Apply(nSciControl& control, int style) const {
    ui::EditorControl* editor = control.GetControl();
    ui::EditorControl::Style* s = editor != nullptr ? editor->GetStyle(style) : nullptr;
    if (s == nullptr) return;
    s->fore = this->fore;
    s->back = this->back;
    s->font = this->face;
    s->size = this->size;
    s->bold = (this->flags & Bold) != 0;
    s->italic = (this->flags & Italic) != 0;
    s->underline = (this->flags & Underline) != 0;
    s->eolFilled = true;
}
