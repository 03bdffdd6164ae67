#pragma once
// A kernel with the kernel's, the gfx and the input folders' classes, a log that
// keeps errors and printed lines, a script server that records what it is asked to
// run, and helpers that drive input frames and read the input states' mirrors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gfx/nGfxPackage.h"
#include "input/nInputPackage.h"
#include "input/nInputServer.h"
#include "kernel/nEnv.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "tests/kernel/TestLog.h"
#include "kernel/nScriptServer.h"

// Keeps every text it is asked to run.
class nRecordingScriptServer : public nScriptServer {
public:
    static const nClassInfo classInfo;
    bool Run(const char* text, const char*& result) override {
        ran.emplace_back(text ? text : "");
        result = "";
        return true;
    }
    std::vector<std::string> ran;
};
inline const nClassInfo nRecordingScriptServer::classInfo =
    nClassInfo::Make<nRecordingScriptServer>("nrecordingscriptserver", "nscriptserver");

class InputTestKernel : public ::testing::Test {
protected:
    void SetUp() override {
        kernel = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nGfxPackage(ks);
            nInputPackage(ks);
            ks->AddClass(nScriptServer::classInfo);
            ks->AddClass(nRecordingScriptServer::classInfo);
        });
        kernel->SetLogHandler(&log);
    }
    void TearDown() override {
        kernel->SetLogHandler(nullptr);
        delete kernel;
        kernel = nullptr;
    }
    bool TakeErrors() { return log.TakeErrors(); }
    // "/sys/var/is_<state>", or "<none>".
    std::string Var(const char* state) {
        std::string path = std::string("/sys/var/is_") + state;
        nEnv* env = static_cast<nEnv*>(kernel->Lookup(path.c_str()));
        return env && env->GetS() ? env->GetS() : "<none>";
    }
    // The pattern text of a published channel, or "<none>".
    std::string Channel(const char* device, const char* channel) {
        std::string path = std::string("/sys/share/input/devs/") + device + "/channels/" + channel;
        nEnv* env = static_cast<nEnv*>(kernel->Lookup(path.c_str()));
        return env && env->GetS() ? env->GetS() : "<none>";
    }
    static void Post(nInputServer* input, int type, int devId, int number, float value = 0.0f, uint32_t flags = 0) {
        nInputEvent* e = input->NewEvent();
        e->flags = flags;
        e->type = type;
        e->deviceId = devId;
        e->number = number;
        e->value = value;
        input->PostEvent(e);
    }
    nKernelServer* kernel = nullptr;
    nTestLog log;
};
