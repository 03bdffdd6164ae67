#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KernelTestClasses.h"
#include "kernel/nKernelServer.h"
#include "kernel/nRoot.h"

namespace {

std::vector<std::string> destroyed;

// Stands in for the kernel's four servers (registered first, so the first registration
// wins over the real classes) and records when each object dies.
class nTestRecorder : public nRoot {
public:
    static const nClassInfo classInfo;
    ~nTestRecorder() override { destroyed.push_back(GetFullName()); }
};
const nClassInfo nTestRecorder::classInfo = nClassInfo::Make<nTestRecorder>("ntestrecorder", "nroot");

// A fake server class: a recorder under another script name.
template <int N>
class nTestFakeServer : public nTestRecorder {
public:
    static const nClassInfo classInfo;
};
template <>
const nClassInfo nTestFakeServer<0>::classInfo = nClassInfo::Make<nTestFakeServer<0>>("ntimeserver", "ntestrecorder");
template <>
const nClassInfo nTestFakeServer<1>::classInfo = nClassInfo::Make<nTestFakeServer<1>>("npersistserver", "ntestrecorder");
template <>
const nClassInfo nTestFakeServer<2>::classInfo = nClassInfo::Make<nTestFakeServer<2>>("nfileserver2", "ntestrecorder");
template <>
const nClassInfo nTestFakeServer<3>::classInfo = nClassInfo::Make<nTestFakeServer<3>>("nremoteserver", "ntestrecorder");
template <>
const nClassInfo nTestFakeServer<4>::classInfo = nClassInfo::Make<nTestFakeServer<4>>("ntestfileserver", "nfileserver2");

void FakeServerPackage(nKernelServer* ks) {
    ks->AddClass(nTestRecorder::classInfo);
    ks->AddClass(nTestFakeServer<0>::classInfo);
    ks->AddClass(nTestFakeServer<1>::classInfo);
    ks->AddClass(nTestFakeServer<2>::classInfo);
    ks->AddClass(nTestFakeServer<3>::classInfo);
    ks->AddClass(nTestFakeServer<4>::classInfo);
    TestPackage(ks);
}

TEST(KernelLifecycleTest, ServersAreMadeAtConstructionAndReleasedFirst) {
    destroyed.clear();
    auto* k = new nKernelServer(FakeServerPackage);
    EXPECT_EQ(k->GetPersistServer<nRoot>(), k->Lookup("/sys/servers/persist"));
    EXPECT_EQ(k->GetRemoteServer<nRoot>(), k->Lookup("/sys/servers/remote"));
    k->New("ntestrecorder", "/usr/a");
    delete k;
    EXPECT_EQ(destroyed, (std::vector<std::string>{"/sys/servers/time", "/sys/servers/persist",
                                                   "/sys/servers/file2", "/sys/servers/remote", "/usr/a"}));
}

TEST(KernelLifecycleTest, ReplacingTheFileServer) {
    destroyed.clear();
    nKernelServer k(FakeServerPackage);
    k.ReplaceFileServer("ntestfileserver");
    EXPECT_EQ(destroyed, std::vector<std::string>{"/sys/servers/file2"});
    nRoot* fs = k.GetFileServer<nRoot>();
    ASSERT_NE(fs, nullptr);
    EXPECT_TRUE(fs->IsInstanceOf("ntestfileserver"));
    EXPECT_EQ(k.Lookup("/sys/servers/file2"), fs);
    // A server that dies is no longer handed out.
    fs->Release();
    EXPECT_EQ(k.GetFileServer<nRoot>(), nullptr);
}

TEST(KernelLifecycleTest, ServersOfUnregisteredClassesAreSkipped) {
    nKernelServer k([](nKernelServer* ks) { ks->AddClass(nTestNode::classInfo); });
    EXPECT_EQ(k.GetTimeServer<nRoot>(), nullptr);
    EXPECT_EQ(k.Lookup("/sys"), nullptr);
}

}  // namespace
