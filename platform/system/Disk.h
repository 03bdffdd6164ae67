#pragma once
// The engine's file and directory calls on POSIX. The engine works with
// lower-cased paths; Resolve maps each component onto the entry that exists on
// disk whatever its letter case, so data files keep their natural names.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sys {

class Disk {
public:
    enum class Access { Read, Write, Append, Fresh };

    struct Entry {
        std::string name;
        bool isDirectory = false;
    };

    // The on-disk spelling of `path`. Each component that exists exactly is kept;
    // otherwise the first entry (in listing order) that matches ignoring ASCII case
    // is taken. From the first component that matches nothing, the rest is kept as
    // given (a file about to be created).
    static std::string Resolve(const std::string& path);

    // Opens a regular file; -1 when it cannot be opened (directories, devices and
    // pipes are refused). Write truncates, Append writes at the end; both create, and
    // neither writes through a link standing under the name nor into a file that has other
    // names (hard links) as well (refused). Fresh makes the
    // file new: whatever stands under the name (a file, a link itself and never what it
    // names, a FIFO, an empty folder) is removed first and never opened; a folder that
    // holds entries refuses.
    static int Open(const std::string& path, Access access);
    static void Close(int fd);

    // Bytes moved, 0 at the end of the file, -1 on an error.
    static int64_t Read(int fd, void* buffer, size_t count);
    static int64_t Write(int fd, const void* buffer, size_t count);

    // whence is SEEK_SET, SEEK_CUR or SEEK_END; the new position or -1.
    static int64_t Seek(int fd, int64_t offset, int whence);
    static int64_t Tell(int fd);
    static int64_t Size(int fd);

    // Puts the file `from` in the place of `to` in one step. Whatever stands under `to`
    // goes, itself (a link, never what it names; an empty folder); a folder that holds
    // entries refuses. Both paths are on-disk paths (Resolve's).
    static bool Replace(const std::string& from, const std::string& to);
    // Gives the entry `existing` (itself: a link stays a link) the second name `name`, made
    // new as Fresh makes a file; false when `existing` is not there or the name cannot be
    // taken. On-disk paths.
    static bool Link(const std::string& existing, const std::string& name);

    static bool IsDirectory(const std::string& path);
    static bool IsFile(const std::string& path);
    // The one absolute name of the regular file that `path` opens (letter case as on
    // disk, ".", ".." and links resolved), whatever way `path` spells it; empty when
    // `path` opens no regular file.
    static std::string FileIdentity(const std::string& path);

    // The entries of a directory without "." and "..", sorted by name (ignoring
    // ASCII case, ties by byte value) so that listings are the same on every disk.
    static bool List(const std::string& path, std::vector<Entry>& entries);

    static std::string CurrentDir();
    static bool ChangeDir(const std::string& path);

    // Orders names the way List does.
    static bool NameLess(const std::string& a, const std::string& b);
};

}  // namespace sys
