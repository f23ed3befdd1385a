// 68HC711-type microcontrollers in their bootstrap mode, running the
// programs they are sent on a 68HC11 core (Cpu6811.h).
//
// From the family's technical data:
// - Reset released with MODA and MODB low and the supply in its window
//   enters bootstrap mode. The bootstrap ROM takes FFh first (the baud-rate
//   character at 7812 baud with E at 2 MHz; anything else leaves it
//   waiting), then stores each character into RAM from 0000h and echoes it
//   on TxD; when the RAM is full, or the line has idled four character
//   times, it jumps to 0000h. A character each 1.28 ms at most: one sooner
//   overruns the receiver (a violation).
// - Registers at 1000h: PORTA (PA0 input, PA7 bidirectional through DDRA7
//   in PACTL), PORTB (output), PORTC with DDRC, TCNT, PACTL, BPROT (block
//   protection, 1Fh out of reset), PPROG, CONFIG.
// - PPROG (103Bh): ODD EVEN ELAT BYTE ROW ERASE EELAT EPGM, bit 7 to 0.
//   EPROM: ELAT set, a write to an EPROM address latches address and data,
//   EPGM set with the programming voltage on XIRQ/VPPE for epromUs, then
//   cleared: the byte's 0 bits burn. EEPROM and CONFIG: EELAT set, a write
//   latches, EPGM (EEPGM) set for eeUs then cleared: a program clears the
//   byte's 0 bits; with ERASE, BYTE erases the latched byte, ROW its row of
//   16, neither the whole EEPROM (and CONFIG when CONFIG was latched) to
//   FFh. A block BPROT protects keeps its cells. Shorter than the time, or
//   the programming voltage gone, the cell keeps what it held (a
//   violation).
// - CONFIG reads its implemented bits (configMask), the others 0.
//
// The bootstrap logic image (layout 3, see BootBus.h) wires: register 0
// written to RESET, MODA, MODB; register 1 written to RxD; register 2
// written to PC0-PC7; register 2 bit 0 read from PA7 (pulled up while the
// part does not drive it); register 3 written to PA0; register 0 read from
// PB0-PB7.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/Cpu6811.h"
#include "sim/PartFacts.h"
#include "sim/SocketBus.h"

namespace sim {

struct Hc11BootFacts : PartFacts {
    std::string maker;
    std::string note;
    struct Range {
        uint32_t first, last;
    };
    std::vector<Range> eprom, eeprom;
    uint32_t ramBytes = 512;  // RAM from 0000h; the download fills it
    uint32_t eKhz = 2000;     // E clock (8 MHz crystal)
    uint32_t charUs = 1280;   // one SCI character at 7812 baud
    int vppPin = 0;           // XIRQ/VPPE
    int vppMinTenths = 118, vppLimitTenths = 130;
    std::vector<int> highVoltagePins;
    uint32_t epromUs = 2000, eeUs = 10000;
    // Where the device library's map shows CONFIG (103Fh, or 0 where the row
    // puts it); the core always sees it at 103Fh.
    int64_t configAt = 0x103F;
    uint8_t configMask = 0x0F;
    // The parallel EPROM mode some parts enter once a loaded program runs:
    // parallelAddress (A0-A8) selects the EPROM cell parallelBase + address,
    // parallelData carries it (chip pins). A low pulse on parallelProgramPin
    // of at least parallelBurnUs with the programming voltage on
    // parallelVppPin clears the bits the data lines drive low;
    // parallelReadPin low presents the cell; with parallelTestPin low the
    // part shows the complement while the read line is high. No parallel
    // pins: no such mode.
    std::vector<int> parallelAddress, parallelData;
    uint32_t parallelBase = 0;
    int parallelProgramPin = 0, parallelReadPin = 0, parallelVppPin = 0, parallelTestPin = 0;
    uint32_t parallelBurnUs = 0;
};

class Hc11BootChip : public CatalogChip, private Cpu6811Bus {
  public:
    explicit Hc11BootChip(const Hc11BootFacts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void SuppliesChanged(const PinEnvironment& env) override;
    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    size_t Words() const override { return facts_.words; }
    uint16_t Cell(uint32_t a) const override;
    void SetCell(uint32_t a, uint16_t v) override;
    // A cell as the part's own reads give it (CONFIG with its unimplemented bits 0).
    uint8_t ReadCell(uint32_t a) const;

    // What the logic image does to the part.
    void HoldReset(const PinEnvironment& env, bool modePins);
    void ReleaseReset(const PinEnvironment& env);
    void DownloadByte(const PinEnvironment& env, uint8_t b);
    void SetPortC(const PinEnvironment& env, uint8_t v);
    void SetStrobe(const PinEnvironment& env, bool high);
    uint8_t PortB(const PinEnvironment& env);
    // PA7 driven low: the program waits for a byte.
    bool Ready(const PinEnvironment& env);
    bool Downloading() const { return state_ == State::Loading; }
    bool Supplied(const PinEnvironment& env) const { return Powered(env); }

    // What a test looks at.
    bool Running() const { return state_ == State::Running; }
    uint32_t Downloaded() const { return downloaded_; }
    uint32_t Echoed() const { return echoed_; }
    uint32_t Starts() const { return starts_; }
    uint64_t Instructions() const { return instructions_; }
    // The addresses of the cells programmed, in order.
    const std::vector<uint32_t>& Taken() const { return taken_; }
    // Injected fault: a cell that never takes a byte.
    void StickCell(uint32_t a) { stuck_ = static_cast<int64_t>(a); }

  private:
    enum class State { Off, Reset, Loading, Running, Silent };
    int Pin(int chipPin) const { return pins_[static_cast<size_t>(chipPin - 1)]; }
    bool Powered(const PinEnvironment& env) const;
    bool VppOn(const PinEnvironment& env) const;
    bool InEprom(uint32_t a) const;
    bool InEeprom(uint32_t a) const;
    bool Protected(uint32_t a) const;
    // Runs the core up to the present (and the bootstrap ROM's jump).
    void CatchUp(const PinEnvironment& env);
    void Start(uint64_t atUs);
    uint64_t CoreUs() const;
    // The bus the core sees.
    uint8_t Read(uint16_t a) override;
    void Write(uint16_t a, uint8_t v) override;
    void WritePprog(uint8_t v);
    void FinishProgramming();
    bool Parallel() const { return !facts_.parallelData.empty() && state_ == State::Running; }
    uint32_t ParallelCell(const PinEnvironment& env) const;
    void Lose(const std::string& what);

    Hc11BootFacts facts_;
    std::vector<int> pins_;
    std::vector<uint8_t> cells_; // EPROM and EEPROM by address
    uint8_t config_ = 0xFF;
    std::vector<uint8_t> ram_;
    uint8_t regs_[64] = {};
    State state_ = State::Off;
    bool resetHeld_ = false, modeHeld_ = false;
    Cpu6811 cpu_{*this};
    uint64_t startUs_ = 0;    // the core's cycle 0
    uint64_t caughtUpUs_ = 0; // the time the core last ran to
    uint64_t rxDoneUs_ = 0;   // the last character received
    bool synced_ = false;
    uint32_t downloaded_ = 0, echoed_ = 0, starts_ = 0;
    uint64_t instructions_ = 0;
    uint64_t writes_ = 0;     // bus writes and time-dependent reads, for the loop skip
    // Inputs from the logic image.
    uint8_t portC_ = 0xFF;
    bool strobeHigh_ = true;
    // The programming under way: latched address and data, since when EPGM.
    const PinEnvironment* env_ = nullptr;
    bool latched_ = false;
    uint32_t latchAt_ = 0;
    uint8_t latchValue_ = 0xFF;
    bool pgm_ = false;
    uint64_t pgmFrom_ = 0;
    bool vppLost_ = false;
    int64_t stuck_ = -1;
    std::vector<uint32_t> taken_;
    // The parallel mode's program pulse.
    bool pulseLow_ = false;
    uint64_t pulseFrom_ = 0;
    uint32_t pulseAt_ = 0;
    uint8_t pulseValue_ = 0xFF;
};

} // namespace sim
