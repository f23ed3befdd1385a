// Chip models of the socket against pin conditions set directly.
#include <gtest/gtest.h>

#include <memory>

#include "sim/SignatureEprom.h"
#include "sim/Socket.h"

namespace {

class FakeEnvironment : public sim::PinEnvironment {
public:
    sim::PinCondition pins[49];
    mutable std::vector<std::string> violations;
    sim::PinCondition Condition(int p) const override { return p >= 1 && p <= 48 ? pins[p] : sim::PinCondition{}; }
    uint64_t NowUs() const override { return 0; }
    void Violation(const std::string& what) const override { violations.push_back(what); }
    void Drive(int p, bool high) { pins[p] = {false, -1, true, high}; }
};

int DataByte(const sim::ChipModel& chip, const FakeEnvironment& env) {
    static const int kData[8] = {21, 22, 23, 25, 26, 27, 28, 29};
    int v = 0;
    for (int b = 0; b < 8; ++b) {
        const sim::ChipDrive d = chip.Output(env, kData[b]);
        if (d == sim::ChipDrive::None) return -1;
        if (d == sim::ChipDrive::High) v |= 1 << b;
    }
    return v;
}

TEST(SocketChipTest, EpromSignatureNeedsPowerEnablesAndTwelveVolts) {
    FakeEnvironment env;
    sim::SignatureEprom eprom(32, 0x12, 0x34);
    for (int p = 9; p <= 40; ++p) env.Drive(p, false);
    for (int p : {21, 22, 23, 25, 26, 27, 28, 29}) env.pins[p] = {};
    // Unpowered: the diode network pulls the floating data pins weakly low.
    EXPECT_EQ(eprom.Output(env, 21), sim::ChipDrive::WeakLow);
    env.pins[24] = {true};             // GND
    env.pins[40] = {false, 50};        // VCC 5.0 V
    env.Drive(30, true);               // /CE high
    EXPECT_TRUE(eprom.Powered(env));
    EXPECT_EQ(DataByte(eprom, env), -1); // not selected
    env.Drive(30, false);
    env.Drive(32, false);
    EXPECT_EQ(DataByte(eprom, env), 0xFF); // the erased array
    env.pins[34] = {false, 120};       // A9 at 12.0 V
    EXPECT_EQ(DataByte(eprom, env), 0x12);
    env.Drive(20, true);               // A0 high
    EXPECT_EQ(DataByte(eprom, env), 0x34);
    env.pins[34] = {false, 110};       // below the signature window
    EXPECT_EQ(DataByte(eprom, env), 0xFF);
    EXPECT_TRUE(env.violations.empty());
    env.pins[34] = {false, 135};       // over the limit
    DataByte(eprom, env);
    env.pins[34] = {false, 120};
    DataByte(eprom, env);
    env.pins[40] = {};                 // supply gone, A9 still at 12 V
    eprom.Output(env, 21);
    ASSERT_EQ(env.violations.size(), 2u);
    EXPECT_NE(env.violations[1].find("A9 without supply"), std::string::npos) << env.violations[1];
}

} // namespace
