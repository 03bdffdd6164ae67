#include "tools/nToolBarButton.h"

#include <string>

std::string nToolBarButton::Key(int command) {
    if (command == 0) return "0";
    std::string key;
    for (unsigned u = static_cast<unsigned>(command); u != 0; u >>= 1) key.insert(key.begin(), (u & 1) ? '1' : '0');
    return key;
}

nToolBarButton::nToolBarButton(int image, int command, int state, int style, int tooltip)
    : nHashNode(Key(command).c_str()), image(image), command(command), state(state), style(style), tooltip(tooltip) {}
