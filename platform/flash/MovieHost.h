#pragma once
// What a movie module reaches outside itself: whole-file reads (the movie and its
// images) and the log. The engine installs one that reads through its file server and
// writes its log; the default reads the disk and logs through SDL.
#include <functional>
#include <string>

namespace flash {

struct MovieHost {
    // The whole file; false when it cannot be read.
    std::function<bool(const std::string& path, std::string& bytes)> readFile;
    std::function<void(const std::string& message)> log;

    // Reads the disk (letter case resolved) and logs through SDL.
    static MovieHost Disk();
    // What modules made by CreateFlashModule use; Disk() until set.
    static void SetDefault(MovieHost host);
    static MovieHost Default();
};

}  // namespace flash
