// The math server's table of random directions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

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

}  // namespace
