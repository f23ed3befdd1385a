// Row 6's sector protection by unprotect method: the reader's identifier
// lines, the 12 V pins each method switches (A 34 = A9, B 32 = /OE, C 39 =
// /WE, D 30 = /CE on the default adapter) released before the power goes,
// the adapters without /WE and /CE pins refused, and the die check failing
// the write.
#include <set>

#include "FlashFixture.h"
#include "memory/JedecFlash.h"
#include "memory/SectorLayout.h"

namespace {

// Every pin a live supply reached, and those supplied at the last write that
// still found a power pin on.
class Row6SupplyWatch : public sim::SimComponent {
public:
    Row6SupplyWatch(sim::Electrical* e, std::set<int> power) : elec_(e), power_(std::move(power)) {}
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
    std::set<int> seen, lastPowered;

private:
    sim::Electrical* elec_;
    std::set<int> power_;
};

class Row6Protection : public FlashRun {
protected:
    std::vector<uint32_t> bounds;
    void Use(const char* name) {
        ASSERT_TRUE(Select("AMD", name));
        bounds = SectorLayoutBoundaries(SectorLayoutRowOf(6, DeviceVariant));
        ASSERT_GT(bounds.size(), 1u);
    }
    uint32_t Sectors() const { return static_cast<uint32_t>(bounds.size() - 1); }
    template <class F> std::set<int> Watch(const std::set<int>& power, std::set<int>* atPowerOff, F&& f) {
        Row6SupplyWatch watch(elec, power);
        simp.AttachComponent(&watch);
        f();
        simp.DetachComponent(&watch);
        if (atPowerOff != nullptr) *atPowerOff = watch.lastPowered;
        return watch.seen;
    }
    int Write(const std::vector<uint32_t>& states) {
        return Entry([&] { return WriteSectorProtection6(states.data(), Sectors(), bounds.data()); });
    }
    static std::set<int> Minus(const std::set<int>& a, const std::set<int>& b) {
        std::set<int> d;
        for (int p : a) {
            if (!b.count(p)) d.insert(p);
        }
        return d;
    }
};

// The reader logs the chip's codes and lists the protected sector, with A9
// the only pin at 12 V.
TEST_F(Row6Protection, ReaderLogsTheCodesAndTheStates) {
    Use("Am29F002T");
    sim::SeatedFlash part = SeatPart("AMD", "Am29F002T");
    part.flash()->Protect(4);
    std::vector<uint32_t> states(Sectors(), 7u);
    const std::set<int> seen = Watch({}, nullptr, [&] {
        EXPECT_EQ(Entry([&] { return ReadSectorProtection6(states.data(), Sectors(), bounds.data()); }), 1);
    });
    ExpectLinesInOrder({"Manufacturer Code : 01h", "Device Code       : B0h"});
    for (uint32_t i = 0; i < Sectors(); ++i) EXPECT_EQ(states[i], i == 4 ? 1u : 0u) << i;
    EXPECT_TRUE(seen.count(34));
    for (int pin : {32, 39, 30}) EXPECT_FALSE(seen.count(pin)) << pin;
    ExpectNoViolations();
}

// Each method's pulses put 12 V on its pins only and every pin is released
// before the power goes. The chip protects but never unprotects, so each
// write ends on its failure path after its attempts; the chips take 12 V on
// /CE (Am29F010, Am29F040) but not on /WE, nor the Am29F002T on /CE (the
// electrical model's violations there are the methods' own, and what the
// overdriven chip then reads is no result to check).
TEST_F(Row6Protection, EachMethodSwitchesItsPins) {
    const struct {
        const char* name;
        uint32_t variant, subVariant;
        std::set<int> pins;
        bool chipTakesThem;
    } cases[] = {{"Am29F002T", 10, 0, {34, 32}, true},      // method A
                 {"Am29F010", 9, 0, {34, 32, 30}, true},    // method B
                 {"Am29F040", 14, 2, {34, 32, 30}, true},   // die 0: method C
                 {"Am29F002T", 10, 2, {34, 32, 30}, false}, // method A with /CE
                 {"Am29F040", 14, 0, {34, 32, 39}, false}}; // die 1: method D
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " variant " << c.variant << "/" << c.subVariant);
        Unseat();
        Use(c.name);
        Limit(0x40);
        sim::SeatedFlash part = SeatPart("AMD", c.name);
        part.flash()->NeverUnprotect(true);
        DeviceVariant = c.variant;
        DeviceSubVariant = c.subVariant;
        std::vector<uint32_t> states(Sectors(), 0u);
        const std::set<int> power = Watch({}, nullptr, [&] {
            std::vector<uint32_t> found(Sectors());
            const uint32_t keep = DeviceSubVariant;
            DeviceSubVariant = 3; // no die read
            Entry([&] { return ReadSectorProtection6(found.data(), Sectors(), bounds.data()); });
            DeviceSubVariant = keep;
        });
        std::set<int> atPowerOff;
        int r = 0;
        const std::set<int> seen = Watch(power, &atPowerOff, [&] { r = Write(states); });
        if (c.chipTakesThem) {
            EXPECT_EQ(r, -1);
        }
        EXPECT_EQ(Minus(seen, Minus(power, {34})), c.pins);
        EXPECT_EQ(Minus(atPowerOff, Minus(power, {34})), std::set<int>{});
        EXPECT_TRUE(elec->SuppliedPins().empty());
        if (c.chipTakesThem) ExpectNoViolations();
    }
}

// Adapters 'P' and 'Q' wire no /WE or /CE pin: the methods needing one are
// refused before any 12 V; method A runs on their A9 and /OE pins.
TEST_F(Row6Protection, AdaptersWithoutThePinsRefuseTheMethod) {
    Use("Am29F010");
    for (uint32_t adapter : {uint32_t{'P'}, uint32_t{'Q'}}) {
        AdapterCode = adapter;
        int r = 0;
        std::set<int> atPowerOff;
        const std::set<int> seen =
            Watch({}, &atPowerOff, [&] { r = Write(std::vector<uint32_t>(Sectors(), 0u)); });
        EXPECT_EQ(r, -1);
        EXPECT_TRUE(HasLine(" No high-voltage pin for this adapter!")) << LogText();
        for (int pin : {43, 16, 11, 28, 34, 32}) EXPECT_FALSE(seen.count(pin)) << pin;
    }
}

// A die code other than 0 or 1 fails the power-up: the reader and the
// writer return -1 with the line, the writer pulsing nothing.
TEST_F(Row6Protection, BadDieFailsTheWrite) {
    Use("Am29F040");
    sim::FlashPart badDie = *sim::FindFlashPart("AMD", "Am29F040");
    badDie.flash.dieCode = 2;
    sim::SeatedFlash part = SeatPart(badDie);
    DeviceSubVariant = 1;
    std::vector<uint32_t> states(Sectors(), 0u);
    EXPECT_EQ(Entry([&] { return ReadSectorProtection6(states.data(), Sectors(), bounds.data()); }), -1);
    part.flash()->ClearWrites();
    EXPECT_EQ(Write(states), -1);
    EXPECT_TRUE(HasLine(" Incorrect die ID!")) << LogText();
    EXPECT_TRUE(part.flash()->Writes().empty());
    for (uint32_t i = 0; i < Sectors(); ++i) EXPECT_FALSE(part.flash()->IsProtected(i)) << i;
}

} // namespace

namespace {

// A protected sector through Program and Erase: the refused datum's lines
// show what the part holds there (FFh) and the buffer's datum; the erase
// passes as the part reports it and names the sector it left.
TEST_F(FlashRun, ProtectedSectorShowsInProgramAndEraseLines) {
    ASSERT_TRUE(Select("AMD", "Am29F010"));
    Limit(0x100);
    sim::SeatedFlash part = SeatPart("AMD", "Am29F010");
    part.flash()->Protect(0);
    FillBufferRange(0, BufferByteSize - 1, 0x59);
    BlankCheckBeforeProgram = 0;
    VerifyAfterProgram = 0;
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    ExpectLinesInOrder({"Program error!", "  Chip addr: 000000h  data: 00FFh", "Buffer addr: 000000h  data: 0059h"});

    for (uint32_t a : {0u, 0x3FFFu, 0x4000u}) part.flash()->SetCell(a, 0x59);
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    ExpectLinesInOrder({"Erase ok!", " Protected sector 000000h-003FFFh was not erased!"});
    EXPECT_FALSE(HasLine(" Protected sector 004000h-007FFFh was not erased!")) << LogText();
    EXPECT_EQ(part.flash()->Cell(0x3FFF), 0x59);
    EXPECT_EQ(part.flash()->Cell(0x4000), 0xFF);
    ExpectNoViolations();
}

} // namespace
