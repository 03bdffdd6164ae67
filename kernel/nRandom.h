#pragma once
// The engine's one pseudo-random generator. Every random draw of the engine
// and the game goes through it (never rand(), whose range differs between C
// libraries): a linear congruential step with numbers in 0..nRandom::Max.

#include <cstdint>

class nRandom {
public:
    static constexpr int Max = 0x7fff;

    // Restarts the sequence; the state before any Seed is 1.
    static void Seed(uint32_t seed);
    // Next number in 0..Max.
    static int Next();
    // Current state, for code that must save and restore the sequence.
    static uint32_t GetState();

private:
    static uint32_t state;
};
