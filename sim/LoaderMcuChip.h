// Microcontrollers programmed through a small program they take into RAM in
// their bootstrap mode, and the logic image that serves them over
// programmer registers.
//
// The part: bootstrap mode is entered only when reset is released with the
// supply in its window, the grounds held and the mode pin at its high
// voltage. The bootstrap firmware then takes download bytes, each at least
// byteUs after the one before (its receive time), up to ramBytes; more is a
// violation. Once loaderBytes have arrived it runs the program only when the
// download starts with a tag it recognises (see LoaderTag), of its own
// family and stating that count; otherwise it stays silent (busy). The
// running program takes an address high byte, a low byte and then one data
// byte per strobe, busy for stepUs after each; the program role burns the
// byte (EPROM bits go towards the cell's programmed state; busy for burnUs,
// with the mode pin's high voltage held throughout), the read role puts the
// cell on the data port.
//
// The bootstrap logic image serves these parts in its layout 5 (see
// BootBus.h): register 1 holds and releases reset and sets the data port's
// direction and reads bit 0 as the part busy; register 2 the port set-up;
// register 3 the strobe; register 0 the address byte and the data port
// read; register 4 the data byte to program; register 5 a download byte.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/PartFacts.h"
#include "sim/SocketBus.h"

namespace sim {

// The tag a chip-side program starts with:
// "VXBOOT <family> <ROLE> <count>" and a blank, e.g.
// "VXBOOT 68HC05 READ 128 ". Roles: READ, PROGRAM, ERASE, SECURE, CONFIG.
struct LoaderTag {
    std::string family;
    std::string role;
    uint32_t count = 0;
};
// The tag of a download; nullopt when it carries none.
std::optional<LoaderTag> ParseLoaderTag(const std::vector<uint8_t>& bytes);

struct LoaderMcuFacts : PartFacts {
    std::string maker;
    std::string note;
    std::string family = "68HC05";
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
    uint32_t startUs = 500;        // busy from the last download byte
    uint32_t stepUs = 40;          // busy after each handshake byte
    uint32_t burnUs = 2000;        // programming time of one cell
    uint32_t strobeUs = 10;        // least strobe low time
};

class LoaderMcuChip : public CatalogChip {
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
    // One strobe as it falls: the address byte and the data byte the
    // programmer drives, `programmerDrives` whether the data direction is
    // towards the chip (the read role puts its byte on the port at once).
    void Strobe(const PinEnvironment& env, uint8_t address, uint8_t data, bool programmerDrives);
    // The strobe back high after lowUs: shorter than the program's polling
    // loop is a violation.
    void StrobeReleased(const PinEnvironment& env, uint64_t lowUs);
    bool Busy(const PinEnvironment& env) const;
    uint8_t Port() const { return port_; }

    // Injected faults: a cell that never takes a byte; busy for ever.
    void StickCell(uint32_t a) { stuck_ = static_cast<int64_t>(a); }
    void NeverReady() { neverReady_ = true; }
    // What a test looks at.
    bool Running() const { return running_; }
    // Whether the bootstrap firmware takes download bytes.
    bool Listening() const { return bootstrap_ && !running_; }
    uint32_t Downloaded() const { return static_cast<uint32_t>(ram_.size()); }
    const std::string& RunningRole() const { return role_; }
    const std::vector<uint32_t>& Burnt() const { return burnt_; }

  private:
    int Pin(int chipPin) const { return pins_[static_cast<size_t>(chipPin - 1)]; }
    bool Powered(const PinEnvironment& env) const;
    bool ModeVoltage(const PinEnvironment& env) const;
    bool InWindow(uint32_t a) const;
    void Settle(const PinEnvironment& env, bool interrupted);

    LoaderMcuFacts facts_;
    std::vector<int> pins_;
    std::vector<uint8_t> cells_;
    bool inReset_ = true;
    bool bootstrap_ = false;
    bool running_ = false;
    std::string role_;
    std::vector<uint8_t> ram_;
    uint64_t lastByteAt_ = 0;
    uint64_t busyUntil_ = 0;
    int phase_ = 0;
    uint32_t address_ = 0;
    uint8_t port_ = 0xFF;
    bool pending_ = false;
    uint32_t pendingAt_ = 0;
    uint8_t pendingValue_ = 0;
    uint64_t pendingFrom_ = 0;
    int64_t stuck_ = -1;
    bool neverReady_ = false;
    std::vector<uint32_t> burnt_;
};

} // namespace sim
