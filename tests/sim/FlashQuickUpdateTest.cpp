// The flash bus naming each socket table it updates the chips under, the
// command bus's redraw of its data lines, and the JEDEC flash model's shortcuts under a named table (the update that does
// nothing under a table it has already been updated under, the control lines
// and address decoded once per table, the supply and high-voltage checks kept
// per supply revision), each against a from-scratch look at the pins.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "sim/CommandBus.h"
#include "sim/CommandFlashChip.h"

#include "SimTestBus.h"

namespace {

using FlashCondTable = std::array<sim::PinCondition, sim::kSocketPins + 1>;

// A chip that keeps the whole table of pin conditions of every update.
class FlashTableWitness : public sim::ChipModel {
public:
    explicit FlashTableWitness(int pinCount = 32) : pins_(sim::DipSocketPins(pinCount)) {}
    std::string Name() const override { return "flash witness"; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const sim::PinEnvironment& env) override {
        FlashCondTable t;
        for (int p = 1; p <= sim::kSocketPins; ++p) t[static_cast<size_t>(p)] = env.ConditionAt(p);
        seen.push_back({env.ConditionsRevision(), t});
    }
    sim::ChipDrive Output(const sim::PinEnvironment&, int) const override { return sim::ChipDrive::None; }
    std::vector<std::pair<uint64_t, FlashCondTable>> seen;

private:
    std::vector<int> pins_;
};

// The command bus (40-pin boot-block footprint) redraws only what moved:
// through address, data, pattern and mask writes, command cycles and reads,
// the data lines are driven in command mode only, a read pattern or the
// idle one handing them back to the electrical conditions.
TEST(FlashQuickUpdate, CommandBusDataLinesFollowThePattern) {
    sim::RegisterCommandBusPersonality();
    sim::SimProgrammer p;
    sim::LogicImageHeader h;
    h.personality = sim::kPersonalityCommandBus;
    h.params[0] = 3, h.params[1] = 0xDB; // boot-block vocabulary, 40-pin footprint
    p.ConfigureDirect(h);
    auto socket = std::make_unique<sim::Socket>();
    auto* witness = socket->Insert(std::make_unique<FlashTableWitness>(40));
    p.AddComponent(std::move(socket));
    const uint8_t patterns[] = {0x00, 0x93, 0xD3, 0xDD, 0xDF, 0xDB};
    const sim::FlashPinout pins = sim::CommandFlashPinout(0);
    const std::vector<int> seat = sim::DipSocketPins(pins.pinCount);
    uint8_t pattern = 0;
    uint32_t seed = 1618;
    auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    for (int step = 0; step < 4000; ++step) {
        SCOPED_TRACE(step);
        switch (next() % 7) {
        case 0: WriteReg(p, 0, static_cast<uint8_t>(next() & 3)); break;
        case 1: WriteReg(p, 1, static_cast<uint8_t>(next() & 1)); break;
        case 2: WriteReg(p, 3, static_cast<uint8_t>(next() & 1 ? 0xFF : 0xFE)); break;
        case 3: pattern = patterns[next() % std::size(patterns)], WriteReg(p, 4, pattern); break;
        case 4: WriteReg(p, 6, static_cast<uint8_t>(next() & 0x81)); break;
        case 5: WriteReg(p, 5, static_cast<uint8_t>(next() & 1 ? 3 : 2)); break;
        default: ReadReg(p, 6); break;
        }
        ASSERT_FALSE(witness->seen.empty());
        for (int d : pins.data) {
            const size_t z = static_cast<size_t>(seat[static_cast<size_t>(d - 1)]);
            ASSERT_EQ(witness->seen.back().second[z].driven, pattern == 0xDD) << "data pin " << d;
        }
    }
    EXPECT_GT(witness->seen.size(), 2000u);
}

} // namespace
