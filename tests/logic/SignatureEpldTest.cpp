// Rows 255-257 against the UV EPLD chip model: every record through the
// driver, the identification tables, the programming loop's pulse counts
// and injected faults.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <tuple>

#include "logic/SignatureEpld.h"
#include "sim/IdMemory.h"
#include "sim/UvEpldChip.h"
#include "tests/logic/PldFixture.h"

namespace {

constexpr const char* kSignatureEpldMaker = "ALTERA";
constexpr const char* kSecuredLine = "Incorrect Device ID or Device Is Secured!";

struct SignatureEpldRecord {
    const char* name;
    uint32_t row, fuses;
    int subType;
};
constexpr SignatureEpldRecord kSignatureEpldRecords[] = {
    {"EPLD6482-87", 255, 6482, 0},   {"EPLD6482-89", 255, 6482, 1},   {"EPLD6482-90", 255, 6482, 2},
    {"EPLD6482-95", 255, 6482, 3},   {"EPLD6482-FF", 255, 6482, 4},   {"EPLD17402-87", 256, 17402, 0},
    {"EPLD17402-95", 256, 17402, 1}, {"EPLD42490-88", 257, 42490, 0}, {"EPLD42490-89", 257, 42490, 1},
    {"EPLD42490-95", 257, 42490, 2}, {"EPLD42490-FF", 257, 42490, 9},
};

class SignatureEpldTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 1;
    }
    sim::UvEpldFacts Facts(const char* name) { return *sim::FindFacts<sim::UvEpldFacts>(kSignatureEpldMaker, name); }
    sim::UvEpldChip* Seat(const char* name) { return Seat(name, Facts(name)); }
    sim::UvEpldChip* Seat(const char* name, const sim::UvEpldFacts& f) {
        EXPECT_TRUE(SelectPld(kSignatureEpldMaker, name));
        return SeatAlone<sim::UvEpldChip>(f);
    }
    static size_t PulsesAt(const sim::UvEpldChip* chip, int a, int c) {
        size_t n = 0;
        for (const auto& p : chip->Pulses()) n += p.a == a && p.c == c;
        return n;
    }
};

// Blank check, program from a JEDEC file with the driver's verify, read into
// a cleared buffer (the "C" field kept), Secure judged by the signature read
// after it, the secured part refused, blank again only after a long enough
// UV exposure; a part whose security bits never program fails Secure and
// still answers.
TEST_F(SignatureEpldTest, EveryRecordThroughTheDriver) {
    for (const SignatureEpldRecord& r : kSignatureEpldRecords) {
        SCOPED_TRACE(r.name);
        sim::UvEpldChip* chip = Seat(r.name);
        EXPECT_EQ(CurrentAlgorithm, r.row);
        EXPECT_EQ(DeviceSize, r.fuses);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        EXPECT_EQ(EpldSubType, r.subType);
        const std::vector<uint8_t> fuses = Pattern(r.fuses, r.row);
        LoadFuses(fuses, FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_TRUE(HasLine("Verify ok!") || HasLine("Program ok!")) << LogText();
        ClearUserMap(r.fuses);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(r.fuses), fuses);
        EXPECT_EQ(ReadJedecChecksumField(FormatJedecText(nullptr, 0)), ReadJedecChecksumField(ReadText("in.jed")));
        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        EXPECT_TRUE(HasLine("Security ok!")) << LogText();
        EXPECT_TRUE(chip->Locked());
        EXPECT_EQ(Run(OpRead), -1);
        EXPECT_TRUE(HasLine(kSecuredLine)) << LogText();
        chip->ExposeToUv(19);
        EXPECT_EQ(Run(OpBlankCheck), -1);
        chip->ExposeToUv(20);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
        chip->RefuseSecurity();
        EXPECT_EQ(Run(OpSecurity), -1) << LogText();
        EXPECT_TRUE(HasLine("Security error!")) << LogText();
        EXPECT_TRUE(HasLine(" Security not programmed: the part still gives its signature.")) << LogText();
        EXPECT_EQ(DatumLines(), "");
        EXPECT_FALSE(chip->Locked());
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        ExpectNoViolations();
    }
}

// Where the cells of each row lie and which fuse each bit holds, written out
// from the layout's text: a byte at (a, c) and the fuse of each bit (-1:
// no fuse there). The part's byte bit holds the file's fuse as it is.
struct CellFuses {
    int a, c;
    int fuse[8];
};

constexpr int kNoFuse = -1;
constexpr int kSpecialRows[5] = {6, 0, 4, 9, 2};
constexpr int kSpecialRows2[5] = {22, 16, 20, 25, 18};

std::vector<CellFuses> Layout255(bool plain) {
    std::vector<CellFuses> v;
    for (int a = 0; a < 10; ++a) {
        for (int col = 0; col < 40; ++col) {
            CellFuses k0{a, col, {}}, k1{a, 64 + col, {}};
            for (int b = 0; b < 8; ++b) {
                k0.fuse[b] = 40 * a + col + 400 * b;
                k1.fuse[b] = 3200 + 40 * a + col + 400 * b;
            }
            v.push_back(k0);
            v.push_back(k1);
        }
    }
    for (int i = 0; i < 5; ++i) {
        CellFuses k2{plain ? 10 + i : kSpecialRows[i], plain ? 40 : 107, {}};
        CellFuses k3{plain ? 10 + i : kSpecialRows[i], plain ? 104 : 45, {}};
        for (int b = 0; b < 8; ++b) {
            k2.fuse[b] = 6400 + i + 5 * b;
            k3.fuse[b] = 6440 + i + 5 * b;
        }
        v.push_back(k2);
        v.push_back(k3);
    }
    v.push_back({plain ? 15 : 7, plain ? 40 : 107, {6480, kNoFuse, kNoFuse, kNoFuse, kNoFuse, kNoFuse, kNoFuse, kNoFuse}});
    v.push_back({plain ? 15 : 7, plain ? 104 : 45, {6481, kNoFuse, kNoFuse, kNoFuse, kNoFuse, kNoFuse, kNoFuse, kNoFuse}});
    return v;
}

std::vector<CellFuses> Layout256(bool plain) {
    constexpr int N = 999;
    constexpr int kBits[10][8] = {
        {0, 720, 2880, 3600, 4320, 5040, 7200, 7920},
        {N, 1440, 2160, N, N, 5760, 6480, N},
        {8640, 9360, 11520, 12240, 12960, 13680, 15840, 16560},
        {N, 10080, 10800, N, N, 14400, 15120, N},
        {17280, 17285, 17300, 17305, 17310, 17315, 17330, 17335},
        {N, 17290, 17295, N, N, 17320, 17325, N},
        {17340, 17345, 17360, 17365, 17370, 17375, 17390, 17395},
        {N, 17350, 17355, N, N, 17380, 17385, N},
        {17400, N, N, N, N, N, N, N},
        {17401, N, N, N, N, N, N, N},
    };
    std::vector<CellFuses> v;
    auto add = [&](int kind, int a, int c, int index) {
        CellFuses f{a, c, {}};
        for (int b = 0; b < 8; ++b) f.fuse[b] = kBits[kind][b] == N ? kNoFuse : kBits[kind][b] + index;
        v.push_back(f);
    };
    const int firstRow[4] = {0, 16, 0, 16}, firstColumn[4] = {0, 0, 128, 128};
    for (int kind = 0; kind < 4; ++kind)
        for (int a = 0; a < 10; ++a)
            for (int col = 0; col < 72; ++col) add(kind, firstRow[kind] + a, firstColumn[kind] + col, a * 72 + col);
    for (int i = 0; i < 5; ++i) {
        add(4, plain ? 10 + i : kSpecialRows[i], plain ? 72 : 203, i);
        add(5, plain ? 26 + i : kSpecialRows2[i], plain ? 72 : 203, i);
        add(6, plain ? 10 + i : kSpecialRows[i], plain ? 200 : 77, i);
        add(7, plain ? 26 + i : kSpecialRows2[i], plain ? 200 : 77, i);
    }
    add(8, plain ? 15 : 7, plain ? 200 : 203, 0);
    add(9, plain ? 15 : 7, plain ? 72 : 77, 0);
    return v;
}

std::vector<CellFuses> Layout257(bool plain) {
    constexpr int kBits[12][8] = {
        {2640, 1760, 880, 0, 41360, 40480, 39600, 38720},
        {6160, 5280, 4400, 3520, 37840, 36960, 36080, 35200},
        {9680, 8800, 7920, 7040, 34320, 33440, 32560, 31680},
        {17600, 18480, 19360, 20240, 21120, 22000, 22880, 23760},
        {14080, 14960, 15840, 16720, 24640, 25520, 26400, 27280},
        {10560, 11440, 12320, 13200, 28160, 29040, 29920, 30800},
        {42255, 42250, 42245, 42240, 42475, 42470, 42465, 42460},
        {42275, 42270, 42265, 42260, 42455, 42450, 42445, 42440},
        {42295, 42290, 42285, 42280, 42435, 42430, 42425, 42420},
        {42340, 42345, 42350, 42355, 42360, 42365, 42370, 42375},
        {42320, 42325, 42330, 42335, 42380, 42385, 42390, 42395},
        {42300, 42305, 42310, 42315, 42400, 42405, 42410, 42415},
    };
    std::vector<CellFuses> v;
    auto add = [&](int kind, int a, int c, int index) {
        CellFuses f{a, c, {}};
        for (int b = 0; b < 8; ++b) f.fuse[b] = kBits[kind][b] + index;
        v.push_back(f);
    };
    auto fixed = [&](int a, int c, std::initializer_list<std::pair<int, int>> bits) {
        CellFuses f{a, c, {kNoFuse, kNoFuse, kNoFuse, kNoFuse, kNoFuse, kNoFuse, kNoFuse, kNoFuse}};
        for (auto [bit, fuse] : bits) f.fuse[bit] = fuse;
        v.push_back(f);
    };
    for (int k = 0; k < 3; ++k)
        for (int a = 0; a < 10; ++a)
            for (int col = 0; col < 88; ++col) {
                add(k, 16 * k + a, 128 + col, a * 88 + col);
                add(3 + k, 16 * k + a, col, a * 88 + col);
            }
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 5; ++i) {
            add(6 + k, plain ? 10 + 16 * k + i : kSpecialRows[i] + 16 * k, plain ? 216 : 93, i);
            add(9 + k, plain ? 10 + 16 * k + i : kSpecialRows[i] + 16 * k, plain ? 88 : 219, i);
        }
    if (plain) {
        fixed(15, 88, {{2, 42485}, {3, 42481}, {4, 42480}, {5, 42484}});
        fixed(15, 216, {{2, 42486}, {3, 42482}, {4, 42483}, {5, 42487}});
    } else {
        fixed(37, 219, {{7, 42480}});
        fixed(33, 219, {{0, 42481}});
        fixed(33, 93, {{0, 42482}});
        fixed(37, 93, {{7, 42483}});
        fixed(35, 219, {{7, 42484}, {0, 42485}});
        fixed(35, 93, {{0, 42486}, {7, 42487}});
    }
    fixed(plain ? 47 : 39, plain ? 88 : 219, {{7, 42488}});
    fixed(plain ? 47 : 39, plain ? 216 : 93, {{7, 42489}});
    return v;
}

// A programmed part holds the file's fuses where the layout puts them, the
// special rows and the last special cells too; a verify reads those last
// cells: one changed on the part fails the verify at its fuse.
TEST_F(SignatureEpldTest, PartCellsHoldTheFileWhereTheLayoutPutsThem) {
    struct Case {
        const char* name;
        std::vector<CellFuses> layout;
        int lastBit; // the bit of the last two cells that holds their fuse
    };
    const Case cases[] = {
        {"EPLD6482-87", Layout255(true), 0},   {"EPLD6482-89", Layout255(false), 0},
        {"EPLD17402-87", Layout256(true), 0},  {"EPLD17402-95", Layout256(false), 0},
        {"EPLD42490-88", Layout257(true), 7},  {"EPLD42490-89", Layout257(false), 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::UvEpldChip* chip = Seat(c.name);
        const std::vector<uint8_t> fuses = Pattern(DeviceSize, 5);
        LoadFuses(fuses, FuseRowLength);
        ASSERT_EQ(Run(OpProgram), 1) << LogText();
        std::vector<int> seen(DeviceSize, 0);
        for (const CellFuses& cell : c.layout) {
            const uint8_t byte = chip->Byte(cell.a, cell.c);
            for (int b = 0; b < 8; ++b) {
                if (cell.fuse[b] == kNoFuse) continue;
                ASSERT_LT(static_cast<uint32_t>(cell.fuse[b]), DeviceSize);
                ++seen[static_cast<size_t>(cell.fuse[b])];
                ASSERT_EQ((byte >> b) & 1, fuses[static_cast<size_t>(cell.fuse[b])])
                    << cell.a << "/" << cell.c << " bit " << b << " fuse " << cell.fuse[b];
            }
        }
        EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), static_cast<long>(DeviceSize)); // each fuse once
        for (size_t k = c.layout.size() - 2; k < c.layout.size(); ++k) {
            const CellFuses& cell = c.layout[k];
            const int fuse = cell.fuse[c.lastBit];
            const uint8_t kept = chip->Byte(cell.a, cell.c);
            chip->SetByte(cell.a, cell.c, static_cast<uint8_t>(kept ^ (1u << c.lastBit)));
            EXPECT_EQ(Run(OpVerify), -1) << LogText();
            EXPECT_TRUE(HasLine(" Fail address : " + std::to_string(fuse) + "(" + [&] {
                char h[16];
                std::snprintf(h, sizeof h, "%Xh", fuse);
                return std::string(h);
            }() + ")")) << LogText();
            chip->SetByte(cell.a, cell.c, kept);
        }
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        ExpectNoViolations();
    }
}

// The identification tables: each signature (eight characters, three part
// bytes) seated on the row's part gives its sub-type, or -1 with or
// without the message, the run ending there either way (no fail address);
// a refused "ALTERA95" never raises the level.
TEST_F(SignatureEpldTest, IdentificationTables) {
    struct Case {
        const char* record;
        const char* text;
        uint8_t s8, s9, s10;
        int subType; // -1 refused
        bool message;
    };
    const Case cases[] = {
        {"EPLD6482-95", "ALTERA95", 0xF3, 0xCF, 0, 3, false},  {"EPLD6482-95", "ALTERA95", 0xF6, 0xCF, 0, 3, false},
        {"EPLD6482-95", "ALTERA95", 0xF7, 0xCF, 0, -1, false}, {"EPLD6482-95", "ALTERA95", 0xF3, 0xDF, 0, -1, false},
        {"EPLD6482-87", "ALTERA87", 0xF7, 0xEF, 9, 0, false},  {"EPLD6482-90", "ALTERA90", 0xFE, 0x7F, 9, 2, false},
        {"EPLD6482-89", "ALTERA89", 0xFB, 0xDF, 0x10, 1, false}, {"EPLD6482-89", "ALTERA89", 0xFB, 0xDF, 0x0D, -1, false},
        {"EPLD6482-87", "ALTERA87", 0xF7, 0xEE, 0, -1, false}, {"EPLD6482-87", "ALTERA88", 0xF7, 0xEF, 0, -1, true},
        {"EPLD17402-95", "ALTERA95", 0x12, 0x34, 0, 1, false}, {"EPLD17402-87", "ALTERA87", 0, 0, 0, 0, false},
        {"EPLD17402-87", "ALTERA90", 0, 0, 0, -1, true},       {"EPLD42490-95", "ALTERA95", 0xF5, 0xDF, 0, 2, false},
        {"EPLD42490-95", "ALTERA95", 0xF6, 0xDF, 0, -1, false}, {"EPLD42490-88", "ALTERA88", 0xF7, 0xEF, 0, 0, false},
        {"EPLD42490-89", "ALTERA89", 0xFB, 0xDF, 0x77, 1, false}, {"EPLD42490-89", "ALTERA89", 0xFB, 0xEF, 0, -1, false},
        {"EPLD42490-88", "ALTERA87", 0xF7, 0xEF, 0, -1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.record) + " " + c.text + " " + std::to_string(c.s8));
        sim::UvEpldFacts f = Facts(c.record);
        std::memcpy(f.signature, c.text, 8);
        f.signature[8] = c.s8, f.signature[9] = c.s9, f.signature[10] = c.s10;
        Seat(c.record, f);
        EpldSubType = -5;
        EXPECT_EQ(Run(OpBlankCheck), c.subType < 0 ? -1 : 1) << LogText();
        EXPECT_EQ(HasLine(kSecuredLine), c.message) << LogText();
        EXPECT_EQ(DatumLines(), "");
        if (c.subType >= 0) {
            EXPECT_EQ(EpldSubType, c.subType);
        } else if (!c.message && std::string(c.text) == "ALTERA95") {
            EXPECT_EQ(EpldStrobeLevel, 100); // never raised
        }
        ExpectNoViolations();
    }
    // Another part seated on every record: each run ends at the line with
    // nothing programmed.
    for (const SignatureEpldRecord& r : kSignatureEpldRecords) {
        SCOPED_TRACE(r.name);
        sim::UvEpldChip* chip = Seat(r.name);
        chip->AnswerAnotherIdentity();
        LoadFuses(Pattern(r.fuses, 3), FuseRowLength);
        ExpectRunsEndAtIdentityLine(kSecuredLine);
        EXPECT_TRUE(chip->Pulses().empty());
        EXPECT_TRUE(chip->Blank());
        ExpectNoViolations();
    }
    // Row 256 takes its levels from the identification.
    Seat("EPLD17402-95");
    EXPECT_EQ(Run(OpBlankCheck), 1);
    EXPECT_EQ(std::make_pair(EpldVppLevel, static_cast<int>(SupplyVoltage)), std::make_pair(100, 62));
    Seat("EPLD17402-87");
    EXPECT_EQ(Run(OpBlankCheck), 1);
    EXPECT_EQ(std::make_pair(EpldVppLevel, static_cast<int>(SupplyVoltage)), std::make_pair(127, 60));
}

// The programming loop: a cell needing k pulses gets k + F x k; a byte
// already right gets none; a cell that never takes stops the walk after
// 100 + F x 100 pulses with its fuse as fail address.
TEST_F(SignatureEpldTest, PulseCounts) {
    struct Case {
        const char* record;
        int a, c, need; // need 0: the byte already holds the data; -1: never takes
        size_t pulses;
        uint32_t failFuse;
    };
    const Case cases[] = {
        {"EPLD6482-87", 0, 0, 3, 3 + 8 * 3, 0},    {"EPLD17402-87", 0, 0, 3, 3 + 3 * 3, 0},
        {"EPLD6482-89", 0, 0, 3, 3 + 1 * 3, 0},    {"EPLD42490-88", 0, 128, 3, 3 + 8 * 3, 0},
        {"EPLD6482-87", 0, 0, 0, 0, 0},            {"EPLD6482-87", 0, 0, -1, 100 + 8 * 100, 2800},
        {"EPLD42490-88", 0, 128, -1, 900, 38720},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.record) + " " + std::to_string(c.need));
        sim::UvEpldChip* chip = Seat(c.record);
        if (c.need > 0) chip->NeedPulses(c.a, c.c, c.need);
        if (c.need == 0) chip->SetByte(c.a, c.c, 0xFF);
        if (c.need < 0) chip->StickCell(sim::UvEpldChip::CellOf(c.a, c.c, 7));
        LoadFuses(std::vector<uint8_t>(DeviceSize, 1), FuseRowLength);
        VerifyAfterProgram = 0;
        EXPECT_EQ(Run(OpProgram), c.need < 0 ? -1 : 1) << LogText();
        EXPECT_EQ(PulsesAt(chip, c.a, c.c), c.pulses);
        if (c.need < 0) {
            char line[64];
            std::snprintf(line, sizeof line, " Fail address : %u(%Xh)", c.failFuse, c.failFuse);
            EXPECT_TRUE(HasLine(line)) << LogText();
        }
        EXPECT_TRUE(elec->SuppliedPins().empty());
    }
}

// Blank check leaves the last two special cells out; a read finds them. A
// user break stops a read on every row with -1 and the socket powered down.
TEST_F(SignatureEpldTest, BlankCheckSpecialsAndUserBreak) {
    struct Special {
        const char* record;
        int a, c;
        uint32_t fuse;
    };
    for (const Special& s : {Special{"EPLD6482-87", 15, 40, 6480}, Special{"EPLD17402-87", 15, 72, 17401},
                             Special{"EPLD42490-89", 39, 93, 42489}}) {
        SCOPED_TRACE(s.record);
        sim::UvEpldChip* chip = Seat(s.record);
        chip->SetByte(s.a, s.c, 0x80 | 0x01);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        ClearUserMap(DeviceSize);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(GetBufferBit(s.fuse), 1u);
    }
    for (const char* name : {"EPLD6482-87", "EPLD17402-87", "EPLD42490-88"}) {
        SCOPED_TRACE(name);
        Seat(name);
        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(OpRead), -1) << LogText();
        EXPECT_TRUE(elec->SuppliedPins().empty());
    }
}

// A part that is not "ALTERA95": the signature read at 10.0 V, then VPP
// ramped to the raised level in 0.1 V steps of 10 us (12.7 V, 12.5 V on row 257).
TEST_F(SignatureEpldTest, SignatureLevelRamp) {
    for (auto [name, channel, raised] : {std::tuple{"EPLD6482-87", 3, 127}, std::tuple{"EPLD42490-88", 1, 125}}) {
        SCOPED_TRACE(name);
        Seat(name);
        simp.EnableTrace(true);
        simp.ClearTrace();
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        std::vector<std::pair<int, uint64_t>> writes;
        int selected = 1;
        for (const auto& a : simp.RegisterTrace()) {
            if (a.write && a.reg == 13) selected = (a.value & 3) + 1;
            if (a.write && a.reg == 18 && selected == channel)
                writes.emplace_back((sim::DacCodeToMillivolts(channel, a.value) + 50) / 100, a.timeUs);
        }
        simp.EnableTrace(false);
        size_t k = 0;
        while (k + 1 < writes.size() && !(writes[k].first == 100 && writes[k + 1].first == 101)) ++k;
        ASSERT_LT(k + 1, writes.size());
        for (int v = 101; v <= raised; ++v, ++k) {
            ASSERT_LT(k + 1, writes.size());
            EXPECT_NEAR(writes[k + 1].first, v, 1); // the DAC code of the calibrated level
            EXPECT_GE(writes[k + 1].second - writes[k].second, 10u);
        }
    }
}

} // namespace
