// The static RAM model seen from its socket pins: a random walk of writes
// (latched at the rising edge of /WE) and reads checked against a plain map
// of what was written, for the byte-wide and the 16-bit module pinouts; a
// stuck bit, the write-protect supply, and the pins of an unpowered part.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <tuple>

#include "sim/JedecFlashChip.h"
#include "PinBench.h"

namespace {

struct SramWalkBench {
    explicit SramWalkBench(sim::SramConfig config) : pins(sim::FlashPinoutById(config.pinout)), chip(config) {}

    int Socket(int chipPin) const { return chip.SocketPins()[static_cast<size_t>(chipPin - 1)]; }
    void Drive(int chipPin, bool high) { env.pins[Socket(chipPin)] = {false, -1, true, high}; }
    void Step() {
        ++env.now;
        chip.Update(env);
    }
    void Power(int tenths) {
        for (int v : pins.vcc) env.pins[Socket(v)] = {false, tenths};
        for (int g : pins.gnd) env.pins[Socket(g)] = {true, -1};
        Step();
    }
    void Address(uint32_t a) {
        for (size_t i = 0; i < pins.address.size(); ++i) Drive(pins.address[i], ((a >> i) & 1) != 0);
    }
    void Write(uint32_t a, uint16_t d, int width) {
        Drive(pins.oe, true);
        Address(a);
        for (int i = 0; i < width; ++i) Drive(pins.data[static_cast<size_t>(i)], ((d >> i) & 1) != 0);
        Drive(pins.ce, false);
        Drive(pins.we, false);
        Step();
        Drive(pins.we, true);
        Step();
        Drive(pins.ce, true);
        Step();
    }
    // The word on the data pins with /CE and /OE low, -1 when a pin is not
    // driven or the batch answer differs from the pin-by-pin one.
    int Read(uint32_t a, int width) {
        for (int i = 0; i < width; ++i) env.pins[Socket(pins.data[static_cast<size_t>(i)])] = {};
        Address(a);
        Drive(pins.we, true);
        Drive(pins.ce, false);
        Drive(pins.oe, false);
        Step();
        int socketPins[sim::kSocketPins + 2];
        sim::ChipDrive batch[sim::kSocketPins + 2];
        for (int p = 0; p < sim::kSocketPins + 2; ++p) socketPins[p] = p;
        chip.Outputs(env, socketPins, sim::kSocketPins + 2, batch);
        for (int p = 0; p < sim::kSocketPins + 2; ++p) {
            const sim::ChipDrive one = chip.ChipPinAt(p) != 0 ? chip.Output(env, p) : sim::ChipDrive::None;
            if (one != batch[p]) return -1;
        }
        int v = 0;
        for (int i = 0; i < width; ++i) {
            const sim::ChipDrive d = batch[Socket(pins.data[static_cast<size_t>(i)])];
            if (d != sim::ChipDrive::High && d != sim::ChipDrive::Low) return -1;
            if (d == sim::ChipDrive::High) v |= 1 << i;
        }
        Drive(pins.oe, true);
        Drive(pins.ce, true);
        Step();
        return v;
    }

    sim::FlashPinout pins;
    sim::SramChip chip;
    TableEnv env;
};

sim::SramConfig SramWalkConfig(int pinout, int width, uint32_t words) {
    sim::SramConfig c;
    c.pinout = pinout;
    c.width = width;
    c.words = words;
    return c;
}

TEST(SramChipWalk, ReadsBackWhatWasWrittenOnEveryPinout) {
    for (auto [pinout, width, words] :
         {std::tuple{sim::kPinoutDip28, 8, 0x8000u}, std::tuple{sim::kPinoutWord40, 16, 0x20000u}}) {
        SCOPED_TRACE(pinout);
        SramWalkBench b(SramWalkConfig(pinout, width, words));
        b.Power(50);
        std::map<uint32_t, int> written;
        std::mt19937 rng(7);
        int mismatches = 0;
        uint32_t writes = 0;
        int hits = 0;
        // A few addresses over every address line, so reads mostly meet a
        // written word.
        uint32_t pool[24];
        for (uint32_t& p : pool) p = rng() % words;
        for (int step = 0; step < 600; ++step) {
            const uint32_t a = pool[rng() % 24];
            if (rng() % 2 == 0) {
                const uint16_t d = static_cast<uint16_t>(rng() & ((1u << width) - 1));
                b.Write(a, d, width);
                written[a] = d;
                ++writes;
            } else {
                const auto it = written.find(a);
                hits += it != written.end();
                mismatches += b.Read(a, width) != (it == written.end() ? 0 : it->second);
            }
        }
        EXPECT_EQ(mismatches, 0);
        EXPECT_EQ(b.chip.WriteCount(), writes);
        EXPECT_GT(hits, 200) << "the walk seldom read a written word";
    }
}

TEST(SramChipWalk, StuckBitWriteProtectAndUnpoweredPins) {
    sim::SramConfig config = SramWalkConfig(sim::kPinoutDip28, 8, 0x8000);
    config.vccMinTenths = 40;
    SramWalkBench b(config);
    b.Power(50);
    b.chip.StickBit(0x1234, 3, 0);
    b.Write(0x1234, 0xFF, 8);
    EXPECT_EQ(b.Read(0x1234, 8), 0xF7);
    EXPECT_EQ(b.chip.Cell(0x1234), 0xFF);
    b.Write(0x4321, 0x5A, 8);
    EXPECT_EQ(b.Read(0x4321, 8), 0x5A);
    // Powered but below the write-protect supply: the write is inhibited.
    b.Power(42);
    b.Write(0x4321, 0x00, 8);
    EXPECT_EQ(b.Read(0x4321, 8), 0x5A);
    // Unpowered in a read cycle: the data pins answer the diode network only
    // (the grounded pin pulls them weakly low), never the stored datum.
    b.env.pins[b.Socket(b.pins.vcc[0])] = {};
    b.Step();
    b.Drive(b.pins.ce, false);
    b.Drive(b.pins.oe, false);
    b.Address(0x4321);
    b.Step();
    for (int d : b.pins.data) EXPECT_EQ(b.chip.Output(b.env, b.Socket(d)), sim::ChipDrive::WeakLow) << d;
}

} // namespace
