#pragma once
// Movies for tests: files kept in memory behind the module's file reader, every log
// line kept, and the player's load sequence in one call.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/flash/MovieModule.h"

class MovieFixture : public ::testing::Test {
protected:
    std::map<std::string, std::string> files;
    std::vector<std::string> logs;
    std::map<std::string, int> reads;  // by path

    flash::MovieHost Host() {
        flash::MovieHost host;
        host.readFile = [this](const std::string& path, std::string& bytes) {
            ++this->reads[path];
            auto found = this->files.find(path);
            if (found == this->files.end()) return false;
            bytes = found->second;
            return true;
        };
        host.log = [this](const std::string& line) { this->logs.push_back(line); };
        return host;
    }

    // A movie file: the marker line, then `body`.
    void AddMovie(const std::string& path, const std::string& body) {
        this->files[path] = std::string(flash::MovieModule::Marker) + "\n" + body;
    }

    // A module that went through 5, 6, 7, 3 and answers ready; null (with a failure)
    // when any step did not succeed.
    std::unique_ptr<flash::MovieModule> Start(const std::string& path, flash::LuaSandbox::Limits limits = {}) {
        auto module = std::make_unique<flash::MovieModule>(Host(), limits);
        const bool ok = module->AttachWindow(7) >= 0 && module->Initialize(0, 1) >= 0 &&
                        module->LoadMovie(path.c_str()) >= 0 && module->Play() >= 0 && module->IsReady() == 1;
        EXPECT_TRUE(ok) << path;
        return ok ? std::move(module) : nullptr;
    }

    std::unique_ptr<flash::MovieModule> StartMovie(const std::string& body) {
        AddMovie("movies/test.lua", body);
        return Start("movies/test.lua");
    }

    // The text of a variable through place 22.
    static std::string Get(flash::FlashModule& module, const char* name) {
        const char* text = nullptr;
        size_t length = 99;
        if (module.GetVariable(name, &text, &length) < 0) return "<failed>";
        return std::string(text, length);
    }

    // How many log lines contain `part`.
    int Logged(const std::string& part) const {
        int count = 0;
        for (const std::string& line : this->logs) count += line.find(part) != std::string::npos ? 1 : 0;
        return count;
    }
};
