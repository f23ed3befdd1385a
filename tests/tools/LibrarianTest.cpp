// The librarian and the device library it builds: the built krd.dat beside
// the program walked record by record through the engine's reader, the
// product copies, refusals of inconsistent sources, and the reader's edge
// cases on files the librarian writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <tuple>
#include <unistd.h>

#include "engine/AlgorithmTable.h"
#include "engine/Device.h"
#include "engine/Library.h"
#include "engine/Port.h"
#include "engine/ProgramState.h"
#include "engine/RowDef.h"
#include "engine/Tables.h"
#include "logic/InstallLogicRows.h"
#include "mcu/InstallMcuRows.h"
#include "memory/InstallMemoryRows.h"
#include "sim/LogicImage.h"
#include "tools/librarian/LibrarianCore.h"

namespace fs = std::filesystem;

namespace {

// The build puts the library beside the test program.
fs::path ProgramDir() { return fs::read_symlink("/proc/self/exe").parent_path(); }

std::vector<uint8_t> ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The open entry's bytes through the reader.
std::vector<uint8_t> EntryBytes(uint32_t n) {
    const uint32_t size = OpenLibraryEntry(n);
    std::vector<uint8_t> b(size);
    for (uint32_t k = 0; k < size; ++k)
        b[k] = ReadLibraryByte(k);
    return b;
}

// Operations offered by the mask against the entries of the row, with every
// algorithm family installed: an offered operation needs a real entry.
void ExpectRowOffers(uint32_t row, uint32_t ops, const std::string& who) {
    const AlgorithmEntry& e = AlgorithmTable[row];
    EXPECT_TRUE(!(ops & 0x1D) || e.Read != AlgNoRead) << who << ": reads offered";
    EXPECT_TRUE(!(ops & 0x02) || e.Program != AlgNoOperation) << who << ": program offered";
    EXPECT_TRUE(!(ops & 0x20) || e.Erase != AlgNoOperation) << who << ": erase offered";
    EXPECT_TRUE(!(ops & 0x40) || e.Secure != AlgNoOperation) << who << ": security offered";
    EXPECT_TRUE(!(ops & 0x100) || e.Options != AlgNoOperation) << who << ": option offered";
}

// Rows whose Options entry serves a feature no part of theirs in the library
// has, and why: their records leave Option off.
struct OptionlessRow {
    uint32_t row;
    const char* why;
};
constexpr OptionlessRow kOptionlessRows[] = {
    {78, "the SST39VF800A and SST39VF160 protect no sector (software data protection only)"},
};

class BuiltLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetProgramState();
        ProgramDirectory = ProgramDir().string();
        // The rows of every algorithm family the program installs.
        InstallMemoryAlgorithms();
        InstallLogicAlgorithms();
        InstallMcuAlgorithms();
    }
    void TearDown() override { ResetProgramState(); }
};

TEST_F(BuiltLibraryTest, EveryRecordOfEverySectionIsSound) {
    ASSERT_TRUE(fs::exists(LibraryFilePath())) << LibraryFilePath();
    ASSERT_GT(OpenLibraryEntry(kLibraryEntryPrompt), 0u);
    size_t total = 0;
    const uint32_t sectionEntries[4] = {kLibraryEntryEprom, kLibraryEntryPld, kLibraryEntryMicro,
                                        kLibraryEntryProm};
    for (uint32_t section = 0; section < 4; ++section) {
        // A section stays empty until its algorithm family brings devices.
        const std::vector<uint8_t> list = EntryBytes(sectionEntries[section]);
        size_t pos = 0;
        while (pos < list.size()) {
            DeviceRecord r{};
            size_t next = 0;
            ASSERT_TRUE(ParseLibraryRecord(list.data(), list.size(), pos, section, r, next))
                << "section " << section << " offset " << pos;
            const std::string who =
                std::string(MakerName(list[pos])) + " " + reinterpret_cast<const char*>(&list[pos + 2]);
            EXPECT_EQ(ValidateDeviceRecord(r, section), nullptr) << who;
            const bool pld = section == SectionPld;
            EXPECT_NE(PackageRow(ReadRecordField(r, pld ? FieldPldPackage : FieldPackage, 2)).PinCount, 0)
                << who;
            const uint32_t row = ReadRecordField(r, FieldAlgorithm, 2);
            EXPECT_FALSE(IsEmptyAlgorithmRow(row)) << who;
            ExpectRowOffers(row, ReadRecordField(r, FieldOperationMask, 2), who);
            // The device's logic image is a full image with a header the
            // simulated programmer knows.
            const uint32_t image = ReadRecordField(r, FieldLogicImage, 2);
            const std::vector<uint8_t> bytes = EntryBytes(image);
            EXPECT_EQ(bytes.size(), 8838u) << who;
            sim::LogicImageHeader h;
            EXPECT_TRUE(sim::DecodeLogicImageHeader(bytes.data(), bytes.size(), h)) << who;
            EXPECT_NE(h.personality, sim::kPersonalityNone) << who;
            // Reopen the list: reading the image closed it.
            ASSERT_EQ(OpenLibraryEntry(sectionEntries[section]), list.size());
            pos = next;
            ++total;
        }
        EXPECT_EQ(pos, list.size()) << "records fill the entry exactly";
    }
    EXPECT_GE(total, 10u);
}

// The Option command appears only for a record that offers it: a row whose
// Options entry opens a dialog or runs a procedure has a record offering it
// (the feature is otherwise out of a user's reach), unless no part of the row
// in the library has the feature. (An offer without an entry is refused
// record by record above.)
TEST_F(BuiltLibraryTest, EveryRowWithAnOptionsEntryHasARecordOfferingIt) {
    ASSERT_TRUE(fs::exists(LibraryFilePath())) << LibraryFilePath();
    std::map<uint32_t, std::vector<std::string>> records, offering;
    const uint32_t sectionEntries[4] = {kLibraryEntryEprom, kLibraryEntryPld, kLibraryEntryMicro,
                                        kLibraryEntryProm};
    for (uint32_t section = 0; section < 4; ++section) {
        const std::vector<uint8_t> list = EntryBytes(sectionEntries[section]);
        for (size_t pos = 0, next = 0; pos < list.size(); pos = next) {
            DeviceRecord r{};
            ASSERT_TRUE(ParseLibraryRecord(list.data(), list.size(), pos, section, r, next));
            const uint32_t row = ReadRecordField(r, FieldAlgorithm, 2);
            const std::string who =
                std::string(MakerName(list[pos])) + " " + reinterpret_cast<const char*>(&list[pos + 2]);
            records[row].push_back(who);
            if (ReadRecordField(r, FieldOperationMask, 2) & 0x100) offering[row].push_back(who);
        }
    }
    // The Options entries that return at once: no dialog, no procedure.
    const AlgOperationFn inert[] = {Alg50Options, Alg51Options, Alg120Options, Alg144Options,
                               Alg180Options, Alg250Options, Alg266Options};
    for (const auto& [row, who] : records) {
        const AlgOperationFn options = AlgorithmTable[row].Options;
        if (options == AlgNoOperation || std::count(std::begin(inert), std::end(inert), options) != 0) continue;
        const auto exempt = std::find_if(std::begin(kOptionlessRows), std::end(kOptionlessRows),
                                         [row = row](const OptionlessRow& o) { return o.row == row; });
        if (exempt != std::end(kOptionlessRows)) {
            EXPECT_EQ(offering.count(row), 0u) << "row " << row << " is listed without Option (" << exempt->why
                                               << ") but " << offering[row].front() << " offers it";
            continue;
        }
        EXPECT_EQ(offering.count(row), 1u) << "row " << row << " has an Options entry and no record offering Option ("
                                           << who.size() << " records, e.g. " << who.front() << ")";
    }
    // A listed row keeps its entry and its records.
    for (const OptionlessRow& o : kOptionlessRows) {
        EXPECT_NE(AlgorithmTable[o.row].Options, AlgNoOperation) << "row " << o.row;
        EXPECT_EQ(records.count(o.row), 1u) << "row " << o.row;
    }
}

TEST_F(BuiltLibraryTest, EveryFilledRowHasOneDeclarationOfItsOwn) {
    // No two families claim a row, and no family fills a row but through
    // its declaration (the librarian reads its limits from there).
    EXPECT_EQ(RowInstallConflicts(), 0u);
    for (uint32_t row = 0; row < AlgorithmRowCount; ++row) {
        const AlgorithmEntry& e = AlgorithmTable[row];
        const bool filled = e.Identify != AlgNoOperation || e.Read != AlgNoRead || e.Program != AlgNoOperation ||
                            e.Erase != AlgNoOperation || e.Secure != AlgNoOperation ||
                            e.Options != AlgNoOperation;
        const RowDef* def = RowDefinition(row);
        EXPECT_EQ(filled, def != nullptr) << "row " << row;
        if (def == nullptr) continue;
        EXPECT_EQ(def->Row, row);
        EXPECT_FALSE(IsEmptyAlgorithmRow(row)) << "row " << row;
        EXPECT_EQ(e.ParameterGroup, DefaultParameterGroup(row)) << "row " << row;
    }
}

TEST_F(BuiltLibraryTest, BuiltInDeviceMatchesItsLibraryRecord) {
    const std::vector<uint8_t> list = EntryBytes(kLibraryEntryEprom);
    const std::vector<uint8_t> builtIn(BuiltInLibraryRecord, BuiltInLibraryRecord + BuiltInLibraryRecordSize);
    ASSERT_GE(list.size(), builtIn.size());
    EXPECT_EQ(std::vector<uint8_t>(list.begin(), list.begin() + static_cast<long>(builtIn.size())), builtIn);
}

TEST_F(BuiltLibraryTest, ProductCopiesAreTheSameLibrary) {
    const auto krd = ReadFile(ProgramDir() / "krd.dat");
    ASSERT_FALSE(krd.empty());
    for (const char* name : {"gz5n.dat", "hjxe.dat", "ylb.dat", "312q.dat", "plorv.dat"}) {
        EXPECT_EQ(ReadFile(ProgramDir() / name), krd) << name;
    }
}

// Sources in a private folder, built with the librarian into a library there.
class LibrarianSourcesTest : public ::testing::Test {
  protected:
    fs::path root;
    void SetUp() override {
        ResetLibraryState();
        char tmpl[] = "/tmp/vexlor-librarianXXXXXX";
        root = mkdtemp(tmpl);
        fs::create_directories(root / "devices");
        fs::create_directories(root / "images");
        fs::create_directories(root / "blocks");
        Put("images/i.txt", "entry=5 personality=memory-bus\nentry=6 personality=universal params=01,02\n");
    }
    void TearDown() override {
        ResetLibraryState();
        fs::remove_all(root);
    }
    void Put(const std::string& file, const std::string& text) {
        std::ofstream(root / file, std::ios::binary) << text;
    }
    bool Build(std::string& error) {
        librarian::EntryMap entries;
        if (!librarian::BuildEntries(root.string(), entries, error)) return false;
        const auto bytes = librarian::AssembleLibrary(entries);
        if (!librarian::WriteFileAtomic((root / "krd.dat").string(), bytes, error)) return false;
        ProgramDirectory = root.string();
        return true;
    }
};

const char* kGood = "maker=AMD name=Am27C64 section=EPROM alg=0 image=5 ops=41Fh package=13 size=8K page=25\n";
// The good line, a blank line and `line`. Built by appending: GCC 12 at -O2
// reports a false out-of-bounds copy (-Warray-bounds) for a
// chain of std::string additions starting from a temporary.
std::string GoodThen(const std::string& line) {
    std::string text = kGood;
    text += '\n';
    text += line;
    text += '\n';
    return text;
}

TEST_F(LibrarianSourcesTest, InconsistentDevicesAreRefusedNamingTheLine) {
    // A sound line with one text changed, and the reason the librarian gives.
    const std::string base = "maker=AMD name=X section=EPROM alg=0 image=5 ops=1 package=13 size=1";
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"maker=AMD", "maker=NOBODY", "unknown maker \"NOBODY\""},
        {"package=13", "package=294", "unknown package row 294"},
        {"size=1", "size=1 adapter=136", "unknown adapter row"},
        {"size=1", "size=0", "size of 0"},
        {"size=1", "size=512M width=16", "device size larger than the buffer (256 MB)"},
        {"section=EPROM alg=0 image=5 ops=1 package=13 size=1", "section=PLD alg=219 image=6 ops=1 package=4 fuses=1000000",
         "fuse count larger than the fuse map (526336 fuses)"},
        {"ops=1 package=13 size=1", "ops=3 package=13 size=1 page=1", "no program pulse"},
        {"image=5", "image=9", "logic image 9 is not in the library"},
        {"alg=0", "alg=324", "unknown algorithm row"},
        {"section=EPROM alg=0 image=5 ops=1 package=13", "section=PLD alg=219 image=6 ops=1 package=4 fuses=9",
         "does not belong"},
        {"maker=AMD name=X", "maker=WAFERSCALE-INTEGRATION name=ABCDEFGHIJKLMNOPQRSTUVWXYZ", "does not fit"},
        {"name=X section=EPROM alg=0 image=5 ops=1 package=13 size=1", "name=\"X section=EPROM", "unterminated quote"},
        {"section=EPROM alg=0 image=5 ops=1 package=13 size=1",
         "section=PLD alg=293 image=6 ops=1 package=201 fuses=8160 variant=3", "variant 3 past the 3 of algorithm 293"},
        {"section=EPROM alg=0 image=5 ops=1 package=13 size=1",
         "section=PLD alg=211 image=6 ops=1 package=72 fuses=6504 adapter=19h", "adapter 25 has no pin roles in algorithm 211"},
        {"alg=0 image=5", "alg=74 image=5 adapter=69h variant=47", "adapter 105 with variant 47 has no erase in algorithm 74"},
        {"maker=AMD name=X section=EPROM alg=0 image=5 ops=1 package=13 size=1",
         "maker=CYPRESS name=X section=PLD alg=277 image=6 ops=1 package=6 fuses=2560",
         "maker 9 has no address pins in algorithm 277"},
    };
    for (const auto& [from, to, why] : cases) {
        std::string line = base;
        line.replace(line.find(from), std::string(from).size(), to);
        Put("devices/d.txt", GoodThen(line));
        std::string error;
        EXPECT_FALSE(Build(error)) << line;
        EXPECT_NE(error.find("devices/d.txt:3: "), std::string::npos) << error;
        EXPECT_NE(error.find(why), std::string::npos) << error;
    }
}

TEST_F(LibrarianSourcesTest, MemoryRowsRefuseVariantsPastTheirTableAndPagesWithoutAPulse) {
    // A line of the row with one field, and the reason (empty: accepted).
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"alg=0", "variant=12", ""},
        {"alg=0", "variant=13", "variant 13 is past the 13 rows of EpromEraseVariantTable of algorithm 0"},
        {"alg=90", "variant=13", "variant 13 is past the 13 rows of EpromEraseVariantTable of algorithm 90"},
        {"alg=302", "variant=6", ""},
        {"alg=302", "variant=7", "variant 7 is past the 7 rows of Row302VariantTable of algorithm 302"},
        {"alg=0", "page=1", "page of 1 leaves algorithm 0 no program pulse (2 or more)"},
        {"alg=301", "page=1", "page of 1 leaves algorithm 301 no program pulse (2 or more)"},
        {"alg=302", "page=1", ""},
        {"alg=302", "page=0", "page of 0 leaves algorithm 302 no program pulse (1 or more)"},
        {"alg=67", "page=0", ""},
        {"alg=45", "page=0", "page of 0 leaves algorithm 45 no program pulse (1 or more)"},
        {"alg=47", "page=0", "page of 0 leaves algorithm 47 no program pulse (1 or more)"},
        {"alg=47", "page=1", ""},
        {"alg=21", "variant=8", ""},
        {"alg=21", "variant=99", ""},
        {"alg=36", "variant=100", ""},
        {"alg=21", "variant=9", "variant 9 is past the 9 rows of BootBlockLayoutTable of algorithm 21"},
        {"alg=36", "variant=98", "variant 98 is past the 9 rows of BootBlockLayoutTable of algorithm 36"},
        {"alg=36", "variant=101", "variant 101 is past the 9 rows of BootBlockLayoutTable of algorithm 36"},
        {"alg=13", "page=256", ""},
        {"alg=13", "page=257", "page of 257 is past the 256 bytes algorithm 13 can write at once"},
        {"alg=57", "page=0", "page of 0 leaves algorithm 57 no program pulse (1 or more)"},
        {"alg=44", "page=300", "page of 300 is past the 256 bytes algorithm 44 can write at once"},
        {"alg=43", "page=528", ""},
        {"alg=43", "page=1025", "page of 1025 is past the 1024 bytes algorithm 43 can write at once"},
        {"alg=96", "package=288", ""},
        {"alg=96", "package=287", ""},
        {"alg=96", "package=13", "algorithm 96 has no JTAG pins for a package of 28 pins"},
        {"alg=2", "variant=3", ""},
        {"alg=7", "variant=4", "variant 4 is past the 4 rows of the command sets of algorithm 7"},
        {"alg=19", "variant=1", ""},
        {"alg=19", "variant=2", "variant 2 is past the 2 rows of the erase methods of algorithm 19"},
        {"alg=94", "flags=0", ""},
        {"alg=94", "flags=30h", "flags offer a gang, which algorithm 94 cannot serve"},
        {"alg=82", "flags=10h", "flags offer a gang, which algorithm 82 cannot serve"},
        {"alg=28", "flags=30h", ""},
    };
    for (const auto& [row, field, why] : cases) {
        const bool package = std::string(field).rfind("package", 0) == 0;
        const std::string line = std::string("maker=AMD name=X section=EPROM ") + row + " image=5 ops=3 " +
                                 (package ? "" : "package=13 ") + "size=1 " + field +
                                 (std::string(field).rfind("page", 0) == 0 ? "" : " page=25");
        Put("devices/d.txt", std::string(kGood) + line + "\n");
        std::string error;
        EXPECT_EQ(Build(error), *why == 0) << line << ": " << error;
        if (*why != 0) {
            EXPECT_NE(error.find("devices/d.txt:2: " + std::string(why)), std::string::npos) << error;
        }
    }
}

TEST_F(LibrarianSourcesTest, MicrocontrollerRowsAreRefusedPastTheirTables) {
    const std::string base = "maker=INTEL name=X section=MICRO alg=100 image=6 ops=1 package=26 size=4K page=64 "
                             "subvariant=5 variant=0";
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"subvariant=5", "subvariant=40h", "pulse count of 0"},
        {"alg=100", "alg=196", ""}, // sound: the same fields on row 196
        {"page=64", "page=48", "no encryption table size"},
        {"alg=100", "alg=123", ""},
        {"alg=100 image=6 ops=1 package=26 size=4K page=64", "alg=123 image=6 ops=1 package=26 size=4K page=8",
         "no encryption table size"},
        {"alg=100", "alg=107", ""},
        {"alg=100 image=6 ops=1 package=26 size=4K page=64 subvariant=5 variant=0",
         "alg=107 image=6 ops=1 package=26 size=4K page=64 subvariant=5 variant=3", "past algorithm 107's 3"},
        {"alg=100 image=6 ops=1 package=26 size=4K page=64 subvariant=5 variant=0",
         "alg=105 image=6 ops=1 package=26 size=4K variant=2", ""},
        {"alg=100 image=6 ops=1 package=26 size=4K page=64 subvariant=5 variant=0",
         "alg=105 image=6 ops=1 package=26 size=4K variant=3", "past algorithm 105's 3"},
        {"alg=100 image=6 ops=1 package=26 size=4K page=64 subvariant=5 variant=0",
         "alg=178 image=6 ops=1 package=26 size=4K variant=1", ""},
        {"alg=100 image=6 ops=1 package=26 size=4K page=64 subvariant=5 variant=0",
         "alg=178 image=6 ops=1 package=26 size=4K variant=2", "past algorithm 178's 2"},
        {"alg=100 image=6 ops=1 package=26 size=4K page=64 subvariant=5 variant=0",
         "alg=108 image=6 ops=1 package=26 size=4K variant=3", "past algorithm 108's 3"},
        {"alg=100 image=6 ops=1 package=26 size=4K page=64 subvariant=5 variant=0",
         "alg=189 image=6 ops=1 package=26 size=4K", "package of 40 pins has no serial pins for algorithm 189"},
        {"alg=100 image=6 ops=1 package=26 size=4K page=64 subvariant=5 variant=0",
         "alg=189 image=6 ops=1 package=174 size=4K", ""},
        {"alg=100 image=6 ops=1 package=26 size=4K page=64 subvariant=5 variant=0",
         "alg=118 image=6 ops=1 package=144 size=32K variant=1", ""},
        {"alg=100 image=6 ops=1 package=26 size=4K page=64 subvariant=5 variant=0",
         "alg=118 image=6 ops=1 package=27 size=32K variant=0", "package of 42 pins has no socket layout for algorithm 118"},
        {"alg=100 image=6 ops=1 package=26 size=4K page=64 subvariant=5 variant=0",
         "alg=175 image=6 ops=1 package=257 size=64K variant=1", ""},
        {"alg=100 image=6 ops=1 package=26 size=4K page=64 subvariant=5 variant=0",
         "alg=175 image=6 ops=1 package=249 size=64K variant=2", "variant 2 is past the 2 rows of pin table"},
        {"alg=100 image=6 ops=1 package=26 size=4K page=64 subvariant=5 variant=0",
         "alg=155 image=6 ops=1 package=18 size=32K adapter='p'", ""},
        {"alg=100 image=6 ops=1 package=26 size=4K page=64 subvariant=5 variant=0",
         "alg=155 image=6 ops=1 package=26 size=32K",
         "no supply, ground or programming voltage for a 40-pin package"},
        {"alg=100 image=6 ops=1 package=26 size=4K page=64 subvariant=5 variant=0",
         "alg=127 image=6 ops=1 package=26 size=64K", ""},
        {"alg=100 image=6 ops=1 package=26 size=4K page=64 subvariant=5 variant=0",
         "alg=127 image=6 ops=1 package=18 size=32K", "socket layout for a 40-pin package only"},
        {"alg=100 image=6 ops=1 package=26 size=4K page=64 subvariant=5 variant=0",
         "alg=127 image=6 ops=1 package=26 size=128K", "16 address lines"},
    };
    for (const auto& [from, to, why] : cases) {
        std::string line = base;
        line.replace(line.find(from), std::string(from).size(), to);
        Put("devices/d.txt", GoodThen(line));
        std::string error;
        EXPECT_EQ(Build(error), *why == 0) << line << ": " << error;
        EXPECT_TRUE(*why == 0 || error.find(why) != std::string::npos) << error;
    }
}

TEST_F(LibrarianSourcesTest, EmptySectionAndListsThatFillTheirEntry) {
    Put("devices/d.txt",
        std::string(kGood) +
            "maker=ATMEL name=GAL16V8 section=PLD alg=219 image=6 ops=47Fh package=4 fuses=2194\n");
    std::string error;
    ASSERT_TRUE(Build(error)) << error;
    EXPECT_EQ(OpenLibraryEntry(kLibraryEntryMicro), 0u);
    EXPECT_EQ(ReadLibraryByte(0), 0);
    EXPECT_EQ(OpenLibraryEntry(kLibraryEntryProm), 0u);
    // One EPROM record: 1 + 1 + 8 ("Am27C64" and its 0) + 47 bytes.
    ASSERT_EQ(OpenLibraryEntry(kLibraryEntryEprom), 57u);
    std::vector<uint8_t> list = EntryBytes(kLibraryEntryEprom);
    DeviceRecord r{};
    size_t next = 0;
    ASSERT_TRUE(ParseLibraryRecord(list.data(), list.size(), 0, SectionEprom, r, next));
    EXPECT_EQ(next, list.size());
    EXPECT_EQ(ReadRecordField(r, FieldDeviceSize, 4), 8192u);
    EXPECT_EQ(ReadRecordField(r, FieldDataWidth, 1), 8u);
    EXPECT_EQ(ReadRecordField(r, FieldFileFormatMask, 1), 0x1Fu);
    list = EntryBytes(kLibraryEntryPld);
    ASSERT_TRUE(ParseLibraryRecord(list.data(), list.size(), 0, SectionPld, r, next));
    EXPECT_EQ(ReadRecordField(r, FieldPldDeviceSize, 4), 2194u);
    // Images: the header, then the configuration bits up to 8838 bytes.
    const auto image = EntryBytes(6);
    ASSERT_EQ(image.size(), 8838u);
    sim::LogicImageHeader h;
    ASSERT_TRUE(sim::DecodeLogicImageHeader(image.data(), image.size(), h));
    EXPECT_EQ(h.personality, sim::kPersonalityUniversal);
    EXPECT_EQ(h.params[0], 1);
    EXPECT_EQ(h.params[1], 2);
    EXPECT_NE(EntryBytes(5), image);
}

TEST_F(LibrarianSourcesTest, ReaderEdgeCasesOnLibrarianBlocks) {
    Put("devices/d.txt", kGood);
    std::string big = "entry=190 bytes=";
    for (int i = 0; i < 20000; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", (i * 7 + i / 251) & 0xFF);
        big += (i ? "," : "") + std::string(hex);
    }
    Put("blocks/b.txt",
        "entry=183 text=\"  AB,C\\r\\nX\"\nentry=184 words=0,0,0,1234\nentry=185 text=\"A BCD\"\n" + big +
            "\n");
    std::string error;
    ASSERT_TRUE(Build(error)) << error;

    ASSERT_EQ(OpenLibraryEntry(183), 9u);
    std::string token;
    EXPECT_EQ(ReadLibraryToken(0, token), 7u);
    EXPECT_EQ(token, "AB,C");
    // The entry's last byte never belongs to a token.
    ASSERT_EQ(OpenLibraryEntry(185), 5u);
    EXPECT_EQ(ReadLibraryToken(2, token), 5u);
    EXPECT_EQ(token, "BC");

    ASSERT_EQ(OpenLibraryEntry(184), 8u);
    EXPECT_EQ(ReadLibraryWord(3), 0x1234);
    EXPECT_EQ(ReadLibraryByte(8), 0);

    ASSERT_EQ(OpenLibraryEntry(190), 20000u);
    EXPECT_EQ(ReadLibraryByte(9999), (9999 * 7 + 9999 / 251) & 0xFF);
    EXPECT_EQ(LibraryCacheBlock, 0);
    EXPECT_EQ(ReadLibraryByte(10000), (10000 * 7 + 10000 / 251) & 0xFF);
    EXPECT_EQ(LibraryCacheBlock, 1);
    EXPECT_EQ(ReadLibraryByte(0), 0);
    EXPECT_EQ(LibraryCacheBlock, 0);
}

TEST_F(LibrarianSourcesTest, EntriesAreNotMadeTwice) {
    Put("devices/d.txt", kGood);
    Put("blocks/b.txt", "entry=6 bytes=01\n");
    std::string error;
    EXPECT_FALSE(Build(error));
    EXPECT_NE(error.find("blocks/b.txt:1: entry 6 already made by images/i.txt:2"), std::string::npos)
        << error;
    Put("blocks/b.txt", "entry=48 bytes=01\n");
    EXPECT_FALSE(Build(error));
    EXPECT_NE(error.find("holds a device list"), std::string::npos) << error;
}

// A test build's own sources come from a second folder, as more lines of the
// product's folders: its devices join the section lists after the product's,
// a device of the product listed again is refused naming the extra line, and
// so is a folder that is not there.
TEST_F(LibrarianSourcesTest, AnExtraFolderAddsItsLinesAfterTheProducts) {
    Put("devices/d.txt", kGood);
    fs::create_directories(root / "extra/devices");
    const std::string extra = (root / "extra").string();
    auto putExtra = [&](const std::string& text) { std::ofstream(root / "extra/devices/t.txt") << text; };
    putExtra("# a test row's device\nmaker=AMD name=Am27C128 section=EPROM alg=0 image=5 ops=41Fh package=13 size=16K "
             "page=25\n");
    librarian::EntryMap entries;
    std::string error;
    ASSERT_TRUE(librarian::BuildEntries(root.string(), entries, error, {}, extra)) << error;
    const std::string list(entries[0].begin(), entries[0].end());
    ASSERT_NE(list.find("Am27C64"), std::string::npos);
    EXPECT_GT(list.find("Am27C128"), list.find("Am27C64"));

    putExtra(kGood);
    EXPECT_FALSE(librarian::BuildEntries(root.string(), entries, error, {}, extra));
    EXPECT_NE(error.find("devices/t.txt:1: device \"Am27C64\" of this maker listed twice"), std::string::npos) << error;
    EXPECT_FALSE(librarian::BuildEntries(root.string(), entries, error, {}, (root / "gone").string()));
    EXPECT_NE(error.find("gone: no such folder"), std::string::npos) << error;
}

// A block naming an assembled program takes the file's bytes, zero-padded
// to its size; a missing, empty or too long file, or one without a folder to
// come from, is refused naming the line.
TEST_F(LibrarianSourcesTest, AssembledEntriesArePaddedToTheirSize) {
    Put("devices/d.txt", kGood);
    fs::create_directories(root / "asm");
    std::ofstream(root / "asm/p.bin", std::ios::binary) << std::string("\xA6\xFF\x20\xFE", 4);
    std::ofstream(root / "asm/empty.bin", std::ios::binary);
    librarian::EntryMap entries;
    std::string error;
    Put("blocks/b.txt", "entry=178 name=\"a program\" file=p.bin size=8\n");
    ASSERT_TRUE(librarian::BuildEntries(root.string(), entries, error, (root / "asm").string())) << error;
    EXPECT_EQ(entries[178], (std::vector<uint8_t>{0xA6, 0xFF, 0x20, 0xFE, 0, 0, 0, 0}));
    const std::pair<const char*, const char*> refused[] = {
        {"entry=178 file=p.bin size=3\n", "b.txt:1: assembled entry \"p.bin\" holds 4 bytes, the entry 3"},
        {"entry=178 file=gone.bin size=8\n", "b.txt:1: assembled entry \"gone.bin\" is missing"},
        {"entry=178 file=empty.bin size=8\n", "holds 0 bytes"},
        {"entry=178 file=p.bin\n", "takes \"file\" and \"size\""},
        {"entry=178 file=p.bin size=8 bytes=01\n", "takes \"file\" and \"size\""},
        {"entry=178 file=../asm/p.bin size=8\n", "no assembled folder"},
        {"entry=178 file=p.bin size=0\n", "size \"0\""},
    };
    for (const auto& [line, why] : refused) {
        Put("blocks/b.txt", line);
        EXPECT_FALSE(librarian::BuildEntries(root.string(), entries, error, (root / "asm").string())) << line;
        EXPECT_NE(error.find(why), std::string::npos) << error;
    }
    Put("blocks/b.txt", "entry=178 file=p.bin size=8\n");
    EXPECT_FALSE(librarian::BuildEntries(root.string(), entries, error));
    EXPECT_NE(error.find("no assembled folder"), std::string::npos) << error;
}

} // namespace
