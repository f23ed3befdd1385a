// The pin driver's table of pin conditions as the chips see it: supply and
// ground switching reaches them (at once through the electrical model's own
// announcements, at the next access through the table), faults set straight
// on the electrical model between accesses count from the next access, and a
// chip driving against the logic driver is reported once while it lasts,
// with one chip in the socket as with two.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/Electrical.h"
#include "sim/Universal.h"
#include "SimTestBus.h"

namespace {

// Socket pins 1, 8, 11 and 14; records what it sees and drives pin 14 when told.
class Recorder : public sim::ChipModel {
public:
    std::string Name() const override { return "recorder"; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const sim::PinEnvironment& env) override {
        revision = env.SupplyRevision();
        pin8Tenths = env.VoltageTenths(8);
        pin1Tenths = env.VoltageTenths(1);
        pin11High = env.InputLevel(11) == 1;
    }
    void SuppliesChanged(const sim::PinEnvironment& env) override { announcedPin8 = env.VoltageTenths(8); }
    sim::ChipDrive Output(const sim::PinEnvironment&, int socketPin) const override {
        return socketPin == 14 ? drive14 : sim::ChipDrive::None;
    }
    uint64_t revision = 0;
    int pin8Tenths = -2, pin1Tenths = -2, announcedPin8 = -2;
    bool pin11High = false;
    sim::ChipDrive drive14 = sim::ChipDrive::None;

private:
    std::vector<int> pins_{1, 8, 11, 14};
};

class PinTableTest : public ::testing::Test {
public:
    sim::SimProgrammer p;
    sim::Electrical* e = nullptr;
    sim::Socket* socket = nullptr;
    Recorder* chip = nullptr;

    void SetUp() override {
        sim::RegisterUniversalPersonalities();
        sim::LogicImageHeader h;
        h.personality = sim::kPersonalityUniversal;
        p.ConfigureDirect(h);
        e = sim::AddElectrical(p);
        auto s = std::make_unique<sim::Socket>();
        socket = s.get();
        p.AddComponent(std::move(s));
        chip = socket->Insert(std::make_unique<Recorder>());
    }
    void Write(uint8_t reg, uint8_t value) { WriteReg(p, reg, value); }
    void Latch(uint8_t reg, int bit, int state) {
        Write(15, 0x81);
        Write(reg, static_cast<uint8_t>((state << 3) | bit));
        Write(15, 0x01);
    }
    int Contentions() const {
        int n = 0;
        for (const auto& v : p.Violations()) n += v.find("drives against the logic driver") != std::string::npos;
        return n;
    }
};

TEST_F(PinTableTest, SupplySwitchingReachesTheChipsAndMovesTheRevision) {
    Write(0, 0x00); // block 0 driven, all low
    Write(1, 0x00);
    const uint64_t first = chip->revision;
    EXPECT_NE(first, 0u);
    EXPECT_EQ(chip->pin8Tenths, 0);
    Write(3, 0x04); // pin 11 high: logic levels only
    EXPECT_TRUE(chip->pin11High);
    EXPECT_EQ(chip->revision, first);
    Write(0, 0x80); // pin 8 floats
    EXPECT_EQ(chip->pin8Tenths, -1);
    Latch(23, 4, 1); // ground on pin 8: announced at once
    EXPECT_EQ(chip->announcedPin8, 0);
    Write(1, 0x00);
    EXPECT_EQ(chip->pin8Tenths, 0);
    EXPECT_NE(chip->revision, first);
    const uint64_t grounded = chip->revision;
    // A supply from the DAC: the chip sees it at its next update.
    Write(13, 0x0C);
    Write(18, 40);
    Write(0, 0x81); // pin 1 floats
    Write(26, 0x80); // supply A on pin 1
    Write(1, 0x00);
    EXPECT_GT(chip->pin1Tenths, 0);
    EXPECT_NE(chip->revision, grounded);
}

TEST_F(PinTableTest, FaultsSetBetweenAccessesCountFromTheNext) {
    Write(0, 0x00);
    Write(1, 0x00);
    EXPECT_FALSE(chip->pin11High);
    e->Faults().stuckDriver = 3; // pin 3 of block 0, and 11 of block 1
    e->Faults().stuckLevel = 1;
    EXPECT_EQ(ReadReg(p, 0) & 0x04, 0x04);
    Write(2, 0x00);
    Write(3, 0x00);
    e->Faults().stuckDriver = 11;
    Write(3, 0x00);
    EXPECT_TRUE(chip->pin11High);
    EXPECT_EQ(ReadReg(p, 1) & 0x04, 0x04);
    // Two shorted pins: the one held low wins.
    e->Faults() = {};
    e->Faults().shortA = 9, e->Faults().shortB = 10;
    Write(2, 0x00);
    Write(3, 0x01); // pin 9 high, pin 10 low
    EXPECT_EQ(ReadReg(p, 1) & 0x03, 0x00);
}

TEST_F(PinTableTest, ContentionIsReportedOnceWhileItLastsWithOneChipOrTwo) {
    for (bool two : {false, true}) {
        SCOPED_TRACE(two ? "two chips" : "one chip");
        p.ClearViolations();
        Recorder* other = two ? socket->Insert(std::make_unique<Recorder>()) : nullptr;
        chip->drive14 = sim::ChipDrive::Low;
        Write(2, 0x00);      // block 1 driven
        Write(3, 0x20);      // pin 14 high against the chip
        Write(3, 0x21);
        EXPECT_EQ(Contentions(), 1);
        // Read back, the driver's own level wins over the chip.
        EXPECT_EQ(ReadReg(p, 1) & 0x20, 0x20);
        Write(3, 0x00);      // no longer against it
        Write(3, 0x20);      // again
        EXPECT_EQ(Contentions(), 2);
        Write(2, 0x20);      // pin 14 released: the chip's level reads
        EXPECT_EQ(ReadReg(p, 1) & 0x20, 0x00);
        chip->drive14 = sim::ChipDrive::None;
        Write(3, 0x00);
        if (other != nullptr) socket->Remove(other);
    }
}

} // namespace
