#pragma once
// A kernel with the kernel's and the gfx folder's classes, a log handler that keeps the
// error texts so that tests can check that bad input was reported, and a scratch folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "gfx/nGfxPackage.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "tests/kernel/TestLog.h"

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(uint8_t(c));
        std::fclose(f);
    }
    return bytes;
}

inline void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

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
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }
    // True when an error was logged since the last call; forgets the errors.
    bool TakeErrors() { return log.TakeErrors(); }
    // A file in a folder of this process's own, removed after the test.
    std::string Path(const char* name) {
        if (dir.empty()) {
            dir = std::filesystem::temp_directory_path() / ("bw_gfx_" + std::to_string(::getpid()));
            std::filesystem::create_directories(dir);
        }
        return (dir / name).string();
    }
    std::string Write(const char* name, const std::vector<uint8_t>& bytes) {
        std::string p = Path(name);
        WriteFileBytes(p, bytes);
        return p;
    }
    nKernelServer* kernel = nullptr;
    nTestLog log;
    std::filesystem::path dir;
};
