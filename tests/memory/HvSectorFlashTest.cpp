// Sector protection of the byte-wide rows protected with A9 and /OE at VID
// (20, 22, 27) or with RESET# at VID (29) on the simulated chips of their records: the layout rows
// against the chips' sector maps, a new set written and found on the chip,
// and the failures; the page settings rows 23 and 24 refuse.
#include "FlashFixture.h"
#include "memory/HvSectorFlash.h"
#include "memory/SectorLayout.h"

namespace {

struct Case {
    const char* name;
    uint32_t subVariant;
};
const Case kParts[] = {{"Am29F400BB", 0}, {"Am29F400BT", 0}, {"Am29LV400BB", 0}, {"Am29LV400BT", 0},
                       {"Am29F010B", 1},  {"Am29F040B", 1},  {"Am29LV033C", 0}};

class HvProtection : public FlashRun, public ::testing::WithParamInterface<Case> {
protected:
    sim::SeatedFlash part;
    std::vector<uint32_t> bounds;
    SectorProtectionRoutines routines;

    void SetUp() override {
        FlashRun::SetUp();
        ASSERT_TRUE(Select("AMD", GetParam().name));
        part = SeatPart("AMD", GetParam().name);
        bounds = SectorLayoutBoundaries(SectorLayoutRowOf(CurrentAlgorithm, DeviceVariant));
        routines = SectorProtectionOf(CurrentAlgorithm);
        ASSERT_FALSE(bounds.empty());
        ASSERT_NE(routines.write, nullptr);
    }
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

// The layout row of the record is the chip's sector map (4 KB units; the
// byte-mode parts count bytes of their words).
TEST_P(HvProtection, LayoutRowIsTheChipsSectorMap) {
    const sim::JedecFlashChip* chip = part.flash();
    const uint32_t perWord = part.byteMode ? 2 : 1;
    ASSERT_EQ(chip->SectorCount(), Sectors());
    for (uint32_t i = 0; i < Sectors(); ++i) {
        EXPECT_EQ(chip->SectorStart(i) * perWord, bounds[i] << 12) << i;
        EXPECT_EQ(chip->SectorSize(i) * perWord, (bounds[i + 1] - bounds[i]) << 12) << i;
    }
}

// A new set replaces the old one, each sector told apart (also those inside
// one 64 KB block); an all-zero request leaves none; the high voltage stays
// on the role pins (no violation) and every run ends powered down.
TEST_P(HvProtection, WrittenStatesAreFoundOnTheChip) {
    sim::JedecFlashChip* chip = part.flash();
    chip->Protect(1);
    std::vector<uint32_t> want = Read();
    EXPECT_EQ(want[1], 1u);
    EXPECT_EQ(std::count(want.begin(), want.end(), 1u), 1);
    std::fill(want.begin(), want.end(), 0u);
    want[0] = want[Sectors() - 1] = 1;
    want[2] = 5; // any non-zero state protects
    EXPECT_EQ(Write(want), 1) << LogText();
    for (uint32_t i = 0; i < Sectors(); ++i) EXPECT_EQ(chip->IsProtected(i), want[i] != 0) << i;
    const auto back = Read();
    for (uint32_t i = 0; i < Sectors(); ++i) EXPECT_EQ(back[i], want[i] != 0 ? 1u : 0u) << i;
    EXPECT_EQ(Write(std::vector<uint32_t>(Sectors(), 0u)), 1) << LogText();
    for (uint32_t i = 0; i < Sectors(); ++i) EXPECT_FALSE(chip->IsProtected(i)) << i;
    ExpectPoweredDown();
    ExpectNoViolations();
}

// An unprotect that never works ends with -1 after its passes; the sectors
// stay protected, refuse a program and keep their data through an erase.
TEST_P(HvProtection, UnprotectThatNeverWorks) {
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

INSTANTIATE_TEST_SUITE_P(Rows, HvProtection, ::testing::ValuesIn(kParts),
                         [](const auto& info) { return std::string(info.param.name); });

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
    part.flash()->ClearWrites();
    EXPECT_EQ(write(some), -1);
    EXPECT_TRUE(HasLine(" No auxiliary high-voltage pin for this adapter!")) << LogText();
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
    for (const char* name : {"Am29F400BB", "Am29F040B", "Am29LV033C"}) {
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
