// Rows 255-257 against the UV EPLD chip model: every record through the
// driver, the identification tables, the programming loop's pulse counts
// and injected faults.
#include <cstring>
#include <tuple>

#include "logic/SignatureEpld.h"
#include "sim/IdMemory.h"
#include "sim/UvEpldChip.h"
#include "tests/logic/PldFixture.h"

namespace {

constexpr const char* kMaker = "ALTERA";
constexpr const char* kSecuredLine = "Incorrect Device ID or Device Is Secured!";

struct Record {
    const char* name;
    uint32_t row, fuses;
    int subType;
};
constexpr Record kRecords[] = {
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
    sim::UvEpldFacts Facts(const char* name) { return *sim::FindFacts<sim::UvEpldFacts>(kMaker, name); }
    sim::UvEpldChip* Seat(const char* name) { return Seat(name, Facts(name)); }
    sim::UvEpldChip* Seat(const char* name, const sim::UvEpldFacts& f) {
        EXPECT_TRUE(SelectPld(kMaker, name));
        return SeatAlone<sim::UvEpldChip>(f);
    }
    static size_t PulsesAt(const sim::UvEpldChip* chip, int a, int c) {
        size_t n = 0;
        for (const auto& p : chip->Pulses()) n += p.a == a && p.c == c;
        return n;
    }
};

// Blank check, program from a JEDEC file with the driver's verify, read into
// a cleared buffer (the "C" field kept), Secure answering 1 unverified, the
// secured part refused, blank again only after a long enough UV exposure.
TEST_F(SignatureEpldTest, EveryRecordThroughTheDriver) {
    for (const Record& r : kRecords) {
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
    }
}

// The identification tables: each signature (eight characters, three part
// bytes) seated on the row's part gives its sub-type, or -1 with or
// without the message; a refused "ALTERA95" never raises the level.
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
        if (c.subType >= 0) {
            EXPECT_EQ(EpldSubType, c.subType);
        } else if (!c.message && std::string(c.text) == "ALTERA95") {
            EXPECT_EQ(EpldStrobeLevel, 100); // never raised
        }
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
