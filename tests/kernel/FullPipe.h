#pragma once
// For as long as it lives, a standard stream (`fd`) is a full pipe that nobody reads: a
// write there would hold its thread for good. A guard thread reads the pipe after 30 s, so
// that such a write ends, and Released() then tells the test that one was held.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>

class FullPipe {
public:
    explicit FullPipe(int fd) : fd_(fd) {
        if (pipe(ends_) != 0) return;
        Fill(ends_[1]);
        std::fflush(nullptr);
        saved_ = dup(fd);
        dup2(ends_[1], fd);
        guard_ = std::thread([this] {
            for (int i = 0; i < 3000 && !done_; i++) usleep(10000);
            released_ = !done_;
            fcntl(ends_[0], F_SETFL, O_NONBLOCK);
            for (char sink[4096]; !done_;) (void)!read(ends_[0], sink, sizeof(sink));
        });
    }
    ~FullPipe() { Released(); }
    // Gives the stream back; true when the guard had to release a write held there.
    bool Released() {
        done_ = true;
        if (guard_.joinable()) guard_.join();
        if (saved_ >= 0) {
            std::fflush(nullptr);
            dup2(saved_, fd_);
            close(saved_), close(ends_[0]), close(ends_[1]);
            saved_ = -1;
        }
        return released_;
    }
    // Writes to `fd` until it takes no more.
    static void Fill(int fd) {
        const int flags = fcntl(fd, F_GETFL);
        fcntl(fd, F_SETFL, flags | O_NONBLOCK);
        for (char block[4096] = {}; write(fd, block, sizeof(block)) > 0;) {
        }
        fcntl(fd, F_SETFL, flags);
    }

private:
    int fd_;
    int ends_[2] = {-1, -1};
    int saved_ = -1;
    std::atomic<bool> done_{false}, released_{false};
    std::thread guard_;
};
