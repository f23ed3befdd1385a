// The UV EPLD model at its pins, on a hand-held pin environment: a program
// pulse takes the data pins only when the programmer drives all of them.
#include <gtest/gtest.h>

#include <memory>

#include "sim/Catalog.h"
#include "sim/UvEpldChip.h"

#include "PinBench.h"

namespace {

// The 24-pin part: chip pin k on socket pin k + 12.
class UvEpldBench : public ::testing::Test {
protected:
    Env env;
    std::unique_ptr<sim::UvEpldChip> chip;

    void SetUp() override {
        env = Env{};
        chip = std::make_unique<sim::UvEpldChip>(*sim::FindFacts<sim::UvEpldFacts>("ALTERA", "EPLD6482-87"));
        env.pins[S(12)].grounded = true;
        env.pins[S(24)].supplyTenths = 60;  // the part's programming supply
        env.pins[S(13)].supplyTenths = 127; // and VPP
        for (int p : {17, 18, 19, 20, 15, 16, 21, 22, 23, 2, 11}) Drive(p, 0); // A = 0, C = 0
        Drive(1, 1);
    }
    static int S(int chipPin) { return chipPin + 12; }
    void Drive(int chipPin, int level) {
        env.pins[S(chipPin)].driven = true;
        env.pins[S(chipPin)].drivenHigh = level != 0;
        ++env.now;
        chip->Update(env);
    }
    void PulseData(uint8_t data, int undriven) {
        for (int i = 0; i < 8; ++i) {
            if (3 + i == undriven) continue;
            Drive(3 + i, (data >> i) & 1);
        }
        Drive(1, 0);
        env.now += 200;
        Drive(1, 1);
    }
};

TEST_F(UvEpldBench, ProgramPulseTakesDrivenDataPins) {
    PulseData(0x5A, 0);
    EXPECT_EQ(chip->Byte(0, 0), 0x5A);
    EXPECT_TRUE(env.violations.empty());
}

TEST_F(UvEpldBench, ProgramPulseWithAFloatingDataPinIsAViolationAndWritesNothing) {
    for (int pin = 3; pin <= 10; ++pin) {
        SCOPED_TRACE(pin);
        SetUp();
        PulseData(0xFF, pin);
        EXPECT_EQ(chip->Byte(0, 0), 0x00);
        ASSERT_EQ(env.violations.size(), 1u);
        EXPECT_NE(env.violations[0].find("undriven"), std::string::npos) << env.violations[0];
    }
}

} // namespace
