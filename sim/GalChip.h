// A row-serial GAL part in its edit mode, at pin level: the 20-pin 16V8 and
// the 24-pin 20V8 fuse maps (GalMap) and the row-address layouts
// (GalRowLayout: 22V10, 18V10, 20RA10, 20XV10, 26CV12), each part from its
// GalPartFacts.
//
// Edit mode: the edit voltage (10 V or more) on pin 2 with the part powered.
// 16V8 pins: RA0 18, RA1-RA5 3-7, SCLK 8, SDIN 9, STB 11, SDOUT 12, P/V 19,
//   VCC 20, GND 10.
// 20V8 pins: RA0 21, RA1-RA5 3, 4, 5, 8, 9, SCLK 10, SDIN 11, STB 13,
//   SDOUT 15, P/V 22, VCC 24, GND 12.
// Row-address layouts: SDIN -> 6-bit address register -> data register ->
//   SDOUT; the address is the register's bits, the first shifted in bit 0
//   (parts with a live last bit: a 5-bit register, bit 5 first, and SDIN
//   itself as bit 0). With the architecture select high the architecture
//   register takes the data register's place (behind the address register
//   on parts that say so). A pin-addressed layout has no address register.
// - Each rising SCLK shifts the register towards SDOUT and takes SDIN in.
// - STB falling latches the row address (and P/V); P/V low: the strobe
//   loads the addressed row into the register, SDOUT shows its first bit.
//   Extended-ID parts load a row only after a strobe of their load time.
// - P/V high: the strobe's low time writes the bits last shifted in into
//   the row, when it lasts the part's pulse with the edit voltage within
//   0.2 V of the part's voltage (else nothing is written). Row 63 (16V8,
//   20V8; on some parts only with SDIN high) or pins 4, 6-9 high with 1 and
//   5 low (22V10) erase the whole part; row 61 sets the security cell.
// Rows: the array, the UES, the identification (58, read only; answering
// another identity it shows the maker code with bit 6 flipped, or the ID
// text's first character with bit 0 flipped), the architecture (60, or the
// select pin on the 22V10), row 45 (the OR row of the extended-ID parts, 64
// cells past the JEDEC map), row 59 (the power-down cell 5892 of the 22V10
// parts that have it). A secured part reads its array as ones; the other
// rows stay readable.
// A clock or strobe while the edit voltage is on without VCC and ground is a
// violation. Powered outside edit mode the part works as its logic diagram
// gives (GalLogic.h).
#pragma once
#include <cstdint>
#include <deque>
#include <vector>

#include "sim/CellArrayChip.h"
#include "sim/GalLogic.h"
#include "sim/GalParts.h"

namespace sim {

// One strobe as the part saw it.
struct GalStrobe {
    int address;       // latched at the falling edge (-1: the 22V10 architecture row)
    bool write;        // P/V high at the falling edge
    uint64_t widthUs;  // low time
    int editTenths;    // edit voltage at the end of the strobe
    uint32_t clocks;   // SCLK rising edges since the previous strobe
    bool dataIn;       // SDIN at the end of the strobe
    bool clockHigh;    // SCLK high at the falling edge
    int vccTenths;     // supply at the end of the strobe
};

class GalChip : public CellArrayChip {
public:
    explicit GalChip(const GalPartFacts& part);

    void Update(const PinEnvironment& env) override;

    const GalPartFacts& Part() const { return part_; }
    // JEDEC fuse of architecture-row bit i in this part's layout.
    uint32_t ArchitectureFuse(int i) const;
    // Bit i of the identification row.
    int IdBit(int i) const;
    // The cell at register position `bit` of the row at `address` (-1: the
    // architecture row of a row-address layout), as a read of that row
    // would shift it out unsecured; -1 where the row has no cell there.
    int CellAtPlace(int address, int bit) const;
    // Cell i of row 45 (parts with the OR row).
    int OrRowCell(int i) const { return Cell(orRowBase_ + static_cast<uint32_t>(i)); }
    const std::vector<GalStrobe>& Strobes() const { return strobes_; }
    void ClearStrobes() { strobes_.clear(); }
    uint32_t ClocksSinceStrobe() const { return clocks_; }

    // Edit-mode conditions the part works by (from its ID for extended parts).
    int ProgramTenths() const;
    int EraseTenths() const;
    uint32_t ProgramUs() const;
    uint32_t EraseUs() const;
    uint32_t LoadStrobeUs() const;

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;
    // The input levels and the edit mode worked out once for every pin asked.
    void PoweredOutputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const override;

private:
    struct Row {
        std::vector<uint32_t> fuses; // fuse of each bit; kNoFuse where there is none
        bool array = false;          // reads as ones when secured
    };
    bool Extended() const;
    bool EditMode(const PinEnvironment& env) const;
    int AddressNow(const PinEnvironment& env) const;
    bool ErasePattern(const PinEnvironment& env) const;
    Row RowAt(int address) const;
    void Load(int address);
    void Write(const PinEnvironment& env, int address, uint64_t widthUs);
    // The n bits shifted in before the last `skip` (oldest first), the last
    // one SDIN itself when `live`.
    std::vector<uint8_t> Shifted(size_t n, size_t skip, bool live, int sdin) const;
    Gal16V8Logic::PinLevels InputLevels(const PinEnvironment& env) const;
    // Row-address layouts: one clock of the chain, and the bits a write takes.
    void ClockRows(const PinEnvironment& env, uint8_t in);
    std::vector<uint8_t> RegisterBits(int address, size_t n) const;
    bool SelectedArchitecture(const PinEnvironment& env) const;
    // SDOUT's drive while powered: the register's first bit in edit mode.
    ChipDrive SdoutDrive(const PinEnvironment& env) const;

    GalPartFacts part_;
    uint32_t orRowBase_ = 0;
    int sdoutSocket_ = 0; // socket pin of SDOUT (0: none or off the socket)
    std::deque<uint8_t> addr_;   // address register, the oldest bit first
    std::vector<uint8_t> data_;  // data register, bit 0 at SDOUT
    std::vector<uint8_t> arch_;  // architecture register, bit 0 at SDOUT
    std::vector<uint8_t> shift_; // bit 0 at SDOUT
    std::deque<uint8_t> history_; // bits shifted in, newest last
    int latched_ = -1;
    bool latchedWrite_ = false;
    bool latchedClock_ = false;
    int latchedData_ = 0;
    bool strobeLow_ = false;
    bool clockHigh_ = false;
    uint32_t clocks_ = 0;
    PulseTimer strobe_;
    std::vector<GalStrobe> strobes_;
    Gal16V8Logic logic_;
};

} // namespace sim
