// Rows 235, 236 and 237 end to end against the cycle-record chip model: the
// driver's operations, the cycle record, identification, injected faults,
// the command traffic and the bit layouts.
#include "logic/CycleRecordPld.h"
#include "sim/CycleRecordChip.h"
#include "tests/logic/PldFixture.h"

namespace {

struct Part {
    const char* name;
    uint32_t row, fuses, rowWidth;
};
const Part kParts[] = {{"PALCE16V8", 235, 2194, 32}, {"PALCE20V8", 236, 2706, 40}, {"PALCE22V10", 237, 5828, 44}};

class CycleRecordPldTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
    }
    static sim::CycleRecordFacts Facts(const char* name) {
        return *sim::FindFacts<sim::CycleRecordFacts>("CYPRESS", name);
    }
    sim::CycleRecordChip* Seat(const sim::CycleRecordFacts& f) {
        EXPECT_TRUE(SelectPld("CYPRESS", f.name));
        return SeatAlone<sim::CycleRecordChip>(f);
    }
    sim::CycleRecordChip* Seat(const char* name) { return Seat(Facts(name)); }
    static std::vector<uint8_t> ChipFuses(const sim::CycleRecordChip* chip) {
        std::vector<uint8_t> f(chip->Part().fuses);
        for (uint32_t n = 0; n < f.size(); ++n) f[n] = static_cast<uint8_t>(chip->Fuse(n));
        return f;
    }
    static size_t Loads(const sim::CycleRecordChip* chip, int command) {
        size_t n = 0;
        for (const auto& l : chip->Loads()) n += l.command == command;
        return n;
    }
    // Sets the counter (and limit) units of the part's record.
    static void SetCounter(sim::CycleRecordChip* chip, uint32_t counter, uint32_t limit) {
        const bool word = chip->Part().kind == sim::CycleRecordKind::Word22V10;
        const int unit = word ? 19 : 8;
        const uint32_t radix = word ? 1024 : 256;
        chip->SetRecordUnit(unit, counter % radix);
        chip->SetRecordUnit(unit + 1, counter / radix);
        chip->SetRecordUnit(unit + 2, limit % radix);
        chip->SetRecordUnit(unit + 3, limit / radix);
    }
};

// Every record through the driver: blank check, program from a JEDEC file,
// verify, read back equal, the saved file keeps its "C" field, erase with the
// driver's blank check, secure without a check; a secured part still erases.
TEST_F(CycleRecordPldTest, EveryRowThroughTheDriver) {
    for (const Part& p : kParts) {
        SCOPED_TRACE(p.name);
        sim::CycleRecordChip* chip = Seat(p.name);
        EXPECT_EQ(CurrentAlgorithm, p.row);
        EXPECT_EQ(DeviceSize, p.fuses);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        const std::vector<uint8_t> fuses = Pattern(p.fuses, p.row);
        ExpectRoundTripThenErase(fuses, p.rowWidth, [&] { return ChipFuses(chip); });
        EXPECT_TRUE(chip->FusesBlank());
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        chip->ClearLog();
        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        EXPECT_TRUE(HasLine("Security ok!")) << LogText();
        EXPECT_TRUE(chip->Secured());
        ASSERT_EQ(chip->Writes().size(), 1u); // row 56 only, and no read-back walk after it
        EXPECT_EQ(chip->Writes()[0].row, 56);
        EXPECT_EQ(Loads(chip, 1), 3u + (p.row != 235)); // the record rows, row 56 and the identification row

        // Secured: still identifies, reports its counters and erases.
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_TRUE(HasLine(" Cycle Counter: " + std::to_string(p.row == 235 ? 1 : p.row == 236 ? 11 : 7)));
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        EXPECT_FALSE(chip->Secured());
        ExpectNoViolations();
    }
}

// Rows 235 and 236 under PAL types from the option dialog's lists.
TEST_F(CycleRecordPldTest, PalTypesRoundTrip) {
    struct Case {
        const char* name;
        int set, index;
    };
    for (const Case c : {Case{"PALCE16V8", 0, 1}, Case{"PALCE16V8", 0, 7}, Case{"PALCE20V8", 1, 2},
                         Case{"PALCE20V8", 1, 9}}) {
        SCOPED_TRACE(std::string(c.name) + " " + PalEmulationNames[c.set][c.index]);
        PalTypeRoundTrip(Seat(c.name), c.index, c.set);
    }
}

// The record an erase writes back: the default record for a counter-0 part,
// the counter plus one, carried into the next unit.
TEST_F(CycleRecordPldTest, EraseCountsTheCycle) {
    struct Case {
        const char* name;
        uint32_t counter, limit;
        std::vector<std::pair<int, uint32_t>> units; // record unit, value after the erase
        uint32_t counterAfter;
    };
    const Case cases[] = {
        {"PALCE16V8", 0, 0, {{8, 1}, {9, 0}, {10, 100}, {11, 0}, {15, 2}}, 1},
        {"PALCE16V8", 255, 300, {{8, 0}, {9, 1}, {10, 300 % 256}, {11, 1}}, 256},
        {"PALCE20V8", 0, 0, {{8, 11}, {9, 0}, {10, 100}, {15, 0}}, 11},
        {"PALCE20V8", 40, 100, {{8, 41}, {10, 100}}, 41},
        {"PALCE22V10", 0, 0, {{19, 7}, {20, 0}, {21, 100}, {8, 513}, {17, 1022}, {18, 511}, {31, 999}, {37, 511}}, 7},
        {"PALCE22V10", 1023, 2000, {{19, 0}, {20, 1}, {21, 2000 % 1024}, {22, 1}}, 1024},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.counter));
        sim::CycleRecordChip* chip = Seat(c.name);
        SetCounter(chip, c.counter, c.limit);
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        for (auto [unit, value] : c.units) EXPECT_EQ(chip->RecordUnit(unit), value) << unit;
        EXPECT_EQ(CycleCounter, c.counterAfter);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText(); // the record is not in the fuse map
        ExpectNoViolations();
    }
}

// The byte types keep bits 4-7 of record byte 15 in row 41 too: index 3
// holds bits 4 and 5, index 4 bits 6 and 7 (the lower bit of the record in
// the higher bit of the unit).
TEST_F(CycleRecordPldTest, EraseWritesRecordByte15IntoRow41) {
    for (const char* name : {"PALCE16V8", "PALCE20V8"}) {
        for (uint32_t byte15 : {0x90u, 0x60u}) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(byte15));
            sim::CycleRecordChip* chip = Seat(name);
            SetCounter(chip, 5, 100);
            chip->SetRecordUnit(15, byte15);
            EXPECT_EQ(Run(OpErase), 1) << LogText();
            EXPECT_EQ(chip->RecordUnit(15), byte15);
            const auto bit = [&](int b) { return (byte15 >> b) & 1u; };
            EXPECT_EQ(chip->UnitAt(41, 3), bit(4) << 1 | bit(5));
            EXPECT_EQ(chip->UnitAt(41, 4), bit(6) << 1 | bit(7));
            ExpectNoViolations();
        }
    }
}

// Secure checks the write status of row 56: a security cell that does not
// take is a security error on every row.
TEST_F(CycleRecordPldTest, SecurityCellThatDoesNotTakeFailsSecure) {
    for (const Part& p : kParts) {
        SCOPED_TRACE(p.name);
        sim::CycleRecordChip* chip = Seat(p.name);
        chip->StickSecurity();
        EXPECT_EQ(Run(OpSecurity), -1);
        EXPECT_TRUE(HasLine("Security error!")) << LogText();
        EXPECT_FALSE(chip->Secured());
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
}

// Read in mode 2 logs both counters before the walk; over its limit the part
// gets the warning and the operation goes on.
TEST_F(CycleRecordPldTest, ReadLogsTheCounters) {
    struct Case {
        const char* name;
        uint32_t counter, limit;
        bool exceeded;
    };
    const Case cases[] = {{"PALCE16V8", 5, 100, false}, {"PALCE16V8", 101, 100, true},
                          {"PALCE20V8", 70, 65, true},  {"PALCE22V10", 1500, 1499, true},
                          {"PALCE22V10", 99, 100, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.counter));
        sim::CycleRecordChip* chip = Seat(c.name);
        SetCounter(chip, c.counter, c.limit);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        const std::string counter = " Cycle Counter: " + std::to_string(c.counter);
        const std::string limit = " Limit Counter: " + std::to_string(c.limit);
        if (c.exceeded) {
            ExpectLinesInOrder({" Device exceeded the program/erase cycle!", counter, limit});
        } else {
            ExpectLinesInOrder({counter, limit});
        }
        EXPECT_EQ(HasLine(" Device exceeded the program/erase cycle!"), c.exceeded);
        EXPECT_EQ(Run(OpProgram), 1) << LogText(); // the warning does not stop a write either
        EXPECT_EQ(HasLine(" Device exceeded the program/erase cycle!"), c.exceeded);
        ExpectNoViolations();
    }
}

// Identification: row 236 takes the letters A-Z, row 237 codes 65 and 66.
TEST_F(CycleRecordPldTest, IdentificationCodes) {
    struct Case {
        const char* name;
        uint16_t id;
        bool accepted;
    };
    const Case cases[] = {{"PALCE20V8", 64, false},  {"PALCE20V8", 65, true},   {"PALCE20V8", 90, true},
                          {"PALCE20V8", 91, false},  {"PALCE20V8", 128 + 66, true}, // bit 7 is not part of the code
                          {"PALCE22V10", 64, false}, {"PALCE22V10", 65, true},  {"PALCE22V10", 66, true},
                          {"PALCE22V10", 67, false}, {"PALCE22V10", 512 + 65, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.id));
        sim::CycleRecordFacts f = Facts(c.name);
        f.idCode = c.id;
        sim::CycleRecordChip* chip = Seat(f);
        LoadFuses(std::vector<uint8_t>(DeviceSize, 1), FuseRowLength);
        for (int op : {OpBlankCheck, OpProgram, OpErase, OpSecurity}) {
            SCOPED_TRACE(op);
            const int r = Run(op);
            EXPECT_EQ(HasLine(" Invalid Chip ID."), !c.accepted) << LogText();
            if (!c.accepted) {
                EXPECT_EQ(r, -1);
            }
            EXPECT_TRUE(elec->SuppliedPins().empty());
        }
        EXPECT_EQ(chip->Writes().empty(), !c.accepted);
        ExpectNoViolations();
    }
}

// A part answering another code: rows 236 and 237 end each run at " Invalid
// Chip ID.", nothing written; row 235 reads no code.
TEST_F(CycleRecordPldTest, AnotherCodeEndsTheRunAtItsLine) {
    for (const Part& p : kParts) {
        SCOPED_TRACE(p.name);
        sim::CycleRecordChip* chip = Seat(p.name);
        LoadFuses(Pattern(p.fuses, 3), p.rowWidth);
        if (p.row == 235) {
            EXPECT_EQ(RowDefinition(235)->ChecksIdentity, nullptr);
            continue;
        }
        ExpectIdentityRefusedAtItsLine(chip, " Invalid Chip ID.");
        EXPECT_TRUE(chip->Writes().empty());
    }
}

// Code 65 erases only with row 56 addressed: the module sends it first.
TEST_F(CycleRecordPldTest, Code65ErasesWithRow56) {
    sim::CycleRecordFacts f = Facts("PALCE22V10");
    f.idCode = 65;
    sim::CycleRecordChip* chip = Seat(f);
    chip->SetFuse(100, 1);
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_TRUE(chip->FusesBlank());
}

// Injected faults: a cell that never programs fails the write check at once,
// named as the device fuse of that cell whatever its bit in the unit; a part that ignores erase fails the blank check.
TEST_F(CycleRecordPldTest, StuckCellFailsAtOnce) {
    struct Case {
        const char* name;
        uint32_t stuck;
        const char* line;
        size_t writes; // writes up to the failing one
    };
    const Case cases[] = {{"PALCE16V8", 0, " Fail address : 0(0h)", 1},
                          {"PALCE16V8", 33, " Fail address : 33(21h)", 34},
                          {"PALCE20V8", 40 * 3 + 2, " Fail address : 122(7Ah)", 40 * 3 + 3},
                          {"PALCE22V10", 88 + 5, " Fail address : 93(5Dh)", 6},
                          // cells past bit 0 of their unit: the failing fuse is named, not bit 0's
                          {"PALCE16V8", 40 * 32 + 3, " Fail address : 1283(503h)", 4},
                          {"PALCE20V8", 49 * 40 + 2, " Fail address : 1962(7AAh)", 43},
                          {"PALCE22V10", 4356 + 88 + 5, " Fail address : 4449(1161h)", 94}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        sim::CycleRecordChip* chip = Seat(c.name);
        chip->StickCell(c.stuck);
        LoadFuses(std::vector<uint8_t>(DeviceSize, 1), FuseRowLength);
        EXPECT_EQ(Run(OpProgram), -1);
        EXPECT_TRUE(HasLine(c.line)) << LogText();
        EXPECT_EQ(chip->Writes().size(), c.writes);
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
}

TEST_F(CycleRecordPldTest, IgnoredEraseFailsTheBlankCheck) {
    for (const Part& p : kParts) {
        SCOPED_TRACE(p.name);
        sim::CycleRecordChip* chip = Seat(p.name);
        chip->SetFuse(p.fuses - 1, 1);
        chip->IgnoreErase();
        EXPECT_NE(Run(OpErase), 1);
        EXPECT_FALSE(HasLine("Erase ok!")) << LogText();
        EXPECT_TRUE(HasLine(" Fail address : " + std::to_string(p.fuses - 1) + "(" +
                            [&] { char h[16]; std::snprintf(h, sizeof h, "%X", p.fuses - 1); return std::string(h); }() +
                            "h)")) << LogText();
    }
}

// ESC answered No during a read: the walk stops and the read fails (-1).
TEST_F(CycleRecordPldTest, BreakStopsTheRead) {
    for (const Part& p : kParts) {
        SCOPED_TRACE(p.name);
        sim::CycleRecordChip* chip = Seat(p.name);
        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(OpRead), -1) << LogText();
        EXPECT_TRUE(HasLine("Read error!")) << LogText();
        EXPECT_LT(Loads(chip, 1), 16u * p.rowWidth / 2); // stopped early in the walk
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
}

// Traffic: the index command only when the index changes; record units go
// least significant bit first (the part keeps them so); words carry 1s where
// the group has no fuse.
TEST_F(CycleRecordPldTest, CommandTraffic) {
    struct Case {
        const char* name;
        size_t indexLoads; // power-up record reads + walk
    };
    for (const Case c : {Case{"PALCE16V8", 16 + 8 + 8 + 8 + 3}, Case{"PALCE20V8", 16 + 8 + 8 + 8 + 3},
                         Case{"PALCE22V10", 38 + 16 + 3 * 44 + 2}}) {
        SCOPED_TRACE(c.name);
        sim::CycleRecordChip* chip = Seat(c.name);
        LoadFuses(Pattern(DeviceSize, 3), FuseRowLength);
        chip->ClearLog();
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Loads(chip, 2), c.indexLoads);
        for (const auto& l : chip->Loads()) EXPECT_NE(l.value, -1) << l.command; // every bit count right
        if (chip->Part().kind != sim::CycleRecordKind::Word22V10) continue;
        const int groups[10] = {8, 10, 12, 14, 16, 16, 14, 12, 10, 8};
        for (const auto& w : chip->Writes()) {
            if (w.row > 44 || w.index > 18) continue;
            uint32_t fuseBits = w.index == 16 ? 1023u : w.index == 17 ? 512u : w.index == 18 ? 1u : 0u;
            for (int i = 0; i < 10 && w.index < 16; ++i) fuseBits |= (w.row == 44 || w.index < groups[i]) << i;
            EXPECT_EQ(static_cast<uint32_t>(w.data) | fuseBits, 1023u) << w.row << " " << w.index;
        }
    }
}

// Golden positions: a map with one fuse set writes one unit with one bit.
TEST_F(CycleRecordPldTest, FusePositions) {
    struct Case {
        const char* name;
        uint32_t fuse;
        int row, index, data;
    };
    const Case cases[] = {
        {"PALCE16V8", (8 * 3 + 5) * 32 + 7, 7, 5, 1 << 3},   // array: (8b + index) x 32 + row
        {"PALCE16V8", 2056 + 8 * 2 + 6, 40, 2, 1 << 6},      // UES
        {"PALCE16V8", 2128 + 4 + 8 * 1, 42, 4, 1 << 1},      // product-term disable
        {"PALCE16V8", 2193, 41, 2, 0b101},                   // AC0 (bit 2 is always 1)
        {"PALCE20V8", (8 * 0 + 1) * 40 + 2, 38, 1, 1 << 0},  // array row 2 sent as address 38
        {"PALCE20V8", 2640 + 7 + 8 * 7, 42, 7, 1 << 7},
        {"PALCE22V10", 5808 + 2 * 3, 44, 0, 1 << 3},         // kind 4: 5808 + 2i
        {"PALCE22V10", 5809 + 2 * 9, 44, 1, 1 << 9},
        {"PALCE22V10", 2200 + 44 * 15 + 10, 10, 15, 1 << 4},            // output 4, group 15, column 10,
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fuse);
        sim::CycleRecordChip* chip = Seat(c.name);
        std::vector<uint8_t> fuses(DeviceSize, 0);
        fuses[c.fuse] = 1;
        LoadFuses(fuses, FuseRowLength);
        chip->ClearLog();
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        const bool word = chip->Part().kind == sim::CycleRecordKind::Word22V10;
        int hits = 0;
        for (const auto& w : chip->Writes()) {
            const int fill = word && w.row < 44 && w.index < 16 ? [&] {
                const int groups[10] = {8, 10, 12, 14, 16, 16, 14, 12, 10, 8};
                int m = 0;
                for (int i = 0; i < 10; ++i) m |= (w.index >= groups[i]) << i;
                return m;
            }() : word && w.index == 17 ? 511 : word && w.index == 18 ? 1022 : 0;
            const int data = w.data & ~fill;
            if (!word && w.row == 41 && w.index == 2) {
                if (data != 0b100) {
                    EXPECT_EQ(data, c.data);
                }
                continue;
            }
            if (data == 0) continue;
            ++hits;
            EXPECT_EQ(w.row, c.row);
            EXPECT_EQ(w.index, c.index);
            EXPECT_EQ(data, c.data);
        }
        EXPECT_EQ(hits, c.row == 41 ? 0 : 1);
    }
}

// Every fuse of each layout is read once: a read of a random chip map gives
// the map whatever the buffer held before.
TEST_F(CycleRecordPldTest, ReadReachesEveryFuseOnce) {
    for (const Part& p : kParts) {
        SCOPED_TRACE(p.name);
        sim::CycleRecordChip* chip = Seat(p.name);
        const std::vector<uint8_t> map = Pattern(p.fuses, 11);
        for (uint32_t n = 0; n < p.fuses; ++n) chip->SetFuse(n, map[n]);
        for (int fill : {0, 1}) {
            for (uint32_t n = 0; n < p.fuses; ++n) SetBufferBit(n, static_cast<uint32_t>(fill));
            EXPECT_EQ(Run(OpRead), 1) << LogText();
            EXPECT_EQ(UserFuses(p.fuses), map);
        }
    }
}

} // namespace
