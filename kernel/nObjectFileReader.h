#pragma once
// Reads an object file (the text the object writer writes, script/nLuaWriter.h) as values,
// without running it: comments, "new('class', 'name')", "sel('path')", "up()" and calls
// "cmd(args)" whose arguments are literals (Lua's string literals, numerals, "0/0", "1/0",
// "-1/0", true, false, nil; no text holding a NUL byte, which a command would cut short),
// after a UTF-8 byte-order mark that an editor may have put at its start (skipped, logged).
// Only the classes and commands its caller declares are taken;
// anything else, any other text, a file that ends inside an object it selected (cut short),
// one that makes an object or sets a named value twice and a file past the declared bounds
// is refused whole with one log line naming the file, the line and what was wrong. The file
// is read into a scratch object that the caller owns: what it built there is the caller's
// to drop.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kernel/nArg.h"

class nCmd;
class nRoot;

class nObjectFileReader {
public:
    // A command that the file may call, with the prototype letters of its inputs ("si").
    // `check` (optional) runs before the call and `took` (optional) after it; either gives
    // false and says why in `why` to refuse the file.
    struct Command {
        const char* name;
        const char* inputs;
        bool (*check)(nRoot* obj, const nArg* args, int count, std::string& why) = nullptr;
        bool (*took)(nRoot* obj, const nArg* args, int count, std::string& why) = nullptr;
        // The first value names what the call sets on its object: the writer sets each one
        // once, so a second call naming it there refuses the file, as a second 'new' does.
        bool setsNamed = false;
    };
    struct Limits {
        // The file's size, read before a byte of it is.
        uint64_t fileBytes;
        // Objects it may make, how deep below the object it loads into, and the commands
        // an object may take.
        uint64_t objects;
        int depth;
        uint64_t commandsAnObject;
        // What the objects it builds would take when the object writer writes them again,
        // at the most (every text byte escaped to two, every number at its longest).
        uint64_t keptBytes;
        // An object's name, and any text value, at the most.
        uint64_t nameBytes = UINT64_MAX;
        uint64_t textBytes = UINT64_MAX;
    };
    struct Format {
        std::vector<std::string> classes;
        std::vector<Command> commands;
        Limits limits;
    };

    explicit nObjectFileReader(Format format) : format_(std::move(format)) {}

    // Reads `fileName` (through the file server) into `root` at data's origin; false with
    // one log line when the file is refused.
    bool Read(const char* fileName, nRoot* root);
    // The same over text already in memory; `name` names it in the log line.
    bool ReadText(std::string_view text, const char* name, nRoot* root);

    // Why the last read was refused ("" after one that loaded).
    const std::string& GetError() const { return error_; }
    // What the last read built would take when written again, at the most.
    uint64_t GetKeptBytes() const { return kept_; }
    const Format& GetFormat() const { return format_; }

    // The objects the last read made.
    uint64_t GetObjects() const { return objects_; }

    // The most that the object writer writes for these: a command line at `depth`, and an
    // object of class `cls` named `name` with its parent at `depth`.
    static uint64_t WrittenCommandBytes(const char* name, const nArg* args, int count, int depth);
    static constexpr uint64_t WrittenObjectBytes(std::string_view cls, std::string_view name, int depth) {
        return WrittenObjectBytes(cls.size(), name.size(), depth);
    }
    // The same by sizes, and its parts, for bounds computed ahead: the header and trailer
    // lines, a value of each kind, and a command line of `count` values that take
    // `valueBytes` together.
    static constexpr uint64_t HeaderBytes = 128;
    static constexpr uint64_t WrittenIntBytes = 11;
    static constexpr uint64_t WrittenFloatBytes = 49;  // the largest float, fixed with 8 decimals, and its sign
    static constexpr uint64_t WrittenTextBytes(uint64_t bytes) { return 2 + 2 * bytes; }
    static constexpr uint64_t WrittenLineBytes(uint64_t nameBytes, uint64_t valueBytes, int count, int depth) {
        return 2 * uint64_t(depth) + nameBytes + 5 + valueBytes + (count > 1 ? 2 * uint64_t(count - 1) : 0);
    }
    static constexpr uint64_t WrittenObjectBytes(uint64_t clsBytes, uint64_t nameBytes, int depth) {
        // The name comment, "new", "sel" and "up" lines, each at its indent.
        return 6 * nameBytes + 2 * clsBytes + 10 * uint64_t(depth) + 40;
    }

private:
    struct Value {
        enum Kind : uint8_t { Int, Float, String, Bool, Nil } kind = Nil;
        bool integral = false;  // a numeral without a fraction or exponent (Lua's integer)
        int64_t i = 0;
        double f = 0.0;
        bool b = false;
        std::string s;
    };
    struct Statement {
        int line;
        std::string name;
        std::vector<Value> args;
    };

    bool Parse(std::string_view text, std::vector<Statement>& out);
    bool Build(const std::vector<Statement>& statements, nRoot* root);
    bool Call(const Statement& st, nRoot* obj, int depth);
    // Converts `v` to the prototype letter `letter` as the script binding does; false when it
    // does not convert.
    static bool ToArg(const Value& v, char letter, nArg& arg);
    bool Fail(int line, std::string why);

    Format format_;
    std::string error_;
    int errorLine_ = 0;
    uint64_t kept_ = 0;
    uint64_t objects_ = 0;
};
