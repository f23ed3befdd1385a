// The device library reader: tokens of one open entry, directory pairs that
// do not fit the file, and the file's path. The block cache and words are
// checked on librarian-built files in the tools tests.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "engine/Library.h"
#include "tests/engine/LibraryTestFile.h"

namespace {

class LibraryTest : public ::testing::Test {
  protected:
    TempLibraryDir dir{"MixedCase"};
    void SetUp() override {
        ResetLibraryState();
        ProgramDirectory = dir.Path();
    }
    void TearDown() override { ResetLibraryState(); }
    void Write(const std::map<uint32_t, std::vector<uint8_t>>& entries, uint32_t pairs = 401,
               const std::map<uint32_t, std::pair<uint32_t, uint32_t>>& bad = {}) {
        WriteBytes(LibraryFilePath(), MakeLibraryBytes(entries, pairs, bad));
    }
};

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + seed + i / 251);
    return v;
}

TEST_F(LibraryTest, TokensEndAfterTheirSeparatorAndNeverTakeTheLastByte) {
    const std::string text = "  AB,C\r\nX";
    Write({{200, std::vector<uint8_t>(text.begin(), text.end())}});
    ASSERT_EQ(OpenLibraryEntry(200), 9u);
    char buf[16];
    EXPECT_EQ(ReadLibraryToken(0, buf, sizeof buf), 7u);
    EXPECT_STREQ(buf, "AB,C");
    // The last byte "X" is no token: an empty text and the entry's size.
    EXPECT_EQ(ReadLibraryToken(7, buf, sizeof buf), 9u);
    EXPECT_STREQ(buf, "");
    // At the end nothing is touched.
    std::strcpy(buf, "keep");
    EXPECT_EQ(ReadLibraryToken(9, buf, sizeof buf), 9u);
    EXPECT_STREQ(buf, "keep");
    // A small buffer gets the cut token, 0-terminated; the position is as before.
    char small[3] = {'?', '?', '?'};
    EXPECT_EQ(ReadLibraryToken(0, small, sizeof small), 7u);
    EXPECT_STREQ(small, "AB");
    std::string s = "keep";
    EXPECT_EQ(ReadLibraryToken(2, s), 7u);
    EXPECT_EQ(s, "AB,C");
}

TEST_F(LibraryTest, PairsOutsideTheFileReadAsEmptyNotAsStaleBytes) {
    const auto good = Pattern(300, 9);
    Write({{10, good}}, 401,
          {{11, {0x7FFFFFF0u, 100}},    // offset past the end
           {12, {3210, 0x10000000u}},   // size past the end
           {13, {0xFFFFFFF0u, 0x20}}}); // offset + size wraps
    for (uint32_t n : {11u, 12u, 13u, 401u, 0x20000000u}) {
        ASSERT_EQ(OpenLibraryEntry(10), 300u);
        ASSERT_EQ(ReadLibraryByte(5), good[5]);
        EXPECT_EQ(OpenLibraryEntry(n), 0u) << n;
        EXPECT_EQ(ReadLibraryByte(5), 0) << n;
        EXPECT_EQ(ReadLibraryWord(0), 0) << n;
    }
}

TEST_F(LibraryTest, MissingFileAndFileCutShortReadAsZeros) {
    // The directory pair fits but the file ends inside the entry.
    auto bytes = MakeLibraryBytes({{5, Pattern(100, 1)}});
    bytes.erase(bytes.end() - 50, bytes.end());
    WriteBytes(LibraryFilePath(), bytes);
    for (const char* name : {"absent.dat", "krd.dat"}) {
        LibraryFileName = name;
        EXPECT_EQ(OpenLibraryEntry(5), 0u) << name;
        EXPECT_EQ(ReadLibraryByte(0) | ReadLibraryByte(60), 0) << name;
    }
}

TEST_F(LibraryTest, PathKeepsTheDirectoryCase) {
    EXPECT_NE(LibraryFilePath().find("/MixedCase/krd.dat"), std::string::npos);
    Write({{5, {1, 2, 3, 4, 5}}});
    EXPECT_EQ(OpenLibraryEntry(5), 5u);
}

// The device selection (UI thread) reopens the library while an operation
// thread reads its logic image: neither may move the other's entry or cache.
TEST_F(LibraryTest, EachThreadReadsItsOwnEntry) {
    const auto image = Pattern(20000, 3);
    const auto list = Pattern(500, 77);
    Write({{0, list}, {60, image}});
    ASSERT_EQ(OpenLibraryEntry(60), 20000u);
    ASSERT_EQ(ReadLibraryByte(9999), image[9999]);
    std::thread other([&] {
        EXPECT_EQ(OpenLibraryEntry(0), 500u);
        EXPECT_EQ(ReadLibraryByte(499), list[499]);
        CloseLibrary();
    });
    other.join();
    // Still the image, across a block change that reads the file again.
    EXPECT_EQ(LibraryEntrySize, 20000u);
    EXPECT_EQ(ReadLibraryByte(10000), image[10000]);
    EXPECT_EQ(ReadLibraryByte(19999), image[19999]);
}

} // namespace
