#pragma once
// A toolbar's button record: keyed by its command id written in base 2; image index,
// command, state (4 enabled), style (0 button, 1 separator) and tooltip string id.
#include "kernel/nHashNode.h"

class nToolBarButton : public nHashNode {
public:
    enum Style { Button = 0, Separator = 1 };

    nToolBarButton(int image, int command, int state, int style, int tooltip);
    ~nToolBarButton() override = default;

    // The key of a command: its id in base 2.
    static std::string Key(int command);

    int image;
    int command;
    int state;
    int style;
    int tooltip;
};
