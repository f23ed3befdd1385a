// The password-protected serial memories (rows 45 and 47) through the
// operation driver on the pin-level secure-memory model: the whole cycle on
// the library records, the faults the rows must report, and the password
// order, block split and page rule.
#include <cstring>
#include <functional>

#include "ImageFiles.h"
#include "engine/RowDef.h"
#include "memory/SecureSerial.h"
#include "sim/SerialParts.h"
#include "MemoryFixture.h"

namespace {

struct SecureRow {
    const char* name;
    uint32_t row;
    int readPassword;  // the chip's password a read needs
    int writePassword; // the chip's password a write of the first array needs
    uint32_t start;    // a range short enough for the run, crossing the arrays on row 47
    uint32_t end;
};
const SecureRow kRows[] = {
    {"X76F100", 45, 0, 1, 0, 111},
    {"X76F640", 47, 0, 1, 0x1F80, 0x201F},
};

// A password in the chip's bus order from slot order (byte 7 travels first).
sim::SecurePassword SecureSerialBusOrder(const uint8_t* slot) {
    sim::SecurePassword p{};
    for (int i = 0; i < 8; ++i) p[static_cast<size_t>(i)] = slot[7 - i];
    return p;
}

class Secure : public MemoryRun, public ::testing::WithParamInterface<SecureRow> {
protected:
    sim::SecureMemoryChip* chip = nullptr;

    void SetUp() override {
        MemoryRun::SetUp();
        ResetX76PasswordState();
    }
    void SeatPart(const sim::SecurePassword* wrongAnswer = nullptr) {
        const SecureRow& row = GetParam();
        ASSERT_TRUE(Select("XICOR", row.name));
        ASSERT_EQ(CurrentAlgorithm, row.row);
        const sim::SerialPart* part = sim::FindSerialPart("XICOR", row.name);
        ASSERT_NE(part, nullptr);
        sim::SerialPart changed = *part;
        if (wrongAnswer != nullptr) std::get<sim::SecureFacts>(changed.facts).answer = {0x19, 0x00, 0xAA, 0x54};
        chip = static_cast<sim::SecureMemoryChip*>(sim::SeatSerialPart(*socket, *elec, changed));
        DeviceStart = BufferStart = row.start;
        DeviceEnd = row.end;
    }
    void FillData(uint32_t seed) {
        FillPattern(BufferByteSize, seed);
        for (uint32_t a = DeviceStart; a <= DeviceEnd; ++a)
            if (BufferByte(a) == 0xFF) FillBufferRange(a, a, 0x5A);
    }
    void FillChip(uint32_t seed) {
        uint32_t x = seed;
        for (uint32_t a = 0; a < chip->Bytes(); ++a) {
            x = x * 1103515245u + 12345u;
            chip->SetByte(a, static_cast<uint8_t>(x >> 16));
        }
    }
    void ExpectChipHoldsBuffer() {
        for (uint32_t a = DeviceStart; a <= DeviceEnd; ++a) ASSERT_EQ(chip->Byte(a), BufferByte(a)) << std::hex << a;
    }
};

// Blank check of a fresh chip, program from the buffer with the verify at both
// levels, read back equal, with the driver's lines.
TEST_P(Secure, BlankProgramVerifyRead) {
    SeatPart();
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    FillData(3);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ExpectLinesInOrder({"Program ok!", " VCCL(4.5V) Verification ok!", " VCCL(5.5V) Verification ok!"});
    ExpectChipHoldsBuffer();
    char sum[32];
    std::snprintf(sum, sizeof sum, "-CheckSum : %04Xh", ComputeBufferChecksum(BufferStart, BufferEnd) & 0xFFFF);
    FillBufferRange(0, BufferByteSize - 1, 0);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_TRUE(HasLine("Read ok!")) << LogText();
    EXPECT_TRUE(HasLine(sum)) << LogText();
    ExpectChipHoldsBuffer();
    EXPECT_EQ(chip->Retries(), 0);
    ExpectNoViolations();
}

// What the rows must report: each case ends with -1 (or 3) and its lines.
TEST_P(Secure, ReportedFaults) {
    const sim::SecurePassword wrong = {1, 2, 3, 4, 5, 6, 7, 8};
    struct Case {
        const char* what;
        int op;
        int result;
        std::vector<std::string> lines;
        std::function<void()> inject;
        std::function<void()> check;
    };
    const std::vector<Case> cases = {
        {"wrong answer to reset", OpRead, -1, {"Read error!", "-No response from device!"},
         [] {},
         [this] {
             EXPECT_TRUE(chip->Commands().empty()); // no bus traffic after the answer
             EXPECT_EQ(chip->PasswordChecks(), 0u);
         }},
        {"another part's answer, the run ends at its line", OpVerify, -1,
         {"Verification error!", "-No response from device!"},
         [this] {
             chip->AnswerAnotherIdentity();
             EXPECT_TRUE(RowDefinition(GetParam().row)->ChecksIdentity());
         },
         [this] {
             EXPECT_EQ(IdentityRefusalLine(), "-No response from device!");
             EXPECT_EQ(DatumLines(), "") << LogText();
             EXPECT_TRUE(chip->Commands().empty());
         }},
        {"no chip", OpRead, -1, {"Read error!", "-No response from device!"},
         [this] {
             socket->Clear();
             chip = nullptr;
         },
         [] {}},
        {"wrong read password", OpRead, -1, {"Read error!", "-Wrong Password!"},
         [this, &wrong] { chip->SetPassword(GetParam().readPassword, wrong); },
         [this] { EXPECT_EQ(chip->Retries(), 1); }},
        {"no acknowledge after a page", OpProgram, -1, {"Program error!"},
         [this] { chip->StallWrites(); },
         [this] {
             EXPECT_EQ(chip->Byte(DeviceStart), BufferByte(DeviceStart)); // stopped after the first page
             EXPECT_EQ(chip->Byte(DeviceStart + chip->Facts().sectorBytes), 0xFF);
             bool failLine = false;
             for (const auto& l : Log()) failLine |= l.rfind("  Chip addr: ", 0) == 0;
             EXPECT_TRUE(failLine) << LogText();
         }},
        {"user break", OpRead, 3, {"USER BREAK!"},
         [this] {
             ui.BreakAtPercent = 1;
             ui.QueueAnswer(UiAnswer::No);
         },
         [] {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        socket->Clear();
        SeatPart(std::string(c.what) == "wrong answer to reset" ? &wrong : nullptr);
        FillData(5);
        c.inject();
        EXPECT_EQ(Run(c.op), c.result) << LogText();
        ExpectLinesInOrder(c.lines);
        c.check();
    }
}

// Eight wrong passwords over repeated runs clear the array; a right one in
// between restarts the count.
TEST_P(Secure, EightWrongPasswordsClearTheArray) {
    SeatPart();
    FillChip(9);
    const uint8_t kept = chip->Byte(DeviceStart);
    const sim::SecurePassword right = chip->Password(GetParam().readPassword);
    chip->SetPassword(GetParam().readPassword, {1, 2, 3, 4, 5, 6, 7, 8});
    for (int i = 0; i < 7; ++i) EXPECT_EQ(Run(OpRead), -1);
    EXPECT_EQ(chip->Retries(), 7);
    chip->SetPassword(GetParam().readPassword, right);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(chip->Retries(), 0);
    chip->SetPassword(GetParam().readPassword, {1, 2, 3, 4, 5, 6, 7, 8});
    for (int i = 0; i < 7; ++i) EXPECT_EQ(Run(OpRead), -1);
    EXPECT_EQ(chip->Byte(DeviceStart), kept);
    EXPECT_EQ(Run(OpRead), -1);
    for (uint32_t a = 0; a < chip->Bytes(); ++a) ASSERT_EQ(chip->Byte(a), 0xFF) << a;
    EXPECT_EQ(chip->Locked(), GetParam().row == 47);
}

// Slot byte 7 goes to the chip first, byte 0 last: the chip takes the slot's
// password only in that order.
TEST_P(Secure, PasswordTravelsLastByteFirst) {
    SeatPart();
    const int slot = GetParam().row == 45 ? kX76Slot45Read : kX76Slot47Read0;
    const uint8_t mine[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
    std::memcpy(X76PasswordSlots[slot], mine, 8);
    if (GetParam().row == 47) std::memcpy(X76PasswordSlots[kX76Slot47Read1], mine, 8);
    for (bool reversed : {true, false}) {
        SCOPED_TRACE(reversed);
        sim::SecurePassword p = SecureSerialBusOrder(mine);
        if (!reversed) p = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
        chip->SetPassword(GetParam().readPassword, p);
        if (GetParam().row == 47) chip->SetPassword(2, p);
        EXPECT_EQ(Run(OpRead), reversed ? 1 : -1) << LogText();
    }
}

// A range ending inside a page sends only the range's bytes of that page:
// the page's cells after the end keep what they held (the buffer's bytes
// past Buffer End are not the user's data for them).
TEST_P(Secure, PageWriteKeepsToTheRange) {
    SeatPart();
    const uint32_t page = GetParam().row == 45 ? 8 : 32;
    DeviceStart = BufferStart = 0;
    DeviceEnd = 2;
    FillData(11);
    BufferIndex = 0;
    ASSERT_EQ(AlgorithmRow(CurrentAlgorithm)->Program(), 1);
    for (uint32_t a = 0; a <= 2; ++a) EXPECT_EQ(chip->Byte(a), BufferByte(a)) << a;
    for (uint32_t a = 3; a <= page; ++a) EXPECT_EQ(chip->Byte(a), 0xFF) << a;
}

// The acknowledge polling after a page write waits up to 1000 polls: a part
// whose write cycle takes some 400 polls still programs (counted from the
// poll bytes it saw), one that never ends its cycle fails the page.
TEST_P(Secure, WritePollsWaitForASlowWriteCycle) {
    const SecureRow& row = GetParam();
    const uint8_t poll = row.row == 45 ? 0x81 : 0x80;
    auto programPage = [&](uint32_t writeUs, bool stall) {
        ResetX76PasswordState();
        socket->Clear();
        elec->WithdrawAllChips();
        EXPECT_TRUE(Select("XICOR", row.name));
        sim::SerialPart part = *sim::FindSerialPart("XICOR", row.name);
        std::get<sim::SecureFacts>(part.facts).writeUs = writeUs;
        chip = static_cast<sim::SecureMemoryChip*>(sim::SeatSerialPart(*socket, *elec, part));
        chip->StallWrites(stall);
        DeviceStart = BufferStart = 0;
        DeviceEnd = row.row == 45 ? 7 : 31;
        FillData(13);
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
        const int r = Run(OpProgram);
        const auto& c = chip->Commands();
        return std::make_pair(r, static_cast<uint32_t>(std::count(c.begin(), c.end(), poll)));
    };
    const auto [quick, quickPolls] = programPage(10000, false);
    ASSERT_EQ(quick, 1) << LogText();
    ASSERT_GT(quickPolls, 1u);
    const uint32_t slowUs = 10000u * 400 / quickPolls;
    const auto [slow, slowPolls] = programPage(slowUs, false);
    EXPECT_EQ(slow, 1) << LogText();
    EXPECT_GT(slowPolls, 300u);
    ExpectChipHoldsBuffer();
    const auto [stalled, stalledPolls] = programPage(10000, true);
    EXPECT_EQ(stalled, -1);
    EXPECT_GE(stalledPolls, 1000u);
}

// The verify after Program reads the part at 5.5 V too: a part that stops
// answering above 5.4 V programs and passes at 4.5 V, and fails there.
TEST_P(Secure, VerifyReadsAtFivePointFiveVolts) {
    const SecureRow& row = GetParam();
    ASSERT_TRUE(Select("XICOR", row.name));
    sim::SerialPart part = *sim::FindSerialPart("XICOR", row.name);
    std::get<sim::SecureFacts>(part.facts).supply.vccMaxTenths = 54;
    chip = static_cast<sim::SecureMemoryChip*>(sim::SeatSerialPart(*socket, *elec, part));
    DeviceStart = BufferStart = row.start;
    DeviceEnd = row.end;
    FillData(4);
    BlankCheckBeforeProgram = 0;
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    ExpectLinesInOrder({"Program ok!", " VCCL(4.5V) Verification ok!"});
    EXPECT_FALSE(HasLine(" VCCL(5.5V) Verification ok!")) << LogText();
    ExpectChipHoldsBuffer();
}

INSTANTIATE_TEST_SUITE_P(Rows, Secure, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

// Row 47 reads array 0 from DeviceStart to 1FFFh and array 1 from 2000h
// under their own commands and passwords; row 45 starts inside a sector.
class SecureRange : public MemoryRun {};
TEST_F(SecureRange, ArraysAndStartAddress) {
    struct Range {
        const char* name;
        uint32_t start, end;
        std::vector<uint8_t> commands;
    };
    for (const Range& r : {Range{"X76F640", 0x1FF0, 0x200F, {0x80, 0x88}}, Range{"X76F640", 0x2004, 0x2013, {0x88}},
                           Range{"X76F100", 13, 40, {0x83}}}) {
        SCOPED_TRACE(r.name);
        ResetX76PasswordState();
        socket->Clear();
        ASSERT_TRUE(Select("XICOR", r.name));
        auto* chip = static_cast<sim::SecureMemoryChip*>(
            sim::SeatSerialPart(*socket, *elec, *sim::FindSerialPart("XICOR", r.name)));
        for (uint32_t a = 0; a < chip->Bytes(); ++a) chip->SetByte(a, static_cast<uint8_t>(a * 7 + 3));
        DeviceStart = BufferStart = r.start;
        DeviceEnd = r.end;
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        for (uint32_t a = r.start; a <= r.end; ++a) ASSERT_EQ(BufferByte(a), chip->Byte(a)) << std::hex << a;
        std::vector<uint8_t> sent;
        for (uint8_t c : chip->Commands())
            if (c != 0x55 && c != 0xF0) sent.push_back(c);
        EXPECT_EQ(sent, r.commands);
    }
}

// Programming a range that starts inside a page: row 47 writes from the start
// on and nothing below it, and its verify reads only the range (a range ending
// before 1FFFh passes); row 45, whose write command names a sector, refuses a
// start off a sector before any command.
TEST_F(SecureRange, ProgramFromAStartInsideAPage) {
    struct Range {
        const char* name;
        uint32_t start, end;
        int result;
    };
    for (const Range& r : {Range{"X76F640", 0x123, 0x13F, 1}, Range{"X76F640", 0, 0x3F, 1},
                           Range{"X76F100", 13, 39, -1}, Range{"X76F100", 16, 39, 1}}) {
        SCOPED_TRACE(std::string(r.name) + " " + std::to_string(r.start));
        ResetX76PasswordState();
        socket->Clear();
        ASSERT_TRUE(Select("XICOR", r.name));
        auto* chip = static_cast<sim::SecureMemoryChip*>(
            sim::SeatSerialPart(*socket, *elec, *sim::FindSerialPart("XICOR", r.name)));
        DeviceStart = BufferStart = r.start;
        DeviceEnd = r.end;
        FillPattern(r.end + 1, 21);
        for (uint32_t a = 0; a < r.start; ++a) BufferWindow[a] = 0x00; // below the range
        BlankCheckBeforeProgram = 0;
        EXPECT_EQ(Run(OpProgram), r.result) << LogText();
        if (r.result == 1) {
            ExpectLinesInOrder({"Program ok!", "Verification ok!"});
        } else {
            EXPECT_TRUE(HasLine("-Start address must be a multiple of 8!")) << LogText();
            EXPECT_EQ(DatumLines(), "") << LogText(); // nothing was read
            EXPECT_TRUE(chip->Commands().empty());
        }
        for (uint32_t a = 0; a < r.start; ++a) ASSERT_EQ(chip->Byte(a), 0xFF) << std::hex << a;
        if (r.result == 1) {
            for (uint32_t a = r.start; a <= r.end; ++a) ASSERT_EQ(chip->Byte(a), BufferByte(a)) << std::hex << a;
        }
    }
}

// A read of a range inside the first array fills only that range's buffer bytes.
TEST_F(SecureRange, ReadStaysInsideTheRange) {
    ResetX76PasswordState();
    ASSERT_TRUE(Select("XICOR", "X76F640"));
    auto* chip = static_cast<sim::SecureMemoryChip*>(
        sim::SeatSerialPart(*socket, *elec, *sim::FindSerialPart("XICOR", "X76F640")));
    for (uint32_t a = 0; a < chip->Bytes(); ++a) chip->SetByte(a, static_cast<uint8_t>(a * 5 + 1));
    for (uint32_t a = 0; a < 0x2000; ++a) BufferWindow[a] = 0xA5;
    DeviceStart = BufferStart = 0;
    DeviceEnd = 0x3F;
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    for (uint32_t a = 0; a < 0x2000; ++a) ASSERT_EQ(BufferByte(a), a <= 0x3F ? chip->Byte(a) : 0xA5) << std::hex << a;
}

// Row 47 programmed from an S3 file and an Intel hex file across both arrays
// (the range 1F80h-201Fh): the part holds each file.
TEST_F(SecureRange, Row47ProgramsFromLoadedFiles) {
    for (bool motorola : {true, false}) {
        SCOPED_TRACE(motorola ? "S3" : "Intel hex");
        ResetX76PasswordState();
        socket->Clear();
        ASSERT_TRUE(Select("XICOR", "X76F640"));
        auto* chip = static_cast<sim::SecureMemoryChip*>(
            sim::SeatSerialPart(*socket, *elec, *sim::FindSerialPart("XICOR", "X76F640")));
        DeviceStart = BufferStart = 0x1F80;
        DeviceEnd = 0x201F;
        std::vector<uint8_t> file(DeviceEnd - DeviceStart + 1);
        for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>(i * 37 + (motorola ? 5 : 9));
        LoadImageFile(file, motorola, DeviceStart);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        ExpectLinesInOrder({"Program ok!", "Verification ok!"});
        for (uint32_t a = DeviceStart; a <= DeviceEnd; ++a) ASSERT_EQ(chip->Byte(a), file[a - DeviceStart]) << std::hex << a;
    }
}

} // namespace
