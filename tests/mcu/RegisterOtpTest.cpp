// Rows 102 and 103 against the simulator's one-time parts on the multiplexed
// register bus: a file srec_cat wrote, blank 00h never pulsed, the retry and
// over-program rules, the security byte, user breaks and the bus traffic.
#include "McuFixture.h"

#include <cstdlib>

#include "sim/MuxOtpChip.h"
#include "sim/RegisterMcuBus.h"

namespace {

bool OtpBusHaveSrecCat() { return std::system("command -v srec_cat >/dev/null 2>&1") == 0; }

class OtpBusRun : public McuRun {
protected:
    void SetUp() override {
        McuRun::SetUp();
        sim::RegisterRegisterMcuBusPersonality();
    }

    sim::MuxOtpChip* Put(const std::string& name) {
        ClearSocket();
        EXPECT_TRUE(Select("GENERIC-ALGORITHM", name)) << name;
        const auto* f = sim::FindFacts<sim::MuxOtpFacts>("GENERIC-ALGORITHM", name);
        EXPECT_NE(f, nullptr) << name;
        if (f == nullptr) return nullptr;
        auto chip = std::make_unique<sim::MuxOtpChip>(*f);
        elec->DeclareChip(chip->Limits());
        return static_cast<sim::MuxOtpChip*>(socket->Insert(std::move(chip)));
    }
    bool HasLineStarting(const std::string& start) const {
        for (const auto& l : ui.Log) {
            if (l.rfind(start, 0) == 0) return true;
        }
        return false;
    }
};

class OtpBusParts : public OtpBusRun, public ::testing::WithParamInterface<const char*> {};

// Blank check, program from a file srec_cat wrote (blank bytes never
// pulsed, the opposite byte programmed), verify at both levels, compare,
// read back, save and load equal.
TEST_P(OtpBusParts, SrecFileRoundTrip) {
    if (!OtpBusHaveSrecCat()) GTEST_SKIP() << "srec_cat not installed";
    sim::MuxOtpChip* chip = Put(GetParam());
    ASSERT_NE(chip, nullptr);
    const uint32_t n = static_cast<uint32_t>(chip->Words());
    const uint8_t blank = static_cast<uint8_t>(chip->Facts().blank);
    FillPattern(n, 5);
    for (uint32_t a = 0; a < n; a += 7) BufferWindow[a] = blank;
    BufferWindow[3] = static_cast<uint8_t>(~blank);
    std::vector<uint8_t> image(n);
    for (uint32_t a = 0; a < n; ++a) image[a] = BufferByte(a);
    ASSERT_EQ(SaveHexFamilyFile("otp.bin.s19", 0, n - 1, HexFormatMotorola), 1);
    ASSERT_EQ(std::system("srec_cat otp.bin.s19 -motorola -o otp.s19 -motorola >/dev/null 2>&1"), 0);
    FillBufferRange(0, n - 1, 0x11);
    ASSERT_EQ(LoadHexFamilyFile("otp.s19", 0, 0), 1);

    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" VCCL(4.5V) Verification ok!") && HasLine(" VCCL(5.5V) Verification ok!")) << LogText();
    EXPECT_EQ(Run(OpCompare), ResultOk) << LogText();
    for (uint32_t a = 0; a < n; ++a) {
        ASSERT_EQ(chip->Cell(a), image[a]) << std::hex << a;
        if (image[a] == blank) {
            ASSERT_EQ(chip->PulsesAt(a), 0u) << std::hex << a;
        }
    }
    EXPECT_GE(chip->PulsesAt(3), 1u);
    FillBufferRange(0, n - 1, 0x11);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    ASSERT_EQ(SaveHexFamilyFile("read.s19", 0, n - 1, HexFormatMotorola), 1);
    FillBufferRange(0, n - 1, 0x11);
    ASSERT_EQ(LoadHexFamilyFile("read.s19", 0, 0), 1);
    for (uint32_t a = 0; a < n; ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
    ExpectNoViolations();
    EXPECT_TRUE(elec->SuppliedPins().empty());
}

INSTANTIATE_TEST_SUITE_P(All, OtpBusParts, ::testing::Values("OTPBUS-4K", "OTPBUS-4K-23V", "OTPBUS-8K-S", "OTPBUS-16K-FF"),
                         [](const auto& info) {
                             std::string s = info.param;
                             for (char& c : s) c = c == '-' ? '_' : c;
                             return s;
                         });

// A cell that never programs: rows 102 and 109 give up after Retry pulses
// (10 as set in the Change Algorithm dialog), row 103 after Retry - 1; the
// failing address is reported and the socket powered down.
TEST_F(OtpBusRun, CellThatNeverProgramsUsesTheRetryCount) {
    for (const auto& [name, pulses] :
         {std::pair{"OTPBUS-4K", 10u}, std::pair{"OTPBUS-8K-S", 9u}, std::pair{"OTPBUS-16K-FF", 10u}}) {
        sim::MuxOtpChip* chip = Put(name);
        ASSERT_NE(chip, nullptr);
        FillBufferRange(0, 0xFFFF, chip->Facts().blank);
        BufferWindow[0x123] = 0x5A;
        chip->StickCell(0x123);
        Retry = 10;
        EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
        EXPECT_EQ(chip->PulsesAt(0x123), pulses) << name;
        EXPECT_TRUE(HasLine(ChipAddrLine(0x123))) << LogText();
        ExpectNoViolations();
        EXPECT_TRUE(elec->SuppliedPins().empty());
    }
}

// Row 103 over-programs a cell that matched after n pulses with one of
// 3 x n x PulseWidth: 3x after the first, 9x after the third.
TEST_F(OtpBusRun, Row103OverProgramsByThePulsesTaken) {
    sim::MuxOtpChip* chip = Put("OTPBUS-8K-S");
    ASSERT_NE(chip, nullptr);
    FillBufferRange(0, 0xFFFF, 0);
    BufferWindow[0x10] = 0x81;
    BufferWindow[0x20] = 0x42;
    chip->NeedPulses(0x20, 3);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    auto near = [](const std::vector<uint64_t>& w, std::vector<uint64_t> want) {
        if (w.size() != want.size()) return false;
        for (size_t i = 0; i < w.size(); ++i) {
            if (w[i] < want[i] || w[i] > want[i] + 30) return false;
        }
        return true;
    };
    const uint64_t pw = PulseWidth;
    EXPECT_TRUE(near(chip->WidthsAt(0x10), {pw, 3 * pw})) << chip->WidthsAt(0x10).size();
    EXPECT_TRUE(near(chip->WidthsAt(0x20), {pw, pw, pw, 9 * pw})) << chip->WidthsAt(0x20).size();
    EXPECT_EQ(chip->Pulses(), 6u);
    ExpectNoViolations();
}

// Row 103's Secure programs the security byte at 1Fh with pin 31 grounded;
// a second Secure finds it set, says so and fails.
TEST_F(OtpBusRun, Row103SecuresOnceThenReportsTheSecuredDevice) {
    sim::MuxOtpChip* chip = Put("OTPBUS-8K-S");
    ASSERT_NE(chip, nullptr);
    EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
    EXPECT_EQ(chip->SecurityByte(), 0xFF);
    EXPECT_EQ(chip->Cell(0x1F), 0x00); // the code byte at 1Fh is untouched
    EXPECT_EQ(Run(OpSecurity), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine(" Device Secured!")) << LogText();
    ExpectNoViolations();
    EXPECT_TRUE(elec->SuppliedPins().empty());
}

// A part of the 23 V kind under a record of variant 0 never enters its mode:
// the pulse level follows the variant.
TEST_F(OtpBusRun, Row102PulseLevelFollowsTheVariant) {
    sim::MuxOtpChip* chip = Put("OTPBUS-4K-23V");
    ASSERT_NE(chip, nullptr);
    DeviceVariant = 0;
    FillBufferRange(0, 0xFFFF, 0);
    BufferWindow[0] = 0x33;
    EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
    EXPECT_EQ(chip->Pulses(), 0u);
    DeviceVariant = 1;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(chip->Cell(0), 0x33);
}

// ESC: 3, no further pulse, powered down.
TEST_F(OtpBusRun, UserBreakEndsEitherRow) {
    for (const char* name : {"OTPBUS-4K", "OTPBUS-8K-S", "OTPBUS-16K-FF"}) {
        sim::MuxOtpChip* chip = Put(name);
        ASSERT_NE(chip, nullptr);
        FillBufferRange(0, 0xFFFF, 0x01);
        BlankCheckBeforeProgram = 0;
        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(OpProgram), ResultUserBreak) << LogText();
        EXPECT_EQ(chip->Cell(static_cast<uint32_t>(chip->Words() - 1)), chip->Facts().blank);
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
}

// Row 102's power-up, an address and a read cycle on the bus registers.
TEST_F(OtpBusRun, Row102RegisterTrace) {
    ASSERT_NE(Put("OTPBUS-4K"), nullptr);
    DeviceEnd = 1;
    StartTrace();
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    std::vector<std::pair<int, int>> w;
    for (const auto& r : simp.RegisterTrace()) {
        if (r.write && r.reg <= 11) w.emplace_back(r.reg, r.value);
    }
    const std::vector<std::pair<int, int>> want = {
        {1, 6}, {4, 0x0B}, {4, 0x0F}, {1, 4}, {4, 0x0D},          // power-up
        {0, 0}, {1, 4}, {9, 0}, {1, 5},                            // address 0
        {4, 0x0F}, {1, 7}, {1, 5}, {4, 0x0D},                      // read cycle
        {1, 4}, {9, 1}, {1, 5}, {4, 0x0F}, {1, 7}, {1, 5}, {4, 0x0D}}; // address 1, read
    auto it = std::search(w.begin(), w.end(), want.begin(), want.end());
    EXPECT_NE(it, w.end());
}

// Row 109 latches the whole address at every cell and reads with register 4
// at 7; a program pulse is /PGM low around 1 ms of Vpp on pin 9.
TEST_F(OtpBusRun, Row109AddressesEveryCellAndPulsesOneMillisecond) {
    sim::MuxOtpChip* chip = Put("OTPBUS-16K-FF");
    ASSERT_NE(chip, nullptr);
    DeviceEnd = 3;
    StartTrace();
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    std::vector<std::pair<int, int>> w;
    for (const auto& r : simp.RegisterTrace()) {
        if (r.write && r.reg <= 11) w.emplace_back(r.reg, r.value);
    }
    const std::vector<std::pair<int, int>> cell = {{4, 5}, {6, 2}, {1, 0}, {2, 1}, {2, 0}, {4, 7}, {3, 0}, {3, 0xFF}};
    EXPECT_NE(std::search(w.begin(), w.end(), cell.begin(), cell.end()), w.end());
    EXPECT_EQ(std::count(w.begin(), w.end(), std::pair{2, 1}), 4);

    DeviceEnd = chip->Words() - 1;
    FillBufferRange(0, 0xFFFF, 0xFF);
    BufferWindow[0x2345] = 0x0F;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    ASSERT_EQ(chip->WidthsAt(0x2345).size(), 1u);
    EXPECT_GE(chip->WidthsAt(0x2345)[0], 1000u);
    EXPECT_LT(chip->WidthsAt(0x2345)[0], 2500u); // the 1 ms delay slot
    EXPECT_EQ(chip->Cell(0x2345), 0x0F);
    EXPECT_EQ(chip->Pulses(), 1u);
    ExpectNoViolations();
}

} // namespace

namespace {

// Row 103's cell: the address, the datum, a strobe of register 3, the read
// cycle and the over-program strobe.
TEST_F(OtpBusRun, Row103ProgramCellTrace) {
    ASSERT_NE(Put("OTPBUS-8K-S"), nullptr);
    FillBufferRange(0, 0xFFFF, 0);
    BufferWindow[0x12] = 0x24;
    BlankCheckBeforeProgram = 0;
    VerifyAfterProgram = 0;
    StartTrace();
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    std::vector<std::pair<int, int>> w;
    for (const auto& r : simp.RegisterTrace()) {
        if (r.write && r.reg <= 11) w.emplace_back(r.reg, r.value);
    }
    const std::vector<std::pair<int, int>> want = {{1, 4},    {9, 0x12}, {1, 5},    {9, 0x24}, {3, 0x0D}, {3, 9},
                                                   {4, 0x0F}, {1, 7},    {1, 5},    {4, 0x0D}, {3, 0x0D}, {3, 9}};
    EXPECT_NE(std::search(w.begin(), w.end(), want.begin(), want.end()), w.end());
}

} // namespace
