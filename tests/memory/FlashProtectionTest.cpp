// Sector protection on the simulated chips of the records of every row with
// a protection reader and writer (46 on every adapter and method; 20, 22 and
// 27 with A9 and /OE at VID; 29 with RESET# at VID; 93; 72 by each
// sub-variant's procedures but the reset pin's; 6 with A9 and /OE at VID,
// the Am29F040 by its die's method): the states read back, a new set
// written (protect all, unprotect the chip, protect the wanted ones) and
// found on the chip, the layout rows against the chips' sector maps, and the
// failures.
#include "FlashFixture.h"
#include "memory/JedecFlash.h"
#include "memory/SectorLayout.h"
#include "memory/SectorProtection.h"

namespace {

struct Case {
    const char* maker;
    const char* name;
    uint32_t subVariant = 0; // row 46: 0 RESET# at VID, 1 A9 and /OE at VID; rows 27, 72: their procedures; row 6: die read
};
const Case kParts[] = {{"AMD", "Am29LV160DB"},         {"AMD", "Am29LV160DT"},
                       {"AMD", "Am29LV800BB"},         {"FUJITSU", "MBM29LV160BE", 1},
                       {"AMD", "Am29LV800BB@SO44"},    {"AMD", "Am29LV160DB@FBGA48"},
                       {"AMD", "Am29LV160DB", 1},      {"AMD", "Am29LV800BB@SO44", 1},
                       {"AMD", "Am29F400BB"},          {"AMD", "Am29F400BT"},
                       {"AMD", "Am29LV400BB"},         {"AMD", "Am29LV400BT"},
                       {"AMD", "Am29F010B", 1},        {"AMD", "Am29F040B", 1},
                       {"AMD", "Am29LV033C"},          {"AMD", "Am29F016B"},
                       {"AMD", "Am29LV040B", 5},       {"AMD", "Am29F002T"},
                       {"AMD", "Am29F002B"},
                       {"ST", "M29F040B"},             {"ST", "M29F040", 3},
                       {"ALLIANCE", "AS29F040", 5},    {"HYUNDAI", "HY29F040", 6},
                       {"GENERIC-ALGORITHM", "BF72-OECMD-512K", 1},
                       {"GENERIC-ALGORITHM", "BF72-CEPLS-512K", 2},
                       {"AMD", "Am29F040", 1},         {"AMD", "Am29F200BB"},
                       {"AMD", "Am29F200BT"},          {"AMD", "Am29F800BB"},
                       {"AMD", "Am29F800BT"},          {"AMD", "Am29LV800BB-BYTE"},
                       {"AMD", "Am29LV800BT"},         {"GENERIC-ALGORITHM", "BF-P41HV-512K", 1}};

class FlashProtection : public FlashRun, public ::testing::WithParamInterface<Case> {
protected:
    sim::SeatedFlash part;
    std::vector<uint32_t> bounds;

    void SetUp() override {
        FlashRun::SetUp();
        ASSERT_TRUE(Select(GetParam().maker, GetParam().name));
        DeviceSubVariant = GetParam().subVariant;
        part = SeatPart(GetParam().maker, GetParam().name);
        bounds = SectorLayoutBoundaries(SectorLayoutRowOf(CurrentAlgorithm, DeviceVariant));
        routines = SectorProtectionOf(CurrentAlgorithm);
        ASSERT_FALSE(bounds.empty());
        ASSERT_NE(routines.write, nullptr);
    }
    SectorProtectionRoutines routines;
    uint32_t Sectors() const { return static_cast<uint32_t>(bounds.size() - 1); }
    std::vector<uint32_t> Read() {
        std::vector<uint32_t> states(Sectors(), 7);
        EXPECT_EQ(Entry([&] { return routines.read(states.data(), Sectors(), bounds.data()); }), 1);
        return states;
    }
    int Write(const std::vector<uint32_t>& states) {
        return Entry([&] { return routines.write(states.data(), Sectors(), bounds.data()); });
    }
    void ExpectPoweredDown() {
        EXPECT_TRUE(elec->SuppliedPins().empty()) << LogText();
        EXPECT_TRUE(elec->GroundedPins().empty()) << LogText();
    }
};

// The layout row of the record is the chip's sector map (units of 4K data;
// the byte-mode parts count bytes of their words).
TEST_P(FlashProtection, LayoutRowIsTheChipsSectorMap) {
    const sim::JedecFlashChip* chip = part.flash();
    const uint32_t perWord = part.byteMode ? 2 : 1;
    ASSERT_EQ(chip->SectorCount(), Sectors());
    for (uint32_t i = 0; i < Sectors(); ++i) {
        EXPECT_EQ(chip->SectorStart(i) * perWord, bounds[i] << 12) << i;
        EXPECT_EQ(chip->SectorSize(i) * perWord, (bounds[i + 1] - bounds[i]) << 12) << i;
    }
}

// A new set replaces the old one (a protected sector not asked for is
// unprotected; sectors inside one 64 KB block told apart); an all-zero
// request leaves none; the high voltage lands on the role pins only (no
// violation) and every run ends powered down.
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

// An unprotect that never works ends with -1 after its passes; the sectors
// stay protected, refuse a program and keep their data through an erase.
TEST_P(FlashProtection, UnprotectThatNeverWorks) {
    Limit(0x40);
    sim::JedecFlashChip* chip = part.flash();
    chip->NeverUnprotect(true);
    EXPECT_EQ(Write(std::vector<uint32_t>(Sectors(), 0u)), -1);
    for (uint32_t i = 0; i < Sectors(); ++i) EXPECT_TRUE(chip->IsProtected(i)) << i;
    FillData(3);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_TRUE(chip->IsBlank());
    chip->SetCell(0, 0x12);
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_EQ(chip->Cell(0), 0x12);
    ExpectPoweredDown();
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Rows, FlashProtection, ::testing::ValuesIn(kParts), [](const auto& info) {
    std::string n = std::string(info.param.name) + (info.param.subVariant ? "_ByA9AndOe" : "");
    for (char& c : n) {
        if (c == '@' || c == '-') c = '_';
    }
    return n;
});

class FlashProtectionFaults : public FlashRun {};

// The HY29F040 answers its protection verify only with A6 low: its chip
// unprotect, verified at 02h, is pulsed again until the sectors read
// unprotected (a verify at 42h would read none protected after the first
// pulse and stop with the part still protected).
TEST_F(FlashProtectionFaults, Hy29f040UnprotectVerifiesWithA6Low) {
    ASSERT_TRUE(Select("HYUNDAI", "HY29F040"));
    DeviceSubVariant = 6;
    sim::SeatedFlash part = SeatPart("HYUNDAI", "HY29F040");
    sim::JedecFlashChip* chip = part.flash();
    const std::vector<uint32_t> bounds = SectorLayoutBoundaries(SectorLayoutRowOf(CurrentAlgorithm, DeviceVariant));
    const SectorProtectionRoutines routines = SectorProtectionOf(CurrentAlgorithm);
    const uint32_t sectors = static_cast<uint32_t>(bounds.size() - 1);
    chip->Protect(1);
    chip->UnprotectFromPulse(3);
    const std::vector<uint32_t> none(sectors, 0u);
    EXPECT_EQ(Entry([&] { return routines.write(none.data(), sectors, bounds.data()); }), 1) << LogText();
    for (uint32_t i = 0; i < sectors; ++i) EXPECT_FALSE(chip->IsProtected(i)) << i;
    EXPECT_GE(chip->ChipUnprotects(), 1u);
    ExpectNoViolations();
}

// A sub-variant without a procedure or an adapter without the method's pin
// writes nothing and says so.
TEST_F(FlashProtectionFaults, FailuresEndWithMinusOne) {
    ASSERT_TRUE(Select("AMD", "Am29LV160DB"));
    sim::SeatedFlash part = SeatPart("AMD", "Am29LV160DB");
    const auto bounds = SectorLayoutBoundaries(SectorLayoutRowOf(46, DeviceVariant));
    const uint32_t n = static_cast<uint32_t>(bounds.size() - 1);
    std::vector<uint32_t> states(n, 0u);
    auto write = [&] {
        return Entry([&] { return WriteSectorProtection46(states.data(), n, bounds.data()); });
    };
    const struct {
        uint32_t subVariant, adapter;
        const char* line;
    } refused[] = {{3, 0x51, " No sector protection procedure for this device!"},
                   {1, 0x6B, " No high-voltage pin for this adapter!"},
                   {0, 0x5C, " No high-voltage pin for this adapter!"}};
    for (const auto& c : refused) {
        DeviceSubVariant = c.subVariant;
        AdapterCode = c.adapter;
        DeviceFlags |= c.adapter == 0x5C ? 0x200 : 0; // that adapter's second pin set has no reset pin
        EXPECT_EQ(write(), -1);
        EXPECT_TRUE(HasLine(c.line)) << LogText();
        EXPECT_TRUE(part.flash()->Writes().empty());
        EXPECT_TRUE(elec->SuppliedPins().empty());
    }
    ExpectNoViolations();
}

} // namespace
