// Row 300: PROMs of the PROM section through the operation driver on pin-level
// models of fuse and CMOS PROMs, one per maker style.
#include "engine/Config.h"
#include "sim/PinDrivenParts.h"
#include "MemoryFixture.h"

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
}

INSTANTIATE_TEST_SUITE_P(Makers, EveryMakerStyle,
                         ::testing::Values(Style{"Philips8Bit", "PHILIPS", "82S123"},
                                           Style{"Philips4Bit", "PHILIPS", "82S129"},
                                           Style{"National", "NATIONAL-SEMICONDUCTOR", "DM74S288"},
                                           Style{"Amd", "AMD", "Am27S19"},
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

} // namespace
