// The math server's table of random directions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "kernel/nKernelServer.h"
#include "kernel/nMathServer.h"
#include "kernel/nRandom.h"

namespace {

void MathPackage(nKernelServer* ks) {
    nKernelPackage(ks);
    ks->AddClass(nMathServer::classInfo);
}

TEST(MathServer, TableHoldsUnitDirectionsFromTheEngineGenerator) {
    nKernelServer kernel(MathPackage);
    auto* ms = static_cast<nMathServer*>(kernel.New("nmathserver", "/sys/servers/math"));
    ASSERT_NE(ms, nullptr);

    // Entry and flat views wrap and agree.
    EXPECT_EQ(ms->GetEntry(256 + 3), ms->GetEntry(3));
    EXPECT_EQ(ms->GetRandom(1024 + 13), ms->GetTable()[13]);
    EXPECT_EQ(ms->GetRandom(4 * 5 + 3), ms->GetEntry(5)[3]);

    nRandom::Seed(12345);
    ms->Fill();

    // The same draws by hand: the 15-bit LCG, mapped to 2r/32767 - 1, xyz normalised.
    uint32_t seed = 12345;
    auto draw = [&seed] {
        seed = seed * 214013u + 2531011u;
        return 2.0 * double((seed >> 16) & 0x7fff) / 32767.0 - 1.0;
    };
    for (int i = 0; i < 3; i++) {
        double x = draw(), y = draw(), z = draw(), w = draw();
        double len = std::sqrt(x * x + y * y + z * z);
        const float* e = ms->GetEntry(i);
        EXPECT_NEAR(e[0], x / len, 1e-5);
        EXPECT_NEAR(e[1], y / len, 1e-5);
        EXPECT_NEAR(e[2], z / len, 1e-5);
        EXPECT_NEAR(e[3], w, 1e-6);
    }
}

TEST(MathServer, FixedSeedFromTheEnvironmentRepeatsTheTable) {
    nKernelServer kernel(MathPackage);
    ::setenv("BW_RANDOM_SEED", "4711", 1);
    auto* first = static_cast<nMathServer*>(kernel.New("nmathserver", "/sys/servers/math"));
    uint32_t after = nRandom::GetState();
    auto* second = static_cast<nMathServer*>(kernel.New("nmathserver", "/sys/servers/math2"));
    ::unsetenv("BW_RANDOM_SEED");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(std::memcmp(first->GetTable(), second->GetTable(), sizeof(float) * 4 * nMathServer::NumEntries), 0);
    EXPECT_EQ(nRandom::GetState(), after);

    // Only a plain decimal number in range fixes the seed; anything else falls back to the clock.
    EXPECT_EQ(nMathServer::StartSeed(nullptr, 99), 99u);
    EXPECT_EQ(nMathServer::StartSeed("0", 99), 0u);
    EXPECT_EQ(nMathServer::StartSeed("4294967295", 99), 4294967295u);
    for (const char* bad : {"", "4294967296", "99999999999999999999999", "-1", "+5", " 7", "7 ", "7x", "0x10"})
        EXPECT_EQ(nMathServer::StartSeed(bad, 99), 99u) << bad;
}

}  // namespace
