// Serial EEPROMs in 8-pin DIPs at the level of their pins, after the chip
// families' datasheets. Every model is powered only with its VCC pin inside
// the part's supply window and its ground pin held low; unpowered it is its
// protection diodes to the insertion probe (ProbeChip), and power-off loses
// every volatile latch (write enable, bus state, a page not yet committed).
//
// Microwire (CS 1, SK 2, DI 3, DO 4, GND 5, ORG 6, PE 7, VCC 8): the
// instruction set of MicrowireDecoder. The address field is as wide as the
// organisation needs (ORG high or open = 16-bit words, low = bytes; or a fixed
// organisation), plus the don't-care bits some parts carry ahead of it.
// Erase and write instructions need EWEN (lost at power-off) and, on parts
// with a program-enable pin, PE high. After a write CS low starts the write
// cycle; with CS high again DO shows busy (low) for the write time, then ready
// (high), until the next start bit. Parts without auto-erase only clear bits
// on WRITE (the word must be erased first).
//
// Two-wire (A0-A2 1-3, GND 4, SDA 5, SCL 6, WP or NC 7, VCC 8): SDA is open
// drain. START (SDA falls with SCL high), STOP (SDA rises with SCL high);
// data change while SCL is low, bits are taken on the rising edge; the
// receiver pulls SDA low through the ninth clock to acknowledge. Address
// forms: 0 one byte of (address x 2 | R/W) with no device byte; 1 device byte
// 1010 B2 B1 B0 R/W with the block bits as the high address bits, then one
// address byte; 2 device byte 1010 A2 A1 A0 R/W, then the address high and low
// bytes. Device-byte bits that are no block bits select the part by its
// A0-A2 pins on parts that have them (don't care on the others). Written bytes fill the page buffer at the address, rolling over
// inside the page; STOP commits them (a START instead drops them) and the
// chip is busy for the write time, answering nothing (no acknowledge). Reads
// run on from the pointer, rolling over at the end of the array; the chip
// sends while the master acknowledges.
//
// Parts with a write-protect register (X24F-class: PEL, RPEL, BL0/BL1, PPEN
// with the PP pin; X24257-class: WEL, RWEL, BP0/BP1, WPEN with the WP pin;
// the same bits): bit 1 is the write-enable latch, set by writing 02h to the
// register; bit 2 the register-write latch, set by writing 06h with bit 1 set;
// with both set, writing value (bit 1 set, bit 2 clear: 02h too) stores bits 3-4 (protect none,
// the upper quarter, half or all of the array) and bit 7 at the next STOP as
// a write cycle, and clears bit 2. Bit 7 with the pin 7 high locks the
// register. The latches take effect as the byte is acknowledged and are lost
// at power-off. Array writes need the write-enable latch; bytes in a protected
// block are acknowledged and dropped.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/Electrical.h"
#include "sim/MicrowireDecoder.h"
#include "sim/ProbeChip.h"

namespace sim {

// The supply window a part works in: its operating range, widened by the
// programmer's DAC step on either side.
struct SerialSupply {
    int vccMinTenths = 44;
    int vccMaxTenths = 57;
};

struct MicrowireFacts {
    std::string name;
    uint32_t bits = 1024;       // capacity
    enum class Org : uint8_t { Pin, Bytes, Words } org = Org::Pin;
    int dontCareBits = 0;       // address bits ahead of the used ones
    bool programEnablePin = false; // PE on pin 7 gates erase and write
    bool autoErase = true;      // false: WRITE only clears bits
    uint32_t writeUs = 10000;   // write or erase cycle
    uint32_t eraseAllUs = 15000;
    SerialSupply supply;
};

class SerialChipBase : public ProbeChip {
public:
    // The chip's pins on the socket pins `socketPins` (by default an 8-pin
    // DIP at the bottom of the socket).
    SerialChipBase(std::string name, SerialSupply supply, int groundPin, int vccPin = 8,
                   std::vector<int> socketPins = {});
    // Its footprint for the electrical checks.
    ChipPinLimits Limits() const;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    void Update(const PinEnvironment& env) override;

    // Faults: a cell bit that always reads `level`; a write cycle that never ends.
    void StickBit(uint32_t byteAddress, int bit, int level);
    void NeverReady(bool on = true) { neverReady_ = on; }

    uint8_t Byte(uint32_t address) const { return cells_.at(address); }
    void SetByte(uint32_t address, uint8_t v) { cells_.at(address) = v; }
    size_t Bytes() const { return cells_.size(); }
    uint32_t WriteCycles() const { return writeCycles_; }

protected:
    // Socket pin of a chip pin (the pin list never changes after seating).
    int Socket(int chipPin) const { return sockets_[chipPin - 1]; }
    // ChipPinAt from the map taken at seating.
    int ChipPinOn(int socketPin) const {
        return socketPin >= 1 && socketPin <= kSocketPins ? chipPinOn_[socketPin] : 0;
    }
    bool Powered(const PinEnvironment& env) const {
        const uint64_t revision = env.SupplyRevision();
        if (revision != 0 && revision == poweredRevision_) return poweredKept_;
        return PoweredNow(env);
    }
    bool Busy(const PinEnvironment& env) const;
    void StartWriteCycle(const PinEnvironment& env, uint32_t us);
    uint8_t ReadCell(uint32_t address) const;
    // The powered chip's drive on one of its pins.
    virtual ChipDrive PoweredOutput(const PinEnvironment& env, int chipPin) const = 0;
    // Pin levels changed while powered / the supply went away.
    virtual void PinsChanged(const PinEnvironment& env) = 0;
    virtual void PowerLost() = 0;
    // A chip pin that takes more than a logic level (a programming pin).
    void AllowRaised(int chipPin, int tenths) { raised_.emplace_back(Socket(chipPin), tenths); }

    std::vector<uint8_t> cells_;

private:
    // Powered() worked out from the pins, and kept for the revision when it can be.
    bool PoweredNow(const PinEnvironment& env) const;

    SerialSupply supply_;
    int groundPin_;
    int vccPin_;
    const int* sockets_;
    int vccSocket_, groundSocket_;
    uint8_t chipPinOn_[kSocketPins + 1] = {};
    // Powered() as of the environment's supply revision poweredRevision_ (0:
    // not kept, while a logic driver may hold VCC or ground).
    mutable uint64_t poweredRevision_ = 0;
    mutable bool poweredKept_ = false;
    bool powered_ = false;
    bool neverReady_ = false;
    std::vector<std::pair<int, int>> raised_;
    uint64_t busyUntilUs_ = 0;
    uint32_t writeCycles_ = 0;
    struct Stuck {
        uint32_t address;
        uint8_t mask, level;
    };
    std::vector<Stuck> stuck_;
};

class MicrowireChip : public SerialChipBase {
public:
    explicit MicrowireChip(const MicrowireFacts& facts);
    const MicrowireFacts& Facts() const { return facts_; }
    // Word (16-bit organisation, MSB first on the wire = cell bytes 2a, 2a + 1).
    uint16_t Word(uint32_t a) const { return static_cast<uint16_t>(ReadCell(2 * a) << 8 | ReadCell(2 * a + 1)); }
    int AddressBitsInUse() const { return decoder_.AddressBits(); }

private:
    ChipDrive PoweredOutput(const PinEnvironment& env, int chipPin) const override;
    void PinsChanged(const PinEnvironment& env) override;
    void PowerLost() override;
    bool Words(const PinEnvironment& env) const;
    uint32_t ReadUnit(uint32_t a) const;
    void WriteUnit(uint32_t a, uint32_t v, bool erase);
    void Run(const PinEnvironment& env, const MicrowireDecoder::Command& c);

    MicrowireFacts facts_;
    MicrowireDecoder decoder_;
    bool words_ = true;
    bool sk_ = false;
    bool writeEnabled_ = false;
    bool showStatus_ = false;
};

// The bit level of a two-wire receiver and sender, shared by the two-wire
// models: bits taken on rising SCL, most significant first; the receiver's
// acknowledge held low through the ninth clock; a byte being sent changes
// SDA on falling SCL. START, STOP and what a byte means stay with the model.
class TwoWireBits {
public:
    // lateAcknowledge: the acknowledge goes on SDA as the ninth clock rises
    // (not as the eighth falls), once the master has let go of the line.
    explicit TwoWireBits(bool lateAcknowledge = false) : late_(lateAcknowledge) {}
    // What a falling SCL ended.
    enum class Edge : uint8_t { None, AckDone, NextByte, MasterDone };
    bool PullsLow() const { return ackLow_ || sendLow_; }
    bool Sending() const { return sending_; }
    // Back to the start of a byte, nothing driven (START, STOP, power-off).
    void Clear() {
        bit_ = 0;
        shift_ = 0;
        sending_ = ackLow_ = sendLow_ = false;
    }
    void Release() { ackLow_ = sendLow_ = false; }
    // Rising SCL with the SDA level; true when a received byte is complete
    // (Received()), whose acknowledge Acknowledge() then decides.
    bool Rising(bool sda) {
        if (bit_ < 8) {
            if (!sending_) shift_ = static_cast<uint8_t>(shift_ << 1 | (sda ? 1 : 0));
            return ++bit_ == 8 && !sending_;
        }
        if (bit_ == 8) {
            if (sending_) masterAck_ = !sda;
            else if (late_) ackLow_ = ackNext_;
            bit_ = 9;
        }
        return false;
    }
    uint8_t Received() const { return shift_; }
    void Acknowledge(bool ack) { ackNext_ = ack; }
    Edge Falling() {
        if (bit_ == 8) {
            if (sending_) sendLow_ = false; // the master's acknowledge
            else if (!late_) ackLow_ = ackNext_;
        } else if (bit_ == 9) {
            ackLow_ = false;
            bit_ = 0;
            shift_ = 0;
            if (!sending_) return Edge::AckDone;
            if (masterAck_) return Edge::NextByte;
            sending_ = sendLow_ = false;
            return Edge::MasterDone;
        } else if (sending_ && bit_ >= 1) {
            sendLow_ = ((shift_ << bit_) & 0x80) == 0;
        }
        return Edge::None;
    }
    // Starts sending b: its first bit goes on SDA now.
    void Send(uint8_t b) {
        sending_ = true;
        shift_ = b;
        sendLow_ = (b & 0x80) == 0;
    }

private:
    int bit_ = 0; // clocks of the byte under way (0-8)
    uint8_t shift_ = 0;
    bool ackLow_ = false, sendLow_ = false, sending_ = false, masterAck_ = false, ackNext_ = true;
    bool late_ = false;
};

struct TwoWireFacts {
    std::string name;
    uint32_t bytes = 256;
    uint32_t pageBytes = 8;
    int addressForm = 1;        // 0, 1 or 2 (see above)
    bool addressPins = true;    // device-byte bits not used for blocks must match A0-A2
    uint8_t typeCode = 0xA0;    // device byte bits above the block (or A2-A0) bits
    // Write-protect register (0: none), at an address the array may not have.
    bool protectRegister = false;
    uint32_t registerAddress = 0;
    uint32_t writeUs = 10000;
    SerialSupply supply;
};

class TwoWireChip : public SerialChipBase {
public:
    explicit TwoWireChip(const TwoWireFacts& facts);
    const TwoWireFacts& Facts() const { return facts_; }
    uint32_t Starts() const { return starts_; }
    uint8_t ProtectRegister() const { return register_; }
    void SetProtectRegister(uint8_t v) { register_ = static_cast<uint8_t>(v & 0x98); }
    // Fault: register writes run their write cycle and store nothing.
    void FreezeRegister(bool on = true) { registerFrozen_ = on; }
    // Whether an array byte lies in the block the register protects.
    bool Protected(uint32_t address) const;
    uint32_t Stops() const { return stops_; }

private:
    enum class Mode : uint8_t { Idle, Control, AddressHigh, AddressLow, Writing, Reading, Ignore };
    ChipDrive PoweredOutput(const PinEnvironment& env, int chipPin) const override;
    void PinsChanged(const PinEnvironment& env) override;
    void PowerLost() override;
    bool BusSda(const PinEnvironment& env) const;
    void Rising(const PinEnvironment& env, bool sda);
    void Falling();
    void Load();
    void ByteIn(const PinEnvironment& env, uint8_t b);
    void Commit(const PinEnvironment& env);
    void RegisterByte(const PinEnvironment& env, uint8_t b);

    TwoWireFacts facts_;
    bool scl_ = true, sda_ = true;
    Mode mode_ = Mode::Idle;
    TwoWireBits bits_;
    bool fresh_ = true;     // first look at the lines after power-up
    uint32_t high_ = 0;     // address bits 8 and up
    uint32_t address_ = 0;  // the address of the write under way (before wrapping)
    bool registerWrite_ = false;
    bool registerRead_ = false; // the pointer is on the register
    uint8_t register_ = 0;  // bits 3, 4, 7 kept; bits 1, 2 the latches
    int pendingRegister_ = -1;
    bool registerFrozen_ = false;
    uint32_t pointer_ = 0;
    std::vector<std::pair<uint32_t, uint8_t>> page_;
    uint32_t starts_ = 0, stops_ = 0;
};

// Serial NOVRAM, X24C44-type (CE 1 high selects, SK 2, DI 3, DO 4, GND 5,
// /RECALL 6, /STORE 7, VCC 8): 16 words of RAM shadowed by 16 words of
// EEPROM. After CE rises, leading zeros are ignored until the start bit 1;
// then four address bits and a three-bit code, MSB first on rising SK:
//   011 WRITE: 16 data bits follow, least significant first, into the RAM
//       word (write-enable latch set only)
//   11x READ: the RAM word on DO, least significant bit first, bit 0 from the
//       last instruction clock on, the next bit after each further clock
//   100 WREN, 000 WRDS (the write-enable latch), 001 STORE, 101 RECALL
// /RECALL low (or RECALL) copies the EEPROM into the RAM and sets the
// previous-recall latch. /STORE low while CE is low (or STORE) copies the RAM
// into the EEPROM, only with both latches set, and takes the store time; the
// write-enable latch is reset by it. Power-up clears both latches.
struct NovramFacts {
    std::string name;
    uint32_t storeUs = 10000;
    SerialSupply supply;
};

class NovramChip : public SerialChipBase {
public:
    explicit NovramChip(const NovramFacts& facts);
    uint16_t EepromWord(uint32_t a) const { return static_cast<uint16_t>(ReadCell(2 * a) | ReadCell(2 * a + 1) << 8); }
    uint16_t RamWord(uint32_t a) const { return ram_.at(a); }
    // Fault: a RAM word bit that always reads `level`.
    void StickRamBit(uint32_t word, int bit, int level) { ramStuck_ = {word, static_cast<uint16_t>(1u << bit), level}; }
    uint32_t Stores() const { return stores_; }
    uint32_t Recalls() const { return recalls_; }

private:
    ChipDrive PoweredOutput(const PinEnvironment& env, int chipPin) const override;
    void PinsChanged(const PinEnvironment& env) override;
    void PowerLost() override;
    uint16_t Ram(uint32_t a) const;
    void Store(const PinEnvironment& env);
    void Recall();

    NovramFacts facts_;
    std::vector<uint16_t> ram_ = std::vector<uint16_t>(16, 0);
    struct {
        uint32_t word = 99;
        uint16_t mask = 0;
        int level = 0;
    } ramStuck_;
    bool ce_ = false, sk_ = false, recallPin_ = true, storePin_ = true;
    bool writeEnabled_ = false, recalled_ = false;
    enum class State : uint8_t { Standby, WaitStart, Instruction, Data, Reading, Done } state_ = State::Standby;
    int bits_ = 0;
    uint32_t instruction_ = 0;
    uint32_t data_ = 0;
    bool out_ = false;
    uint32_t stores_ = 0, recalls_ = 0;
};

// Byte EEPROM with address-first frames (/CS 1 low selects, CLK 2 resting
// high, DI 3, DO 4, pins 5 and 6 static inputs, READY 7 high when ready,
// VCC 8, ground on 4 of the package: here pin 5 is held low by the row and
// counts as its ground). A frame: /CS low, the address byte and the
// instruction byte, each least significant bit first, taken on rising CLK;
// 06h WRITE takes a data byte and writes it at /CS high; 01h READ puts the
// byte on DO from the next falling CLK on, least significant bit first;
// 09h WREN, 0Bh WRDS; 0Ch ERASE ALL (to FFh). Writes need WREN (lost at
// power-off); READY is low for the write or erase time. Invented from the
// frames of the row that serves it: no datasheet of such a part was found.
struct AddressFirstFacts {
    std::string name;
    uint32_t bytes = 256;
    uint32_t writeUs = 5000;
    uint32_t eraseUs = 10000;
    SerialSupply supply;
};

class AddressFirstChip : public SerialChipBase {
public:
    explicit AddressFirstChip(const AddressFirstFacts& facts);
    // Address and instruction byte of every frame ended so far.
    const std::vector<std::pair<uint8_t, uint8_t>>& Frames() const { return frames_; }

private:
    ChipDrive PoweredOutput(const PinEnvironment& env, int chipPin) const override;
    void PinsChanged(const PinEnvironment& env) override;
    void PowerLost() override;

    AddressFirstFacts facts_;
    bool cs_ = false, clk_ = true, writeEnabled_ = false, out_ = false;
    int bits_ = 0;
    uint32_t frame_ = 0; // address, instruction, data, LSB first
    std::vector<std::pair<uint8_t, uint8_t>> frames_;
};

// 16-bit word EEPROM with an instruction byte (/CS 1, CLK 2, DI 3, DO 4,
// GND 5, /PE 6 program enable, VCC 8): after /CS falls, the instruction byte
// MSB first on rising CLK: 10101hhh READ, 101001hh WRITE (h = address bits 8
// and up), A3h WREN (then eight more bits); then the low address byte and the
// data, least significant bit first. READ shifts the word out LSB first from
// the falling CLK after the address; WRITE runs at /CS high with WREN and /PE
// low. With /CS low and no instruction DO shows ready (high) or busy (low).
// Invented from the frames of the row that serves it: no datasheet of such a
// part was found.
struct InstructionWordFacts {
    std::string name;
    uint32_t words = 256;
    uint32_t writeUs = 10000;
    SerialSupply supply;
};

class InstructionWordChip : public SerialChipBase {
public:
    explicit InstructionWordChip(const InstructionWordFacts& facts);
    uint16_t Word(uint32_t a) const { return static_cast<uint16_t>(ReadCell(2 * a) | ReadCell(2 * a + 1) << 8); }

private:
    ChipDrive PoweredOutput(const PinEnvironment& env, int chipPin) const override;
    void PinsChanged(const PinEnvironment& env) override;
    void PowerLost() override;

    InstructionWordFacts facts_;
    bool cs_ = false, clk_ = true, writeEnabled_ = false, out_ = false;
    int bits_ = 0;
    uint32_t code_ = 0, address_ = 0, data_ = 0;
};

// 16-byte EEPROM with one command byte after a start condition (GND 4, SDA 5,
// SCL 6, VCC 8): START as on the two-wire bus; the command byte MSB first on
// rising SCL, (address x 4) OR 80h READ, OR 40h WRITE; READ shifts the byte
// out MSB first from the falling SCL after the command (8 bits, then SDA is
// released); WRITE takes one data byte and writes it after its eighth bit
// (the row releases SDA before its stop, so no stop condition reaches the
// part after a written byte); STOP ends a frame. Parts that
// need it accept a write only in a frame whose START came with 12 V (10 V or
// more) on SCL. No acknowledge. Invented from the frames of the row that
// serves it: no datasheet of such a part was found.
struct CommandByteFacts {
    std::string name;
    bool highVoltageEntry = true;
    uint32_t writeUs = 5000;
    SerialSupply supply;
};

class CommandByteChip : public SerialChipBase {
public:
    explicit CommandByteChip(const CommandByteFacts& facts);
    uint32_t HighVoltageStarts() const { return hvStarts_; }

private:
    ChipDrive PoweredOutput(const PinEnvironment& env, int chipPin) const override;
    void PinsChanged(const PinEnvironment& env) override;
    void PowerLost() override;

    CommandByteFacts facts_;
    bool scl_ = false, sda_ = true, fresh_ = true, highVoltage_ = false, low_ = false;
    int bits_ = -1; // -1 no frame
    uint32_t command_ = 0, data_ = 0;
    uint32_t hvStarts_ = 0;
};

// 128-byte EEPROM with a select line and one data line (SEL 2, DATA 4, CLK 5,
// VCC 6, GND 7 as in an 8-pin package with the supply on 6): while SEL is
// high, bits are taken on rising CLK, least significant first. SEL falling
// ends the frame: 8 bits are an address (bits 0-6) and an operation bit, 0
// READ, 1 ERASE (the byte to FFh); 16 bits whose last is 1 are a data byte,
// an address and WRITE. ERASE and WRITE run at the next rising CLK with SEL
// low and take the write time, during which frames are ignored; WRITE only
// clears bits, so a byte is erased before it is written. READ drives DATA
// with bit k of the byte from the (k + 1)-th rising CLK on, for 8 clocks.
// Invented from the frames of the row that serves it: no datasheet of such a
// part was found.
struct SelectFrameFacts {
    std::string name;
    uint32_t writeUs = 10000;
    SerialSupply supply;
};

class SelectFrameChip : public SerialChipBase {
public:
    explicit SelectFrameChip(const SelectFrameFacts& facts);

private:
    ChipDrive PoweredOutput(const PinEnvironment& env, int chipPin) const override;
    void PinsChanged(const PinEnvironment& env) override;
    void PowerLost() override;

    SelectFrameFacts facts_;
    bool sel_ = true, clk_ = false, out_ = false;
    int bits_ = 0;
    uint32_t frame_ = 0;
    enum class Armed : uint8_t { None, Erase, Write } armed_ = Armed::None;
    int readBits_ = -1; // -1 no read under way
    uint32_t address_ = 0;
    uint8_t data_ = 0xFF;
};

// EEPROM on the SPI pinout with one address byte (/CS 1, SO 2, /WP 3, GND 4,
// SI 5, SCK 6, /HOLD 7, VCC 8), mode 0: SI taken on rising SCK, SO changed
// on falling SCK, bytes most significant bit first. After /CS falls, the
// instruction byte: A7h READ takes an address byte, then sends one byte of
// access time (FFh) and the bytes from the address on, rolling over at the
// end of the array; A6h sets and A4h clears the write-enable latch; A2h
// PAGE WRITE takes an address byte and data bytes into the page buffer,
// rolling over inside the page, and /CS rising commits them (write-enable
// latch set, /WP high) as a write cycle; the latch stays set until A4h or
// power-off. While busy
// the chip ignores instructions and leaves SO released. Invented from the
// frames of the row that serves it: no datasheet of such a part was found.
struct ByteAddressSpiFacts {
    std::string name;
    uint32_t bytes = 256;
    uint32_t pageBytes = 16;
    uint32_t writeUs = 5000;
    SerialSupply supply;
};

class ByteAddressSpiChip : public SerialChipBase {
public:
    explicit ByteAddressSpiChip(const ByteAddressSpiFacts& facts);
    // Instruction bytes of every selection so far.
    const std::vector<uint8_t>& Instructions() const { return instructions_; }

private:
    ChipDrive PoweredOutput(const PinEnvironment& env, int chipPin) const override;
    void PinsChanged(const PinEnvironment& env) override;
    void PowerLost() override;
    void Deselected(const PinEnvironment& env);

    ByteAddressSpiFacts facts_;
    bool selected_ = false, sck_ = false, writeEnabled_ = false, out_ = true, driving_ = false;
    uint32_t clocks_ = 0; // rising edges since /CS fell
    uint8_t shift_ = 0, instruction_ = 0, address_ = 0;
    std::vector<std::pair<uint32_t, uint8_t>> page_;
    std::vector<uint8_t> instructions_;
};

// EEPROM with 16-bit addresses and two clocks (CTL 1, DATA 2, pin 3 held
// high, GND 4, DCLK 5, RCLK 6, VCC 8). CTL high holds the chip idle. DATA is
// taken on rising DCLK (bits the master drives); the chip drives DATA while
// RCLK is low (bits it sends) and steps on rising RCLK. One DCLK bit between
// two RCLK pulses is a marker, taken as the second pulse falls: 0 starts a
// frame, 1 ends a write. A frame
// takes 16 address bits, high byte first; then DCLK bytes go to the page
// buffer at the address, rolling over inside the page, and the end marker
// commits them as a write cycle; or RCLK bits read the bytes from the
// address on, most significant first. After a write, RCLK bits read 1 when
// ready and 0 while busy; a start marker while busy is ignored. Invented
// from the frames of the row that serves it: no datasheet of such a part
// was found.
struct TwoClockFacts {
    std::string name;
    uint32_t bytes = 8192;
    uint32_t pageBytes = 8;
    uint32_t writeUs = 5000;
    SerialSupply supply;
};

class TwoClockChip : public SerialChipBase {
public:
    explicit TwoClockChip(const TwoClockFacts& facts);
    // Frames opened by a start marker.
    uint32_t Frames() const { return frames_; }

private:
    ChipDrive PoweredOutput(const PinEnvironment& env, int chipPin) const override;
    void PinsChanged(const PinEnvironment& env) override;
    void PowerLost() override;
    void Marker(const PinEnvironment& env, bool end);

    TwoClockFacts facts_;
    enum class State : uint8_t { Idle, Address, Frame, Poll } state_ = State::Idle;
    bool dclk_ = true, rclk_ = true, seenR_ = false, lastD_ = false, out_ = false, closing_ = false;
    uint32_t dSinceR_ = 0, bits_ = 0, address_ = 0, readBit_ = 0, dataBits_ = 0;
    uint8_t shift_ = 0;
    std::vector<std::pair<uint32_t, uint8_t>> page_;
    uint32_t frames_ = 0;
};

// Serial flash with byte programming (PE 1, VCC 2, /CS 3, SCK 4, SI 5, SO 6,
// GND 7, pin 8 held high): after /CS falls, bytes most significant bit
// first, SI taken on rising SCK, SO changed on falling SCK. 90h and three
// address bytes: the maker code (address 0) or the device code (1) follows;
// FFh and five 00h: the array from address 0 on, rolling over at its end;
// 10h, three address bytes, the data byte and 00h programs the byte (bits
// only cleared) with PE high; 60h 00h 00h 00h D0h 00h erases the array with
// PE high. Programming and erasing take their times, during which the chip
// ignores every selection. The identification frame follows the family's
// datasheet; the read, program and erase codes and the PE pin are invented
// from the frames of the row that serves it.
struct ByteFlashFacts {
    std::string name;
    uint32_t bytes = 65536;
    uint8_t makerCode = 0, deviceCode = 0;
    uint32_t programUs = 20;
    uint32_t eraseUs = 100000;
    SerialSupply supply;
};

class ByteFlashChip : public SerialChipBase {
public:
    explicit ByteFlashChip(const ByteFlashFacts& facts);
    const ByteFlashFacts& Facts() const { return facts_; }
    // Selections so far, those with PE high, and the shortest time the chip
    // stayed selected after a program or erase frame (microseconds).
    uint32_t Selections() const { return selections_; }
    uint32_t EnabledSelections() const { return enabledSelections_; }
    uint64_t ShortestHoldUs() const { return shortestHoldUs_; }

private:
    ChipDrive PoweredOutput(const PinEnvironment& env, int chipPin) const override;
    void PinsChanged(const PinEnvironment& env) override;
    void PowerLost() override;
    void Complete(const PinEnvironment& env);
    bool StreamBit(uint32_t j) const;

    ByteFlashFacts facts_;
    bool selected_ = false, sck_ = false, ignoring_ = false, out_ = false, driving_ = false;
    uint32_t clocks_ = 0;
    uint8_t shift_ = 0;
    std::vector<uint8_t> frame_;
    uint32_t selections_ = 0, enabledSelections_ = 0;
    uint64_t writeAtUs_ = 0, shortestHoldUs_ = ~0ull;
    bool writing_ = false;
};

// SPI EEPROM (/CS 1, SO 2, /WP 3, GND 4, SI 5, SCK 6, /HOLD or RESET 7,
// VCC 8), mode 0: SI taken on rising SCK, SO changed on falling SCK, bytes
// most significant bit first. Instructions: 06h set and 04h reset the write
// enable latch (WEL); 05h sends the status register (bit 0 WIP, bit 1 WEL,
// bits 2-3 block protect, bits 4-5 watchdog, bit 7 WPEN) again and again
// while selected; 01h writes it; 03h reads from the address on, rolling over
// at the array end; 02h fills the page buffer at the address, rolling over
// inside the page, and /CS rising after whole bytes starts the write cycle;
// C7h erases the array on parts that have it. Parts of 512 bytes carry A8 in
// bit 3 of the instruction and one address byte; others two or three. Writes
// need WEL, and every completed write (array, status, erase) clears it.
// During a write cycle only 05h is served. A write touching a protected block
// (none, the upper quarter, half or all of the array) is dropped; the erase
// is dropped when any block is protected. With WPEN set and /WP low the
// status register takes no writes. /HOLD low on parts that have it makes the
// chip ignore SCK. Watchdog parts store the timer bits (the RESET output is
// not modelled).
struct SpiEepromFacts {
    std::string name;
    uint32_t bytes = 512;
    uint32_t pageBytes = 16;
    uint32_t addressBytes = 1; // 1: A8 in the instruction
    uint32_t writeUs = 5000;
    bool wpen = false;         // status bit 7 with /WP
    bool watchdog = false;     // status bits 4-5; pin 7 is no /HOLD
    bool chipErase = false;    // C7h
    uint32_t eraseUs = 10000;
    SerialSupply supply;
};

class SpiEepromChip : public SerialChipBase {
public:
    explicit SpiEepromChip(const SpiEepromFacts& facts);
    uint8_t Status() const { return status_; }
    void SetStatus(uint8_t v) { status_ = v & Kept(); }
    // Fault: status writes run their write cycle and store nothing.
    void FreezeStatus(bool on = true) { statusFrozen_ = on; }
    // Instruction bytes of every selection so far.
    const std::vector<uint8_t>& Instructions() const { return instructions_; }

private:
    ChipDrive PoweredOutput(const PinEnvironment& env, int chipPin) const override;
    void PinsChanged(const PinEnvironment& env) override;
    void PowerLost() override;
    void Deselected(const PinEnvironment& env);
    void Take(const PinEnvironment& env, uint32_t index, uint8_t value);
    uint8_t Kept() const;
    uint8_t StatusNow(const PinEnvironment& env) const;
    bool Protected(uint32_t address) const;

    SpiEepromFacts facts_;
    uint8_t status_ = 0; // nonvolatile bits (2-7)
    bool statusFrozen_ = false;
    bool wel_ = false, selected_ = false, sck_ = false, out_ = false, driving_ = false, ignoring_ = false;
    uint32_t clocks_ = 0, address_ = 0;
    uint8_t shift_ = 0, instruction_ = 0, newStatus_ = 0, outByte_ = 0;
    std::vector<std::pair<uint32_t, uint8_t>> page_;
    std::vector<uint8_t> instructions_;
};

// DataFlash in its 8-pin form (SI 1, SCK 2, /RESET 3, /CS 4, /WP 5, VCC 6,
// GND 7, SO 8) in its socket adapter, which takes pins 1-5 to ZIF 21-25, pin
// 8 to ZIF 28, VCC to ZIF 37 and GND to ZIF 38 (the wiring is invented: the
// routing fixes only the supply and ground pins); mode 0, after the AT45DB family's datasheets. Byte addresses
// are the page number shifted left by 9 (264-byte pages) or 10 (528), plus
// the byte in the page. 52h, three address bytes and four don't-care bytes
// read the page from the byte on, wrapping inside it; 82h, three address
// bytes and data fill buffer 1 from the byte on (wrapping), and /CS rising
// erases the page and programs it from the buffer (busy for the page time);
// 53h and three address bytes copy the page to buffer 1 (busy for the
// transfer time); 57h sends the status (bit 7 ready, bits 5-2 the density
// code) again and again, its bit 7 staying on SO while SCK rests, so a
// waiting master sees SO rise as the chip gets ready. While busy only 57h is
// served. /RESET low ends any frame and ignores the lines.
struct DataFlashFacts {
    std::string name;
    uint32_t pages = 2048;
    uint32_t pageBytes = 264;
    uint8_t densityCode = 0x7;    // status bits 5-2
    uint32_t pageProgramUs = 20000; // erase and program of a page
    uint32_t transferUs = 250;    // page to buffer
    SerialSupply supply;
};

class DataFlashChip : public SerialChipBase {
public:
    explicit DataFlashChip(const DataFlashFacts& facts);
    const DataFlashFacts& Facts() const { return facts_; }
    // Instruction bytes and the three address bytes of every frame so far.
    const std::vector<std::vector<uint8_t>>& Frames() const { return frames_; }

private:
    ChipDrive PoweredOutput(const PinEnvironment& env, int chipPin) const override;
    void PinsChanged(const PinEnvironment& env) override;
    void PowerLost() override;
    void Deselected(const PinEnvironment& env);
    uint8_t StatusNow(const PinEnvironment& env) const;
    uint32_t PageOf(uint32_t address) const;
    uint32_t ByteOf(uint32_t address) const;

    DataFlashFacts facts_;
    std::vector<uint8_t> buffer_;
    bool selected_ = false, sck_ = false, out_ = true, driving_ = false, ignoring_ = false;
    uint32_t clocks_ = 0, address_ = 0;
    uint8_t shift_ = 0, outByte_ = 0;
    std::vector<uint8_t> frame_; // instruction, address bytes
    uint32_t written_ = 0;       // data bytes into the buffer this frame
    std::vector<std::vector<uint8_t>> frames_;
};

} // namespace sim
