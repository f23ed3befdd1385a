// The operation driver end to end: step sequences and their exact log lines,
// gang sockets, the two-level verify, the compare report, the identity check,
// fail addresses, user breaks and a programmer that stops answering.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "engine/RowDef.h"
#include "tests/engine/OperationFixture.h"

using namespace optest;

namespace {

constexpr uint32_t kAllOps = 0x4FF; // blank .. encryption, auto
constexpr uint32_t kSize = 0x400;

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class OperationTest : public OperationFixture {
protected:
    TestChip* chip = nullptr;

    void SetUp() override {
        OperationFixture::SetUp();
        SelectTestDevice(SectionEprom, kAllOps, kSize);
        chip = InsertChip(kSize);
        g_elapsedMs = 1500;
    }
    // Buffer and chip hold the same pattern.
    void SameData() {
        for (uint32_t a = 0; a < kSize; ++a) PutBufferByte(a, chip->cells[a] = static_cast<uint8_t>(a * 3 + 1));
        SelectBank(0, 0);
    }
    void Options(uint32_t blankFirst, uint32_t verifyAfter) {
        BlankCheckBeforeProgram = blankFirst;
        VerifyAfterProgram = verifyAfter;
    }
};

TEST_F(OperationTest, EveryOperationLogsItsSteps) {
    Options(1, 1);
    RowHookTable[kTestRow].EncryptionWriter = TestFuseWriter;
    const std::pair<int, Lines> cases[] = {
        {OpBlankCheck, {"Blank check ok!", "T"}},
        {OpErase, {"Erase ok!", "T"}},
        {OpProgram, {"Blank check ok!", "Program ok!", "Verification ok!", "T"}},
        {OpVerify, {"Verification ok!", "T"}},
        {OpCompare, {"Create Data Compare file ok!", "See file name COMPARE.TXT", "T"}},
        {OpSecurity, {"Security ok!", "T"}},
        {OpEncryption, {"Encryption ok!", "T"}},
        {OpAuto, {"Erase ok!", "Blank check ok!", "Program ok!", "Verification ok!", "Security ok!", "T"}},
    };
    for (uint32_t a = 0; a < kSize; ++a) PutBufferByte(a, static_cast<uint8_t>(a ^ 0x5A));
    SelectBank(0, 0);
    for (const auto& [op, lines] : cases) {
        chip->secured = false;
        ExpectRun(op, ResultOk, lines);
        EXPECT_EQ(tones, std::vector<int>{kHighTone}) << op;
        EXPECT_TRUE(simp.LatchBank(29) & 0x80) << "pass lamp, op " << op;
    }
    EXPECT_EQ(ui.BoxTexts(), Lines{}); // the security question of the Security command only
    EXPECT_EQ(chip->cells[0x21], 0x21 ^ 0x5A);
    EXPECT_EQ(MainCounters.Success, 2u);
    EXPECT_EQ(MainCounters.Count, 2u);
    EXPECT_EQ(MainCounters.DevicesPerHour, 2400u); // 3600 / 1.5 s
    EXPECT_EQ(ui.Counters[3], 2400u);
    EXPECT_TRUE(simp.Violations().empty()) << simp.Violations().front();
}

TEST_F(OperationTest, ProgramOnANonBlankChipStopsAtTheBlankCheck) {
    BlankCheckBeforeProgram = 1;
    chip->cells[0x123] = 0x7E;
    ExpectRun(OpProgram, ResultFailed, {"Blank check error!", " Chip addr: 000123h  data: 007Eh", "T"});
    EXPECT_EQ(g_script.programCalls, 0);
    EXPECT_EQ(tones, std::vector<int>{kLowTone});
    EXPECT_FALSE(simp.LatchBank(29) & 0x80);
    EXPECT_EQ((std::vector<uint32_t>{MainCounters.Failure, MainCounters.Count, MainCounters.Success, ui.Counters[2]}),
              (std::vector<uint32_t>{1, 1, 0, 1}));
}

TEST_F(OperationTest, AutoSkipsWhatTheDeviceDoesNotOffer) {
    SelectTestDevice(SectionEprom, 0x41F, kSize); // no erase, no security
    RowHookTable[kTestRow].ConfigFuseWriter = TestFuseWriter;
    Options(0, 0); // auto checks and verifies whatever the options say
    ExpectRun(OpAuto, ResultOk,
              {"Blank check ok!", "Program ok!", "Verification ok!", "Configuration Fuse Program ok!", "T"});
    EXPECT_EQ(g_script.eraseCalls + g_script.secureCalls, 0);
    EXPECT_EQ(g_script.fuseCalls, 1);
    EXPECT_TRUE(ui.Boxes.empty());
}

TEST_F(OperationTest, AnOfferedStepWhoseRowHasNoEntryFails) {
    // The test row without its module: every entry the default one.
    AlgorithmTable[kTestRow] = AlgorithmEntry{99, 0, 0, AlgNoOperation, AlgNoRead, AlgNoOperation,
                                              AlgNoOperation, AlgNoOperation, AlgNoOperation};
    const std::string none = "Not supported.";
    const std::pair<int, Lines> cases[] = {
        {OpBlankCheck, {"Blank check error!", none, "T"}},
        {OpProgram, {"Program error!", none, "T"}},
        {OpRead, {"Read error!", none, "-CheckSum : 0000h", "T"}},
        {OpVerify, {"Verification error!", none, "T"}},
        {OpCompare, {"Data Compare error!", none, "T"}},
        {OpErase, {"Erase error!", none, "T"}},
        {OpSecurity, {"Security error!", none, "T"}},
        {OpAuto, {"Erase error!", none, "T"}},
    };
    Options(0, 0);
    for (uint32_t a = 0; a < kSize; ++a) PutBufferByte(a, 0);
    SelectBank(0, 0);
    for (const auto& [op, lines] : cases) {
        ExpectRun(op, ResultFailed, lines);
        EXPECT_EQ(tones, std::vector<int>{kLowTone}) << op;
        EXPECT_FALSE(simp.LatchBank(29) & 0x80) << "pass lamp, op " << op;
    }
    EXPECT_TRUE(ui.Boxes.empty()); // no "Are you sure?" for a step that cannot run
    EXPECT_EQ(chip->reads + chip->writes, 0u);
    EXPECT_EQ(MainCounters.Success, 0u);
    EXPECT_EQ(MainCounters.Failure, 2u); // program and auto
    EXPECT_FALSE(std::ifstream(CompareFileName).good());
}

// An entry that fails with no address to name gets no fail-address lines;
// a read the part refused, and a range the row refused before touching the
// part, get no verify level's line either. The next step or run names its
// address again.
TEST_F(OperationTest, FailuresWithoutAnAddressGetNoAddressLines) {
    SelectTestDevice(SectionEprom, kAllOps, kSize, 0, 45, 55);
    Options(1, 1);
    g_script.unplacedRead = true;
    ExpectRun(OpBlankCheck, ResultFailed, {"Blank check error!", "T"});
    ExpectRun(OpVerify, ResultFailed, {"Verification error!", " VCCL(4.5V) Verification error!", "T"});
    g_script.unplacedRead = false;
    g_script.refusedRead = true;
    ExpectRun(OpVerify, ResultFailed, {"Verification error!", " Refused.", "T"});
    ExpectRun(OpProgram, ResultFailed, {"Blank check error!", " Refused.", "T"});
    g_script.refusedRead = false;
    g_script.refusedRange = true;
    ExpectRun(OpVerify, ResultFailed, {"Verification error!", " Start address 0h refused.", "T"});
    ExpectRun(OpBlankCheck, ResultFailed, {"Blank check error!", " Start address 0h refused.", "T"});
    Options(0, 1);
    ExpectRun(OpProgram, ResultFailed, {"Program error!", " Start address 0h refused.", "T"});
    Options(1, 1);
    g_script.refusedRange = false;
    chip->cells[0x12] = 0x34;
    ExpectRun(OpBlankCheck, ResultFailed, {"Blank check error!", " Chip addr: 000012h  data: 0034h", "T"});
}

TEST_F(OperationTest, TwoLevelVerifyFailsWhenEitherPassFails) {
    SelectTestDevice(SectionEprom, kAllOps, kSize, 0, 45, 55);
    SameData();
    ExpectRun(OpVerify, ResultOk,
              {"Verification ok!", " VCCL(4.5V) Verification ok!", " VCCL(5.5V) Verification ok!", "T"});
    g_script.weakAddress = 0x2C; // fails at the high supply only
    char chipLine[64], bufferLine[64];
    std::snprintf(chipLine, sizeof chipLine, "  Chip addr: 00002Ch  data: %04Xh", chip->cells[0x2C] ^ 1);
    std::snprintf(bufferLine, sizeof bufferLine, "Buffer addr: 00002Ch  data: %04Xh", chip->cells[0x2C]);
    ExpectRun(OpVerify, ResultFailed,
              {"Verification error!", " VCCL(4.5V) Verification ok!", " VCCL(5.5V) Verification error!", chipLine,
               bufferLine, "T"});
}

TEST_F(OperationTest, ReadThenVerifyAfterReading) {
    VerifyAfterRead = 1;
    uint32_t sum = 0;
    for (uint32_t a = 0; a < kSize; ++a) sum += chip->cells[a] = static_cast<uint8_t>(a * 7);
    char sumLine[32];
    std::snprintf(sumLine, sizeof sumLine, "-CheckSum : %04Xh", sum & 0xFFFF);
    ExpectRun(OpRead, ResultOk, {"Read ok!", "Verification ok!", sumLine, "T"});
    EXPECT_EQ(BufferWindow[0x55], static_cast<uint8_t>(0x55 * 7));

    // A row whose checksum cannot be made shows the failure, not FFFFh.
    RowHookTable[kTestRow].Checksum = [] { return BufferChecksum = 0xFFFFFFFFu; };
    ExpectRun(OpRead, ResultOk, {"Read ok!", "Verification ok!", "-CheckSum : Error", "T"});
}

TEST_F(OperationTest, UserBreaks) {
    // "Are you sure?" answered No: no chip access at all after the link check.
    simp.ClearTrace();
    simp.EnableTrace(true);
    ExpectRun(OpSecurity, ResultUserBreak, {"USER BREAK!", "T"}, {UiAnswer::No});
    EXPECT_EQ(ui.BoxTexts(), Lines{"Are you sure?"});
    EXPECT_EQ(g_script.secureCalls, 0);
    EXPECT_FALSE(chip->secured);
    EXPECT_EQ(chip->reads, 0u);
    for (const auto& a : simp.RegisterTrace()) EXPECT_FALSE(a.write && a.reg == 4 && a.value != 0);
    EXPECT_EQ(tones, std::vector<int>{kLowTone});

    // ESC during a read, "Continue?" answered No: the progress line stays.
    g_script.breakAtAddress = 0x200;
    EXPECT_EQ(Run(OpRead, {UiAnswer::No}), ResultUserBreak);
    const Lines log = Log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(Lines(log.begin(), log.begin() + 2), (Lines{"Reading ...", "USER BREAK!"}));
    for (int32_t r : SocketResults) EXPECT_EQ(r, -1);

    // A data compare stopped by the user takes its progress line away too.
    ExpectRun(OpCompare, ResultUserBreak, {"USER BREAK!", "T"}, {UiAnswer::No});
}

TEST_F(OperationTest, CompareReport) {
    const std::string heading = "Compare file\r\nAddress : (Buffer data)-(Chip data)\r\n";
    SameData();
    EXPECT_EQ(Run(OpCompare), ResultOk);
    EXPECT_EQ(ReadText(CompareFileName), heading);

    chip->cells[0x05] = 0x00;
    chip->cells[0x3FF] = 0xAB;
    EXPECT_EQ(Run(OpCompare), ResultOk);
    char expected[200];
    std::snprintf(expected, sizeof expected, "%s00000005h:(%02X)-(00)\r\n000003FFh:(%02X)-(AB)\r\n", heading.c_str(),
                  5 * 3 + 1, (0x3FF * 3 + 1) & 0xFF);
    EXPECT_EQ(ReadText(CompareFileName), expected);

    // A report that cannot be created fails the step with the system's text.
    ASSERT_EQ(std::remove(CompareFileName), 0);
    ASSERT_EQ(mkdir(CompareFileName, 0755), 0);
    ExpectRun(OpCompare, ResultFailed, {std::strerror(EISDIR), "T"});
    ASSERT_EQ(rmdir(CompareFileName), 0);
    // A system error number inside the program's own code range (ELOOP) still
    // shows the system's text.
    ASSERT_EQ(symlink(CompareFileName, CompareFileName), 0);
    ExpectRun(OpCompare, ResultFailed, {std::strerror(ELOOP), "T"});
    ASSERT_EQ(std::remove(CompareFileName), 0);
    EXPECT_EQ(chip->reads, 2 * kSize);
}

TEST_F(OperationTest, IdentityCheckOfMicrocontrollers) {
    SelectTestDevice(SectionMicro, kAllOps, kSize);
    chip->deviceId = 0x53; // the record expects 1Eh 52h
    ExpectRun(OpBlankCheck, ResultFailed, {"Incorrect device ID."}, {UiAnswer::No});
    EXPECT_EQ(ui.BoxTexts(), Lines{"Device Signature dose not match. Continue?"});
    EXPECT_EQ(tones, std::vector<int>{kLowTone});
    ExpectRun(OpBlankCheck, ResultOk, {"Incorrect device ID.", "Blank check ok!", "T"}, {UiAnswer::Yes});

    // Rows whose secured chips cannot be identified: not compared for erase
    // and auto, another text otherwise.
    RowHookTable[kTestRow].SecuredIdentityException = true;
    ExpectRun(OpErase, ResultOk, {"Erase ok!", "T"});
    ExpectRun(OpVerify, ResultFailed, {"Device secured or incorrect device."}, {UiAnswer::No});
    chip->deviceId = 0x52;
    ExpectRun(OpBlankCheck, ResultOk, {"Blank check ok!", "T"});
    EXPECT_EQ(g_script.identifyCalls, 5);
}

TEST_F(OperationTest, LinkLostDuringARun) {
    BlankCheckBeforeProgram = 0;
    PutBufferByte(0x10, 0x00);
    SelectBank(0, 0);
    g_script.stopAtAddress = 0x10;
    ExpectRun(OpProgram, ResultFailed, {"Program error!", "Can not be executed with Communication Error!", "T"});
    EXPECT_EQ(ProgrammerConnected, -1);
    EXPECT_EQ(tones, std::vector<int>{kLowTone});
    EXPECT_EQ(MainCounters.Failure, 1u);

    // The next run finds no programmer and does nothing else.
    EXPECT_EQ(Run(OpBlankCheck), ResultFailed);
    const Lines log = Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "Can not be executed with Communication Error!");
    for (const auto& line : log) EXPECT_EQ(line.find("Blank"), std::string::npos) << line;
}

TEST_F(OperationTest, NegativeResultsFailAndDevicesPerHourStaysWithoutMeasurableTime) {
    Options(0, 0);
    g_script.programResult = -2;
    EXPECT_EQ(Run(OpProgram), ResultFailed);
    ASSERT_FALSE(Log().empty());
    EXPECT_EQ(Log()[0], "Program error!");
    EXPECT_EQ(MainCounters.Failure, 1u);
    g_script.programResult = 0; // the walk's own result
    MainCounters.DevicesPerHour = 77;
    g_elapsedMs = 0;
    ExpectRun(OpProgram, ResultOk, {"Program ok!", TimeLine(0.0)});
    EXPECT_EQ(MainCounters.DevicesPerHour, 77u);
    EXPECT_EQ(MainCounters.Success, 1u);
}

// Split modes: the chip address of a failure, also past a bank advance.
TEST_F(OperationTest, FailAddressInSplitModesAcrossBanks) {
    struct Case { uint32_t wordMode; int op; uint32_t failAt; Lines lines; };
    const Case cases[] = {
        {1, OpVerify, 0x9000, {"  Chip addr: 009000h  data: 0000h", "Buffer addr: 012000h  data: 0011h"}},
        {4, OpVerify, 0x5003, {"  Chip addr: 005003h  data: 0000h", "Buffer addr: 01400Dh  data: 0011h"}},
        {2, OpBlankCheck, 0x8001, {" Chip addr: 008001h  data: 0000h"}},
        {0, OpBlankCheck, 0x10002, {" Chip addr: 010002h  data: 0000h"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.wordMode));
        ResetBufferState();
        WordMode = c.wordMode;
        SelectTestDevice(SectionEprom, kAllOps, 0x18000);
        sim::Socket::Find(simp)->Clear();
        TestChip* big = InsertChip(0x18000);
        if (c.op == OpVerify) {
            std::fill(big->cells.begin(), big->cells.end(), uint8_t{0x11});
            ASSERT_EQ(SelectBank(BufferEnd, 1), 1);
            const uint32_t step = c.wordMode == 0 ? 1 : c.wordMode <= 2 ? 2 : 4;
            const uint32_t lane = c.wordMode == 2 || c.wordMode == 4 ? 1 : 0;
            for (uint32_t a = 0; a < 0x18000; ++a) BufferImage()[a * step + lane] = 0x11;
            SelectBank(0, 0);
        }
        big->cells[c.failAt] = 0x00;
        EXPECT_EQ(Run(c.op), ResultFailed);
        const Lines log = Log();
        ASSERT_GE(log.size(), c.lines.size() + 1);
        EXPECT_EQ(Lines(log.begin() + 1, log.begin() + 1 + c.lines.size()), c.lines);
    }
}

// A row that takes consecutive buffer bytes refuses a split mode for every
// operation that moves buffer data, before the link check or any step; the
// steps without buffer data still run, and so does byte mode.
TEST_F(OperationTest, ARowWithoutByteLanesRefusesSplitModesForBufferData) {
    static const RowDef kNoLanes[] = {
        {.Row = kTestRow, .Identify = TestIdentify, .Read = TestRead, .Program = TestProgram, .Erase = TestErase,
         .Secure = TestSecure, .NoByteLanes = true}};
    ASSERT_EQ(InstallRows(kNoLanes), 1u);
    Options(1, 1);
    WordMode = 2;
    SelectTestDevice(SectionEprom, kAllOps, kSize);
    for (const int op : {OpProgram, OpRead, OpVerify, OpCompare, OpAuto}) {
        SCOPED_TRACE(op);
        ExpectRun(op, ResultFailed, {"Cannot support Split mode!"});
    }
    EXPECT_EQ(g_script.programCalls + g_script.eraseCalls, 0);
    EXPECT_EQ(chip->reads + chip->writes, 0u);
    EXPECT_TRUE(std::all_of(chip->cells.begin(), chip->cells.end(), [](uint8_t c) { return c == 0xFF; }));
    ExpectRun(OpBlankCheck, ResultOk, {"Blank check ok!", "T"});
    ExpectRun(OpErase, ResultOk, {"Erase ok!", "T"});
    WordMode = 0;
    SelectTestDevice(SectionEprom, kAllOps, kSize);
    ExpectRun(OpProgram, ResultOk, {"Blank check ok!", "Program ok!", "Verification ok!", "T"});
    ForgetRowDefinitions();
}

// Buffer Start counts a 16-bit device's words: the run's first datum is the
// buffer word at Buffer Start (plus the lane), in that word's 32768-word
// bank, however far up it lies; a byte device's is the byte there. The
// fail address counts from that datum.
TEST_F(OperationTest, TheFirstDatumIsAtBufferStartInItsBank) {
    struct Case {
        uint32_t width, wordMode, bufferStart, bank, index;
    };
    const Case cases[] = {
        {16, 0, 0x81B9, 1, 0x1B9},    {16, 0, 0x8000, 1, 0},     {16, 0, 0x7FFF, 0, 0x7FFF},
        {16, 0, 0x18000, 3, 0},       {16, 2, 0x7FFF, 1, 0},     {8, 0, 0x81B9, 0, 0x81B9},
        {8, 0, 0x181B9, 1, 0x81B9},   {8, 0, 0x10000, 1, 0},     {8, 4, 0xFFFF, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "-bit, mode " + std::to_string(c.wordMode) + ", Buffer Start " +
                     std::to_string(c.bufferStart));
        ResetBufferState();
        WordMode = c.wordMode;
        SelectTestDevice(SectionEprom, kAllOps, kSize);
        DataWidth = c.width;
        BufferStart = c.bufferStart;
        PrepareOperation(MainEngine);
        EXPECT_EQ(CurrentBank, c.bank);
        EXPECT_EQ(BufferIndex, c.index);
        EXPECT_EQ(BankSize, c.width > 8 ? 32768u : 65536u);
        SelectBank(0, 0);
    }
}

// A byte device's Program and Read take the range from Buffer Start apart
// from Chip Start, across a bank, and a failure names the chip address and
// the buffer byte it took.
TEST_F(OperationTest, ARangeFromABufferStartApartFromChipStart) {
    Options(0, 1);
    DeviceStart = 0x100;
    DeviceEnd = 0x3FF;
    BufferStart = 0xFF80;
    BufferEnd = BufferStart + 0x2FF;
    ASSERT_EQ(SelectBank(BufferEnd, 1), 1);
    for (uint32_t i = 0; i < 0x300; ++i) BufferImage()[BufferStart + i] = static_cast<uint8_t>(i * 7 + 3);
    SelectBank(0, 0);
    ExpectRun(OpProgram, ResultOk, {"Program ok!", "Verification ok!", "T"});
    for (uint32_t i = 0; i < 0x300; ++i) ASSERT_EQ(chip->cells[0x100 + i], static_cast<uint8_t>(i * 7 + 3)) << i;
    EXPECT_EQ(chip->cells[0xFF], 0xFF);
    chip->cells[0x200] ^= 0x10;
    Run(OpVerify);
    const Lines log = Log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[1], "  Chip addr: 000200h  data: 0013h");
    EXPECT_EQ(log[2], "Buffer addr: 010080h  data: 0003h");
}

// A row that takes each datum at its chip address's place in the buffer
// refuses a Buffer Start apart from Chip Start for every operation that
// moves buffer data, before the link check or any step; the others run, and
// so does a Buffer Start at Chip Start.
TEST_F(OperationTest, ARowTakingDataAtChipAddressesRefusesABufferStartApart) {
    static const RowDef kOwn[] = {{.Row = kTestRow, .Identify = TestIdentify, .Read = TestRead,
                                   .Program = TestProgram, .Erase = TestErase, .Secure = TestSecure,
                                   .DataAtChipAddresses = true}};
    ASSERT_EQ(InstallRows(kOwn), 1u);
    Options(1, 1);
    SelectTestDevice(SectionEprom, kAllOps, kSize);
    DeviceStart = 0x10;
    BufferStart = 0x8010;
    for (const int op : {OpProgram, OpRead, OpVerify, OpCompare, OpAuto}) {
        SCOPED_TRACE(op);
        ExpectRun(op, ResultFailed,
                  {" Buffer Start 8010h not supported: data sit at the chip's own addresses (Chip Start "
                   "10h)."});
    }
    EXPECT_EQ(g_script.programCalls + g_script.eraseCalls, 0);
    EXPECT_EQ(chip->reads + chip->writes, 0u);
    ExpectRun(OpBlankCheck, ResultOk, {"Blank check ok!", "T"});
    BufferStart = 0x10;
    ExpectRun(OpProgram, ResultOk, {"Blank check ok!", "Program ok!", "Verification ok!", "T"});
    ForgetRowDefinitions();
}

// A row that keeps buffer places for chip addresses of its own refuses,
// before the link check or any step, a range that puts another chip
// address's datum on a place it fills whatever the range, or that moves one
// of its own kept addresses off its place; a place used only for the range's
// own addresses may hold other data, and a range that puts each kept
// address on its place runs.
TEST_F(OperationTest, ARowWithFixedBufferPlacesRefusesARangeThatMixesThem) {
    static const RowDef kPlaces[] = {{.Row = kTestRow, .Identify = TestIdentify, .Read = TestRead,
                                      .Program = TestProgram, .Erase = TestErase, .Secure = TestSecure,
                                      .FixedPlaces = [] {
                                          return std::vector<FixedBufferPlace>{{0x200, 0x203, 0x200},
                                                                               {0x300, 0x30F, 0x300, true}};
                                      }}};
    ASSERT_EQ(InstallRows(kPlaces), 1u);
    Options(1, 1);
    SelectTestDevice(SectionEprom, kAllOps, kSize);
    struct Case {
        uint32_t start, end, bufferStart;
        const char* line; // nullptr: the range runs
    };
    const Case cases[] = {
        {0, 0x1FF, 1, " Buffer addr 000200h is chip addr 200h's place; the range puts chip addr 1FFh there."},
        {0x300, 0x30F, 0x380, " Buffer addr 000300h is chip addr 300h's place; the range puts it at buffer addr 000380h."},
        {0x100, 0x17F, 0x2A0, nullptr}, // over the second place, none of its addresses in the range
        {0x1F0, 0x30F, 0x1F0, nullptr}, // every kept address on its place
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        DeviceStart = c.start;
        DeviceEnd = c.end;
        BufferStart = c.bufferStart;
        if (c.line == nullptr) {
            ExpectRun(OpProgram, ResultOk, {"Blank check ok!", "Program ok!", "Verification ok!", "T"});
            continue;
        }
        const uint32_t before = chip->reads + chip->writes;
        for (const int op : {OpProgram, OpRead, OpVerify, OpCompare}) ExpectRun(op, ResultFailed, {c.line});
        EXPECT_EQ(chip->reads + chip->writes, before);
    }
    ForgetRowDefinitions();
}

// In a split mode a range's span is its whole lane set's: a place inside
// it is met on the run's own lane by the chip address the lane puts there
// and on another lane by that lane's (whose part keeps its own datum
// there), in every lane mode; a place the row keeps in the run's lane lies
// at its unit times the step. A lane set beside the places runs.
TEST_F(OperationTest, ASplitModeMeetsPlacesAcrossItsWholeLaneSet) {
    static const RowDef kPlaces[] = {{.Row = kTestRow, .Identify = TestIdentify, .Read = TestRead,
                                      .Program = TestProgram, .Erase = TestErase, .Secure = TestSecure,
                                      .FixedPlaces = [] {
                                          return std::vector<FixedBufferPlace>{
                                              {0x200, 0x203, 0x200},
                                              {.First = 0x300, .Last = 0x300, .Memory = "hidden word"},
                                              {.First = 0x80, .Last = 0x83, .Chip = 0x80, .InLane = true}};
                                      }}};
    ASSERT_EQ(InstallRows(kPlaces), 1u);
    Options(0, 1);
    struct Case {
        uint32_t mode, start, end, bufferStart;
        const char* line; // nullptr: the range runs
    };
    const Case cases[] = {
        {1, 0, 0x17F, 0, " Buffer addr 000200h is chip addr 200h's place; the range puts chip addr 100h there."},
        {2, 0, 0x17F, 0, " Buffer addr 000200h is chip addr 200h's place; another lane puts chip addr 100h there."},
        {4, 0, 0xBF, 0, " Buffer addr 000200h is chip addr 200h's place; another lane puts chip addr 80h there."},
        {6, 0, 0xBF, 0, " Buffer addr 000200h is chip addr 200h's place; another lane puts chip addr 80h there."},
        {4, 0x10, 0x4F, 0x204, " Buffer addr 000300h is the hidden word's place; another lane puts chip addr 4Fh there."},
        {1, 0x10, 0x8F, 0x204, " Buffer addr 000300h is the hidden word's place; the range puts chip addr 8Eh there."},
        {5, 0x80, 0x83, 0x40, " Buffer addr 000202h is chip addr 80h's place; the range puts it at buffer addr 000042h."},
        {2, 0, 0xFF, 0, nullptr},    // the lane set ends below 200h, chip 80h-83h on their lane's places
        {4, 0x90, 0x9F, 0x301, nullptr}, // from just past the word
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line == nullptr ? "runs" : c.line);
        WordMode = c.mode;
        DeviceStart = c.start;
        DeviceEnd = c.end;
        BufferStart = c.bufferStart;
        chip->cells.assign(kSize, 0xFF);
        if (c.line == nullptr) {
            ExpectRun(OpProgram, ResultOk, {"Program ok!", "Verification ok!", "T"});
            continue;
        }
        const uint32_t before = chip->reads + chip->writes;
        for (const int op : {OpProgram, OpRead, OpVerify, OpCompare, OpAuto}) ExpectRun(op, ResultFailed, {c.line});
        EXPECT_EQ(chip->reads + chip->writes, before);
    }
    WordMode = 0;
    ForgetRowDefinitions();
}

// Places holding cells of another memory of the part (a data EEPROM's, a
// hidden word) are met by every range whose buffer span covers them, even a
// range of chip addresses numbered like those cells, and the line names
// the memory; a span beside them runs.
TEST_F(OperationTest, PlacesOfAnotherMemoryAreNeverTheRangesOwn) {
    static const RowDef kOther[] = {{.Row = kTestRow, .Identify = TestIdentify, .Read = TestRead,
                                     .Program = TestProgram, .Erase = TestErase, .Secure = TestSecure,
                                     .FixedPlaces = [] {
                                         return std::vector<FixedBufferPlace>{
                                             {.First = DeviceEnd + 1, .Last = DeviceEnd + 0x40, .Memory = "EEPROM"},
                                             {.First = 0x3F0, .Last = 0x3F0, .Memory = "hidden word"}};
                                     }}};
    ASSERT_EQ(InstallRows(kOther), 1u);
    Options(0, 1);
    struct Case {
        uint32_t start, end, bufferStart;
        const char* line; // nullptr: the range runs
    };
    const Case cases[] = {
        {0, 0x1FF, 0x10, " Buffer addr 000200h is EEPROM addr 0h's place; the range puts chip addr 1F0h there."},
        {0x100, 0x17F, 0x150, " Buffer addr 000180h is EEPROM addr 0h's place; the range puts chip addr 130h there."},
        {0, 0x3F, 0x40, " Buffer addr 000040h is EEPROM addr 0h's place; the range puts chip addr 0h there."},
        {0x200, 0x20F, 0x3E8, " Buffer addr 0003F0h is the hidden word's place; the range puts chip addr 208h there."},
        {0, 0x3F, 0, nullptr}, // chip addr 0 in the range is not EEPROM addr 0
        {0, 0x1FF, 0, nullptr},
        {0x100, 0x17F, 0x240, nullptr},  // past the image, below the word
        {0x300, 0x33F, 0x200, nullptr},  // below the image
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bufferStart);
        DeviceStart = c.start;
        DeviceEnd = c.end;
        BufferStart = c.bufferStart;
        chip->cells.assign(kSize, 0xFF);
        if (c.line == nullptr) {
            ExpectRun(OpProgram, ResultOk, {"Program ok!", "Verification ok!", "T"});
            continue;
        }
        const uint32_t before = chip->reads + chip->writes;
        for (const int op : {OpProgram, OpRead, OpVerify, OpCompare, OpAuto}) ExpectRun(op, ResultFailed, {c.line});
        EXPECT_EQ(chip->reads + chip->writes, before);
    }
    ForgetRowDefinitions();
}

// A range whose buffer bytes end at the buffer's last byte runs; one byte
// further is refused for every operation that moves buffer data, before the
// link check, naming Buffer End and the buffer's size (a 16-bit device's
// Buffer Start in words, a split mode's lanes, a row's second image after
// the range counted); the buffer keeps its bytes and its size.
TEST_F(OperationTest, ARangePastTheBuffersLastByteIsRefusedBeforePowerUp) {
    Options(0, 1);
    DeviceStart = 0x100;
    DeviceEnd = 0x1FF;
    BufferStart = 0x0FFFFF00;
    ASSERT_EQ(SelectBank(0x0FFFFFFF, 1), 1);
    for (uint32_t i = 0; i < 0x100; ++i) BufferImage()[0x0FFFFF00 + i] = static_cast<uint8_t>(i * 5 + 1);
    SelectBank(0, 0);
    EXPECT_EQ(RangeBufferEnd(), 0x0FFFFFFFu);
    ExpectRun(OpProgram, ResultOk, {"Program ok!", "Verification ok!", "T"});
    for (uint32_t i = 0; i < 0x100; ++i) ASSERT_EQ(chip->cells[0x100 + i], static_cast<uint8_t>(i * 5 + 1)) << i;

    const std::vector<uint8_t> cells = chip->cells;
    const uint32_t reads = chip->reads, writes = chip->writes, banks = BankCount;
    BufferStart = 0x0FFFFF01;
    for (const int op : {OpProgram, OpRead, OpVerify, OpCompare, OpAuto}) {
        SCOPED_TRACE(op);
        ExpectRun(op, ResultFailed, {" Buffer End 10000000h past the buffer's last byte FFFFFFFh (buffer size 256 MB)."});
    }
    EXPECT_EQ(chip->reads + chip->writes, reads + writes);
    EXPECT_EQ(chip->cells, cells);
    EXPECT_EQ(BankCount, banks);
    EXPECT_EQ(BufferImage()[0x0FFFFFFF], static_cast<uint8_t>(0xFF * 5 + 1));
    ExpectRun(OpBlankCheck, ResultFailed, {"Blank check error!", " Chip addr: 000100h  data: 0001h", "T"});
    const uint32_t touched = chip->reads + chip->writes;

    struct Case {
        uint32_t width, wordMode, bufferStart;
        uint64_t end;
    };
    const Case cases[] = {
        {16, 0, 0x07FFFF00, 0x0FFFFFFF}, {16, 0, 0x07FFFF01, 0x10000001}, {8, 1, 0x0FFFFE00, 0x0FFFFFFF},
        {8, 2, 0x0FFFFE01, 0x10000000},  {8, 3, 0x0FFFFC00, 0x0FFFFFFF}, {8, 0, 0xFFFFFFFF, 0x1000000FE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "-bit, mode " + std::to_string(c.wordMode));
        DataWidth = c.width;
        WordMode = c.wordMode;
        BufferStart = c.bufferStart;
        EXPECT_EQ(RangeBufferEnd(), c.end);
        if (c.end > 0x0FFFFFFF) {
            char line[96];
            std::snprintf(line, sizeof line, " Buffer End %llXh past the buffer's last byte FFFFFFFh (buffer size 256 MB).",
                          static_cast<unsigned long long>(c.end));
            ExpectRun(OpRead, ResultFailed, {line});
        }
    }
    EXPECT_EQ(chip->reads + chip->writes, touched);

    // A data EEPROM's image counts where it lies, from byte Chip End + 1,
    // not after the range's bytes: a range at the buffer's top with the
    // image low runs past no byte; an image reaching past the top does.
    static uint32_t (*const kEeprom)() = [] { return uint32_t{0x80}; };
    static const RowDef kSecond[] = {{.Row = kTestRow, .Identify = TestIdentify, .Read = TestRead,
                                      .Program = TestProgram, .Erase = TestErase, .Secure = TestSecure,
                                      .ImageAfterRange = kEeprom}};
    ASSERT_EQ(InstallRows(kSecond), 1u);
    DataWidth = 8;
    WordMode = 0;
    BufferStart = 0x0FFFFE81;
    EXPECT_EQ(RangeBufferEnd(), 0x0FFFFF80u);
    EXPECT_EQ(RunBufferEnd(), 0x0FFFFF80u);
    BufferStart = 0x0FFFFF00;
    EXPECT_EQ(RunBufferEnd(), 0x0FFFFFFFu);
    BufferStart = 0;
    DeviceStart = 0x0FFFFF00;
    DeviceEnd = 0x0FFFFF7F;
    EXPECT_EQ(RunBufferEnd(), 0x0FFFFFFFu);
    DeviceEnd = 0x0FFFFF80;
    for (const int op : {OpProgram, OpRead, OpVerify}) {
        SCOPED_TRACE(op);
        ExpectRun(op, ResultFailed, {" Buffer End 10000000h past the buffer's last byte FFFFFFFh (buffer size 256 MB)."});
    }
    EXPECT_EQ(chip->reads + chip->writes, touched);
    ForgetRowDefinitions();
    DeviceStart = 0x100;
    DeviceEnd = 0x1FF;

    // A buffer of fewer banks names its own size.
    BufferReserveBanks = 4;
    InitBuffers();
    SelectTestDevice(SectionEprom, kAllOps, kSize);
    DeviceStart = 0;
    DeviceEnd = 0xFF;
    BufferStart = 0x3FF01;
    ExpectRun(OpProgram, ResultFailed, {" Buffer End 40000h past the buffer's last byte 3FFFFh (buffer size 256 KB)."});
    BufferStart = 0x3FF00;
    chip->cells.assign(kSize, 0xFF);
    ExpectRun(OpProgram, ResultOk, {"Program ok!", "Verification ok!", "T"});
    ResetBufferState();
}

// A row whose Read stores units past the range (a calibration area a few
// units after it): Read counts them in its buffer-top and fixed-place checks
// and is refused before the link check where its last would pass the
// buffer's last byte or one would land on a kept place; Program and Verify
// neither store nor take them and run; a Read whose units end on the last
// byte runs.
TEST_F(OperationTest, AReadStoringPastTheRangeCountsWhatItStores) {
    static const RowDef kStores[] = {{.Row = kTestRow, .Identify = TestIdentify, .Read = TestRead,
                                      .Program = TestProgram, .Erase = TestErase, .Secure = TestSecure,
                                      .FixedPlaces = [] { return std::vector<FixedBufferPlace>{{0x300, 0x30F, 0x300}}; },
                                      .ReadStoresAfterRange = [] { return ReadAreaAfterRange{0x10, 0x30}; }}};
    ASSERT_EQ(InstallRows(kStores), 1u);
    Options(0, 1);
    DeviceStart = 0x100;
    DeviceEnd = 0x1FF;
    BufferStart = 0x0FFFFEC1;
    ASSERT_EQ(SelectBank(0x0FFFFFFF, 1), 1);
    for (uint32_t i = 0; i < 0x100; ++i) BufferImage()[0x0FFFFEC1 + i] = static_cast<uint8_t>(i * 3 + 7);
    SelectBank(0, 0);
    const uint32_t before = chip->reads + chip->writes;
    ExpectRun(OpRead, ResultFailed, {" Buffer End 10000000h past the buffer's last byte FFFFFFFh (buffer size 256 MB)."});
    EXPECT_EQ(chip->reads + chip->writes, before);
    ExpectRun(OpProgram, ResultOk, {"Program ok!", "Verification ok!", "T"});
    for (uint32_t i = 0; i < 0x100; ++i) ASSERT_EQ(chip->cells[0x100 + i], static_cast<uint8_t>(i * 3 + 7)) << i;
    ExpectRun(OpVerify, ResultOk, {"Verification ok!", "T"});
    BufferStart = 0x0FFFFEC0;
    EXPECT_EQ(Run(OpRead), ResultOk) << ::testing::PrintToString(Log());
    for (uint32_t i = 0; i < 0x100; ++i) ASSERT_EQ(BufferImage()[0x0FFFFEC0 + i], static_cast<uint8_t>(i * 3 + 7)) << i;

    // The units skipped before the area may lie on the place; the area's may not.
    BufferStart = 0x200;
    EXPECT_EQ(Run(OpRead), ResultOk) << ::testing::PrintToString(Log());
    for (uint32_t i = 0; i < 0x100; ++i) ASSERT_EQ(BufferImage()[0x200 + i], static_cast<uint8_t>(i * 3 + 7)) << i;
    BufferStart = 0x1E0;
    const uint32_t touched = chip->reads + chip->writes;
    ExpectRun(OpRead, ResultFailed,
              {" Buffer addr 000300h is chip addr 300h's place; the range puts chip addr 220h there."});
    EXPECT_EQ(chip->reads + chip->writes, touched);
    chip->cells.assign(kSize, 0xFF);
    ExpectRun(OpProgram, ResultOk, {"Program ok!", "Verification ok!", "T"});
    ForgetRowDefinitions();
}

class GangTest : public OperationFixture {
protected:
    void SetUp() override {
        OperationFixture::SetUp();
        gang = sim::AddGangAdapter(simp);
        g_elapsedMs = 1800;
    }
    void GangDevice(uint32_t opMask, uint32_t flags, uint32_t lastSocket) {
        SelectTestDevice(SectionEprom, opMask, kSize, flags);
        LastSocketIndex = lastSocket;
    }
    void ExpectLamps(std::vector<bool> lit) {
        for (size_t s = 0; s < lit.size(); ++s)
            EXPECT_EQ(sim::GangAdapter::PassLamp(simp, static_cast<int>(s)), lit[s]) << "socket " << s;
    }
};

TEST_F(GangTest, TwoSocketsWithMixedResults) {
    GangDevice(kAllOps, 0x30, 1);
    TestChip* first = InsertGangChip(0, kSize);
    InsertGangChip(1, kSize);
    first->cells[0x40] = 0x00;
    ExpectRun(OpBlankCheck, ResultFailed, {"Socket1 Blank check error!", "Socket2 Blank check ok!", "T"});
    ExpectLamps({false, true});
    EXPECT_FALSE(simp.LatchBank(29) & 0x80);
    EXPECT_EQ(tones, std::vector<int>{kLowTone});

    // Program with the blank check first: socket 2 passed the check but was
    // never programmed, so no lamp may call it good.
    BlankCheckBeforeProgram = 1;
    VerifyAfterProgram = 1;
    PutBufferByte(0x33, 0x12);
    SelectBank(0, 0);
    ExpectRun(OpProgram, ResultFailed, {"Socket1 Blank check error!", "Socket2 Blank check ok!", "T"});
    EXPECT_EQ(g_script.programCalls, 0);
    ExpectLamps({false, false});
    EXPECT_EQ(MainCounters.Failure, 2u);

    // Program both, then verify both: two devices per run in the counters.
    first->cells[0x40] = 0xFF;
    ExpectRun(OpProgram, ResultOk,
              {"Socket1 Blank check ok!", "Socket2 Blank check ok!", "Program ok!", "Socket1 Verification ok!",
               "Socket2 Verification ok!", "T"});
    EXPECT_EQ(gang->SocketAt(1).Chips().size(), 1u);
    ExpectLamps({true, true});
    EXPECT_EQ(MainCounters.Success, 2u);
    EXPECT_EQ(MainCounters.DevicesPerHour, 4000u); // 3600 / 1.8 s x 2

    // Program alone: the lamps of the two sockets in use, no others.
    BlankCheckBeforeProgram = 0;
    VerifyAfterProgram = 0;
    ExpectRun(OpProgram, ResultOk, {"Program ok!", "T"});
    ExpectLamps({true, true, false});
    EXPECT_TRUE(simp.Violations().empty()) << simp.Violations().front();
}

// Socket 1's chip is too small to take byte 300h: it passes the blank check
// and fails the verify of auto.
TEST_F(GangTest, AutoLightsNoLampForWorkLeftUndone) {
    InsertGangChip(0, 0x200);
    TestChip* good = InsertGangChip(1, kSize);
    PutBufferByte(0x300, 0x12);
    SelectBank(0, 0);
    const Lines lines{"Socket1 Blank check ok!",     "Socket2 Blank check ok!", "Program ok!",
                      "Socket1 Verification error!", "Socket2 Verification ok!", "T"};
    // Nothing follows the verify that would act: socket 2 is done and good.
    GangDevice(0x41F, 0x30, 1); // no erase, no security
    ExpectRun(OpAuto, ResultFailed, lines);
    ExpectLamps({false, true});

    // The security step is left out for socket 2 as well: no lamp.
    good->cells[0x300] = 0xFF;
    GangDevice(0x45F, 0x30, 1); // security, no erase
    ExpectRun(OpAuto, ResultFailed, lines);
    EXPECT_EQ(g_script.secureCalls, 0);
    ExpectLamps({false, false});
}

// An erase the driver blank-checks: each socket gets its own result, line
// and lamp, so a later socket whose cell did not erase fails alone; with one
// socket the fail line names the cell and the datum it kept.
TEST_F(GangTest, EraseBlankCheckedSocketBySocket) {
    GangDevice(kAllOps, 0x30, 2);
    g_script.blankCheckAfterErase = true;
    TestChip* first = InsertGangChip(0, kSize);
    InsertGangChip(1, kSize);
    TestChip* third = InsertGangChip(2, kSize);
    third->cells[0x11] = 0xA5;
    third->unerasable = 0x11;
    ExpectRun(OpErase, ResultFailed,
              {"Erasing ...", "Socket1 Erase ok!", "Socket2 Erase ok!", "Socket3 Erase error!", "T"});
    EXPECT_EQ(g_script.eraseCalls, 1);
    ExpectLamps({true, true, false});

    LastSocketIndex = 0;
    first->cells[0x11] = 0xA5;
    first->unerasable = 0x11;
    ExpectRun(OpErase, ResultFailed, {"Erase error!", " Chip addr: 000011h  data: 00A5h", "T"});
}

TEST_F(GangTest, GangSettingsTheHardwareCannotServe) {
    // A device without gang support runs in one socket.
    GangDevice(kAllOps, 0, 3);
    InsertGangChip(0, kSize);
    ExpectRun(OpBlankCheck, ResultOk, {"Blank check ok!", "T"});
    EXPECT_EQ(LastSocketIndex, 0u);

    // A gang device on another adapter.
    GangDevice(kAllOps, 0x30, 3);
    gang->SetModelBits(2);
    ExpectRun(OpBlankCheck, ResultFailed, {"Change Adaper to KR-P32Q8."});
    EXPECT_EQ(tones, std::vector<int>{kLowTone});
}

} // namespace
