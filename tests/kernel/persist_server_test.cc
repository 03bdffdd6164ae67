// The persistence server in a kernel without a script server.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "KernelTestClasses.h"
#include "kernel/nEnv.h"
#include "kernel/nPersistServer.h"

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

TEST(PersistServerTest, ClonesAndRefusesLoadsWithoutAScriptServer) {
    nKernelServer k(TestPackage);
    auto* env = static_cast<nEnv*>(k.New("nenv", "/src/v"));
    env->SetF(2.5f);
    // Cloning needs no script server: the commands are replayed on the copy.
    nRoot* copy = k.Lookup("/src")->Clone("dst");
    ASSERT_NE(copy, nullptr);
    auto* copied = static_cast<nEnv*>(k.Lookup("/dst/v"));
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied->GetF(), 2.5f);

    // A file naming a parser that is no script server class here loads nothing.
    std::string path = testing::TempDir() + "bw_noparser_" + std::to_string(::getpid()) + ".n";
    std::ofstream(path, std::ios::binary) << "-- ----- $parser:nluaserver2$ $class:nroot$-- ---\n\n-- ----- EOF\n";
    EXPECT_EQ(k.Load(path.c_str()), nullptr);
    EXPECT_EQ(k.Lookup(nPersistServer::ObjectNameOf(path.c_str()).insert(0, "/").c_str()), nullptr);
    std::remove(path.c_str());
}
