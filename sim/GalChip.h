// A GAL16V8-type part in its row-serial edit mode, at pin level (20-pin DIP).
//
// Edit mode: the edit voltage (10 V or more) on pin 2 with the part powered.
// Pins: RA0 pin 18, RA1-RA5 pins 3-7, SCLK 8, SDIN 9, STB 11, SDOUT 12,
// P/V 19, VCC 20, GND 10.
// - STB falling latches the row address RA0-5.
// - P/V low: the end of the strobe loads the addressed row into the shift
//   register; SDOUT shows its bit 0; each rising SCLK shifts the register
//   towards SDOUT and takes SDIN in at the far end.
// - P/V high: the strobe's low time writes the shift register into the row,
//   when it lasts the part's pulse width with the edit voltage within 0.2 V
//   of the part's programming voltage (else nothing is written). Row 63 with
//   SDIN high erases the whole part (erase time), row 61 sets the security
//   cell.
// Rows: 0-31 the array (bit i of row r is fuse i * 32 + r), 32 the UES (fuse
// 2056 + i), 58 the signature (read only), 60 the 82 architecture bits in the
// part's layout. A secured part reads its array rows as ones; UES,
// architecture and signature stay readable.
// A clock or strobe while the edit voltage is on without VCC and ground is a
// violation. Powered outside edit mode the part works as its logic diagram
// gives (GalLogic.h).
#pragma once
#include <cstdint>
#include <vector>

#include "sim/CellArrayChip.h"
#include "sim/GalLogic.h"
#include "sim/GalParts.h"

namespace sim {

// One strobe as the part saw it.
struct GalStrobe {
    int address;       // latched at the falling edge
    bool write;        // P/V high at the falling edge
    uint64_t widthUs;  // low time
    int editTenths;    // edit voltage at the end of the strobe
    uint32_t clocks;   // SCLK rising edges since the previous strobe
    bool dataIn;       // SDIN at the end of the strobe
};

class GalChip : public CellArrayChip {
public:
    explicit GalChip(const GalPartFacts& part);

    void Update(const PinEnvironment& env) override;

    const GalPartFacts& Part() const { return part_; }
    // JEDEC fuse of architecture-row bit i in this part's layout.
    uint32_t ArchitectureFuse(int i) const;
    const std::vector<GalStrobe>& Strobes() const { return strobes_; }
    void ClearStrobes() { strobes_.clear(); }
    uint32_t ClocksSinceStrobe() const { return clocks_; }

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    bool EditMode(const PinEnvironment& env) const;
    int AddressNow(const PinEnvironment& env) const;
    void Load(int address);
    void Write(const PinEnvironment& env, int address, uint64_t widthUs);
    int SignatureBit(int i) const;
    Gal16V8Logic::PinLevels InputLevels(const PinEnvironment& env) const;

    GalPartFacts part_;
    std::vector<uint8_t> shift_; // bit 0 at SDOUT
    int latched_ = -1;
    bool latchedWrite_ = false;
    bool strobeLow_ = false;
    bool clockHigh_ = false;
    uint32_t clocks_ = 0;
    PulseTimer strobe_;
    std::vector<GalStrobe> strobes_;
    Gal16V8Logic logic_;
};

} // namespace sim
