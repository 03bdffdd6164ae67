#pragma once
// Accumulates the time spent in a named code section between Start and Stop.
// Its time server publishes the sum once per frame, in seconds, into the float
// variable "/sys/var/prof_<name>", and then starts the sum afresh.

#include <cstdint>

#include "kernel/nEnv.h"
#include "kernel/nNode.h"
#include "kernel/nRef.h"
#include "kernel/nString.h"

class nTimeServer;

class nProfiler {
public:
    // Finds or creates the variable; without one (no "nenv" class, or another
    // kind of object at the path) the profiler measures but publishes nothing.
    nProfiler(nTimeServer* timeServer, const char* name);
    ~nProfiler();
    nProfiler(const nProfiler&) = delete;
    nProfiler& operator=(const nProfiler&) = delete;

    // Start while running and Stop while stopped are ignored.
    void Start();
    void Stop();
    bool IsRunning() const { return running_; }

    const char* GetName() const { return name_.Get(); }
    // Ticks summed since the last publication.
    int64_t GetAccumTicks() const { return accumTicks_; }
    // The variable, null when it is missing or has died.
    nEnv* GetEnv() const { return env_.GetUnsafe(); }

    // Writes the sum in seconds into the variable and clears it; false (sum
    // cleared all the same) when there is no variable.
    bool Publish(int64_t frequency);

    nProfiler* GetSucc() const;

private:
    friend class nTimeServer;

    nNode node_;
    nString name_;
    nRef<nEnv> env_;
    nTimeServer* timeServer_;
    bool running_ = false;
    int64_t startTicks_ = 0;
    int64_t accumTicks_ = 0;
};
