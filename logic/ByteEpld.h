// Erasable PLDs addressed a byte at a time: a select code and an address pick
// one chip byte, whose eight cells move over an 8-bit bus. Rows 311, 312 and
// 200-203 share one frame (pins, voltages and pulse style from a row table);
// each row's walk lists its chip bytes with the JEDEC fuses they carry.
//
// Rows 311 and 312: DeviceVariant 0 selects the small array (1842 and 2178
// fuses), any other value the large one (2378, 2714). Row 200: 2696 fuses,
// stored inverted. Row 201: 4088 fuses, the bias level by DeviceVariant (0:
// 15.5 V, else 14.7 V). Row 202: 5873 fuses with DeviceSubVariant 1, else
// 5828. Row 203: 4166 fuses.
#pragma once
#include <cstdint>
#include <vector>

// One fuse of a chip byte: its bit position and JEDEC number.
struct CellFuse {
    int Position;
    uint32_t Fuse;
};

// One chip byte of the walk: where it sits and which fuses it carries, in
// the order the mapper hands them to the fuse service.
struct CellByte {
    int Kind;
    int Select;
    int Bus; // the bus value that carries the address
    int Count = 0;
    CellFuse Fuses[8];
    uint8_t OrMask = 0;         // positions written 1 whatever the buffer holds
    bool Complemented = false;  // stored inverted: read word and program byte complemented
    uint8_t SkipModes = 0;      // bit m: no fuse of the byte is checked in mode m
    uint8_t PlainModes = 0;     // bit m: the read word is taken uncomplemented in mode m
    void Add(int position, uint32_t fuse) { Fuses[Count++] = {position, fuse}; }
};

// Every byte of the row, variant and sub-variant in walk order (empty for
// a row without a walk).
std::vector<CellByte> CellArrayWalk(uint32_t row, int variant, int subVariant);

// Bus values of row 200's addresses 0..36, and row 201's and 203's kind-0
// select codes, fuse-carrying bits and first lines, and addresses.
extern const uint8_t AddressTable200[37];
extern const uint8_t SelectTable201[15];
extern const uint8_t UsedBits201[15];
extern const uint8_t LineBase201[15];
extern const uint8_t RowSelect203[15];
extern const uint8_t ColumnAddress203[36];

// The byte to program (mode 1), or the check of the byte read (other modes).
uint32_t MapCellByte(const CellByte& b, uint32_t readWord, int mode);
