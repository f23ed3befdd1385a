// The failures of the sector protection of the byte-wide rows (20-29, 93) on
// the simulated chips of their records, and the page settings rows 23 and 24
// refuse.
#include "FlashFixture.h"
#include "memory/HvSectorFlash.h"
#include "memory/SectorLayout.h"

namespace {

class HvProtectionFaults : public FlashRun {};

// Module B without an unprotect method protects what was asked on top of what
// was there and says -1 when the chip then differs from the request; the 'Q'
// adapter has no auxiliary pin for a 32-pin part, so that method switches
// nothing.
TEST_F(HvProtectionFaults, ModuleBWithoutItsUnprotect) {
    ASSERT_TRUE(Select("AMD", "Am29F040B"));
    sim::SeatedFlash part = SeatPart("AMD", "Am29F040B");
    const auto bounds = SectorLayoutBoundaries(SectorLayoutRowOf(27, DeviceVariant));
    const uint32_t n = static_cast<uint32_t>(bounds.size() - 1);
    auto write = [&](std::vector<uint32_t> states) {
        return Entry([&] { return SectorProtectionOf(27).write(states.data(), n, bounds.data()); });
    };
    DeviceSubVariant = 3;
    std::vector<uint32_t> some(n, 0u);
    some[1] = 1;
    EXPECT_EQ(write(some), -1) << LogText();
    EXPECT_TRUE(part.flash()->IsProtected(0));
    EXPECT_EQ(write(std::vector<uint32_t>(n, 1u)), 1) << LogText();

    DeviceSubVariant = 1;
    AdapterCode = 'Q';
    EXPECT_EQ(write(some), -1);
    EXPECT_TRUE(HasLine(" No auxiliary high-voltage pin for this adapter!")) << LogText();
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

// Row 93 wires its A9 and /OE pins for 40-pin packages only: elsewhere the
// writer switches nothing and the reader lists every sector unprotected.
TEST_F(HvProtectionFaults, Row93WithoutPinsForThePackage) {
    ASSERT_TRUE(Select("AMD", "Am29F016B"));
    sim::SeatedFlash part = SeatPart("AMD", "Am29F016B");
    part.flash()->Protect(0);
    PackageIndex = 17;
    const auto bounds = SectorLayoutBoundaries(SectorLayoutRowOf(93, DeviceVariant));
    std::vector<uint32_t> states(bounds.size() - 1, 1u);
    const uint32_t n = static_cast<uint32_t>(states.size());
    EXPECT_EQ(Entry([&] { return SectorProtectionOf(93).write(states.data(), n, bounds.data()); }), -1);
    EXPECT_TRUE(HasLine(" No high-voltage pin for this package!")) << LogText();
    EXPECT_FALSE(part.flash()->IsProtected(1));
    EXPECT_EQ(Entry([&] { return SectorProtectionOf(93).read(states.data(), n, bounds.data()); }), 1);
    EXPECT_EQ(states[0], 0u);
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

// Page programming refuses a page length that is 0, above 256 or not a power
// of two, and a start off a page boundary, before any power-up.
TEST_F(HvProtectionFaults, PageSettingsRefusedBeforePowerUp) {
    const struct {
        uint32_t row, page, start;
        const char* line;
    } cases[] = {{23, 0, 0, " Page size 0 is not a power of two from 1 to 256!"},
                 {24, 512, 0, " Page size 512 is not a power of two from 1 to 256!"},
                 {23, 48, 0, " Page size 48 is not a power of two from 1 to 256!"},
                 {24, 64, 0x20, " Start address 000020h is not on a page boundary!"}};
    for (const auto& c : cases) {
        ASSERT_TRUE(Select("AMD", "Am29F040B"));
        sim::SeatedFlash part = SeatPart("AMD", "Am29F040B");
        CurrentAlgorithm = c.row;
        PageSize = c.page;
        DeviceStart = c.start;
        FillData(1);
        EXPECT_EQ(Entry([] { return AlgorithmRow(CurrentAlgorithm)->Program(); }), -1) << c.page;
        EXPECT_TRUE(HasLine(c.line)) << LogText();
        EXPECT_TRUE(part.flash()->Writes().empty());
        EXPECT_TRUE(part.flash()->IsBlank());
        Unseat();
    }
}

} // namespace

namespace {

class HvProtectionPasses : public FlashRun {
protected:
    std::vector<uint32_t> bounds;
    uint32_t n = 0;
    void Start(const char* name) {
        ASSERT_TRUE(Select("AMD", name));
        bounds = SectorLayoutBoundaries(SectorLayoutRowOf(CurrentAlgorithm, DeviceVariant));
        n = static_cast<uint32_t>(bounds.size() - 1);
    }
    int Write(const std::vector<uint32_t>& states) {
        return Entry([&] { return SectorProtectionOf(CurrentAlgorithm).write(states.data(), n, bounds.data()); });
    }
};

// An unprotect that leaves sector 5 protected: every pass after the first
// pulses at that sector (the sectors before it verified), -1 after 100 passes.
TEST_F(HvProtectionPasses, UnprotectPassesResumeAtTheFailingSector) {
    Start("Am29LV033C");
    sim::SeatedFlash part = SeatPart("AMD", "Am29LV033C");
    part.flash()->KeepProtected(5);
    EXPECT_EQ(Write(std::vector<uint32_t>(n, 0u)), -1) << LogText();
    std::vector<uint32_t> pulses; // the addresses of the unprotect pulses
    for (const auto& w : part.flash()->Writes()) {
        if (w.data == 0x60 && (w.address & 0x42) == 0x42) pulses.push_back(w.address);
    }
    ASSERT_EQ(pulses.size(), 100u);
    EXPECT_EQ(pulses[0], 0x42u);
    for (size_t i = 1; i < pulses.size(); ++i) EXPECT_EQ(pulses[i], (bounds[5] << 12) | 0x42) << i;
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

// Four gang sockets, socket 2 never protecting: each socket is verified on
// its own, the write fails and no gang read meets different data.
TEST_F(HvProtectionPasses, GangSocketThatNeverProtects) {
    AddGang(4);
    for (const char* name : {"Am29F400BB", "Am29F040B", "Am29LV033C", "Am29F016B"}) {
        SCOPED_TRACE(name);
        Start(name);
        LastSocketIndex = 3;
        std::vector<sim::SeatedFlash> chips;
        for (int s = 0; s < 4; ++s) chips.push_back(SeatPart("AMD", name, s));
        chips[2].flash()->NeverProtect(true);
        EXPECT_EQ(Write(std::vector<uint32_t>(n, 1u)), -1) << LogText();
        EXPECT_TRUE(chips[0].flash()->IsProtected(0));
        EXPECT_FALSE(chips[2].flash()->IsProtected(0));
        EXPECT_FALSE(chips[0].flash()->IsProtected(1)); // the sectors after the failing one are not touched
        ExpectNoViolations();
        for (int s = 0; s < 4; ++s) sim::GangAdapter::Find(simp)->SocketAt(s).Clear();
        elec->WithdrawAllChips();
        DeclareGangSupply();
    }
}

} // namespace
