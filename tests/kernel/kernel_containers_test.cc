#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "kernel/nArray.h"
#include "kernel/nHashList.h"
#include "kernel/nHashTable.h"
#include "kernel/nKeyArray.h"
#include "kernel/nList.h"
#include "kernel/nNamedList.h"
#include "kernel/nString.h"

TEST(nStringTest, SetAppendAndCopyKeepTheText) {
    nString s;
    EXPECT_STREQ(s.Get(), "");
    s.Set("abcdefghijklm");  // 13 characters
    s.Append("n");
    EXPECT_STREQ(s.Get(), "abcdefghijklmn");
    EXPECT_EQ(s.Length(), 14u);
    s.Append(s.Get());  // appending its own text
    EXPECT_STREQ(s.Get(), "abcdefghijklmnabcdefghijklmn");
    nString copy = s;
    s.Set(nullptr);
    EXPECT_STREQ(s.Get(), "");
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_EQ(copy.Length(), 28u);
    nString moved = std::move(copy);
    EXPECT_EQ(moved, "abcdefghijklmnabcdefghijklmn");
}

TEST(nStringTest, LengthsBeyondSixteenBitsDoNotWrap) {
    std::string big(70000, 'x');
    nString s(big.c_str());
    s.Append(big.c_str());
    EXPECT_EQ(s.Length(), 140000u);
    EXPECT_EQ(std::string(s.Get()), big + big);
}

TEST(nStringTest, PathParts) {
    EXPECT_STREQ(nString("a/b/c.txt").ExtractDirName().Get(), "a/b");
    EXPECT_STREQ(nString("c:file").ExtractDirName().Get(), "c");
    EXPECT_STREQ(nString("a\\b/c").ExtractFileName().Get(), "c");  // '/' wins over '\'
    EXPECT_STREQ(nString("home:x").ExtractFileName().Get(), "x");
    EXPECT_STREQ(nString("plain").ExtractFileName().Get(), "plain");
    nString p("a\\b\\c");
    p.ConvertBackslashes();
    EXPECT_STREQ(p.Get(), "a/b/c");
}

TEST(nHashTableTest, HashIsWeightedByteSumModuloN) {
    EXPECT_EQ(nHashTable::Hash(nullptr, 16), 0);
    EXPECT_EQ(nHashTable::Hash("ab", 0), 0);
    EXPECT_EQ(nHashTable::Hash("ab", 64), (97 + 2 * 98) % 64);
    EXPECT_EQ(nHashTable::Hash("\xff", 1000), 255);  // bytes count unsigned
    // A text long enough to overflow a signed 32-bit sum never gives a negative bucket.
    std::string longText(6000, '\xFF');
    uint32_t sum = 0;
    for (uint32_t i = 0; i < longText.size(); i++) sum += 255u * (i + 1);
    EXPECT_EQ(nHashTable::Hash(longText.c_str(), 999), int(sum % 999u));
}

TEST(nListTest, OrderRemovalAndEnds) {
    nList list;
    nNode a, b, c;
    EXPECT_TRUE(list.IsEmpty());
    list.AddTail(&b);
    list.AddHead(&a);
    list.AddTail(&c);
    EXPECT_EQ(list.GetHead(), &a);
    EXPECT_EQ(a.GetSucc(), &b);
    EXPECT_EQ(c.GetSucc(), nullptr);
    b.Remove();
    EXPECT_FALSE(b.IsLinked());
    EXPECT_EQ(a.GetSucc(), &c);
    EXPECT_EQ(list.RemTail(), &c);
    EXPECT_EQ(list.RemHead(), &a);
    EXPECT_EQ(list.RemHead(), nullptr);
    {
        // A node destroyed while listed unlinks itself.
        nNode temp;
        list.AddTail(&temp);
    }
    EXPECT_TRUE(list.IsEmpty());
}

TEST(nHashListTest, FindRenameAndRemove) {
    nHashList list(4);
    nHashNode a("alpha"), b("beta"), c("gamma");
    list.AddTail(&a);
    list.AddTail(&b);
    list.AddHead(&c);
    EXPECT_EQ(list.GetHead(), &c);
    EXPECT_EQ(list.Find("beta"), &b);
    EXPECT_EQ(list.Find("delta"), nullptr);
    b.SetName("delta");
    EXPECT_EQ(list.Find("beta"), nullptr);
    EXPECT_EQ(list.Find("delta"), &b);
    a.Remove();
    EXPECT_EQ(list.Find("alpha"), nullptr);
    EXPECT_EQ(list.RemHead(), &c);
    EXPECT_EQ(list.Find("gamma"), nullptr);
}

TEST(nNamedListTest, FindIsExactAndFirstWins) {
    nNamedList list;
    nNamedNode a("x"), b("X"), c("x");
    list.AddTail(&a);
    list.AddTail(&b);
    list.AddTail(&c);
    EXPECT_EQ(list.Find("x"), &a);
    EXPECT_EQ(list.Find("X"), &b);
    EXPECT_EQ(list.Find("y"), nullptr);
}

TEST(nArrayTest, AppendAtAndGrowth) {
    nArray<nString> arr(0, 4);
    arr.At(10) = "ten";
    EXPECT_EQ(arr.Size(), 11);
    EXPECT_EQ(arr.Capacity(), 14);
    EXPECT_STREQ(arr[3].Get(), "");
    for (int k = 0; k < 10; k++) arr.Append(nString::Format("v%d", k));
    EXPECT_EQ(arr.Size(), 21);
    EXPECT_STREQ(arr[10].Get(), "ten");  // kept across growth
    EXPECT_STREQ(arr[20].Get(), "v9");
    arr.Erase(10);
    EXPECT_STREQ(arr[10].Get(), "v0");
    nArray<nString> copy = arr;
    arr.Clear();
    EXPECT_EQ(arr.Size(), 0);
    EXPECT_STREQ(copy[19].Get(), "v9");
}

// Filled one element at a time, arrays grow their room geometrically whatever the grow
// step: a table refilled every frame must not copy itself once per step.
TEST(nArrayTest, GrowthAtLeastDoublesTheRoom) {
    nArray<int> arr(0, 1);
    int growths = 0, last = 0;
    for (int i = 0; i < 100000; i++) {
        arr.Append(i);
        if (arr.Capacity() != last) {
            growths++;
            last = arr.Capacity();
        }
    }
    EXPECT_LE(growths, 18);
    EXPECT_EQ(arr[99999], 99999);

    // Past the end, the step still counts when it asks for more.
    nArray<int> stepped(0, 4);
    stepped.At(10);
    EXPECT_EQ(stepped.Capacity(), 14);
    stepped.At(14);
    EXPECT_EQ(stepped.Capacity(), 28);
    stepped.At(40);
    EXPECT_EQ(stepped.Capacity(), 56);
}

TEST(nKeyArrayTest, EqualKeysAfterExistingOnesAndFind) {
    nKeyArray<const char*> arr(2, 2);
    arr.Add(5, "first5");
    arr.Add(3, "three");
    arr.Add(5, "second5");
    arr.Add(4, "four");
    ASSERT_EQ(arr.Size(), 4);
    EXPECT_EQ(arr.GetKeyAt(0), 3u);
    EXPECT_EQ(arr.GetKeyAt(1), 4u);
    EXPECT_STREQ(arr.GetElementAt(2), "first5");
    EXPECT_STREQ(arr.GetElementAt(3), "second5");
    EXPECT_STREQ(arr.Find(4)->value, "four");
    EXPECT_EQ(arr.Find(6), nullptr);
    EXPECT_EQ(arr.Find(0), nullptr);
    arr.Add(1, "one");  // moving elements invalidates the cache
    EXPECT_STREQ(arr.Find(4)->value, "four");

    nKeyArray<void*> pointers;  // values are not cut to 32 bits
    void* p = reinterpret_cast<void*>(uintptr_t{0x123456789abcULL});
    pointers.Add(7, p);
    EXPECT_EQ(pointers.Find(7)->value, p);
}
