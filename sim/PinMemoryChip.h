// A byte-wide parallel memory at pin level for the pin driver: UV/OTP EPROMs
// programmed by a pulse under programming voltage, EEPROMs written by a timed
// /WE and static (nonvolatile) RAMs with an optional clock register window.
//
// Behaviour, as the datasheets of these parts describe it:
// - Powered: VCC between 4.5 V and 7.0 V, the ground pin held low. Every
//   enable pin held at its level (enableLow / enableHigh) selects the part.
// - Read: /CE (where the part has one) and /OE low, /WE high (EEPROM, RAM) and
//   no programming condition: the part drives the cell at the address.
// - Address latch (latchPin): on its falling edge, while the Vpp pin is not
//   at programming voltage, address bits 0-7 are taken from the data pins;
//   the address pins then carry bits 8 and up.
// - EPROM program pulse: the Vpp pin at VppMin or above and the program pin at
//   its active level; a pulse of at least minPulseUs counts for the cell and
//   datum latched at its start. Once the cell had the pulses it needs, its
//   bits move from the blank value towards the datum (never back).
// - Margin read (marginPin held low): a programmed cell reads programmed only
//   after marginUs of programming time in all, else blank; the programming of
//   a weak cell shows at the margin only after extra pulses.
// - EEPROM write: /CE low, /OE high, /WE held low for writeUs or longer: the
//   byte at the address latched at the falling edge takes the datum present at
//   the rising edge. A shorter /WE writes nothing.
// - EEPROM chip erase: (a) chipErasePin low during a /WE pulse of eraseUs or
//   more, or (b) with ceStrobeErase, a /CE falling edge while /WE and /OE are
//   low, with /WE then held low for eraseUs: every cell FFh.
// - RAM write: /CE and /WE low, taken on the rising edge of /WE.
// - Clock window (RAM): clockCount registers from clockBase; writable bits
//   read back what was written, read-only bits read the part's fixed value;
//   the seconds register (clockSeconds, BCD) counts on once a second while
//   its stop bit (bit 7) is 0.
// - Over-voltage on any pin (above vppMax on the Vpp pin, 7.0 V elsewhere) is
//   a violation of the electrical model.
//
// Fault injection: a cell that never programs nor erases (it keeps its datum),
// a cell needing N pulses, a byte that does not keep what is written.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sim/Electrical.h"
#include "sim/Socket.h"

namespace sim {

enum class PinMemoryKind : uint8_t { Eprom, Eeprom, Ram };

struct PinMemoryConfig {
    std::string name = "memory";
    std::string note; // where the facts come from when not from a datasheet
    bool followsRow = false; // no datasheet: the facts follow the algorithm row
    PinMemoryKind kind = PinMemoryKind::Eprom;
    int pinCount = 28;
    uint32_t words = 0x2000;
    uint8_t blank = 0xFF;
    // Chip pins (1-based); 0 = the part has none.
    int vccPin = 28;
    int gndPin = 14;
    std::vector<int> addressPins; // A0 first (A8 first with a latch pin)
    std::vector<int> dataPins;    // D0 first
    int cePin = 20;
    int oePin = 22;
    int wePin = 27;               // program pin of an EPROM, /WE otherwise
    bool programActiveHigh = false;
    std::vector<int> enableLow;
    std::vector<int> enableHigh;
    // EPROM.
    int vppPin = 1;
    int vppMinTenths = 120;
    int vppMaxTenths = 140;
    uint32_t minPulseUs = 80;
    int pulsesNeeded = 1;
    int latchPin = 0;
    int marginPin = 0;
    uint64_t marginUs = 0;
    // EEPROM.
    uint32_t writeUs = 0;
    uint32_t eraseUs = 0;
    int chipErasePin = 0;
    bool ceStrobeErase = false;
    // RAM clock window.
    uint32_t clockBase = 0;
    uint32_t clockCount = 0;
    std::vector<uint8_t> clockReadOnlyMask; // per register
    std::vector<uint8_t> clockFixedBits;    // value of the read-only bits
    int clockSeconds = -1;                  // register index counting seconds
};

struct PinPulse {
    uint32_t address;
    uint8_t data;
    uint64_t widthUs;
};

class PinMemoryChip : public ChipModel {
public:
    explicit PinMemoryChip(PinMemoryConfig config);

    std::string Name() const override { return cfg_.name; }
    const std::vector<int>& SocketPins() const override { return socketPins_; }
    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    // Output of every pin asked, with the read worked out once.
    void Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const override;

    const PinMemoryConfig& Config() const { return cfg_; }
    ChipPinLimits Limits() const;

    // The datum a read of the address gives now (clock registers included).
    uint8_t Cell(uint32_t address) const;
    void SetCell(uint32_t address, uint8_t value);
    bool IsBlank() const;
    uint32_t Words() const { return cfg_.words; }

    // A cell that takes no write, pulse or chip erase.
    void StickCell(uint32_t address) { stuck_.insert(address); }
    void SetPulsesNeeded(uint32_t address, int pulses) { needed_[address] = pulses; }

    const std::vector<PinPulse>& Pulses() const { return pulses_; }
    uint32_t Writes() const { return writes_; }
    uint32_t Erases() const { return erases_; }
    // Address latch events (latchPin falling edges that took an address).
    uint32_t Latches() const { return latches_; }

private:
    int Socket(int chipPin) const;
    bool Low(const PinEnvironment& env, int chipPin) const;
    bool Powered(const PinEnvironment& env) const;
    bool Enabled(const PinEnvironment& env) const;
    bool AtVpp(const PinEnvironment& env) const;
    bool ProgramActive(const PinEnvironment& env) const;
    bool Driving(const PinEnvironment& env) const;
    uint32_t AddressNow(const PinEnvironment& env) const;
    uint8_t DataNow(const PinEnvironment& env) const;
    uint8_t ReadCell(const PinEnvironment& env, uint32_t address) const;
    void Store(uint32_t address, uint8_t value, uint64_t now);
    void EndPulse(uint64_t widthUs);
    void EraseAll();

    PinMemoryConfig cfg_;
    std::vector<int> socketPins_;
    // Socket pins of the address lines, when every one sits in the socket
    // (empty otherwise: AddressNow then reads them one by one).
    std::vector<int> addressSocket_;
    // Data bit on each socket pin (-1: not a data pin).
    int8_t dataBitAt_[kSocketPins + 1];
    std::vector<uint8_t> cells_;
    std::vector<uint64_t> programmedUs_;
    std::vector<uint16_t> counted_;
    uint8_t lowAddress_ = 0;
    bool latchHigh_ = false;
    bool pulsing_ = false;
    uint64_t pulseStart_ = 0;
    uint32_t pulseAddress_ = 0;
    uint8_t pulseData_ = 0;
    bool weLow_ = false;
    bool ceLow_ = false;
    bool eraseArmed_ = false;
    uint64_t eraseStart_ = 0;
    uint64_t clockSetUs_ = 0;
    std::set<uint32_t> stuck_;
    std::map<uint32_t, int> needed_;
    std::vector<PinPulse> pulses_;
    uint32_t writes_ = 0;
    uint32_t erases_ = 0;
    uint32_t latches_ = 0;
    mutable uint64_t nowUs_ = 0;
};

} // namespace sim
