// Rows 172 and 124 against the catalog's latched-address OTP parts: whole
// runs from a file srec_cat wrote, securing and its read-back, the retry and
// over-program rules, the first address of a range, and the pin traffic.
#include <cstdlib>

#include "McuFixture.h"

#include "engine/RowDef.h"
#include "sim/LatchedOtpChips.h"

namespace {

bool LatchHaveSrecCat() {
    return std::system("command -v srec_cat >/dev/null 2>&1") == 0;
}

// Watches one pin beside the part while VCC (socket pin vcc) is on: its high
// pulses at logic level with the voltage on the Vpp pin at their start, and
// the highest supply switched onto it.
class LatchAuxWatch : public sim::ChipModel {
  public:
    LatchAuxWatch(int pin, int vppPin, int vccPin) : pin_(pin), vpp_(vppPin), vcc_(vccPin) {}
    std::string Name() const override { return "auxiliary pin watch"; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const sim::PinEnvironment& env) override {
        const sim::PinCondition c = env.ConditionAt(pin_);
        const bool high = c.driven && c.drivenHigh && c.supplyTenths < 0 && !c.grounded;
        if (env.VoltageTenths(vcc_) >= 45) {
            if (high && !high_) {
                since_ = env.NowUs();
                vppAtRise_ = env.VoltageTenths(vpp_);
            } else if (!high && high_) {
                pulses.emplace_back(vppAtRise_, env.NowUs() - since_);
            }
        }
        high_ = high;
        SuppliesChanged(env);
    }
    void SuppliesChanged(const sim::PinEnvironment& env) override {
        if (env.VoltageTenths(vcc_) >= 45)
            supplyMax = std::max(supplyMax, env.ConditionAt(pin_).supplyTenths);
    }
    sim::ChipDrive Output(const sim::PinEnvironment&, int) const override { return sim::ChipDrive::None; }
    std::vector<std::pair<int, uint64_t>> pulses; // (Vpp tenths at the rise, width us)
    int supplyMax = -1;

  private:
    int pin_, vpp_, vcc_;
    bool high_ = false;
    uint64_t since_ = 0;
    int vppAtRise_ = 0;
    std::vector<int> pins_ = sim::DipSocketPins(48);
};

// Spans of the programming voltage (above 10.5 V) on one pin: level, length.
class LatchVppWatch : public sim::ChipModel {
  public:
    explicit LatchVppWatch(int pin) : pin_(pin) {}
    std::string Name() const override { return "programming pin watch"; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void SuppliesChanged(const sim::PinEnvironment& env) override {
        const int v = env.VoltageTenths(pin_);
        if (v >= 105 && !on_) {
            on_ = true;
            since_ = env.NowUs();
            level_ = v;
        } else if (v < 105 && on_) {
            on_ = false;
            spans.emplace_back(level_, env.NowUs() - since_);
        }
    }
    sim::ChipDrive Output(const sim::PinEnvironment&, int) const override { return sim::ChipDrive::None; }
    std::vector<std::pair<int, uint64_t>> spans;

  private:
    int pin_;
    bool on_ = false;
    uint64_t since_ = 0;
    int level_ = 0;
    std::vector<int> pins_ = sim::DipSocketPins(48);
};

class OtpLatchRun : public McuRun {
  protected:
    // Selects the device and seats its catalog part.
    template <class Chip> Chip* PutLatched(const char* name) {
        ClearSocket();
        EXPECT_TRUE(Select("GENERIC-ALGORITHM", name)) << name;
        const sim::CatalogPart* part = sim::FindPart("GENERIC-ALGORITHM", name);
        EXPECT_NE(part, nullptr) << name;
        if (part == nullptr) return nullptr;
        std::unique_ptr<sim::CatalogChip> made = sim::MakeChip(*part);
        auto* chip = sim::SeatedModel<Chip>(made.get());
        EXPECT_NE(chip, nullptr) << name;
        if (chip == nullptr) return nullptr;
        made.release();
        elec->DeclareChip(chip->Limits());
        return socket->Insert(std::unique_ptr<Chip>(chip));
    }
    sim::LatchBusOtpChip* PutBus(const char* name) { return PutLatched<sim::LatchBusOtpChip>(name); }
    sim::SplitLatchOtpChip* PutSplit(const char* name) { return PutLatched<sim::SplitLatchOtpChip>(name); }

    // The sample program moved to `at` by srec_cat (Intel hex), loaded into
    // a buffer of `fill`; the bytes of `from`..`from` + n - 1.
    std::vector<uint8_t> LoadMovedSample(uint32_t at, uint8_t fill, uint32_t from, uint32_t n) {
        const std::string file = "moved.hex";
        char cmd[512];
        std::snprintf(
            cmd, sizeof cmd,
            "srec_cat -disable-sequence-warnings %s/mcu-sample/blink.ihx -intel -offset 0x%X -o %s -intel",
            ProgramDirectory.c_str(), at, file.c_str());
        EXPECT_EQ(std::system(cmd), 0);
        FillBufferRange(0, 0xFFFF, fill);
        EXPECT_EQ(LoadHexFamilyFile(file, 0, 0), 1);
        std::vector<uint8_t> image(n);
        for (uint32_t a = 0; a < n; ++a)
            image[a] = BufferByte(from + a);
        return image;
    }
    void ExpectSavedEqual(uint32_t from, const std::vector<uint8_t>& image) {
        const uint32_t last = from + static_cast<uint32_t>(image.size()) - 1;
        ASSERT_EQ(SaveHexFamilyFile("saved.hex", from, last, HexFormatIntel), 1);
        FillBufferRange(from, last, 0x5A);
        ASSERT_EQ(LoadHexFamilyFile("saved.hex", 0, 0), 1);
        for (uint32_t a = 0; a < image.size(); ++a)
            ASSERT_EQ(BufferByte(from + a), image[a]) << std::hex << a;
    }
};

class OtpLatchBusParts : public OtpLatchRun, public ::testing::WithParamInterface<const char*> {};

// Blank check, program from a file srec_cat wrote, verify, read back and
// save equal, blank check failing; then Secure and its read-back in
// securing mode; no violations.
TEST_P(OtpLatchBusParts, Row172ProgramsSrecFileAndSecures) {
    if (!LatchHaveSrecCat()) GTEST_SKIP() << "srec_cat not installed";
    sim::LatchBusOtpChip* chip = PutBus(GetParam());
    ASSERT_NE(chip, nullptr);
    const uint32_t start = DeviceStart;
    ASSERT_EQ(BufferStart, start);
    const uint32_t n = 0x10000 - start;
    const std::vector<uint8_t> image = LoadMovedSample(start, 0x00, start, n);
    ASSERT_NE(image[0], 0);

    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    for (uint32_t a = 0; a < n; ++a) {
        ASSERT_EQ(chip->Cell(start + a), image[a]) << std::hex << a;
        if (image[a] == 0) {
            ASSERT_EQ(chip->PulsesAt(start + a), 0u) << std::hex << a; // blank: no pulse
        }
    }
    FillBufferRange(0, 0xFFFF, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    EXPECT_EQ(BufferByte(start - 1), 0x5A); // nothing below the code
    ExpectSavedEqual(start, image);
    EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();

    EXPECT_FALSE(chip->Secured());
    EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
    EXPECT_TRUE(HasLine("Security ok!")) << LogText();
    EXPECT_TRUE(chip->Secured());
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(All, OtpLatchBusParts,
                         ::testing::Values("OTPLATCH28-4K", "OTPLATCH40-4K", "OTPLATCH28-16K",
                                           "OTPLATCH40-32K"));

// The mode-6 verdict is the part's own: a part whose security cell never
// takes fails the read-back even where the last module left the compare
// value at the unsecured answer (00h), and a secured part passes it even
// where the last module left another value.
TEST_F(OtpLatchRun, Row172SecureVerdictDoesNotDependOnTheLastModule) {
    sim::LatchBusOtpChip* chip = PutBus("OTPLATCH28-4K");
    chip->RefuseSecuring();
    SecureCheckValue = 0x00;
    EXPECT_EQ(Run(OpSecurity), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine("Security error!")) << LogText();
    EXPECT_FALSE(chip->Secured());

    chip = PutBus("OTPLATCH40-8K");
    SecureCheckValue = 0x00;
    EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
    EXPECT_TRUE(chip->Secured());
    ExpectNoViolations();
}

// A range starting inside a 256-byte page latches its high address at the
// first address: the bytes land at F123h on, not at a stale latch.
TEST_F(OtpLatchRun, Row172RangeFromInsideAPageLatchesItsHighAddress) {
    sim::LatchBusOtpChip* chip = PutBus("OTPLATCH28-4K");
    // A latch left elsewhere by an earlier run.
    FillBufferRange(0, 0xFFFF, 0);
    BufferWindow[0xF700] = 0x11;
    DeviceStart = BufferStart = 0xF700;
    DeviceEnd = 0xF700;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0xF123; a < 0xF140; ++a)
        BufferWindow[a] = static_cast<uint8_t>(a * 7 + 1);
    DeviceStart = BufferStart = 0xF123;
    DeviceEnd = 0xF13F;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0xF123; a < 0xF140; ++a)
        EXPECT_EQ(chip->Cell(a), static_cast<uint8_t>(a * 7 + 1)) << std::hex << a;
    EXPECT_EQ(chip->Cell(0xF723), 0);
    FillBufferRange(0xF100, 0xF1FF, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    EXPECT_EQ(BufferByte(0xF123), static_cast<uint8_t>(0xF123 * 7 + 1));
    EXPECT_EQ(BufferByte(0xF122), 0x5A);
    ExpectNoViolations();
}

// Faults: a cell that never takes gets Retry - 1 pulses and fails at its
// address; a cell taking on its third pulse gets an over-program pulse of
// 3 x OverPulseWidth with PulseMul, OverPulseWidth without, none at 0; a
// user break; variant 2 reads from C000h into the buffer from C000h.
TEST_F(OtpLatchRun, Row172RetryOverPulseBreakAndVariantStart) {
    sim::LatchBusOtpChip* chip = PutBus("OTPLATCH40-4K");
    chip->StickCell(0xF010);
    FillBufferRange(0, 0xFFFF, 0x3C);
    EXPECT_EQ(Retry, 25u);
    EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine("Program error!")) << LogText();
    EXPECT_TRUE(HasLine(ChipAddrLine(0xF010))) << LogText();
    EXPECT_EQ(chip->PulsesAt(0xF010), 24u);
    EXPECT_EQ(chip->PulsesAt(0xF011), 0u);

    struct Case {
        uint32_t over, mul;
        std::vector<uint64_t> widths;
    };
    for (const Case& c : {Case{300, 1, {100, 100, 100, 900}}, Case{300, 0, {100, 100, 100, 300}},
                          Case{0, 1, {100, 100, 100}}}) {
        chip = PutBus("OTPLATCH28-4K");
        chip->SetPulsesNeeded(0xF000, 3);
        FillBufferRange(0, 0xFFFF, 0);
        BufferWindow[0xF000] = 0xA5;
        OverPulseWidth = c.over;
        PulseMul = c.mul;
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        const std::vector<uint64_t> widths = chip->WidthsAt(0xF000);
        ASSERT_EQ(widths.size(), c.widths.size()) << c.over << " " << c.mul;
        EXPECT_EQ(chip->Pulses(), c.widths.size());
        // The strobe's edges take a few microseconds of port traffic.
        for (size_t i = 0; i < widths.size(); ++i) {
            EXPECT_GE(widths[i], c.widths[i]) << i;
            EXPECT_LE(widths[i], c.widths[i] + 20) << i;
        }
    }

    PutBus("OTPLATCH28-4K");
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    FillBufferRange(0, 0xFFFF, 0x11);
    EXPECT_EQ(Run(OpProgram), ResultUserBreak) << LogText();
    EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();

    chip = PutBus("OTPLATCH28-16K");
    EXPECT_EQ((std::pair{DeviceStart, BufferStart}), (std::pair{0xC000u, 0xC000u}));
    chip->SetCell(0xC000, 0x12);
    chip->SetCell(0xFFFF, 0x34);
    FillBufferRange(0, 0xFFFF, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    EXPECT_EQ(BufferByte(0xC000), 0x12);
    EXPECT_EQ(BufferByte(0xFFFF), 0x34);
    EXPECT_EQ(BufferByte(0xBFFF), 0x5A);
    ExpectNoViolations();
}

// The auxiliary pin: one high pulse of 10 us at logic level after the
// programming voltage is on when programming; 5.0 V from supply A, no pulse,
// when reading. Both pin columns.
TEST_F(OtpLatchRun, Row172AuxiliaryPinTraffic) {
    struct Column {
        const char* part;
        int aux, vpp, vcc;
    };
    for (const Column& c : {Column{"OTPLATCH28-4K", 34, 11, 38}, Column{"OTPLATCH40-4K", 32, 11, 8}}) {
        PutBus(c.part);
        auto* watch = socket->Insert(std::make_unique<LatchAuxWatch>(c.aux, c.vpp, c.vcc));
        FillBufferRange(0, 0xFFFF, 0);
        BufferWindow[0xF000] = 0x81;
        DeviceEnd = 0xF00F;
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        ASSERT_EQ(watch->pulses.size(), 1u) << c.part;
        EXPECT_EQ(watch->pulses[0].first, 125) << c.part;
        EXPECT_GE(watch->pulses[0].second, 10u) << c.part;
        EXPECT_LE(watch->pulses[0].second, 30u) << c.part;
        EXPECT_EQ(watch->supplyMax, -1) << c.part;
        watch->pulses.clear();
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        EXPECT_TRUE(watch->pulses.empty()) << c.part;
        EXPECT_EQ(watch->supplyMax, 50) << c.part;
    }
    ExpectNoViolations();
}

// Row 124: a file srec_cat wrote programs, verifies, reads back and saves
// equal; FFh bytes and bytes the part already holds get no pulse; blank
// check then fails.
TEST_F(OtpLatchRun, Row124ProgramsSrecFileSkippingHeldBytes) {
    if (!LatchHaveSrecCat()) GTEST_SKIP() << "srec_cat not installed";
    for (const char* name : {"OTPSPLIT-4K", "OTPSPLIT-8K"}) {
        sim::SplitLatchOtpChip* chip = PutSplit(name);
        ASSERT_NE(chip, nullptr);
        const uint32_t n = DeviceEnd + 1;
        const std::vector<uint8_t> image = LoadMovedSample(0, 0xFF, 0, n);
        EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
        // A byte already right on the part.
        uint32_t held = 0;
        while (image[held] == 0xFF)
            ++held;
        chip->SetCell(held, image[held]);
        BlankCheckBeforeProgram = 0;
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        for (uint32_t a = 0; a < n; ++a) {
            ASSERT_EQ(chip->Cell(a), image[a]) << std::hex << a;
            if (image[a] == 0xFF || a == held) {
                ASSERT_EQ(chip->PulsesAt(a), 0u) << std::hex << a;
            }
        }
        FillBufferRange(0, 0xFFFF, 0x5A);
        EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
        ExpectSavedEqual(0, image);
        EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();
    }
    ExpectNoViolations();
}

// Row 124: 1000 pulses on a cell that never takes, whatever Retry holds; the
// programming voltage pulsed on pin 19 at Vpp for PulseWidth; a byte at
// 1234h reaches the part through A12 on pin 15; a user break.
TEST_F(OtpLatchRun, Row124AttemptBoundVppPulseAndHighAddress) {
    sim::SplitLatchOtpChip* chip = PutSplit("OTPSPLIT-8K");
    chip->StickCell(0x0005);
    Retry = 5;
    FillBufferRange(0, 0xFFFF, 0x3C);
    EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine(ChipAddrLine(0x0005))) << LogText();
    EXPECT_EQ(chip->PulsesAt(0x0005), 1000u);
    EXPECT_EQ(chip->PulsesAt(0x0006), 0u);

    chip = PutSplit("OTPSPLIT-8K");
    auto* watch = socket->Insert(std::make_unique<LatchVppWatch>(19));
    chip->SetPulsesNeeded(0x1234, 2);
    FillBufferRange(0, 0xFFFF, 0xFF);
    BufferWindow[0x1234] = 0x42;
    BufferWindow[0x0234] = 0x24;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(chip->Cell(0x1234), 0x42);
    EXPECT_EQ(chip->Cell(0x0234), 0x24);
    ASSERT_EQ(watch->spans.size(), 3u); // 0234h once, 1234h twice
    for (const auto& [level, us] : watch->spans) {
        EXPECT_EQ(level, 125);
        EXPECT_GE(us, 100u);
        EXPECT_LE(us, 120u);
    }

    PutSplit("OTPSPLIT-8K");
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    FillBufferRange(0, 0xFFFF, 0x11);
    EXPECT_EQ(Run(OpProgram), ResultUserBreak) << LogText();
    EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
    ExpectNoViolations();
}

// The librarian's limits: row 172's five start addresses, row 124's 13
// address bits.
TEST_F(OtpLatchRun, LatchedRowsRefuseRecordsPastTheirTables) {
    const RowDef* r172 = RowDefinition(172);
    const RowDef* r124 = RowDefinition(124);
    ASSERT_TRUE(r172 != nullptr && r124 != nullptr);
    EXPECT_EQ(RowRecordRefusal(*r172, {.Variant = 4}), "");
    EXPECT_NE(RowRecordRefusal(*r172, {.Variant = 5}), "");
    EXPECT_EQ(RowRecordRefusal(*r124, {.DeviceSize = 0x2000}), "");
    EXPECT_NE(RowRecordRefusal(*r124, {.DeviceSize = 0x4000}), "");
}

} // namespace
