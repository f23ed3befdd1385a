// The Z8 OTP model's counter front-end on a hand-held pin environment: the
// counter position when Vpp rises chooses the option byte or the array, and
// only a pulse of the part's width with Vpp present burns anything.
#include <gtest/gtest.h>

#include "PinBench.h"
#include "sim/Z8OtpChip.h"

namespace {

// An 18-pin counter part (D0-D3 on 15-18, D4-D7 on 1-4, VCC 5, GND 14).
sim::Z8OtpFacts Counter18() {
    sim::Z8OtpFacts f;
    f.name = "counter part";
    f.pinCount = 18, f.words = 0x800, f.vccPin = 5;
    f.gndPins = {14};
    f.data = {15, 16, 17, 18, 1, 2, 3, 4};
    f.modePin = 7, f.readStrobe = 8, f.epmPin = 9, f.vppPin = 10;
    f.clearPin = 11, f.clockPin = 12, f.programStrobe = 13;
    f.optionMask = 0x7F;
    return f;
}

class Bench {
public:
    Env env;
    sim::Z8OtpChip chip{Counter18()};

    int S(int chipPin) const { return chip.SocketPins()[static_cast<size_t>(chipPin - 1)]; }
    void Hold(int chipPin, sim::PinCondition c) {
        env.pins[S(chipPin)] = c;
        chip.Update(env);
    }
    void Logic(int chipPin, bool high) { Hold(chipPin, {false, -1, true, high}); }
    void Supply(int chipPin, int tenths) { Hold(chipPin, {false, tenths}); }
    void Pulse(int chipPin) {
        Logic(chipPin, true);
        Logic(chipPin, false);
    }
    // Power, clear, `clocks` clocks, EPM and Vpp up, clear again.
    void Enter(uint32_t clocks, int vppTenths) {
        env.pins[S(14)].grounded = true;
        Supply(5, 50);
        for (auto [pin, level] : {std::pair{7, false}, {8, true}, {13, true}, {12, false}}) Logic(pin, level);
        Pulse(11);
        for (uint32_t i = 0; i < clocks; ++i) Pulse(12);
        Supply(9, 125);
        Supply(10, vppTenths);
        Pulse(11);
    }
    void Program(uint8_t value, uint64_t widthUs) {
        for (int i = 0; i < 8; ++i) Logic(chip.Z8().data[static_cast<size_t>(i)], ((value >> i) & 1) != 0);
        Logic(13, false);
        env.now += widthUs;
        Logic(13, true);
        for (int p : chip.Z8().data) env.pins[S(p)] = {};
        chip.Update(env);
    }
    uint8_t Read() {
        Logic(8, false);
        uint8_t v = 0;
        for (int i = 0; i < 8; ++i)
            if (chip.Output(env, S(chip.Z8().data[static_cast<size_t>(i)])) == sim::ChipDrive::High) v |= 1 << i;
        Logic(8, true);
        return v;
    }
};

TEST(Z8OtpChip, CounterChoosesTheSpaceAndOnlyAFullPulseWithVppBurns) {
    struct Case {
        const char* what;
        uint32_t clocksBeforeVpp;
        int vppTenths;
        uint64_t widthUs;
        bool option;  // the option byte takes the value
        bool burnt;   // anything took it
    };
    const Case cases[] = {
        {"array", 0, 125, 1000, false, true},
        {"option byte at counter 3", 3, 125, 1000, true, true},
        {"short pulse", 0, 125, 999, false, false},
        {"Vpp missing", 0, 0, 1000, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bench b;
        b.Enter(c.clocksBeforeVpp, c.vppTenths);
        for (int i = 0; i < 5; ++i) b.Pulse(12);
        b.Program(0x12, c.widthUs);
        EXPECT_EQ(b.chip.Cell(5), !c.option && c.burnt ? 0x12 : 0xFF);
        EXPECT_EQ(b.chip.OptionByte(), c.option && c.burnt ? 0x92 : 0xFF); // bit 7 not implemented
        EXPECT_EQ(b.chip.Pulses().size(), c.burnt ? 1u : 0u);
        if (c.burnt) {
            EXPECT_EQ(b.chip.Pulses()[0].widthUs, c.widthUs);
            EXPECT_EQ(b.Read(), c.option ? 0x92 : 0x12);
        }
        EXPECT_TRUE(b.env.violations.empty());
    }
}

} // namespace
