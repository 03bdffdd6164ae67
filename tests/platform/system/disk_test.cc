#include "platform/system/Disk.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "TempFolder.h"

using sys::Disk;

namespace {

class DiskTest : public ::testing::Test {
protected:
    std::string ReadAll(const std::string& path) {
        int fd = Disk::Open(path, Disk::Access::Read);
        if (fd < 0) return "<closed>";
        std::string s(static_cast<size_t>(Disk::Size(fd)), '\0');
        Disk::Read(fd, s.data(), s.size());
        Disk::Close(fd);
        return s;
    }
    TempFolder tmp;
    const std::string& root = tmp.path;
};

TEST_F(DiskTest, ResolvesEachComponentIgnoringCase) {
    tmp.Dir("Data");
    tmp.Dir("Data/Scripts");
    tmp.File("Data/Scripts/Init_BW.n", "x");
    EXPECT_EQ(Disk::Resolve(root + "/data/scripts/init_bw.n"), root + "/Data/Scripts/Init_BW.n");
    EXPECT_EQ(ReadAll(root + "/data/scripts/init_bw.n"), "x");
    // From the first component that matches nothing the rest stays as given.
    EXPECT_EQ(Disk::Resolve(root + "/data/new/file.n"), root + "/Data/new/file.n");
    // An exact match wins over a spelling that differs in case.
    tmp.File("a.txt", "lower");
    tmp.File("A.txt", "upper");
    EXPECT_EQ(ReadAll(root + "/a.txt"), "lower");
    EXPECT_EQ(ReadAll(root + "/A.TXT"), "upper");  // "A.txt" sorts before "a.txt"
    // Writing a lower-cased name over an existing mixed-case file reuses it.
    tmp.File("Save.n", "old");
    int fd = Disk::Open(root + "/save.n", Disk::Access::Write);
    Disk::Write(fd, "new", 3);
    Disk::Close(fd);
    EXPECT_EQ(ReadAll(root + "/Save.n"), "new");
}

TEST_F(DiskTest, OpenRefusesWhatIsNotARegularFile) {
    tmp.Dir("dir");
    EXPECT_EQ(Disk::Open(root + "/dir", Disk::Access::Read), -1);
    EXPECT_EQ(Disk::Open(root + "/missing", Disk::Access::Read), -1);
    EXPECT_EQ(Disk::Open("", Disk::Access::Read), -1);
    std::string fifo = root + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(Disk::Open(fifo, Disk::Access::Read), -1);  // and does not hang
}

// A write goes only into a file that is this name's alone: through a link or into a file with
// another name (which may lie outside the folder) it is refused and that file stays as it was.
TEST_F(DiskTest, WritingRefusesALinkAndAFileWithOtherNames) {
    tmp.File("outside", "kept");
    ASSERT_EQ(::symlink((root + "/outside").c_str(), (root + "/soft").c_str()), 0);
    ASSERT_EQ(::link((root + "/outside").c_str(), (root + "/hard").c_str()), 0);
    for (const char* name : {"/soft", "/hard"}) {
        for (Disk::Access access : {Disk::Access::Write, Disk::Access::Append}) {
            EXPECT_EQ(Disk::Open(root + name, access), -1) << name;
        }
        // Made new, the name becomes a file of its own.
        const int fd = Disk::Open(root + name, Disk::Access::Fresh);
        EXPECT_EQ(Disk::Write(fd, "new", 3), 3);
        Disk::Close(fd);
        EXPECT_EQ(ReadAll(root + name), "new");
    }
    EXPECT_EQ(ReadAll(root + "/outside"), "kept");
}

TEST_F(DiskTest, ListingIsSortedAndSkipsDots) {
    tmp.File("b.n", "");
    tmp.File("C.n", "");
    tmp.File("a.n", "");
    tmp.Dir("Sub");
    ASSERT_EQ(symlink((root + "/Sub").c_str(), (root + "/link").c_str()), 0);
    std::vector<Disk::Entry> entries;
    ASSERT_TRUE(Disk::List(root, entries));
    std::string listed;
    for (const auto& e : entries) listed += e.name + (e.isDirectory ? "/ " : " ");
    EXPECT_EQ(listed, "a.n b.n C.n link/ Sub/ ");
    EXPECT_TRUE(Disk::List(root + "/sub", entries));
    EXPECT_TRUE(entries.empty());
    EXPECT_FALSE(Disk::List(root + "/b.n", entries));
    EXPECT_TRUE(Disk::IsDirectory(root + "/SUB"));
    EXPECT_TRUE(Disk::IsFile(root + "/c.n"));
    EXPECT_FALSE(Disk::IsFile(root + "/sub"));
}

}  // namespace
