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
#include "sim/FlashParts.h"
#include "sim/JedecFlashChip.h"

#include "PinBench.h"
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

// A table environment that names its supply switching (and its table), with
// revisions the test draws whenever it moves a supply (a pin).
class FlashNamedEnv : public TableEnv {
public:
    FlashNamedEnv() { supplyRevision_ = NewSupplyRevision(); }
    void Moved(bool supply) {
        conditionsRevision_ = NewSupplyRevision();
        if (supply) supplyRevision_ = NewSupplyRevision();
    }
};

// Two flash chips fed the same pin history: one under the named supply
// revisions (its supply and high-voltage checks kept while they stand), the
// other through an environment with neither table nor revisions, worked out
// from scratch every time. Command cycles (program, sector erase, autoselect, reset) and
// reads, stray line moves, high voltage on the identification and protection
// pins, supply drops, time passing and updates with nothing moved come in
// random order; after each update both answer the same on every data pin.
TEST(FlashQuickUpdate, KeptSupplyChecksMatchTheChecksFromScratch) {
    // Equipment protection (A9, /OE and /CE at VID); in-system protection
    // (RESET# at VID) too; a 16-bit part with BYTE#.
    for (const char* name : {"Am29F040B", "Am29LV033C", "Am29F400BB"}) {
        SCOPED_TRACE(name);
        const sim::FlashPart* part = sim::FindFlashPart("AMD", name);
        ASSERT_NE(part, nullptr);
        sim::JedecFlashConfig cfg = part->flash;
        sim::JedecFlashChip quick(cfg), plain(cfg);
        const sim::FlashPinout pins = sim::FlashPinoutById(cfg.pinout);
        const int ce = cfg.ceChipPin != 0 ? cfg.ceChipPin : pins.ce;
        FlashNamedEnv named;
        Env scratch;
        auto S = [&](int chipPin) {
            const auto& seat = quick.SocketPins();
            return chipPin >= 1 && chipPin <= static_cast<int>(seat.size()) ? seat[static_cast<size_t>(chipPin - 1)] : 0;
        };
        std::vector<int> dataZ;
        for (int d : pins.data) dataZ.push_back(S(d));
        auto compare = [&] {
            std::vector<sim::ChipDrive> a(dataZ.size()), b(dataZ.size());
            quick.Outputs(named, dataZ.data(), dataZ.size(), a.data());
            plain.Outputs(scratch, dataZ.data(), dataZ.size(), b.data());
            for (size_t i = 0; i < dataZ.size(); ++i) ASSERT_EQ(a[i], b[i]) << "D" << i;
            ASSERT_EQ(quick.Busy(named), plain.Busy(scratch));
            ASSERT_EQ(quick.Writes().size(), plain.Writes().size());
            ASSERT_EQ(named.violations, scratch.violations);
        };
        auto update = [&] {
            std::copy(std::begin(named.pins), std::end(named.pins), std::begin(scratch.pins));
            scratch.now = named.now;
            quick.Update(named);
            plain.Update(scratch);
            compare();
        };
        auto set = [&](int chipPin, bool high) {
            const int z = S(chipPin);
            if (z == 0) return;
            named.pins[z].driven = true;
            named.pins[z].drivenHigh = high;
        };
        auto supply = [&](int chipPin, int tenths) {
            const int z = S(chipPin);
            if (z == 0) return;
            named.pins[z].supplyTenths = tenths;
            named.pins[z].steadyFromUs = named.now;
            named.Moved(true);
            update();
        };
        // One step: lines set, the table renamed, both chips updated.
        auto step = [&](auto&& change) {
            change();
            named.Moved(false);
            named.now += 1;
            update();
        };
        auto lines = [&](uint32_t address, uint16_t data) {
            for (size_t i = 0; i < pins.address.size(); ++i) set(pins.address[i], ((address >> i) & 1) != 0);
            for (size_t i = 0; i < pins.data.size(); ++i) set(pins.data[i], ((data >> i) & 1) != 0);
        };
        auto write = [&](uint32_t address, uint16_t data) {
            step([&] { lines(address, data), set(pins.oe, true), set(pins.we, true), set(ce, false); });
            step([&] { set(pins.we, false); });
            step([&] { set(pins.we, true); });
        };
        auto read = [&](uint32_t address) {
            step([&] {
                for (size_t i = 0; i < pins.address.size(); ++i) set(pins.address[i], ((address >> i) & 1) != 0);
                for (int d : pins.data) named.pins[S(d)].driven = false;
                set(pins.we, true), set(ce, false), set(pins.oe, false);
            });
            update(); // again under the same table: nothing moves
            step([&] { set(pins.oe, true); });
        };
        const uint32_t first = cfg.commandBits >= 15 ? 0x5555 : 0x555, second = cfg.commandBits >= 15 ? 0x2AAA : 0x2AA;
        for (int g : pins.gnd) named.pins[S(g)].grounded = true;
        if (pins.byteMode != 0) set(pins.byteMode, true); // word mode: the commands below are word addresses
        if (pins.reset != 0) set(pins.reset, true);
        if (pins.vpp != 0) set(pins.vpp, true);
        for (int v : pins.vcc) supply(v, 50);
        uint32_t seed = 31337;
        auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 16; };
        const uint32_t span = std::min<uint32_t>(cfg.words, 0x4000);
        for (int round = 0; round < 1500 && !HasFatalFailure(); ++round) {
            SCOPED_TRACE(round);
            const uint32_t a = next() % span, d = next() & 0xFF;
            switch (next() % 12) {
            case 0:
            case 1:
            case 2: write(first, 0xAA), write(second, 0x55), write(first, 0xA0), write(a, static_cast<uint16_t>(d)); break;
            case 3:
            case 4:
            case 5: read(a); break;
            case 6: write(first, 0xAA), write(second, 0x55), write(first, 0x90); break;
            case 7: write(0, 0xF0); break;
            case 8: // a stray line, BYTE# among them
                step([&] {
                    if (pins.byteMode != 0 && next() % 4 == 0) set(pins.byteMode, next() & 1);
                    else set(pins.address[next() % pins.address.size()], next() & 1);
                });
                break;
            case 9: { // high voltage on A9, /OE or RESET#, or back to logic
                const int which = static_cast<int>(next() % 3);
                const int pin = which == 0 ? pins.address[9] : which == 1 ? pins.oe : pins.reset;
                if (pin != 0) supply(pin, next() % 3 == 0 ? 120 : -1);
                break;
            }
            case 10: // a supply dip, or the supply back
                for (int v : pins.vcc) supply(v, next() % 4 == 0 ? 30 : 50);
                break;
            default: // time passes; an update with nothing moved
                named.now += next() % 3 == 0 ? 20000 : 30;
                update();
                break;
            }
        }
        if (HasFatalFailure()) return;
        EXPECT_GT(quick.Writes().size(), 1000u);
        size_t programmed = 0;
        for (uint32_t w = 0; w < cfg.words; ++w) {
            ASSERT_EQ(quick.Cell(w), plain.Cell(w)) << w;
            programmed += quick.Cell(w) != (cfg.width > 8 ? 0xFFFF : 0xFF);
        }
        EXPECT_GT(programmed, 20u);
        for (uint32_t s = 0; s < quick.SectorCount(); ++s) ASSERT_EQ(quick.IsProtected(s), plain.IsProtected(s)) << s;
    }
}

} // namespace
