// Datasheet facts of the row-serial GAL parts the simulator can seat; the
// parts are in the catalog (FindFacts<GalPartFacts>(maker, name)).
#pragma once
#include <cstdint>
#include <string>

namespace sim {

// Fuse maps and edit-mode pin-outs: the 20-pin 16V8 and the 24-pin 20V8
// (parallel row address); every other map is a GalRowLayout of the part.
enum class GalMap : uint8_t { Gal16V8, Gal20V8, Gal22V10, Other };

// Architecture-row layouts of the 16V8 and 20V8 families: the older parts
// shift the product-term disable bits around the mode bits, the later ones
// (type code 26 and up) put the mode bits first.
enum class GalArchLayout : uint8_t { Early16V8, Late16V8 };

// What the identification row (address 58) holds.
enum class GalIdKind : uint8_t {
    Signature, // byte 1 voltage code, 2 type code, 3 maker code
    Extended,  // supply, type and maker codes and the part's own edit-mode conditions
    Text,      // an identification text, its last character first
};

// Fields of the extended electronic ID (low-voltage parts): the part works
// by these codes, whatever else is in its table.
struct GalExtendedId {
    uint8_t supplyCode;  // 15h 5 V, 25h 3.3 V
    uint8_t strobeCode;  // row load strobe: 5, 10, 50, 100 us
    uint8_t eraseCode;   // 10 ms .. 800 ms, 7 reserved
    uint8_t programCode; // 0.5 ms .. 200 ms, 14 and 15 reserved
    uint8_t programVolt; // programming edit voltage 5.0 V + 0.5 V x code
    uint8_t readVolt;    // reading edit voltage 5.0 V + 0.5 V x code
};

// Edit-mode layout of the parts whose row address is shifted in ahead of
// the row's data (SDIN -> address register -> data register -> SDOUT, the
// old bits leaving while new ones enter) or put on pins. The architecture
// row sits in a register of its own while its select pin is high, or at a
// row address. A row shorter than the data register is written from the
// register's SDIN end.
struct GalRowLayout {
    int pinCount;
    int edit, sclk, sdin, stb, sdout, pv, vcc, gnd; // chip pins
    int archSelect;                 // chip pin; 0: the architecture row at archAddress
    int ra[6];                      // parallel row address, bit 0 first; ra[0] 0: shifted in
    int eraseHigh[6], eraseLow[4];  // bulk erase by these pins during a write strobe (0-ended); none: row 63
    uint32_t rows;                  // array rows at addresses 0..rows-1
    int rowBits;                    // cells of an array row, the data register's length
    uint32_t (*arrayFuse)(uint32_t row, uint32_t bit);
    int uesAddress, uesFirst, uesCells; // UES row: cells from register position uesFirst on
    uint32_t uesFuse;
    int archAddress, archBits;
    uint32_t (*archFuse)(int bit);
    int idBits;                     // bits the identification row gives
    bool archBehindAddress;         // SDIN reaches the architecture register through the address register
    bool secureHidesArchitecture;   // a secured part reads its architecture row as ones too
};

struct GalPartFacts {
    const char* maker;
    const char* name;
    uint32_t fuses;         // JEDEC fuse count
    uint8_t makerCode;      // signature byte 3 / extended ID maker
    uint8_t typeCode;       // signature byte 2 / extended ID type
    uint8_t voltageCode;    // signature byte 1
    int programTenths;      // edit voltage of a write or security pulse (+-0.2 V)
    uint32_t pulseUs;       // shortest write and security pulse
    uint32_t eraseUs;       // shortest erase pulse
    GalArchLayout layout = GalArchLayout::Early16V8;
    GalMap map = GalMap::Gal16V8;
    GalIdKind idKind = GalIdKind::Signature;
    GalExtendedId extended{};
    const char* idText = nullptr; // Text: the identification bytes
    uint8_t idLength = 0;         // Text: how many
    int eraseTenths = 0;          // edit voltage of the erase pulse, 0 = programTenths
    int programVccTenths = 0;     // supply a write needs (+-0.3 V), 0 = any powered supply
    int minVccTenths = 45;        // powered from this supply up
    bool eraseNeedsDataHigh = true; // bulk erase only with SDIN high
    bool clockHeldWrite = false;    // a write needs SCLK held high from the last bit
    bool orRow = false;             // row 45: 64 cells past the JEDEC map
    bool liveLastBit = false;       // 22V10: SDIN at the strobe is the last address or architecture bit
    bool powerDownCell = false;     // 22V10: fuse 5892 at row 59
    const GalRowLayout* rows = nullptr; // serial-address and 80-bit-row parts: their layout
    bool followsRow = false;            // no datasheet: codes and map as the algorithm row has them
};


// Larger electrically erasable PLDs with a 12-byte identification text in
// their last row: the 1500 type (44-pin, 8-bit row address on pins, 177-bit
// rows) and the V750 type (24-pin, row address shifted in behind the data).
enum class LargePldKind : uint8_t { Type1500, TypeV750 };

struct LargePldFacts {
    const char* maker;
    const char* name;
    LargePldKind kind;
    const char* idText;      // the 12 identification bytes
    uint32_t pulseUs;        // shortest write pulse
    uint32_t eraseUs;        // shortest erase pulse
    int editTenths;          // edit voltage of writes and erase (+-0.3 V)
    bool entrySequence = false; // 1500 type: edit mode only after the entry sequence
    bool row5Fuse = false;      // 1500 type: row 5 bit 176 is a cell (fuse 24993)
    uint32_t jedecFuses = 0;    // the JEDEC map's fuses, 0: every cell of the type
};

const LargePldFacts* FindLargePld(const std::string& maker, const std::string& name);

// The extended ID's load strobe, erase and program times by code (us; 0 for
// a reserved code, which does nothing).
uint32_t GalExtendedStrobeUs(int code);
uint32_t GalExtendedEraseUs(int code);
uint32_t GalExtendedProgramUs(int code);

} // namespace sim
