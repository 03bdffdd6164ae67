#pragma once
// A file opened through the file server. Made by nFileServer2::NewFileObject and
// deleted by its user:
//
//     nFile* f = fs->NewFileObject();
//     if (f->Open("home:data/x.n", "r")) {
//         char line[256];
//         while (f->GetS(line, sizeof line)) { ... }
//         f->Close();
//     }
//     delete f;
#include <cstddef>
#include <cstdint>

class nFileServer2;

class nFile {
public:
    // Seek origins.
    enum Origin { CURRENT = 0, START = 1, END = 2 };

    explicit nFile(nFileServer2* server);
    virtual ~nFile();
    nFile(const nFile&) = delete;
    nFile& operator=(const nFile&) = delete;

    // The name is mangled. Modes by first letter: "r" read, "w" write (truncating,
    // "ws" the same), "a" append at the end; both write modes create the file and
    // refuse a link under its name. "n" makes the file new, removing whatever stood
    // under its name without opening it (sys::Disk::Access::Fresh).
    virtual bool Open(const char* name, const char* mode);
    virtual void Close();
    // Bytes actually moved.
    virtual size_t Write(const void* buffer, size_t count);
    virtual size_t Read(void* buffer, size_t count);
    virtual size_t Tell();
    virtual bool Seek(int64_t offset, int origin);
    virtual size_t GetSize();
    virtual bool Eof();
    // Open for reading, and closed again.
    virtual bool Exists(const char* name);
    // Writes the text without its NUL and without adding a line end.
    virtual bool PutS(const char* text);
    // Reads one line of at most size - 1 characters into `buffer`, without its '\n'
    // ('\r' stays). True for a line ended by '\n' (or a NUL byte) and for a last line
    // without one; false at the end of the file (empty buffer) and for a line that
    // does not fit, which leaves the position behind the characters returned.
    virtual bool GetS(char* buffer, size_t size);
    virtual bool IsOpen() const;

    // Lines read and written since Open.
    int GetLineCount() const { return lineCount_; }

protected:
    nFileServer2* server_;
    int lineCount_ = 0;

private:
    int fd_ = -1;
};
