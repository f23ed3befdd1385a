// The 68HC711-type row written in its parallel EPROM mode through the pin
// driver after the bootstrap download: whole runs, the blank check's two
// reads, the pulse count per byte, the pin groups it defines, and injected
// faults.
#include "W78Fixture.h"

#include <cstdlib>
#include <fstream>
#include <string>

#include "engine/Operation.h"
#include "engine/Pins.h"
#include "engine/RowDef.h"
#include "sim/BootBus.h"
#include "sim/Hc11BootChip.h"

namespace {

constexpr const char* kPar320Part = "HC711PAR-V1";
constexpr uint32_t kPar320Base = 0;

class Par320Run : public W78Run {
  protected:
    void SetUp() override {
        W78Run::SetUp();
        sim::RegisterBootBusPersonality();
    }
    sim::Hc11BootChip* PutPar320(void (*change)(sim::Hc11BootFacts&) = nullptr) {
        return PutPart<sim::Hc11BootChip>("GENERIC-ALGORITHM", kPar320Part, change);
    }
    bool Par320Violation(const char* text) const {
        for (const auto& v : simp.Violations())
            if (v.find(text) != std::string::npos) return true;
        return false;
    }
    // Low pulses on socket pin 30 in the register trace: writes of block 3's
    // drive levels (register 7) that take pin 30 (bit 5) from 1 to 0 (the
    // clearing of the latches before a run is no pulse).
    size_t Par320Pulses() const {
        size_t n = 0;
        int level = 0;
        for (const auto& r : simp.RegisterTrace()) {
            if (!r.write || r.reg != 7) continue;
            const int now = (r.value >> 5) & 1;
            if (level == 1 && now == 0) ++n;
            level = now;
        }
        return n;
    }
};

// Blank check of a fresh part, a file programmed, verified at both levels,
// compared, read back, saved and reloaded; the programmed part no longer
// blank-checks.
TEST_F(Par320Run, WholeRun) {
    sim::Hc11BootChip* chip = PutPar320();
    ASSERT_NE(chip, nullptr);
    ASSERT_EQ(DeviceEnd, 511u);
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    std::vector<uint8_t> image(512);
    {
        uint32_t x = 0x2468ACEu;
        std::ofstream f("par320.bin", std::ios::binary);
        for (auto& b : image) {
            x = x * 1103515245u + 12345u;
            b = static_cast<uint8_t>(x >> 16);
            f.put(static_cast<char>(b));
        }
    }
    if (std::system("objcopy -I binary -O ihex par320.bin par320.hex >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "objcopy not installed";
    FillBufferRange(0, 511, 0x5A);
    ASSERT_EQ(LoadHexFamilyFile("par320.hex", 0, 0), 1);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0; a < 512; ++a)
        ASSERT_EQ(chip->Cell(kPar320Base + a), image[a]) << std::hex << a;
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" VCCL(4.5V) Verification ok!") && HasLine(" VCCL(5.5V) Verification ok!"))
        << LogText();
    EXPECT_EQ(Run(OpCompare), ResultOk) << LogText();
    FillBufferRange(0, 511, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a < 512; ++a)
        ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
    ExpectSavedAndReloaded(0, image);
    EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();
    ExpectNoViolations();
}

// The blank check needs both reads: a cell that reads FFh with pin 31 low
// but not 00h with it high fails (the part's complement read is broken),
// as does a programmed cell.
TEST_F(Par320Run, BlankCheckReadsBothLevels) {
    sim::Hc11BootChip* chip = PutPar320([](sim::Hc11BootFacts& f) { f.parallelTestPin = 0; });
    EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();
    EXPECT_EQ(ChipAddress, 0u);
    chip = PutPar320();
    chip->SetCell(kPar320Base + 0x1A5, 0xFE);
    EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();
    EXPECT_EQ(ChipAddress, 0x1A5u);
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

// A cell that never takes its byte gets Retry - 1 = 24 pulses and the
// over-program pulse, then -1 at its address, powered down; a cell that
// takes gets one pulse and the over-program pulse.
TEST_F(Par320Run, PulsesPerByteAndStuckCell) {
    sim::Hc11BootChip* chip = PutPar320();
    chip->StickCell(kPar320Base + 3);
    FillBufferRange(0, 511, 0x00);
    ASSERT_EQ(Retry, 25u);
    simp.EnableTrace(true);
    simp.ClearTrace();
    EXPECT_EQ(AlgorithmTable[320].Program(), -1);
    EXPECT_EQ(ChipAddress, 3u);
    // Bytes 0-2: 2 pulses each; byte 3: 24 and the over-program pulse.
    EXPECT_EQ(Par320Pulses(), 3u * 2 + 25);
    EXPECT_EQ(chip->Cell(kPar320Base + 2), 0x00);
    EXPECT_EQ(chip->Cell(kPar320Base + 3), 0xFF);
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

// Without the programming voltage on pin 32 no cell burns (a violation); a
// pulse shorter than the part's programming time burns nothing either. A
// user break answered No ends with 3, powered down.
TEST_F(Par320Run, InjectedFaults) {
    sim::Hc11BootChip* chip = PutPar320([](sim::Hc11BootFacts& f) { f.parallelVppPin = 33; });
    FillBufferRange(0, 511, 0x00);
    EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
    EXPECT_TRUE(Par320Violation("without the programming voltage")) << simp.Violations().size();
    EXPECT_EQ(chip->Cell(kPar320Base), 0xFF);

    // Longer than the program and the over-program pulse.
    chip = PutPar320([](sim::Hc11BootFacts& f) { f.parallelBurnUs = 5000; });
    FillBufferRange(0, 511, 0x00);
    EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
    EXPECT_TRUE(Par320Violation("the cell needs 5000"));
    EXPECT_EQ(chip->Cell(kPar320Base), 0xFF);

    simp.ClearViolations();
    chip = PutPar320();
    FillBufferRange(0, 511, 0x00);
    ui.BreakAtPercent = 50;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpProgram), ResultUserBreak) << LogText();
    EXPECT_TRUE(elec->SuppliedPins().empty());
    EXPECT_LT(chip->Taken().size(), 512u);
    ExpectNoViolations();
}

// Groups 0 and 1 as a previous module left them are not driven: the row
// defines both from the part's pin-out first. The librarian refuses a
// record whose package has no pin-out of the mode.
TEST_F(Par320Run, DefinesItsPinGroupsAndRefusesOtherPackages) {
    sim::Hc11BootChip* chip = PutPar320();
    for (int g = 0; g < 2; ++g) {
        for (int i = 0; i < 9; ++i)
            PinGroupTable[g][i] = static_cast<uint8_t>(1 + i + 8 * g);
        PinGroupTable[g][9] = 0;
    }
    FillBufferRange(0, 511, 0x3C);
    EXPECT_EQ(AlgorithmTable[320].Program(), 1);
    EXPECT_EQ(chip->Cell(kPar320Base + 511), 0x3C);
    ExpectNoViolations();

    const RowDef* def = RowDefinition(320);
    ASSERT_NE(def, nullptr);
    RowRecordFacts record;
    record.Variant = 1;
    record.PackagePins = 48;
    EXPECT_EQ(RowRecordRefusal(*def, record), "");
    record.PackagePins = 52;
    EXPECT_NE(RowRecordRefusal(*def, record), "");
    record.PackagePins = 48;
    record.Variant = 17;
    EXPECT_NE(RowRecordRefusal(*def, record), "");
}

// Nine address lines reach 512 bytes: a record of one byte more would
// write its upper half over the first, and the librarian refuses it.
TEST_F(Par320Run, RefusesARecordPastItsAddressLines) {
    const RowDef* def = RowDefinition(320);
    ASSERT_NE(def, nullptr);
    RowRecordFacts record;
    record.Variant = 1;
    record.PackagePins = 48;
    record.DeviceSize = 512;
    EXPECT_EQ(RowRecordRefusal(*def, record), "");
    record.DeviceSize = 513;
    EXPECT_EQ(RowRecordRefusal(*def, record), "size of 513 bytes is past the 512 its 9 address lines reach");
    record.DeviceSize = 0x10000;
    EXPECT_NE(RowRecordRefusal(*def, record), "");
}

} // namespace
