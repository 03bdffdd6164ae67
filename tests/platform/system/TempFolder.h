#pragma once
// A fresh folder under /tmp for one test, removed with all it holds afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>

class TempFolder {
public:
    TempFolder() {
        char tmpl[] = "/tmp/bw_test_XXXXXX";
        if (mkdtemp(tmpl)) path = tmpl;
        EXPECT_FALSE(path.empty());
    }
    ~TempFolder() {
        if (!path.empty()) {
            EXPECT_EQ(std::system(("rm -rf '" + path + "'").c_str()), 0);
        }
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    void File(const std::string& rel, const std::string& text) const {
        std::ofstream(path + "/" + rel, std::ios::binary) << text;
    }
    void Dir(const std::string& rel) const { ASSERT_EQ(mkdir((path + "/" + rel).c_str(), 0755), 0); }
    std::string Read(const std::string& rel) const {
        std::ifstream in(path + "/" + rel, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    std::string path;
};
