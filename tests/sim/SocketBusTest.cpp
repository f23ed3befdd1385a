// The socket bus (here the memory bus) serving whatever sockets the programmer
// has as its components change: the chips it updates and the data it reads.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "sim/GangAdapter.h"
#include "sim/MemoryBus.h"

#include "PinBench.h"
#include "SimTestBus.h"

namespace {

// A chip driving `value` on the data lines of a 28-pin memory (socket pins
// 21-23 and 25-29).
std::unique_ptr<FixedChip> DataChip(uint8_t value) {
    const std::vector<int> pins = {21, 22, 23, 25, 26, 27, 28, 29};
    std::vector<sim::ChipDrive> drives;
    for (int b = 0; b < 8; ++b) drives.push_back((value >> b) & 1 ? sim::ChipDrive::High : sim::ChipDrive::Low);
    return std::make_unique<FixedChip>(pins, drives);
}

TEST(SocketBusTest, ReadsFollowTheSocketsAsComponentsComeAndGo) {
    sim::SimProgrammer p;
    sim::RegisterMemoryBusPersonality();
    sim::LogicImageHeader h;
    h.personality = sim::kPersonalityMemoryBus;
    h.params[1] = 28;
    h.params[2] = 16;
    p.ConfigureDirect(h);
    WriteReg(p, 4, 0x0F); // read: /CE and /OE low
    EXPECT_EQ(ReadReg(p, 6), 0xFF) << "no socket: the lines float high";

    auto own = std::make_unique<sim::Socket>();
    const FixedChip* ownChip = own->Insert(DataChip(0x5A));
    p.AddComponent(std::move(own));
    sim::GangAdapter gang;
    const FixedChip* gangChip = gang.SocketAt(2).Insert(DataChip(0xA5));
    struct Step {
        const char* what;
        bool gangAttached;
        uint8_t expected;
    };
    const Step steps[] = {
        {"the programmer's own socket, added after the first read", false, 0x5A},
        {"the gang adapter's selected socket", true, 0xA5},
        {"the own socket again once the adapter is gone", false, 0x5A},
    };
    bool attached = false;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        if (s.gangAttached && !attached) p.AttachComponent(&gang);
        if (!s.gangAttached && attached) p.DetachComponent(&gang);
        attached = s.gangAttached;
        // The chips the bus serves now hear of the line changes; the others not.
        const int ownBefore = ownChip->updates, gangBefore = gangChip->updates;
        WriteReg(p, 3, static_cast<uint8_t>(~(1u << 2))); // socket 2 selected
        EXPECT_EQ(ownChip->updates > ownBefore, !s.gangAttached);
        EXPECT_EQ(gangChip->updates > gangBefore, s.gangAttached);
        EXPECT_EQ(ReadReg(p, 6), s.expected);
    }
    if (attached) p.DetachComponent(&gang);
    EXPECT_TRUE(p.Violations().empty()) << p.Violations().front();
}

} // namespace
