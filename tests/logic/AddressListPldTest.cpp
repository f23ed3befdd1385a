// Rows 250-252 end to end against the address-list part models: every
// record through the driver's operations from a loaded hex file, the list
// checksum, the code checks, bounded program passes, the variant and list
// refusals, and the register traffic of one word.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <fstream>
#include <string>
#include <vector>

#include "engine/HexFiles.h"
#include "engine/Library.h"
#include "engine/RowDef.h"
#include "engine/Services.h"
#include "logic/AddressListPld.h"
#include "sim/AddressListBus.h"
#include "sim/AddressListChip.h"
#include "tests/logic/PldFixture.h"

namespace {

constexpr const char* kAlMaker = "GENERIC-ALGORITHM";

struct AlRecord {
    const char* name;
    uint32_t row, variant;
};
constexpr AlRecord kAlRecords[] = {
    {"ALPLD251-18448", 251, 0}, {"ALPLD251-2064", 251, 4},  {"ALPLD251-67592", 251, 5}, {"ALPLD251-14352", 251, 3},
    {"ALPLD252-18448", 252, 0}, {"ALPLD252-8208", 252, 1},  {"ALPLD252-34880", 252, 2}, {"ALPLD252-14352", 252, 3},
    {"ALPLD250-18448", 250, 0}, {"ALPLD250-8208", 250, 1},  {"ALPLD250-34880", 250, 2},
    {"ALPLD250-14352", 250, 3},
};
const AlRecord& AlByName(const char* name) {
    for (const AlRecord& r : kAlRecords)
        if (std::string(r.name) == name) return r;
    return kAlRecords[0];
}

struct AlWord {
    uint32_t address, mask;
};

constexpr uint32_t kAlReserved[] = {0x8E0, 0x8E1, 0x8E2, 0x8E3, 0x8E4, 0x8E8, 0x8E9, 0x8EA, 0x8EB};
bool AlIsReserved(uint32_t a) {
    for (uint32_t r : kAlReserved)
        if (r == a) return true;
    return false;
}

// Intel hex of the image bytes at the given addresses (extended linear
// address records above 64K), written to `file`.
void AlWriteHex(const char* file, const std::vector<std::pair<uint32_t, uint8_t>>& bytes) {
    std::string text;
    uint32_t upper = 0xFFFFFFFFu;
    auto record = [&text](uint32_t address, uint8_t type, const std::vector<uint8_t>& data) {
        char head[16];
        uint32_t sum = static_cast<uint32_t>(data.size()) + (address >> 8) + (address & 0xFF) + type;
        std::snprintf(head, sizeof head, ":%02X%04X%02X", static_cast<unsigned>(data.size()), address & 0xFFFF, type);
        text += head;
        for (uint8_t b : data) {
            char d[4];
            std::snprintf(d, sizeof d, "%02X", b);
            text += d;
            sum += b;
        }
        char tail[8];
        std::snprintf(tail, sizeof tail, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
        text += tail;
    };
    for (const auto& [a, v] : bytes) {
        if ((a >> 16) != upper) {
            upper = a >> 16;
            record(0, 4, {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)});
        }
        record(a & 0xFFFF, 0, {v});
    }
    text += ":00000001FF\n";
    std::ofstream(file, std::ios::binary) << text;
}

class AddressListPldTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        sim::RegisterAddressListBusPersonality();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 1;
    }
    sim::AddressListChip* Seat(const AlRecord& r) {
        EXPECT_TRUE(SelectPld(kAlMaker, r.name)) << r.name;
        const auto* facts = sim::FindFacts<sim::AddressListFacts>(kAlMaker, r.name);
        EXPECT_NE(facts, nullptr) << r.name;
        return SeatAlone<sim::AddressListChip>(*facts);
    }
    // The list of a variant as the library holds it.
    static std::vector<AlWord> List(uint32_t variant) {
        std::vector<AlWord> list;
        const uint32_t words = OpenLibraryEntry(AddressListEntry(variant)) / 2;
        uint32_t mask = 0;
        bool maskNext = true;
        for (uint32_t k = 0; k < words; ++k) {
            const uint32_t w = ReadLibraryWord(k);
            if (maskNext) {
                mask = w;
                maskNext = false;
            } else if (w == 0xFFFF) {
                maskNext = true;
            } else if (w == 0xFFFE) {
                break;
            } else {
                list.push_back({w, mask});
            }
        }
        return list;
    }
    static bool Skips(const AlRecord& r, uint32_t a) { return r.row == 250 && r.variant == 0 && AlIsReserved(a); }
    static bool WideRecord(const AlRecord& r) { return r.row == 250 && r.variant == 3; }
    // A pattern word for address a (12 bits on the wide record).
    static uint32_t PatternWord(uint32_t a, uint32_t seed) { return (a * 0x9E5u + seed * 0x3Bu) & 0xFFF; }
    // Loads the pattern through a hex file; returns the list's masked sum.
    uint32_t LoadPattern(const AlRecord& r, uint32_t seed) {
        std::vector<std::pair<uint32_t, uint8_t>> bytes;
        uint32_t sum = 0;
        for (const AlWord& w : List(r.variant)) {
            const uint32_t v = PatternWord(w.address, seed);
            bytes.emplace_back(w.address, static_cast<uint8_t>(v));
            if (!Skips(r, w.address)) sum += (WideRecord(r) ? v | 0xF000 : v & 0xFF) & w.mask;
        }
        if (WideRecord(r))
            for (const AlWord& w : List(r.variant))
                bytes.emplace_back(0x10000 + w.address, static_cast<uint8_t>(0xF0 | (PatternWord(w.address, seed) >> 8)));
        AlWriteHex("in.hex", bytes);
        EXPECT_EQ(LoadHexFamilyFile("in.hex", 0, 0), 1);
        return sum;
    }
};

class AddressListRecordTest : public AddressListPldTest, public ::testing::WithParamInterface<AlRecord> {};

// Blank check, program from a hex file, the part's words, verify, read back
// equal (the wide record's bank 1 as F0h | high nibble), a data compare line,
// Secure and the next operation's refusal.
TEST_P(AddressListRecordTest, DriverOperationsOnTheRecord) {
    const AlRecord& r = GetParam();
    sim::AddressListChip* chip = Seat(r);
    ASSERT_NE(chip, nullptr);
    const uint32_t sum = LoadPattern(r, 5);
    EXPECT_EQ(ComputeBufferChecksum(BufferStart, BufferEnd), sum);
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_TRUE(HasLine("Program ok!")) << LogText();
    const uint32_t blank = WideRecord(r) ? 0xFFF : 0xFF;
    const auto list = List(r.variant);
    for (const AlWord& w : list) {
        const uint32_t want = Skips(r, w.address) ? blank : (PatternWord(w.address, 5) & blank & w.mask) | (blank & ~w.mask);
        // Row 252 writes the unmasked bits too: compare what the list names.
        EXPECT_EQ(chip->Word(w.address) & w.mask, want & w.mask) << std::hex << w.address;
    }
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    for (const AlWord& w : list) {
        BufferImage()[w.address] = 0;
        if (WideRecord(r)) BufferImage()[0x10000 + w.address] = 0;
    }
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    for (const AlWord& w : list) {
        const uint32_t read = (chip->Word(w.address) & w.mask & blank) | (blank & ~w.mask);
        if (Skips(r, w.address)) {
            EXPECT_EQ(BufferImage()[w.address], 0) << std::hex << w.address; // never read
            continue;
        }
        EXPECT_EQ(BufferImage()[w.address], read & 0xFF) << std::hex << w.address;
        if (WideRecord(r)) {
            EXPECT_EQ(BufferImage()[0x10000 + w.address], 0xF0 | (read >> 8)) << std::hex << w.address;
        }
    }
    const uint32_t a = list.back().address;
    BufferImage()[a] ^= static_cast<uint8_t>(list.back().mask & 0xFF);
    EXPECT_EQ(Run(OpCompare), 1) << LogText();
    char diff[16];
    std::snprintf(diff, sizeof diff, "%08Xh", a);
    EXPECT_NE(ReadText("COMPARE.TXT").find(diff), std::string::npos) << ReadText("COMPARE.TXT");
    EXPECT_EQ(Run(OpSecurity), 1) << LogText();
    EXPECT_EQ(Run(OpRead), -1) << LogText();
    EXPECT_TRUE(HasLine(" Device Secured!")) << LogText();
    ExpectNoViolations();
}

// Another part seated (its codes read otherwise): Blank check, Program and
// Verify end at the maker code's line, no word given a strobe.
TEST_P(AddressListRecordTest, AnotherPartEndsTheRunAtTheIdentityLine) {
    const AlRecord& r = GetParam();
    sim::AddressListChip* chip = Seat(r);
    ASSERT_NE(chip, nullptr);
    chip->AnswerAnotherIdentity();
    LoadPattern(r, 7);
    ExpectRunsEndAtIdentityLine(" Manufacturer's Code Error!");
    for (const AlWord& w : List(r.variant)) ASSERT_EQ(chip->Strobes(w.address), 0) << std::hex << w.address;
    chip->AnswerAnotherIdentity(false);
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    ExpectNoViolations();
}

// The list checksum: the one-group example, groups chained with their own
// masks, the reserved addresses of row 250 variant 0 never added, the
// wide record's 12-bit words (bank 1 made, cleared, when missing), and an
// unopenable list.
TEST_F(AddressListPldTest, ChecksumSumsTheListedBits) {
    Seat(AlByName("ALPLD251-2064"));
    std::memset(BufferImage(), 0x77, 0x200);
    BufferImage()[0x100] = 0xAB;
    BufferImage()[0x101] = 0xCD;
    EXPECT_EQ(ComputeBufferChecksum(BufferStart, BufferEnd), 0xBu + 0xDu);
    EXPECT_EQ(BufferChecksumText(), "0018h");

    // Variant 0: 0Fh over 100h-101h, FFh over 200h-207h and the reserved
    // addresses, 3Ch over 900h-901h.
    Seat(AlByName("ALPLD251-18448"));
    std::memset(BufferImage(), 0xFF, 0x1000);
    uint32_t all = 2 * 0x0F + 8 * 0xFF + 9 * 0xFF + 2 * 0x3C;
    EXPECT_EQ(ComputeBufferChecksum(BufferStart, BufferEnd), all);
    Seat(AlByName("ALPLD250-18448"));
    std::memset(BufferImage(), 0xFF, 0x1000);
    EXPECT_EQ(ComputeBufferChecksum(BufferStart, BufferEnd), all - 9 * 0xFF);

    Seat(AlByName("ALPLD250-14352"));
    ASSERT_EQ(BankCount, 1u);
    std::memset(BufferImage(), 0xFF, 0x800);
    // 0FFFh over 600h-607h, 0F0h over 700h-701h, 0F0Fh over 702h.
    EXPECT_EQ(ComputeBufferChecksum(BufferStart, BufferEnd), 8 * 0xFFu + 2 * 0xF0u + 0x0Fu);
    ASSERT_GE(BankCount, 2u);
    EXPECT_EQ(BufferImage()[0x10600], 0);
    BufferImage()[0x10600] = 0xF5;
    BufferImage()[0x10702] = 0xF3;
    EXPECT_EQ(ComputeBufferChecksum(BufferStart, BufferEnd), 8 * 0xFFu + 0x500u + 2 * 0xF0u + 0x30Fu);

    const std::string file = LibraryFileName;
    LibraryFileName = "no-such-library.dat";
    CloseLibrary();
    EXPECT_EQ(ComputeBufferChecksum(BufferStart, BufferEnd), 0xFFFFFFFFu);
    EXPECT_EQ(BufferChecksumText(), "Error");
    LibraryFileName = file;
    CloseLibrary();
}

// A library whose entry `entry` holds `words` (a copy of the built one).
void AlPatchLibrary(const std::vector<uint16_t>& words, uint32_t entry) {
    std::ifstream in(LibraryFilePath(), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto offset = static_cast<uint32_t>(bytes.size());
    for (uint16_t w : words) {
        bytes.push_back(static_cast<char>(w & 0xFF));
        bytes.push_back(static_cast<char>(w >> 8));
    }
    const uint32_t size = static_cast<uint32_t>(words.size() * 2);
    for (int i = 0; i < 4; ++i) {
        bytes[2 + 8 * entry + i] = static_cast<char>(offset >> (8 * i));
        bytes[2 + 8 * entry + 4 + i] = static_cast<char>(size >> (8 * i));
    }
    std::ofstream("patched.dat", std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class AlPatchedLibrary {
public:
    explicit AlPatchedLibrary(const std::vector<uint16_t>& words, uint32_t entry = 77)
        : dir_(ProgramDirectory), file_(LibraryFileName) {
        AlPatchLibrary(words, entry);
        char cwd[4096];
        ProgramDirectory = getcwd(cwd, sizeof cwd) ? cwd : ".";
        LibraryFileName = "patched.dat";
        CloseLibrary();
    }
    ~AlPatchedLibrary() {
        ProgramDirectory = dir_;
        LibraryFileName = file_;
        CloseLibrary();
    }

private:
    std::string dir_, file_;
};

// A list without its end word ends at the entry's end, in the checksum and
// in the slots; an empty list fails the slot with no line of its own.
TEST_F(AddressListPldTest, ListsEndAtTheEntryEnd) {
    sim::AddressListChip* chip = Seat(AlByName("ALPLD251-18448"));
    std::memset(BufferImage(), 0x3C, 0x400);
    {
        AlPatchedLibrary lib({0x00FF, 0x0300, 0x0301, 0xFFFF, 0x000F, 0x0302});
        EXPECT_EQ(ComputeBufferChecksum(BufferStart, BufferEnd), 0x3Cu + 0x3Cu + 0x0Cu);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(chip->Word(0x302), 0xFC);
        EXPECT_EQ(chip->Word(0x303), 0xFF);
    }
    {
        AlPatchedLibrary lib({});
        const size_t before = ui.Log.size();
        EXPECT_EQ(Run(OpRead), -1);
        EXPECT_TRUE(HasLine("Read error!")) << LogText();
        EXPECT_EQ(ComputeBufferChecksum(BufferStart, BufferEnd), 0xFFFFFFFFu);
        for (size_t i = before; i < ui.Log.size(); ++i) EXPECT_EQ(ui.Log[i].find("Code Error"), std::string::npos);
    }
    ExpectNoViolations();
}

// A list that names a security word: a file that programs its security bit
// is refused before any word is written, naming word and bit, and the part
// stays open; the same file with the bit left blank programs.
TEST_F(AddressListPldTest, FileProgrammingASecurityBitIsRefused) {
    struct Case {
        const char* name;
        uint16_t address, value;
        const char* line;
    };
    for (const Case& c : {Case{"ALPLD251-18448", 0x5EB, 0xFE, " Word 5EBh bit 0 (security) is programmed in the file; use Secure to set it."},
                          Case{"ALPLD252-18448", 0xBFFF, 0x7F, " Word BFFFh bit 7 (security) is programmed in the file; use Secure to set it."},
                          Case{"ALPLD250-18448", 0xBE8, 0xF3, " Word BE8h bit 2 (security) is programmed in the file; use Secure to set it."}}) {
        SCOPED_TRACE(c.name);
        sim::AddressListChip* chip = Seat(AlByName(c.name));
        const uint16_t before = chip->Word(c.address);
        AlPatchedLibrary lib({0x00FF, 0x0300, c.address, 0xFFFE});
        std::memset(BufferImage(), 0xFF, 0x10000);
        BufferImage()[0x300] = 0x5A;
        BufferImage()[c.address] = static_cast<uint8_t>(c.value);
        EXPECT_EQ(Run(OpProgram), -1) << LogText();
        EXPECT_TRUE(HasLine(c.line)) << LogText();
        EXPECT_EQ(chip->Word(0x300), 0xFF);
        EXPECT_EQ(chip->Word(c.address), before);
        BufferImage()[c.address] = 0xFF;
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(chip->Word(0x300), 0x5A);
        EXPECT_EQ(Run(OpBlankCheck), -1); // the codes pass: not " Device Secured!"
        EXPECT_FALSE(HasLine(" Device Secured!")) << LogText();
        ExpectNoViolations();
    }
}

// Each row's code checks: maker, product and security words, one line each,
// the run ending there (no fail address); only the codes are identities.
TEST_F(AddressListPldTest, CodeChecksRefuseWithOneLine) {
    struct Case {
        const char* name;
        uint16_t address, value;
        const char* line;
    };
    const Case cases[] = {
        {"ALPLD251-2064", 0x463, 0xFD, " Manufacturer's Code Error!"},
        {"ALPLD251-2064", 0x468, 0xF1, " Product Code Error!"},
        {"ALPLD251-2064", 0x5EB, 0xFE, " Device Secured!"},
        {"ALPLD252-8208", 0x7C7, 0xC5, " Manufacturer's Code Error!"},
        {"ALPLD252-8208", 0x7C6, 0x0B, " Product Code Error!"},
        {"ALPLD252-8208", 0x8000, 0x7F, " Device Secured!"},
        {"ALPLD250-8208", 0x4E2, 0xF3, " Manufacturer's Code Error!"},
        {"ALPLD250-8208", 0x4E4, 0xC3, " Product Code Error!"},
        {"ALPLD250-8208", 0xA68, 0xC3, " Device Secured!"},
        {"ALPLD250-18448", 0x464, 0xF7, " Product Code Error!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.line);
        sim::AddressListChip* chip = Seat(AlByName(c.name));
        chip->SetWord(c.address, c.value);
        const bool secured = std::string(c.line) == " Device Secured!";
        for (int op : {OpBlankCheck, OpProgram, OpSecurity}) {
            EXPECT_EQ(Run(op), -1);
            EXPECT_TRUE(HasLine(c.line)) << LogText();
            EXPECT_EQ(IdentityRefusalLine(), secured ? "" : c.line);
            EXPECT_EQ(DatumLines(), "");
        }
    }
    // Accepted alternatives: row 250 variant 1 takes any product word at
    // the last two reads, variant 3 also 2Ch, 2Ch, 0, 0.
    sim::AddressListChip* v1 = Seat(AlByName("ALPLD250-8208"));
    v1->SetWord(0x468, 0xFF);
    v1->SetWord(0x4E8, 0xC7);
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    sim::AddressListChip* v3 = Seat(AlByName("ALPLD250-14352"));
    for (uint16_t a : {0x464, 0x4E4}) v3->SetWord(a, 0xFEF);
    for (uint16_t a : {0x468, 0x4E8}) v3->SetWord(a, 0xFC3);
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    ExpectNoViolations();
}

// Row 250 variant 0 leaves the reserved addresses alone with its normal
// product code and programs them like any other with an alternative one.
TEST_F(AddressListPldTest, ReservedAddressesFollowTheProductCode) {
    for (bool alternative : {false, true}) {
        SCOPED_TRACE(alternative);
        sim::AddressListChip* chip = Seat(AlByName("ALPLD250-18448"));
        if (alternative) {
            const uint16_t alt[4] = {0xF6, 0xF6, 0xF1, 0xF1};
            const uint16_t at[4] = {0x464, 0x4E4, 0x468, 0x4E8};
            for (int i = 0; i < 4; ++i) chip->SetWord(at[i], alt[i]);
        }
        std::memset(BufferImage(), 0x12, 0x1000);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        for (uint32_t a : kAlReserved) EXPECT_EQ(chip->Word(a), alternative ? 0x12 : 0xFF) << std::hex << a;
        EXPECT_EQ(chip->Word(0x207), 0x12);
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        ExpectNoViolations();
    }
}

// A word that never programs ends after the row's passes with its address;
// one that needs three strobes programs in three passes.
TEST_F(AddressListPldTest, ProgramPassesAreBounded) {
    struct Case {
        const char* name;
        uint32_t address;
        int passes;
    };
    for (const Case& c : {Case{"ALPLD251-2064", 0x101, 10}, Case{"ALPLD252-8208", 0x30A, 10},
                          Case{"ALPLD250-34880", 0x1105, 5}}) {
        SCOPED_TRACE(c.name);
        sim::AddressListChip* chip = Seat(AlByName(c.name));
        chip->NeedPulses(c.address, 1000);
        std::memset(BufferImage(), 0x00, 0x2000);
        EXPECT_EQ(Run(OpProgram), -1) << LogText();
        EXPECT_TRUE(HasLine("Program error!")) << LogText();
        char line[48];
        std::snprintf(line, sizeof line, " Fail address : %u(%Xh)", c.address, c.address);
        EXPECT_TRUE(HasLine(line)) << LogText();
        EXPECT_EQ(chip->Strobes(c.address), c.passes);
        chip = Seat(AlByName(c.name));
        chip->NeedPulses(c.address, 3);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(chip->Strobes(c.address), 3);
        ExpectNoViolations();
    }
}

// Secure: row 251 clears bit 0 of 5EBh, row 252 writes 7Fh at 8000h and
// BFFFh, row 250 clears the security bits at its four addresses.
TEST_F(AddressListPldTest, SecureWritesTheSecurityWords) {
    sim::AddressListChip* c251 = Seat(AlByName("ALPLD251-2064"));
    EXPECT_EQ(Run(OpSecurity), 1) << LogText();
    EXPECT_EQ(c251->Word(0x5EB), 0xFE);
    sim::AddressListChip* c252 = Seat(AlByName("ALPLD252-8208"));
    EXPECT_EQ(Run(OpSecurity), 1) << LogText();
    EXPECT_EQ(c252->Word(0x8000), 0x7F);
    EXPECT_EQ(c252->Word(0xBFFF), 0x7F);
    sim::AddressListChip* c250 = Seat(AlByName("ALPLD250-14352"));
    EXPECT_EQ(Run(OpSecurity), 1) << LogText();
    for (uint32_t a : {0x5E2u, 0x5E8u, 0xA62u, 0xA68u}) EXPECT_EQ(c250->Word(a), 0x003) << std::hex << a;
    ExpectNoViolations();
}

// Secure reads back every security word it writes: a word that needs three
// pulses fails Secure, whether the part is left open (it still reads) or
// secured by the other words. Each security word of the part refused alone
// fails Secure too.
TEST_F(AddressListPldTest, SecurityWordThatDoesNotTakeFailsSecure) {
    struct Case {
        const char* name;
        uint32_t address, bits;
        bool open; // the part is left open
    };
    for (const Case& c : {Case{"ALPLD251-2064", 0x5EB, 0x01, true}, Case{"ALPLD252-8208", 0x8000, 0x80, true},
                          Case{"ALPLD252-8208", 0xBFFF, 0x80, false}, Case{"ALPLD250-14352", 0xA62, 0xFFC, false}}) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.address));
        sim::AddressListChip* chip = Seat(AlByName(c.name));
        chip->NeedPulses(c.address, 3);
        EXPECT_EQ(Run(OpSecurity), -1) << LogText();
        EXPECT_TRUE(HasLine("Security error!")) << LogText();
        char named[48];
        std::snprintf(named, sizeof named, " Security word %Xh not programmed", c.address);
        const auto log = Log();
        EXPECT_TRUE(std::any_of(log.begin(), log.end(), [&](const std::string& l) { return l.rfind(named, 0) == 0; }))
            << LogText();
        EXPECT_EQ(DatumLines(), "");
        EXPECT_NE(chip->Word(c.address) & c.bits, 0u);
        EXPECT_EQ(chip->Secured(), !c.open);
        if (c.open) {
            EXPECT_EQ(Run(OpRead), 1) << LogText();
        }
        ExpectNoViolations();
    }
    for (const char* name : {"ALPLD251-2064", "ALPLD252-8208", "ALPLD250-14352"})
        for (int word = 0; word < Seat(AlByName(name))->Part().securityCount; ++word) {
            SCOPED_TRACE(std::string(name) + " word " + std::to_string(word));
            Seat(AlByName(name))->RefuseSecurityWord(word);
            EXPECT_EQ(Run(OpSecurity), -1) << LogText();
            EXPECT_TRUE(HasLine("Security error!")) << LogText();
        }
}

// Variants past the row's tables are refused before any power-up, and the
// librarian refuses their records.
TEST_F(AddressListPldTest, VariantsPastTheTablesAreRefused) {
    for (const auto& [name, variant] : {std::pair{"ALPLD250-8208", 4}, std::pair{"ALPLD250-8208", 5},
                                        std::pair{"ALPLD251-2064", 6}, std::pair{"ALPLD252-8208", 9}}) {
        SCOPED_TRACE(name);
        Seat(AlByName(name));
        DeviceVariant = static_cast<uint8_t>(variant);
        simp.EnableTrace(true);
        simp.ClearTrace();
        EXPECT_EQ(Run(OpBlankCheck), -1);
        EXPECT_TRUE(HasLine(" Device not supported!")) << LogText();
        EXPECT_EQ(DatumLines(), "");
        for (const auto& a : simp.RegisterTrace()) EXPECT_FALSE(a.write && a.reg == 5 && a.value != 0) << int(a.value);
        simp.EnableTrace(false);
    }
    EXPECT_NE(RowRecordRefusal(*RowDefinition(250), {.Variant = 4, .PackagePins = 44}), "");
    EXPECT_EQ(RowRecordRefusal(*RowDefinition(250), {.Variant = 3, .PackagePins = 44}), "");
    EXPECT_NE(RowRecordRefusal(*RowDefinition(251), {.Variant = 6, .PackagePins = 44}), "");
    EXPECT_EQ(RowRecordRefusal(*RowDefinition(252), {.Variant = 5, .PackagePins = 44}), "");
}

// The wide record: a read makes bank 1 when it is missing and fills it; a
// read refused by the code check leaves bank 1 as it was.
TEST_F(AddressListPldTest, WideReadKeepsBankOneSound) {
    sim::AddressListChip* chip = Seat(AlByName("ALPLD250-14352"));
    chip->SetWord(0x600, 0x5A3);
    ASSERT_EQ(BankCount, 1u);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    ASSERT_GE(BankCount, 2u);
    EXPECT_EQ(BufferImage()[0x600], 0xA3);
    EXPECT_EQ(BufferImage()[0x10600], 0xF5);
    EXPECT_EQ(BufferImage()[0x10702], 0xFF);
    BufferImage()[0x10600] = 0x11;
    BufferImage()[0x1FFFF] = 0x22;
    chip->SetWord(0x463, 0x000);
    EXPECT_EQ(Run(OpRead), -1);
    EXPECT_TRUE(HasLine(" Manufacturer's Code Error!")) << LogText();
    EXPECT_EQ(BufferImage()[0x10600], 0x11);
    EXPECT_EQ(BufferImage()[0x1FFFF], 0x22);
    ExpectNoViolations();
}

// The wide record's words up to FFFDh: read into both banks, and the
// checksum adds them.
TEST_F(AddressListPldTest, WideWordsReachTheTopOfTheBank) {
    sim::AddressListChip* chip = Seat(AlByName("ALPLD250-14352"));
    SelectBank(0x10000, 1);
    SelectBank(0, 0);
    AlPatchedLibrary lib({0x0FFF, 0xFFF0, 0xFFFD, 0xFFFE}, 80);
    chip->SetWord(0xFFFD, 0x9C5);
    chip->SetWord(0xFFF0, 0x1E2);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(BufferImage()[0xFFFD], 0xC5);
    EXPECT_EQ(BufferImage()[0x1FFFD], 0xF9);
    EXPECT_EQ(BufferImage()[0x1FFF0], 0xF1);
    EXPECT_EQ(ComputeBufferChecksum(BufferStart, BufferEnd), 0x9C5u + 0x1E2u);
    ExpectNoViolations();
}

// Each row's blank check reads its words at 4.5 V VCC (the codes at 5.0 V),
// and its verify after programming at the part's verify level: a blank
// part passes with no read at a level the part does not know.
TEST_F(AddressListPldTest, ReadsAtTheLevelsOfThePart) {
    for (const char* name : {"ALPLD251-18448", "ALPLD252-18448", "ALPLD250-8208"}) {
        SCOPED_TRACE(name);
        sim::AddressListChip* chip = Seat(AlByName(name));
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        EXPECT_NEAR(chip->ReadVccLow(), 45, 1);
        EXPECT_NEAR(chip->ReadVccHigh(), 50, 1);
        LoadPattern(AlByName(name), 3);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_TRUE(HasLine("Verification ok!")) << LogText();
        ExpectNoViolations();
    }
}

// The register traffic of one word: each row's read and program pulse.
TEST_F(AddressListPldTest, OneWordTraffic) {
    struct Case {
        const char* name;
        int op;
        std::vector<std::pair<int, int>> writes; // -1: a read of register 9 / 10
    };
    const Case cases[] = {
        {"ALPLD251-2064", OpVerify, {{0, 0x01}, {1, 0x01}, {4, 0x01}, {9, -1}, {4, 0x03}}},
        {"ALPLD251-2064", OpProgram, {{0, 0x01}, {1, 0x01}, {9, 0xF3}, {5, 0x01}, {4, 0x0B}, {4, 0x03}, {5, 0x03}}},
        {"ALPLD252-8208", OpVerify, {{0, 0x01}, {1, 0x04}, {4, 0x00}, {9, -1}, {4, 0x01}}},
        {"ALPLD252-8208", OpProgram, {{0, 0x01}, {1, 0x04}, {9, 0x33}, {5, 0x09}, {4, 0x02}, {4, 0x03}, {5, 0x0B}}},
        {"ALPLD250-14352", OpVerify, {{0, 0x01}, {1, 0x07}, {9, -1}, {10, -1}, {0, 0x02}}},
        {"ALPLD250-14352", OpProgram, {{0, 0x01}, {1, 0x07}, {9, 0x0F}, {10, 0xFF}, {5, 0x09}, {4, 0x06}, {4, 0x07}, {5, 0x0B}}},
        // Mode entries: row 251's code 12, row 250's code 13.
        {"ALPLD251-2064", OpBlankCheck, {{4, 0x02}, {4, 0x00}, {2, 12}, {4, 0x04}, {4, 0x00}, {2, 0}, {4, 0x02}, {4, 0x03}, {5, 0x03}}},
        {"ALPLD250-8208", OpVerify, {{4, 0x05}, {4, 0x04}, {2, 13}, {4, 0x0C}, {4, 0x04}, {2, 0}, {4, 0x05}, {4, 0x07}, {5, 0x0B}}},
        // Row 252's Secure after its code check: 7Fh at 8000h and BFFFh.
        {"ALPLD252-8208", OpSecurity, {{0, 0x00}, {1, 0x80}, {9, 0x7F}, {5, 0x09}, {4, 0x02}, {4, 0x03}, {5, 0x0B},
                                       {0, 0xFF}, {1, 0xBF}, {9, 0x7F}, {5, 0x09}, {4, 0x02}, {4, 0x03}, {5, 0x0B}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.op));
        Seat(AlByName(c.name));
        std::memset(BufferImage(), 0x33, 0x800);
        if (std::string(c.name) == "ALPLD250-14352") {
            SelectBank(0x10000, 1);
            SelectBank(0, 0);
            BufferImage()[0x10701] = 0xF3;
            BufferImage()[0x701] = 0x0F;
        }
        if (c.op == OpVerify) Run(OpProgram);
        simp.EnableTrace(true);
        simp.ClearTrace();
        EXPECT_EQ(Run(c.op), 1) << LogText();
        std::vector<std::pair<int, int>> seen;
        for (const auto& a : simp.RegisterTrace())
            if (a.reg <= 11) seen.emplace_back(a.reg, a.write ? a.value : -1);
        simp.EnableTrace(false);
        const auto at = std::search(seen.begin(), seen.end(), c.writes.begin(), c.writes.end());
        EXPECT_NE(at, seen.end());
        ExpectNoViolations();
    }
}

// A library whose directory pair of `entry` is set raw (a copy of the
// built one): size 0 is an empty entry, an offset past the file an absent one.
class AlPairPatchedLibrary {
public:
    AlPairPatchedLibrary(uint32_t entry, uint32_t offset, uint32_t size) : dir_(ProgramDirectory), file_(LibraryFileName) {
        std::ifstream in(LibraryFilePath(), std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (int i = 0; i < 4; ++i) {
            bytes[2 + 8 * entry + i] = static_cast<char>(offset >> (8 * i));
            bytes[2 + 8 * entry + 4 + i] = static_cast<char>(size >> (8 * i));
        }
        std::ofstream("pair-patched.dat", std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        char cwd[4096];
        ProgramDirectory = getcwd(cwd, sizeof cwd) ? cwd : ".";
        LibraryFileName = "pair-patched.dat";
        CloseLibrary();
    }
    ~AlPairPatchedLibrary() {
        ProgramDirectory = dir_;
        LibraryFileName = file_;
        CloseLibrary();
    }

private:
    std::string dir_, file_;
};

// Every row with its list entry empty or absent: each operation ends with
// -1 before the part is powered, and the only lines are the driver's (the
// step line and the fail address); the checksum is the error value.
TEST_F(AddressListPldTest, EmptyOrAbsentEntryFailsWithoutALine) {
    struct Case {
        const char* name;
        uint32_t entry;
    };
    for (const Case& c : {Case{"ALPLD251-18448", 77}, Case{"ALPLD252-8208", 78}, Case{"ALPLD250-34880", 79},
                          Case{"ALPLD250-14352", 80}}) {
        for (const bool absent : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (absent ? " absent" : " empty"));
            sim::AddressListChip* chip = Seat(AlByName(c.name));
            std::memset(BufferImage(), 0x5A, 0x800);
            AlPairPatchedLibrary lib(c.entry, absent ? 0xFFFFFFF0u : 0u, absent ? 16u : 0u);
            EXPECT_EQ(ComputeBufferChecksum(BufferStart, BufferEnd), 0xFFFFFFFFu);
            for (int op : {OpBlankCheck, OpProgram, OpRead, OpVerify, OpCompare, OpSecurity}) {
                SCOPED_TRACE(op);
                const size_t before = ui.Log.size();
                simp.EnableTrace(true);
                simp.ClearTrace();
                EXPECT_EQ(Run(op), -1) << LogText();
                // The driver's resets write 0 to every register; the rows'
                // sequences write control codes.
                bool bus = false;
                for (const auto& a : simp.RegisterTrace()) bus |= a.write && a.reg <= 11 && a.value != 0;
                simp.EnableTrace(false);
                EXPECT_FALSE(bus) << "a bus sequence ran";
                ASSERT_GT(ui.Log.size(), before);
                for (size_t i = before; i < ui.Log.size(); ++i) {
                    const std::string& line = ui.Log[i];
                    const bool driver = line.find("error!") != std::string::npos || line.rfind(" Fail address", 0) == 0 ||
                                        line.find("...") != std::string::npos || line.rfind("--", 0) == 0 ||
                                        line.rfind("-CheckSum", 0) == 0;
                    EXPECT_TRUE(driver) << line;
                }
                EXPECT_TRUE(elec->SuppliedPins().empty());
            }
            EXPECT_EQ(chip->Strobes(0x300), 0);
            ExpectNoViolations();
        }
    }
}

// The bus-register stream (registers 0-11; a read as value -1) each row's
// protocol gives for an operation over a one-group list.
class AlStream {
public:
    using Access = std::pair<int, int>;
    AlStream& W(int reg, int value) {
        s_.emplace_back(reg, value & 0xFF);
        return *this;
    }
    AlStream& R(int reg) {
        s_.emplace_back(reg, -1);
        return *this;
    }
    AlStream& Address(uint32_t a) { return W(0, static_cast<int>(a & 0xFF)).W(1, static_cast<int>((a >> 8) & 0xFF)); }
    const std::vector<Access>& Accesses() const { return s_; }

private:
    std::vector<Access> s_;
};

// Row 251: mode entry, power-down, read, program pulse, high-voltage cycle,
// the code check.
void Al251Entry(AlStream& s, int code) {
    s.W(5, 6).W(4, 3).W(2, 0).W(5, 7).W(4, 2).W(4, 0).W(2, code).W(4, 4).W(4, 0).W(2, 0).W(4, 2).W(4, 3).W(5, 3);
}
void Al251Down(AlStream& s) { s.W(5, 7).W(0, 0).W(1, 0).W(9, 0).W(5, 1).W(2, 0).W(4, 0).W(5, 6); }
void Al251Read(AlStream& s) { s.W(4, 1).R(9).W(4, 3); }
void Al251Pulse(AlStream& s, int data) { s.W(9, data).W(5, 1).W(4, 0x0B).W(4, 3).W(5, 3); }
void Al251Check(AlStream& s) {
    Al251Entry(s, 12);
    for (uint32_t a : {0x462u, 0x463u, 0x464u, 0x468u, 0x5EBu}) {
        s.Address(a);
        Al251Read(s);
    }
    Al251Down(s);
}

// Row 252: power-up (the mode entry), power-down, read, pulse, code check.
void Al252Up(AlStream& s) { s.W(5, 6).W(4, 3).W(5, 7).W(5, 0x0B); }
void Al252Down(AlStream& s) { s.W(5, 7).W(0, 0).W(1, 0).W(2, 0).W(9, 0).W(5, 0).W(4, 0); }
void Al252Read(AlStream& s) { s.W(4, 0).R(9).W(4, 1); }
void Al252Pulse(AlStream& s, int data) { s.W(9, data).W(5, 9).W(4, 2).W(4, 3).W(5, 0x0B); }
void Al252Check(AlStream& s) {
    Al252Up(s);
    s.W(4, 1).W(2, 1);
    for (uint32_t a : {0x7C7u, 0x7C6u, 0x8000u}) {
        s.Address(a);
        Al252Read(s);
    }
    Al252Down(s);
}

// Row 250 (variant 1, 8-bit words): mode entry, power-down, read, pulse,
// code check.
void Al250Entry(AlStream& s, int code) {
    s.W(5, 6).W(4, 0).W(2, 0).W(5, 7).W(4, 0).W(2, 0).W(4, 4).W(4, 0).W(4, 4).W(4, 7);
    s.W(4, 5).W(4, 4).W(2, code).W(4, 12).W(4, 4).W(2, 0).W(4, 5).W(4, 7).W(5, 11);
}
void Al250Down(AlStream& s) { s.W(5, 7).W(4, 4).W(5, 6).W(0, 0).W(1, 0).W(2, 0).W(4, 0).W(5, 0).W(6, 0); }
void Al250Pulse(AlStream& s, int data) { s.W(9, data).W(5, 9).W(4, 6).W(4, 7).W(5, 11); }
// d = ~mask | expected, 32 bits wide: register 10 takes bits 8-15.
void Al250Pulse12(AlStream& s, uint32_t d) {
    s.W(9, static_cast<int>(d & 0xFF)).W(10, static_cast<int>((d >> 8) & 0xFF)).W(5, 9).W(4, 6).W(4, 7).W(5, 11);
}
void Al250Check(AlStream& s, bool wide = false) {
    Al250Entry(s, 13);
    s.W(4, 5);
    for (uint32_t a : {0x463u, 0x4E3u, 0x462u, 0x4E2u, 0x464u, 0x4E4u, 0x468u, 0x4E8u, 0x5E2u, 0x5E8u, 0xA62u, 0xA68u}) {
        s.Address(a);
        s.R(9);
        if (wide) s.R(10);
    }
    Al250Down(s);
}

// Whole operations of each row over a list of one group (mask 0Fh,
// addresses 300h and 301h): the bus-register stream equals the protocol's,
// access for access. The programmer's resets (every register written 0 in
// order) are the driver's and left out.
TEST_F(AddressListPldTest, WholeOperationStreams) {
    constexpr uint32_t kWords[2] = {0x300, 0x301};
    constexpr uint8_t kData[2] = {0xA5, 0x3C};
    const auto walkRead = [&](AlStream& s, void (*read)(AlStream&)) {
        for (uint32_t a : kWords) {
            s.Address(a);
            read(s);
        }
    };
    const auto walkPulse = [&](AlStream& s, void (*pulse)(AlStream&, int), bool masked) {
        for (int i = 0; i < 2; ++i) {
            s.Address(kWords[i]);
            pulse(s, masked ? (0xF0 | kData[i]) : kData[i]);
        }
    };
    const auto read250 = [](AlStream& s) { s.R(9); };
    struct Case {
        const char* name;
        uint32_t entry;
        int op;
        AlStream expected;
    };
    std::vector<Case> cases;
    {
        AlStream blank, verify, program, secure;
        Al251Check(blank);
        Al251Entry(blank, 12);
        walkRead(blank, Al251Read);
        Al251Down(blank);
        Al251Check(verify);
        Al251Entry(verify, 13);
        walkRead(verify, Al251Read);
        Al251Down(verify);
        Al251Check(program);
        program.W(5, 6).W(4, 3).W(2, 0).W(5, 7).W(0, 0).W(1, 0).W(9, 0).W(5, 1).W(2, 0).W(4, 0).W(5, 6);
        Al251Entry(program, 12);
        walkPulse(program, Al251Pulse, true);
        Al251Down(program);
        Al251Entry(program, 13);
        walkRead(program, Al251Read);
        Al251Down(program);
        Al251Check(secure);
        Al251Entry(secure, 12);
        secure.Address(0x5EB);
        Al251Pulse(secure, 0xFE);
        Al251Read(secure); // the security cell read back
        Al251Down(secure);
        cases.push_back({"ALPLD251-18448", 77, OpBlankCheck, blank});
        cases.push_back({"ALPLD251-18448", 77, OpVerify, verify});
        cases.push_back({"ALPLD251-18448", 77, OpProgram, program});
        cases.push_back({"ALPLD251-18448", 77, OpSecurity, secure});
    }
    {
        AlStream read, program, secure;
        Al252Check(read);
        Al252Up(read);
        read.W(2, 1).W(4, 1);
        walkRead(read, Al252Read);
        Al252Down(read);
        Al252Check(program);
        Al252Up(program);
        walkPulse(program, Al252Pulse, false);
        Al252Down(program);
        Al252Up(program);
        program.W(4, 1).W(2, 1);
        walkRead(program, Al252Read);
        Al252Down(program);
        Al252Check(secure);
        Al252Up(secure);
        secure.Address(0x8000);
        Al252Pulse(secure, 0x7F);
        secure.Address(0xBFFF);
        Al252Pulse(secure, 0x7F);
        secure.W(4, 1).W(2, 1); // both words read back
        for (uint32_t a : {0x8000u, 0xBFFFu}) {
            secure.Address(a);
            Al252Read(secure);
        }
        Al252Down(secure);
        cases.push_back({"ALPLD252-8208", 78, OpVerify, read});
        cases.push_back({"ALPLD252-8208", 78, OpProgram, program});
        cases.push_back({"ALPLD252-8208", 78, OpSecurity, secure});
    }
    {
        AlStream blank, program, secure;
        Al250Check(blank);
        Al250Entry(blank, 12);
        blank.W(4, 5);
        walkRead(blank, read250);
        Al250Down(blank);
        Al250Check(program);
        Al250Entry(program, 12);
        walkPulse(program, Al250Pulse, true);
        Al250Down(program);
        Al250Entry(program, 13);
        program.W(4, 5);
        walkRead(program, read250);
        Al250Down(program);
        Al250Check(secure);
        Al250Entry(secure, 12);
        for (uint32_t a : {0x5E2u, 0x5E8u, 0xA62u, 0xA68u}) {
            secure.Address(a);
            Al250Pulse(secure, 0xC3);
        }
        secure.W(4, 5); // the four words read back
        for (uint32_t a : {0x5E2u, 0x5E8u, 0xA62u, 0xA68u}) secure.Address(a).R(9);
        Al250Down(secure);
        cases.push_back({"ALPLD250-8208", 78, OpBlankCheck, blank});
        cases.push_back({"ALPLD250-8208", 78, OpProgram, program});
        cases.push_back({"ALPLD250-8208", 78, OpSecurity, secure});
    }
    {
        // The 12-bit kind: data bits 8-15 on register 10 (bank 1 clear; the
        // bits outside the mask written 1).
        AlStream program, secure;
        Al250Check(program, true);
        Al250Entry(program, 12);
        for (int i = 0; i < 2; ++i) {
            program.Address(kWords[i]);
            Al250Pulse12(program, ~0x00Fu | kData[i]);
        }
        Al250Down(program);
        Al250Entry(program, 13);
        program.W(4, 5);
        for (uint32_t a : kWords) program.Address(a).R(9).R(10);
        Al250Down(program);
        Al250Check(secure, true);
        Al250Entry(secure, 12);
        for (uint32_t a : {0x5E2u, 0x5E8u, 0xA62u, 0xA68u}) {
            secure.Address(a);
            Al250Pulse12(secure, ~0xFFCu);
        }
        secure.W(4, 5);
        for (uint32_t a : {0x5E2u, 0x5E8u, 0xA62u, 0xA68u}) secure.Address(a).R(9).R(10);
        Al250Down(secure);
        cases.push_back({"ALPLD250-14352", 80, OpProgram, program});
        cases.push_back({"ALPLD250-14352", 80, OpSecurity, secure});
    }
    VerifyAfterProgram = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.op));
        Seat(AlByName(c.name));
        AlPatchedLibrary lib({0x000F, 0x0300, 0x0301, 0xFFFE}, c.entry);
        std::memset(BufferImage(), 0xFF, 0x800);
        BufferImage()[0x300] = kData[0];
        BufferImage()[0x301] = kData[1];
        if (std::string(c.name) == "ALPLD250-14352") {
            SelectBank(0x10000, 1);
            SelectBank(0, 0);
            BufferImage()[0x10300] = 0;
            BufferImage()[0x10301] = 0;
        }
        if (c.op == OpVerify) Run(OpProgram);
        simp.EnableTrace(true);
        simp.ClearTrace();
        EXPECT_EQ(Run(c.op), 1) << LogText();
        std::vector<std::pair<int, int>> seen;
        for (const auto& a : simp.RegisterTrace())
            if (a.reg <= 11) seen.emplace_back(a.reg, a.write ? a.value : -1);
        simp.EnableTrace(false);
        // Drop the programmer resets: registers 0-11 written 0 in order.
        std::vector<std::pair<int, int>> bus;
        for (size_t i = 0; i < seen.size();) {
            bool reset = i + 12 <= seen.size();
            for (int r = 0; reset && r < 12; ++r) reset = seen[i + static_cast<size_t>(r)] == std::make_pair(r, 0);
            if (reset) {
                i += 12;
                continue;
            }
            bus.push_back(seen[i++]);
        }
        EXPECT_EQ(bus, c.expected.Accesses());
        ExpectNoViolations();
    }
}

INSTANTIATE_TEST_SUITE_P(Records, AddressListRecordTest, ::testing::ValuesIn(kAlRecords),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (char& c : n)
                                 if (c == '-') c = '_';
                             return n;
                         });

} // namespace
