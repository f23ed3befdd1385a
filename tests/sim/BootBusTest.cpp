// The bootstrap image's layouts as the parameter chooses them: each
// reports "not ready" in its own sense with no part answering, and a layout
// the image does not have takes no register.
#include <gtest/gtest.h>

#include "SimTestBus.h"
#include "sim/BootBus.h"

namespace {

void ConfigureBootLayout(sim::SimProgrammer& p, uint8_t layout) {
    sim::RegisterBootBusPersonality();
    sim::LogicImageHeader h;
    h.personality = sim::kPersonalityBootstrap;
    h.params[0] = layout;
    p.ConfigureDirect(h);
}

TEST(BootBusLayouts, ReadyRegisterAndSensePerLayout) {
    struct Case {
        uint8_t layout, readyReg, notReady;
    };
    // 68HC05 layouts: register 1 bit 0 = 1 is ready; 68HC711 layouts:
    // register 2 bit 0 = 0 is ready; the loader layout: register 1 bit 0 =
    // 1 is busy.
    for (const Case c : {Case{0, 1, 0}, {1, 1, 0}, {2, 1, 0}, {3, 2, 1}, {4, 2, 1}, {5, 1, 1}}) {
        sim::SimProgrammer p;
        ConfigureBootLayout(p, c.layout);
        EXPECT_EQ(ReadReg(p, c.readyReg) & 1, c.notReady) << "layout " << int(c.layout);
        EXPECT_TRUE(p.Violations().empty()) << "layout " << int(c.layout);
    }
}

TEST(BootBusLayouts, UnknownLayoutTakesNothing) {
    sim::SimProgrammer p;
    ConfigureBootLayout(p, 6);
    WriteReg(p, 3, 1);
    WriteReg(p, 1, 0xD6);
    EXPECT_EQ(p.Violations().size(), 2u);
    // The same writes are the loader layout's set-up.
    sim::SimProgrammer q;
    ConfigureBootLayout(q, 5);
    WriteReg(q, 3, 1);
    WriteReg(q, 1, 0xD6);
    EXPECT_TRUE(q.Violations().empty()) << q.Violations().front();
}

} // namespace
