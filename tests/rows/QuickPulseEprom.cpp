// Row 59, known only to the tests: 28-pin CMOS EPROMs programmed with the
// quick-pulse method on the byte-wide memory bus. Each byte gets pulses of
// PulseWidth on /PGM with the programming voltage on until it reads back, at
// most Page - 1 of them, and no over-program pulse; reads are sequential
// with the programming pin at 5.0 V. UV-erased parts: no erase entry.
#include "engine/RowDef.h"
#include "memory/MemoryFrame.h"

namespace {

FrameProfile Row59Profile() {
    FrameProfile f;
    f.BeforeVpp[0] = {3, 0}; // every socket enabled for the program loop
    f.Pulse = PulseStrobe;
    f.OverPulse = false;
    f.ReadVpp = true;
    f.ReadVppTenths = 50;
    f.ReadVppOffTenths = 50;
    return f;
}

constexpr AlgReadFn Alg59Read = FrameRead<Row59Profile>;
constexpr AlgOperationFn Alg59Program = FrameProgram<Row59Profile>;

// Page is the row's pulse limit.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 59, .Read = Alg59Read, .Program = Alg59Program, .LeastPage = 2},
};

} // namespace

ROW_FAMILY("QuickPulseEprom", Memory, 1000, kAlgorithmRows);
