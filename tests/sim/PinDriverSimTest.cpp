// The pin-driver personalities, the socket and its chip models, driven by raw
// register traffic on the port.
#include <gtest/gtest.h>

#include <memory>

#include "sim/Electrical.h"
#include "sim/IdMemory.h" // DacCodeForVolts
#include "sim/SignatureEprom.h"
#include "sim/SimProgrammer.h"
#include "sim/Socket.h"
#include "sim/Universal.h"

namespace {

constexpr uint16_t kBase = 0x378;

class PinDriverSimTest : public ::testing::Test {
protected:
    sim::SimProgrammer p{kBase};
    sim::Electrical* electrical = nullptr;
    sim::Socket* socket = nullptr;

    void SetUp() override {
        sim::RegisterUniversalPersonalities();
        electrical = sim::AddElectrical(p);
        auto s = std::make_unique<sim::Socket>();
        socket = s.get();
        p.AddComponent(std::move(s));
        Load(sim::kPersonalityTest);
    }
    void Load(uint16_t id) {
        sim::LogicImageHeader h;
        h.personality = id;
        p.ConfigureDirect(h);
    }
    void Write(uint8_t reg, uint8_t v) {
        p.Out(kBase, static_cast<uint8_t>(0x40 | reg));
        p.Out(kBase, static_cast<uint8_t>(0x20 | (v >> 4)));
        p.Out(kBase, static_cast<uint8_t>(v & 0x0F));
    }
    uint8_t Read(uint8_t reg) {
        p.Out(kBase, static_cast<uint8_t>(0x40 | reg));
        p.Out(kBase, 0x30);
        const uint8_t s1 = p.In(kBase + 1);
        p.Out(kBase, 0x10);
        const uint8_t s2 = p.In(kBase + 1);
        return static_cast<uint8_t>(((s1 & 0x78) << 1) | ((s2 & 0x78) >> 3));
    }
    int Level(int pin) { return (Read(static_cast<uint8_t>((pin - 1) / 8)) >> ((pin - 1) % 8)) & 1; }
    // Float bits and levels of all 48 pins, one latch pair per block.
    void Latches(uint64_t floating, uint64_t high) {
        for (int g = 0; g < 6; ++g) {
            Write(static_cast<uint8_t>(2 * g), static_cast<uint8_t>(floating >> (8 * g)));
            Write(static_cast<uint8_t>(2 * g + 1), static_cast<uint8_t>(high >> (8 * g)));
        }
    }
    void LatchBit(uint8_t reg, uint8_t bit, bool state) {
        Write(15, 0x81);
        Write(reg, static_cast<uint8_t>((state ? 8 : 0) | bit));
        Write(15, 0x01);
    }
    static uint64_t Bit(int pin) { return uint64_t{1} << (pin - 1); }
};

constexpr uint64_t kAll = 0xFFFF'FFFF'FFFFull;

TEST_F(PinDriverSimTest, FloatingPinsFollowThePullOfTheTestImage) {
    Latches(kAll, 0);
    EXPECT_EQ(Level(5), 1); // no pull: the floating level
    Write(13, 0x0C);
    EXPECT_EQ(Level(5), 0);
    Write(13, 0x04);
    EXPECT_EQ(Level(5), 1);
    sim::FindPinDriver(p)->SetFloatingLevel(0);
    Write(13, 0x08);
    EXPECT_EQ(Level(5), 0);

    // The universal image has no pull control.
    Load(sim::kPersonalityUniversal);
    Latches(kAll, 0);
    Write(13, 0x0C);
    EXPECT_EQ(Level(5), 1);
    // The ground switch (latch 22 bit 6 serves pin 1) wins over the driver.
    Latches(kAll & ~Bit(1), Bit(1));
    LatchBit(22, 6, true);
    EXPECT_EQ(Level(1), 0);
    EXPECT_TRUE(p.Violations().empty());
}

TEST_F(PinDriverSimTest, EpromAnswersItsSignatureWithTwelveVoltsOnA9) {
    auto* eprom = socket->Insert(std::make_unique<sim::SignatureEprom>(28, 0x12, 0x34));
    const auto& env = *sim::FindPinDriver(p);
    auto dataByte = [&] { return ((Read(2) >> 4) & 7) | ((Read(3) & 0x1F) << 3); };
    const uint64_t dataPins = Bit(21) | Bit(22) | Bit(23) | Bit(25) | Bit(26) | Bit(27) | Bit(28) | Bit(29);
    // Channel 4 at 5 V, channel 2 at 12 V; pull-down on undriven pins.
    Write(13, 0x0C | 3);
    Write(18, sim::DacCodeForVolts(4, 5));
    Write(13, 0x0C | 1);
    Write(18, sim::DacCodeForVolts(2, 12));
    Latches(dataPins, Bit(30) | Bit(32)); // /CE and /OE high
    LatchBit(27, 4, true);                // ground on socket pin 24 (chip pin 14)
    EXPECT_FALSE(eprom->Powered(env));
    LatchBit(21, 0, true);                // supply B on socket pin 38 (chip pin 28)
    EXPECT_TRUE(eprom->Powered(env));
    EXPECT_EQ(dataByte(), 0x00);          // outputs off: the pull-down
    Latches(dataPins, 0);
    EXPECT_EQ(dataByte(), 0xFF);          // the erased array
    Write(31, 0x80);                      // supply A (12 V) on socket pin 34, A9
    EXPECT_EQ(dataByte(), 0x12);
    Latches(dataPins, Bit(20));           // A0 high
    EXPECT_EQ(dataByte(), 0x34);
    EXPECT_TRUE(p.Violations().empty());
    // Supply removed while A9 stays at 12 V.
    LatchBit(21, 0, false);
    dataByte();
    ASSERT_EQ(p.Violations().size(), 1u);
    EXPECT_NE(p.Violations()[0].find("A9 without supply"), std::string::npos) << p.Violations()[0];
}

} // namespace
