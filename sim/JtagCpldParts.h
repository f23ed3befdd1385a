// Datasheet facts of the JTAG-programmed logic parts the simulator can seat,
// by maker and part name as the device library spells them. Pins are socket
// pins: the part's package pins as the programmer's adapter brings them to
// the 48-pin socket.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace sim {

// The chip kinds behind the parts.
enum class JtagCpldKind : uint8_t {
    Isc64,        // 64-macrocell ISC CPLD, 10-bit IR, 166-bit rows
    Isc128,       // 128-macrocell member, 326-bit rows
    RowTap2Block, // one-hot row register over a 6-bit IR, 2 blocks of 72 bits
    RowTap4Block, // 4 blocks of 70 bits
    RowTap8Block, // 8 blocks of 99 bits, E row, user code, pulse pin
    FuseArray102, // 5-bit IR, 102 one-hot rows of 80 cells
    FuseArray44,  // 5-bit IR, 44 rows of 132 cells and two extra rows
};

struct JtagCpldFacts {
    const char* maker;
    const char* name;
    JtagCpldKind kind;
    uint32_t idcode;
    int packagePins;  // pins of the package as the adapter seats it
    int vccTenths;    // nominal supply
    int vccTolTenths; // operating window around it
    int vccMaxTenths; // absolute maximum
    uint32_t programMs, eraseMs, readUs;
    // 40 or 80 cells per data shift of the 102-row array (0 elsewhere).
    int shiftBits;
    // TAP, high-voltage or pulse pins (0: none), one supply pin, grounds and
    // pins the part needs held low (0 ends a list).
    int tms, tck, tdi, tdo, hv, pulse;
    int vcc;
    int gnd[6];
    int low[3];
};

// nullptr when the simulator has no such part.
const JtagCpldFacts* FindJtagCpldPart(const std::string& maker, const std::string& name);
// The chip model of a part's kind.
class JtagCpldChip;
std::unique_ptr<JtagCpldChip> MakeJtagCpld(const JtagCpldFacts& f);

} // namespace sim
