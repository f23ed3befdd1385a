// The frame's first module (row 0) end to end: the driver's steps against a
// simulated EPROM, with the faults a programmer meets.
#include <cstdio>
#include <fstream>

#include "engine/HexFiles.h"
#include "MemoryFixture.h"

namespace {

// An Intel hex file of `data` (up to 64 KB) from address 0.
std::string IntelHex(const std::vector<uint8_t>& data) {
    std::string out;
    char hex[8];
    for (size_t a = 0; a < data.size(); a += 16) {
        const size_t n = std::min<size_t>(16, data.size() - a);
        std::vector<unsigned> rec = {static_cast<unsigned>(n), static_cast<unsigned>(a >> 8) & 0xFF,
                                     static_cast<unsigned>(a) & 0xFF, 0};
        rec.insert(rec.end(), data.begin() + static_cast<std::ptrdiff_t>(a),
                   data.begin() + static_cast<std::ptrdiff_t>(a + n));
        unsigned sum = 0;
        for (unsigned v : rec) sum += v;
        rec.push_back((0x100 - (sum & 0xFF)) & 0xFF);
        out += ":";
        for (unsigned v : rec) out += (std::snprintf(hex, sizeof hex, "%02X", v), hex);
        out += "\r\n";
    }
    return out + ":00000001FF\r\n";
}

class Row0 : public MemoryRun {
protected:
    sim::EpromChip* chip = nullptr;
    void SetUp() override {
        MemoryRun::SetUp();
        ASSERT_TRUE(Select("INTEL", "27C256"));
        chip = SeatPart("INTEL", "27C256");
    }
    void LoadFile(const std::vector<uint8_t>& data) {
        std::ofstream("image.hex", std::ios::binary) << IntelHex(data);
        ASSERT_EQ(LoadHexFamilyFile("image.hex", 0, 0), 1);
    }
};

TEST_F(Row0, BlankProgramVerifyReadCompareFromAHexFile) {
    EXPECT_EQ(Run(OpBlankCheck), 1);
    EXPECT_TRUE(HasLine("Blank check ok!")) << LogText();

    FillPattern(0x8000, 7);
    std::vector<uint8_t> data(0x8000);
    for (uint32_t a = 0; a < data.size(); ++a) data[a] = BufferByte(a);
    FillBufferRange(0, 0x7FFF, 0xFF); // the file must fill the buffer
    LoadFile(data);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    // Blank check before, program, verify at both levels, as the driver logs them.
    ExpectLinesInOrder({"Blank check ok!", "Program ok!", "Verification ok!", " VCCL(4.5V) Verification ok!",
                        " VCCL(5.5V) Verification ok!"});
    EXPECT_EQ(Log().back().rfind("--------------------------------> ", 0), 0u);
    for (uint32_t a = 0; a < 0x8000; ++a) ASSERT_EQ(chip->Cell(a), data[a]) << a;
    EXPECT_EQ(MainCounters.Success, 1u);

    // Read back into a cleared buffer: equal to the file, checksum logged.
    FillBufferRange(0, 0x7FFF, 0);
    EXPECT_EQ(Run(OpRead), 1);
    for (uint32_t a = 0; a < 0x8000; ++a) ASSERT_EQ(BufferByte(a), data[a]) << a;
    uint32_t sum = 0;
    for (uint8_t b : data) sum += b;
    char line[64];
    std::snprintf(line, sizeof line, "-CheckSum : %04Xh", sum & 0xFFFF);
    EXPECT_TRUE(HasLine(line)) << LogText();

    // A programmed chip is not blank: the first address and its datum.
    EXPECT_EQ(Run(OpBlankCheck), -1);
    EXPECT_TRUE(HasLine("Blank check error!"));
    std::snprintf(line, sizeof line, " Chip addr: %06Xh  data: %04Xh", 0, data[0]);
    EXPECT_TRUE(HasLine(line)) << LogText();

    // Data compare against a buffer with two differences.
    BufferWindow[0x10] ^= 0xFF;
    BufferWindow[0x7FFF] ^= 0x01;
    EXPECT_EQ(Run(OpCompare), 1);
    EXPECT_TRUE(HasLine("Create Data Compare file ok!"));
    const std::string text = ReadText("COMPARE.TXT");
    std::snprintf(line, sizeof line, "00000010h:(%02X)-(%02X)\r\n", data[0x10] ^ 0xFF, data[0x10]);
    EXPECT_NE(text.find(line), std::string::npos) << text;
    std::snprintf(line, sizeof line, "00007FFFh:(%02X)-(%02X)\r\n", data[0x7FFF] ^ 1, data[0x7FFF]);
    EXPECT_NE(text.find(line), std::string::npos) << text;
    EXPECT_EQ(text.find("Compare file\r\nAddress : (Buffer data)-(Chip data)\r\n"), 0u);
    ExpectNoViolations();
}

TEST_F(Row0, AnAllFFBufferProgramsNothingAndSucceeds) {
    FillBufferRange(0, 0x7FFF, 0xFF);
    EXPECT_EQ(Run(OpProgram), 1);
    EXPECT_EQ(chip->ProgramPulseCount(), 0u);
    EXPECT_TRUE(chip->IsBlank());
    ExpectNoViolations();
}

// A cell that never programs, and one that takes its datum at 5.0 V but never
// gets the pulse time to hold it at the programming supply's verify: Retry
// less one pulses, then the fail address.
TEST_F(Row0, FailingCellGetsRetryLessOnePulsesThenTheFailAddress) {
    for (bool weak : {false, true}) {
        SCOPED_TRACE(weak ? "weak cell" : "stuck cell");
        if (weak) {
            socket->Clear();
            elec->WithdrawAllChips();
            chip = SeatPart("INTEL", "27C256");
            runStart_ = ui.Log.size();
        }
        FillBufferRange(0, 0x7FFF, 0xFF);
        BufferWindow[0x1234] = 0x5A;
        if (weak) chip->SetFullProgramUs(0x1234, 1000000);
        else chip->StickCell(0x1234);
        EXPECT_EQ(Run(OpProgram), -1);
        EXPECT_EQ(Retry, 25u);
        EXPECT_EQ(chip->PulsesOn(0x1234), 24);
        if (weak) {
            EXPECT_TRUE(chip->IsWeak(0x1234));
            EXPECT_EQ(chip->Cell(0x1234), 0x5A);
        }
        ExpectLinesInOrder({"Program error!", "  Chip addr: 001234h  data: 00FFh", "Buffer addr: 001234h  data: 005Ah"});
        EXPECT_EQ(MainCounters.Failure, weak ? 2u : 1u); // one failure per run
        ExpectNoViolations();
    }
}

TEST_F(Row0, OverPulseIsTheCountTimesTheWidthWithPulseMul) {
    PulseMul = 1;
    OverPulseWidth = 4000;
    FillBufferRange(0, 0x7FFF, 0xFF);
    BufferWindow[0x100] = 0x12;
    chip->SetPulsesNeeded(0x100, 3);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    std::vector<uint64_t> widths;
    for (const auto& p : chip->Pulses())
        if (p.address == 0x100 && !p.erase && p.widthUs >= 50) widths.push_back(p.widthUs);
    ASSERT_EQ(widths.size(), 4u) << ::testing::PrintToString(widths); // three pulses, then the over-pulse
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(static_cast<double>(widths[i]), 100, 30);
    EXPECT_GE(widths[3], 12000u); // the timer waits at least the width asked
    EXPECT_LT(widths[3], 13500u);
    EXPECT_EQ(chip->Cell(0x100), 0x12);
    ExpectNoViolations();
}

TEST_F(Row0, UserBreakAnsweredNoStopsTheRun) {
    FillPattern(0x8000);
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpProgram), 3);
    EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
    ASSERT_FALSE(ui.Boxes.empty());
    EXPECT_EQ(ui.Boxes.back().text, "Continue?");
    EXPECT_FALSE(chip->Cell(0x7FFF) == BufferByte(0x7FFF) && chip->Cell(0x7FFE) == BufferByte(0x7FFE));
    EXPECT_EQ(MainCounters.Failure, 1u);
}

TEST_F(Row0, ReadOfARangeFromAbove100hKeepsItsUpperAddress) {
    // Variant 1 resets register 1 before reading; the range start must survive.
    DeviceVariant = 1;
    for (uint32_t a = 0; a < 0x8000; ++a) chip->SetCell(a, static_cast<uint16_t>(a * 7 + (a >> 8)));
    DeviceStart = 0x1230;
    BufferStart = 0;
    FillBufferRange(0, 0xFFFF, 0);
    EXPECT_EQ(Run(OpRead), 1);
    for (uint32_t a = 0x1230; a < 0x1300; ++a) ASSERT_EQ(BufferByte(a - 0x1230), chip->Cell(a)) << std::hex << a;
}

TEST_F(MemoryRun, CY27C256BlankChecksAgainst00h) {
    ASSERT_TRUE(Select("CYPRESS", "CY27C256"));
    sim::EpromChip* chip = SeatPart("CYPRESS", "CY27C256");
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    // Programming skips 00h data and sets the other bits.
    FillPattern(0x8000, 3);
    BufferWindow[5] = 0;
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(chip->PulsesOn(5), 0);
    EXPECT_EQ(chip->Cell(6), BufferByte(6));
    EXPECT_EQ(Run(OpBlankCheck), -1);
    ExpectNoViolations();
}

// Gang: four sockets, socket 3 holds a chip that is not blank.
TEST_F(MemoryRun, GangBlankCheckReportsEverySocketAndFailsOnlyTheBadOne) {
    ASSERT_TRUE(Select("INTEL", "2764A"));
    std::vector<sim::EpromChip*> chips = SeatGang(Facts("INTEL", "2764A"), 4);
    chips[2]->SetCell(0x1000, 0x7E);
    EXPECT_EQ(Run(OpBlankCheck), -1) << LogText();
    for (int s = 1; s <= 4; ++s)
        EXPECT_TRUE(HasLine("Socket" + std::to_string(s) + (s == 3 ? " Blank check error!" : " Blank check ok!")))
            << LogText();
    for (const auto& l : Log()) EXPECT_EQ(l.find("Chip addr"), std::string::npos) << l;
    EXPECT_TRUE(sim::GangAdapter::PassLamp(simp, 0));
    EXPECT_FALSE(sim::GangAdapter::PassLamp(simp, 2));

    // Programming all four at once, then verifying each.
    chips[2]->SetCell(0x1000, 0xFF);
    FillPattern(0x2000, 9);
    simp.EnableTrace(true);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    for (int s = 0; s < 4; ++s)
        for (uint32_t a = 0; a < 0x2000; a += 0x1FF) EXPECT_EQ(chips[s]->Cell(a), BufferByte(a)) << s;
    EXPECT_EQ(MainCounters.Success, 4u);
    // The 6.0 V programming supply of the gang runs on the 3.3-5 V range
    // (register 25 bits 0 and 2 set), which feeds the adapter.
    std::vector<int> range;
    for (const auto& a : simp.RegisterTrace())
        if (a.write && a.reg == 25) range.push_back(a.value);
    const std::vector<int> lowRange = {8, 10, 15};
    EXPECT_NE(std::search(range.begin(), range.end(), lowRange.begin(), lowRange.end()), range.end())
        << ::testing::PrintToString(range);
    ExpectNoViolations();
}

TEST_F(MemoryRun, GangProgramWithOneBadSocketStopsAtItsCellAndPassesNoSocket) {
    ASSERT_TRUE(Select("INTEL", "2764A"));
    std::vector<sim::EpromChip*> chips = SeatGang(sim::Jedec28("2764A", 0x2000), 4);
    chips[1]->StickCell(0x0800);
    FillPattern(0x2000, 12);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_TRUE(HasLine("Program error!")) << LogText();
    // Every socket took the pulses of 0800h (the good ones programmed it), none went past it.
    EXPECT_EQ(chips[1]->PulsesOn(0x800), 24);
    for (int s : {0, 2, 3}) {
        EXPECT_EQ(chips[s]->Cell(0x7FF), BufferByte(0x7FF)) << s;
        EXPECT_EQ(chips[s]->Cell(0x800), BufferByte(0x800)) << s;
        EXPECT_EQ(chips[s]->PulsesOn(0x801), 0) << s;
    }
    for (int s = 0; s < 4; ++s) EXPECT_FALSE(sim::GangAdapter::PassLamp(simp, s)) << s;
    EXPECT_EQ(MainCounters.Success, 0u);
    ExpectNoViolations();
}

// The read-back after each pulse looks at every socket up to the last one: a
// slow cell in the last socket gets the pulses it needs, and the good sockets
// take the same pulses (the pulse reaches every socket).
TEST_F(MemoryRun, GangPulsesUntilTheLastSocketHoldsItsDatum) {
    ASSERT_TRUE(Select("INTEL", "2764A"));
    std::vector<sim::EpromChip*> chips = SeatGang(Facts("INTEL", "2764A"), 4);
    chips[3]->SetPulsesNeeded(0x0800, 10); // more than the part's usual few
    FillPattern(0x2000, 14);
    BufferWindow[0x800] = 0x00;
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_TRUE(HasLine("Socket4 Verification ok!")) << LogText();
    EXPECT_GE(chips[3]->PulsesOn(0x800), 10);
    for (int s = 0; s < 4; ++s) {
        EXPECT_EQ(chips[s]->PulsesOn(0x800), chips[3]->PulsesOn(0x800)) << s;
        for (uint32_t a = 0; a < 0x2000; a += 0x100) EXPECT_EQ(chips[s]->Cell(a), BufferByte(a)) << s << " " << a;
    }
    ExpectNoViolations();
}

// Pulses of 10 ms and more: progress and the user break are looked at every
// 16 addresses, so a break stops the run within 16 addresses of the request.
TEST_F(Row0, SlowPulsesLookAtTheBreakEvery16Addresses) {
    BlankCheckBeforeProgram = 0; // the break falls into the program step
    PulseWidth = 10000;
    OverPulseWidth = 0;
    DeviceEnd = 0x7FF;
    FillPattern(0x800, 13);
    uint32_t askedAt = 0;
    ui.BreakAtPercent = 30;
    ui.OnBreak = [&] { askedAt = ChipAddress; };
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpProgram), 3) << LogText();
    ASSERT_GT(askedAt, 0u);
    uint32_t last = 0;
    for (uint32_t a = 0; a < 0x800; ++a)
        if (chip->PulsesOn(a) > 0) last = a;
    EXPECT_GE(last + 1, askedAt);
    EXPECT_LE(last + 1, askedAt + 16) << std::hex << askedAt << " " << last;
}

} // namespace
