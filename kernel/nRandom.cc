#include "kernel/nRandom.h"

uint32_t nRandom::state = 1;

void nRandom::Seed(uint32_t seed) { state = seed; }

int nRandom::Next() {
    // Unsigned arithmetic wraps modulo 2^32, as the generator needs.
    state = state * 214013u + 2531011u;
    return int((state >> 16) & 0x7fffu);
}

uint32_t nRandom::GetState() { return state; }
