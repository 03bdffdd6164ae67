// The npk file server: archives mounted from a directory and read through the
// ordinary file and directory objects, beside the disk.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "FileServerFixture.h"
#include "tests/kernel/TestLog.h"
#include "kernel/nNpkFileServer.h"
#include "kernel/nNpkWriter.h"

namespace {

class NpkServerTest : public FileServerFixture {
protected:
    void SetUp() override {
        FileServerFixture::SetUp();
        kernel->SetLogHandler(&log);
        kernel->ReplaceFileServer("nnpkfileserver");
        npk = kernel->GetFileServer<nNpkFileServer>();
        fs = npk;
        ASSERT_NE(npk, nullptr);
        ASSERT_TRUE(npk->IsA("nnpkfileserver"));
    }
    void TearDown() override {
        kernel->SetLogHandler(nullptr);
        FileServerFixture::TearDown();
    }
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
        ASSERT_TRUE(w.Save(tmp.path + "/" + rel)) << w.GetError();
    }
    static std::pair<std::string, int> Entry(const std::string& name, int type) { return {name, type}; }

    const std::string script = "-- init\r\nnew nroot /usr/a\nsel /usr/a\nlast line without end";
    nTestLog log;
    nNpkFileServer* npk = nullptr;
};

TEST_F(NpkServerTest, ParseDirectoryMountsValidLowerCaseArchivesOnly) {
    // The replaced server keeps the assigns and still reads the disk.
    EXPECT_EQ(kernel->Lookup("/sys/servers/file2"), npk);
    EXPECT_EQ(std::string(npk->GetAssign("tmp")), tmp.path + "/");
    EXPECT_NE(npk->GetAssign("home"), nullptr);
    MakeArchive("a.npk", "a.npk");
    MakeArchive("b.npk", "b.npk");
    MakeArchive("Upper.NPK", "upper.npk");
    tmp.File("notes.txt", "x");
    tmp.Dir("dir.npk");
    nArg out;
    ASSERT_TRUE(npk->Call(nId("PRSD"), &out, "tmp:"));
    EXPECT_EQ(out.GetI(), 2);
    EXPECT_EQ(npk->GetNumArchives(), 2u);
    EXPECT_EQ(ReadAll("tmp:b.npk/readme.txt"), "archived");
    EXPECT_EQ(ReadAll("tmp:notes.txt"), "x");
    EXPECT_EQ(ReadAll("tmp:upper.npk/readme.txt"), "<closed>");
    EXPECT_EQ(npk->ParseDirectory("tmp:missing"), 0);
    EXPECT_EQ(npk->ParseDirectory(std::string(600, 'x').c_str()), 0);
}

TEST_F(NpkServerTest, ArchiveFilesReadLikeDiskFilesAndRefuseWriting) {
    MakeArchive("a.npk", "a.npk");
    tmp.File("init.n", script);
    ASSERT_EQ(npk->ParseDirectory("tmp:"), 1);
    EXPECT_EQ(ReadAll("tmp:A.npk/Scripts/Init.n"), script);
    // Line by line, with a buffer too small for some lines, the same as from disk.
    EXPECT_EQ(Lines("tmp:a.npk/scripts/init.n", 8), Lines("tmp:init.n", 8));
    EXPECT_GT(Lines("tmp:init.n", 8).size(), 4u);

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
    EXPECT_TRUE(f->Seek(7, 9));  // an unknown origin goes to the start
    EXPECT_EQ(f->Tell(), 0u);
    EXPECT_TRUE(f->Exists("tmp:a.npk/readme.txt"));
    EXPECT_FALSE(f->Exists("tmp:a.npk/scripts"));  // a directory is no file
    EXPECT_FALSE(f->Exists("tmp:a.npk/../a.npk/readme.txt"));

    // Writing never falls back to an archive.
    EXPECT_FALSE(f->Open("tmp:a.npk/readme.txt", "w"));
    EXPECT_FALSE(f->Open("tmp:a.npk/readme.txt", "a"));
    EXPECT_FALSE(f->IsOpen());
    ASSERT_TRUE(f->Open("tmp:a.npk/readme.txt", "r"));
    EXPECT_EQ(f->Write("x", 1), 0u);
    EXPECT_FALSE(f->PutS("x"));
    EXPECT_NE(log.text.find("Writing to npk files not supported"), std::string::npos);
    delete f;
    EXPECT_EQ(ReadAll("tmp:a.npk/readme.txt"), "archived");
}

TEST_F(NpkServerTest, DiskShadowsArchive) {
    // Root directory "data": the archive stands in for a disk folder of that name.
    MakeArchive("data.npk", "data");
    tmp.Dir("Data");
    tmp.File("Data/README.txt", "on disk");
    ASSERT_EQ(npk->ParseDirectory("tmp:"), 1);
    EXPECT_EQ(ReadAll("tmp:data/readme.txt"), "on disk");
    EXPECT_EQ(ReadAll("tmp:data/scripts/init.n"), script);
    // The disk folder exists, so it is what a listing of it shows.
    EXPECT_EQ(List("tmp:data"), (Listing{Entry(lower + "/data/README.txt", nDirectory::FILE)}));
    // Inside the archive's subfolder, which the disk lacks.
    EXPECT_EQ(List("tmp:data/scripts"), (Listing{Entry(lower + "/data/scripts/init.n", nDirectory::FILE),
                                                 Entry(lower + "/data/scripts/empty", nDirectory::DIRECTORY)}));
}

TEST_F(NpkServerTest, MountedArchiveListsAsADirectory) {
    MakeArchive("a.npk", "a.npk");
    MakeArchive("other.npk", "elsewhere");  // mounted, but not under its file name
    tmp.File("z.txt", "");
    ASSERT_EQ(npk->ParseDirectory("tmp:"), 2);
    EXPECT_EQ(List("tmp:"), (Listing{Entry(lower + "/a.npk", nDirectory::DIRECTORY),
                                     Entry(lower + "/other.npk", nDirectory::FILE),
                                     Entry(lower + "/z.txt", nDirectory::FILE)}));
    EXPECT_EQ(ReadAll("tmp:elsewhere/readme.txt"), "archived");
    EXPECT_EQ(List("tmp:a.npk"), (Listing{Entry(lower + "/a.npk/scripts", nDirectory::DIRECTORY),
                                          Entry(lower + "/a.npk/readme.txt", nDirectory::FILE)}));

    nDirectory* d = fs->NewDirectoryObject();
    ASSERT_TRUE(d->Open("tmp:a.npk/scripts/empty"));
    EXPECT_TRUE(d->IsEmpty());
    EXPECT_FALSE(d->Open("tmp:a.npk/readme.txt"));  // a file is no directory
    EXPECT_FALSE(d->Open("tmp:a.npk/nothing"));
    delete d;
}

TEST_F(NpkServerTest, BrokenArchivesAreNotMountedAndSayWhy) {
    nNpkWriter w;
    w.BeginDir("t.npk");
    w.AddFile("f", "data", 4);
    w.EndDir();
    std::vector<unsigned char> good;
    ASSERT_TRUE(w.Finish(good));
    auto save = [&](const std::string& name, const std::vector<unsigned char>& bytes) {
        tmp.File(name, std::string(bytes.begin(), bytes.end()));
    };
    // Each reason is checked with the format; here the server's handling of one.
    save("cut.npk", std::vector<unsigned char>(good.begin(), good.begin() + 20));
    save("empty.npk", {});
    ASSERT_EQ(npk->ParseDirectory("tmp:"), 0);
    EXPECT_EQ(npk->GetNumArchives(), 0u);
    EXPECT_NE(log.text.find("cut.npk' not mounted: data block lies past the end"), std::string::npos) << log.text;
    EXPECT_NE(log.text.find("empty.npk' not mounted: header is truncated"), std::string::npos);
    EXPECT_EQ(ReadAll("tmp:cut.npk/f"), "<closed>");
    // Listed as the plain files they are.
    EXPECT_EQ(List("tmp:"), (Listing{Entry(lower + "/cut.npk", nDirectory::FILE), Entry(lower + "/empty.npk", nDirectory::FILE)}));
}

TEST_F(NpkServerTest, PackedFolderReadsBackThroughLowerCasePaths) {
    tmp.Dir("Src");
    tmp.Dir("Src/Levels");
    tmp.File("Src/Levels/Level1.N", script);
    tmp.File("Src/Init_BW.n", "x\n");
    tmp.Dir("Out");
    std::string error;
    ASSERT_TRUE(nNpkWriter::PackDirectory(tmp.path + "/Src", tmp.path + "/Out/pack.npk", "", error)) << error;
    ASSERT_EQ(npk->ParseDirectory("tmp:out"), 1);
    EXPECT_EQ(ReadAll("tmp:out/pack.npk/Levels/Level1.N"), script);
    EXPECT_EQ(ReadAll("tmp:out/pack.npk/init_bw.n"), "x\n");
    EXPECT_FALSE(nNpkWriter::PackDirectory(tmp.path + "/none", tmp.path + "/x.npk", "", error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
