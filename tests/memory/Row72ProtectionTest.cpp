// Row 72's sector protection by sub-variant: the high voltage lands only on
// the pins of the sub-variant's procedures (32-pin package: A9 34, /OE 32,
// /CE 30, /WE 39, RESET# 9; a gang's chip enables 1-8) and is released on
// every path; a package or sub-variant without a procedure is refused before
// power-up; a writer whose chip ends up holding another set reports -1.
#include <set>

#include "FlashFixture.h"
#include "engine/Tables.h"
#include "memory/JedecFlash.h"
#include "memory/SectorLayout.h"

namespace {

// Every pin a live supply reached while attached, and the pins supplied at
// the last write that still found one of the device's power pins on.
class Row72SupplyWatch : public sim::SimComponent {
public:
    Row72SupplyWatch(sim::Electrical* e, std::set<int> power) : elec_(e), power_(std::move(power)) {}
    bool OnWrite(sim::SimProgrammer&, uint8_t, uint8_t) override {
        const std::vector<int> now = elec_->SuppliedPins();
        bool powered = false;
        for (int p : now) {
            seen.insert(p);
            powered = powered || power_.count(p) != 0;
        }
        if (powered) lastPowered = std::set<int>(now.begin(), now.end());
        return false;
    }
    std::set<int> seen;
    std::set<int> lastPowered;

private:
    sim::Electrical* elec_;
    std::set<int> power_;
};

class Row72Protection : public FlashRun {
protected:
    std::vector<uint32_t> bounds;
    void SetUp() override {
        FlashRun::SetUp();
        ASSERT_TRUE(Select("AMD", "Am29LV040B"));
        bounds = SectorLayoutBoundaries(SectorLayoutRowOf(72, DeviceVariant));
        ASSERT_EQ(bounds.size(), 9u);
    }
    uint32_t Sectors() const { return static_cast<uint32_t>(bounds.size() - 1); }
    // The pins supplied while the writer runs with the given states.
    std::set<int> power;
    std::set<int> poweredAtTheEnd; // supplied pins as the power went off
    std::set<int> SuppliedDuringWrite(const std::vector<uint32_t>& states, int* result) {
        Row72SupplyWatch watch(elec, power);
        simp.AttachComponent(&watch);
        *result = Entry([&] { return WriteSectorProtection72(states.data(), Sectors(), bounds.data()); });
        simp.DetachComponent(&watch);
        poweredAtTheEnd = watch.lastPowered;
        return watch.seen;
    }
    // The pins the reader of sub-variant 0 supplies (no high voltage).
    std::set<int> PowerPins() {
        const uint32_t keep = DeviceSubVariant;
        DeviceSubVariant = 0;
        Row72SupplyWatch watch(elec, {});
        simp.AttachComponent(&watch);
        std::vector<uint32_t> states(Sectors());
        EXPECT_EQ(Entry([&] { return ReadSectorProtection72(states.data(), Sectors(), bounds.data()); }), 1);
        simp.DetachComponent(&watch);
        DeviceSubVariant = keep;
        return watch.seen;
    }
    static std::set<int> Minus(const std::set<int>& a, const std::set<int>& b) {
        std::set<int> d;
        for (int p : a) {
            if (!b.count(p)) d.insert(p);
        }
        return d;
    }
};

// Each sub-variant's procedures switch the protection voltage on their own
// pins only, and every pin is released when the writer returns (the empty
// socket never verifies an unprotect, so each ends on its failure path).
TEST_F(Row72Protection, HighVoltageOnlyOnTheProceduresPins) {
    Limit(0x40);
    power = PowerPins();
    ASSERT_FALSE(power.empty());
    const struct {
        uint32_t subVariant;
        int gang;
        std::set<int> pins;
    } cases[] = {{0, 1, {}},
                 {1, 1, {32}},
                 {2, 1, {34, 32, 39}},
                 {3, 1, {34, 32, 30}},
                 {4, 1, {9}},
                 {5, 1, {34, 32}},
                 {6, 1, {34, 32, 30}},
                 {3, 4, {34, 32, 30, 1, 2, 3, 4, 5, 6, 7, 8}},
                 {6, 4, {34, 32, 30, 1, 2, 3, 4, 5, 6, 7, 8}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "sub-variant " << c.subVariant << ", sockets " << c.gang);
        if (c.gang > 1 && LastSocketIndex == 0) {
            AddGang(c.gang);
            power = PowerPins(); // the adapter's supply too
        }
        DeviceSubVariant = c.subVariant;
        int r = 0;
        const std::set<int> seen = SuppliedDuringWrite(std::vector<uint32_t>(Sectors(), 0u), &r);
        EXPECT_EQ(Minus(seen, power), c.pins);
        EXPECT_EQ(Minus(poweredAtTheEnd, power), std::set<int>{}); // released before the power
        EXPECT_EQ(r, -1);
        EXPECT_TRUE(elec->SuppliedPins().empty());
        EXPECT_EQ(elec->SupplyARegister(26), 0);
    }
}

// A sub-variant past 6, or a package without the pins of the sub-variant's
// procedures, writes nothing (no power-up) and says why.
TEST_F(Row72Protection, RefusedBeforePowerUp) {
    ASSERT_TRUE(Select("AMD", "Am29F016B"));
    const uint32_t pins40 = PackageIndex;
    ASSERT_TRUE(Select("AMD", "Am29F002B"));
    const uint32_t pins32 = PackageIndex;
    ASSERT_TRUE(Select("AMD", "Am29LV040B"));
    ASSERT_EQ(PackageRow(pins32).PinCount, 32u);
    const struct {
        uint32_t subVariant;
        uint32_t package;
        const char* line;
    } cases[] = {{7, pins32, " No sector protection procedure for this device!"},
                 {4, pins40, " No high-voltage pin for this package!"}};
    for (const auto& c : cases) {
        DeviceSubVariant = c.subVariant;
        PackageIndex = c.package;
        int r = 0;
        const std::set<int> seen = SuppliedDuringWrite(std::vector<uint32_t>(Sectors(), 0u), &r);
        EXPECT_EQ(r, -1);
        EXPECT_TRUE(seen.empty());
        EXPECT_TRUE(HasLine(c.line)) << LogText();
    }
}

// A part without sub-variant 1's /OE-command procedures ignores them, and
// array data that happen to answer the verifies (DQ0 set at A1, clear at A6
// and A1) let every step pass; the states read back differ from the request
// and the writer reports -1.
TEST_F(Row72Protection, ChipHoldingAnotherSetFailsTheWrite) {
    sim::SeatedFlash part = SeatPart("AMD", "Am29LV040B");
    for (uint32_t i = 0; i < Sectors(); ++i) part.flash()->SetCell((bounds[i] << 12) | 0x42, 0x00);
    DeviceSubVariant = 1;
    std::vector<uint32_t> want(Sectors(), 0u);
    want[1] = 1;
    int r = 0;
    SuppliedDuringWrite(want, &r);
    EXPECT_EQ(r, -1) << LogText();
    EXPECT_FALSE(part.flash()->IsProtected(1));
    // The same request by A9 and /OE at VID (the part's method) holds.
    DeviceSubVariant = 5;
    SuppliedDuringWrite(want, &r);
    EXPECT_EQ(r, 1) << LogText();
    for (uint32_t i = 0; i < Sectors(); ++i) EXPECT_EQ(part.flash()->IsProtected(i), i == 1) << i;
    ExpectNoViolations();
}

// Sub-variant 5 unprotects an ALLIANCE part twice (the second result
// ignored), any other maker's once; both end with the set asked for.
TEST_F(Row72Protection, AllianceUnprotectsTwice) {
    const struct {
        const char* maker;
        const char* name;
        uint32_t unprotects;
    } cases[] = {{"ALLIANCE", "AS29F040", 2}, {"AMD", "Am29LV040B", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Select(c.maker, c.name));
        ASSERT_EQ(DeviceSubVariant, 5u);
        socket->Clear();
        sim::SeatedFlash part = SeatPart(c.maker, c.name);
        std::vector<uint32_t> want(Sectors(), 0u);
        want[2] = 1;
        int r = 0;
        SuppliedDuringWrite(want, &r);
        EXPECT_EQ(r, 1) << LogText();
        EXPECT_EQ(part.flash()->ChipUnprotects(), c.unprotects);
        for (uint32_t i = 0; i < Sectors(); ++i) EXPECT_EQ(part.flash()->IsProtected(i), i == 2) << i;
    }
    ExpectNoViolations();
}

// Sub-variant 4 on a 2 Mbit part with RESET# on pin 1 (in-system protection
// with RESET# at VID, following the row; configured here, as the row's other
// slots drive pin 1 as A18 and cannot serve a library record of it): the
// reader holds RESET# at the supply, the procedures raise it to VID, and the
// set asked for holds.
TEST_F(Row72Protection, ResetPinProceduresOnA2MbitPartWithResetOnPin1) {
    sim::FlashPart part{"GENERIC-ALGORITHM", "RESET-PIN1-256K", sim::FlashPart::Flash, {}, {}};
    part.flash.name = part.name;
    part.flash.pinout = sim::kPinoutDip32Reset;
    part.flash.words = 0x40000;
    part.flash.sectorWords = {0x10000};
    part.flash.programUs = 7;
    part.flash.vccMinTenths = 27; // a 3 V part, as the selected record
    part.flash.lockoutTenths = 23;
    part.flash.inSystemProtect = true;
    sim::SeatedFlash seated = SeatPart(part);
    DeviceSubVariant = 4;
    bounds.resize(5); // the four 64 KB sectors of the part
    std::vector<uint32_t> want(Sectors(), 0u);
    want[1] = want[3] = 1;
    power = PowerPins();
    int r = 0;
    const std::set<int> seen = SuppliedDuringWrite(want, &r);
    EXPECT_EQ(r, 1) << LogText();
    for (uint32_t i = 0; i < Sectors(); ++i) EXPECT_EQ(seated.flash()->IsProtected(i), want[i] != 0) << i;
    EXPECT_EQ(seated.flash()->ChipUnprotects(), 1u);
    EXPECT_TRUE(seen.count(9));
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

} // namespace
