// The npk file server: archives mounted from a directory and read through the
// ordinary file and directory objects, beside the disk.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "kernel/nDirectory.h"
#include "kernel/nFile.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"
#include "kernel/nNpkFileServer.h"
#include "kernel/nNpkWriter.h"

namespace {

class CaptureLog : public nLogHandler {
public:
    void Print(const char* fmt, va_list args) override { Add(fmt, args); }
    void Error(const char* fmt, va_list args) override { Add(fmt, args); }
    void Add(const char* fmt, va_list args) {
        char buf[1024];
        vsnprintf(buf, sizeof(buf), fmt, args);
        text += buf;
    }
    std::string text;
};

class NpkServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/bw_npk_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        kernel = new nKernelServer();
        kernel->SetLogHandler(&log);
        ASSERT_TRUE(kernel->GetFileServer()->SetAssign("tmp", (dir + "/").c_str()));
        kernel->ReplaceFileServer("nnpkfileserver");
        fs = kernel->GetFileServer<nNpkFileServer>();
        ASSERT_NE(fs, nullptr);
        ASSERT_TRUE(fs->IsA("nnpkfileserver"));
        lower = dir;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    void TearDown() override {
        kernel->SetLogHandler(nullptr);
        delete kernel;
        ASSERT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
    }
    void MakeFile(const std::string& rel, const std::string& text) {
        std::ofstream(dir + "/" + rel, std::ios::binary) << text;
    }
    void MakeDir(const std::string& rel) { ASSERT_EQ(mkdir((dir + "/" + rel).c_str(), 0755), 0); }
    // An archive with scripts/init.n, scripts/empty/ and readme.txt.
    void MakeArchive(const std::string& rel, const std::string& root) {
        nNpkWriter w;
        w.BeginDir(root);
        w.BeginDir("scripts");
        w.AddFile("init.n", script.data(), script.size());
        w.BeginDir("empty");
        w.EndDir();
        w.EndDir();
        w.AddFile("readme.txt", "archived", 8);
        w.EndDir();
        ASSERT_TRUE(w.Save(dir + "/" + rel)) << w.GetError();
    }
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
    std::vector<std::string> Lines(const char* name) {
        std::vector<std::string> lines;
        nFile* f = fs->NewFileObject();
        EXPECT_TRUE(f->Open(name, "r")) << name;
        char buf[8];
        while (f->GetS(buf, sizeof(buf)) || !f->Eof()) lines.push_back(buf);
        delete f;
        return lines;
    }
    std::vector<std::pair<std::string, int>> List(const char* path) {
        std::vector<std::pair<std::string, int>> out;
        nDirectory* d = fs->NewDirectoryObject();
        if (d->Open(path) && !d->IsEmpty()) {
            do {
                out.emplace_back(d->GetEntryName(), d->GetEntryType());
            } while (d->SetToNextEntry());
        }
        delete d;
        return out;
    }

    const std::string script = "-- init\r\nnew nroot /usr/a\nsel /usr/a\nlast line without end";
    std::string dir, lower;
    CaptureLog log;
    nKernelServer* kernel = nullptr;
    nNpkFileServer* fs = nullptr;
};

TEST_F(NpkServerTest, ParseDirectoryMountsValidLowerCaseArchivesOnly) {
    MakeArchive("a.npk", "a.npk");
    MakeArchive("b.npk", "b.npk");
    MakeArchive("Upper.NPK", "upper.npk");
    MakeFile("bad.npk", "NPK0 is not the magic");
    MakeFile("notes.txt", "x");
    MakeDir("dir.npk");
    nArg out;
    ASSERT_TRUE(fs->Call(nId("PRSD"), &out, "tmp:"));
    EXPECT_EQ(out.GetI(), 2);
    EXPECT_EQ(fs->GetNumArchives(), 2u);
    EXPECT_NE(log.text.find("bad.npk' not mounted: bad magic"), std::string::npos) << log.text;
    EXPECT_EQ(ReadAll("tmp:b.npk/readme.txt"), "archived");
    EXPECT_EQ(ReadAll("tmp:upper.npk/readme.txt"), "<closed>");
    EXPECT_EQ(fs->ParseDirectory("tmp:missing"), 0);
    EXPECT_EQ(fs->ParseDirectory(std::string(600, 'x').c_str()), 0);
}

TEST_F(NpkServerTest, ArchiveFilesReadLikeDiskFiles) {
    MakeArchive("a.npk", "a.npk");
    MakeFile("init.n", script);
    ASSERT_EQ(fs->ParseDirectory("tmp:"), 1);
    EXPECT_EQ(ReadAll("tmp:A.npk/Scripts/Init.n"), script);
    // Line by line, with a buffer too small for some lines, the same as from disk.
    EXPECT_EQ(Lines("tmp:a.npk/scripts/init.n"), Lines("tmp:init.n"));
    EXPECT_GT(Lines("tmp:init.n").size(), 4u);

    nFile* f = fs->NewFileObject();
    ASSERT_TRUE(f->Open("tmp:a.npk/./scripts/empty/../init.n", "rb"));
    EXPECT_EQ(f->GetSize(), script.size());
    EXPECT_TRUE(f->Seek(-5, nFile::START));
    EXPECT_EQ(f->Tell(), 0u);
    EXPECT_TRUE(f->Seek(5, nFile::END));
    EXPECT_EQ(f->Tell(), script.size());
    EXPECT_TRUE(f->Eof());
    EXPECT_TRUE(f->Seek(-3, nFile::END));
    char buf[32] = {};
    EXPECT_EQ(f->Read(buf, sizeof(buf)), 3u);  // what exists past the position
    EXPECT_STREQ(buf, "end");
    EXPECT_EQ(f->Read(buf, sizeof(buf)), 0u);
    EXPECT_TRUE(f->Seek(3, nFile::START));
    EXPECT_TRUE(f->Seek(2, nFile::CURRENT));
    EXPECT_EQ(f->Tell(), 5u);
    EXPECT_TRUE(f->Seek(7, 9));  // an unknown origin goes to the start
    EXPECT_EQ(f->Tell(), 0u);
    EXPECT_TRUE(f->Exists("tmp:a.npk/readme.txt"));
    EXPECT_FALSE(f->Exists("tmp:a.npk/scripts"));  // a directory is no file
    EXPECT_FALSE(f->Exists("tmp:a.npk/.."));
    EXPECT_FALSE(f->Exists("tmp:a.npk/../a.npk/readme.txt"));
    delete f;
}

TEST_F(NpkServerTest, WritingNeverFallsBackToAnArchive) {
    MakeArchive("a.npk", "a.npk");
    ASSERT_EQ(fs->ParseDirectory("tmp:"), 1);
    nFile* f = fs->NewFileObject();
    EXPECT_FALSE(f->Open("tmp:a.npk/readme.txt", "w"));
    EXPECT_FALSE(f->Open("tmp:a.npk/readme.txt", "a"));
    EXPECT_FALSE(f->IsOpen());
    ASSERT_TRUE(f->Open("tmp:a.npk/readme.txt", "r"));
    EXPECT_EQ(f->Write("x", 1), 0u);
    EXPECT_FALSE(f->PutS("x"));
    EXPECT_NE(log.text.find("Writing to npk files not supported"), std::string::npos);
    f->Close();
    EXPECT_FALSE(f->IsOpen());
    delete f;
    EXPECT_EQ(ReadAll("tmp:a.npk/readme.txt"), "archived");
}

TEST_F(NpkServerTest, DiskShadowsArchive) {
    // Root directory "data": the archive stands in for a disk folder of that name.
    MakeArchive("data.npk", "data");
    MakeDir("Data");
    MakeFile("Data/README.txt", "on disk");
    ASSERT_EQ(fs->ParseDirectory("tmp:"), 1);
    EXPECT_EQ(ReadAll("tmp:data/readme.txt"), "on disk");
    EXPECT_EQ(ReadAll("tmp:data/scripts/init.n"), script);
    // The disk folder exists, so it is what a listing of it shows.
    auto entries = List("tmp:data");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].first, lower + "/data/README.txt");
    // Inside the archive's subfolder, which the disk lacks.
    entries = List("tmp:data/scripts");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], std::make_pair(lower + "/data/scripts/init.n", int(nDirectory::FILE)));
    EXPECT_EQ(entries[1], std::make_pair(lower + "/data/scripts/empty", int(nDirectory::DIRECTORY)));
}

TEST_F(NpkServerTest, MountedArchiveListsAsADirectory) {
    MakeArchive("a.npk", "a.npk");
    MakeArchive("other.npk", "elsewhere");  // mounted, but not under its file name
    MakeFile("z.txt", "");
    ASSERT_EQ(fs->ParseDirectory("tmp:"), 2);
    auto entries = List("tmp:");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0], std::make_pair(lower + "/a.npk", int(nDirectory::DIRECTORY)));
    EXPECT_EQ(entries[1], std::make_pair(lower + "/other.npk", int(nDirectory::FILE)));
    EXPECT_EQ(entries[2], std::make_pair(lower + "/z.txt", int(nDirectory::FILE)));
    EXPECT_EQ(ReadAll("tmp:elsewhere/readme.txt"), "archived");

    entries = List("tmp:a.npk");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], std::make_pair(lower + "/a.npk/scripts", int(nDirectory::DIRECTORY)));
    EXPECT_EQ(entries[1], std::make_pair(lower + "/a.npk/readme.txt", int(nDirectory::FILE)));

    nDirectory* d = fs->NewDirectoryObject();
    ASSERT_TRUE(d->Open("tmp:a.npk/scripts/empty"));
    EXPECT_TRUE(d->IsOpen());
    EXPECT_TRUE(d->IsEmpty());
    EXPECT_FALSE(d->SetToFirstEntry());
    EXPECT_STREQ(d->GetEntryName(), "");
    d->Close();
    EXPECT_FALSE(d->IsOpen());
    EXPECT_FALSE(d->Open("tmp:a.npk/readme.txt"));  // a file is no directory
    EXPECT_FALSE(d->Open("tmp:a.npk/nothing"));
    ASSERT_TRUE(d->Open("tmp:a.npk/scripts"));
    EXPECT_FALSE(d->IsEmpty());
    EXPECT_TRUE(d->SetToNextEntry());
    EXPECT_FALSE(d->SetToNextEntry());
    EXPECT_FALSE(d->SetToNextEntry());
    EXPECT_TRUE(d->SetToFirstEntry());
    EXPECT_EQ(d->GetEntryName(), lower + "/a.npk/scripts/init.n");
    delete d;
}

TEST_F(NpkServerTest, BrokenArchivesAreNotMountedAndSayWhy) {
    nNpkWriter w;
    w.BeginDir("t.npk");
    w.AddFile("f", "data", 4);
    w.EndDir();
    std::vector<unsigned char> good;
    ASSERT_TRUE(w.Finish(good));
    auto save = [&](const std::string& name, std::vector<unsigned char> bytes) {
        std::ofstream(dir + "/" + name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
    };
    save("cut.npk", std::vector<unsigned char>(good.begin(), good.begin() + 20));
    auto pastEnd = good;
    pastEnd.resize(pastEnd.size() - 2);  // the file's data runs past the end
    save("short.npk", pastEnd);
    save("empty.npk", {});
    ASSERT_EQ(fs->ParseDirectory("tmp:"), 0);
    EXPECT_EQ(fs->GetNumArchives(), 0u);
    EXPECT_NE(log.text.find("cut.npk' not mounted: data block lies past the end"), std::string::npos) << log.text;
    EXPECT_NE(log.text.find("short.npk' not mounted: file data lies past the end"), std::string::npos);
    EXPECT_NE(log.text.find("empty.npk' not mounted: header is truncated"), std::string::npos);
    EXPECT_EQ(ReadAll("tmp:cut.npk/f"), "<closed>");
    // Listed as the plain files they are.
    auto entries = List("tmp:");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].second, nDirectory::FILE);
}

TEST_F(NpkServerTest, PackedFolderReadsBackThroughLowerCasePaths) {
    MakeDir("Src");
    MakeDir("Src/Levels");
    MakeFile("Src/Levels/Level1.N", script);
    MakeFile("Src/Init_BW.n", "x\n");
    MakeDir("Out");
    std::string error;
    ASSERT_TRUE(nNpkWriter::PackDirectory(dir + "/Src", dir + "/Out/pack.npk", "", error)) << error;
    ASSERT_EQ(fs->ParseDirectory("tmp:out"), 1);
    EXPECT_EQ(ReadAll("tmp:out/pack.npk/Levels/Level1.N"), script);
    EXPECT_EQ(ReadAll("tmp:out/pack.npk/init_bw.n"), "x\n");
    EXPECT_EQ(Lines("tmp:out/pack.npk/levels/level1.n"), Lines("tmp:src/levels/level1.n"));
    EXPECT_FALSE(nNpkWriter::PackDirectory(dir + "/none", dir + "/x.npk", "", error));
    EXPECT_FALSE(error.empty());
}

TEST_F(NpkServerTest, ReplacingTheServerKeepsAssigns) {
    EXPECT_EQ(kernel->Lookup("/sys/servers/file2"), fs);
    EXPECT_EQ(std::string(fs->GetAssign("tmp")), dir + "/");
    EXPECT_NE(fs->GetAssign("home"), nullptr);
    EXPECT_NE(fs->GetAssign("bin"), nullptr);
    MakeFile("plain.txt", "disk");
    EXPECT_EQ(ReadAll("tmp:plain.txt"), "disk");
}

}  // namespace
