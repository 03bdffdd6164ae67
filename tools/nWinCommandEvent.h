#pragma once
// What a tool dialog hands its owner's handlers: the dialog's window, the message (the
// command message) and the command's parameters. A stack record.
#include <cstdint>

namespace ui {
class ToolWindow;
}

class nWinCommandEvent {
public:
    static constexpr int kCommandMessage = 273;
    static constexpr int kHotKeyMessage = 786;

    nWinCommandEvent(ui::ToolWindow* window, int message, int command, intptr_t parameter = 0)
        : window(window), message(message), command(command), parameter(parameter) {}
    virtual ~nWinCommandEvent() = default;

    ui::ToolWindow* window;
    int message;
    int command;
    intptr_t parameter;
};
