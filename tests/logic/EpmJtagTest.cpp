// Row 297 against the JTAG EPM chip model: every record through the driver
// with POF and JEDEC files, identification, the addresses each entry writes,
// the read traffic, both verify passes against a weak cell, and faults.
#include <cstdio>
#include <string>
#include <vector>

#include "engine/RowDef.h"
#include "sim/EpmJtagChip.h"
#include "tests/logic/PldFixture.h"

namespace {

constexpr const char* kJtagEpmMaker = "ALTERA";

struct JtagEpmRecord {
    const char* name;
    uint32_t fuses;
};
constexpr JtagEpmRecord kJtagEpmRecords[] = {
    {"EPM7032AELC44", 15106}, {"EPM3032ALC44", 14672}, {"EPM7032AELI44", 15033}, {"EPM3032ALI44", 15074},
    {"EPM7064AELC44", 30609}, {"EPM3064ALC44", 29488}, {"EPM7064AELI44", 30746},
};

class EpmJtagTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
    }
    static sim::EpmJtagFacts JtagEpmFacts(const char* name) {
        return *sim::FindFacts<sim::EpmJtagFacts>(kJtagEpmMaker, name);
    }
    sim::EpmJtagChip* SeatJtagEpm(const char* name) { return SeatJtagEpm(name, JtagEpmFacts(name)); }
    sim::EpmJtagChip* SeatJtagEpm(const char* name, const sim::EpmJtagFacts& f) {
        EXPECT_TRUE(SelectPld(kJtagEpmMaker, name)) << name;
        return SeatAlone<sim::EpmJtagChip>(f);
    }
    // The numbers between the closing cells of sub-variant 2 have no cell.
    static std::vector<uint8_t> JtagEpmPattern(uint32_t fuses, uint32_t seed) {
        std::vector<uint8_t> f = Pattern(fuses, seed);
        if (fuses == 15033)
            for (uint32_t n = 15009; n <= 15015; ++n) f[n] = 0;
        if (fuses == 30609)
            for (uint32_t n = 30585; n <= 30591; ++n) f[n] = 0;
        return f;
    }
    static std::string JtagEpmFailLine(uint32_t fuse) {
        char line[64];
        std::snprintf(line, sizeof line, " Fail address : %u(%Xh)", fuse, fuse);
        return line;
    }
    static size_t Count(const sim::EpmJtagChip* chip, uint32_t instruction) {
        size_t n = 0;
        for (const auto& e : chip->Events()) n += e.instruction == instruction;
        return n;
    }
};

// Blank check; program from a POF file, verify, read into a cleared buffer
// and save the same POF bytes; program from a JEDEC file (the "C" field
// kept); erase with the driver's blank check; Secure with the driver's
// read-back.
TEST_F(EpmJtagTest, EveryRecordThroughTheDriver) {
    for (const JtagEpmRecord& r : kJtagEpmRecords) {
        SCOPED_TRACE(r.name);
        sim::EpmJtagChip* chip = SeatJtagEpm(r.name);
        EXPECT_EQ(CurrentAlgorithm, 297u);
        EXPECT_EQ(DeviceSize, r.fuses);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();

        const std::vector<uint8_t> fuses = JtagEpmPattern(r.fuses, r.fuses);
        SetUserFuses(fuses);
        ASSERT_EQ(SavePofFile("in.pof"), 1);
        ClearUserMap(r.fuses);
        ASSERT_EQ(LoadPofFile("in.pof"), 1);
        const std::string pof = FormatPofFile();
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        ClearUserMap(r.fuses);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(r.fuses), fuses);
        EXPECT_EQ(FormatPofFile(), pof);

        EXPECT_EQ(Run(OpErase), 1) << LogText();
        EXPECT_TRUE(HasLine("Erase ok!")) << LogText();
        const std::vector<uint8_t> other = JtagEpmPattern(r.fuses, r.fuses + 9);
        LoadFuses(other, FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        ClearUserMap(r.fuses);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(r.fuses), other);
        EXPECT_EQ(ReadJedecChecksumField(FormatJedecText(nullptr, 0)), ReadJedecChecksumField(ReadText("in.jed")));

        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        EXPECT_TRUE(HasLine("Security ok!")) << LogText();
        EXPECT_TRUE(chip->Locked());
        EXPECT_FALSE(chip->InIsp());
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
}

// Where the user map lands on the part, written from the row's field
// calls: (address, word position) of chosen fuses. The logic array of every
// record; the macrocells and I/O cells of the two sub-variant-2 parts.
struct JtagEpmPlace {
    int address, position;
    uint32_t fuse;
};
std::vector<JtagEpmPlace> JtagEpmPlaces(int variant, int subVariant) {
    std::vector<JtagEpmPlace> v;
    auto column = [&](uint32_t user, int position) {
        for (int i = 0; i < 88; ++i) v.push_back({2 + i, position, user + static_cast<uint32_t>(i)});
    };
    if (variant == 0) {
        for (int rr = 0; rr <= 79; ++rr) column(static_cast<uint32_t>(88 * rr), rr);
        for (int rr = 103; rr <= 182; ++rr) column(static_cast<uint32_t>(7040 + 88 * (rr - 103)), rr);
    } else {
        for (int rr = 0; rr <= 79; ++rr) column(static_cast<uint32_t>(7040 + 88 * rr), rr);
        for (int rr = 80; rr <= 159; ++rr) column(static_cast<uint32_t>(88 * (rr - 80)), rr);
        for (int rr = 200; rr <= 359; ++rr) column(static_cast<uint32_t>(14080 + 88 * (rr - 200)), rr);
    }
    if (subVariant != 2) return v;
    // Kind 2 runs along the word, kind 3 down it.
    auto run = [&](uint32_t user, int address, int position, int n, int step) {
        for (int k = 0; k < n; ++k) v.push_back({address, position + step * k, user + static_cast<uint32_t>(k)});
    };
    const int cellsPerBlock = 16, blocks = variant == 0 ? 2 : 4;
    const int macroOffset[4] = {variant == 0 ? 0 : 80, variant == 0 ? 103 : 0, 200, 280};
    const int ioOffset[4] = {variant == 0 ? 1 : 81, variant == 0 ? 104 : 1, 201, 281};
    const uint32_t macro = variant == 0 ? 14080 : 28160, io = variant == 0 ? 14814 : 30198;
    for (int i = 0; i < cellsPerBlock * blocks; ++i) {
        const int q = 5 * (i % 16) + macroOffset[i / 16];
        run(macro + 13 * i, 90, q, 5, 1);
        run(macro + 13 * i + 5, 91, q, 5, 1);
        run(macro + 13 * i + 10, 92, q, 3, 1);
        const int w = 5 * (i % 16) + ioOffset[i / 16];
        run(io + 6 * i, 94, w, 2, -1);
        run(io + 6 * i + 2, 93, w + 3, 1, 1);
        run(io + 6 * i + 3, 93, w - 1, 3, 1);
    }
    return v;
}

// No user map reaches the security bit of address 1: an all-0 map leaves
// every part open.
TEST_F(EpmJtagTest, NoFuseMapSecuresThePart) {
    for (const JtagEpmRecord& r : kJtagEpmRecords) {
        SCOPED_TRACE(r.name);
        sim::EpmJtagChip* chip = SeatJtagEpm(r.name);
        LoadFuses(std::vector<uint8_t>(r.fuses, 0), FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_FALSE(chip->Locked());
    }
}

// A map programmed through the driver lands on the part's words where the
// field calls place each chosen fuse.
TEST_F(EpmJtagTest, FusesLandWhereThePartPlacesThem) {
    for (const JtagEpmRecord& r : kJtagEpmRecords) {
        SCOPED_TRACE(r.name);
        sim::EpmJtagChip* chip = SeatJtagEpm(r.name);
        const std::vector<JtagEpmPlace> places =
            JtagEpmPlaces(static_cast<int>(DeviceVariant), static_cast<int>(DeviceSubVariant));
        const std::vector<uint8_t> map = JtagEpmPattern(r.fuses, r.fuses + 11);
        LoadFuses(map, FuseRowLength);
        ASSERT_EQ(Run(OpProgram), 1) << LogText();
        int wrong = 0;
        for (const JtagEpmPlace& p : places)
            if (chip->Cell(chip->CellAt(p.address, p.position)) != map[p.fuse] && ++wrong <= 5)
                ADD_FAILURE() << "fuse " << p.fuse << " not at address " << p.address << " position " << p.position;
        EXPECT_EQ(wrong, 0);
    }
}

// Fault mended: the numbers between the sub-variant-2 closing cells have no
// cell and read 0 (a read used to leave whatever the buffer held); a map
// setting one is refused before the part is powered, naming the fuse.
TEST_F(EpmJtagTest, CelllessFusesAreFixedAtZero) {
    for (const JtagEpmRecord& r : {kJtagEpmRecords[2], kJtagEpmRecords[4]}) {
        SCOPED_TRACE(r.name);
        sim::EpmJtagChip* chip = SeatJtagEpm(r.name);
        const uint32_t first = r.fuses == 15033 ? 15009 : 30585;
        std::vector<uint8_t> fuses = JtagEpmPattern(r.fuses, 4);
        fuses[first + 3] = 1;
        LoadFuses(fuses, FuseRowLength);
        EXPECT_EQ(Run(OpProgram), -1);
        char line[80];
        std::snprintf(line, sizeof line, " Fuse %u is fixed at 0 on this device; the file sets 1.", first + 3);
        EXPECT_TRUE(HasLine(line)) << LogText();
        std::snprintf(line, sizeof line, " Fail address : %u(%Xh)", first + 3, first + 3);
        EXPECT_TRUE(HasLine(line)) << LogText();
        EXPECT_TRUE(chip->Events().empty());
        fuses[first + 3] = 0;
        LoadFuses(fuses, FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        SetUserFuses(std::vector<uint8_t>(r.fuses, 1));
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(r.fuses), fuses);
    }
}

// Addresses written: Program 2-94 in order then 0 (the configuration bit
// alone), never 1; Secure address 1 (the security bit alone); Erase keeps
// the identification. The address register is loaded once per read pass.
TEST_F(EpmJtagTest, AddressesEachEntryWrites) {
    for (const char* name : {"EPM7032AELI44", "EPM7064AELC44"}) {
        SCOPED_TRACE(name);
        sim::EpmJtagChip* chip = SeatJtagEpm(name);
        const int config = DeviceVariant == 0 ? 82 : 180;
        const int security = DeviceVariant == 0 ? 83 : 179;
        std::vector<int> id;
        for (int p = 0; p < chip->Bits(); ++p) id.push_back(chip->Cell(chip->CellAt(1, p)));
        LoadFuses(std::vector<uint8_t>(DeviceSize, 0), FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        std::vector<int> programmed, expected;
        for (const auto& e : chip->Events())
            if (e.instruction == 18) {
                EXPECT_TRUE(e.applied);
                programmed.push_back(e.address);
            }
        for (int a = 2; a <= 94; ++a) expected.push_back(a);
        expected.push_back(0);
        EXPECT_EQ(programmed, expected);
        for (int p = 0; p < chip->Bits(); ++p) {
            EXPECT_EQ(chip->Cell(chip->CellAt(0, p)), p == config ? 0 : 1) << p;
            EXPECT_EQ(chip->Cell(chip->CellAt(1, p)), id[static_cast<size_t>(p)]) << p;
        }
        chip->ClearLog();
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(Count(chip, 14), 2u); // the identification, then the read
        EXPECT_EQ(Count(chip, 22), 1u + 93u);
        chip->ClearLog();
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        EXPECT_EQ(Count(chip, 14), 3u);
        EXPECT_EQ(Count(chip, 30), 93u);
        EXPECT_EQ(Count(chip, 26), 93u);

        chip->ClearLog();
        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        ASSERT_EQ(Count(chip, 18), 1u);
        for (int p = 0; p < chip->Bits(); ++p)
            EXPECT_EQ(chip->Cell(chip->CellAt(1, p)), p == security ? 0 : id[static_cast<size_t>(p)]) << p;
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        for (int p = 0; p < chip->Bits(); ++p) EXPECT_EQ(chip->Cell(chip->CellAt(1, p)), id[static_cast<size_t>(p)]);
        EXPECT_FALSE(chip->Locked());
        ExpectNoViolations();
    }
}

// A block without "ALTERA9" is refused in every entry; a part failing its
// identification is not erased.
TEST_F(EpmJtagTest, IdentificationRefusesAndKeepsThePart) {
    sim::EpmJtagFacts f = JtagEpmFacts("EPM7032AELC44");
    f.idText = false;
    sim::EpmJtagChip* chip = SeatJtagEpm("EPM7032AELC44", f);
    LoadFuses(std::vector<uint8_t>(DeviceSize, 0), FuseRowLength);
    for (int op : {OpBlankCheck, OpProgram, OpRead, OpErase, OpSecurity}) {
        EXPECT_EQ(Run(op), -1) << op;
        EXPECT_TRUE(HasLine(" Invalid Chip ID")) << LogText();
        EXPECT_EQ(Count(chip, 18) + Count(chip, 10), 0u);
        EXPECT_TRUE(elec->SuppliedPins().empty());
    }
    // Programmed, then its identification damaged: Erase leaves it as it is.
    chip = SeatJtagEpm("EPM7032AELC44");
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    chip->SetCell(chip->CellAt(1, 0), 1 - chip->Cell(chip->CellAt(1, 0)));
    EXPECT_EQ(Run(OpErase), -1);
    EXPECT_EQ(Count(chip, 10), 0u);
    EXPECT_EQ(chip->Cell(chip->CellAt(2, 0)), 0);
    ExpectNoViolations();
}

// Another part seated: every record ends Blank check, Program and Verify at
// " Invalid Chip ID" with no fail address after it; nothing is written and
// only address 1 is read.
TEST_F(EpmJtagTest, AnotherPartEndsTheRunAtTheIdentityLine) {
    for (const JtagEpmRecord& r : kJtagEpmRecords) {
        SCOPED_TRACE(r.name);
        sim::EpmJtagChip* chip = SeatJtagEpm(r.name);
        chip->AnswerAnotherIdentity();
        LoadFuses(JtagEpmPattern(r.fuses, 3), FuseRowLength);
        ExpectRunsEndAtIdentityLine(" Invalid Chip ID");
        for (const auto& e : chip->Events()) {
            EXPECT_NE(e.instruction, 18u);
            if (e.instruction == 22) {
                EXPECT_EQ(e.address, 1);
            }
        }
        chip->AnswerAnotherIdentity(false);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        ExpectNoViolations();
    }
}

// Injected: a weak cell passes the first verify pass (30) and fails the
// second (26) at its user fuse; a part needing a longer pulse takes
// nothing; a programmed part whose security cell never programs fails the
// driver's check after Secure; ESC in a read ends it with 3.
TEST_F(EpmJtagTest, InjectedFaults) {
    sim::EpmJtagChip* chip = SeatJtagEpm("EPM7032AELI44");
    LoadFuses(std::vector<uint8_t>(DeviceSize, 0), FuseRowLength);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    // User fuse 88 x 5 + 3 = 443: logic array row 5, address 2 + 3.
    chip->Weaken(chip->CellAt(5, 5));
    chip->ClearLog();
    EXPECT_EQ(Run(OpVerify), -1);
    EXPECT_TRUE(HasLine(JtagEpmFailLine(443))) << LogText();
    EXPECT_EQ(Count(chip, 30), 93u);
    EXPECT_EQ(Count(chip, 26), 93u);

    sim::EpmJtagFacts slow = JtagEpmFacts("EPM7064AELC44");
    slow.pulseUs = 25000;
    chip = SeatJtagEpm("EPM7064AELC44", slow);
    LoadFuses(std::vector<uint8_t>(DeviceSize, 0), FuseRowLength);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    for (const auto& e : chip->Events())
        if (e.instruction == 18) {
            EXPECT_FALSE(e.applied);
        }
    EXPECT_EQ(Run(OpVerify), -1);

    chip = SeatJtagEpm("EPM3032ALC44");
    chip->StickCell(chip->CellAt(1, 83));
    LoadFuses(std::vector<uint8_t>(DeviceSize, 0), FuseRowLength);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(Run(OpSecurity), -1);
    EXPECT_TRUE(HasLine("Security error!")) << LogText();
    EXPECT_FALSE(chip->Locked());

    SeatJtagEpm("EPM7064AELI44");
    ui.BreakAtPercent = 0;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpRead), 3);
    EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

// Fault mended: any adapter but 82, or a variant past the table, drives no
// pin, and the librarian refuses the record.
TEST_F(EpmJtagTest, UnassignedAdapterOrVariantDrivesNothing) {
    sim::EpmJtagChip* chip = SeatJtagEpm("EPM7032AELC44");
    AdapterCode = 47;
    EXPECT_EQ(Run(OpBlankCheck), -1);
    EXPECT_TRUE(HasLine(" Adapter not supported for this device")) << LogText();
    EXPECT_EQ(DatumLines(), ""); // the run ends at the line
    EXPECT_TRUE(chip->Events().empty());
    EXPECT_TRUE(elec->SuppliedPins().empty());
    SeatJtagEpm("EPM7064AELC44");
    DeviceVariant = 2;
    EXPECT_EQ(Run(OpProgram), -1);
    ExpectNoViolations();
    const RowDef* def = RowDefinition(297);
    ASSERT_NE(def, nullptr);
    auto refusal = [&](uint32_t adapter, uint32_t variant, uint32_t sub) {
        RowRecordFacts r;
        r.Adapter = adapter;
        r.Variant = variant;
        r.SubVariant = sub;
        return RowRecordRefusal(*def, r);
    };
    EXPECT_EQ(refusal(82, 1, 3), "");
    EXPECT_NE(refusal(47, 0, 0), "");
    EXPECT_NE(refusal(82, 2, 0), "");
    EXPECT_NE(refusal(82, 0, 4), "");
}

} // namespace
