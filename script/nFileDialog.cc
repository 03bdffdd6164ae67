#include "script/nFileDialog.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

extern char** environ;

std::string nFileDialog::FindProgram(const char* program) {
    const char* p = std::getenv("PATH");
    if (!p) return {};
    for (;;) {
        const char* end = std::strchr(p, ':');
        size_t len = end ? size_t(end - p) : std::strlen(p);
        // An empty entry means the current directory.
        std::string full(len ? p : ".", len ? len : 1);
        full += '/';
        full += program;
        if (access(full.c_str(), X_OK) == 0) return full;
        if (!end) return {};
        p = end + 1;
    }
}

bool nFileDialog::Ask(const std::string& dir, bool open, std::string& fileName) {
    fileName.clear();
    std::string zenity = FindProgram("zenity");
    if (zenity.empty()) return false;

    std::vector<std::string> args = {"zenity", "--file-selection", "--title=Select File",
                                     "--file-filter=All Files | *"};
    if (!open) args.push_back("--save");
    if (!dir.empty()) args.push_back("--filename=" + dir + (dir.back() == '/' ? "" : "/"));
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    int fds[2];
    if (pipe(fds) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    pid_t pid;
    int rc = posix_spawn(&pid, zenity.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return false;
    }
    std::string out;
    char buf[512];
    for (;;) {
        ssize_t n = read(fds[0], buf, sizeof(buf));
        if (n > 0) out.append(buf, size_t(n));
        else if (n < 0 && errno == EINTR) continue;
        else break;
    }
    close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    // zenity ends with 1 when the user cancels.
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    if (out.empty()) return false;
    fileName = out;
    return true;
}
