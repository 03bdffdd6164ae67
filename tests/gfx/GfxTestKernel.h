#pragma once
// A kernel with the kernel's and the gfx folder's classes, and a log handler that keeps
// the error texts so that tests can check that bad input was reported.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "gfx/nGfxPackage.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"

class nGfxTestLog : public nLogHandler {
public:
    void Error(const char* fmt, va_list args) override {
        char buf[1024];
        std::vsnprintf(buf, sizeof(buf), fmt, args);
        errors.emplace_back(buf);
    }
    std::vector<std::string> errors;
};

class GfxTestKernel : public ::testing::Test {
protected:
    void SetUp() override {
        kernel = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nGfxPackage(ks);
        });
        kernel->SetLogHandler(&log);
    }
    void TearDown() override {
        kernel->SetLogHandler(nullptr);
        delete kernel;
        kernel = nullptr;
    }
    // True when an error was logged since the last call; forgets the errors.
    bool TakeErrors() {
        bool any = !log.errors.empty();
        log.errors.clear();
        return any;
    }
    nKernelServer* kernel = nullptr;
    nGfxTestLog log;
};
