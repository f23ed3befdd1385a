// The logic library file: index, entry copy, the rewrites of Save and Delete.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "testing/LogicLibrary.h"

namespace {

LogicLibrary Indexed(const std::string& text) {
    LogicLibrary lib;
    lib.text = text;
    lib.read = true;
    IndexLogicLibrary(lib);
    return lib;
}

const std::string kTwo = "made by hand\r\n.7400 14\r\n11L11LGL11L11V\r\n00H00HGH00H00V\r\n.NAND8 08\r\n1L1LG1LV\r\n";

TEST(LogicLibrary, IndexesNamesPinsAndOffsets) {
    const LogicLibrary lib = Indexed(kTwo);
    ASSERT_EQ(lib.entries.size(), 2u);
    EXPECT_EQ(lib.entries[0].name, "7400");
    EXPECT_EQ(lib.entries[0].pins, 14);
    EXPECT_EQ(lib.entries[0].entryOffset, 14u);
    EXPECT_EQ(lib.entries[0].dataOffset, 24u);
    EXPECT_EQ(lib.entries[1].name, "NAND8");
    EXPECT_EQ(lib.entries[1].pins, 8);
    EXPECT_EQ(CopyLogicLibraryEntry(lib, 0), "11L11LGL11L11V00H00HGH00H00V");
    EXPECT_EQ(CopyLogicLibraryEntry(lib, 1), "1L1LG1LV");
    EXPECT_EQ(CopyLogicLibraryEntry(lib, 2), "");
    // No fixed limit on the number of entries.
    std::string text;
    for (int i = 0; i < 600; ++i) text += ".P" + std::to_string(i) + " 08\r\n1L1LG1LV\r\n";
    EXPECT_EQ(CopyLogicLibraryEntry(Indexed(text), 599), "1L1LG1LV");
}

TEST(LogicLibrary, UnusableHeadersAreListedButHaveNoPinCount) {
    struct Case {
        const char* text;
        const char* name;
        int pins;
    };
    const Case cases[] = {
        {".7400 14\r\n", "7400", 14},
        {".7400\r\n11\r\n", "7400", 0},       // no blank after the name
        {".7400", "7400", 0},                 // the text ends in the name
        {".7400 00\r\n", "7400", 0},          // n 0 would never end a test
        {".7400 01\r\n", "7400", 0},          // n 1 checks nothing
        {".7400 49\r\n", "7400", 0},          // past the socket
        {".7400 1\r\n", "7400", 0},           // one digit
        {".7400 X4\r\n", "7400", 0},          // not digits
        {".7400 02\r\n", "7400", 2},
        {".ABCDEFGHIJKL 14\r\n", "ABCDEFGHIJ", 14}, // listed by its first 10 characters
        {".", "", 0},
    };
    for (const Case& c : cases) {
        const LogicLibrary lib = Indexed(c.text);
        ASSERT_EQ(lib.entries.size(), 1u) << c.text;
        EXPECT_EQ(lib.entries[0].name, c.name) << c.text;
        EXPECT_EQ(lib.entries[0].pins, c.pins) << c.text;
        EXPECT_LE(lib.entries[0].dataOffset, lib.text.size());
    }
}

TEST(LogicLibrary, SaveReplacesAnEntryInPlaceKeepingEveryOtherByte) {
    const std::string three = kTwo + ".LAST 08\r\nGGGGVVVV\r\n";
    const LogicLibrary lib = Indexed(three);
    const uint8_t line[] = "11111111";
    std::vector<uint8_t> buf(line, line + 8);
    buf.resize(64, 0);
    EXPECT_EQ(LogicLibraryWithEntry(lib, 1, "NAND8", 8, buf.data(), buf.size()),
              "made by hand\r\n.7400 14\r\n11L11LGL11L11V\r\n00H00HGH00H00V\r\n.NAND8 08\r\n11111111\r\n"
              ".LAST 08\r\nGGGGVVVV\r\n");
    // The last entry replaced: nothing follows it.
    EXPECT_EQ(LogicLibraryWithEntry(lib, 2, "LAST", 8, buf.data(), buf.size()),
              kTwo + ".LAST 08\r\n11111111\r\n");
}

TEST(LogicLibrary, NamesAreOneToTenPrintableCharactersWithoutDotOrBlank) {
    for (const char* good : {"7400", "A", "ABCDEFGHIJ", "74-LS/00"}) EXPECT_TRUE(IsValidLogicDeviceName(good)) << good;
    for (const char* bad : {"", "ABCDEFGHIJK", "74.00", "74 00", "74\t00", "74\r\n", "\x7f"})
        EXPECT_FALSE(IsValidLogicDeviceName(bad)) << bad;
    EXPECT_FALSE(IsValidLogicDeviceName(std::string("7\xe4", 2)));
}

class LogicLibraryFile : public ::testing::Test {
protected:
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                ("vexlor-lg-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::string path;
    void SetUp() override {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        path = (dir / "lg.dat").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    void Write(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
    std::string Read() const {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
};

TEST_F(LogicLibraryFile, LoadsUpTo65536BytesAndRefusesMore) {
    LogicLibrary lib;
    EXPECT_EQ(LoadLogicLibrary(lib, path), 0); // missing
    EXPECT_FALSE(lib.read);
    Write(std::string(65536, 'x'));
    EXPECT_EQ(LoadLogicLibrary(lib, path), 1);
    EXPECT_TRUE(lib.read);
    Write(".7400 14\r\n" + std::string(70000, '1'));
    EXPECT_EQ(LoadLogicLibrary(lib, path), 0);
    EXPECT_FALSE(lib.read);
    EXPECT_TRUE(lib.text.empty());
}

TEST_F(LogicLibraryFile, AFailedWriteLeavesTheOldFileWhole) {
    Write(kTwo);
    // The temporary file cannot be made: a directory stands in its place.
    std::filesystem::create_directory(path + ".tmp");
    EXPECT_NE(WriteLogicLibrary(path, "new"), "");
    EXPECT_EQ(Read(), kTwo);
    std::filesystem::remove(path + ".tmp");
    EXPECT_EQ(WriteLogicLibrary(path, "new"), "");
    EXPECT_EQ(Read(), "new");
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

} // namespace
