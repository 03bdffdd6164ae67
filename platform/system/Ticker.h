#pragma once
// A thread of its own that calls a function every period until the ticker is stopped:
// the watches that must look at the clock while the main thread is busy (or stuck).
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace sys {

class Ticker {
public:
    Ticker(std::chrono::milliseconds period, std::function<void()> tick);
    // Stops the thread and waits for its current tick to end.
    ~Ticker();
    Ticker(const Ticker&) = delete;
    Ticker& operator=(const Ticker&) = delete;

private:
    void Run();

    std::chrono::milliseconds period_;
    std::function<void()> tick_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool quit_ = false;
    std::thread thread_;
};

}  // namespace sys
