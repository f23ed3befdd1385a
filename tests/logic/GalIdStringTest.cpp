// Rows 228, 243, 229, 230 and 247 end to end: the parts with an
// identification text against their parts in the simulator, refusals,
// injected faults and the edit-mode traffic.
#include "logic/GalIdString.h"
#include "sim/Catalog.h"
#include "sim/Universal.h"
#include "tests/logic/PldFixture.h"

namespace {

class GalIdStringTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 1;
    }
    const sim::GalStrobe* FirstWrite(const sim::GalChip* chip, int address) {
        for (const auto& s : chip->Strobes())
            if (s.write && s.address == address) return &s;
        return nullptr;
    }
};

struct GalIdStringPart {
    const char* maker;
    const char* name;
};

TEST_F(GalIdStringTest, EveryRecordProgramsReadsErasesAndSecures) {
    RunCycle({"ATMEL", "ATF16V8B", 2194, 32, 2056, 2048});
    RunCycle({"ATMEL", "ATF16V8C", 2194, 32, 2056, 2048});
    RunCycle({"ATMEL", "ATF16V8CZ", 2194, 32, 2056, 2048});
    RunCycle({"ATMEL", "ATF20V8B", 2706, 40, 2568, 2560});
    RunCycle({"ATMEL", "ATF22V10B", 5892, 44, 5828, 5808});
    RunCycle({"ATMEL", "ATF22V10C", 5893, 44, 5828, 5808});
    RunCycle({"ATMEL", "ATF22V10CZ", 5893, 44, 5828, 5808});
    RunCycle({"ATMEL", "ATF22LV10C", 5893, 44, 5828, 5808});
    RunCycle({"ATMEL", "ATF22LV10CZ", 5893, 44, 5828, 5808});
}

// Secure runs no read-back: the chip sees the identification and the
// security pulse only.
TEST_F(GalIdStringTest, SecureRunsNoReadBack) {
    for (const GalIdStringPart& p : {GalIdStringPart{"ATMEL", "ATF16V8B"}, GalIdStringPart{"ATMEL", "ATF16V8C"}, GalIdStringPart{"ATMEL", "ATF20V8B"},
                          GalIdStringPart{"ATMEL", "ATF22V10B"}, GalIdStringPart{"ATMEL", "ATF22V10C"}}) {
        SCOPED_TRACE(p.name);
        sim::GalChip* chip = SelectAndSeat(p.maker, p.name);
        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        EXPECT_EQ(Sequence(chip), (std::vector<std::pair<int, bool>>{{58, false}, {61, true}}));
        EXPECT_TRUE(chip->Secured());
    }
}

// 16L8, 16R8 and 20R8 files.
TEST_F(GalIdStringTest, PalTypeFilesRoundTrip) {
    PalRoundTrip("ATMEL", "ATF16V8B", 14, 0);
    PalRoundTrip("ATMEL", "ATF16V8C", 18, 0);
    PalRoundTrip("ATMEL", "ATF20V8B", 18, 1);
}

TEST_F(GalIdStringTest, UnknownIdentificationRefusesEveryOperation) {
    struct Case {
        GalIdStringPart part;
        const char* id;
        const char* line;
    };
    const Case cases[] = {
        {{"ATMEL", "ATF16V8B"}, "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFE", " Invalid Chip ID."},
        {{"ATMEL", "ATF16V8C"}, "1F16V8C1", " Invalid Chip ID."},
        {{"ATMEL", "ATF20V8B"}, "1F20V8A0", " Invalid Chip ID or Old Device."},
        {{"ATMEL", "ATF22V10B"}, "1F22V10C1", " Invalid Chip ID."},
        {{"ATMEL", "ATF22V10C"}, "1F22V10B0", " Invalid Chip ID."},
    };
    for (const Case& c : cases) {
        sim::GalPartFacts f = GalFacts(c.part.maker, c.part.name);
        f.idText = c.id;
        ExpectRefusedEverywhere(f, c.line);
    }
}

// Every record's part answering another text: each run ends at the row's line.
TEST_F(GalIdStringTest, AnotherTextEndsTheRunAtItsLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"ATF16V8B", " Invalid Chip ID."},   {"ATF16V8C", " Invalid Chip ID."},
        {"ATF16V8CZ", " Invalid Chip ID."},  {"ATF20V8B", " Invalid Chip ID or Old Device."},
        {"ATF22V10B", " Invalid Chip ID."},  {"ATF22V10C", " Invalid Chip ID."},
        {"ATF22V10CZ", " Invalid Chip ID."}, {"ATF22LV10C", " Invalid Chip ID."},
        {"ATF22LV10CZ", " Invalid Chip ID."},
    };
    for (const auto& [name, line] : cases) {
        SCOPED_TRACE(name);
        sim::GalChip* chip = SelectAndSeat("ATMEL", name);
        LoadFuses(Pattern(DeviceSize, 4), FuseRowLength);
        ExpectIdentityRefusedAtItsLine(chip, line);
        EXPECT_EQ(Writes(chip), 0u);
    }
}

TEST_F(GalIdStringTest, CellThatNeverProgramsFailsVerifyAtItsFuse) {
    for (const char* name : {"ATF16V8B", "ATF16V8C", "ATF20V8B", "ATF22V10B", "ATF22V10C"})
        ExpectStuckCellFailsVerify("ATMEL", name);
}

// The row-229 part may give its text in the other bit order.
TEST_F(GalIdStringTest, Row229AcceptsEitherBitOrder) {
    static char reversed[9] = {};
    const char* text = "1F20V8B0";
    for (int j = 0; j < 8; ++j) {
        uint8_t b = 0;
        for (int k = 0; k < 8; ++k) b = static_cast<uint8_t>(b | (((text[j] >> (7 - k)) & 1) << k));
        reversed[7 - j] = static_cast<char>(b);
    }
    for (const char* id : {text, static_cast<const char*>(reversed)}) {
        sim::GalPartFacts f = GalFacts("ATMEL", "ATF20V8B");
        f.idText = id;
        SelectAndSeat(f);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    }
}

// Row 230: the all-0, all-1 and reversed-byte identifications are taken
// and erase with 350 ms; the text one with 50 ms.
TEST_F(GalIdStringTest, Row230IdentificationsChooseTheErasePulse) {
    struct Case {
        const char* id;
        uint32_t eraseUs;
    };
    const Case cases[] = {{"1F22V10B0", 50000},
                          {"\x00\x00\x00\x00\x00\x00\x00\x00\x00", 350000},
                          {"\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 350000},
                          {"\x42\x0C\x8C\x6A\x4C\x4C\x62\x8C\x00", 350000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.eraseUs);
        sim::GalPartFacts f = GalFacts("ATMEL", "ATF22V10B");
        f.idText = c.id;
        f.eraseUs = c.eraseUs;
        sim::GalChip* chip = SelectAndSeat(f);
        LoadFuses(Pattern(5892, 4), 44);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        chip->ClearStrobes();
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        EXPECT_TRUE(chip->Blank());
        size_t erases = 0;
        for (const auto& s : chip->Strobes()) {
            if (s.write && s.widthUs > 1000) {
                ++erases;
                EXPECT_NEAR(static_cast<double>(s.widthUs), c.eraseUs, 1500.0);
            }
        }
        EXPECT_EQ(erases, 3u);
        ExpectNoViolations();
    }
}

// Row 243: the text chooses the widths; clock and data stay high into
// every row pulse.
TEST_F(GalIdStringTest, Row243WidthsAndClockHeldIntoThePulse) {
    sim::GalPartFacts f = GalFacts("ATMEL", "ATF16V8C");
    f.idText = "1F16V8Z3";
    f.pulseUs = 200000;
    f.eraseUs = 400000;
    sim::GalChip* chip = SelectAndSeat(f);
    LoadFuses(Pattern(2194, 6), 32);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(ProgramPulseWidth, 200u);
    size_t rows = 0;
    for (const auto& s : chip->Strobes()) {
        if (!s.write) continue;
        EXPECT_NEAR(static_cast<double>(s.widthUs), 200000.0, 1500.0);
        EXPECT_TRUE(s.clockHigh) << s.address;
        rows += s.address != 59;
    }
    EXPECT_EQ(rows, 34u);
    EXPECT_EQ(LastWrite(chip), 59);

    chip->ClearStrobes();
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_TRUE(chip->Blank());
    std::vector<uint64_t> archClears;
    for (const auto& s : chip->Strobes())
        if (s.write && s.address == 60) archClears.push_back(s.widthUs);
    ASSERT_EQ(archClears.size(), 2u);
    for (uint64_t w : archClears) EXPECT_NEAR(static_cast<double>(w), 2000.0, 1100.0);
    const sim::GalStrobe* erase = FirstWrite(chip, 63);
    ASSERT_NE(erase, nullptr);
    EXPECT_NEAR(static_cast<double>(erase->widthUs), 400000.0, 1500.0);
    ExpectNoViolations();
}

// Rows 228 and 229 erase at 12.5 V (address 63, 50 ms) with the clear walks
// at 11.0 V; a part that needs another erase voltage stays programmed.
TEST_F(GalIdStringTest, Rows228And229EraseAtTheirVoltage) {
    for (const GalIdStringPart& p : {GalIdStringPart{"ATMEL", "ATF16V8B"}, GalIdStringPart{"ATMEL", "ATF20V8B"}}) {
        SCOPED_TRACE(p.name);
        sim::GalChip* chip = SelectAndSeat(p.maker, p.name);
        LoadFuses(Pattern(DeviceSize, 8), FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        chip->ClearStrobes();
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        size_t erases = 0;
        for (const auto& s : chip->Strobes()) {
            if (!s.write) continue;
            if (s.address == 63) {
                ++erases;
                EXPECT_NEAR(s.editTenths, 125, 1);
                EXPECT_NEAR(static_cast<double>(s.widthUs), 50000.0, 1500.0);
            } else {
                EXPECT_NEAR(s.editTenths, 110, 1);
            }
        }
        EXPECT_EQ(erases, 3u);

        sim::GalPartFacts f = GalFacts(p.maker, p.name);
        f.eraseTenths = 135;
        chip = Reseat(f);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Run(OpErase), -1) << LogText();
        EXPECT_TRUE(HasLine("Erase error!")) << LogText();
        EXPECT_FALSE(chip->Blank());
        ExpectNoViolations();
    }
}

// The row-247 parts keep the UES and the power-down fuse of the file: the
// cells hold them, a verify and a read give them back.
TEST_F(GalIdStringTest, Row247PartsHoldUesAndPowerDownFuse) {
    for (const char* name : {"ATF22V10C", "ATF22V10CZ", "ATF22LV10C", "ATF22LV10CZ"}) {
        SCOPED_TRACE(name);
        for (uint8_t powerDown : {1, 0}) {
            sim::GalChip* chip = SelectAndSeat("ATMEL", name);
            std::vector<uint8_t> fuses = Pattern(5893, 7);
            for (uint32_t n = 5828; n < 5892; ++n) fuses[n] = n % 3 != 0;
            fuses[5892] = powerDown;
            LoadFuses(fuses, 44);
            EXPECT_EQ(Run(OpProgram), 1) << LogText(); // with verify
            EXPECT_EQ(Cells(chip, 5893), fuses);
            ClearUserMap(5893);
            EXPECT_EQ(Run(OpRead), 1) << LogText();
            EXPECT_EQ(UserFuses(5893), fuses);
            ExpectNoViolations();
        }
    }
}

// Row 247 variant 0 keeps fuses 5828-5892 0 in the buffer at every open.
TEST_F(GalIdStringTest, Row247VariantClearsItsFuses) {
    sim::GalChip* chip = SelectAndSeat("ATMEL", "ATF22V10CZ");
    DeviceVariant = 0; // no part of the library has this variant
    const std::vector<uint8_t> fuses(5893, 1);
    LoadFuses(fuses, 44);
    EXPECT_EQ(Run(OpProgram), 1) << LogText(); // with verify
    for (uint32_t n = 0; n < 5893; ++n) ASSERT_EQ(GetBufferBit(n), n >= 5828 ? 0u : 1u) << n;
    for (uint32_t n = 5828; n < 5893; ++n) ASSERT_EQ(chip->Cell(n), 0) << n;
    ExpectNoViolations();
}

// Row 247: address bit 0 and the 20th architecture bit stay on SDIN for the
// strobe (five and nineteen clocks); row 230 clocks all six and twenty.
TEST_F(GalIdStringTest, SerialAddressTraffic) {
    struct Case {
        GalIdStringPart part;
        uint32_t columnClocks, archClocks;
    };
    const Case cases[] = {{{"ATMEL", "ATF22V10B"}, 138, 20}, {{"ATMEL", "ATF22V10C"}, 137, 19}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.part.name);
        sim::GalChip* chip = SelectAndSeat(c.part.maker, c.part.name);
        std::vector<uint8_t> fuses = Pattern(DeviceSize, 11);
        if (DeviceSize == 5893) fuses[5892] = 0;
        LoadFuses(fuses, 44);
        VerifyAfterProgram = 0;
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Cells(chip, DeviceSize), fuses);
        std::vector<int> columns;
        for (const auto& s : chip->Strobes()) {
            if (!s.write) continue;
            if (s.address >= 0 && s.address <= 44) {
                columns.push_back(s.address);
                if (s.address != 0) { // column 0 follows the ID read
                    EXPECT_EQ(s.clocks, c.columnClocks) << s.address;
                }
            } else if (s.address == -1) {
                EXPECT_EQ(s.clocks, c.archClocks);
            }
        }
        std::vector<int> expected(45);
        for (int k = 0; k < 45; ++k) expected[static_cast<size_t>(k)] = k;
        EXPECT_EQ(columns, expected);
        ExpectNoViolations();
    }
}

// An empty socket: with the insertion test the run stops before any entry;
// without it rows 228 and 230 take the floating identification for a part.
TEST_F(GalIdStringTest, EmptySocket) {
    for (const GalIdStringPart& p : {GalIdStringPart{"ATMEL", "ATF16V8B"}, GalIdStringPart{"ATMEL", "ATF22V10B"}}) {
        SCOPED_TRACE(p.name);
        ASSERT_TRUE(SelectPld(p.maker, p.name));
        ExpectOnlyInsertionTestStopsEmptySocket([&] {
            EXPECT_FALSE(HasLine(" Invalid Chip ID."));
            EXPECT_FALSE(simp.Violations().empty()); // the supply went onto an empty socket
        });
    }
}

} // namespace
