// Microcontrollers programmed through a small program they take into RAM in
// their bootstrap mode, and run on a 68HC11 core (Cpu6811.h); the logic
// image serves them over programmer registers.
//
// No datasheet of such a part was found: its map, bootstrap and ports
// follow the algorithm row (row 146).
// - Bootstrap mode is entered only when reset is released with the supply in
//   its window, the grounds held and the mode pin at its high voltage. The
//   bootstrap ROM then takes download bytes into RAM from 0000h, each at
//   least byteUs after the one before (its receive time), up to ramBytes
//   (more is a violation); with loaderBytes stored it jumps to 0000h.
// - Ports (E at eKhz): PORTA (0100h, read) bit 0 the strobe (1 idle), bit 1
//   set while the programmer drives the data port; PORTB (0101h) the byte
//   the part drives; PORTC (0102h) the address latch, PORTD (0103h) the data
//   latch the programmer drives; BUSY (0104h) bit 0 the busy line (1 out of
//   reset); EPROG (0105h): LAT (bit 1) set, a write to an EPROM cell latches
//   it, PGM (bit 0) set for burnUs with the mode pin's high voltage held,
//   then cleared, burns it (bits leave the cell's blank value); shorter, or
//   without the voltage, the cell keeps what it held (a violation).
//
// The bootstrap logic image serves these parts in its layout 5 (see
// BootBus.h): register 1 holds and releases reset, sets the data port's
// direction and reads bit 0 as the busy line; register 2 the port set-up;
// register 3 the strobe (PA0); register 0 the address latch (PORTC) and the
// data port read (PORTB); register 4 the data latch (PORTD); register 5 a
// download byte.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sim/Cpu6811.h"
#include "sim/PartFacts.h"
#include "sim/SocketBus.h"

namespace sim {

struct LoaderMcuFacts : PartFacts {
    std::string maker;
    std::string note;
    struct Window {
        uint32_t first, last;
        uint8_t blank;
    };
    std::vector<Window> windows; // the cells, with each one's blank value
    int modePin = 7;             // chip pin of the bootstrap high voltage
    int modeMinTenths = 90, modeLimitTenths = 110;
    std::vector<int> extraVccPins; // further supply pins that must be in the window
    uint32_t ramBytes = 176;       // the most the bootstrap takes
    uint32_t loaderBytes = 128;    // the count after which the program runs
    uint32_t byteUs = 1040;        // least spacing of download bytes
    uint32_t burnUs = 2000;        // programming time of one cell
    uint32_t eKhz = 2000;          // the core's E clock
};

class LoaderMcuChip : public CatalogChip, private Cpu6811Bus {
  public:
    explicit LoaderMcuChip(const LoaderMcuFacts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const PinEnvironment& env) override;
    void SuppliesChanged(const PinEnvironment& env) override { Update(env); }
    ChipDrive Output(const PinEnvironment&, int) const override { return ChipDrive::None; }
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    size_t Words() const override { return facts_.words; }
    uint16_t Cell(uint32_t a) const override { return a < facts_.words ? cells_[a] : BlankOf(a); }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < facts_.words) cells_[a] = static_cast<uint8_t>(v);
    }
    uint8_t BlankOf(uint32_t a) const;

    // What the logic does to the part.
    void Reset(const PinEnvironment& env, bool held);
    void Download(const PinEnvironment& env, uint8_t byte);
    // The strobe falls with the address and data latches the programmer
    // drives, `programmerDrives` whether the data port points to the part.
    void Strobe(const PinEnvironment& env, uint8_t address, uint8_t data, bool programmerDrives);
    void StrobeReleased(const PinEnvironment& env, uint64_t lowUs);
    bool Busy(const PinEnvironment& env);
    uint8_t Port(const PinEnvironment& env);

    // Injected faults: a cell that never takes a byte; busy for ever.
    void StickCell(uint32_t a) { stuck_ = static_cast<int64_t>(a); }
    void NeverReady() { neverReady_ = true; }
    // What a test looks at.
    bool Running() const { return running_; }
    // Whether the bootstrap firmware takes download bytes.
    bool Listening() const { return bootstrap_ && !running_; }
    uint32_t Downloaded() const { return downloaded_; }
    const std::vector<uint32_t>& Burnt() const { return burnt_; }

  private:
    int Pin(int chipPin) const { return pins_[static_cast<size_t>(chipPin - 1)]; }
    bool Powered(const PinEnvironment& env) const;
    bool ModeVoltage(const PinEnvironment& env) const;
    bool InWindow(uint32_t a) const;
    void CatchUp(const PinEnvironment& env);
    uint64_t CoreUs() const { return startUs_ + cpu_.Cycles() * 1000 / facts_.eKhz; }
    uint8_t Read(uint16_t a) override;
    void Write(uint16_t a, uint8_t v) override;
    void Lose(const std::string& what);

    LoaderMcuFacts facts_;
    std::vector<int> pins_;
    std::vector<uint8_t> cells_;
    std::vector<uint8_t> ram_;
    bool inReset_ = true;
    bool bootstrap_ = false;
    bool running_ = false;
    uint32_t downloaded_ = 0;
    uint64_t lastByteAt_ = 0;
    Cpu6811 cpu_{*this};
    uint64_t startUs_ = 0;
    uint64_t writes_ = 0;
    const PinEnvironment* env_ = nullptr;
    // The ports.
    bool strobeHigh_ = true, programmerDrives_ = false;
    uint8_t address_ = 0, data_ = 0, portB_ = 0, busy_ = 1, eprog_ = 0;
    // The burn under way.
    bool latched_ = false, pgm_ = false, vppLost_ = false;
    uint32_t latchAt_ = 0;
    uint8_t latchValue_ = 0xFF;
    uint64_t pgmFrom_ = 0;
    int64_t stuck_ = -1;
    bool neverReady_ = false;
    std::vector<uint32_t> burnt_;
};

} // namespace sim
