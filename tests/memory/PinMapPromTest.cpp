// Row 300: PROMs of the PROM section through the operation driver on pin-level
// models of fuse and CMOS PROMs, one per maker style.
#include "engine/Config.h"
#include "sim/PinDrivenParts.h"
#include "MemoryFixture.h"
#include "PinWatch.h"

namespace {

class PromRun : public MemoryRun {
protected:
    sim::FusePromChip* chip = nullptr;

    void TearDown() override {
        if (chip != nullptr) simp.DetachComponent(chip);
        MemoryRun::TearDown();
    }
    void SelectAndSeat(const std::string& maker, const std::string& name, const std::string& part = "") {
        ASSERT_TRUE(SelectLibraryDevice(kLibraryEntryProm, SectionProm, maker, name)) << name;
        auto c = sim::FindFusePromPart(part.empty() ? maker : part, name);
        ASSERT_TRUE(c.has_value()) << name;
        auto owned = std::make_unique<sim::FusePromChip>(*c);
        elec->DeclareChip(owned->Limits());
        chip = socket->Insert(std::move(owned));
        simp.AttachComponent(chip);
    }
    uint8_t Mask() const { return static_cast<uint8_t>((1u << chip->Config().width) - 1); }
    void FillData(uint32_t seed) {
        FillPattern(DeviceEnd + 1, seed);
        for (uint32_t a = 0; a <= DeviceEnd; ++a) {
            FillBufferRange(a, a, BufferByte(a) & Mask());
            if (BufferByte(a) == chip->Config().blank) FillBufferRange(a, a, 0x5A & Mask());
        }
    }
    void ExpectChipHoldsBuffer() {
        for (uint32_t a = 0; a <= DeviceEnd; ++a) ASSERT_EQ(chip->Word(a), BufferByte(a)) << "address " << a;
    }
};

struct Style {
    const char* label;
    const char* maker;
    const char* name;
};
class EveryMakerStyle : public PromRun, public ::testing::WithParamInterface<Style> {};

TEST_P(EveryMakerStyle, BlankProgramVerifyAndRead) {
    SelectAndSeat(GetParam().maker, GetParam().name);
    if (DeviceEnd > 0xFF) DeviceEnd = 0xFF; // the first 256 bytes keep the run short
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    FillData(3);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ExpectChipHoldsBuffer();
    FillBufferRange(0, BufferByteSize - 1, 0);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    ExpectChipHoldsBuffer();
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Makers, EveryMakerStyle,
                         ::testing::Values(Style{"Philips8Bit", "PHILIPS", "82S123"},
                                           Style{"Philips4Bit", "PHILIPS", "82S129"},
                                           Style{"Signetics", "SIGNETICS(PHILIPS)", "82S123"},
                                           Style{"Texas", "TEXAS-INSTRUMENTS", "TBP18S030"},
                                           Style{"National", "NATIONAL-SEMICONDUCTOR", "DM74S288"},
                                           Style{"Amd", "AMD", "Am27S19"}, Style{"Fujitsu", "FUJITSU", "MB7051"},
                                           Style{"WaferscaleByteWrite", "WAFERSCALE-INTEGRATION", "WS57C191"},
                                           Style{"National4Bit", "NATIONAL-SEMICONDUCTOR", "DM74S287"},
                                           Style{"Amd4Bit", "AMD", "Am27S21"},
                                           Style{"Texas4Bit", "TEXAS-INSTRUMENTS", "TBP24S10"}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(PromRun, AMakerWithoutRoutineFailsAtTheFirstDifferingDatum) {
    SelectAndSeat("PHILIPS", "82S123");
    CurrentMakerName = "HARRIS";
    FillBufferRange(0, 31, 0);
    FillBufferRange(3, 3, 0x41);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine("Program error!")) << LogText();
    EXPECT_TRUE(HasLine("  Chip addr: 000003h  data: 0000h")) << LogText();
    EXPECT_TRUE(chip->IsBlank());
    EXPECT_EQ(chip->PulseCount(), 0u);
}

TEST_F(PromRun, ADatumWhoseBitsAreBlownIsNotPulsed) {
    SelectAndSeat("PHILIPS", "82S123");
    FillData(5);
    for (uint32_t a = 0; a < 32; ++a) chip->SetWord(a, BufferByte(a));
    BlankCheckBeforeProgram = 0;
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(chip->PulseCount(), 0u);
}

TEST_F(PromRun, TooLowASupplyProgramsNothing) {
    SelectAndSeat("PHILIPS", "82S123");
    auto c = chip->Config();
    FillData(2);
    // A part needing 9.0 V and more on VCC while programming.
    simp.DetachComponent(chip);
    socket->Clear();
    c.vccProgMin = 90, c.vccMaxTenths = 100;
    auto owned = std::make_unique<sim::FusePromChip>(c);
    chip = socket->Insert(std::move(owned));
    simp.AttachComponent(chip);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(chip->IsBlank());
}

// A link that does not open stops the run at its address; the words before
// it are on the part.
TEST_F(PromRun, ATexasLinkThatDoesNotOpenFailsAtItsAddress) {
    SelectAndSeat("TEXAS-INSTRUMENTS", "TBP18S030");
    FillBufferRange(0, 31, 0x81);
    chip->StickBit(2, 7);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine("Program error!")) << LogText();
    EXPECT_TRUE(HasLine("  Chip addr: 000002h  data: 0001h")) << LogText();
    EXPECT_EQ(chip->Word(0), 0x81);
    EXPECT_EQ(chip->Word(1), 0x81);
    EXPECT_EQ(chip->Word(2), 0x01);
    EXPECT_EQ(chip->Word(3), 0x00);
    ExpectNoViolations();
}

// A 4-bit part holds the low nibble of each buffer byte: the high nibble of a
// file's bytes neither fails program and verify nor reaches the part, and a
// read stores the nibble alone.
TEST_F(PromRun, ANibblePartProgramsAndVerifiesTheLowBitsOfEachByte) {
    SelectAndSeat("PHILIPS", "82S129");
    FillPattern(DeviceEnd + 1, 9);
    FillBufferRange(0, 0, 0xF5);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    for (uint32_t a = 0; a <= DeviceEnd; ++a) ASSERT_EQ(chip->Word(a), BufferByte(a) & 0x0F) << "address " << a;
    FillBufferRange(0, BufferByteSize - 1, 0xA0);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(BufferByte(0), 0x05);
    // A difference in the nibble still fails the verify.
    FillBufferRange(7, 7, static_cast<uint8_t>(BufferByte(7) ^ 0x04));
    EXPECT_EQ(Run(OpVerify), -1);
    ExpectNoViolations();
}

TEST_F(PromRun, AFujitsuFuseThatNeverBlowsFailsAfter100Pulses) {
    SelectAndSeat("FUJITSU", "MB7051");
    FillBufferRange(0, 31, 0);
    FillBufferRange(0, 0, 0x01);
    chip->StickBit(0, 0);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine("Program error!")) << LogText();
    EXPECT_EQ(chip->PulseCount(), 100u);
    ExpectNoViolations();
}

// A Fujitsu fuse that opens after three pulses gets one pulse more once it
// reads open: four pulses a bit, each bit on its own.
TEST_F(PromRun, AFujitsuFuseGetsOneMorePulseOnceItReadsOpen) {
    for (uint8_t datum : {0x01, 0x81}) {
        SCOPED_TRACE(int{datum});
        if (chip != nullptr) simp.DetachComponent(chip);
        socket->Clear();
        elec->WithdrawAllChips();
        SelectAndSeat("FUJITSU", "MB7051");
        ASSERT_EQ(chip->Config().pulsesPerFuse, 3);
        FillBufferRange(0, 31, 0);
        FillBufferRange(4, 4, datum);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(chip->PulseCount(), datum == 0x01 ? 4u : 8u);
        EXPECT_EQ(chip->Word(4), datum);
        ExpectNoViolations();
    }
}

TEST_F(PromRun, IctRefusesBlankCheckWhileProgramReadAndVerifyWork) {
    SelectAndSeat("WAFERSCALE-INTEGRATION", "WS57C191");
    CurrentMakerName = "ICT";
    DeviceEnd = 0x3F;
    EXPECT_EQ(Run(OpBlankCheck), -1);
    ExpectLinesInOrder({" This function not supported", " (blank is not defined)"});
    BlankCheckBeforeProgram = 0;
    FillData(6);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    FillBufferRange(0, BufferByteSize - 1, 0);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    ExpectChipHoldsBuffer();
    ExpectNoViolations();
}

constexpr uint32_t kDip24 = 96; // the package of the 24-pin records

// Pin traffic of one datum with bit 0 to blow, on an empty socket.
class PromTraffic : public PromRun {
protected:
    PinWatch* watch = nullptr;
    std::unique_ptr<PinWatch> owned;
    void TearDown() override {
        if (watch != nullptr) simp.DetachComponent(watch);
        PromRun::TearDown();
    }
    void ProgramBit0(const char* maker, const char* name, uint32_t subType, std::vector<int> pins,
                     const char* makerOverride = nullptr, uint32_t package = 0) {
        ASSERT_TRUE(SelectLibraryDevice(kLibraryEntryProm, SectionProm, maker, name)) << name;
        if (makerOverride != nullptr) CurrentMakerName = makerOverride;
        DeviceVariant = subType;
        if (package != 0) PackageIndex = package;
        DeviceEnd = 0;
        BlankCheckBeforeProgram = 0;
        FillBufferRange(0, 0, 0x01);
        owned = std::make_unique<PinWatch>(std::move(pins));
        watch = owned.get();
        watch->FloatLow();
        simp.AttachComponent(watch);
        Run(OpProgram); // nothing answers: the compare fails
    }
};

TEST_F(PromTraffic, SubType4StrobesPin23ForAmdAndPin25ForOtherMakers) {
    ProgramBit0("AMD", "Am27S19", 4, {23, 25});
    EXPECT_GE(watch->Peak(23), 140); // the strobe at 15 V through supply B
    EXPECT_LT(watch->Peak(25), 70);
    simp.DetachComponent(watch);
    ProgramBit0("NATIONAL-SEMICONDUCTOR", "DM74S288", 4, {23, 25});
    EXPECT_EQ(watch->FallingEdges(25), 1); // strobe high after the blow, low at the end
    EXPECT_EQ(watch->FallingEdges(23), 0);
    EXPECT_LT(watch->Peak(23), 20);
}

TEST_F(PromTraffic, VoltagePairsOfTheRussianSubTypes) {
    struct Case {
        uint32_t subType;
        int dataPin, blow, supply;
    };
    // 16-pin parts: the supply DAC is channel 4, VCC on socket pin 32 (chip pin 16).
    for (const Case k : {Case{0, 17, 190, 95}, Case{1, 28, 125, 105}}) {
        SCOPED_TRACE(k.subType);
        if (watch != nullptr) simp.DetachComponent(watch);
        ProgramBit0("PHILIPS", k.subType == 0 ? "82S123" : "82S129", k.subType, {k.dataPin, 32}, "RUSSIAN");
        EXPECT_NEAR(watch->Peak(k.dataPin), k.blow, 1);
        EXPECT_NEAR(watch->Peak(32), k.supply, 1);
    }
}

TEST_F(PromTraffic, TheTexasSequenceDisablesTheOutputsBeforeDrivingOne) {
    // Sub-type 0, 16 pins: /G on socket pin 31, O1 on 17, VCC on 32.
    ProgramBit0("TEXAS-INSTRUMENTS", "TBP18S030", 0, {31, 17, 32});
    const auto data = watch->Changes(17);
    ASSERT_FALSE(data.empty());
    uint64_t driven = 0;
    for (const auto& c : data)
        if (c.tenths >= 20 && driven == 0) driven = c.us;
    ASSERT_NE(driven, 0u);
    EXPECT_GE(watch->LevelAt(31, driven), 20); // outputs off when O1 is driven
    EXPECT_NEAR(watch->Peak(17), 105, 2);
    EXPECT_NEAR(watch->Peak(32), 105, 2);
    EXPECT_EQ(watch->FallingEdges(31, driven), 2); // the pulse, then enabled for the read-back
}

} // namespace
