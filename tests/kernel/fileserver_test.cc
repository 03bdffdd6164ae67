// The file server: assigns, path mangling, files and directory listings on disk.
#include <cstdlib>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "FileServerFixture.h"
#include "TestLog.h"
#include "kernel/nEnv.h"
#include "tests/kernel/GameArchives.h"
#include "platform/system/Disk.h"
#include "platform/system/System.h"

namespace {

using FileServerTest = FileServerFixture;

TEST_F(FileServerTest, HomeAndBinComeFromTheExecutablePath) {
    EXPECT_EQ(kernel->Lookup("/sys/servers/file2"), fs);
    std::string home = nFileServer2::HomeFromExecutable(sys::ExecutablePath());
    EXPECT_STREQ(fs->GetAssign("home"), home.c_str());
    EXPECT_STREQ(fs->GetAssign("bin"), (home + "bin/win32/").c_str());
    // The assigns are nenv objects of the tree.
    nRoot* homeObj = kernel->Lookup("/sys/share/assigns/home");
    ASSERT_NE(homeObj, nullptr);
    EXPECT_TRUE(homeObj->IsA("nenv"));
    EXPECT_STREQ(static_cast<nEnv*>(homeObj)->GetS(), home.c_str());
    // The test program sits two levels below the build directory, which is home.
    EXPECT_EQ(sys::ExecutablePath().rfind(home + "tests/kernel/", 0), 0u) << home;
    EXPECT_EQ(nFileServer2::HomeFromExecutable("/opt/Brinewick/bin/win32/brinewick"), "/opt/Brinewick/");
    EXPECT_EQ(nFileServer2::HomeFromExecutable("/a/b/prog"), "/");
    EXPECT_EQ(nFileServer2::HomeFromExecutable("/prog"), "/");
}

TEST_F(FileServerTest, ManglePathResolvesAssignsAndNormalises) {
    ASSERT_TRUE(fs->SetAssign("data", "/Install/Data/"));
    EXPECT_EQ(fs->ManglePath("data:Meshes\\Diver.N3D"), "/install/data/meshes/diver.n3d");
    EXPECT_EQ(fs->ManglePath("Data:x"), "");  // assign names match exactly
    EXPECT_EQ(fs->ManglePath("textures/"), "textures");
    EXPECT_EQ(fs->ManglePath("/"), "");
    EXPECT_EQ(fs->ManglePath("data:"), "/install/data");
    ASSERT_TRUE(fs->SetAssign("via", "data:Sub/"));
    EXPECT_EQ(fs->ManglePath("via:X"), "/install/data/sub/x");

    // Too long for the path buffers: refused, not cut.
    EXPECT_EQ(fs->ManglePath(std::string(600, 'a').c_str()), "");
    char small[8];
    EXPECT_STREQ(fs->ManglePath("data:x", small, sizeof(small)), "");
    ASSERT_TRUE(fs->SetAssign("long", ("/" + std::string(500, 'l') + "/").c_str()));
    EXPECT_EQ(fs->ManglePath(("long:" + std::string(20, 'x')).c_str()), "");

    // Updating an assign reuses its object.
    nRoot* obj = kernel->Lookup("/sys/share/assigns/data");
    EXPECT_TRUE(fs->SetAssign("data", "/Other/"));
    EXPECT_EQ(kernel->Lookup("/sys/share/assigns/data"), obj);
    EXPECT_EQ(fs->ManglePath("data:One/A.n"), "/other/one/a.n");
}

TEST_F(FileServerTest, BadAssignsAreRefusedWithoutStopping) {
    EXPECT_FALSE(fs->SetAssign("x", "/no/slash"));
    EXPECT_EQ(fs->GetAssign("x"), nullptr);
    for (const char* name : {".", "..", "a/b", ""}) EXPECT_FALSE(fs->SetAssign(name, "/a/")) << name;
    EXPECT_FALSE(fs->SetAssign(nullptr, "/a/"));
    EXPECT_FALSE(fs->SetAssign("x", nullptr));
    EXPECT_TRUE(fs->Call(nId("SASS"), nullptr, "bad", "/x"));  // from a script: logged, nothing set
    EXPECT_EQ(fs->GetAssign("bad"), nullptr);

    // A child of the assigns directory that is no nenv is not an assign.
    kernel->New("nroot", "/sys/share/assigns/plain");
    EXPECT_EQ(fs->GetAssign("plain"), nullptr);
    EXPECT_FALSE(fs->SetAssign("plain", "/a/"));

    // A released assigns directory comes back.
    kernel->Lookup("/sys/share/assigns")->Release();
    EXPECT_EQ(fs->GetAssign("tmp"), nullptr);
    EXPECT_TRUE(fs->SetAssign("tmp", "/t/"));
    EXPECT_STREQ(fs->GetAssign("tmp"), "/t/");
}

TEST_F(FileServerTest, FilesOpenWhateverTheirLetterCaseAndSeek) {
    tmp.Dir("Data");
    tmp.File("Data/X.n", "0123456789");
    nFile* f = fs->NewFileObject();
    EXPECT_TRUE(f->Exists("tmp:data/x.n"));
    EXPECT_FALSE(f->Open("tmp:data", "r"));  // a directory is no file
    EXPECT_FALSE(f->Open("tmp:data/x.n", "x"));
    EXPECT_FALSE(f->IsOpen());

    ASSERT_TRUE(f->Open("tmp:Data/X.n", "rb"));
    EXPECT_EQ(f->GetSize(), 10u);
    uint64_t seeks = fs->GetNumSeeks();
    char c;
    EXPECT_TRUE(f->Seek(4, nFile::START));
    EXPECT_TRUE(f->Seek(2, nFile::CURRENT));
    EXPECT_EQ(f->Tell(), 6u);
    f->Read(&c, 1);
    EXPECT_EQ(c, '6');
    EXPECT_TRUE(f->Seek(-1, nFile::END));
    f->Read(&c, 1);
    EXPECT_EQ(c, '9');
    EXPECT_TRUE(f->Eof());
    EXPECT_EQ(f->Read(&c, 1), 0u);
    EXPECT_FALSE(f->Seek(-20, nFile::CURRENT));
    EXPECT_FALSE(f->Seek(0, 3));
    EXPECT_EQ(fs->GetNumSeeks(), seeks + 4);
    delete f;
}

TEST_F(FileServerTest, WriteModesAndStatistics) {
    nFile* f = fs->NewFileObject();
    uint64_t written = fs->GetBytesWritten();
    ASSERT_TRUE(f->Open("tmp:Out.txt", "w"));
    EXPECT_TRUE(f->PutS("first line\n"));
    EXPECT_TRUE(f->PutS(""));
    EXPECT_EQ(f->GetLineCount(), 2);
    f->Close();
    EXPECT_EQ(fs->GetBytesWritten(), written + 11);
    EXPECT_EQ(tmp.Read("out.txt"), "first line\n");

    ASSERT_TRUE(f->Open("tmp:out.txt", "a"));
    EXPECT_EQ(f->GetLineCount(), 0);
    EXPECT_TRUE(f->PutS("second\n"));
    f->Close();
    EXPECT_EQ(tmp.Read("out.txt"), "first line\nsecond\n");  // appended, not overwritten

    ASSERT_TRUE(f->Open("tmp:new.txt", "A"));  // append creates
    f->PutS("x");
    ASSERT_TRUE(f->Open("tmp:out.txt", "ws"));  // a second Open closes the first file
    f->PutS("y");
    f->Close();
    EXPECT_EQ(tmp.Read("new.txt"), "x");
    EXPECT_EQ(tmp.Read("out.txt"), "y");

    // Writing to a file opened for reading moves nothing.
    ASSERT_TRUE(f->Open("tmp:out.txt", "r"));
    EXPECT_EQ(f->Write("zz", 2), 0u);
    EXPECT_FALSE(f->PutS("zz"));
    delete f;
    EXPECT_EQ(tmp.Read("out.txt"), "y");
}

TEST_F(FileServerTest, GetSReadsLines) {
    tmp.File("l.txt", "one\r\ntwo\n\nlast");
    std::vector<bool> results;
    EXPECT_EQ(Lines("tmp:l.txt", 64, &results), (std::vector<std::string>{"one\r", "two", "", "last"}));
    EXPECT_EQ(results, (std::vector<bool>{true, true, true, true, false}));

    // Lines longer than a 64-byte chunk, and a last line of exactly 64 characters.
    std::string a(100, 'a'), b(64, 'b');
    tmp.File("long.txt", a + "\n" + b);
    EXPECT_EQ(Lines("tmp:long.txt", 512), (std::vector<std::string>{a, b}));

    // A line that does not fit returns false; the next call continues after it.
    tmp.File("split.txt", "abcdefghij\nxy\n");
    results.clear();
    EXPECT_EQ(Lines("tmp:split.txt", 5, &results), (std::vector<std::string>{"abcd", "efgh", "ij", "xy"}));
    EXPECT_EQ(results, (std::vector<bool>{false, false, true, true, false}));

    nFile* f = fs->NewFileObject();
    ASSERT_TRUE(f->Open("tmp:split.txt", "r"));
    char buf[4] = "zzz";
    EXPECT_FALSE(f->GetS(buf, 1));
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(f->GetLineCount(), 1);
    EXPECT_EQ(f->Tell(), 0u);
    delete f;
}

TEST_F(FileServerTest, DirectoryListingsAreSorted) {
    tmp.Dir("List");
    tmp.File("List/b.n", "");
    tmp.File("List/A.n", "");
    tmp.Dir("List/Sub");
    tmp.Dir("Empty");
    std::string base = lower + "/list/";
    EXPECT_EQ(List("tmp:list"), (Listing{{base + "A.n", nDirectory::FILE},
                                         {base + "b.n", nDirectory::FILE},
                                         {base + "Sub", nDirectory::DIRECTORY}}));
    // Stepping past the end leaves no name; the first entry can be had again.
    nDirectory* d = fs->NewDirectoryObject();
    ASSERT_TRUE(d->Open("tmp:list"));
    while (d->SetToNextEntry()) {
    }
    EXPECT_STREQ(d->GetEntryName(), "");
    EXPECT_TRUE(d->SetToFirstEntry());
    EXPECT_EQ(d->GetEntryName(), base + "A.n");

    ASSERT_TRUE(d->Open("tmp:empty"));
    EXPECT_TRUE(d->IsEmpty());
    EXPECT_FALSE(d->SetToFirstEntry());
    EXPECT_FALSE(d->Open("tmp:list/b.n"));
    EXPECT_FALSE(d->Open("tmp:missing"));
    EXPECT_FALSE(d->IsOpen());
    delete d;
}

TEST_F(FileServerTest, CurrentDirectory) {
    std::string before = fs->GetCwd();
    tmp.Dir("Work");
    ASSERT_TRUE(fs->ChangeDir((tmp.path + "/work").c_str()));
    EXPECT_EQ(std::string(fs->GetCwd()), lower + "/work");
    char buf[nFileServer2::MAXPATH];
    EXPECT_EQ(std::string(fs->MakeAbsolutePath("Sub\\File.N", buf, sizeof(buf))), lower + "/work/sub/file.n");
    EXPECT_STREQ(fs->MakeAbsolutePath("/Abs/", buf, sizeof(buf)), "/abs");
    EXPECT_STREQ(fs->MakeAbsolutePath("c:\\X", buf, sizeof(buf)), "c:/x");
    EXPECT_STREQ(fs->MakeAbsolutePath("home:x", buf, sizeof(buf)), (std::string(fs->GetCwd()) + "/home:x").c_str());
    EXPECT_FALSE(fs->ChangeDir((tmp.path + "/none").c_str()));
    ASSERT_TRUE(fs->ChangeDir(before.c_str()));
}

// A name whose assign is unknown (never made, spelled otherwise, deleted from the tree) is
// refused and logged by every file operation, on the disk and in the archives, and written
// nowhere; a drive letter and a ':' after a '/' stay names.
TEST_F(FileServerTest, APathOfAnUnknownAssignIsRefusedByEveryFileOperation) {
    nTestLog log;
    kernel->SetLogHandler(&log);
    const std::string before = fs->GetCwd();
    ASSERT_TRUE(fs->ChangeDir(tmp.path.c_str()) && fs->SetAssign("gone", "/x/"));
    kernel->Lookup("/sys/share/assigns/gone")->Release();
    // Values set on the assign's nenv itself: of an unknown assign, empty, no folder, a loop.
    for (const char* value : {"gone:x/", "", "/x", "loop:x/"}) {
        const std::string name = value[0] == 'g' ? "hop" : !*value ? "void" : value[0] == '/' ? "bare" : "loop";
        ASSERT_TRUE(fs->SetAssign(name.c_str(), "/x/"));
        static_cast<nEnv*>(kernel->Lookup(("/sys/share/assigns/" + name).c_str()))->SetS(value);
    }
    for (const bool archives : {false, true}) {
        if (archives) ASSERT_GT(bwtest::MountGameArchives(kernel), 0);
        fs = kernel->GetFileServer();
        for (const char* name : {"save:x.n", "Tmp:x.n", "gone:x.n", "gone:", "hop:x.n", "void:x.n", "bare:x.n", "loop:x"}) {
            std::unique_ptr<nFile> f(fs->NewFileObject());
            std::unique_ptr<nDirectory> d(fs->NewDirectoryObject());
            std::string text;
            log.lines.clear();
            EXPECT_TRUE(fs->DiskPath(name).empty() && !f->Exists(name) && !d->Open(name) &&
                        !fs->ReadFile(name, text) && !f->Open(name, "w") && !f->Open(name, "a") &&
                        !f->Open(name, "n") && fs->ShareName(name) == name)
                << name;
            EXPECT_EQ(log.lines.size(), 7u) << name;  // one a refusal, but ShareName's
        }
    }
    EXPECT_EQ(List("tmp:"), Listing{});
    EXPECT_EQ(fs->ManglePath("C:\\X") + " " + fs->ManglePath("/A/b:C") + " " + fs->ManglePath("sub/b:c"),
              "c:/x /a/b:c sub/b:c");
    ASSERT_TRUE(fs->ChangeDir(before.c_str()));
    kernel->SetLogHandler(nullptr);
}

// The build directory is laid out as the installation: what data/ holds is
// reachable through home: (from the archives) and bin: from the programs built there.
TEST_F(FileServerTest, GameDataIsReachableThroughHomeAndBin) {
    const char* root = std::getenv("BW_SOURCE_DIR");  // set for every test process
    ASSERT_NE(root, nullptr);
    ASSERT_GT(bwtest::MountGameArchives(kernel), 0);
    fs = kernel->GetFileServer();
    std::string data = std::string(root) + "/data";
    std::vector<sys::Disk::Entry> entries;
    ASSERT_TRUE(sys::Disk::List(data, entries));
    nDirectory* d = fs->NewDirectoryObject();
    for (const auto& e : entries) {
        if (e.isDirectory) {
            EXPECT_TRUE(d->Open(("home:" + e.name).c_str())) << e.name;
        }
    }
    delete d;
    nFile* f = fs->NewFileObject();
    if (sys::Disk::List(data + "/bin/win32", entries)) {
        for (const auto& e : entries) {
            if (!e.isDirectory) {
                EXPECT_TRUE(f->Exists(("bin:" + e.name).c_str())) << e.name;
            }
        }
    }
    delete f;
}

}  // namespace
