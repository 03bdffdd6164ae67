#pragma once
// The file server (script class "nfileserver2", "/sys/servers/file2"): assigns
// such as "home:" and "bin:" kept as nEnv objects under "/sys/share/assigns",
// the canonical form of paths (ManglePath), and the factory for nFile and
// nDirectory objects.
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "kernel/nRef.h"
#include "kernel/nRoot.h"

class nFile;
class nDirectory;

class nFileServer2 : public nRoot {
public:
    static const nClassInfo classInfo;
    // Size of the path buffers; a mangled path must stay below it.
    static constexpr size_t MAXPATH = 512;

    nFileServer2();
    ~nFileServer2() override;
    // Makes the assigns directory and the "home" and "bin" assigns.
    void Initialize() override;

    // A path starting with '/' or '\' or with a drive letter stays; any other is
    // taken relative to GetCwd(). Normalised; assigns are not resolved.
    virtual char* MakeAbsolutePath(const char* path, char* buf, size_t size);
    // Changes the process's current directory; the path is used as given.
    virtual bool ChangeDir(const char* path);
    // The normalised current directory ("" when there is none).
    virtual const char* GetCwd();
    // New file and directory objects; the caller deletes them.
    virtual nDirectory* NewDirectoryObject();
    virtual nFile* NewFileObject();
    // The whole file through this server (archives too). False when it cannot be
    // opened or not every byte arrived (logged): callers never see half a file.
    bool ReadFile(const char* fileName, std::string& out);

    // Whether the script text running now may open `path`: a person's anything; data's
    // reads only inside the folders a person gave: by an assign (which only a person sets)
    // without climbing above it with "..", or by a full path inside "home:" without "..";
    // it writes nothing. A refusal is logged.
    bool MayOpen(const char* path, bool write);
    // Whether the script text running now may set `path` as a file that an object reads
    // later (at draw time, or in whoever's flow needs it): the read then runs under no
    // data origin, so data's text may set only what it could read now. No file ("", null)
    // always. A refusal is logged.
    static bool MayKeepPath(const char* path);

    // Creates or updates the assign `name` (without colon); refused to data's text. The path must end in
    // '/'; false (logged) for such a path and for names that are no plain names.
    bool SetAssign(const char* name, const char* path);
    // The assign's path, or null.
    const char* GetAssign(const char* name);
    // Resolves an assign prefix of two or more characters (and one its value starts with)
    // and normalises the result: '\' becomes '/', ASCII letters lower case, one trailing
    // '/' dropped. A prefix that names no assign, or one whose value is no folder (empty, no
    // trailing '/'), assigns that name each other, and a result that does not fit `size` (or
    // MAXPATH), are refused (logged): an empty text, on which every file operation fails. A
    // single letter before the colon is a drive and stays.
    char* ManglePath(const char* path, char* buf, size_t size);
    std::string ManglePath(const char* path);
    // The length of the assign name that `path` starts with ("save" of "save:x"): two or
    // more characters before a ':' and no '/' or '\' among them; 0 for any other path.
    static size_t AssignLength(const char* path);
    // ManglePath's result in the letter case the disk has, as the file objects find it:
    // for libraries that open a file by its name themselves. Empty when ManglePath is.
    std::string DiskPath(const char* path);

    // The spelling under which resources made from the file `name` are shared (textures,
    // meshes, sounds, curves, key files, collide shapes): the first spelling that named
    // the same file, so that every spelling of one file finds one resource under one
    // name. A name that opens no file comes back as it is.
    std::string ShareName(const char* name);
    // ShareName through the kernel's file server; the name itself without one.
    static std::string Share(const char* name);

    // In-place normalisation as used by ManglePath.
    static void Normalize(std::string& path);

    // Statistics that the file objects add to.
    void AddBytesRead(uint64_t n) { bytesRead_ += n; }
    void AddBytesWritten(uint64_t n) { bytesWritten_ += n; }
    void AddSeek() { numSeeks_++; }
    uint64_t GetBytesRead() const { return bytesRead_; }
    uint64_t GetBytesWritten() const { return bytesWritten_; }
    uint64_t GetNumSeeks() const { return numSeeks_; }

    // The "home" value for an executable at `exePath`: the path cut at its last
    // '/' three times (file name and two directory levels), with a '/' appended.
    static std::string HomeFromExecutable(const std::string& exePath);

protected:
    // What makes two names one file: one text per file that a mangled path opens, empty
    // when it opens none. Here the disk's own name of the file.
    virtual std::string FileIdentity(const std::string& mangledPath);

private:
    // "/sys/share/assigns", made again when a script has released it.
    nRoot* GetAssignsDir();
    enum class Mangled { Ok, TooLong, NoAssign, NoFolder, Loop };
    // `assign`, when given, gets the name of the assign that failed.
    Mangled Mangle(const char* path, std::string& out, std::string* assign = nullptr);

    nRef<nRoot> assigns_;
    uint64_t bytesRead_ = 0;
    uint64_t bytesWritten_ = 0;
    uint64_t numSeeks_ = 0;
    std::string cwd_;
    // File identity -> the first spelling seen; one entry per file, however spelled.
    std::unordered_map<std::string, std::string> shareNames_;
};
