// The page mode of rows 23 and 24 on the bus (the seated JEDEC part takes
// no page command, so it stays erased and shows the traffic alone):
// each page is 41h, then every byte at its own low address byte, the buffer
// stepping AddressStep per byte, and the next page going on where the last
// ended.
#include <cstdio>

#include "FlashFixture.h"
#include "engine/AlgorithmTable.h"

namespace {

class HvPageMode : public FlashRun {
protected:
    // Writes of registers 0 and 6 as "W0=10 W6=41 ...", from the trace.
    std::string PageWrites() const {
        std::string t;
        for (const auto& r : simp.RegisterTrace()) {
            if (!r.write || (r.reg != 0 && r.reg != 6)) continue;
            char one[16];
            std::snprintf(one, sizeof one, "W%u=%02X ", r.reg, r.value);
            t += one;
        }
        return t;
    }
};

TEST_F(HvPageMode, EachByteAtItsAddressAndTheBufferStepsPerByte) {
    for (uint32_t row : {23u, 24u}) {
        SCOPED_TRACE(testing::Message() << "row " << row);
        ASSERT_TRUE(Select("AMD", "Am29F040B"));
        sim::SeatedFlash part = SeatPart("AMD", "Am29F040B");
        CurrentAlgorithm = row;
        PageSize = 4;
        DeviceStart = 0x10;
        DeviceEnd = 0x17;
        for (uint32_t a = 0; a < 0x40; ++a) FillBufferRange(a, a, 0x20 + a);
        WordMode = 1; // the even bytes of the buffer: AddressStep 2
        simp.EnableTrace(true);
        const int r = Entry([] { return AlgorithmRow(CurrentAlgorithm)->Program(); });
        simp.EnableTrace(false);
        // Erased cells read FFh: DQ7 ready, but DQ4 set, which row 23 takes
        // for a failed page.
        EXPECT_EQ(r, row == 23 ? -1 : 1) << LogText();
        const std::string t = PageWrites();
        const std::string first = "W6=41 W0=10 W6=20 W0=11 W6=22 W0=12 W6=24 W0=13 W6=26 ";
        const std::string second = "W6=41 W0=14 W6=28 W0=15 W6=2A W0=16 W6=2C W0=17 W6=2E ";
        EXPECT_NE(t.find(first), std::string::npos) << t;
        EXPECT_EQ(t.find(second) != std::string::npos, row == 24) << t;
        EXPECT_TRUE(part.flash()->IsBlank());
        ExpectNoViolations();
        WordMode = 0;
        Unseat();
        simp.ClearTrace();
    }
}

} // namespace
