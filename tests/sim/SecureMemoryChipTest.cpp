// The password-protected serial memory model driven pin by pin: answer to
// reset, the password cycle, the two-copy password change, the retry counter
// and the lock, the supply window.
#include <gtest/gtest.h>

#include <vector>

#include "sim/SerialParts.h"
#include "PinBench.h"

namespace {

constexpr int kVcc = 21, kGnd = 24, kCs = 25, kSda = 26, kScl = 27, kRst = 28;

// A master on the chip's pins: levels set one at a time, each followed by the
// chip's update, as the pin driver does.
struct Master {
    Env env;
    sim::SecureMemoryChip chip;
    explicit Master(const char* name, int vccTenths = 50)
        : chip(std::get<sim::SecureFacts>(sim::FindSerialPart("XICOR", name)->facts)) {
        env.pins[kGnd] = {true};
        env.pins[kVcc] = {false, vccTenths};
        for (auto [pin, level] : {std::pair{kCs, 1}, {kScl, 0}, {kRst, 0}}) Set(pin, level);
        Float();
    }
    void Set(int pin, int level) {
        env.pins[pin] = {false, -1, true, level != 0};
        chip.Update(env);
    }
    void Float() {
        env.pins[kSda] = {};
        chip.Update(env);
    }
    int Sda() { return chip.Output(env, kSda) == sim::ChipDrive::Low ? 0 : 1; }
    void Pulse() {
        Set(kScl, 1);
        Set(kScl, 0);
    }
    // SDA moves from `from` to `to` while SCL is high: a start (1 -> 0) or stop.
    void Condition(int from, int to) {
        for (auto [pin, level] : {std::pair{kSda, from}, {kScl, 1}, {kSda, to}, {kScl, 0}}) Set(pin, level);
        Float();
    }
    void Start() { Condition(1, 0); }
    void Stop() { Condition(0, 1); }
    bool Send(uint8_t b) {
        for (int i = 7; i >= 0; --i) {
            Set(kSda, (b >> i) & 1);
            Pulse();
        }
        Float();
        Set(kScl, 1);
        const bool ack = Sda() == 0;
        Set(kScl, 0);
        return ack;
    }
    uint8_t Receive() {
        uint8_t b = 0;
        for (int i = 0; i < 8; ++i) {
            b = static_cast<uint8_t>(b << 1 | Sda());
            Pulse();
        }
        Set(kSda, 0);
        Pulse();
        Float();
        return b;
    }
    std::vector<uint8_t> Answer() {
        Set(kCs, 0);
        Set(kRst, 1);
        Pulse();
        Set(kRst, 0);
        std::vector<uint8_t> bytes;
        for (int n = 0; n < 4; ++n) {
            uint8_t b = 0;
            for (int bit = 0; bit < 8; ++bit) {
                b = static_cast<uint8_t>(b | Sda() << bit);
                Pulse();
            }
            bytes.push_back(b);
        }
        Set(kCs, 1);
        return bytes;
    }
    // Command and password (bus order); then the poll after the cycle.
    bool Open(uint8_t command, const sim::SecurePassword& p, uint8_t poll) {
        Set(kCs, 0);
        Start();
        bool ok = Send(command);
        for (uint8_t b : p) ok &= Send(b);
        Start();
        if (Send(poll)) return false; // refused during the password cycle
        env.now += chip.Facts().passwordCycleUs;
        Start();
        return ok && Send(poll);
    }
    void Close() {
        Stop();
        Set(kCs, 1);
    }
};

const sim::SecurePassword kWrong = {1, 2, 3, 4, 5, 6, 7, 8};
const sim::SecurePassword kOther = {9, 9, 9, 9, 9, 9, 9, 9};

TEST(SecureMemoryChip, AnswerToResetNeedsTheSupplyWindow) {
    struct Case {
        const char* name;
        int vcc;
        std::vector<uint8_t> answer;
    };
    for (const Case& c : {Case{"X76F100", 50, {0x19, 0x00, 0xAA, 0x55}}, Case{"X76F640", 50, {0x19, 0x54, 0x45, 0x4B}},
                          Case{"X76F100", 27, {0xFF, 0xFF, 0xFF, 0xFF}}, Case{"X76F640", 60, {0xFF, 0xFF, 0xFF, 0xFF}}}) {
        Master m(c.name, c.vcc);
        EXPECT_EQ(m.Answer(), c.answer) << c.name << " " << c.vcc;
    }
}

// Row 47's change takes the new password twice: copies that differ change
// nothing; equal copies change it.
TEST(SecureMemoryChip, TwoArrayPasswordChangeNeedsTwoEqualCopies) {
    Master m("X76F640");
    const sim::SecurePassword factory = m.chip.Password(0);
    for (bool equal : {false, true}) {
        ASSERT_TRUE(m.Open(0xA0, m.chip.Password(0), 0xF0));
        m.Send(0);
        m.Send(0);
        for (uint8_t b : kOther) m.Send(b);
        for (uint8_t b : equal ? kOther : kWrong) m.Send(b);
        m.Close();
        EXPECT_EQ(m.chip.Password(0), equal ? kOther : factory);
        m.env.now += m.chip.Facts().writeUs;
    }
}

// Eight wrong passwords clear both arrays and lock them: the right password
// is refused until a reset command with the reset password.
TEST(SecureMemoryChip, RetryCounterClearsAndLocks) {
    Master m("X76F640");
    m.chip.SetByte(0x10, 0x42);
    const sim::SecurePassword right = m.chip.Password(0);
    for (int i = 0; i < 8; ++i) {
        EXPECT_FALSE(m.Open(0x80, kWrong, 0xF0));
        m.Close();
    }
    EXPECT_EQ(m.chip.Byte(0x10), 0xFF);
    EXPECT_TRUE(m.chip.Locked());
    EXPECT_FALSE(m.Open(0x80, right, 0xF0));
    m.Close();
    ASSERT_TRUE(m.Open(0xE8, m.chip.Password(4), 0x80)); // reset device
    m.Close();
    EXPECT_FALSE(m.chip.Locked());
    ASSERT_TRUE(m.Open(0x80, right, 0xF0));
    m.Send(0);
    m.Send(0x10);
    EXPECT_EQ(m.Receive(), 0xFF);
    m.Close();
}

// A sector write commits at the stop and takes the write time, during which
// the chip acknowledges nothing; a select going high first drops it.
TEST(SecureMemoryChip, SectorWriteCommitsAtTheStop) {
    Master m("X76F100");
    for (bool stop : {false, true}) {
        ASSERT_TRUE(m.Open(0x82, m.chip.Password(1), 0x55)); // sector 1
        for (uint8_t b = 0; b < 8; ++b) m.Send(static_cast<uint8_t>(0x30 + b));
        if (stop) m.Stop();
        m.Set(kCs, 1);
        EXPECT_EQ(m.chip.Byte(8), stop ? 0x30 : 0xFF);
        EXPECT_EQ(m.chip.Byte(15), stop ? 0x37 : 0xFF);
    }
    m.Set(kCs, 0);
    m.Start();
    EXPECT_FALSE(m.Send(0x81)); // busy
    m.env.now += m.chip.Facts().writeUs;
    m.Start();
    EXPECT_TRUE(m.Send(0x81));
    m.Close();
}

} // namespace
