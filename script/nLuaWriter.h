#pragma once
// Writes objects as Lua scripts (object files) for the Lua script server, which
// forwards its writer operations here. Running such a file with the right object
// current rebuilds the object, its state and its children.
//
// The text is the object-file format byte for byte: a header line with the parser
// and class tags, the commands of the outermost object at depth 0, for each child an
// empty line, a "-- name" comment, "new('class', 'name')" and an indented
// "sel('name')", its commands two blanks deeper, "up()" to return, and the trailer
// line "-- ----- EOF". Strings are escaped ('\', quotes, CR, LF) so that every text
// loads back as it was.
//
// A file is written under a temporary name in the same folder and renamed over the
// target only when everything was written: an earlier save survives a failed one.
#include <string>
#include <vector>

class nCmd;
class nFile;
class nRoot;
class nString;

class nLuaWriter {
public:
    nLuaWriter() = default;
    ~nLuaWriter();
    nLuaWriter(const nLuaWriter&) = delete;
    nLuaWriter& operator=(const nLuaWriter&) = delete;

    // Opens a save of `obj` into `fileName` and writes the header naming the parser
    // class; null (logged) when the file cannot be opened. A save may begin while
    // another is open; the outer one resumes at its own depth after the inner ends.
    nFile* BeginWrite(const char* fileName, nRoot* obj, const char* parserClass);
    // Empty line, name comment, "new" line, then the select step.
    bool WriteBeginNewObject(nFile* file, nRoot* obj, nRoot* cwd);
    // The constructor command (when given), then the select step.
    bool WriteBeginObjectCmd(nFile* file, nRoot* obj, nRoot* cwd, nCmd* cmd);
    // The select step only: one level deeper and "sel('path')" unless `obj` is `cwd`.
    bool WriteBeginSelObject(nFile* file, nRoot* obj, nRoot* cwd);
    // Appends one command line to `target`: without indent to a text, at the current
    // indent to a line of the open file.
    bool WriteCmd(nString& target, nCmd* cmd);
    bool WriteCmd(std::string& target, nCmd* cmd);
    bool WriteObjectCmd(nFile* file, nCmd* cmd);
    // One level up: "up()" or "sel('path')" back to `cwd`, nothing when it is `obj`.
    bool WriteEndObject(nFile* file, nRoot* obj, nRoot* cwd);
    // Writes the trailer, closes and deletes the file and, when every object begun
    // has ended and every byte was written, puts it in place of the target. False
    // otherwise, and the target stays as it was.
    bool EndWrite(nFile* file);
    // Closes and deletes the file without touching the target.
    void AbortWrite(nFile* file);

    int GetDepth() const { return depth_; }

    // Appends `text` between `quote` characters, escaped for a Lua string literal.
    static void AppendQuoted(std::string& out, const char* text, char quote);
    // A Lua identifier: a letter or "_", then letters, digits or "_" (texts pasted into
    // statements as names must not run as code).
    static bool IsIdentifier(const char* s);

private:
    // Temporary names tried for one save beside its first, ".tmp1" on.
    static constexpr unsigned MaxTempNames = 16;
    struct OpenFile {
        nFile* file;
        std::string target;  // as given, assign and all
        std::string temp;
        bool failed;
        int outerDepth;  // the depth of the save that was open before
        // Text not yet written: one write per 64 KB, not one per line.
        std::string pending = {};
    };
    static constexpr size_t FlushSize = 64 * 1024;
    // Writes the pending text; false (the save marked failed) when it cannot.
    bool Flush(OpenFile& of);

    OpenFile* FindOpen(nFile* file);
    // Closes the file, restores the outer depth, and returns the entry's data.
    OpenFile Finish(nFile* file);
    void SetDepth(int depth);
    bool Put(nFile* file, const std::string& text);
    bool SelectStep(nFile* file, nRoot* obj, nRoot* cwd);
    static void AppendArg(std::string& out, nCmd* cmd);

    std::vector<OpenFile> open_;
    int depth_ = 0;
    std::string indent_;
};
