// Rows 276 and 278 end to end against the bit-plane word array model: every
// record through the driver, the fuse map, the pulse train of a word, the
// programming level by maker, secured and injected part faults.
#include <cstdio>
#include <string>
#include <tuple>

#include "engine/RowDef.h"
#include "engine/Tables.h"
#include "sim/PlaneArrayChip.h"
#include "tests/logic/PldFixture.h"

namespace {

struct PlaneRecord {
    const char* name;
    uint32_t row, fuses, rowWidth, words;
};
constexpr PlaneRecord kPlaneRecords[] = {
    {"UVPLD2048", 276, 2048, 32, 256},
    {"UVPLD1600", 278, 1600, 40, 160},
};
constexpr const char* kPlaneMaker = "GENERIC-ALGORITHM";

std::string PlaneFailLine(uint32_t n) {
    char line[64];
    std::snprintf(line, sizeof line, " Fail address : %u(%Xh)", n, n);
    return line;
}

class PlaneWordPldTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
    }
    static sim::PlaneArrayFacts FactsOf(const PlaneRecord& r) {
        const sim::PlaneArrayFacts* f = sim::FindFacts<sim::PlaneArrayFacts>(kPlaneMaker, r.name);
        EXPECT_NE(f, nullptr) << r.name;
        return f ? *f : sim::PlaneArrayFacts{};
    }
    sim::PlaneArrayChip* Seat(const PlaneRecord& r) { return Seat(r, FactsOf(r)); }
    sim::PlaneArrayChip* Seat(const PlaneRecord& r, const sim::PlaneArrayFacts& facts) {
        EXPECT_TRUE(SelectPld(kPlaneMaker, r.name)) << r.name;
        EXPECT_EQ(CurrentAlgorithm, r.row);
        EXPECT_EQ(DeviceSize, r.fuses);
        return SeatAlone<sim::PlaneArrayChip>(facts);
    }
    static std::vector<uint8_t> Programmed(const sim::PlaneArrayChip* chip) {
        std::vector<uint8_t> p(chip->CellCount());
        for (uint32_t n = 0; n < p.size(); ++n) p[n] = chip->Programmed(n) ? 1 : 0;
        return p;
    }
    static std::vector<uint8_t> Only(uint32_t count, std::initializer_list<uint32_t> fuses) {
        std::vector<uint8_t> f(count, 0);
        for (uint32_t n : fuses)
            if (n < count) f[n] = 1;
        return f;
    }
    // Row 277 has no library record (no part of the row could be named): a
    // record of the given maker built here, made current as the selection does.
    sim::PlaneArrayChip* SeatRow277(uint32_t maker, sim::PlaneArrayKind kind) {
        DeviceParameters params{};
        for (auto [field, size, value] :
             {std::tuple{FieldAlgorithm, 2u, 277u}, {FieldLogicImage, 2u, 6u}, {FieldOperationMask, 2u, 0x44Fu},
              {FieldFileFormatMask, 1u, 0x20u}, {FieldDeviceFlags, 2u, 8u}, {FieldPldPackage, 2u, 6u},
              {FieldPldDeviceSize, 4u, 2560u}, {FieldPldFuseRowLength, 2u, 40u}, {FieldReadVcc, 1u, 50u},
              {FieldReadVccLow, 1u, 50u}, {FieldReadVccHigh, 1u, 50u}})
            WriteParameterField(params, field, size, value);
        DeviceRecord record{};
        EXPECT_TRUE(MakeDeviceRecord(SectionPld, static_cast<uint8_t>(maker), "PLANE320", params, record));
        DeviceSection = SectionPld;
        EXPECT_EQ(SetCurrentDevice(record), 1);
        EXPECT_EQ(CurrentAlgorithm, 277u);
        EXPECT_EQ(DeviceSize, 2560u);
        return SeatAlone<sim::PlaneArrayChip>(sim::PlaneArrayFacts{"", "PLANE320", kind, 135});
    }
    static std::vector<uint8_t> Programmed277(const sim::PlaneArrayChip* chip) {
        std::vector<uint8_t> p(2560);
        for (uint32_t n = 0; n < p.size(); ++n) p[n] = chip->Programmed(chip->CellOfFuse(n)) ? 1 : 0;
        return p;
    }
    void ExpectProgramFails() {
        EXPECT_EQ(Run(OpProgram), -1);
        EXPECT_TRUE(HasLine("Program error!")) << LogText();
        EXPECT_TRUE(elec->SuppliedPins().empty());
    }
};

// Every record: blank check of a fresh part, program from a JEDEC file with
// the verify, read into a cleared buffer, the saved file keeps its "C"
// field; Secure with the driver's read-back (every fuse 1).
TEST_F(PlaneWordPldTest, EveryRecordThroughTheDriver) {
    for (const PlaneRecord& r : kPlaneRecords) {
        SCOPED_TRACE(r.name);
        sim::PlaneArrayChip* chip = Seat(r);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        const std::vector<uint8_t> fuses = Pattern(r.fuses, r.row);
        LoadFuses(fuses, r.rowWidth);
        VerifyAfterProgram = 1;
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        VerifyAfterProgram = 0;
        EXPECT_EQ(Programmed(chip), fuses);
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        ClearUserMap(r.fuses);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(r.fuses), fuses);
        EXPECT_EQ(ReadJedecChecksumField(FormatJedecText(nullptr, 0)), ReadJedecChecksumField(ReadText("in.jed")));
        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        EXPECT_TRUE(HasLine("Security ok!")) << LogText();
        EXPECT_TRUE(chip->Secured());
        EXPECT_EQ(Programmed(chip), fuses); // the array itself is untouched
        ClearUserMap(r.fuses);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(r.fuses), std::vector<uint8_t>(r.fuses, 1));
        EXPECT_EQ(Run(OpBlankCheck), -1);
        chip->UvErase();
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        ExpectNoViolations();
    }
}

// The bit planes: fuse 256 of row 276 is bit 1 of address 0, fuse 2047 bit 7
// of address 255; row 278's fuse 160 x k + 40 a + b is bit k of column b of
// group a. A single fuse programs that one cell alone.
TEST_F(PlaneWordPldTest, FuseMapAndCoverage) {
    struct Single {
        const PlaneRecord& r;
        uint32_t fuse;
    };
    for (const Single& s : {Single{kPlaneRecords[0], 256}, Single{kPlaneRecords[0], 2047}, Single{kPlaneRecords[1], 1599},
                            Single{kPlaneRecords[1], 160 * 3 + 40 * 2 + 39}}) {
        SCOPED_TRACE(s.fuse);
        sim::PlaneArrayChip* chip = Seat(s.r);
        LoadFuses(Only(s.r.fuses, {s.fuse}), s.r.rowWidth);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Programmed(chip), Only(s.r.fuses, {s.fuse}));
        // One word pulsed: one pulse and its over-pulse.
        EXPECT_EQ(chip->Pulses().size(), 2u);
    }
    // An all-1 map: every fuse programmed, every word pulsed once and
    // over-pulsed once (no word twice).
    for (const PlaneRecord& r : kPlaneRecords) {
        SCOPED_TRACE(r.name);
        sim::PlaneArrayChip* chip = Seat(r);
        SetUserFuses(std::vector<uint8_t>(r.fuses, 1));
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Programmed(chip), std::vector<uint8_t>(r.fuses, 1));
        EXPECT_EQ(chip->Pulses().size(), 2 * r.words);
        ExpectNoViolations();
    }
}

// A word whose cells need 19 pulses takes all 19 of 100 us and an
// over-pulse of 19 x 400 us; one that needs 20 fails after 19 without an
// over-pulse.
TEST_F(PlaneWordPldTest, PulseTrainLimit) {
    for (const PlaneRecord& r : kPlaneRecords) {
        SCOPED_TRACE(r.name);
        sim::PlaneArrayChip* chip = Seat(r);
        chip->SetPulsesNeeded(19);
        LoadFuses(Only(r.fuses, {5}), r.rowWidth);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        ASSERT_EQ(chip->Pulses().size(), 20u);
        for (size_t i = 0; i < 19; ++i) {
            EXPECT_GE(chip->Pulses()[i], 100u);
            EXPECT_LT(chip->Pulses()[i], 200u);
        }
        EXPECT_GE(chip->Pulses()[19], 19u * 400);
        EXPECT_LT(chip->Pulses()[19], 19u * 400 * 11 / 10); // the delay slot runs a little long
        EXPECT_TRUE(chip->Programmed(5));

        chip = Seat(r);
        chip->SetPulsesNeeded(20);
        LoadFuses(Only(r.fuses, {5, 7}), r.rowWidth);
        ExpectProgramFails();
        EXPECT_EQ(chip->Pulses().size(), 19u);
        EXPECT_FALSE(chip->Programmed(5));
        EXPECT_FALSE(chip->Programmed(7)); // the pass ended at the first failing word
        ExpectNoViolations();
    }
}

// A cell programmed at delivery under a buffer 0 never reads as written: 19
// pulses, then the failure with the word's fuses; the blank check names it.
TEST_F(PlaneWordPldTest, ProgrammedCellAtDelivery) {
    for (const PlaneRecord& r : kPlaneRecords) {
        SCOPED_TRACE(r.name);
        sim::PlaneArrayChip* chip = Seat(r);
        chip->SetCell(r.words + 3, 0); // bit 1 of word 3
        EXPECT_EQ(Run(OpBlankCheck), -1);
        EXPECT_TRUE(HasLine("Blank check error!")) << LogText();
        EXPECT_TRUE(HasLine(PlaneFailLine(r.words + 3))) << LogText();
        LoadFuses(Only(r.fuses, {3}), r.rowWidth);
        ExpectProgramFails();
        EXPECT_EQ(chip->Pulses().size(), 19u);
        ExpectNoViolations();
    }
}

// Row 276 programs at 14.0 V for AMD and at 13.5 V for any other maker; a
// part that needs the other level takes nothing. Row 278 keeps 13.5 V.
TEST_F(PlaneWordPldTest, ProgrammingLevelByMaker) {
    const PlaneRecord& r = kPlaneRecords[0];
    sim::PlaneArrayFacts amdPart = FactsOf(r);
    amdPart.vppTenths = 140;
    sim::PlaneArrayChip* chip = Seat(r, amdPart);
    LoadFuses(Only(r.fuses, {9}), r.rowWidth);
    ExpectProgramFails();
    EXPECT_FALSE(chip->Programmed(9));

    chip = Seat(r, amdPart);
    MakerIndex = MakerAmd; // an AMD part of the row
    LoadFuses(Only(r.fuses, {9}), r.rowWidth);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_TRUE(chip->Programmed(9));
    EXPECT_EQ(Run(OpSecurity), 1) << LogText();
    EXPECT_TRUE(chip->Secured());

    chip = Seat(r);
    MakerIndex = MakerAmd;
    LoadFuses(Only(r.fuses, {9}), r.rowWidth);
    ExpectProgramFails();
    EXPECT_FALSE(chip->Programmed(9));

    const PlaneRecord& r278 = kPlaneRecords[1];
    chip = Seat(r278);
    MakerIndex = MakerAmd;
    LoadFuses(Only(r278.fuses, {9}), r278.rowWidth);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_TRUE(chip->Programmed(9));
    ExpectNoViolations();
}

// Row 277 for SAMSUNG and AMD: blank check, program with the verify, read
// into a cleared buffer, Secure with the driver's read-back. AMD's five
// column pins reach 32 columns: its fuse map repeats columns 0-7 in 32-39.
TEST_F(PlaneWordPldTest, Row277ByMaker) {
    for (uint32_t maker : {uint32_t{MakerSamsung}, uint32_t{MakerAmd}}) {
        SCOPED_TRACE(maker);
        const bool amd = maker == MakerAmd;
        sim::PlaneArrayChip* chip =
            SeatRow277(maker, amd ? sim::PlaneArrayKind::Plane320x8Amd : sim::PlaneArrayKind::Plane320x8Samsung);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        std::vector<uint8_t> fuses = Pattern(2560, maker);
        if (amd) {
            for (uint32_t n = 0; n < 2560; ++n)
                if (n % 40 >= 32) fuses[n] = fuses[n - 32];
        }
        LoadFuses(fuses, 40);
        VerifyAfterProgram = 1;
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        VerifyAfterProgram = 0;
        EXPECT_EQ(Programmed277(chip), fuses);
        ClearUserMap(2560);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(2560), fuses);
        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        EXPECT_TRUE(HasLine("Security ok!")) << LogText();
        EXPECT_TRUE(chip->Secured());
        ExpectNoViolations();
    }
    // A map with a fuse of column 35 that column 3 lacks cannot go into an
    // AMD part: column 35 programs column 3, and the verify finds fuse 3.
    sim::PlaneArrayChip* chip = SeatRow277(MakerAmd, sim::PlaneArrayKind::Plane320x8Amd);
    LoadFuses(Only(2560, {35}), 40);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_TRUE(chip->Programmed(3));
    EXPECT_EQ(Run(OpVerify), -1);
    EXPECT_TRUE(HasLine(PlaneFailLine(3))) << LogText();
    ExpectNoViolations();
}

// Row 277's map, fuse = bit x 320 + row x 40 + column, by place on the
// part: each fuse lands on its row, column (AMD: modulo 32) and bit, the
// only cell programmed.
TEST_F(PlaneWordPldTest, Row277FusePlaces) {
    struct Spot {
        uint32_t fuse;
        int row, column, bit;
    };
    for (uint32_t maker : {uint32_t{MakerSamsung}, uint32_t{MakerAmd}}) {
        const bool amd = maker == MakerAmd;
        for (const Spot& s : {Spot{0, 0, 0, 0}, Spot{41, 1, 1, 0}, Spot{359, 0, 39, 1}, Spot{1000, 1, 0, 3},
                              Spot{2559, 7, 39, 7}}) {
            SCOPED_TRACE(std::to_string(maker) + " fuse " + std::to_string(s.fuse));
            sim::PlaneArrayChip* chip =
                SeatRow277(maker, amd ? sim::PlaneArrayKind::Plane320x8Amd : sim::PlaneArrayKind::Plane320x8Samsung);
            // AMD's map repeats columns 0-7 in 32-39: the twin fuse goes with it.
            const uint32_t twin = s.column < 8 ? s.fuse + 32 : s.column >= 32 ? s.fuse - 32 : s.fuse;
            SetUserFuses(Only(2560, {s.fuse, amd ? twin : s.fuse}));
            EXPECT_EQ(Run(OpProgram), 1) << LogText();
            EXPECT_TRUE(chip->ProgrammedAt(s.row, amd ? s.column % 32 : s.column, s.bit));
            uint32_t programmed = 0;
            for (uint32_t n = 0; n < chip->CellCount(); ++n) programmed += chip->Programmed(n) ? 1 : 0;
            EXPECT_EQ(programmed, 1u);
            ExpectNoViolations();
        }
    }
}

// AMD's arrays read at 5.5 V whatever the record's read VCC (5.0 V);
// SAMSUNG's at the read VCC (the supply lands within 0.1 V of what is asked).
TEST_F(PlaneWordPldTest, Row277SupplyByMaker) {
    sim::PlaneArrayChip* chip = SeatRow277(MakerAmd, sim::PlaneArrayKind::Plane320x8Amd);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_NEAR(chip->ReadVccLow(), 55, 1);
    EXPECT_NEAR(chip->ReadVccHigh(), 55, 1);
    chip = SeatRow277(MakerSamsung, sim::PlaneArrayKind::Plane320x8Samsung);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_NEAR(chip->ReadVccLow(), 50, 1);
    EXPECT_NEAR(chip->ReadVccHigh(), 50, 1);
    ExpectNoViolations();
}

// Row 277 of any maker but AMD and SAMSUNG has no address pins: every entry
// says so and fails with nothing powered; the librarian refuses its record.
TEST_F(PlaneWordPldTest, Row277OtherMakerRefused) {
    sim::PlaneArrayChip* chip = SeatRow277(MakerCypress, sim::PlaneArrayKind::Plane320x8Samsung);
    LoadFuses(Only(2560, {1}), 40);
    for (int op : {OpBlankCheck, OpProgram, OpRead, OpVerify, OpSecurity}) {
        SCOPED_TRACE(op);
        EXPECT_EQ(Run(op), -1);
        EXPECT_TRUE(HasLine(" Device not supported!")) << LogText();
        EXPECT_EQ(DatumLines(), "");
        EXPECT_TRUE(elec->SuppliedPins().empty());
    }
    EXPECT_TRUE(chip->Pulses().empty());
    EXPECT_FALSE(chip->Secured());
    const RowDef* def = RowDefinition(277);
    ASSERT_NE(def, nullptr);
    auto refusal = [&](uint32_t maker) {
        RowRecordFacts r;
        r.Maker = maker;
        return RowRecordRefusal(*def, r);
    };
    EXPECT_EQ(refusal(MakerAmd), "");
    EXPECT_EQ(refusal(MakerSamsung), "");
    EXPECT_NE(refusal(MakerCypress), "");
    EXPECT_NE(refusal(MakerTexasInstruments), "");
    ExpectNoViolations();
}

// ESC answered No during a read walk ends it as a failure, powered down.
TEST_F(PlaneWordPldTest, UserBreakInReadWalk) {
    for (const PlaneRecord& r : kPlaneRecords) {
        SCOPED_TRACE(r.name);
        Seat(r);
        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(OpRead), -1) << LogText();
        EXPECT_TRUE(HasLine("Read error!")) << LogText();
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
}

} // namespace
