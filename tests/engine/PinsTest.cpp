// Pin driver and pin groups against the universal image of the simulated
// programmer: latch traffic, levels read back, group bounds.
#include "PinDriverFixture.h"

#include "sim/ProbeChip.h"

namespace {

using PinsTraffic = std::vector<std::pair<int, int>>;

class PinsTest : public PinDriverFixture {
protected:
    void SetUp() override {
        PinDriverFixture::SetUp();
        ResetProgrammerOutputs();
    }
};

TEST_F(PinsTest, SinglePinLatchTraffic) {
    EXPECT_EQ(WritesOf([] { SetPin(9, 1); }), (PinsTraffic{{3, 0x01}}));
    EXPECT_EQ(GetPin(9), 1);
    EXPECT_EQ(WritesOf([] { SetPin(9, 2); }), (PinsTraffic{{2, 0x01}}));
    EXPECT_EQ(WritesOf([] { SetPin(9, 0); }), (PinsTraffic{{2, 0x00}, {3, 0x00}}));
    EXPECT_EQ(GetPin(9), 0);
    // The level register is written even when unchanged; a level other than
    // 0, 1, 2 drives low; a pulse is two level writes.
    EXPECT_EQ(WritesOf([] { SetPin(9, 0), SetPin(10, 7), PulsePin(48, 3), PulsePin(48, 0); }),
              (PinsTraffic{{3, 0x00}, {3, 0x00}, {11, 0x80}, {11, 0x00}, {11, 0x00}, {11, 0x80}}));
    EXPECT_TRUE(simp.Violations().empty());
}

TEST_F(PinsTest, PinsOutsideTheSocketAreIgnored) {
    StartTrace();
    for (int pin : {0, -1, 49, 52, 56, 1000}) {
        SetPin(pin, 1), SetPin(pin, 2), PulsePin(pin, 3);
        EXPECT_EQ(GetPin(pin), 0);
    }
    FloatPinRange(-5, 0);
    FloatPinRange(49, 100000);
    EXPECT_TRUE(simp.RegisterTrace().empty());
    for (int r = 0; r < 12; ++r) EXPECT_EQ(RegisterShadow[r], 0) << r;
}

TEST_F(PinsTest, GroupsWriteChangedLatchesOnceAndReadBlocksOnce) {
    DefinePinGroup("", 0, 1, 2, 3, 4, 5, 6, 7, 8, 0);
    WritePinGroup(0, 0, 7, 0xA5);
    EXPECT_EQ(WritesOf([] { WritePinGroup(0, 0, 7, 0xA1); }), (PinsTraffic{{1, 0xA1}})); // only pin 3 changes

    // Pins of three blocks change together: each latch written once, in order.
    DefinePinGroup("", 1, 17, 1, 9, 10, 2, 0);
    EXPECT_EQ(WritesOf([] { WritePinGroup(1, 0, 4, 0x1F); }), (PinsTraffic{{1, 0xA3}, {3, 0x03}, {5, 0x01}}));
    EXPECT_EQ(WritesOf([] { FloatPinGroup(1, 1, 3); }), (PinsTraffic{{0, 0x01}, {2, 0x03}})); // pins 1, 9, 10
    EXPECT_EQ(ReadPinGroup(1, 1, 3), 0x7u); // floating pins read high

    // Pins 1, 9, 2: registers 0 and 1 read once each.
    DefinePinGroup("", 2, 1, 9, 2, 0);
    WritePinGroup(1, 0, 4, 0x04);
    StartTrace();
    EXPECT_EQ(ReadPinGroup(2, 0, 2), 0x2u);
    EXPECT_EQ(Reads(), (std::vector<int>{0, 1}));
    StartTrace();
    EXPECT_EQ(ReadPinGroup(2, 2, 1), 0u); // first beyond last
    EXPECT_TRUE(Reads().empty());
    EXPECT_TRUE(simp.Violations().empty());
}

TEST_F(PinsTest, GroupsStopAtTheirEndAndStayInTheTable) {
    DefinePinGroup("", 1, 3, 4, 5, 0);
    DefinePinGroup("", 1, 7, 0);
    EXPECT_EQ(GroupPin(1, 0), 7);
    EXPECT_EQ(GroupPin(1, 1), 0);
    // An 8-pin list read over 16 positions gives at most 8 bits.
    DefinePinGroup("", 3, 1, 2, 3, 4, 5, 6, 7, 8, 0);
    FloatPinRange(1, 8);
    EXPECT_EQ(ReadPinGroup(3, 0, 15), 0xFFu);
    // Supply and ground writes stop at the terminating 0 as well.
    DefinePinGroup("", 4, 20, 21, 0);
    socket->Insert(std::make_unique<sim::ProbeChip>(std::vector<int>{20, 21, 22, 23}));
    WriteGroupGroundPins(4, 0, 7, 0xFF);
    EXPECT_EQ(electrical->GroundedPins(), (std::vector<int>{20, 21}));
    WriteGroupGroundPins(4, 0, 7, 0x00);
    SetDacVoltage(1, 50);
    simp.AdvanceUs(sim::kSourceStartUs); // the source starts before it is switched on
    WriteGroupSupplyPins(4, 0, 7, 0x02);
    EXPECT_EQ(electrical->SuppliedPins(), (std::vector<int>{21}));

    // Group numbers and positions outside the table are ignored.
    DefinePinGroup("", 5, 9, 0);
    DefinePinGroup("", -1, 9, 0);
    StartTrace();
    WritePinGroup(5, 0, 0, 1);
    SetGroupPin(-1, 0, 1);
    SetGroupPin(1, 200, 1);
    EXPECT_EQ(GetGroupPin(7, 0), 0);
    EXPECT_EQ(ReadPinGroup(9, 0, 3), 0u);
    EXPECT_TRUE(simp.RegisterTrace().empty());
    EXPECT_TRUE(simp.Violations().empty());
}

TEST_F(PinsTest, LongListsAreBoundedAndReadInFull) {
    // 60 pins offered: the row keeps 49 and its terminating 0.
    DefinePinGroup("", 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25,
                   26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 1, 2,
                   3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0);
    EXPECT_EQ(GroupPin(0, 48), 1);
    EXPECT_EQ(GroupPin(0, 49), 0);
    EXPECT_EQ(PinGroupTable[1][0], 0); // the next row is untouched
    // A value over all 48 socket pins survives the round trip, bits above 31 included.
    const uint64_t value = 0x4321'8765'4321ull;
    WritePinGroup(0, 0, 47, value);
    EXPECT_EQ(ReadPinGroup(0, 0, 47), value);
    EXPECT_EQ(ReadPinGroup(0, 40, 47), value >> 40);
    // Numbers that name no socket pin keep their position and are skipped.
    DefinePinGroup("", 2, 5, 49, 300, 6, 0);
    EXPECT_EQ(WritesOf([] { WritePinGroup(2, 0, 3, 0x0); }), (PinsTraffic{{1, 0x01}})); // pin 6 low; pin 5 was low
}

} // namespace
