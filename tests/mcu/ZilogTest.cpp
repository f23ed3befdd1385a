// The Zilog Z8 OTP rows through the operation driver against the
// simulator's parts: program from a hex file, verify, read back, secure, the
// option byte, pulse widths measured by the part, and the injected faults.
#include <algorithm>
#include <cstdlib>
#include <map>

#include "McuFixture.h"

#include "mcu/Zilog.h"
#include "sim/PicChip.h" // SupplyWatch
#include "sim/Z8OtpChip.h"

namespace {

// Logs supply-A switching on the watched socket pins, in order: " +34 -34".
class SupplyASequence : public sim::SimComponent {
public:
    SupplyASequence(const sim::Electrical* e, std::vector<int> pins) : elec_(e), pins_(std::move(pins)) {}
    bool OnWrite(sim::SimProgrammer&, uint8_t, uint8_t) override { return Look(); }
    bool OnLatchBit(sim::SimProgrammer&, uint8_t, uint8_t, bool) override { return Look(); }
    std::string log;

private:
    bool Look() {
        const std::vector<int> on = elec_->SuppliedPins();
        for (int p : pins_) {
            const bool now = std::find(on.begin(), on.end(), p) != on.end();
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

    sim::Z8OtpChip* SelectAndSeatZ8(const std::string& name, void (*edit)(sim::Z8OtpFacts&) = nullptr) {
        EXPECT_TRUE(Select("ZILOG", name)) << name;
        const sim::Z8OtpFacts* f = sim::FindZ8OtpPart("ZILOG", name);
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
    static void ChooseTwoOptions() {
        ZilogOptionStates(162)[0] = 0;
        ZilogOptionStates(162)[3] = 0;
    }
    static std::vector<std::string> Burnt(const sim::Z8OtpChip& chip) {
        std::vector<std::string> names;
        for (const auto& o : chip.BurntOptions()) names.push_back(o.name);
        return names;
    }
    static bool AllOff162() {
        for (uint32_t i = 0; i < 5; ++i) {
            if (ZilogStatusText(3, i, ZilogOptionStates(162)[i]) != std::string("OFF")) return false;
        }
        return true;
    }
};


// A row, its dialog entry and a part of it.
struct ZilogPart {
    uint32_t row, entry;
    const char* name;
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
    if (GetParam().row == 162) {
        EXPECT_EQ(chip->OptionByte(), 0xFE);
    } else {
        ASSERT_EQ(Burnt(*chip), std::vector<std::string>{"Security"});
        ExpectWidth(chip->BurntOptions()[0].widthUs, 150000);
    }
    EXPECT_EQ(Run(OpVerify), ResultFailed) << "a protected array reads FFh";
    ExpectNoViolations();
}

TEST_P(ZilogPulsedParts, ChosenOptionsBurntAfterProgram) {
    // Burnt options as name@address.
    struct Case {
        uint32_t row;
        uint32_t states[2];
        std::vector<std::string> burnt;
    };
    const Case cases[] = {
        {165, {0, 0}, {}},
        {165, {1, 0}, {"RAM Protect"}},
        {165, {0, 1}, {"EPROM Size@3"}},
        {165, {1, 1}, {"RAM Protect", "EPROM Size@3"}},
        {163, {0, 0}, {}}, // "32K"
        {163, {1, 0}, {"RAM Protect"}},
        {163, {0, 1}, {"EPROM Size@3"}},  // "16K"
        {163, {0, 2}, {"EPROM Size@11"}}, // "8K "
        {163, {1, 3}, {"RAM Protect", "EPROM Size@3", "EPROM Size@11"}}, // "4K "
    };
    for (const Case& c : cases) {
        if (c.row != GetParam().row) continue;
        SCOPED_TRACE(c.states[0] * 10 + c.states[1]);
        ClearSocket();
        sim::Z8OtpChip* chip = SelectAndSeatZ8(GetParam().name);
        DeviceEnd = 0xFF;
        FillBufferRange(0, 0xFF, 0xFF);
        std::copy(std::begin(c.states), std::end(c.states), ZilogOptionStates(GetParam().row));
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        std::vector<std::string> burnt;
        for (const auto& o : chip->BurntOptions()) {
            ExpectWidth(o.widthUs, 150000);
            burnt.push_back(o.name == "EPROM Size" ? o.name + "@" + std::to_string(o.address) : o.name);
        }
        EXPECT_EQ(burnt, c.burnt);
        EXPECT_EQ(chip->RefusedPulses(), 0u);
        ExpectNoViolations();
    }
    // A device selection shows every option OFF again (row 163's size "32K").
    ASSERT_TRUE(Select("ZILOG", GetParam().name));
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
        uint32_t states[2];
        const char* sequence; // Vpp 34, mode 9, read pin 16, read strobe 43
        std::vector<std::string> burnt;
    };
    const Case cases[] = {
        {"Z86E21", "read", [] { return Alg165Read(2); }, {1, 1}, " +16 -16", {}},
        {"Z86E21", "program, no option", Alg165Program, {0, 0}, " +34 -34 +34 +9 -9 -34", {}},
        {"Z86E21", "program, both options", Alg165Program, {1, 1}, " +34 -34 +34 +9 +16 +43 -43 -16 -9 -34",
         {"RAM Protect", "EPROM Size"}},
        {"Z86E21", "secure", Alg165Secure, {0, 0}, " +34 +9 +16 -16 -9 -34", {"Security"}},
        {"Z86E63", "read", [] { return Alg163Read(2); }, {1, 3}, " +16 -16", {}},
        {"Z86E63", "program, no option", Alg163Program, {0, 0}, " +34 +16 -16 -34 +34 +9 -9 -34", {}},
        {"Z86E63", "program, size 4K", Alg163Program, {0, 3},
         " +34 +16 -16 -34 +34 +9 +16 +43 -43 -16 +16 +43 -43 -16 -9 -34", {"EPROM Size", "EPROM Size"}},
        {"Z86E63", "secure", Alg163Secure, {0, 0}, " +34 +9 +16 -16 -9 -34", {"Security"}},
    };
    auto owned = std::make_unique<SupplyASequence>(elec, std::vector<int>{34, 9, 16, 43});
    SupplyASequence* watch = owned.get();
    simp.AddComponent(std::move(owned));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClearSocket();
        sim::Z8OtpChip* chip = SelectAndSeatZ8(c.part);
        watch->log.clear();
        DeviceEnd = 0x0F;
        FillBufferRange(0, 0x0F, 0xFF);
        std::copy(std::begin(c.states), std::end(c.states), ZilogOptionStates(CurrentAlgorithm));
        PrepareDialog();
        EXPECT_EQ(c.entry(), 1);
        EXPECT_EQ(watch->log, c.sequence);
        EXPECT_EQ(Burnt(*chip), c.burnt);
        ExpectNoViolations();
    }
}

const auto kPartName = [](const auto& info) { return std::string(info.param.name); };
INSTANTIATE_TEST_SUITE_P(Parts, ZilogParts,
                         ::testing::Values(ZilogPart{162, 3, "Z86E30"}, ZilogPart{162, 3, "Z86E40"},
                                           ZilogPart{165, 2, "Z86E21"}, ZilogPart{163, 6, "Z86E63"}),
                         kPartName);
INSTANTIATE_TEST_SUITE_P(Rows, ZilogPulsedParts,
                         ::testing::Values(ZilogPart{165, 2, "Z86E21"}, ZilogPart{163, 6, "Z86E63"}), kPartName);

TEST_F(ZilogRun, OptionByteWrittenAfterProgramAndReadBack) {
    sim::Z8OtpChip* chip = SelectAndSeatZ8("Z86E30");
    DeviceEnd = 0xFF;
    FillBufferRange(0, 0xFF, 0xFF);
    // All blank with every option OFF: no pulse at all, and 1.
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_TRUE(chip->Pulses().empty());
    ChooseTwoOptions();
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    const auto at3F = PulsesAt(*chip, true, 0x3F);
    ASSERT_EQ(at3F.size(), 2u);
    EXPECT_EQ(at3F[0].data, 0xED);
    ExpectWidth(at3F[0].widthUs, PulseWidth);
    ExpectWidth(at3F[1].widthUs, OverPulseWidth); // the over-pulse after one pulse
    EXPECT_EQ(chip->OptionByte(), 0xED);
    // A new selection shows every option OFF; Read (mode 2) brings the chip's.
    ASSERT_TRUE(Select("ZILOG", "Z86E30"));
    DeviceEnd = 0xFF;
    EXPECT_TRUE(AllOff162());
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    EXPECT_EQ(ZilogOptionByte162, 0xEDu);
    const char* shown[5] = {"ON ", "OFF", "OFF", "ON ", "OFF"};
    for (uint32_t i = 0; i < 5; ++i) EXPECT_STREQ(ZilogStatusText(3, i, ZilogOptionStates(162)[i]), shown[i]) << i;
    // The other read modes leave the states as they are.
    ASSERT_TRUE(Select("ZILOG", "Z86E30"));
    DeviceEnd = 0xFF;
    for (int op : {OpBlankCheck, OpVerify, OpCompare}) {
        Run(op);
        EXPECT_TRUE(AllOff162()) << op;
    }
    PrepareDialog();
    EXPECT_EQ(Alg162Read(1), 1);
    EXPECT_TRUE(AllOff162());
    ExpectNoViolations();
}

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

INSTANTIATE_TEST_SUITE_P(Parts, ZilogLineParts, ::testing::Values("Z86E30", "Z86E21", "Z86E63"));

TEST_P(ZilogParts, FaultsEndWithTheirLineAndBurnNoOption) {
    const bool optionByte = GetParam().row == 162;
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
        {"option pulse too short", 2, [](sim::Z8OtpFacts& f) { f.optionPulseUs = 200000; }, none, OpProgram,
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
        if (optionByte) {
            ChooseTwoOptions();
        } else {
            ZilogOptionStates(GetParam().row)[0] = 1;
            ZilogOptionStates(GetParam().row)[1] = 1;
        }
        c.inject(ui, *chip);
        EXPECT_EQ(Run(c.op), c.result) << LogText();
        EXPECT_TRUE(c.line == nullptr || HasLine(c.line)) << LogText();
        if (optionByte) {
            EXPECT_EQ(OptionPulses(*chip), c.optionPulses) << "no option burnt";
        } else {
            EXPECT_TRUE(chip->BurntOptions().empty()) << "no option burnt";
            EXPECT_EQ(chip->RefusedPulses(), c.part != nullptr ? 2u : 0u);
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
    PackageIndex = 51; // an 18-pin DIP
    PrepareDialog();
    simp.EnableTrace(true);
    simp.ClearTrace();
    EXPECT_EQ(Alg162Program(), -1);
    EXPECT_EQ(Alg162Read(2), -1);
    EXPECT_EQ(Alg162Secure(), -1);
    EXPECT_EQ(Alg163Program(), -1);
    EXPECT_EQ(Alg163Read(2), -1);
    EXPECT_EQ(Alg163Secure(), -1);
    EXPECT_TRUE(simp.PortTrace().empty());
    EXPECT_TRUE(chip->Pulses().empty());
}

} // namespace
