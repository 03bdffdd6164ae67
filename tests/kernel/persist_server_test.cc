// The persistence server in a kernel without a script server.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "KernelTestClasses.h"

TEST(PersistServerDeathTest, SavingWithoutAScriptServerIsFatal) {
    // No script server to write through is a broken set-up, not bad input.
    std::string name = testing::TempDir() + "bw_nosaver_" + std::to_string(::getpid());
    EXPECT_EXIT(
        {
            nKernelServer k(TestPackage);
            k.New("nroot", "/a")->SaveAs(name.c_str());
        },
        testing::ExitedWithCode(3), "Aborting.");
}
