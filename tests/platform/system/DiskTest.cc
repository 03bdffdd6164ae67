#include "platform/system/Disk.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using sys::Disk;

namespace {

class DiskTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/bw_disk_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + root + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    void MakeFile(const std::string& rel, const std::string& text) {
        std::ofstream(root + "/" + rel, std::ios::binary) << text;
    }
    void MakeDir(const std::string& rel) { ASSERT_EQ(mkdir((root + "/" + rel).c_str(), 0755), 0); }
    std::string ReadAll(const std::string& path) {
        int fd = Disk::Open(path, Disk::Access::Read);
        if (fd < 0) return "<closed>";
        std::string s(static_cast<size_t>(Disk::Size(fd)), '\0');
        Disk::Read(fd, s.data(), s.size());
        Disk::Close(fd);
        return s;
    }
    std::string root;
};

TEST_F(DiskTest, ResolvesEachComponentIgnoringCase) {
    MakeDir("Data");
    MakeDir("Data/Scripts");
    MakeFile("Data/Scripts/Init_BW.n", "x");
    EXPECT_EQ(Disk::Resolve(root + "/data/scripts/init_bw.n"), root + "/Data/Scripts/Init_BW.n");
    EXPECT_EQ(ReadAll(root + "/data/scripts/init_bw.n"), "x");
    // From the first component that matches nothing the rest stays as given.
    EXPECT_EQ(Disk::Resolve(root + "/data/new/file.n"), root + "/Data/new/file.n");
    // An exact match wins over a spelling that differs in case.
    MakeFile("a.txt", "lower");
    MakeFile("A.txt", "upper");
    EXPECT_EQ(ReadAll(root + "/a.txt"), "lower");
    EXPECT_EQ(ReadAll(root + "/A.TXT"), "upper");  // "A.txt" sorts before "a.txt"
    // Writing a lower-cased name over an existing mixed-case file reuses it.
    MakeFile("Save.n", "old");
    int fd = Disk::Open(root + "/save.n", Disk::Access::Write);
    Disk::Write(fd, "new", 3);
    Disk::Close(fd);
    EXPECT_EQ(ReadAll(root + "/Save.n"), "new");
}

TEST_F(DiskTest, OpenRefusesWhatIsNotARegularFile) {
    MakeDir("dir");
    EXPECT_EQ(Disk::Open(root + "/dir", Disk::Access::Read), -1);
    EXPECT_EQ(Disk::Open(root + "/missing", Disk::Access::Read), -1);
    EXPECT_EQ(Disk::Open("", Disk::Access::Read), -1);
    std::string fifo = root + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(Disk::Open(fifo, Disk::Access::Read), -1);  // and does not hang
}

TEST_F(DiskTest, ListingIsSortedAndSkipsDots) {
    MakeFile("b.n", "");
    MakeFile("C.n", "");
    MakeFile("a.n", "");
    MakeDir("Sub");
    ASSERT_EQ(symlink((root + "/Sub").c_str(), (root + "/link").c_str()), 0);
    std::vector<Disk::Entry> entries;
    ASSERT_TRUE(Disk::List(root, entries));
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0].name, "a.n");
    EXPECT_EQ(entries[1].name, "b.n");
    EXPECT_EQ(entries[2].name, "C.n");
    EXPECT_EQ(entries[3].name, "link");
    EXPECT_TRUE(entries[3].isDirectory);
    EXPECT_EQ(entries[4].name, "Sub");
    EXPECT_TRUE(entries[4].isDirectory);
    EXPECT_FALSE(entries[0].isDirectory);
    EXPECT_TRUE(Disk::List(root + "/sub", entries));
    EXPECT_TRUE(entries.empty());
    EXPECT_FALSE(Disk::List(root + "/b.n", entries));
    EXPECT_TRUE(Disk::IsDirectory(root + "/SUB"));
    EXPECT_TRUE(Disk::IsFile(root + "/c.n"));
    EXPECT_FALSE(Disk::IsFile(root + "/sub"));
}

}  // namespace
