// JTAG CPLD family on the engine TAP: electrically erasable CPLDs whose only
// programming port is a TAP with a 10-bit instruction register, driven
// through the engine's JTAG driver. A row is addressed by kind (0 the array,
// 1-3 extra registers) and number, read after a read time or programmed by a
// pulse between two instructions. Row 249 (64 macrocells) and row 298 (128
// macrocells) differ only in the values of their JtagIscType.
#pragma once
#include <cstdint>

struct JtagIscType {
    uint32_t Row;
    bool PinsByPackage; // 44-pin packages take the second pin set
    uint32_t Ids20ms[3];
    uint32_t Id50ms;
    int Kind0Length; // bits of the kind-0 register
    int Columns;     // columns of rows 0-223
    uint32_t Rows12Base, Rows128Base, Rows0Base, Rows6Base;
    int LastRow; // last kind-0 row; rows 224..LastRow have Kind0Length columns
    uint32_t LastRowsBase, LastRowsStride;
    uint32_t KindBase[4]; // first fuse of kinds 1-3 (index 0 unused)
    uint32_t CaptureArea, ProgramArea;
};

// Module state of one row, set at every power-up.
struct JtagIscState {
    int Tms, Tck, Tdi, Tdo, HighVoltage;
    uint32_t ProgramMs, ReadMs, EraseMs;
};

extern const JtagIscType JtagIsc249, JtagIsc298;
extern JtagIscState Alg249State, Alg298State;

// The family's helpers, public for the tests of the traffic.
int Alg249PowerUp(const JtagIscType& t, JtagIscState& s);
void Alg249PowerDown(const JtagIscType& t, JtagIscState& s);
int Alg249AccessRow(const JtagIscType& t, JtagIscState& s, int kind, int row, int mode);
int Alg249CheckSecured(const JtagIscType& t, JtagIscState& s);
