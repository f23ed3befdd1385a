// The drives a chip model answers for many pins in one call are the ones it
// answers pin by pin, in every state a random walk over its pins reaches:
// the GAL in and out of edit mode, the 8051 in its read functions (data and
// ready pins) and the PIC while it shifts a word out.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "sim/Catalog.h"
#include "sim/GalChip.h"
#include "sim/Mcu8051Chip.h"
#include "sim/PicChip.h"
#include "PinBench.h"

namespace {

// Pins where Outputs over socket pins 0-49 differs from Output pin by pin.
int BatchOutputsMismatches(const sim::ChipModel& chip, const sim::PinEnvironment& env) {
    int pins[50];
    for (int i = 0; i < 50; ++i) pins[i] = i;
    sim::ChipDrive batch[50];
    chip.Outputs(env, pins, 50, batch);
    int bad = 0;
    for (int pin = 0; pin < 50; ++pin) {
        const sim::ChipDrive one = chip.ChipPinAt(pin) != 0 ? chip.Output(env, pin) : sim::ChipDrive::None;
        bad += batch[pin] != one;
    }
    return bad;
}

// A random level on each socket pin of the chip: driven high or low, or left.
void BatchOutputsScramble(TableEnv& env, const sim::ChipModel& chip, std::mt19937& rng) {
    for (int pin : chip.SocketPins()) {
        if (pin == 0) continue;
        sim::PinCondition& c = env.pins[pin];
        if (c.grounded || c.supplyTenths >= 0) continue;
        const unsigned r = rng() % 5;
        c.driven = r < 4;
        c.drivenHigh = r % 2 == 0;
    }
}

TEST(BatchOutputs, GalAnswersAsPinByPin) {
    for (const char* name : {"GAL22V10D", "GAL16V8", "GAL20V8D"}) {
        SCOPED_TRACE(name);
        const auto* facts = sim::FindFacts<sim::GalPartFacts>("LATTICE", name);
        ASSERT_NE(facts, nullptr);
        sim::GalChip chip(*facts);
        TableEnv env;
        const int offset = facts->map == sim::GalMap::Gal16V8 ? 14 : 12;
        const bool small = facts->map == sim::GalMap::Gal16V8;
        const bool rows = facts->rows != nullptr;
        std::mt19937 rng(11);
        int mismatches = 0;
        for (int step = 0; step < 3000; ++step) {
            if (step % 200 == 0) {
                // Powered or not, in edit mode or out of it.
                const unsigned mode = rng() % 3;
                const int vcc = rows ? facts->rows->vcc : small ? 20 : 24;
                const int gnd = rows ? facts->rows->gnd : small ? 10 : 12;
                env.pins[vcc + offset] = {false, mode == 0 ? -1 : 50};
                env.pins[gnd + offset] = {true, -1};
                env.pins[2 + offset] = mode == 2 ? sim::PinCondition{false, 150} : sim::PinCondition{};
            }
            BatchOutputsScramble(env, chip, rng);
            ++env.now;
            chip.Update(env);
            mismatches += BatchOutputsMismatches(chip, env);
        }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(BatchOutputs, Mcu8051AnswersAsPinByPin) {
    for (const char* name : {"AT89C51", "AT89C52"}) {
        SCOPED_TRACE(name);
        const auto* facts = sim::FindFacts<sim::Mcu8051Facts>("ATMEL", name);
        ASSERT_NE(facts, nullptr);
        sim::Mcu8051Chip chip(*facts);
        TableEnv env;
        auto s = [&](int chipPin) { return chip.SocketPins()[static_cast<size_t>(chipPin - 1)]; };
        env.pins[s(chip.Pinout().vcc)] = {false, 50};
        for (int g : chip.Pinout().gnd) env.pins[s(g)] = {true, -1};
        std::mt19937 rng(5);
        int mismatches = 0;
        int driving = 0;
        for (int step = 0; step < 3000; ++step) {
            BatchOutputsScramble(env, chip, rng);
            // Mostly in the programming mode: RST high, PSEN low.
            if (rng() % 4 != 0) {
                env.pins[s(chip.Pinout().rst)] = {false, -1, true, true};
                env.pins[s(chip.Pinout().psen)] = {false, -1, true, false};
            }
            ++env.now;
            chip.Update(env);
            mismatches += BatchOutputsMismatches(chip, env);
            for (int d : chip.Pinout().data) driving += chip.Output(env, s(d)) != sim::ChipDrive::None;
        }
        EXPECT_EQ(mismatches, 0);
        EXPECT_GT(driving, 0) << "the walk never reached a read";
    }
}

TEST(BatchOutputs, PicAnswersAsPinByPinWhileShiftingOut) {
    sim::PicFacts facts;
    facts.name = "batch pic";
    sim::PicChip chip(facts);
    TableEnv env;
    auto s = [&](int chipPin) { return chip.SocketPins()[static_cast<size_t>(chipPin - 1)]; };
    for (int g : facts.pin.vss) env.pins[s(g)] = {true, -1};
    for (int v : facts.pin.vdd) env.pins[s(v)] = {false, 50};
    auto set = [&](int chipPin, bool high) {
        env.pins[s(chipPin)] = {false, -1, true, high};
        ++env.now;
        chip.Update(env);
    };
    set(facts.pin.clock, false);
    set(facts.pin.data, false);
    env.pins[s(facts.pin.mclr)] = {false, 130};
    ++env.now;
    chip.Update(env);
    // Read data (command 4, bit 0 first on falling edges), then the frame.
    int mismatches = 0;
    int driving = 0;
    for (int bit = 0; bit < 6; ++bit) {
        set(facts.pin.data, ((4 >> bit) & 1) != 0);
        set(facts.pin.clock, true);
        set(facts.pin.clock, false);
    }
    env.pins[s(facts.pin.data)] = {};
    for (int clock = 0; clock < 16; ++clock) {
        set(facts.pin.clock, true);
        mismatches += BatchOutputsMismatches(chip, env);
        driving += chip.Output(env, s(facts.pin.data)) != sim::ChipDrive::None;
        set(facts.pin.clock, false);
        mismatches += BatchOutputsMismatches(chip, env);
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(driving, 0) << "the word never came out";
}

} // namespace
