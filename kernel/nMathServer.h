#pragma once
// Table of 256 random entries (script class "nmathserver", at
// "/sys/servers/math"): each a unit direction x, y, z and a random w in
// [-1, 1]. Particle emitters and logic nodes read it directly, either as
// entries (index & 255) or as 1024 plain floats (index & 1023).

#include <cstdint>
#include <ctime>

#include "kernel/nRoot.h"

class nMathServer : public nRoot {
public:
    static const nClassInfo classInfo;
    static constexpr int NumEntries = 256;

    // Seeds the engine's random generator with the current time and fills the table.
    // The environment variable BW_RANDOM_SEED fixes the seed instead, so that a whole
    // run of the game can be repeated frame for frame (the frame-replay benchmark).
    nMathServer();

    // The start seed: `fixed` (the variable's text) when set and a number, else `now`
    // (logged when the text is no number).
    static uint32_t StartSeed(const char* fixed, std::time_t now);

    // Refills the table with the next draws of the engine's random generator.
    void Fill();

    const float* GetTable() const { return table_; }
    // Entry (index & 255): x, y, z, w.
    const float* GetEntry(int index) const { return &table_[(index & (NumEntries - 1)) * 4]; }
    // Float (index & 1023) of the table read flat.
    float GetRandom(int index) const { return table_[index & (NumEntries * 4 - 1)]; }

private:
    float table_[NumEntries * 4];
};
