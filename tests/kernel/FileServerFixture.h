#pragma once
// A kernel whose "tmp:" assign points into a fresh folder, with readers going
// through the file server's own file and directory objects.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "kernel/nDirectory.h"
#include "kernel/nFile.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "tests/platform/system/TempFolder.h"

class FileServerFixture : public ::testing::Test {
protected:
    void SetUp() override {
        kernel = new nKernelServer();
        fs = kernel->GetFileServer();
        ASSERT_NE(fs, nullptr);
        ASSERT_TRUE(fs->SetAssign("tmp", (tmp.path + "/").c_str()));
        lower = tmp.path;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    void TearDown() override { delete kernel; }

    // The whole file, or "<closed>" when it does not open.
    std::string ReadAll(const char* name) {
        nFile* f = fs->NewFileObject();
        std::string s = "<closed>";
        if (f->Open(name, "r")) {
            s.assign(f->GetSize(), '\0');
            s.resize(f->Read(s.data(), s.size()));
        }
        delete f;
        return s;
    }
    // GetS pieces up to the end of the file; `results` collects each call's answer.
    std::vector<std::string> Lines(const char* name, size_t bufSize, std::vector<bool>* results = nullptr) {
        nFile* f = fs->NewFileObject();
        std::vector<std::string> lines;
        EXPECT_TRUE(f->Open(name, "r")) << name;
        std::vector<char> buf(bufSize);
        for (int i = 0; i < 100; i++) {
            bool ok = f->GetS(buf.data(), buf.size());
            if (results) results->push_back(ok);
            if (!ok && buf[0] == '\0' && f->Eof()) break;
            lines.push_back(buf.data());
        }
        delete f;
        return lines;
    }
    using Listing = std::vector<std::pair<std::string, int>>;
    Listing List(const char* path) {
        Listing out;
        nDirectory* d = fs->NewDirectoryObject();
        if (d->Open(path) && !d->IsEmpty()) {
            do {
                out.emplace_back(d->GetEntryName(), d->GetEntryType());
            } while (d->SetToNextEntry());
        }
        delete d;
        return out;
    }

    TempFolder tmp;
    std::string lower;  // tmp.path as the file server spells it
    nKernelServer* kernel = nullptr;
    nFileServer2* fs = nullptr;
};
