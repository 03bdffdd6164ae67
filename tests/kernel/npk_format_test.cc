// The npk table of contents read back from archives made by our writer, and
// refused when malformed.
#include "kernel/nNpkToc.h"
#include "kernel/nNpkWriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes SampleArchive() {
    nNpkWriter w;
    EXPECT_TRUE(w.BeginDir("Pack.npk"));
    EXPECT_TRUE(w.AddFile("Readme.TXT", "hello\n", 6));
    EXPECT_TRUE(w.BeginDir("sub"));
    EXPECT_TRUE(w.AddFile("a.n", "line1\nline2", 11));
    EXPECT_TRUE(w.AddFile("empty", "", 0));
    EXPECT_TRUE(w.EndDir());
    EXPECT_TRUE(w.EndDir());
    Bytes out;
    EXPECT_TRUE(w.Finish(out)) << w.GetError();
    return out;
}

// Hand-made archives for the malformed cases the writer refuses to make.
struct RawArchive {
    Bytes b;
    RawArchive() { U32(nNpkToc::MAGIC).U32(4).U32(0); }
    RawArchive& U16(uint16_t v) { b.push_back(uint8_t(v)); b.push_back(uint8_t(v >> 8)); return *this; }
    RawArchive& U32(uint32_t v) { for (int i = 0; i < 4; i++) b.push_back(uint8_t(v >> (8 * i))); return *this; }
    RawArchive& Name(const std::string& n) { U16(uint16_t(n.size())); b.insert(b.end(), n.begin(), n.end()); return *this; }
    RawArchive& Dir(const std::string& n) { return U32(nNpkToc::TAG_DIR).U32(uint32_t(2 + n.size())).Name(n); }
    RawArchive& Dirs(int count) {
        for (int i = 0; i < count; i++) Dir("d" + std::to_string(i));
        return *this;
    }
    RawArchive& End() { return U32(nNpkToc::TAG_DIREND).U32(0); }
    RawArchive& File(const std::string& n, uint32_t off, uint32_t len) {
        return U32(nNpkToc::TAG_FILE).U32(uint32_t(10 + n.size())).U32(off).U32(len).Name(n);
    }
    Bytes Done(const std::string& payload = "") {
        uint32_t dataOffset = uint32_t(b.size());
        std::memcpy(&b[8], &dataOffset, 4);
        U32(nNpkToc::TAG_DATA);
        U32(uint32_t(payload.size()));
        b.insert(b.end(), payload.begin(), payload.end());
        return b;
    }
};

std::string ParseError(const Bytes& bytes) {
    nNpkToc toc;
    std::string error;
    if (toc.ParseBuffer(bytes.data(), bytes.size(), "/r", nullptr, error)) return "mounted";
    EXPECT_EQ(toc.GetRoot(), nullptr);
    return error;
}

TEST(NpkFormat, WriterOutputReadsBackWithLowerCaseNamesAndResolves) {
    Bytes bytes = SampleArchive();
    // Header: magic bytes "0KPN" on disk.
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "0KPN");
    nNpkToc toc;
    std::string error;
    ASSERT_TRUE(toc.ParseBuffer(bytes.data(), bytes.size(), "/data", nullptr, error)) << error;
    nNpkTocEntry* root = toc.GetRoot();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->GetName(), "pack.npk");
    EXPECT_TRUE(root->IsDirectory());
    std::string children;
    for (nNpkTocEntry* e = root->GetHead(); e; e = e->GetSucc()) children += e->GetName() + " ";
    EXPECT_EQ(children, "readme.txt sub ");

    nNpkTocEntry* a = toc.Resolve("/data/pack.npk/sub/a.n");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->GetType(), nNpkTocEntry::FILE);
    EXPECT_EQ(a->GetFileLength(), 11u);
    EXPECT_EQ(std::string(bytes.begin() + long(a->GetFileOffset()), bytes.begin() + long(a->GetFileOffset()) + 11),
              "line1\nline2");
    EXPECT_EQ(a->GetFullName(), "/data/pack.npk/sub/a.n");

    // Dots are walked, but never out of the archive; names match exactly.
    EXPECT_EQ(toc.Resolve("/data/pack.npk/./sub/../sub/a.n"), a);
    EXPECT_EQ(toc.Resolve("/data\\pack.npk\\sub\\a.n"), a);
    EXPECT_EQ(toc.Resolve("/data/pack.npk"), root);
    for (const char* path : {"/data/pack.npk/..", "/data/pack.npk/../pack.npk/sub/a.n", "/data/Pack.npk/sub/a.n",
                             "/data/pack.npk/readme.txt/x", "/datax/pack.npk/sub/a.n", "/data"}) {
        EXPECT_EQ(toc.Resolve(path), nullptr) << path;
    }

    // Mounted at the file system root, which mangles to the empty path.
    nNpkToc top;
    ASSERT_TRUE(top.ParseBuffer(bytes.data(), bytes.size(), "", nullptr, error));
    ASSERT_NE(top.Resolve("/pack.npk/readme.txt"), nullptr);
    EXPECT_EQ(top.Resolve("/pack.npk/readme.txt")->GetFullName(), "/pack.npk/readme.txt");
}

TEST(NpkFormat, MalformedArchivesAreRefusedWithAReason) {
    Bytes good = SampleArchive();

    Bytes badMagic = good;
    badMagic[0] = 'X';
    EXPECT_EQ(ParseError(badMagic), "bad magic");
    EXPECT_EQ(ParseError(Bytes(good.begin(), good.begin() + 7)), "header is truncated");

    // Table of contents followed directly by the end of the file.
    Bytes tocOnly = RawArchive().Dir("r.npk").End().b;
    EXPECT_EQ(ParseError(tocOnly), "table of contents is truncated");
    // Cut anywhere inside the table of contents.
    for (size_t cut = 12; cut < tocOnly.size(); cut++) {
        EXPECT_NE(ParseError(Bytes(tocOnly.begin(), tocOnly.begin() + long(cut))), "mounted") << cut;
    }

    // A name length of 0xFFFF in a file entry.
    Bytes negative = RawArchive().Dir("r.npk").U32(nNpkToc::TAG_FILE).U32(0).U32(0).U32(0).U16(0xFFFF).Done();
    EXPECT_EQ(ParseError(negative), "name length out of range");
    EXPECT_EQ(ParseError(RawArchive().Dir(std::string(512, 'x')).End().Done()), "name length out of range");
    EXPECT_EQ(ParseError(RawArchive().Dir(std::string(511, 'x')).End().Done()), "mounted");
    EXPECT_EQ(ParseError(RawArchive().Dirs(17).Done()), "directories nested too deep");
    EXPECT_EQ(ParseError(RawArchive().Dirs(16).Done()), "mounted");
    EXPECT_EQ(ParseError(RawArchive().Dir("r.npk").File("f", 2, 4).End().Done("abcde")),
              "file data lies past the end of the file");
    EXPECT_EQ(ParseError(RawArchive().Dir("r.npk").File("f", 1, 4).End().Done("abcde")), "mounted");

    Bytes huge = RawArchive().Dir("r.npk").End().Done();
    huge[8] = huge[9] = huge[10] = huge[11] = 0xFF;
    EXPECT_EQ(ParseError(huge), "data block lies past the end of the file");

    EXPECT_EQ(ParseError(RawArchive().End().Done()), "directory end without a directory");
    EXPECT_EQ(ParseError(RawArchive().Dir("a").End().Dir("b").Done()), "second root directory");
    EXPECT_EQ(ParseError(RawArchive().File("f", 0, 0).Done()), "file outside any directory");
    EXPECT_EQ(ParseError(RawArchive().Done()), "no root directory");
    EXPECT_EQ(ParseError(RawArchive().Dir("r").File("f", 0, 0).File("f", 0, 0).Done()), "duplicate entry name");
    EXPECT_EQ(ParseError(RawArchive().Dir("r").File("a/b", 0, 0).Done()), "invalid entry name");
}

TEST(NpkFormat, WriterRefusesWhatTheReaderWouldRefuse) {
    nNpkWriter w;
    EXPECT_FALSE(w.AddFile("f", "", 0));
    EXPECT_EQ(w.GetError(), "file 'f' outside any directory");

    nNpkWriter deep;
    for (int i = 0; i < 16; i++) ASSERT_TRUE(deep.BeginDir("d"));
    EXPECT_FALSE(deep.BeginDir("d"));
    nNpkWriter open;
    ASSERT_TRUE(open.BeginDir("r"));
    Bytes out;
    EXPECT_FALSE(open.Finish(out));  // a directory left open

    nNpkWriter names;
    ASSERT_TRUE(names.BeginDir("r"));
    EXPECT_FALSE(names.AddFile(std::string(512, 'n'), "", 0));
    nNpkWriter same;
    ASSERT_TRUE(same.BeginDir("r"));
    ASSERT_TRUE(same.AddFile("Same", "", 0));
    EXPECT_FALSE(same.AddFile("SAME", "", 0));  // equal once lower-cased
    EXPECT_FALSE(same.EndDir());               // an error sticks

    nNpkWriter second;
    ASSERT_TRUE(second.BeginDir("r"));
    ASSERT_TRUE(second.EndDir());
    EXPECT_FALSE(second.BeginDir("s"));
}

}  // namespace
