// 68HC05-family microcontrollers in their bootstrap mode, and the logic image
// that serves them over programmer registers. 68HC11-family parts share the
// model with their own loader (see the facts' 68HC11 fields).
//
// The part: held in reset with its mode pins at their bootstrap levels and
// the high voltage on its mode pin, it enters its bootstrap loader when
// reset is released with the supply in its window. The loader takes
// download bytes into RAM, one per byteUs at most (a byte sooner is lost, a
// violation), at most the part's RAM. A download that completes a tagged
// chip-side program of this family (see ChipSideProgram.h) starts it; any
// other content leaves the part silent: it never reports ready. The running
// program serves a byte handshake: ready high while it waits for a strobe;
// per strobe it takes the byte the logic drives or presents one.
//   read: address high, low, then the cell (a nibble program takes and gives
//         bytes as two nibbles, low first; a sequential one takes no
//         address and walks the EPROM ranges in ascending order).
//   program: address high, low, data: an EPROM byte burns for burnUs with
//         the programming voltage held on vppPin (bits leave the EPROM blank
//         value); an EEPROM byte writes for eeWriteUs (bits cleared).
//   erase: address high, low: the EEPROM byte erases to FFh in eeEraseUs.
//   secure: with the programming voltage on vppPin, the security bit burns
//         for secureUs; ready then; afterwards the read program never
//         reports ready.
// Ready stays low while a cell works; a strobe meanwhile is a violation and
// the cell is left as it was; so is the programming voltage leaving vppPin
// or the supply going before the cell is done.
//
// The logic image that serves these parts is in BootBus.h.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/PartFacts.h"
#include "sim/BootBus.h"
#include "sim/SocketBus.h"

namespace sim {

struct Boot05Facts : PartFacts {
    std::string maker;
    std::string note;
    struct Range {
        uint32_t first, last;
    };
    std::vector<Range> eprom;  // erased to `blank`
    std::vector<Range> eeprom; // erased to FFh
    uint32_t ramBytes = 176;   // the most the loader takes
    uint32_t byteUs = 2000;    // the loader's time per download byte
    int modePin = 0;           // chip pin that needs modeMinTenths to enter bootstrap
    int modeMinTenths = 90;
    int modeLimitTenths = 110;
    int vppPin = 0;            // chip pin of the programming voltage
    int vppMinTenths = 150, vppLimitTenths = 175;
    std::vector<int> highVoltagePins; // further chip pins that take up to vppLimitTenths
    uint32_t burnUs = 2000, eeWriteUs = 10000, eeEraseUs = 10000, secureUs = 2000;
    bool hasSecurity = false;
    // 68HC11 parts: the family of the programs they run ("HC05"/"HC11").
    // Their loader takes FFh first (the baud-rate byte, not stored; any
    // other first byte leaves the part silent), then program bytes into RAM
    // from its start; it runs the program when the RAM is full or the line
    // has been idle for idleUs. The CONFIG register is an EEPROM cell at
    // configAt (-1 none) whose unimplemented bits read 0 (configMask); a
    // sequential program walks every range and CONFIG in ascending order,
    // and the erase program bulk-erases the EEPROM in eeEraseUs.
    std::string family = "HC05";
    bool hc11Loader = false;
    uint32_t idleUs = 0;
    int64_t configAt = -1;
    uint8_t configMask = 0xFF;
    // The parallel EPROM mode some 68HC711-type parts enter once a loaded
    // program runs: parallelAddress (A0-A8) selects the EPROM cell
    // parallelBase + address, parallelData carries it (chip pins). A low
    // pulse on parallelProgramPin of at least parallelBurnUs with the
    // programming voltage on parallelVppPin clears the bits the data lines
    // drive low; parallelReadPin low presents the cell. With the test line
    // parallelTestPin low the part shows the complement of the cell while
    // the read line is high (the blank check's second read). No parallel
    // pins: no such mode.
    std::vector<int> parallelAddress, parallelData;
    uint32_t parallelBase = 0;
    int parallelProgramPin = 0, parallelReadPin = 0, parallelVppPin = 0, parallelTestPin = 0;
    uint32_t parallelBurnUs = 0;
};

class Boot05Chip : public CatalogChip {
public:
    explicit Boot05Chip(const Boot05Facts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void SuppliesChanged(const PinEnvironment& env) override;
    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    size_t Words() const override { return cells_.size(); }
    uint16_t Cell(uint32_t a) const override { return a < cells_.size() ? cells_[a] : 0xFF; }
    // A cell as the part's own reads give it (CONFIG with its unimplemented bits 0).
    uint8_t ReadCell(uint32_t a) const;
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < cells_.size()) cells_[a] = static_cast<uint8_t>(v);
    }

    // What the logic does to the part.
    void HoldReset(const PinEnvironment& env, bool modePins);
    void ReleaseReset(const PinEnvironment& env);
    void DownloadByte(const PinEnvironment& env, uint8_t b);
    // Who holds the part's data port for the data phase of a transfer: a
    // logic that tells the two apart has the part present a cell only while
    // it drives the port itself, and hands it a byte to burn only while the
    // logic drives it; the address bytes reach the part either way.
    enum class DataPort { Either, PartDrives, LogicDrives };
    // One strobe with `port` on the input port; the byte the part presents.
    std::optional<uint8_t> Strobe(const PinEnvironment& env, uint8_t port, DataPort data = DataPort::Either);
    bool Ready(const PinEnvironment& env);
    bool Downloading() const { return state_ == State::Loading; }
    bool Supplied(const PinEnvironment& env) const { return Powered(env); }

    bool Secured() const { return secured_; }
    bool Running() const { return state_ == State::Running; }
    uint32_t Burns() const { return burns_; }
    // Bytes the loader took since reset was last released; programs started.
    uint32_t Downloaded() const { return downloaded_; }
    uint32_t Starts() const { return starts_; }
    // The addresses of the cells taken, in order.
    const std::vector<uint32_t>& Taken() const { return taken_; }
    void ClearTaken() { taken_.clear(); }
    // Injected faults: a cell that never takes a byte; a program that never
    // reports ready.
    void StickCell(uint32_t a) { stuck_ = static_cast<int64_t>(a); }
    void NeverReady() { neverReady_ = true; }

private:
    enum class State { Off, Reset, Loading, Running, Silent };
    int Pin(int chipPin) const { return pins_[static_cast<size_t>(chipPin - 1)]; }
    bool Powered(const PinEnvironment& env) const;
    bool InEprom(uint32_t a) const;
    bool InEeprom(uint32_t a) const;
    void Settle(const PinEnvironment& env);
    void StartWork(const PinEnvironment& env, uint32_t a, int kind, uint8_t v, uint32_t us);
    void Start();
    uint32_t SequentialAddress(uint32_t index) const;
    void StartIfIdle(const PinEnvironment& env, bool full = false);
    bool Parallel() const { return !facts_.parallelData.empty() && state_ == State::Running; }
    uint32_t ParallelCell(const PinEnvironment& env) const;

    Boot05Facts facts_;
    std::vector<int> pins_;
    std::vector<uint8_t> cells_;
    State state_ = State::Off;
    bool modeHeld_ = false;
    std::vector<uint8_t> ram_;
    bool synced_ = false;
    std::vector<uint32_t> walk_; // a sequential 68HC11 program's addresses
    uint64_t lastByteUs_ = 0;
    int role_ = 0, kind_ = 0;
    // The handshake: bytes taken of the current transfer.
    std::vector<uint8_t> got_;
    uint32_t seq_ = 0;
    // A cell at work: 1 EPROM burn, 2 EEPROM write, 3 EEPROM erase, 4 security,
    // 5 EEPROM bulk erase.
    int work_ = 0;
    uint32_t workAt_ = 0;
    uint8_t workValue_ = 0;
    uint64_t workFrom_ = 0, workUntil_ = 0;
    bool secured_ = false, neverReady_ = false;
    int64_t stuck_ = -1;
    uint32_t burns_ = 0, downloaded_ = 0, starts_ = 0;
    std::vector<uint32_t> taken_;
    // The parallel mode's program pulse: low since pulseFrom_ for the cell
    // and value latched at its fall.
    bool pulseLow_ = false;
    uint64_t pulseFrom_ = 0;
    uint32_t pulseAt_ = 0;
    uint8_t pulseValue_ = 0xFF;
};

} // namespace sim
