#pragma once
// A kernel with the kernel's and the anim folder's classes, every logged error kept, and
// a folder of the test's own for key files.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "anim/nAnimPackage.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"
#include "tests/platform/system/TempFolder.h"

class AnimTestKernel : public ::testing::Test {
protected:
    class ErrorLog : public nLogHandler {
    public:
        void Error(const char* fmt, va_list args) override {
            char buf[1024];
            std::vsnprintf(buf, sizeof buf, fmt, args);
            errors.emplace_back(buf);
        }
        std::vector<std::string> errors;
    };

    void SetUp() override {
        kernel = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nAnimPackage(ks);
        });
        kernel->SetLogHandler(&log);
    }
    void TearDown() override {
        kernel->SetLogHandler(nullptr);
        delete kernel;
    }
    // The errors logged since the last call, joined; forgets them.
    std::string TakeErrors() {
        std::string all;
        for (auto& e : log.errors) all += e;
        log.errors.clear();
        return all;
    }
    std::string Write(const std::string& name, const std::string& text) {
        tmp.File(name, text);
        return tmp.path + "/" + name;
    }
    std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    TempFolder tmp;
    ErrorLog log;
    nKernelServer* kernel = nullptr;
};
