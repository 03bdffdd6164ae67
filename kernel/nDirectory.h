#pragma once
// A directory listing through the file server, sorted by name. Made by
// nFileServer2::NewDirectoryObject and deleted by its user:
//
//     nDirectory* d = fs->NewDirectoryObject();
//     if (d->Open("home:data") && !d->IsEmpty()) {
//         do { use(d->GetEntryName(), d->GetEntryType()); } while (d->SetToNextEntry());
//         d->Close();
//     }
//     delete d;
#include <cstddef>
#include <string>
#include <vector>

#include "platform/system/Disk.h"

class nFileServer2;

class nDirectory {
public:
    enum EntryType { FILE = 0, DIRECTORY = 1 };

    explicit nDirectory(nFileServer2* server);
    virtual ~nDirectory();
    nDirectory(const nDirectory&) = delete;
    nDirectory& operator=(const nDirectory&) = delete;

    // The path is mangled; true for an existing directory, positioned on its first
    // entry.
    virtual bool Open(const char* path);
    virtual void Close();
    // True when the directory has no entries.
    virtual bool IsEmpty();
    virtual bool SetToFirstEntry();
    virtual bool SetToNextEntry();
    // The directory's mangled path, '/', and the entry's name as it is on disk;
    // "" without a current entry.
    virtual const char* GetEntryName();
    virtual EntryType GetEntryType();
    virtual bool IsOpen() const;

    // The mangled path given to Open ("" when not open).
    const char* GetPath() const { return path_.c_str(); }

protected:
    nFileServer2* server_;
    bool empty_ = true;
    std::string path_;

private:
    std::vector<sys::Disk::Entry> entries_;
    size_t index_ = 0;
    std::string entryName_;
};
