// Row 225 end to end against the GAL6001-type chip model: the driver's
// operations on both records, the voltages and widths the signature's code
// sets, refusals of unknown types and codes, injected faults, the erase
// count kept in the signature row and the fuse mapper's positions.
#include "logic/Gal6001.h"
#include "sim/Gal6001Chip.h"
#include "tests/logic/PldFixture.h"

namespace {

class Gal6001Test : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
    }
    static sim::Gal6001Facts G6Facts(const char* name) {
        return *sim::FindFacts<sim::Gal6001Facts>("LATTICE", name);
    }
    sim::Gal6001Chip* G6Seat(const sim::Gal6001Facts& f) {
        EXPECT_TRUE(SelectPld(f.maker, f.name));
        return SeatAlone<sim::Gal6001Chip>(f);
    }
    sim::Gal6001Chip* G6Seat(const char* name) { return G6Seat(G6Facts(name)); }
    static size_t G6Count(const sim::Gal6001Chip* chip, sim::Gal6001Chip::Act act) {
        size_t n = 0;
        for (const auto& s : chip->Strobes()) n += s.act == act;
        return n;
    }
    // A code-5 part: timing fields (erase index, pulse index, programming
    // and read voltage indexes) and what its cells need.
    static sim::Gal6001Facts G6Code5(uint32_t erase, uint32_t pulse, uint32_t program, uint32_t read) {
        sim::Gal6001Facts f = G6Facts("GAL6001");
        f.signature[1] = 5;
        f.signature[4] = static_cast<uint8_t>(1 | erase << 2 | (pulse & 7) << 5);
        f.signature[5] = static_cast<uint8_t>(pulse >> 3 | program << 1 | (read & 3) << 6);
        f.signature[6] = static_cast<uint8_t>(read >> 2);
        return f;
    }
};

// Both records through the driver: blank check, program from a JEDEC file,
// verify, read back equal (the saved file keeps its "C" field), erase with
// the driver's blank check; Secure sets the security cell with no check
// after it (the power-up clears ReadBackAfterSecure).
TEST_F(Gal6001Test, BothRecordsThroughTheDriver) {
    for (const char* name : {"GAL6001", "GAL6002"}) {
        SCOPED_TRACE(name);
        sim::Gal6001Chip* chip = G6Seat(name);
        EXPECT_EQ(CurrentAlgorithm, 225u);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        const std::vector<uint8_t> fuses = Pattern(DeviceSize, DeviceSize);
        ExpectRoundTripThenErase(fuses, FuseRowLength, [&] { return Cells(chip, DeviceSize); });
        EXPECT_TRUE(chip->Blank());
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        chip->ClearStrobes();
        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        EXPECT_TRUE(HasLine("Security ok!")) << LogText();
        EXPECT_TRUE(chip->Secured());
        EXPECT_EQ(ReadBackAfterSecure, 0u);
        EXPECT_EQ(G6Count(chip, sim::Gal6001Chip::Act::Load), 1u); // the signature only: no check after
        EXPECT_EQ(G6Count(chip, sim::Gal6001Chip::Act::Program), 1u);
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
}

// The voltage code sets the programming voltage and pulse at the chip (codes
// 1 and 2, and code 5 from its fields), the read edit voltage of a verify,
// and the erase width.
TEST_F(Gal6001Test, VoltagesAndWidthsByCode) {
    struct Case {
        sim::Gal6001Facts facts;
        int programTenths, readTenths;
        uint32_t pulseUs, eraseUs;
    };
    sim::Gal6001Facts code2 = G6Facts("GAL6001");
    code2.signature[1] = 2;
    const Case cases[] = {
        {G6Facts("GAL6001"), 157, 120, 80000, 100000},
        {code2, 165, 120, 10000, 100000},
        {G6Facts("GAL6002"), 165, 120, 10000, 100000},
        // Erase index 4 (200 ms), pulse index 9 (70 ms), 16.0 V and 11.5 V.
        {G6Code5(4, 9, 22, 13), 160, 115, 70000, 200000},
        // Erase index 0 (10 ms), pulse index 13 (200 ms), 20.0 V and 12.5 V.
        {G6Code5(0, 13, 30, 15), 200, 125, 200000, 10000},
    };
    for (Case c : cases) {
        SCOPED_TRACE(std::to_string(c.facts.signature[1]) + " " + std::to_string(c.programTenths));
        c.facts.programTenths = c.programTenths;
        c.facts.readEditTenths = c.readTenths;
        c.facts.pulseUs = c.pulseUs;
        c.facts.eraseUs = c.eraseUs;
        sim::Gal6001Chip* chip = G6Seat(c.facts);
        const std::vector<uint8_t> fuses = Pattern(DeviceSize, 3);
        LoadFuses(fuses, FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Cells(chip, DeviceSize), fuses);
        size_t writes = 0;
        for (const auto& s : chip->Strobes()) {
            if (s.act != sim::Gal6001Chip::Act::Program) continue;
            ++writes;
            EXPECT_NEAR(s.editTenths, c.programTenths, 1);
            EXPECT_GE(s.widthUs, c.pulseUs);
            EXPECT_LT(s.widthUs, c.pulseUs + 2000);
        }
        EXPECT_EQ(writes, 78u + 1 + 64 + 1);
        chip->ClearStrobes();
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        for (const auto& s : chip->Strobes()) {
            if (s.row != 96) {
                EXPECT_NEAR(s.editTenths, c.readTenths, 1);
            }
        }
        chip->ClearStrobes();
        BlankCheckAfterErase = 0;
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        EXPECT_TRUE(chip->Blank());
        ASSERT_EQ(G6Count(chip, sim::Gal6001Chip::Act::Erase), 1u);
        for (const auto& s : chip->Strobes()) {
            if (s.act == sim::Gal6001Chip::Act::Erase) {
                EXPECT_LT(s.widthUs, c.eraseUs + 2000);
            }
        }
        ExpectNoViolations();
    }
}

// Refused before any fuse: type code 42h with " Incorrect device ID"; a
// voltage code without timing, and code-5 fields past their lists (erase
// index 7, pulse index 14 or 15, voltage index 31), silently. Erase and
// Secure return -1 as well, without a pulse; no run names a fuse.
TEST_F(Gal6001Test, UnknownTypeAndCodesRefused) {
    struct Case {
        const char* what;
        sim::Gal6001Facts facts;
        bool message;
    };
    sim::Gal6001Facts type42 = G6Facts("GAL6001"), code3 = G6Facts("GAL6001");
    type42.signature[2] = 0x42;
    code3.signature[1] = 3;
    const Case cases[] = {{"type 42h", type42, true},
                          {"code 3", code3, false},
                          {"erase index 7", G6Code5(7, 9, 22, 7), false},
                          {"pulse index 14", G6Code5(4, 14, 22, 7), false},
                          {"pulse index 15", G6Code5(4, 15, 22, 7), false},
                          {"programming voltage index 31", G6Code5(4, 9, 31, 7), false},
                          {"read voltage index 31", G6Code5(4, 9, 22, 31), false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Gal6001Chip* chip = G6Seat(c.facts);
        LoadFuses(std::vector<uint8_t>(DeviceSize, 0), FuseRowLength);
        for (int op : {OpBlankCheck, OpProgram, OpVerify, OpErase, OpSecurity}) {
            SCOPED_TRACE(op);
            EXPECT_EQ(Run(op), -1) << LogText();
            EXPECT_EQ(HasLine(" Incorrect device ID"), c.message) << LogText();
            EXPECT_EQ(DatumLines(), "") << LogText();
            EXPECT_TRUE(elec->SuppliedPins().empty());
        }
        for (const auto& s : chip->Strobes()) EXPECT_EQ(s.act, sim::Gal6001Chip::Act::Load);
        EXPECT_EQ(chip->Strobes().size(), 5u); // one signature read a run
        EXPECT_TRUE(chip->Blank());
        EXPECT_FALSE(chip->Secured());
        ExpectNoViolations();
    }
}

// Both records' parts answering another type code: each run ends at
// " Incorrect device ID", nothing written.
TEST_F(Gal6001Test, AnotherTypeEndsTheRunAtItsLine) {
    for (const char* name : {"GAL6001", "GAL6002"}) {
        SCOPED_TRACE(name);
        sim::Gal6001Chip* chip = G6Seat(name);
        LoadFuses(Pattern(DeviceSize, 7), FuseRowLength);
        ExpectIdentityRefusedAtItsLine(chip, " Incorrect device ID");
        EXPECT_EQ(G6Count(chip, sim::Gal6001Chip::Act::Program), 0u);
    }
}

// A cell that never programs: Program's inline verify stops on its row (no
// later row written) and names the fuse; ESC answered No stops a blank
// check (the progress check polls every fuse) but not Program (it runs
// without it).
TEST_F(Gal6001Test, InjectedFaultsAndBreaks) {
    sim::Gal6001Chip* chip = G6Seat("GAL6001");
    std::vector<uint8_t> fuses(DeviceSize, 1);
    fuses[1001] = 0; // term 8, OR cell 11: the terms walk's row 63 - 8
    chip->StickCell(1001);
    LoadFuses(fuses, FuseRowLength);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine("Program error!")) << LogText();
    EXPECT_TRUE(HasLine(" Fail address : 1001(3E9h)")) << LogText();
    EXPECT_EQ(G6Count(chip, sim::Gal6001Chip::Act::Program), 78u + 1 + 56); // inputs, UES, terms 63..8
    EXPECT_TRUE(elec->SuppliedPins().empty());

    chip = G6Seat("GAL6001");
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpBlankCheck), -1) << LogText();
    EXPECT_TRUE(elec->SuppliedPins().empty());

    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    LoadFuses(Pattern(DeviceSize, 9), FuseRowLength);
    Run(OpProgram);
    EXPECT_EQ(Cells(chip, DeviceSize), Pattern(DeviceSize, 9)); // every row written
    ExpectNoViolations();
}

// Erase of a variant-0 part of code 1 or 2 writes the signature row back
// with the erase count raised, held at 127; the 6002 and code-5 parts keep
// their signature row as it was.
TEST_F(Gal6001Test, EraseCountInTheSignatureRow) {
    struct Case {
        const char* name;
        uint8_t code, count, after;
        bool rewritten;
    };
    for (const Case& c : {Case{"GAL6001", 1, 5, 6, true}, Case{"GAL6001", 2, 126, 127, true},
                          Case{"GAL6001", 1, 127, 127, true}, Case{"GAL6002", 2, 5, 5, false},
                          Case{"GAL6001", 5, 5, 5, false}}) {
        SCOPED_TRACE(std::string(c.name) + " code " + std::to_string(c.code) + " count " + std::to_string(c.count));
        sim::Gal6001Facts f = c.code == 5 ? G6Code5(3, 10, 17, 14) : G6Facts(c.name);
        if (c.code == 5) {
            f.programTenths = 135;
            f.readEditTenths = 120;
            f.pulseUs = 80000;
        }
        f.signature[1] = c.code;
        f.signature[0] = c.count;
        if (c.code == 2) f.programTenths = 165, f.pulseUs = 10000;
        sim::Gal6001Chip* chip = G6Seat(f);
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        EXPECT_TRUE(HasLine("Erase ok!")) << LogText();
        EXPECT_EQ(chip->SignatureByte(0), c.after);
        EXPECT_EQ(chip->SignatureByte(1), c.code);
        EXPECT_EQ(chip->SignatureByte(2), f.signature[2]);
        EXPECT_EQ(chip->SignatureByte(3), 0xA1);
        size_t rowWrites = 0;
        for (const auto& s : chip->Strobes()) rowWrites += s.act == sim::Gal6001Chip::Act::Program && s.row == 96;
        EXPECT_EQ(rowWrites, c.rewritten ? 1u : 0u);
        ExpectNoViolations();
    }
}

// Golden positions: one cell cleared on the part reads back at its own
// JEDEC number and nowhere else (the AND and OR cells of a term, the input
// planes, the architecture chain of both widths, the UES row).
TEST_F(Gal6001Test, GoldenFusePositions) {
    const std::vector<uint32_t> common{0, 77, 78, 113, 114, 7295, 7296, 8075, 8076, 8153, 8154, 8155, 8156,
                                       8177, 8178, 8179, 8180, 8181, 8214, 8215, 8216, 8217, 8218, 8219};
    struct Case {
        const char* name;
        std::vector<uint32_t> extra;
    };
    for (const Case& c : {Case{"GAL6001", {8220, 8221, 8222, 8293}},
                          Case{"GAL6002", {8220, 8237, 8238, 8255, 8256, 8257, 8258, 8329}}}) {
        std::vector<uint32_t> fuses = common;
        fuses.insert(fuses.end(), c.extra.begin(), c.extra.end());
        for (uint32_t f : fuses) {
            SCOPED_TRACE(std::string(c.name) + " fuse " + std::to_string(f));
            sim::Gal6001Chip* chip = G6Seat(c.name);
            chip->SetCell(f, 0);
            ClearUserMap(DeviceSize);
            EXPECT_EQ(Run(OpRead), 1) << LogText();
            for (uint32_t n = 0; n < DeviceSize; ++n) ASSERT_EQ(GetBufferBit(n), n == f ? 0u : 1u) << n;
        }
    }
}

} // namespace
