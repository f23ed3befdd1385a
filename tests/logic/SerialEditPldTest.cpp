// Rows 207, 208, 210, 209, 240 and 241 end to end against the edit-mode chip model: the driver's
// operations, the edit voltages and erase recipe chosen by the chip's code,
// refusals, injected faults and the PAL types of the device image.
#include <cstdlib>
#include <utility>

#include "engine/RowDef.h"
#include "logic/SerialEditPld.h"
#include "sim/EditModeChip.h"
#include "sim/IdMemory.h"
#include "sim/Universal.h"
#include "tests/logic/PldFixture.h"

namespace {

struct SerialEditPldPart {
    const char* name;
    uint32_t row, fuses, rowWidth;
    uint32_t ues;       // first UES fuse (0: none); the UES reads back on a secured part
    uint32_t securedBit; // what the rest of a secured part reads
};
const SerialEditPldPart kSerialEditPldParts[] = {{"PALCE16V8", 207, 2194, 32, 2056, 1},
                       {"PALCE20V8", 208, 2706, 40, 2568, 1},
                       {"PALCE20RA10", 210, 3210, 40, 0, 0},
                       {"PALCE22V10", 209, 5828, 44, 0, 1},
                       {"PALLV22V10", 209, 5828, 44, 0, 1},
                       {"PALCE26V12", 240, 7848, 52, 0, 1},
                       {"PALCE26V12H", 240, 7848, 52, 0, 1},
                       {"PALCE29M16", 241, 6482, 40, 0, 0}};

class SerialEditPldTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
    }
    static sim::EditModeFacts Facts(const char* name, int code = -1) {
        sim::EditModeFacts f = *sim::FindFacts<sim::EditModeFacts>("AMD", name);
        if (code >= 0) f.idCode = static_cast<uint8_t>(code);
        return f;
    }
    sim::EditModeChip* Seat(const char* name, int code = -1) {
        EXPECT_TRUE(SelectPld("AMD", name));
        return SeatAlone<sim::EditModeChip>(Facts(name, code));
    }
    static std::vector<int> Commands(const sim::EditModeChip* chip) {
        std::vector<int> c;
        for (const auto& p : chip->Pulses()) c.push_back(p.command);
        return c;
    }
};

// Every record through the driver: blank check, program from a JEDEC file,
// verify, read back equal, the saved file keeps its "C" field, erase with the
// driver's blank check, secure with the driver's check of ones.
TEST_F(SerialEditPldTest, EveryRowThroughTheDriver) {
    for (const SerialEditPldPart& p : kSerialEditPldParts) {
        SCOPED_TRACE(p.name);
        sim::EditModeChip* chip = Seat(p.name);
        EXPECT_EQ(CurrentAlgorithm, p.row);
        EXPECT_EQ(DeviceSize, p.fuses);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        EXPECT_TRUE(HasLine("Blank check ok!")) << LogText();
        const std::vector<uint8_t> fuses = Pattern(p.fuses, p.row);
        ExpectRoundTripThenErase(fuses, p.rowWidth, [&] {
            EXPECT_TRUE(HasLine("Program ok!")) << LogText();
            return Cells(chip, p.fuses);
        });
        EXPECT_TRUE(chip->Blank());
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(ReadBackAfterSecure, 1u);
        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        EXPECT_TRUE(HasLine("Security ok!")) << LogText();
        EXPECT_TRUE(chip->Secured());
        EXPECT_EQ(SecureCheckValue, p.securedBit);
        ClearUserMap(p.fuses);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        for (uint32_t n = 0; n < p.fuses; ++n)
            ASSERT_EQ(GetBufferBit(n), p.ues != 0 && n >= p.ues && n < p.ues + 64 ? fuses[n] : p.securedBit) << n;
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
}

// The code read at power-up sets the programming and read voltages at the
// chip and the erase recipe: code 128 erases in three passes of a 250 ms
// command-14 pulse and a 100 ms command-0 pulse, the others with one 100 ms
// command-0 pulse; the 20RA10 type writes with plain strobes (logged as 0) at
// the strobe-voltage pin and erases with one 100 ms strobe under the erase
// pin (logged as 1); the 22V10 type strobes at its code's strobe voltage
// and erases in passes of a pulse under the pass pin (logged as 2, 50 ms or
// 250 ms) and 100 ms under the erase pin, four passes on code 15; the 29M16
// type writes and erases at 9.2 V with 100 ms strobes.
TEST_F(SerialEditPldTest, VoltagesAndEraseByCode) {
    struct Case {
        const char* name;
        int code, programTenths, readTenths, writeCommand;
        std::vector<int> erase;
        uint64_t passUs = 0;
    };
    const std::vector<int> one{0}, passes{14, 0, 14, 0, 14, 0}, latched{1}, pass{2, 1}, four{2, 1, 2, 1, 2, 1, 2, 1};
    const Case cases[] = {{"PALCE16V8", 128, 135, 105, 3, passes}, {"PALCE16V8", 64, 92, 92, 3, one},
                          {"PALCE16V8", 144, 92, 92, 3, one},      {"PALCE16V8", 160, 92, 92, 3, one},
                          {"PALCE16V8", 192, 92, 92, 3, one},      {"PALCE16V8", 224, 92, 92, 3, one},
                          {"PALCE20V8", 1, 135, 105, 3, one},      {"PALCE20V8", 64, 92, 92, 3, one},
                          {"PALCE20RA10", 2, 95, 95, 0, latched},  {"PALCE20RA10", 3, 92, 92, 0, latched},
                          {"PALCE22V10", 2, 90, 87, 0, pass, 50000},   {"PALCE22V10", 8, 92, 92, 0, pass, 50000},
                          {"PALCE22V10", 9, 87, 87, 0, pass, 50000},   {"PALCE22V10", 15, 135, 105, 0, four, 250000},
                          {"PALLV22V10", 10, 87, 87, 0, pass, 50000},
                          {"PALCE26V12", 0, 135, 105, 0, four, 250000}, {"PALCE26V12", 15, 135, 105, 0, four, 250000},
                          {"PALCE26V12", 12, 92, 92, 0, four, 250000},  {"PALCE26V12H", 12, 92, 92, 0, latched},
                          {"PALCE26V12H", 0, 135, 105, 0, latched},
                          {"PALCE29M16", 252, 92, 92, 0, latched, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " code " + std::to_string(c.code));
        sim::EditModeChip* chip = Seat(c.name, c.code);
        const std::vector<uint8_t> fuses = Pattern(DeviceSize, static_cast<uint32_t>(c.code));
        LoadFuses(fuses, FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Cells(chip, DeviceSize), fuses);
        ASSERT_FALSE(chip->Pulses().empty());
        for (const auto& w : chip->Pulses()) {
            EXPECT_EQ(w.command, c.writeCommand);
            EXPECT_NEAR(w.editTenths, c.programTenths, 1); // one DAC step
            EXPECT_GE(w.widthUs, 50000u);
        }
        chip->ClearLog();
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        ASSERT_FALSE(chip->ReadVolts().empty());
        for (int v : chip->ReadVolts()) EXPECT_NEAR(v, c.readTenths, 1); // one DAC step

        chip->ClearLog();
        BlankCheckAfterErase = 0;
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        EXPECT_TRUE(chip->Blank());
        EXPECT_EQ(Commands(chip), c.erase);
        for (const auto& e : chip->Pulses()) {
            EXPECT_GE(e.widthUs, e.command == 14 ? 250000u : e.command == 2 ? c.passUs : 100000u);
            if (e.command == 2) {
                EXPECT_LT(e.widthUs, c.passUs + 5000);
            }
        }
        ExpectNoViolations();
    }
}

// A code outside the row's table, or no part at all, is refused before any
// fuse: " Incorrect device ID" (the 29M16 type: " Invalid device!") ends
// the run, the socket powered down, no strobe.
TEST_F(SerialEditPldTest, UnknownCodeAndEmptySocketRefused) {
    struct Case {
        const char* name;
        int code; // -1: empty socket
    };
    const auto message = [](const char* name) {
        return std::string(name) == "PALCE29M16" ? " Invalid device!" : " Incorrect device ID";
    };
    for (const Case c : {Case{"PALCE16V8", 0}, Case{"PALCE16V8", 1}, Case{"PALCE20V8", 128}, Case{"PALCE20RA10", 0},
                         Case{"PALCE20RA10", 15}, Case{"PALCE22V10", 0}, Case{"PALCE22V10", 4}, Case{"PALCE26V12", 4},
                         Case{"PALCE29M16", 253}, Case{"PALCE29M16", 124}, Case{"PALCE20V8", -1},
                         Case{"PALCE16V8", -1}, Case{"PALCE20RA10", -1}, Case{"PALCE29M16", -1}}) {
        SCOPED_TRACE(std::string(c.name) + " code " + std::to_string(c.code));
        sim::EditModeChip* chip = Seat(c.name, c.code < 0 ? 0 : c.code);
        if (c.code < 0) {
            socket->Clear();
            elec->WithdrawAllChips();
            chip = nullptr;
        }
        LoadFuses(std::vector<uint8_t>(DeviceSize, 0), FuseRowLength);
        for (int op : {OpBlankCheck, OpProgram, OpVerify, OpErase, OpSecurity}) {
            SCOPED_TRACE(op);
            EXPECT_EQ(Run(op), -1);
            EXPECT_EQ(IdentityRefusalLine(), message(c.name)) << LogText();
            EXPECT_EQ(DatumLines(), "") << LogText();
            EXPECT_TRUE(elec->SuppliedPins().empty());
        }
        if (chip == nullptr) continue; // the empty socket's pins carry the supplies unloaded
        EXPECT_TRUE(chip->Pulses().empty());
        EXPECT_TRUE(chip->Blank());
        ExpectNoViolations();
    }
}

// Every record's part answering another code: each run ends at the row's
// line, no strobe.
TEST_F(SerialEditPldTest, AnotherCodeEndsTheRunAtItsLine) {
    for (const SerialEditPldPart& p : kSerialEditPldParts) {
        SCOPED_TRACE(p.name);
        sim::EditModeChip* chip = Seat(p.name);
        LoadFuses(Pattern(p.fuses, 6), p.rowWidth);
        ExpectIdentityRefusedAtItsLine(chip, p.row == 241 ? " Invalid device!" : " Incorrect device ID");
        EXPECT_TRUE(chip->Pulses().empty());
    }
}

// Injected faults: a cell that never programs fails the verify at its fuse;
// ESC answered No in a read ends the read with -1; the wrong erase recipe
// (one command-0 pulse on a code-128 part) leaves the part programmed.
TEST_F(SerialEditPldTest, InjectedFaults) {
    for (const SerialEditPldPart& p : kSerialEditPldParts) {
        SCOPED_TRACE(p.name);
        sim::EditModeChip* chip = Seat(p.name);
        std::vector<uint8_t> fuses = Pattern(p.fuses, 5);
        fuses[1001] = 0;
        chip->StickCell(1001); // stays erased: reads 1
        LoadFuses(fuses, p.rowWidth);
        VerifyAfterProgram = 1;
        EXPECT_EQ(Run(OpProgram), -1);
        EXPECT_TRUE(HasLine("Verification error!")) << LogText();
        EXPECT_TRUE(HasLine(" Fail address : 1001(3E9h)")) << LogText();
        VerifyAfterProgram = 0;

        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(OpRead), -1) << LogText();
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
}

// Variant 1 parts of rows 207 and 209 get the term-use row: flag t set when
// any fuse of array row t is 1; other variants and row 208 write no row 57.
TEST_F(SerialEditPldTest, TermUseRowOnlyWithVariantOne) {
    struct Case {
        const char* name;
        int variant;
        bool written;
    };
    for (const Case c : {Case{"PALCE16V8", 1, true}, Case{"PALCE16V8", 0, false}, Case{"PALCE20V8", 1, false},
                         Case{"PALCE22V10", 1, true}, Case{"PALCE22V10", 0, false}}) {
        SCOPED_TRACE(std::string(c.name) + " variant " + std::to_string(c.variant));
        sim::EditModeChip* chip = Seat(c.name);
        DeviceVariant = static_cast<uint8_t>(c.variant);
        std::vector<uint8_t> fuses(DeviceSize, 0);
        const uint32_t columns = FuseRowLength;
        for (uint32_t t : {0u, 5u, 63u}) fuses[t * columns + t % columns] = 1;
        LoadFuses(fuses, FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        size_t row57 = 0;
        for (const auto& e : chip->Pulses()) row57 += e.row == 57;
        EXPECT_EQ(row57, c.written ? 1u : 0u);
        for (int t = 0; t < 64; ++t) EXPECT_EQ(chip->TermUse(t), c.written && (t == 0 || t == 5 || t == 63)) << t;
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
    }
}

// A PAL type of the option dialog's list programs, verifies and reads back
// through the device image.
TEST_F(SerialEditPldTest, PalTypesThroughTheDeviceImage) {
    for (const SerialEditPldPart& p : kSerialEditPldParts) {
        if (p.ues == 0) continue; // no device image
        const int set = p.row == 208 ? 1 : 0;
        for (int index : {1, 4, 7}) {
            SCOPED_TRACE(std::string(p.name) + " " + PalEmulationNames[set][index]);
            PalTypeRoundTrip(Seat(p.name), index, set);
        }
    }
}

// Golden positions: one fuse programmed on the part reads back at its own
// JEDEC number and nowhere else (the architecture rows' 8-position blocks,
// the last block of rows 62 and 63, the UES byte order; the 20RA10 type's
// eight-term blocks and its architecture row, read once; the 29M16 type's
// ten-term blocks on the 16-bit bus and its rows past the array).
TEST_F(SerialEditPldTest, GoldenFusePositions) {
    struct Case {
        const char* name;
        int code;
        std::vector<uint32_t> fuses;
    };
    const Case cases[] = {
        {"PALCE16V8", 64, {0, 31, 2047, 2048, 2055, 2056, 2063, 2119, 2120, 2127, 2128, 2191, 2192, 2193}},
        {"PALCE20V8", 64, {0, 39, 2559, 2560, 2567, 2568, 2631, 2632, 2639, 2640, 2703, 2704, 2705}},
        {"PALCE20RA10", 3, {0, 39, 40, 319, 320, 3160, 3199, 3200, 3205, 3209}},
        {"PALCE22V10", 8, {0, 43, 44, 439, 440, 5323, 5324, 5807, 5808, 5809, 5816, 5826, 5827}},
        {"PALCE26V12", 12, {0, 52, 7799, 7800, 7811, 7836, 7847}},
        {"PALCE26V12H", 12, {51, 7812, 7823}},
        {"PALCE29M16", 252, {0, 39, 40, 399, 400, 3240, 3999, 6399, 6400, 6404, 6435, 6440, 6479, 6480, 6481}}};
    for (const Case& c : cases) {
        for (uint32_t f : c.fuses) {
            SCOPED_TRACE(std::string(c.name) + " fuse " + std::to_string(f));
            sim::EditModeChip* chip = Seat(c.name, c.code);
            for (uint32_t n = 0; n < DeviceSize; ++n) chip->SetCell(n, n == f ? 0 : 1);
            EXPECT_EQ(Run(OpRead), 1) << LogText();
            for (uint32_t n = 0; n < DeviceSize; ++n) ASSERT_EQ(GetBufferBit(n), n == f ? 0u : 1u) << n;
        }
    }
}

// An empty socket on rows 209 and 240: the floating outputs read code 15, a
// known code, so only the driver's insertion test stops the run before any
// entry.
TEST_F(SerialEditPldTest, EmptySocketNeedsTheInsertionTest) {
    for (const auto& [name, state] : {std::pair{"PALCE22V10", &Edit209}, std::pair{"PALCE26V12", &Edit240}}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(SelectPld("AMD", name));
        ExpectOnlyInsertionTestStopsEmptySocket([&] {
            EXPECT_FALSE(HasLine(" Incorrect device ID"));
            EXPECT_EQ(state->ChipIdCode, 15u);
        });
    }
}

// Row 240's rows 60 + j as clocked in (fuses 7799 + 12m cleared): the
// variant's position list ends each block, variant 0's positions 143-149
// past its list carry fuse 7799 + 12j, variant 1's list ends at the last
// position.
TEST_F(SerialEditPldTest, RowsPastThe26V12ArrayByVariant) {
    for (const char* name : {"PALCE26V12", "PALCE26V12H"}) {
        SCOPED_TRACE(name);
        sim::EditModeChip* chip = Seat(name, 12);
        std::vector<uint8_t> fuses(DeviceSize, 1);
        for (uint32_t j = 0; j < 4; ++j) fuses[7799 + 12 * j] = 0; // 7799: the last array fuse
        LoadFuses(fuses, FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        int rows = 0;
        for (const auto& e : chip->Pulses()) {
            if (e.row < 60) continue;
            ++rows;
            const int j = e.row - 60;
            ASSERT_EQ(e.positions.size(), 150u);
            for (int p = 0; p < 150; ++p) {
                // Fuse 7811 + 12j - k is one of 7799 + 12m for k = 0 (m = j + 1) and k = 12 (m = j).
                const int firstEnd = DeviceVariant == 0 ? 6 : 10;
                const bool zero = (p <= firstEnd && j <= 2) || (DeviceVariant == 0 && p >= 143);
                EXPECT_EQ(e.positions[static_cast<size_t>(p)], zero ? 0 : 1) << "row " << e.row << " position " << p;
            }
        }
        EXPECT_EQ(rows, 4);
    }
}

// Row 240's position lists cover variants 0 and 1: any other variant is
// refused before the socket is powered (no identity checked), and the
// librarian refuses its record.
TEST_F(SerialEditPldTest, Row240VariantWithoutListRefused) {
    sim::EditModeChip* chip = Seat("PALCE26V12");
    DeviceVariant = 2;
    EXPECT_FALSE(RowDefinition(240)->ChecksIdentity());
    LoadFuses(std::vector<uint8_t>(DeviceSize, 0), FuseRowLength);
    for (int op : {OpBlankCheck, OpProgram, OpVerify, OpErase, OpSecurity}) {
        SCOPED_TRACE(op);
        EXPECT_EQ(Run(op), -1) << LogText();
        EXPECT_TRUE(elec->SuppliedPins().empty());
    }
    EXPECT_TRUE(chip->Pulses().empty());
    EXPECT_TRUE(chip->Blank());
    ExpectNoViolations();
    const RowDef* def = RowDefinition(240);
    ASSERT_NE(def, nullptr);
    RowRecordFacts record;
    record.DeviceSize = 7848;
    for (uint32_t v : {0u, 1u, 2u}) {
        record.Variant = v;
        EXPECT_EQ(RowRecordRefusal(*def, record).empty(), v < 2) << v;
    }
}

// Row 207's address 60 as clocked in: each of fuses 2055 down to 2048 fills
// eight consecutive positions.
TEST_F(SerialEditPldTest, Row207Address60FillsEightPositionsAFuse) {
    sim::EditModeChip* chip = Seat("PALCE16V8", 64);
    std::vector<uint8_t> fuses(DeviceSize, 1);
    for (uint32_t f : {2048u, 2050u, 2053u}) fuses[f] = 0;
    LoadFuses(fuses, FuseRowLength);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    int rows = 0;
    for (const auto& e : chip->Pulses()) {
        if (e.row != 60) continue;
        ++rows;
        ASSERT_EQ(e.positions.size(), 64u);
        for (int p = 0; p < 64; ++p) EXPECT_EQ(e.positions[static_cast<size_t>(p)], fuses[2055 - p / 8]) << p;
    }
    EXPECT_EQ(rows, 1);
    EXPECT_EQ(Cells(chip, DeviceSize), fuses);
}

} // namespace

namespace {

// Values written to DAC channel `channel` (register 18 after a channel
// select on register 13) from trace entry `from` on: (tenths, index).
std::vector<std::pair<int, size_t>> EditDacWrites(const std::vector<sim::RegisterAccess>& trace, int channel,
                                                  size_t from) {
    std::vector<std::pair<int, size_t>> w;
    int selected = 1;
    for (size_t k = 0; k < trace.size(); ++k) {
        const sim::RegisterAccess& a = trace[k];
        if (!a.write) continue;
        if (a.reg == 13) selected = (a.value & 3) + 1;
        if (k >= from && a.reg == 18 && selected == channel)
            w.emplace_back((sim::DacCodeToMillivolts(channel, a.value) + 50) / 100, k);
    }
    return w;
}

} // namespace

// Rows 210, 209 and 240 power up with every DAC channel at 0 V; the edit
// voltage then steps to the identification voltage (209, 240) or ramps up
// to it from 0 V in 0.5 V steps (210). The supply-range flag is 0 on rows
// 210 and 240 and 1 on row 209, so the channel selects that follow carry
// 0Ch or 04h.
TEST_F(SerialEditPldTest, LatchedRowsPowerUpFromZeroVolts) {
    struct Case {
        const char* name;
        uint8_t select;
        int idTenths;
        bool ramped;
    };
    for (const Case& c : {Case{"PALCE20RA10", 0x0C, 95, true}, Case{"PALCE22V10", 0x04, 92, false},
                          Case{"PALLV22V10", 0x04, 87, false}, Case{"PALCE26V12", 0x0C, 92, false}}) {
        SCOPED_TRACE(c.name);
        Seat(c.name);
        simp.ClearTrace();
        simp.EnableTrace(true);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        simp.EnableTrace(false);
        const std::vector<sim::RegisterAccess>& trace = simp.RegisterTrace();
        // The power-up before the first identification voltage: SetVccRange
        // ends with register 25 := 15, the channel selects and the four DAC
        // values follow.
        const auto all = EditDacWrites(trace, 1, 0);
        size_t id = 0;
        while (id < all.size() && std::abs(all[id].first - c.idTenths) > 1) ++id;
        ASSERT_LT(id, all.size());
        size_t range = all[id].second;
        while (range > 0 && !(trace[range].write && trace[range].reg == 25 && trace[range].value == 15)) --range;
        ASSERT_GT(range, 0u);
        size_t select = range;
        while (select < trace.size() && !(trace[select].write && trace[select].reg == 13)) ++select;
        ASSERT_LT(select, trace.size());
        EXPECT_EQ(trace[select].value & 0x0C, c.select);
        for (int channel : {1, 2}) {
            const auto w = EditDacWrites(trace, channel, range);
            ASSERT_FALSE(w.empty());
            EXPECT_LT(w[0].first, 20) << "channel " << channel; // 0 V: the DAC's floor (1.0 V), not 5.0 V
        }
        const auto edit = EditDacWrites(trace, 1, range);
        ASSERT_GE(edit.size(), 2u);
        if (c.ramped) {
            // 0, 0.5, 1.0, ... up to the identification voltage (the DAC
            // holds its floor up to 1.0 V).
            size_t k = 1, below5V = 0;
            for (; k < edit.size() && edit[k].first < c.idTenths - 1; ++k) below5V += edit[k].first < 48 ? 1 : 0;
            ASSERT_LT(k, edit.size());
            EXPECT_GE(k, static_cast<size_t>(c.idTenths / 5));
            EXPECT_GE(below5V, 9u);
        } else {
            EXPECT_NEAR(edit[1].first, c.idTenths, 1);
        }
        ExpectNoViolations();
    }
}
