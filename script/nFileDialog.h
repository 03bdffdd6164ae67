#pragma once
#include <string>

// The file dialog of the "getfilename" global: zenity when it is installed,
// started without a shell so no name is ever parsed as a command line.
class nFileDialog {
public:
    // Asks for a file starting in `dir` (none when empty): an existing file
    // when `open`, else a name to save under. False when the user cancels
    // or no dialog program is available.
    static bool Ask(const std::string& dir, bool open, std::string& fileName);

    // The full path of `program` found on PATH, empty when there is none.
    static std::string FindProgram(const char* program);
};
