// The device supply routing against a catalog EPROM on the pin driver: the
// part answers right after SetDevicePower returns only when the supply was
// switched before its ramp, ramped in steps at their pace and given its
// settling time.
#include "PinDriverFixture.h"

#include "engine/Routing.h"
#include "sim/Catalog.h"

namespace {

constexpr uint32_t kSupplyTimingDip28 = 12; // VCC 28 (socket pin 38, the strong path), GND 14

class SupplyTimingTest : public PinDriverFixture {
protected:
    // Reads the byte at address 0 with /CE and /OE driven low now.
    int ReadAddressZero() {
        SetPin(30, 0); // /CE
        SetPin(32, 0); // /OE
        return ReadDipDataByte();
    }
};

TEST_F(SupplyTimingTest, APartPoweredThroughTheRoutingAnswersAtOnce) {
    PackageIndex = kSupplyTimingDip28;
    const sim::CatalogPart* part = sim::FindPart("INTEL", "27C256");
    ASSERT_NE(part, nullptr);
    auto chip = sim::MakeChip(*part);
    chip->SetCell(0, 0x5A);
    electrical->DeclareChip(chip->Limits());
    electrical->HoldRampPace(true);
    socket->Insert(std::move(chip));

    // The frame's order: range, sources, ground, the wait; address and
    // control lines idle; then the supply.
    SetVccRange(0, 50);
    SetAllDacVoltages(50, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    for (int p : {12, 13, 14, 15, 16, 17, 18, 19, 20, 31, 33, 34, 35, 36, 37}) SetPin(p, 0); // A0-A14
    FloatPinRange(21, 29); // data
    SetPin(30, 1);
    SetPin(32, 1);
    SetDevicePower(1, 50);
    EXPECT_EQ(ReadAddressZero(), 0x5A);
    SetPin(30, 1);
    SetPin(32, 1);
    SetDevicePower(0, 50);
    SetDeviceGround(0);
    EXPECT_TRUE(simp.Violations().empty()) << simp.Violations().front();
}

} // namespace
