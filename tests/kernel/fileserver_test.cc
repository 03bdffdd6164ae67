// The file server: assigns, path mangling, files and directory listings on disk.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "kernel/nDirectory.h"
#include "kernel/nEnv.h"
#include "kernel/nFile.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "platform/system/Disk.h"
#include "platform/system/System.h"

namespace {

class FileServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/bw_fs_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        kernel = new nKernelServer();
        fs = kernel->GetFileServer();
        ASSERT_NE(fs, nullptr);
        ASSERT_TRUE(fs->SetAssign("tmp", (dir + "/").c_str()));
    }
    void TearDown() override {
        delete kernel;
        ASSERT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
    }
    void MakeFile(const std::string& rel, const std::string& text) {
        std::ofstream(dir + "/" + rel, std::ios::binary) << text;
    }
    void MakeDir(const std::string& rel) { ASSERT_EQ(mkdir((dir + "/" + rel).c_str(), 0755), 0); }
    std::string Slurp(const std::string& rel) {
        std::ifstream in(dir + "/" + rel, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::vector<std::string> Lines(const char* name, size_t bufSize, std::vector<bool>* results = nullptr) {
        nFile* f = fs->NewFileObject();
        std::vector<std::string> lines;
        EXPECT_TRUE(f->Open(name, "r"));
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
    std::string Lower(std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    }

    std::string dir;
    nKernelServer* kernel = nullptr;
    nFileServer2* fs = nullptr;
};

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
    EXPECT_EQ(fs->ManglePath("Data:x"), "data:x");  // assign names match exactly
    EXPECT_EQ(fs->ManglePath("Home:x"), "home:x");
    EXPECT_EQ(fs->ManglePath("c:\\Data\\File.TXT"), "c:/data/file.txt");
    EXPECT_EQ(fs->ManglePath("textures/"), "textures");
    EXPECT_EQ(fs->ManglePath("/"), "");
    EXPECT_EQ(fs->ManglePath("nope:a/b"), "nope:a/b");
    EXPECT_EQ(fs->ManglePath("data:"), "/install/data");
    EXPECT_EQ(fs->ManglePath(""), "");

    // Too long for the path buffers: refused, not cut.
    std::string longPath(600, 'a');
    EXPECT_EQ(fs->ManglePath(longPath.c_str()), "");
    char small[8];
    EXPECT_STREQ(fs->ManglePath("data:x", small, sizeof(small)), "");
    ASSERT_TRUE(fs->SetAssign("long", ("/" + std::string(500, 'l') + "/").c_str()));
    EXPECT_EQ(fs->ManglePath(("long:" + std::string(20, 'x')).c_str()), "");

    // Updating an assign reuses its object.
    nRoot* obj = kernel->Lookup("/sys/share/assigns/data");
    ASSERT_TRUE(fs->SetAssign("data", "/other/"));
    EXPECT_EQ(kernel->Lookup("/sys/share/assigns/data"), obj);
    EXPECT_EQ(fs->ManglePath("data:x"), "/other/x");
}

TEST_F(FileServerTest, BadAssignsAreRefusedWithoutStopping) {
    EXPECT_FALSE(fs->SetAssign("x", "/no/slash"));
    EXPECT_EQ(fs->GetAssign("x"), nullptr);
    EXPECT_FALSE(fs->SetAssign(".", "/a/"));
    EXPECT_FALSE(fs->SetAssign("..", "/a/"));
    EXPECT_FALSE(fs->SetAssign("a/b", "/a/"));
    EXPECT_FALSE(fs->SetAssign("", "/a/"));
    EXPECT_FALSE(fs->SetAssign(nullptr, "/a/"));
    EXPECT_FALSE(fs->SetAssign("x", nullptr));
    EXPECT_EQ(fs->GetAssign("."), nullptr);
    EXPECT_EQ(fs->GetAssign(".."), nullptr);
    EXPECT_EQ(fs->GetAssign("missing"), nullptr);

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

TEST_F(FileServerTest, ScriptCommands) {
    EXPECT_TRUE(fs->Call(nId("SASS"), nullptr, "lvl", "/Levels/"));
    nArg out;
    ASSERT_TRUE(fs->Call(nId("GASS"), &out, "lvl"));
    EXPECT_STREQ(out.GetS(), "/Levels/");
    ASSERT_TRUE(fs->Call(nId("MNGP"), &out, "lvl:One/A.n"));
    EXPECT_STREQ(out.GetS(), "/levels/one/a.n");
    EXPECT_TRUE(fs->Call(nId("SASS"), nullptr, "bad", "/x"));  // logged, nothing set
    ASSERT_TRUE(fs->Call(nId("GASS"), &out, "bad"));
    EXPECT_EQ(out.GetS(), nullptr);
}

TEST_F(FileServerTest, FilesOpenWhateverTheirLetterCase) {
    MakeDir("Data");
    MakeFile("Data/X.n", "content");
    nFile* f = fs->NewFileObject();
    ASSERT_TRUE(f->Open("tmp:Data/X.n", "r"));
    char buf[16] = {};
    EXPECT_EQ(f->Read(buf, sizeof(buf)), 7u);
    EXPECT_STREQ(buf, "content");
    f->Close();
    EXPECT_FALSE(f->IsOpen());
    EXPECT_TRUE(f->Exists("tmp:data/x.n"));
    EXPECT_FALSE(f->Exists("tmp:data/y.n"));
    EXPECT_FALSE(f->Open("tmp:data", "r"));  // a directory is no file
    EXPECT_FALSE(f->Open("tmp:data/x.n", "x"));
    EXPECT_FALSE(f->Open("tmp:data/x.n", ""));
    EXPECT_FALSE(f->IsOpen());
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
    EXPECT_EQ(Slurp("out.txt"), "first line\n");

    ASSERT_TRUE(f->Open("tmp:out.txt", "a"));
    EXPECT_EQ(f->GetLineCount(), 0);
    EXPECT_TRUE(f->PutS("second\n"));
    f->Close();
    EXPECT_EQ(Slurp("out.txt"), "first line\nsecond\n");  // appended, not overwritten

    ASSERT_TRUE(f->Open("tmp:new.txt", "A"));  // append creates
    f->PutS("x");
    ASSERT_TRUE(f->Open("tmp:out.txt", "ws"));  // a second Open closes the first file
    f->PutS("y");
    f->Close();
    EXPECT_EQ(Slurp("new.txt"), "x");
    EXPECT_EQ(Slurp("out.txt"), "y");

    // Writing to a file opened for reading moves nothing.
    ASSERT_TRUE(f->Open("tmp:out.txt", "r"));
    EXPECT_EQ(f->Write("zz", 2), 0u);
    EXPECT_FALSE(f->PutS("zz"));
    delete f;
    EXPECT_EQ(Slurp("out.txt"), "y");
}

TEST_F(FileServerTest, SeekOriginsTellSizeEof) {
    MakeFile("s.bin", "0123456789");
    nFile* f = fs->NewFileObject();
    ASSERT_TRUE(f->Open("tmp:s.bin", "rb"));
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
    EXPECT_EQ(nFile::CURRENT, 0);
    EXPECT_EQ(nFile::START, 1);
    EXPECT_EQ(nFile::END, 2);
    delete f;
}

TEST_F(FileServerTest, GetSReadsLines) {
    MakeFile("l.txt", "one\r\ntwo\n\nlast");
    std::vector<bool> results;
    auto lines = Lines("tmp:l.txt", 64, &results);
    EXPECT_EQ(lines, (std::vector<std::string>{"one\r", "two", "", "last"}));
    EXPECT_EQ(results, (std::vector<bool>{true, true, true, true, false}));

    // Lines longer than a 64-byte chunk, and a last line of exactly 64 characters.
    std::string a(100, 'a'), b(64, 'b');
    MakeFile("long.txt", a + "\n" + b);
    EXPECT_EQ(Lines("tmp:long.txt", 512), (std::vector<std::string>{a, b}));

    // A line that does not fit returns false; the next call continues after it.
    MakeFile("split.txt", "abcdefghij\nxy\n");
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
    MakeDir("List");
    MakeFile("List/b.n", "");
    MakeFile("List/A.n", "");
    MakeDir("List/Sub");
    MakeDir("Empty");
    nDirectory* d = fs->NewDirectoryObject();
    ASSERT_TRUE(d->Open("tmp:list"));
    EXPECT_TRUE(d->IsOpen());
    EXPECT_FALSE(d->IsEmpty());
    std::string base = Lower(dir) + "/list/";
    std::vector<std::pair<std::string, int>> seen;
    do {
        seen.emplace_back(d->GetEntryName(), d->GetEntryType());
    } while (d->SetToNextEntry());
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, int>>{
                        {base + "A.n", nDirectory::FILE}, {base + "b.n", nDirectory::FILE},
                        {base + "Sub", nDirectory::DIRECTORY}}));
    EXPECT_FALSE(d->SetToNextEntry());
    EXPECT_STREQ(d->GetEntryName(), "");
    EXPECT_TRUE(d->SetToFirstEntry());
    EXPECT_EQ(d->GetEntryName(), base + "A.n");

    ASSERT_TRUE(d->Open("tmp:empty"));
    EXPECT_TRUE(d->IsEmpty());
    EXPECT_FALSE(d->SetToFirstEntry());
    d->Close();
    EXPECT_FALSE(d->IsOpen());
    EXPECT_FALSE(d->Open("tmp:list/b.n"));
    EXPECT_FALSE(d->Open("tmp:missing"));
    EXPECT_FALSE(d->IsOpen());
    delete d;
}

TEST_F(FileServerTest, CurrentDirectory) {
    std::string before = fs->GetCwd();
    MakeDir("Work");
    ASSERT_TRUE(fs->ChangeDir((dir + "/work").c_str()));
    EXPECT_EQ(std::string(fs->GetCwd()), Lower(dir) + "/work");
    char buf[nFileServer2::MAXPATH];
    EXPECT_EQ(std::string(fs->MakeAbsolutePath("Sub\\File.N", buf, sizeof(buf))), Lower(dir) + "/work/sub/file.n");
    EXPECT_STREQ(fs->MakeAbsolutePath("/Abs/", buf, sizeof(buf)), "/abs");
    EXPECT_STREQ(fs->MakeAbsolutePath("c:\\X", buf, sizeof(buf)), "c:/x");
    EXPECT_STREQ(fs->MakeAbsolutePath("home:x", buf, sizeof(buf)), (std::string(fs->GetCwd()) + "/home:x").c_str());
    EXPECT_FALSE(fs->ChangeDir((dir + "/none").c_str()));
    ASSERT_TRUE(fs->ChangeDir(before.c_str()));
}

// The build directory is laid out as the installation: what data/ holds is
// reachable through home: and bin: from the programs built there.
TEST_F(FileServerTest, GameDataIsReachableThroughHomeAndBin) {
    // The source root, three levels above this file.
    std::string source = __FILE__;
    for (int i = 0; i < 3; i++) source.erase(source.find_last_of('/'));
    std::string data = source + "/data";
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
