// An AVR microcontroller of the AT90S2323/2343 kind (8 pins) in its two
// serial programming modes, at pin level.
//
// Low-voltage serial (SPI-style): the part must be powered with RESET and SCK
// low, else it is out of step until RESET is given a high pulse with SCK
// low. At least 20 ms after that, four-byte instructions are shifted in on
// MOSI, bit 7 first, on SCK rising edges; MISO shifts the output, bit 7
// before the first clock. Programming Enable (ACh 53h) echoes its second byte
// while the third goes in; nothing else is obeyed before it. Flash, EEPROM
// and lock writes take 4 ms, chip erase its erase time; a read of anything
// while a write runs gives FFh, any other instruction then is a violation.
//
// High-voltage serial: VCC up with RESET and SDI (PB0) low, at least four
// XTAL1 clocks, XTAL1 low, then 12 V on RESET. Instructions are 11-bit
// frames clocked by XTAL1 rising edges: a 0 start bit, eight bits of SDI and
// SII, bit 7 first, two stop bits. The SII byte carries XA1, XA0, BS, WR,
// OE (bits 6-2, WR and OE active low): XA 00 loads SDI as the address byte
// BS selects, 01 as data, 10 as command; WR low executes chip erase, fuse
// or lock writes, which need WR low their least write time; OE low latches the byte the read
// command selects, which leaves on SDO during the next frame, bit 7 before
// its first clock. WR and OE low together is a violation.
//
// Lock bit 1 blocks flash and EEPROM writes; both lock bits also block reads
// of them and of the signature (FFh). Chip erase clears flash, EEPROM and
// the lock bits, never the fuses.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/AvrCells.h"
#include "sim/PartFacts.h"

namespace sim {

struct AvrSerialFacts : PartFacts {
    std::string maker;
    std::string note;
    uint8_t signature[3] = {0x1E, 0x91, 0x03};
    uint32_t flashBytes = 2048;
    uint32_t eepromBytes = 128;
    // Fuse and lock byte as read: bit 5 SPIEN, bit 0 RCEN or FSTRT, the
    // other fuse bits read 1 (0 programmed).
    uint8_t fuses = 0xDF;
    int resetPin = 1, xtal1Pin = 2, mosiPin = 5, misoPin = 6, sckPin = 7;
    VoltageWindow vpp{115, 125};
    int vppLimitTenths = 130;
    uint32_t settleUs = 20000; // RESET low to the first instruction
    uint32_t writeUs = 4000;
    uint32_t eraseUs = 8000;
    // Least WR low time of the high-voltage chip erase and fuse write, in us.
    uint32_t eraseMinUs = 5000;
    uint32_t fuseMinUs = 1000;
};

class AvrSerialChip : public CatalogChip, public AvrCells {
  public:
    explicit AvrSerialChip(const AvrSerialFacts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const PinEnvironment& env) override;
    void SuppliesChanged(const PinEnvironment& env) override { Update(env); }
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    // The flash bytes; Cell and SetCell also reach the EEPROM after them.
    size_t Words() const override { return facts_.flashBytes; }
    uint16_t Cell(uint32_t a) const override { return a < cells_.size() ? cells_[a] : 0; }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < cells_.size()) cells_[a] = static_cast<uint8_t>(v);
    }

    const AvrSerialFacts& Part() const { return facts_; }
    uint8_t Eeprom(uint32_t a) const { return Cell(facts_.flashBytes + a); }
    // Faults beyond the shared ones: a serial interface never in step
    // (powered without RESET and SCK low).
    void LoseStep() { lostStep_ = true; }

  private:
    enum class Mode : uint8_t { Off, Spi, Hv };
    int Sock(int chipPin) const { return pins_[static_cast<size_t>(chipPin - 1)]; }
    bool High(const PinEnvironment& env, int chipPin) const { return env.InputLevel(Sock(chipPin)) == 1; }
    bool Busy(const PinEnvironment& env) const { return env.NowUs() < busyUntil_; }
    bool ReadLocked() const { return (locks_ & 0x06) == 0; }
    uint8_t LockFuseByte() const;
    void PowerChanged(const PinEnvironment& env, bool vcc);
    void SpiClock(const PinEnvironment& env);
    void SpiExecute(const PinEnvironment& env);
    uint8_t SpiRead(const PinEnvironment& env) const;
    void HvClock(const PinEnvironment& env);
    void HvExecute(const PinEnvironment& env, uint8_t sdi, uint8_t sii);
    uint8_t HvRead(bool bs) const;
    void Write(uint32_t at, uint8_t value);
    void Erase();

    AvrSerialFacts facts_;
    std::vector<int> pins_;
    Mode mode_ = Mode::Off;
    bool vcc_ = false, resetLow_ = false, inStep_ = false, enabled_ = false;
    bool sck_ = false, xtal_ = false;
    uint64_t settledAt_ = 0, busyUntil_ = 0;
    // Low-voltage serial: the bytes of the instruction, the bit count.
    uint8_t in_[4] = {}, out_ = 0;
    int bits_ = 0;
    // High-voltage serial entry and frames.
    int entryClocks_ = 0;
    bool hvRefused_ = false; // one violation per refused 12 V episode
    int frameBit_ = 0;
    uint8_t sdi_ = 0, sii_ = 0;
    uint8_t command_ = 0, data_ = 0;
    uint16_t address_ = 0;
    bool wrLow_ = false;
    uint64_t wrFellUs_ = 0;
    bool outPending_ = false;
    uint8_t pendingOut_ = 0, frameOut_ = 0;
    bool frameOutValid_ = false;
    bool lostStep_ = false;
};

struct CatalogPart;
// The catalog's serial AVR parts.
void AddAvrSerialParts(std::vector<CatalogPart>& parts);

} // namespace sim
