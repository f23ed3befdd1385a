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
                                           Style{"National", "NATIONAL-SEMICONDUCTOR", "DM74S288"},
                                           Style{"Amd", "AMD", "Am27S19"}, Style{"Fujitsu", "FUJITSU", "MB7051"},
                                           Style{"WaferscaleByteWrite", "WAFERSCALE-INTEGRATION", "WS57C191"}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(PromRun, AMakerWithoutRoutineFailsAtTheFirstDifferingDatum) {
    SelectAndSeat("SIGNETICS(PHILIPS)", "82S123");
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

// The routine has no settled electrical meaning: nothing blows, the run fails
// at the compare and ends.
TEST_F(PromRun, TheTexasRoutineBlowsNothingAndFailsAtTheCompare) {
    SelectAndSeat("TEXAS-INSTRUMENTS", "TBP18S030");
    FillData(4);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine("Program error!")) << LogText();
    EXPECT_TRUE(chip->IsBlank());
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

TEST_F(PromTraffic, TheTexasSequenceDrivesOnlyControlEntriesThatNameAPin) {
    // Sub-type 7, a 24-pin pin-out: strobe 32, entries 130 and 131 (high at
    // power-up), then pin 33.
    ProgramBit0("TEXAS-INSTRUMENTS", "TBP18S030", 7, {32, 33, 30, 31, 21}, nullptr, kDip24);
    const auto strobe = watch->Changes(32);
    ASSERT_GE(strobe.size(), 4u);
    EXPECT_EQ(watch->FallingEdges(32), 2); // high, low, high, low
    // Between the strobe's first rise and its last fall, before the power-down:
    const uint64_t from = strobe[strobe.size() - 4].us, to = strobe.back().us;
    EXPECT_EQ(watch->LevelAt(33, from), 0); // control entry 4 low for the bit, high after
    EXPECT_GE(watch->Peak(33), 20);
    EXPECT_EQ(watch->FallingEdges(21, from, to), 1); // the data pin of bit 0 low
    EXPECT_EQ(watch->FallingEdges(30, 0, to), 0);  // entries 130 and 131 stay high
    EXPECT_EQ(watch->FallingEdges(31, 0, to), 0);
}

} // namespace
