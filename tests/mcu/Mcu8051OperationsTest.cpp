// The 8051 rows' operations end to end: the sample program through every
// layout, encryption, security, row 196's erase, identity, the dialog
// routines, injected faults and the register traffic.
#include <algorithm>
#include <cstdio>

#include "McuFixture.h"

#include "engine/HexFiles.h"
#include "engine/NeighbourState.h"
#include "engine/Operation.h"
#include "engine/Tables.h"
#include "mcu/McuFrame.h"

namespace {

constexpr uint32_t kMcu8051OperationsSample = 0x1000;

std::string SamplePath() { return ProgramDirectory + "/mcu-sample/blink.ihx"; }

std::vector<uint8_t> ObjcopyImage(const std::string& hex, const std::string& bin) {
    if (std::system(("objcopy -I ihex -O binary " + hex + " " + bin).c_str()) != 0) return {};
    std::ifstream f(bin, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// The C501's socket wiring on the 'R' adapter without DeviceFlags 100h.
std::vector<int> C501AdapterWiring() {
    std::vector<int> pins(40, 0);
    pins[2] = 7, pins[3] = 8; // mode lines
    for (int n = 9; n <= 17; ++n) pins[static_cast<size_t>(n - 1)] = n + 6;
    pins[18] = 25, pins[19] = 24; // XTAL1, GND
    for (int n = 21; n <= 25; ++n) pins[static_cast<size_t>(n - 1)] = n + 6;
    for (int n = 27; n <= 39; ++n) pins[static_cast<size_t>(n - 1)] = n + 6;
    pins[39] = 46; // VCC
    return pins;
}

struct Layout {
    const char* maker;
    const char* name;
    int layout; // 0 the record's, 1 'R' without flag 100h, 2 'R' with it (row 123)
};

class SampleProgram : public McuRun, public ::testing::WithParamInterface<Layout> {
protected:
    sim::Mcu8051Chip* SeatLayout(const Layout& c) {
        EXPECT_TRUE(Select(c.maker, c.name));
        const sim::Mcu8051Facts f = Facts(c.maker, c.name);
        if (c.layout == 0) return Seat(f, AdapterCode == 'R');
        AdapterCode = 'R';
        PackageIndex = 144;
        if (c.layout == 2) DeviceFlags |= 0x100;
        return c.layout == 2 ? Seat(f, true) : Seat(f, false, C501AdapterWiring());
    }
};

TEST_P(SampleProgram, PatternProgramVerifyReadBlankCheck) {
    sim::Mcu8051Chip* chip = SeatLayout(GetParam());
    ASSERT_NE(chip, nullptr);
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    const uint32_t n = std::min<uint32_t>(DeviceSize, 0x300);
    DeviceEnd = n - 1;
    FillPattern(n);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0; a < n; ++a) ASSERT_EQ(chip->Cell(a), BufferByte(a)) << std::hex << a;
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    FillPattern(n, 7);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a < n; ++a) ASSERT_EQ(chip->Cell(a), BufferByte(a)) << std::hex << a;
    EXPECT_EQ(Run(OpBlankCheck), ResultFailed);
    ExpectNoViolations();
}

TEST_P(SampleProgram, ProgramsVerifiesReadsAndSavesTheImage) {
    sim::Mcu8051Chip* chip = SeatLayout(GetParam());
    ASSERT_NE(chip, nullptr);
    RunSampleProgram(*chip, kMcu8051OperationsSample);
    if (HasFatalFailure()) return;

    ASSERT_EQ(SaveHexFamilyFile("read.hex", 0, kMcu8051OperationsSample - 1, HexFormatIntel), 1);
    const std::vector<uint8_t> ours = ObjcopyImage("read.hex", "ours.bin");
    const std::vector<uint8_t> sdcc = ObjcopyImage(SamplePath(), "sdcc.bin");
    ASSERT_FALSE(sdcc.empty());
    ASSERT_EQ(ours.size(), kMcu8051OperationsSample);
    EXPECT_TRUE(std::equal(sdcc.begin(), sdcc.end(), ours.begin()));
    EXPECT_TRUE(std::all_of(ours.begin() + static_cast<std::ptrdiff_t>(sdcc.size()), ours.end(),
                            [](uint8_t b) { return b == 0xFF; }));
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Rows, SampleProgram,
                         ::testing::Values(Layout{"INTEL", "87C51", 0}, Layout{"INTEL", "87C51-PLCC", 0},
                                           Layout{"SIEMENS", "C501-1E", 0}, Layout{"SIEMENS", "C501-1E", 1},
                                           Layout{"SIEMENS", "C501-1E", 2}, Layout{"ATMEL", "AT89C55", 0},
                                           Layout{"ATMEL", "AT89C52-5", 0}, Layout{"ATMEL", "AT89C52-12", 0},
                                           Layout{"GENERIC-ALGORITHM", "8051CC-80", 0}));

// ---- encryption and security -------------------------------------------------------


class Encryption : public McuRun, public ::testing::WithParamInterface<Layout> {};

TEST_P(Encryption, TableIsWrittenAndReadsDecodeThroughIt) {
    const Layout c = GetParam();
    sim::Mcu8051Chip* chip = SelectAndSeat(c.maker, c.name);
    ASSERT_NE(chip, nullptr);
    const uint32_t n = 0x200;
    DeviceEnd = n - 1;
    FillPattern(n);
    ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t i = 0; i < EncryptionTableCapacity; ++i) EncryptionTable[i] = static_cast<uint8_t>(0x5A ^ i * 7);
    EncryptionTable[3] = 0xFF;
    EXPECT_EQ(Run(OpEncryption), ResultOk) << LogText();
    EXPECT_TRUE(HasLine("Encryption ok!"));
    // None of these parts has a table read: the log says so.
    EXPECT_TRUE(HasLine(" Encryption table written; this part cannot read it back.")) << LogText();
    const uint32_t written = CurrentAlgorithm == 107 ? EncryptionTableCapacity : EncryptionTableSize;
    const uint32_t size = chip->Facts().tableBytes;
    for (uint32_t i = 0; i < size; ++i)
        EXPECT_EQ(chip->Table(i), i < written ? EncryptionTable[i] : 0xFF) << i;
    EXPECT_EQ(Run(OpVerify), ResultFailed);
    EncryptionEnable = 1;
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    ExpectNoViolations();

    // A table half the part's array on a fresh part: its entries programmed,
    // the rest of the array left erased whatever the table holds past its
    // size, and reads decoded through the whole array as it stands.
    socket->Clear();
    chip = SelectAndSeat(c.maker, c.name);
    ASSERT_NE(chip, nullptr);
    DeviceEnd = n - 1;
    EncryptionEnable = 0;
    ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
    EncryptionTableSize = size / 2;
    EXPECT_EQ(Run(OpEncryption), ResultOk) << LogText();
    for (uint32_t i = 0; i < size; ++i) EXPECT_EQ(chip->Table(i), i < size / 2 ? EncryptionTable[i] : 0xFF) << i;
    EncryptionEnable = 1;
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    FillBufferRange(0, n - 1, 0);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a < n; ++a) ASSERT_EQ(BufferByte(a), chip->Cell(a)) << std::hex << a;
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Rows, Encryption,
                         ::testing::Values(Layout{"INTEL", "87C51", 0}, Layout{"SIEMENS", "C501-1E", 0},
                                           Layout{"ATMEL", "AT89C55", 0}, Layout{"ATMEL", "AT89C52-5", 0},
                                           Layout{"GENERIC-ALGORITHM", "8051CC-80", 0}));

class Security : public McuRun, public ::testing::WithParamInterface<Layout> {};

TEST_P(Security, ModesProgramTheirLockBitsAndLockBit1RefusesProgramming) {
    const Layout c = GetParam();
    for (uint32_t mode = 0; mode <= 2; ++mode) {
        SCOPED_TRACE(mode);
        socket->Clear();
        sim::Mcu8051Chip* chip = SelectAndSeat(c.maker, c.name);
        ASSERT_NE(chip, nullptr);
        SecurityMode = mode;
        EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
        const int most = chip->Facts().lockBits;
        for (int b = 1; b <= 3; ++b) EXPECT_EQ(chip->Locked(b), b <= static_cast<int>(mode) + 1 && b <= most) << b;
        DeviceEnd = 0xFF;
        FillPattern(0x100);
        EXPECT_EQ(Run(OpProgram), ResultFailed);
        for (uint32_t a = 0; a < 0x100; ++a) ASSERT_EQ(chip->Cell(a), 0xFF) << std::hex << a;
    }
    ExpectNoViolations();
}

// Secure where the part refuses its lock bits: rows that read the lock back
// fail with "Security error!", the others say that nothing was read back.
TEST_P(Security, LockBitsThatDoNotTakeFailWhereThePartCanBeAsked) {
    const Layout c = GetParam();
    const bool asks = c.name == std::string("AT89C55") || c.name == std::string("8051CC-80");
    sim::Mcu8051Chip* chip = SelectAndSeat(c.maker, c.name);
    ASSERT_NE(chip, nullptr);
    SecurityMode = 1;
    EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
    EXPECT_EQ(HasLine(" Lock bits written; this part has no lock read, so they were not read back."), !asks)
        << LogText();
    // In each mode: every lock bit refused, then each lock bit the mode
    // writes refused alone, the others taking. Any one missing fails.
    const int most = chip->Facts().lockBits;
    for (uint32_t mode = 0; mode <= 2; ++mode) {
        const int written = std::min(static_cast<int>(mode) + 1, most);
        for (int refused = 0; refused <= written; ++refused) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << " refused " << refused);
            socket->Clear();
            chip = SelectAndSeat(c.maker, c.name);
            SecurityMode = mode;
            if (refused == 0)
                chip->RefuseLocks();
            else
                chip->RefuseLock(refused);
            const size_t from = ui.Log.size();
            const int r = Run(OpSecurity);
            EXPECT_EQ(r, asks ? ResultFailed : ResultOk) << LogText();
            bool error = false;
            for (size_t i = from; i < ui.Log.size(); ++i) error = error || ui.Log[i] == "Security error!";
            EXPECT_EQ(error, asks) << LogText();
            for (int b = 1; b <= 3; ++b) EXPECT_EQ(chip->Locked(b), refused != 0 && b != refused && b <= written) << b;
        }
    }
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Rows, Security,
                         ::testing::Values(Layout{"INTEL", "87C51", 0}, Layout{"SIEMENS", "C501-1E", 0},
                                           Layout{"ATMEL", "AT89C55", 0}, Layout{"ATMEL", "AT89C52-12", 0},
                                           Layout{"GENERIC-ALGORITHM", "8051CC-80", 0}));

// Rows that know their lock state: lock bit 1 alone still reads; with lock
// bit 2 (or 3) Read, Blank check and Verify end after the secured line, with
// no "ok", no fail-address line (the part gave no code: its lock byte or an
// index is no cell's datum), no verify level's line and the buffer
// untouched.
class SecuredRead : public McuRun, public ::testing::WithParamInterface<Layout> {};

TEST_P(SecuredRead, LockBit2EndsReadsWithTheSecuredLine) {
    const Layout c = GetParam();
    const char* lines[3] = {"", " Device secured!(Lock Bits 1,2)", " Device secured!(Lock Bits 1,2,3)"};
    for (uint32_t mode = 0; mode <= 2; ++mode) {
        SCOPED_TRACE(mode);
        socket->Clear();
        sim::Mcu8051Chip* chip = SelectAndSeat(c.maker, c.name);
        ASSERT_NE(chip, nullptr);
        DeviceEnd = 0xFF;
        FillPattern(0x100);
        ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
        SecurityMode = mode;
        ASSERT_EQ(Run(OpSecurity), ResultOk) << LogText();
        if (mode == 0) {
            FillBufferRange(0, 0xFF, 0x5A);
            EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
            for (uint32_t a = 0; a < 0x100; ++a) ASSERT_EQ(BufferByte(a), chip->Cell(a)) << std::hex << a;
            EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
            continue;
        }
        for (int op : {OpRead, OpBlankCheck, OpVerify}) {
            SCOPED_TRACE(op);
            FillBufferRange(0, 0xFF, 0x5A);
            const size_t from = ui.Log.size();
            EXPECT_EQ(Run(op), ResultFailed) << LogText();
            bool secured = false, ok = false, after = false;
            for (size_t i = from; i < ui.Log.size(); ++i) {
                secured = secured || ui.Log[i] == lines[mode];
                ok = ok || ui.Log[i].find("ok!") != std::string::npos;
                after = after || ui.Log[i].find("addr:") != std::string::npos || ui.Log[i].rfind(" VCCL", 0) == 0;
            }
            EXPECT_TRUE(secured) << LogText();
            EXPECT_FALSE(ok) << LogText();
            EXPECT_FALSE(after) << LogText();
            for (uint32_t a = 0; a < 0x100; ++a) ASSERT_EQ(BufferByte(a), 0x5A) << std::hex << a;
        }
    }
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Rows, SecuredRead,
                         ::testing::Values(Layout{"ATMEL", "AT89C55", 0}, Layout{"GENERIC-ALGORITHM", "8051CC-80", 0}));

} // namespace
