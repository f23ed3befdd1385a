// The Zilog Z8 OTP rows through the operation driver against the
// simulator's parts: program from a hex file, verify, read back, secure, the
// option byte, pulse widths measured by the part, and the injected faults.
#include "engine/AlgorithmTable.h"
#include <algorithm>
#include <cstdlib>
#include <map>

#include "McuFixture.h"

#include "mcu/Zilog.h"
#include "sim/PicChip.h" // SupplyWatch
#include "sim/Z8OtpChip.h"

namespace {

// Logs supply-A switching on the watched socket pins, in order: " +34 -34",
// and the highest DAC channel 2 voltage while it feeds an even one.
class SupplyASequence : public sim::SimComponent {
public:
    SupplyASequence(const sim::Electrical* e, std::vector<int> pins) : elec_(e), pins_(std::move(pins)) {}
    bool OnWrite(sim::SimProgrammer&, uint8_t, uint8_t) override { return Look(); }
    bool OnLatchBit(sim::SimProgrammer&, uint8_t, uint8_t, bool) override { return Look(); }
    std::string log;
    int dac2Mv = 0;

private:
    bool Look() {
        const std::vector<int> on = elec_->SuppliedPins();
        for (int p : pins_) {
            const bool now = std::find(on.begin(), on.end(), p) != on.end();
            if (now && p % 2 == 0) dac2Mv = std::max(dac2Mv, elec_->DacMillivolts(2));
            if (now != was_[p]) log += (now ? " +" : " -") + std::to_string(p);
            was_[p] = now;
        }
        return false;
    }
    const sim::Electrical* elec_;
    std::vector<int> pins_;
    std::map<int, bool> was_;
};

class ZilogRun : public McuRun {
protected:
    void SetUp() override {
        McuRun::SetUp();
        simp.AddComponent(std::make_unique<sim::SupplyWatch>());
    }

    // Parts named "Z8-..." are the rows' generic records.
    static std::string MakerOf(const std::string& name) {
        return name.rfind("Z8-", 0) == 0 ? "GENERIC-ALGORITHM" : "ZILOG";
    }
    sim::Z8OtpChip* SelectAndSeatZ8(const std::string& name, void (*edit)(sim::Z8OtpFacts&) = nullptr) {
        const std::string maker = MakerOf(name);
        EXPECT_TRUE(Select(maker, name)) << name;
        const sim::Z8OtpFacts* f = sim::FindZ8OtpPart(maker, name);
        EXPECT_NE(f, nullptr) << name;
        if (f == nullptr) return nullptr;
        sim::Z8OtpFacts facts = *f;
        if (edit != nullptr) edit(facts);
        auto chip = std::make_unique<sim::Z8OtpChip>(facts);
        elec->DeclareChip(chip->Limits());
        return socket->Insert(std::move(chip));
    }

    // An Intel-hex file of n pattern bytes (none blank), made by objcopy and
    // loaded into the buffer.
    std::vector<uint8_t> LoadHexImage(uint32_t n) {
        std::vector<uint8_t> image(n);
        for (uint32_t a = 0; a < n; ++a) image[a] = static_cast<uint8_t>((a * 37 + 11) % 255);
        std::ofstream("image.bin", std::ios::binary).write(reinterpret_cast<const char*>(image.data()), n);
        EXPECT_EQ(std::system("objcopy -I binary -O ihex image.bin image.hex"), 0);
        EXPECT_EQ(LoadHexFamilyFile("image.hex", 0, 0), 1);
        return image;
    }

    static std::vector<sim::Z8OtpChip::Pulse> PulsesAt(const sim::Z8OtpChip& chip, bool option, uint32_t a) {
        std::vector<sim::Z8OtpChip::Pulse> out;
        for (const auto& p : chip.Pulses()) {
            if (p.option == option && p.address == a) out.push_back(p);
        }
        return out;
    }
    // A pulse the part measured: the asked width, and less than a millisecond
    // more for the port writes around it.
    static void ExpectWidth(uint64_t measured, uint64_t asked) {
        EXPECT_GE(measured, asked);
        EXPECT_LT(measured, asked + 1100);
    }
    static size_t OptionPulses(const sim::Z8OtpChip& chip) {
        size_t n = 0;
        for (const auto& p : chip.Pulses()) n += p.option;
        return n;
    }
    // "RAM Protect" and "WDT Permanently Enable" on (option-byte bits 1 and 4).
    static void ChooseTwoOptions(uint32_t row = 162) {
        ZilogOptionStates(row)[0] = 0;
        ZilogOptionStates(row)[3] = 0;
    }
    // How many option states a row keeps.
    static size_t StateCount(uint32_t row) {
        return row == 161 ? 4 : row == 160 || row == 163 ? 3 : row == 162 ? 5 : row == 166 ? 6 : 2;
    }
    static std::vector<std::string> Burnt(const sim::Z8OtpChip& chip) {
        std::vector<std::string> names;
        for (const auto& o : chip.BurntOptions()) names.push_back(o.name);
        return names;
    }
    static bool AllOff(uint32_t row) {
        for (uint32_t i = 0; i < StateCount(row); ++i) {
            if (ZilogStatusText(row == 162 ? 3 : 5, i, ZilogOptionStates(row)[i]) != std::string("OFF")) return false;
        }
        return true;
    }
};


// A row, its dialog entry, a part of it, its option pulse and the number of
// options its dialog shows.
struct ZilogPart {
    uint32_t row, entry;
    const char* name;
    uint64_t optionUs = 150000;
    size_t shown = 2;
};

class ZilogParts : public ZilogRun, public ::testing::WithParamInterface<ZilogPart> {};

// The option-pulse rows.
class ZilogPulsedParts : public ZilogParts {};

TEST_P(ZilogParts, HexFileProgramVerifyReadSecure) {
    sim::Z8OtpChip* chip = SelectAndSeatZ8(GetParam().name);
    ASSERT_NE(chip, nullptr);
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    const uint32_t n = 0x300;
    DeviceEnd = n - 1;
    const std::vector<uint8_t> image = LoadHexImage(n);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0; a < n; ++a) ASSERT_EQ(chip->Cell(a), image[a]) << std::hex << a;
    EXPECT_TRUE(chip->BurntOptions().empty()) << "every option OFF";
    EXPECT_EQ(OptionPulses(*chip), 0u) << "every option OFF";
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" VCCL(4.5V) Verification ok!")) << LogText();
    EXPECT_TRUE(HasLine(" VCCL(5.5V) Verification ok!")) << LogText();
    FillBufferRange(0, n - 1, 0);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a < n; ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
    EXPECT_EQ(Run(OpBlankCheck), ResultFailed);
    EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
    EXPECT_TRUE(chip->Protected());
    if (GetParam().row == 162 || GetParam().row == 166) {
        EXPECT_EQ(chip->OptionByte() & 0x7F, 0x7E);
    } else {
        ASSERT_EQ(Burnt(*chip), std::vector<std::string>{"Security"});
        ExpectWidth(chip->BurntOptions()[0].widthUs, GetParam().optionUs);
    }
    EXPECT_EQ(Run(OpVerify), ResultFailed) << "a protected array reads FFh";
    ExpectNoViolations();
}

TEST_P(ZilogPulsedParts, ChosenOptionsBurntAfterProgram) {
    // Burnt options as name@address.
    struct Case {
        std::string part;
        uint32_t states[4];
        std::vector<std::string> burnt;
    };
    const std::vector<std::string> all161 = {"Low Noise", "Autolatch Disable", "WDT Enable"};
    const Case cases[] = {
        {"Z86E04", {0, 0, 0}, {}},
        {"Z86E04", {0, 1, 0}, {"Autolatch Disable"}}, // RC Oscillator, WDT Enable: RefusesUnconfirmedOptions
        {"Z86E08", {1, 1, 1, 1}, all161},
        {"Z86E08", {0, 0, 1, 0}, {"WDT Enable"}},
        {"Z8-161-V1", {1, 1, 1, 1}, {"Low Noise"}}, // the variant's one option
        {"Z8-161-V2", {1, 1, 1, 1}, {"Low Noise", "Autolatch Disable", "WDT Enable", "RC osc Select"}},
        {"Z8-161-V2", {0, 0, 0, 1}, {"RC osc Select"}},
        {"Z8-164", {1, 0}, {"RAM Protect"}},
        {"Z8-164", {0, 1}, {"RC Oscillator"}},
        {"Z8-164", {1, 1}, {"RAM Protect", "RC Oscillator"}},
        {"Z86E21", {0, 0}, {}},
        {"Z86E21", {1, 0}, {"RAM Protect"}},
        {"Z86E21", {0, 1}, {"EPROM Size@3"}},
        {"Z86E21", {1, 1}, {"RAM Protect", "EPROM Size@3"}},
        {"Z86E63", {0, 0}, {}}, // "32K"
        {"Z86E63", {1, 0}, {"RAM Protect"}},
        {"Z86E63", {0, 1}, {"EPROM Size@3"}},  // "16K"
        {"Z86E63", {0, 2}, {"EPROM Size@11"}}, // "8K "
        {"Z86E63", {1, 3}, {"RAM Protect", "EPROM Size@3", "EPROM Size@11"}}, // "4K "
    };
    for (const Case& c : cases) {
        if (c.part != GetParam().name) continue;
        SCOPED_TRACE(c.states[0] * 1000 + c.states[1] * 100 + c.states[2] * 10 + c.states[3]);
        ClearSocket();
        sim::Z8OtpChip* chip = SelectAndSeatZ8(GetParam().name);
        DeviceEnd = 0xFF;
        FillBufferRange(0, 0xFF, 0xFF);
        std::copy_n(c.states, StateCount(GetParam().row), ZilogOptionStates(GetParam().row));
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        std::vector<std::string> burnt;
        for (const auto& o : chip->BurntOptions()) {
            ExpectWidth(o.widthUs, GetParam().optionUs);
            burnt.push_back(o.name == "EPROM Size" ? o.name + "@" + std::to_string(o.address) : o.name);
        }
        EXPECT_EQ(burnt, c.burnt);
        EXPECT_EQ(chip->RefusedPulses(), 0u);
        ExpectNoViolations();
    }
    // A device selection shows every option OFF again (row 163's size "32K").
    ASSERT_TRUE(Select(MakerOf(GetParam().name), GetParam().name));
    const uint32_t entry = GetParam().entry;
    for (uint32_t i = 0; i < 2; ++i) {
        EXPECT_STREQ(ZilogStatusText(entry, i, ZilogOptionStates(GetParam().row)[i]),
                     entry == 6 && i == 1 ? "32K" : "OFF")
            << i;
    }
}

TEST_F(ZilogRun, SupplySequencesOfThePulsedRows) {
    struct Case {
        const char* part;
        const char* what;
        int (*entry)();
        uint32_t states[4];
        // 40 pins: Vpp 34, mode 9, read pin 16, read strobe 43; 28 pins: Vpp 23,
        // mode 20, read pin 22; 18 pins: Vpp 25, mode 22, pin 24.
        const char* sequence;
        std::vector<std::string> burnt;
        int counter = -1; // where a counter part stands at its option pulses
    };
    const Case cases[] = {
        {"Z86E04", "read", [] { return AlgorithmTable[160].Read(2); }, {1, 1, 1}, " +25 -25", {}},
        {"Z86E04", "program, autolatch", AlgorithmTable[160].Program, {0, 1, 0}, " +25 -25 +25 +22 +24 -24 -22 -25",
         {"Autolatch Disable"}},
        {"Z86E04", "secure", AlgorithmTable[160].Secure, {0, 0, 0}, " +25 +22 +24 -24 -22 -25", {"Security"}},
        {"Z86E08", "program, all options", AlgorithmTable[161].Program, {1, 1, 1, 1}, " +25 -25 +25 +22 -22 -25",
         {"Low Noise", "Autolatch Disable", "WDT Enable"}},
        {"Z86E08", "secure", AlgorithmTable[161].Secure, {0, 0, 0, 0}, " +25 +22 +24 -24 -22 -25", {"Security"}},
        {"Z8-161-V2", "program, all options", AlgorithmTable[161].Program, {1, 1, 1, 1}, " +25 -25 +25 +24 -24 -25",
         {"Low Noise", "Autolatch Disable", "WDT Enable", "RC osc Select"}, 64},
        {"Z8-161-V2", "secure", AlgorithmTable[161].Secure, {0, 0, 0, 0}, " +25 +24 -24 -25", {"Security"}, 64},
        {"Z8-164", "read", [] { return AlgorithmTable[164].Read(2); }, {1, 1}, " +22 -22", {}},
        {"Z8-164", "program, both options", AlgorithmTable[164].Program, {1, 1}, " +23 -23 +23 +20 -20 -23",
         {"RAM Protect", "RC Oscillator"}},
        {"Z8-164", "secure", AlgorithmTable[164].Secure, {0, 0}, " +23 +20 +22 -22 -20 -23", {"Security"}},
        {"Z86E21", "read", [] { return AlgorithmTable[165].Read(2); }, {1, 1}, " +16 -16", {}},
        {"Z86E21", "program, no option", AlgorithmTable[165].Program, {0, 0}, " +34 -34 +34 +9 -9 -34", {}},
        {"Z86E21", "program, both options", AlgorithmTable[165].Program, {1, 1}, " +34 -34 +34 +9 +16 +43 -43 -16 -9 -34",
         {"RAM Protect", "EPROM Size"}},
        {"Z86E21", "secure", AlgorithmTable[165].Secure, {0, 0}, " +34 +9 +16 -16 -9 -34", {"Security"}},
        {"Z86E63", "read", [] { return AlgorithmTable[163].Read(2); }, {1, 3}, " +16 -16", {}},
        {"Z86E63", "program, no option", AlgorithmTable[163].Program, {0, 0}, " +34 +16 -16 -34 +34 +9 -9 -34", {}},
        {"Z86E63", "program, size 4K", AlgorithmTable[163].Program, {0, 3},
         " +34 +16 -16 -34 +34 +9 +16 +43 -43 -16 +16 +43 -43 -16 -9 -34", {"EPROM Size", "EPROM Size"}},
        {"Z86E63", "secure", AlgorithmTable[163].Secure, {0, 0}, " +34 +9 +16 -16 -9 -34", {"Security"}},
    };
    auto owned = std::make_unique<SupplyASequence>(elec, std::vector<int>{34, 9, 16, 43, 20, 22, 23, 24, 25});
    SupplyASequence* watch = owned.get();
    simp.AddComponent(std::move(owned));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClearSocket();
        sim::Z8OtpChip* chip = SelectAndSeatZ8(c.part);
        watch->log.clear();
        watch->dac2Mv = 0;
        DeviceEnd = 0x0F;
        FillBufferRange(0, 0x0F, 0xFF);
        std::copy_n(c.states, StateCount(CurrentAlgorithm), ZilogOptionStates(CurrentAlgorithm));
        PrepareDialog();
        EXPECT_EQ(c.entry(), 1);
        EXPECT_EQ(watch->log, c.sequence);
        // Rows 160 and 161 raise their even pins to 11.0 V, the others to Vpp.
        const int dac2 = CurrentAlgorithm <= 161 ? 11000 : static_cast<int>(Vpp) * 10;
        if (watch->dac2Mv != 0) {
            EXPECT_NEAR(watch->dac2Mv, dac2, 150);
        }
        EXPECT_EQ(Burnt(*chip), c.burnt);
        for (const auto& o : chip->BurntOptions()) {
            if (c.counter >= 0) {
                EXPECT_EQ(o.address, static_cast<uint32_t>(c.counter)) << o.name;
            }
        }
        ExpectNoViolations();
    }
}

// The option-pulse parts (row 161's first two variants pulse for 750 ms).
const ZilogPart kPulsedParts[] = {{165, 2, "Z86E21"},           {163, 6, "Z86E63"},
                                  {160, 0, "Z86E04", 150000, 3}, {161, 1, "Z86E08", 750000, 3},
                                  {161, 1, "Z8-161-V1", 750000, 1}, {161, 1, "Z8-161-V2", 150000, 4},
                                  {164, 4, "Z8-164"}};
const auto kPartName = [](const auto& info) {
    std::string n = info.param.name;
    std::replace(n.begin(), n.end(), '-', '_');
    return n;
};
INSTANTIATE_TEST_SUITE_P(ByteParts, ZilogParts,
                         ::testing::Values(ZilogPart{162, 3, "Z86E30"}, ZilogPart{162, 3, "Z86E40"},
                                           ZilogPart{166, 5, "Z8-166"}),
                         kPartName);
INSTANTIATE_TEST_SUITE_P(Parts, ZilogParts, ::testing::ValuesIn(kPulsedParts), kPartName);
INSTANTIATE_TEST_SUITE_P(Rows, ZilogPulsedParts, ::testing::ValuesIn(kPulsedParts), kPartName);

// An option-byte row: a part, where its option byte is pulsed (the counter
// part's counter stands at 0 again) and its Read entry.
struct ByteRow {
    uint32_t row;
    const char* name;
    uint32_t at;
    int (*read)(int);
};
class ZilogByteRows : public ZilogRun, public ::testing::WithParamInterface<ByteRow> {};

TEST_P(ZilogByteRows, OptionByteWrittenAfterProgramAndReadBack) {
    const ByteRow b = GetParam();
    sim::Z8OtpChip* chip = SelectAndSeatZ8(b.name);
    DeviceEnd = 0xFF;
    FillBufferRange(0, 0xFF, 0xFF);
    // All blank with every option OFF: no pulse at all, and 1.
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_TRUE(chip->Pulses().empty());
    ChooseTwoOptions(b.row);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    const auto at3F = PulsesAt(*chip, true, b.at);
    ASSERT_EQ(at3F.size(), 2u);
    EXPECT_EQ(at3F[0].data, 0xED);
    ExpectWidth(at3F[0].widthUs, PulseWidth);
    ExpectWidth(at3F[1].widthUs, OverPulseWidth); // the over-pulse after one pulse
    EXPECT_EQ(chip->OptionByte(), 0xED);
    // A new selection shows every option OFF; Read (mode 2) brings the chip's.
    const std::string maker = MakerOf(b.name);
    ASSERT_TRUE(Select(maker, b.name));
    DeviceEnd = 0xFF;
    EXPECT_TRUE(AllOff(b.row));
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    EXPECT_EQ(b.row == 162 ? ZilogOptionByte162 : ZilogOptionByte166, 0xEDu);
    const char* shown[6] = {"ON ", "OFF", "OFF", "ON ", "OFF", "OFF"};
    for (uint32_t i = 0; i < StateCount(b.row); ++i)
        EXPECT_STREQ(ZilogStatusText(b.row == 162 ? 3 : 5, i, ZilogOptionStates(b.row)[i]), shown[i]) << i;
    // The other read modes leave the states as they are.
    ASSERT_TRUE(Select(maker, b.name));
    DeviceEnd = 0xFF;
    for (int op : {OpBlankCheck, OpVerify, OpCompare}) {
        Run(op);
        EXPECT_TRUE(AllOff(b.row)) << op;
    }
    PrepareDialog();
    EXPECT_EQ(b.read(1), 1);
    EXPECT_TRUE(AllOff(b.row));
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Rows, ZilogByteRows,
                         ::testing::Values(ByteRow{162, "Z86E30", 0x3F, +[](int mode) { return AlgorithmTable[162].Read(mode); }},
                                           ByteRow{166, "Z8-166", 0, +[](int mode) { return AlgorithmTable[166].Read(mode); }}));

TEST_F(ZilogRun, OverPulseGrowsWithThePulsesACellNeeded) {
    sim::Z8OtpChip* chip = SelectAndSeatZ8("Z86E30");
    chip->SetPulsesNeeded(5, 3);
    DeviceEnd = 15;
    FillBufferRange(0, 15, 0x5A);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    const auto at5 = PulsesAt(*chip, false, 5);
    ASSERT_EQ(at5.size(), 4u);
    for (int i = 0; i < 3; ++i) ExpectWidth(at5[i].widthUs, PulseWidth);
    ExpectWidth(at5[3].widthUs, 3 * OverPulseWidth);
    EXPECT_EQ(PulsesAt(*chip, false, 4).size(), 2u);
    EXPECT_EQ(chip->Cell(5), 0x5A);
}

class ZilogLineParts : public ZilogRun, public ::testing::WithParamInterface<const char*> {};

TEST_P(ZilogLineParts, RangeInsideABlockAddressesItsFirstCells) {
    // Chip Start 100h and a start inside a 256-byte block.
    for (uint32_t start : {0x100u, 0x1F0u}) {
        SCOPED_TRACE(start);
        ClearSocket();
        sim::Z8OtpChip* chip = SelectAndSeatZ8(GetParam());
        DeviceStart = start;
        DeviceEnd = 0x2FF;
        BufferStart = 0;
        FillPattern(DeviceSize);
        ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
        for (uint32_t a = 0; a < 0x400; ++a) {
            const bool inRange = a >= start && a <= 0x2FF;
            // Buffer byte 0 goes to Chip Start.
            ASSERT_EQ(chip->Cell(a), inRange ? BufferByte(a - start) : 0xFF) << std::hex << a;
        }
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    }
}

INSTANTIATE_TEST_SUITE_P(Parts, ZilogLineParts,
                         ::testing::Values("Z86E30", "Z86E21", "Z86E63", "Z86E04", "Z8-161-V2", "Z8-164", "Z8-166"),
                         [](const auto& info) {
                             std::string n = info.param;
                             std::replace(n.begin(), n.end(), '-', '_');
                             return n;
                         });

TEST_P(ZilogParts, FaultsEndWithTheirLineAndBurnNoOption) {
    const bool optionByte = GetParam().row == 162 || GetParam().row == 166;
    struct Case {
        const char* what;
        int rows; // 0 every row, 1 the option-byte row, 2 the option-pulse rows
        void (*part)(sim::Z8OtpFacts&);
        void (*inject)(BreakingUi&, sim::Z8OtpChip&);
        int op;
        int result;
        const char* line;
        size_t optionPulses = 0;
    };
    const auto none = [](BreakingUi&, sim::Z8OtpChip&) {};
    const Case cases[] = {
        {"cell never programs", 0, nullptr, [](BreakingUi&, sim::Z8OtpChip& c) { c.StickCell(0x10); }, OpProgram,
         ResultFailed, "Program error!"},
        {"user break", 0, nullptr, [](BreakingUi& u, sim::Z8OtpChip&) {
             u.BreakAtPercent = 30;
             u.QueueAnswer(UiAnswer::No);
         }, OpProgram, ResultUserBreak, "USER BREAK!"},
        {"Vpp missing", 0, nullptr, [](BreakingUi&, sim::Z8OtpChip&) { Vpp = 0; }, OpProgram, ResultFailed,
         "Program error!"},
        {"Retry 1", 1, nullptr, [](BreakingUi&, sim::Z8OtpChip&) { Retry = 1; }, OpProgram, ResultFailed,
         "Program error!"},
        {"security bit not taking", 1, nullptr, [](BreakingUi&, sim::Z8OtpChip& c) { c.StickSecurityBit(); },
         OpSecurity, ResultFailed, nullptr, 24},
        // The array programs but the option byte does not take: Program fails.
        {"option byte not taking", 1, nullptr, [](BreakingUi&, sim::Z8OtpChip& c) { c.StickOptionBits(0x3E); },
         OpProgram, ResultFailed, "Program error!", 24},
        // The array programs; option pulses shorter than the part needs burn nothing.
        {"option pulse too short", 2, [](sim::Z8OtpFacts& f) { f.optionPulseUs = 1000000; }, none, OpProgram,
         ResultOk, nullptr},
    };
    for (const Case& c : cases) {
        if (c.rows != 0 && (c.rows == 1) != optionByte) continue;
        SCOPED_TRACE(c.what);
        ClearSocket();
        sim::Z8OtpChip* chip = SelectAndSeatZ8(GetParam().name, c.part);
        ASSERT_NE(chip, nullptr);
        DeviceEnd = 0xFF;
        FillPattern(0x100);
        // Row 160 offers one option it can burn ("Autolatch Disable").
        const bool oneOption = GetParam().row == 160;
        if (optionByte) {
            ChooseTwoOptions(GetParam().row);
        } else {
            ZilogOptionStates(GetParam().row)[0] = oneOption ? 0 : 1;
            ZilogOptionStates(GetParam().row)[1] = 1;
        }
        c.inject(ui, *chip);
        EXPECT_EQ(Run(c.op), c.result) << LogText();
        EXPECT_TRUE(c.line == nullptr || HasLine(c.line)) << LogText();
        if (optionByte) {
            EXPECT_EQ(OptionPulses(*chip), c.optionPulses) << "no option burnt";
        } else {
            EXPECT_TRUE(chip->BurntOptions().empty()) << "no option burnt";
            EXPECT_EQ(chip->RefusedPulses(),
                      c.part != nullptr ? (oneOption ? 1u : std::min<size_t>(2, GetParam().shown)) : 0u);
        }
        EXPECT_FALSE(chip->InMode());
        if (c.what == std::string("cell never programs")) {
            // Retry - 1 pulses, the log names it, and the loop stops there.
            EXPECT_EQ(PulsesAt(*chip, false, 0x10).size(), 24u);
            EXPECT_NE(LogText().find("Chip addr: 000010h"), std::string::npos) << LogText();
            EXPECT_EQ(chip->Cell(0x11), 0xFF);
        }
    }
}

TEST_F(ZilogRun, Row162OptionByteNeverCarriesASecuredPartsBitOver) {
    // Read of a secured part (mode 2) brings its security bit 0 into the
    // option states; programming the next part writes the options with the
    // security bit forced to 1, so that part stays readable.
    sim::Z8OtpChip* first = SelectAndSeatZ8("Z86E30");
    ASSERT_NE(first, nullptr);
    DeviceEnd = 0xFF;
    FillPattern(0x100);
    ChooseTwoOptions(162);
    ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
    ASSERT_EQ(Run(OpSecurity), ResultOk) << LogText();
    ASSERT_TRUE(first->Protected());
    ASSERT_EQ(Run(OpRead), ResultOk) << LogText();
    const uint8_t options = first->OptionByte();
    ClearSocket();
    const sim::Z8OtpFacts* f = sim::FindZ8OtpPart("ZILOG", "Z86E30");
    ASSERT_NE(f, nullptr);
    auto owned = std::make_unique<sim::Z8OtpChip>(*f);
    elec->DeclareChip(owned->Limits());
    sim::Z8OtpChip* second = socket->Insert(std::move(owned));
    FillPattern(0x100);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_FALSE(second->Protected());
    EXPECT_EQ(second->OptionByte() & 0x3E, options & 0x3E);
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    ExpectNoViolations();
}

TEST_F(ZilogRun, RefusesUnconfirmedOptions) {
    // Row 160's "RC Oscillator" and "WDT Enable" have no confirmed pin
    // conditions: Program names each one on and touches nothing.
    struct Case {
        uint32_t states[3];
        std::vector<std::string> lines;
    };
    const std::string rc = " Option \"RC Oscillator\" refused: its pin conditions are not confirmed. Switch it off.";
    const std::string wdt = " Option \"WDT Enable\" refused: its pin conditions are not confirmed. Switch it off.";
    for (const Case& c : {Case{{1, 0, 0}, {rc}}, Case{{0, 0, 1}, {wdt}}, Case{{1, 1, 1}, {rc, wdt}}}) {
        ClearSocket();
        sim::Z8OtpChip* chip = SelectAndSeatZ8("Z86E04");
        DeviceEnd = 0xFF;
        FillPattern(0x100);
        std::copy_n(c.states, 3, ZilogOptionStates(160));
        EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
        for (const std::string& line : c.lines) EXPECT_TRUE(HasLine(line)) << LogText();
        EXPECT_TRUE(chip->Pulses().empty());
        EXPECT_TRUE(chip->BurntOptions().empty());
        EXPECT_EQ(chip->Cell(0), 0xFF);
    }
    ExpectNoViolations();
}

TEST_F(ZilogRun, PackagesOutsideTheLayoutsAreRefused) {
    struct Case {
        uint32_t row, variant, pins;
        bool refused;
    };
    for (const Case c : {Case{162, 0, 28, false}, Case{162, 0, 40, false}, Case{162, 0, 44, false},
                         Case{162, 0, 18, true}, Case{164, 0, 32, true}, Case{163, 0, 28, true},
                         Case{163, 0, 44, false}, Case{166, 0, 18, false}, Case{166, 0, 44, true},
                         Case{161, 2, 18, false}, Case{161, 3, 18, true}, Case{160, 9, 18, false},
                         Case{165, 0, 40, false}}) {
        EXPECT_EQ(ZilogRecordRefusal(c.row, c.variant, c.pins).empty(), !c.refused) << c.row << " " << c.pins;
    }
    // An entry on such a package returns -1 before it powers anything.
    sim::Z8OtpChip* chip = SelectAndSeatZ8("Z86E30");
    PackageIndex = 18; // a 32-pin DIP
    PrepareDialog();
    simp.EnableTrace(true);
    simp.ClearTrace();
    for (int (*entry)() : {AlgorithmTable[162].Program, +[] { return AlgorithmTable[162].Read(2); }, AlgorithmTable[162].Secure, AlgorithmTable[163].Program,
                           +[] { return AlgorithmTable[163].Read(2); }, AlgorithmTable[163].Secure, AlgorithmTable[164].Program, +[] { return AlgorithmTable[164].Read(2); },
                           AlgorithmTable[164].Secure, AlgorithmTable[166].Program, +[] { return AlgorithmTable[166].Read(2); }, AlgorithmTable[166].Secure})
        EXPECT_EQ(entry(), -1);
    // A row-161 variant past 2 has no sequences of its own.
    DeviceVariant = 3;
    for (int (*entry)() : {AlgorithmTable[161].Program, +[] { return AlgorithmTable[161].Read(2); }, AlgorithmTable[161].Secure}) EXPECT_EQ(entry(), -1);
    DeviceVariant = 0;
    EXPECT_TRUE(simp.PortTrace().empty());
    EXPECT_TRUE(chip->Pulses().empty());
}

} // namespace
