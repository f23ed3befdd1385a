// Row 46's sector protection on the simulated chips of its records, on every
// adapter: the states read back, a new set written (protect all, unprotect
// the chip, protect the wanted ones) and found on the chip, the layout rows
// against the chips' sector maps, and the failures.
#include "FlashFixture.h"
#include "memory/JedecFlash.h"
#include "memory/SectorLayout.h"

namespace {

struct Case {
    const char* maker;
    const char* name;
};
const Case kRow46[] = {{"AMD", "Am29LV160DB"},      {"AMD", "Am29LV160DT"},
                       {"AMD", "Am29LV800BB"},      {"FUJITSU", "MBM29LV160BE"},
                       {"AMD", "Am29LV800BB@SO44"}, {"AMD", "Am29LV160DB@FBGA48"}};

class FlashProtection : public FlashRun, public ::testing::WithParamInterface<Case> {
protected:
    sim::SeatedFlash part;
    std::vector<uint32_t> bounds;

    void SetUp() override {
        FlashRun::SetUp();
        ASSERT_TRUE(Select(GetParam().maker, GetParam().name));
        part = SeatPart(GetParam().maker, GetParam().name);
        bounds = SectorLayoutBoundaries(SectorLayoutRowOf(CurrentAlgorithm, DeviceVariant));
        ASSERT_FALSE(bounds.empty());
    }
    uint32_t Sectors() const { return static_cast<uint32_t>(bounds.size() - 1); }
    std::vector<uint32_t> Read() {
        std::vector<uint32_t> states(Sectors(), 7);
        EXPECT_EQ(Entry([&] { return ReadSectorProtection46(states.data(), Sectors(), bounds.data()); }), 1);
        return states;
    }
    int Write(const std::vector<uint32_t>& states) {
        return Entry([&] { return WriteSectorProtection46(states.data(), Sectors(), bounds.data()); });
    }
    void ExpectPoweredDown() {
        EXPECT_TRUE(elec->SuppliedPins().empty()) << LogText();
        EXPECT_TRUE(elec->GroundedPins().empty()) << LogText();
    }
};

// The layout row of the record is the chip's sector map (4K-word units).
TEST_P(FlashProtection, LayoutRowIsTheChipsSectorMap) {
    const sim::JedecFlashChip* chip = part.flash();
    ASSERT_EQ(chip->SectorCount(), Sectors());
    for (uint32_t i = 0; i < Sectors(); ++i) {
        EXPECT_EQ(chip->SectorStart(i), bounds[i] << 12) << i;
        EXPECT_EQ(chip->SectorSize(i), (bounds[i + 1] - bounds[i]) << 12) << i;
    }
}

// A new set replaces the old one (a protected sector not asked for is
// unprotected); an all-zero request leaves none; 12 V lands on the adapter's
// reset pin only and every run ends powered down.
TEST_P(FlashProtection, WrittenStatesAreFoundOnTheChip) {
    sim::JedecFlashChip* chip = part.flash();
    chip->Protect(2);
    std::vector<uint32_t> want = Read();
    EXPECT_EQ(want[2], 1u);
    EXPECT_EQ(std::count(want.begin(), want.end(), 1u), 1);
    std::fill(want.begin(), want.end(), 0u);
    want[0] = want[Sectors() - 1] = 1;
    want[4] = 5; // any non-zero state protects
    EXPECT_EQ(Write(want), 1) << LogText();
    for (uint32_t i = 0; i < Sectors(); ++i)
        EXPECT_EQ(chip->IsProtected(i), want[i] != 0) << i;
    const auto back = Read();
    for (uint32_t i = 0; i < Sectors(); ++i)
        EXPECT_EQ(back[i], want[i] != 0 ? 1u : 0u) << i;
    EXPECT_EQ(Write(std::vector<uint32_t>(Sectors(), 0u)), 1) << LogText();
    for (uint32_t i = 0; i < Sectors(); ++i)
        EXPECT_FALSE(chip->IsProtected(i)) << i;
    ExpectPoweredDown();
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Row46, FlashProtection, ::testing::ValuesIn(kRow46), [](const auto& info) {
    std::string n = info.param.name;
    for (char& c : n) {
        if (c == '@') c = '_';
    }
    return n;
});

class FlashProtectionFaults : public FlashRun {};

// An unprotect that never works fails after its passes, protected sectors
// then refuse a program and survive an erase; a sub-variant without a
// procedure writes nothing and says so.
TEST_F(FlashProtectionFaults, FailuresEndWithMinusOne) {
    ASSERT_TRUE(Select("AMD", "Am29LV160DB"));
    DeviceSize = 0x40;
    SetupAddressRange();
    sim::SeatedFlash part = SeatPart("AMD", "Am29LV160DB");
    const auto bounds = SectorLayoutBoundaries(SectorLayoutRowOf(46, DeviceVariant));
    const uint32_t n = static_cast<uint32_t>(bounds.size() - 1);
    std::vector<uint32_t> states(n, 0u);
    part.flash()->NeverUnprotect(true);
    auto write = [&] {
        return Entry([&] { return WriteSectorProtection46(states.data(), n, bounds.data()); });
    };
    EXPECT_EQ(write(), -1);
    EXPECT_TRUE(part.flash()->IsProtected(0));
    FillData(3);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_TRUE(part.flash()->IsBlank());

    socket->Clear();
    elec->WithdrawAllChips();
    part = SeatPart("AMD", "Am29LV160DB");
    DeviceSubVariant = 1;
    EXPECT_EQ(write(), -1);
    EXPECT_TRUE(HasLine(" No sector protection procedure for this device!")) << LogText();
    EXPECT_TRUE(part.flash()->Writes().empty());
    ExpectNoViolations();
}

} // namespace
