// Password-protected serial memory at pin level (VCC 1, VSS 4, CS 5 low
// selects, SDA 6, SCL 7, RST 8; pins 2 and 3 not connected), one model for
// the one-array part with a read and a write password and the two-array part
// with a read and a write password per array and a reset password.
//
// Bus: SDA changes while SCL is low; START (SDA falls with SCL high) and STOP
// (SDA rises with SCL high) count only while CS is low; bytes most
// significant bit first, taken on rising SCL, each acknowledged by the
// receiver pulling SDA low through the ninth clock (the chip from the rise of
// the ninth clock on, when the master has released the line).
//
// Answer to reset: RST rising with CS low arms it, RST falling starts it; the
// chip then drives the 32 answer bits on SDA, least significant bit of each
// byte first, the next bit after every falling SCL.
//
// A transaction: START, command byte, 8 password bytes (all acknowledged).
// The password check is a nonvolatile cycle: until it ends, every byte after
// a START goes unacknowledged. After it, START and the poll byte are
// acknowledged only when the password was right (reset commands: any byte).
// Then, on the two-array part, a 16-bit address, high byte first. Reads send
// bytes from the address on, rolling over inside the array, while the master
// acknowledges; writes take bytes into the sector buffer (rolling over inside
// the sector) and STOP commits them as a write cycle. A password change takes
// the 8 new bytes (the two-array part: twice, and a mismatch changes nothing)
// and STOP commits them.
//
// Commands, one array: 80h | sector << 1 write, that | 1 read (sector of
// 8 bytes), FEh change the read password, FCh the write password (both with
// the write password). Two arrays: 80h/88h read array 0/1, 90h/98h write,
// A0h/A8h change read password 0/1, B0h/B8h write password 0/1, C0h the reset
// password, each with the password it changes; E0h (reset password) returns
// every password to the factory value, E8h (reset device) only clears the
// retry counter and the lock; both with the reset password.
//
// Retry counter: a wrong password counts, a right one clears it; the eighth
// wrong password clears every array (to 00h) and, on the two-array part,
// locks every array password until a reset command. Power-off loses every
// transaction state, never the arrays, passwords or the counter.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/SerialChips.h"

namespace sim {

using SecurePassword = std::array<uint8_t, 8>; // in the order the bus carries it

struct SecureFacts {
    std::string name;
    uint32_t array0Bytes = 112;
    uint32_t array1Bytes = 0; // 0: the one-array command set
    uint32_t sectorBytes = 8;
    std::array<uint8_t, 4> answer = {0x19, 0x00, 0xAA, 0x55};
    uint8_t pollByte = 0x55;
    uint32_t passwordCycleUs = 10000;
    uint32_t writeUs = 10000;
    SecurePassword factoryPassword{};
    SerialSupply supply;
};

class SecureMemoryChip : public SerialChipBase {
public:
    explicit SecureMemoryChip(const SecureFacts& facts);
    const SecureFacts& Facts() const { return facts_; }

    // Passwords: one array 0 read, 1 write; two arrays 0 read 0, 1 write 0,
    // 2 read 1, 3 write 1, 4 reset.
    const SecurePassword& Password(int which) const { return passwords_.at(static_cast<size_t>(which)); }
    void SetPassword(int which, const SecurePassword& p) { passwords_.at(static_cast<size_t>(which)) = p; }
    int Retries() const { return retries_; }
    bool Locked() const { return locked_; }
    // Commands received (acknowledged or not) and password checks so far.
    const std::vector<uint8_t>& Commands() const { return commands_; }
    uint32_t PasswordChecks() const { return checks_; }
    // Fault: every write cycle after a sector or password write never ends.
    void StallWrites(bool on = true) { stallWrites_ = on; }

private:
    enum class Phase : uint8_t { Idle, Command, Password, Poll, Address, Data, NewPassword, Reading, Done, Ignore };
    enum class Kind : uint8_t { None, Read, Write, Change, ResetPasswords, ResetDevice };
    struct Command {
        Kind kind = Kind::None;
        int password = 0; // the password that authorises it
        int target = 0;   // the password a change writes
        int array = 0;
        uint32_t start = 0; // first byte (one-array sector commands)
    };

    ChipDrive PoweredOutput(const PinEnvironment& env, int chipPin) const override;
    void PinsChanged(const PinEnvironment& env) override;
    void PowerLost() override;
    bool TwoArrays() const { return facts_.array1Bytes != 0; }
    Command Decode(uint8_t b) const;
    bool BusSda(const PinEnvironment& env) const;
    void Rising(const PinEnvironment& env, bool sda);
    void Falling();
    bool ByteIn(const PinEnvironment& env, uint8_t b); // true: acknowledge
    void PasswordChecked(const PinEnvironment& env);
    void AfterAccess();
    void Stop(const PinEnvironment& env);
    uint32_t ArrayBase(int array) const { return array == 0 ? 0 : facts_.array0Bytes; }
    uint32_t ArrayBytes(int array) const { return array == 0 ? facts_.array0Bytes : facts_.array1Bytes; }
    void Load();

    SecureFacts facts_;
    std::vector<SecurePassword> passwords_;
    int retries_ = 0;
    bool locked_ = false;
    bool stallWrites_ = false;
    // Bus state.
    bool cs_ = true, scl_ = false, sda_ = true, rst_ = false, fresh_ = true;
    bool atrArmed_ = false;
    int atrBit_ = -1; // 0-31 while the answer runs
    Phase phase_ = Phase::Idle;
    Command command_;
    bool passwordOk_ = false;
    TwoWireBits bits_{true};
    std::vector<uint8_t> received_;
    uint32_t pointer_ = 0; // offset inside the array
    std::vector<std::pair<uint32_t, uint8_t>> sector_;
    std::vector<uint8_t> commands_;
    uint32_t checks_ = 0;
};

} // namespace sim
