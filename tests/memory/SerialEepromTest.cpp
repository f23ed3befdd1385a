// The serial EEPROM rows through the operation driver on parts from the
// simulator's serial parts table, seated by the library record's maker and
// name: blank check, program (verify at both levels), read back, compare;
// then what single rows do and the faults they must report.
#include <algorithm>
#include <cstdio>
#include <fstream>

#include "engine/Config.h"
#include "engine/Pins.h"
#include "engine/Power.h"
#include "engine/Tables.h"
#include "memory/SerialEeprom.h"
#include "memory/SerialFrame.h"
#include "sim/SerialEngine.h"
#include "sim/SerialParts.h"
#include "MemoryFixture.h"
#include "sim/PartFacts.h"

namespace {

class Serial : public MemoryRun {
protected:
    sim::SerialChipBase* chip = nullptr;

    void SetUp() override {
        MemoryRun::SetUp();
        sim::RegisterSerialPersonality();
    }
    // Seats the part in an emptied socket.
    void Seat(const std::string& maker, const std::string& name) {
        socket->Clear();
        ASSERT_TRUE(Select(maker, name)) << name;
        const sim::SerialPart* part = sim::FindSerialPart(maker, name);
        ASSERT_NE(part, nullptr) << name;
        chip = sim::SeatSerialPart(*socket, *elec, *part);
    }
    bool Wide() const { return DataWidth > 8; }
    uint32_t ChipDatum(uint32_t a) const {
        if (auto* nv = sim::SeatedModel<sim::NovramChip>(chip)) return nv->EepromWord(a);
        if (auto* iw = sim::SeatedModel<sim::InstructionWordChip>(chip)) return iw->Word(a);
        if (!Wide()) return chip->Byte(a);
        return static_cast<uint32_t>(chip->Byte(2 * a) << 8 | chip->Byte(2 * a + 1));
    }
    uint32_t BufferDatum(uint32_t a) const {
        if (!Wide()) return BufferByte(a);
        return BufferByte(2 * a) | (static_cast<uint32_t>(BufferByte(2 * a + 1)) << 8);
    }
    void ExpectChipHoldsBuffer(uint32_t from = 0) {
        for (uint32_t a = from; a < DeviceSize; ++a) ASSERT_EQ(ChipDatum(a), BufferDatum(a)) << std::hex << "at " << a;
    }
    // Chip contents from a pattern, written behind the operation's back.
    void FillChip(uint32_t seed) {
        uint32_t x = seed;
        for (uint32_t a = 0; a < chip->Bytes(); ++a) {
            x = x * 1103515245u + 12345u;
            chip->SetByte(a, static_cast<uint8_t>(x >> 16));
        }
    }
    // The part's logic image, for entries called without the operation driver.
    void LoadImage(uint8_t engine) {
        sim::LogicImageHeader h;
        h.personality = sim::kPersonalitySerial;
        h.params[0] = engine;
        simp.ConfigureDirect(h);
    }
    // The values written to register `reg` since the trace was cleared.
    std::vector<int> Writes(uint8_t reg) const {
        std::vector<int> v;
        for (const auto& a : simp.RegisterTrace())
            if (a.write && a.reg == reg) v.push_back(a.value);
        return v;
    }
    void StartTrace() {
        simp.EnableTrace(true);
        simp.ClearTrace();
    }
    void ExpectNoViolationsBut(const std::string& allowed) {
        for (const auto& v : simp.Violations()) EXPECT_NE(v.find(allowed), std::string::npos) << v;
    }
};

struct RowPart {
    const char* maker;
    const char* name;
    uint32_t row;
    uint32_t words = 0; // the first words of the part only (0: all of it)
};

class SerialEveryRow : public Serial, public ::testing::WithParamInterface<RowPart> {};

TEST_P(SerialEveryRow, BlankCheckProgramVerifyReadCompare) {
    const RowPart& p = GetParam();
    Seat(p.maker, p.name);
    ASSERT_EQ(CurrentAlgorithm, p.row);
    if (p.words != 0) {
        DeviceSize = p.words;
        SetupAddressRange();
    }
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    // The data come from a binary file (row 33's last byte holds option bits
    // under four bits that read 1).
    FillPattern(BufferByteSize, 3);
    if (p.row == 33) FillBufferRange(DeviceSize - 1, DeviceSize - 1, BufferByte(DeviceSize - 1) | 0xF0);
    std::string image(BufferByteSize, '\0');
    for (uint32_t a = 0; a < BufferByteSize; ++a) image[a] = static_cast<char>(BufferByte(a));
    std::ofstream("image.bin", std::ios::binary) << image;
    FillBufferRange(0, BufferByteSize - 1, 0xFF);
    ASSERT_EQ(LoadFileAt("image.bin", 0, 0), 1);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    // The driver's lines: the program, then the verify at both levels.
    ExpectLinesInOrder({"Program ok!", "Verification ok!"});
    const auto lines = Log();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.rfind(" VCCL(", 0) == 0 && l.ends_with("Verification ok!"); }),
              2)
        << LogText();
    ExpectChipHoldsBuffer();
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    FillBufferRange(0, BufferByteSize - 1, 0);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    ExpectChipHoldsBuffer();
    EXPECT_EQ(Run(OpBlankCheck), -1) << LogText();
    if (p.row == 15 || p.row == 17 || p.row == 95) {
        // Row 15's erase step is followed by the driver's own blank check.
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        EXPECT_TRUE(HasLine("Erase ok!")) << LogText();
        for (uint32_t a = 0; a < DeviceSize; ++a) ASSERT_EQ(ChipDatum(a), 0xFFu) << a;
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
    }
    // A compare against the buffer with one byte changed reports that one.
    FillBufferRange(7, 7, BufferByte(7) ^ 0x10);
    EXPECT_EQ(Run(OpCompare), 1) << LogText();
    const std::string compare = ReadText("COMPARE.TXT");
    EXPECT_EQ(std::count(compare.begin(), compare.end(), '\n'), 3) << compare;
    if (p.row == 81) {
        // The read acknowledges its last byte, so the chip may hold SDA low
        // for the next byte when the stop drives it high.
        ExpectNoViolationsBut("drives against the logic driver");
    } else {
        ExpectNoViolations();
    }
}

INSTANTIATE_TEST_SUITE_P(Parts, SerialEveryRow,
                         ::testing::Values(RowPart{"ST", "M93C46", 10}, RowPart{"ST", "M93C66", 10},
                                           RowPart{"MICROCHIP", "93C86C", 10, 96}, RowPart{"FAIRCHILD", "NM93C06", 10},
                                           RowPart{"NATIONAL-SEMICONDUCTOR", "NMC9306", 10},
                                           RowPart{"MICROCHIP", "93LC46A", 18}, RowPart{"MICROCHIP", "93LC66A", 18},
                                           RowPart{"XICOR", "X24C01", 11}, RowPart{"ATMEL", "AT24C04", 11},
                                           RowPart{"ATMEL", "AT24C16", 11}, RowPart{"MICROCHIP", "24LC32A", 11, 700},
                                           RowPart{"MICROCHIP", "24LC256", 11, 300}, RowPart{"SIEMENS", "SLE24C02", 81},
                                           RowPart{"XICOR", "X24C44", 12}, RowPart{"XICOR", "X24F032", 14}, RowPart{"XICOR", "X24F128", 14, 300},
                                           RowPart{"XICOR", "X24325", 16, 300}, RowPart{"XICOR", "X24645", 16, 300},
                                           RowPart{"CATALYST", "CAT59C11", 17}, RowPart{"NATIONAL-SEMICONDUCTOR", "NMC93CS46", 70},
                                           RowPart{"XICOR", "X24C00", 71}, RowPart{"PHILIPS", "PCF8581", 15},
                                           RowPart{"MICROCHIP", "25AA020A", 48}, RowPart{"MICROCHIP", "24LC65", 85, 300},
                                           RowPart{"SST", "SST25VF512", 95, 300},
                                           RowPart{"ATMEL", "AT25010", 13}, RowPart{"ATMEL", "AT25040", 13},
                                           RowPart{"ATMEL", "AT25080", 13}, RowPart{"ATMEL", "AT25128", 13, 300},
                                           RowPart{"XICOR", "X5045", 57}, RowPart{"XICOR", "X5163", 57},
                                           RowPart{"XICOR", "X5645", 57, 300}, RowPart{"MICROCHIP", "24AA65", 44, 300},
                                           RowPart{"ATMEL", "AT45DB041", 43, 800}, RowPart{"ATMEL", "AT45DB161", 43, 1200},
                                           RowPart{"XILINX", "XC1765E", 30, 600}, RowPart{"XILINX", "XC17128E", 30, 600},
                                           RowPart{"XILINX", "XC17256E", 30, 600}, RowPart{"XILINX", "XC17S05", 34, 600},
                                           RowPart{"XILINX", "XC17S05XL", 34, 600}, RowPart{"XILINX", "XC17S10", 34, 600},
                                           RowPart{"ATMEL", "AT17C65", 31, 600}, RowPart{"ATMEL", "AT17C512", 31, 600},
                                           RowPart{"ATMEL", "AT17C010", 31, 600}, RowPart{"ALTERA", "EPC1441", 33, 600},
                                           RowPart{"ALTERA", "EPC1", 33, 600}),
                         [](const auto& info) { return std::string(info.param.name); });

// Every record of the serial rows names a part the simulator knows.
TEST_F(Serial, EveryLibraryRecordHasItsPart) {
    for (const auto& part : sim::SerialParts()) {
        EXPECT_TRUE(Select(part.maker, part.name)) << part.name;
    }
}

// A range that does not start at 0: reads store the chip's own bytes of the
// range, page writes split at page boundaries and stop at DeviceEnd.
TEST_F(Serial, RangeNotAtZeroReadsAndWritesItsOwnBytes) {
    for (const RowPart& p : {RowPart{"XICOR", "X24C01", 11}, RowPart{"ATMEL", "AT24C04", 11},
                             RowPart{"MICROCHIP", "24LC32A", 11}, RowPart{"SIEMENS", "SLE24C02", 81},
                             RowPart{"MICROCHIP", "25AA020A", 48}, RowPart{"MICROCHIP", "24LC65", 85},
                             RowPart{"ATMEL", "AT25040", 13}, RowPart{"ATMEL", "AT25080", 13},
                             RowPart{"XICOR", "X5045", 57}, RowPart{"XICOR", "X5163", 57},
                             RowPart{"MICROCHIP", "24AA65", 44}, RowPart{"ATMEL", "AT45DB041", 43}}) {
        Seat(p.maker, p.name);
        FillChip(9);
        DeviceStart = BufferStart = 0x13;
        DeviceEnd = 0x13 + 3 * PageSize;
        FillBufferRange(0, BufferByteSize - 1, 0);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        for (uint32_t a = DeviceStart; a <= DeviceEnd; ++a) ASSERT_EQ(BufferByte(a), chip->Byte(a)) << p.name << " " << a;
        for (uint32_t a = DeviceStart; a <= DeviceEnd; ++a) chip->SetByte(a, 0xFF);
        const uint8_t below = chip->Byte(0x12), above = chip->Byte(DeviceEnd + 1);
        FillPattern(BufferByteSize, 5);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        for (uint32_t a = DeviceStart; a <= DeviceEnd; ++a) ASSERT_EQ(chip->Byte(a), BufferByte(a)) << p.name << " " << a;
        EXPECT_EQ(chip->Byte(0x12), below) << p.name;
        EXPECT_EQ(chip->Byte(DeviceEnd + 1), above) << p.name;
    }
}

// Rows 10, 17, 18, 70, 13 and 57 poll the chip's ready status: a chip that
// never gets ready ends the program with an error, without hanging, and the
// fail line names the cell (or page) written with no datum in place of one
// the chip never gave. Row 17's erase waits for ready as well.
TEST_F(Serial, NeverReadyEndsTheProgramRun) {
    for (const RowPart& p : {RowPart{"ST", "M93C46", 10}, RowPart{"MICROCHIP", "93LC46A", 18},
                             RowPart{"CATALYST", "CAT59C11", 17}, RowPart{"NATIONAL-SEMICONDUCTOR", "NMC93CS46", 70},
                             RowPart{"ATMEL", "AT25080", 13}, RowPart{"XICOR", "X5045", 57}}) {
        Seat(p.maker, p.name);
        chip->NeverReady();
        FillPattern(BufferByteSize, 2);
        EXPECT_EQ(Run(OpProgram), -1) << p.name << LogText();
        EXPECT_EQ(chip->WriteCycles(), 1u) << p.name;
        const bool page = p.row == 13 || p.row == 57;
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "Buffer addr: 000000h  data: %04Xh",
                      Wide() ? BufferByte(0) | BufferByte(1) << 8 : BufferByte(0));
        ExpectLinesInOrder({page ? "  Chip addr: 000000h  page not ready" : "  Chip addr: 000000h  not ready", buffer});
    }
    Seat("CATALYST", "CAT59C11");
    chip->NeverReady();
    EXPECT_EQ(Run(OpErase), -1) << LogText();
    EXPECT_TRUE(HasLine("Erase error!")) << LogText();
    EXPECT_FALSE(HasLine("Erase ok!")) << LogText();
}

// A cell bit that never takes its value shows in the verify with its address.
TEST_F(Serial, StuckBitFailsTheVerifyAtItsAddress) {
    for (const RowPart& p : {RowPart{"ST", "M93C46", 10}, RowPart{"ATMEL", "AT24C04", 11},
                             RowPart{"MICROCHIP", "93LC46A", 18}, RowPart{"CATALYST", "CAT59C11", 17},
                             RowPart{"NATIONAL-SEMICONDUCTOR", "NMC93CS46", 70}, RowPart{"PHILIPS", "PCF8581", 15},
                             RowPart{"MICROCHIP", "25AA020A", 48}, RowPart{"ATMEL", "AT25040", 13},
                             RowPart{"XICOR", "X5045", 57}}) {
        Seat(p.maker, p.name);
        chip->StickBit(0x22, 3, 1);
        FillBufferRange(0, BufferByteSize - 1, 0);
        EXPECT_EQ(Run(OpProgram), -1) << p.name << LogText();
        const std::string at = Wide() ? "000011h" : "000022h";
        bool named = false;
        for (const auto& line : Log()) named |= line.find(at) != std::string::npos;
        EXPECT_TRUE(named) << p.name << LogText();
    }
}

// The variant-8 part has no ready status: each erase and write waits
// PulseWidth, and sub-variant 1 erases the range word by word first.
TEST_F(Serial, Variant8WaitsPulseWidthAndErasesFirst) {
    Seat("NATIONAL-SEMICONDUCTOR", "NMC9306");
    FillChip(4); // a WRITE of this part only clears bits
    FillPattern(BufferByteSize, 6);
    const uint64_t t0 = simp.NowUs();
    BufferIndex = 0;
    LoadImage(1);
    EXPECT_EQ(AlgorithmRow(10)->Program(), 1);
    EXPECT_GE(simp.NowUs() - t0, 2u * 16 * PulseWidth);
    EXPECT_EQ(chip->WriteCycles(), 32u);
    ExpectChipHoldsBuffer();
}

// The erase pass of sub-variant 1 times out before any word is written.
TEST_F(Serial, EraseTimeOutComesBeforeAnyWrite) {
    Seat("FAIRCHILD", "NM93C06");
    DeviceSubVariant = 1;
    chip->NeverReady();
    FillChip(4);
    const uint8_t kept = chip->Byte(2);
    FillPattern(BufferByteSize, 6);
    BufferIndex = 0;
    LoadImage(1);
    EXPECT_EQ(AlgorithmRow(10)->Program(), -1);
    EXPECT_EQ(chip->WriteCycles(), 1u);
    EXPECT_EQ(chip->Byte(0), 0xFF); // the one erase
    EXPECT_EQ(chip->Byte(2), kept);
}

// Variant 4 sends the codes as four bits and the write-enable address as 0;
// variant 0 as two bits and all ones.
TEST_F(Serial, MicrowireInstructionCodesByVariant) {
    struct Case {
        uint8_t variant;
        std::vector<int> reg7; // register 7 values of the write-enable instruction
        int opcodeCycles;
    };
    for (const Case& c : {Case{0, {0x20, 0x30, 0xFC}, 2}, Case{4, {0x20, 0x30, 0x00}, 4}}) {
        Seat("ST", "M93C46");
        DeviceVariant = c.variant;
        LoadImage(1);
        simp.EnableTrace(true);
        simp.ClearTrace();
        AlgorithmRow(10)->Program();
        std::vector<int> reg7;
        int cycles = -1;
        for (const auto& a : simp.RegisterTrace()) {
            if (a.write && a.reg == 7 && (a.value == 0x20 || !reg7.empty()) && reg7.size() < 3) reg7.push_back(a.value);
            if (a.write && a.reg == 8 && a.value != 3 && a.value != 0 && cycles < 0) cycles = a.value;
        }
        EXPECT_EQ(reg7, c.reg7) << int(c.variant);
        EXPECT_EQ(cycles, c.opcodeCycles) << int(c.variant);
        socket->Clear();
    }
}

// Row 81 waits the page size times PulseWidth after each page.
TEST_F(Serial, Row81WaitsPerPage) {
    Seat("SIEMENS", "SLE24C02");
    FillPattern(BufferByteSize, 1);
    const uint64_t t0 = simp.NowUs();
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_GE(simp.NowUs() - t0, 32u * 8 * 1000);
    EXPECT_EQ(chip->WriteCycles(), 32u);
}

// Row 18's power-down leaves the ground switched; the driver's reset opens it.
TEST_F(Serial, Row18KeepsGroundAtPowerDown) {
    Seat("MICROCHIP", "93LC46A");
    ASSERT_EQ(AlgorithmRow(18)->Read(2), 1);
    const auto grounded = elec->GroundedPins();
    EXPECT_NE(std::find(grounded.begin(), grounded.end(), 25), grounded.end());
    EXPECT_TRUE(elec->SuppliedPins().empty());
}

// A read for verify runs at the read supply, never at Vccp: at 2.0 V the
// part would be outside its supply window and read nothing.
TEST_F(Serial, VerifyReadsAtTheReadSupply) {
    for (const RowPart& p : {RowPart{"ST", "M93C46", 10}, RowPart{"ATMEL", "AT24C04", 11},
                             RowPart{"MICROCHIP", "93LC46A", 18}, RowPart{"SIEMENS", "SLE24C02", 81}}) {
        Seat(p.maker, p.name);
        FillChip(3);
        for (uint32_t a = 0; a < chip->Bytes(); ++a) FillBufferRange(a, a, chip->Byte(Wide() ? a ^ 1 : a));
        Vccp = 200;
        EXPECT_EQ(Run(OpVerify), 1) << p.name << LogText();
    }
}

// The programmer stops answering in the middle of a shift: the entry ends
// with the communication error instead of waiting for ever.
TEST_F(Serial, ProgrammerStoppingMidShiftEndsTheRun) {
    for (const RowPart& p : {RowPart{"ST", "M93C46", 10}, RowPart{"ATMEL", "AT24C04", 11}}) {
        SCOPED_TRACE(p.name);
        Seat(p.maker, p.name);
        ui.BreakAtPercent = 40;
        ui.OnBreak = [this] {
            UserBreak = 0;
            simp.StopAnswering(true, 0x78);
        };
        FillPattern(BufferByteSize, 2);
        EXPECT_NE(Run(OpProgram), 1);
        EXPECT_TRUE(SerialEngineLost());
        simp.StopAnswering(false);
        ui.OnBreak = nullptr;
    }
}

// The register writes the engine sent, decoded from the port's output bytes
// (select 40h | register, high nibble 20h | n, low nibble), those the
// programmer ignored after it stopped answering included.
std::vector<std::pair<int, int>> SentWrites(const std::vector<sim::PortAccess>& trace) {
    std::vector<std::pair<int, int>> writes;
    int reg = -1, high = -1;
    for (const sim::PortAccess& a : trace) {
        if (!a.out || a.port != 0x378) continue;
        if (a.value & 0x40) {
            reg = a.value & 0x1F;
            high = -1;
        } else if ((a.value & 0xF0) == 0x20) {
            high = a.value & 0x0F;
        } else if ((a.value & 0xF0) == 0 && reg >= 0 && high >= 0) {
            writes.emplace_back(reg, high << 4 | a.value);
            high = -1;
        } else {
            high = -1; // a read's strobes
        }
    }
    return writes;
}

// Row 10's Program when the programmer stops answering during a ready poll:
// the entry ends with -1 after sending the same power-down as a finished
// Program (the writes are all that is left to see of it), and the run logs
// the communication error.
TEST_F(Serial, Row10ProgramPowersDownWhenTheProgrammerStopsAnswering) {
    Seat("ST", "M93C46");
    FillPattern(BufferByteSize, 2);
    auto program = [&] {
        EXPECT_EQ(CheckCommunication(MainEngine), 1);
        PrepareOperation(MainEngine);
        simp.EnableTrace(true);
        simp.ClearTrace();
        const int r = AlgorithmRow(10)->Program();
        std::vector<std::pair<int, int>> writes = SentWrites(simp.PortTrace());
        simp.EnableTrace(false);
        // What follows the last clock burst.
        auto last = std::find_if(writes.rbegin(), writes.rend(), [](const auto& w) { return w.first == 8; });
        return std::make_pair(r, std::vector<std::pair<int, int>>(last.base(), writes.end()));
    };
    const auto [done, powerDown] = program();
    ASSERT_EQ(done, 1);
    ASSERT_FALSE(powerDown.empty());

    ui.BreakAtPercent = 40;
    ui.OnBreak = [this] {
        UserBreak = 0;
        simp.StopAnswering(true, 0x78);
    };
    const auto [lost, tail] = program();
    EXPECT_EQ(lost, -1);
    EXPECT_EQ(tail, powerDown);
    simp.StopAnswering(false);
    ui.OnBreak = nullptr;
    ui.BreakAtPercent = 40;
    ui.OnBreak = [this] {
        UserBreak = 0;
        simp.StopAnswering(true, 0x78);
    };
    BlankCheckBeforeProgram = 0;
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine("Can not be executed with Communication Error!")) << LogText();
    simp.StopAnswering(false);
    ui.OnBreak = nullptr;
}

TEST_F(Serial, UserBreakEndsTheRun) {
    for (const RowPart& p : {RowPart{"ST", "M93C66", 10}, RowPart{"ATMEL", "AT24C16", 11},
                             RowPart{"MICROCHIP", "93LC66A", 18}, RowPart{"SIEMENS", "SLE24C02", 81},
                             RowPart{"CATALYST", "CAT59C11", 17}, RowPart{"PHILIPS", "PCF8581", 15},
                             RowPart{"MICROCHIP", "25AA020A", 48}, RowPart{"MICROCHIP", "24LC65", 85},
                             RowPart{"ATMEL", "AT25080", 13}, RowPart{"XICOR", "X5163", 57},
                             RowPart{"MICROCHIP", "24AA65", 44}}) {
        Seat(p.maker, p.name);
        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        FillPattern(BufferByteSize, 2);
        EXPECT_EQ(Run(OpProgram), 3) << p.name;
        EXPECT_TRUE(HasLine("USER BREAK!")) << p.name << LogText();
        UserBreak = 0;
    }
}

// Row 12 recalls at every power-up and stores once, after a complete run; a
// word that does not read back from the RAM ends the run without the store.
TEST_F(Serial, NovramRecallsAndStoresOnlyAfterACompleteRun) {
    Seat("XICOR", "X24C44");
    auto* nv = static_cast<sim::NovramChip*>(chip);
    FillPattern(BufferByteSize, 8);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(nv->Stores(), 1u);
    EXPECT_GE(nv->Recalls(), 2u); // the program's and the verify's power-ups
    ExpectChipHoldsBuffer();
    const uint16_t kept = nv->EepromWord(5);
    FillBufferRange(0, 2 * DeviceSize - 1, 0x5A);
    nv->StickRamBit(5, 2, 1); // 5A5Ah reads 5A5Eh
    BufferIndex = 0;
    EXPECT_EQ(AlgorithmRow(12)->Program(), -1);
    EXPECT_EQ(nv->RamWord(4), 0x5A5A); // written up to the failing word
    EXPECT_EQ(nv->Stores(), 1u);
    EXPECT_EQ(nv->EepromWord(5), kept);
}

// The erase steps of rows 15 and 17 are blank-checked by the driver (the
// parts report no erase error; row 17's ready pin only ends the cycle), so a
// bit that stays programmed fails the erase, naming its cell and the datum
// it reads.
TEST_F(Serial, EraseBlankCheckedOnRows15And17) {
    for (const RowPart& p : {RowPart{"PHILIPS", "PCF8581", 15}, RowPart{"CATALYST", "CAT59C11", 17}}) {
        Seat(p.maker, p.name);
        const uint32_t a = DeviceEnd / 2 + 1;
        chip->StickBit(a, 0, 0);
        EXPECT_EQ(Run(OpErase), -1) << p.name << LogText();
        EXPECT_TRUE(HasLine("Erase error!")) << p.name << LogText();
        char line[48];
        std::snprintf(line, sizeof line, " Chip addr: %06Xh  data: 00FEh", a);
        EXPECT_TRUE(HasLine(line)) << p.name << LogText();
    }
}

// Row 48's program begins with a read instruction and two dropped bytes
// before the write enable, writes its pages with A2h and ends with A4h.
TEST_F(Serial, Row48InstructionOrder) {
    Seat("MICROCHIP", "25AA020A");
    auto* spi = static_cast<sim::ByteAddressSpiChip*>(chip);
    DeviceEnd = 0x1F;
    FillPattern(BufferByteSize, 5);
    BufferIndex = 0;
    EXPECT_EQ(AlgorithmRow(48)->Program(), 1);
    EXPECT_EQ(spi->Instructions(), (std::vector<uint8_t>{0xA7, 0xA6, 0xA2, 0xA2, 0xA4}));
    for (uint32_t a = 0; a <= 0x1F; ++a) ASSERT_EQ(chip->Byte(a), BufferByte(a)) << a;
    EXPECT_EQ(chip->WriteCycles(), 2u);
    ExpectNoViolations();
}

// Rows 44 and 85 read each page back and write it up to three times (row 85
// in pages of 8 whatever the record or the user says, row 44 in the
// record's); a chip that never reports ready ends
// the run without a read-back; with AddressStep 2 the page's bytes are every
// second buffer byte.
TEST_F(Serial, TwoClockPagesReadBackAndRetried) {
    struct Case {
        const char* what;
        uint32_t row, page, addressStep;
        bool stuck, neverReady;
        int result;
        uint32_t writeCycles, frames;
    };
    for (const Case& c : {Case{"page forced to 8", 85, 32, 1, false, false, 1, 2, 4},
                          Case{"never verifies", 85, 8, 1, true, false, -1, 3, 6},
                          Case{"never ready", 85, 8, 1, false, true, -1, 1, 1},
                          Case{"split buffer", 85, 8, 2, false, false, 1, 2, 4},
                          Case{"engine: pages of the record", 44, 8, 1, false, false, 1, 2, 4},
                          Case{"engine: never verifies", 44, 8, 1, true, false, -1, 3, 6},
                          Case{"engine: never ready", 44, 8, 1, false, true, -1, 1, 1},
                          Case{"engine: split buffer", 44, 8, 2, false, false, 1, 2, 4}}) {
        SCOPED_TRACE(c.what);
        Seat("MICROCHIP", c.row == 85 ? "24LC65" : "24AA65");
        auto* tc = static_cast<sim::TwoClockChip*>(chip);
        if (c.stuck) chip->StickBit(3, 0, 1);
        if (c.neverReady) chip->NeverReady();
        PageSize = c.page;
        AddressStep = c.addressStep;
        DeviceEnd = 15;
        FillBufferRange(0, BufferByteSize - 1, 0x40);
        FillPattern(32, 7);
        FillBufferRange(3, 3, BufferByte(3) & 0xFE); // the stuck bit differs
        BufferIndex = 0;
        if (c.row == 44) LoadImage(3);
        StartTrace();
        EXPECT_EQ(AlgorithmRow(c.row)->Program(), c.result);
        EXPECT_EQ(chip->WriteCycles(), c.writeCycles);
        EXPECT_EQ(tc->Frames(), c.frames);
        EXPECT_EQ(PageSize, 8u);
        if (c.result == 1) {
            EXPECT_EQ(BufferIndex, 16 * c.addressStep);
            for (uint32_t a = 0; a <= 15; ++a) ASSERT_EQ(chip->Byte(a), BufferByte(a * c.addressStep)) << a;
        }
        // Register 3 marks the engine's program run, and is 0 again on every way out.
        if (c.row == 44) {
            EXPECT_EQ(Writes(3), (std::vector<int>{0, 1, 0}));
        }
        ExpectNoViolations();
        AddressStep = 1;
    }
}

// Row 43 sends the page above the byte field (9 bits for pages of 264, 10
// for 528), steps its progress once a page, and a chip that never gets
// ready ends the program after the first page.
TEST_F(Serial, Row43PageAddressesAndReadyPolls) {
    struct Case {
        const char* name;
        uint32_t start;
        std::vector<uint8_t> frame;
    };
    for (const Case& c : {Case{"AT45DB041", 528, {0x52, 0x00, 0x04, 0x00}}, Case{"AT45DB161", 1056, {0x52, 0x00, 0x08, 0x00}},
                          Case{"AT45DB041", 530, {0x52, 0x00, 0x04, 0x02}}}) {
        SCOPED_TRACE(c.name);
        Seat("ATMEL", c.name);
        auto* flash = static_cast<sim::DataFlashChip*>(chip);
        DeviceStart = BufferIndex = c.start;
        DeviceEnd = c.start + 3;
        ReadVccInUse = Vccp / 10; // the driver's choice for a read
        LoadImage(4);
        EXPECT_EQ(AlgorithmRow(43)->Read(2), 1);
        ASSERT_FALSE(flash->Frames().empty());
        EXPECT_EQ(flash->Frames().front(), c.frame);
        EXPECT_EQ(ProgressStep, PageSize);
        ExpectNoViolations();
    }
    Seat("ATMEL", "AT45DB041");
    chip->NeverReady();
    DeviceEnd = 3 * 264 - 1;
    FillPattern(BufferByteSize, 2);
    BufferIndex = 0;
    LoadImage(4);
    EXPECT_EQ(AlgorithmRow(43)->Program(), -1);
    EXPECT_EQ(chip->WriteCycles(), 1u);
}

// Row 95's Read ID: the maker code at address 0 and the device code at 1 in
// two selections; program enable rises only inside Program and Erase, and
// each byte's wait runs with the chip still selected.
TEST_F(Serial, Row95IdentifiersAndProgramEnable) {
    Seat("SST", "SST25VF512");
    auto* flash = static_cast<sim::ByteFlashChip*>(chip);
    runStart_ = ui.Log.size();
    ASSERT_EQ(CheckCommunication(MainEngine), 1);
    PrepareOperation(MainEngine);
    EXPECT_EQ(AlgorithmRow(95)->Identify(), 1);
    ShowChipAndDataIds(ChipMakerId, ChipDeviceId);
    ExpectLinesInOrder({"Chip Mfg Id:00BFh, Dev Id:0048h", "Data Mfg Id:00BFh, Dev Id:0048h"});
    EXPECT_EQ(flash->Selections(), 2u);
    struct Step {
        const char* what;
        int (*entry)();
        uint32_t selections, enabled;
    };
    DeviceEnd = 3;
    FillPattern(BufferByteSize, 4);
    for (const Step& s : {Step{"read", [] { return AlgorithmRow(95)->Read(2); }, 1, 0},
                          Step{"program", [] { return AlgorithmRow(95)->Program(); }, 4, 4},
                          Step{"erase", [] { return AlgorithmRow(95)->Erase(); }, 1, 1}}) {
        const uint32_t selections = flash->Selections(), enabled = flash->EnabledSelections();
        BufferIndex = 0;
        EXPECT_EQ(s.entry(), 1) << s.what;
        EXPECT_EQ(flash->Selections() - selections, s.selections) << s.what;
        EXPECT_EQ(flash->EnabledSelections() - enabled, s.enabled) << s.what;
    }
    EXPECT_GE(flash->ShortestHoldUs(), PulseWidth);
    ExpectNoViolations();
}

// Rows 13 and 95 learn nothing of the erase from the part (row 13 polls the
// busy bit only, row 95 waits): the blank check after it fails the erase
// over a bit stuck at 0, naming the first byte left.
TEST_F(Serial, EraseOverAStuckBitNamesTheByte) {
    for (const auto& [maker, name] : {std::pair{"MICROCHIP", "25LC1024"}, std::pair{"SST", "SST25VF512"}}) {
        SCOPED_TRACE(name);
        Seat(maker, name);
        FillChip(7);
        chip->StickBit(0xFFFF, 0, 0);
        EXPECT_EQ(Run(OpErase), -1) << LogText();
        ExpectLinesInOrder({"Erase error!", " Chip addr: 00FFFFh  data: 00FEh"});
        EXPECT_EQ(chip->Byte(0x1234), 0xFF);
        ExpectNoViolations();
    }
}

// Row 95 programs consecutive buffer bytes whatever the split mode: a split
// mode is refused before the part is selected, which stays blank, and the
// buffer stays as it was.
TEST_F(Serial, Row95RefusesSplitModes) {
    Seat("SST", "SST25VF512");
    auto* flash = static_cast<sim::ByteFlashChip*>(chip);
    FillPattern(BufferByteSize, 9);
    const std::vector<uint8_t> before(BufferImage(), BufferImage() + BufferByteSize);
    WordMode = 2;
    for (const int op : {OpProgram, OpRead}) {
        EXPECT_EQ(Run(op), ResultFailed) << op;
        EXPECT_TRUE(HasLine("Cannot support Split mode!")) << LogText();
    }
    WordMode = 0;
    EXPECT_EQ(flash->Selections(), 0u);
    for (uint32_t a = 0; a < chip->Bytes(); ++a) ASSERT_EQ(chip->Byte(a), 0xFF) << a;
    EXPECT_TRUE(std::equal(before.begin(), before.end(), BufferImage()));
}

// Row 17's erase sends the frames 00 09, then 00 0C, then waits for READY;
// its program ends with the write-disable frame 00 0B.
TEST_F(Serial, Row17EraseAndProgramFrames) {
    Seat("CATALYST", "CAT59C11");
    auto* af = static_cast<sim::AddressFirstChip*>(chip);
    FillChip(3);
    EXPECT_EQ(AlgorithmRow(17)->Erase(), 1);
    using Frames = std::vector<std::pair<uint8_t, uint8_t>>;
    EXPECT_EQ(af->Frames(), (Frames{{0, 0x09}, {0, 0x0C}}));
    for (uint32_t a = 0; a < 128; ++a) ASSERT_EQ(af->Byte(a), 0xFF) << a;
    DeviceEnd = 1;
    FillPattern(BufferByteSize, 12);
    BufferIndex = 0;
    EXPECT_EQ(AlgorithmRow(17)->Program(), 1);
    EXPECT_EQ(af->Frames(), (Frames{{0, 0x09}, {0, 0x0C}, {0, 0x09}, {0, 0x06}, {1, 0x06}, {0, 0x0B}}));
    ExpectNoViolations();
}

// Row 70 on another package type moves its pins to ZIF 23-28: program
// enable on 28.
TEST_F(Serial, Row70PinsByPackageType) {
    Seat("NATIONAL-SEMICONDUCTOR", "NMC93CS46");
    LoadImage(1);
    StartTrace();
    while (PackageRow(PackageIndex).Type == 0) ++PackageIndex;
    AlgorithmRow(70)->Read(2);
    bool pin28 = false;
    for (const auto& a : simp.RegisterTrace()) pin28 |= a.write && a.reg == 7 && (a.value & 0x08) != 0; // ZIF 28: block 3, bit 3
    EXPECT_TRUE(pin28);
}

// Row 71's record part takes writes without the 12 V entry; the entries on a
// command-byte model that needs it, with the X24C00's record. Variant 1 raises the clock pin to 12 V at the start of every written byte,
// never while reading; variants past 1 are refused.
TEST_F(Serial, Row71EntriesOnTheCommandByteModel) {
    ASSERT_TRUE(Select("XICOR", "X24C00"));
    sim::CommandByteFacts facts;
    facts.name = "command-byte EEPROM";
    sim::ChipPinLimits limits = sim::DipPinLimits(facts.name, 8);
    elec->DeclareChip(limits.Allow(26, 130));
    auto* cb = socket->Insert(std::make_unique<sim::CommandByteChip>(facts));
    DeviceVariant = 1;
    FillPattern(BufferByteSize, 31);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    for (uint32_t a = 0; a < 16; ++a) ASSERT_EQ(cb->Byte(a), BufferByte(a)) << a;
    const uint32_t starts = cb->HighVoltageStarts();
    EXPECT_EQ(starts, 16u);
    FillBufferRange(0, 15, 0);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    for (uint32_t a = 0; a < 16; ++a) ASSERT_EQ(cb->Byte(a), BufferByte(a)) << a;
    EXPECT_EQ(cb->HighVoltageStarts(), starts); // none while reading
    ExpectNoViolations();
    // Without the 12 V entry the part takes nothing.
    DeviceVariant = 0;
    FillBufferRange(0, 15, 0x33);
    BufferIndex = 0;
    EXPECT_EQ(AlgorithmRow(71)->Program(), 1);
    EXPECT_NE(cb->Byte(0), 0x33);
    DeviceVariant = 2;
    EXPECT_EQ(AlgorithmRow(71)->Program(), -1);
}

// The librarian's limits: a variant past the table and Page 0 are refused by
// the entries too.
TEST_F(Serial, EntriesRefuseWhatTheLibraryWouldNot) {
    Seat("ST", "M93C46");
    DeviceVariant = MicrowireVariantCount;
    EXPECT_EQ(AlgorithmRow(10)->Read(2), -1);
    EXPECT_EQ(AlgorithmRow(10)->Program(), -1);
    for (const RowPart& p : {RowPart{"ATMEL", "AT24C04", 11}, RowPart{"MICROCHIP", "25AA020A", 48},
                             RowPart{"ATMEL", "AT25080", 13}, RowPart{"XICOR", "X5045", 57},
                             RowPart{"MICROCHIP", "24AA65", 44}}) {
        Seat(p.maker, p.name);
        for (uint32_t page : {0u, 257u}) {
            PageSize = page;
            EXPECT_EQ(AlgorithmRow(p.row)->Program(), -1) << p.name << " " << page;
        }
    }
    // Row 43's page address holds pages of up to 1024 bytes.
    Seat("ATMEL", "AT45DB041");
    for (uint32_t page : {0u, 1025u}) {
        PageSize = page;
        EXPECT_EQ(AlgorithmRow(43)->Read(2), -1) << page;
        EXPECT_EQ(AlgorithmRow(43)->Program(), -1) << page;
    }
    Seat("ATMEL", "AT24C04");
    PageSize = 16;
    DeviceVariant = TwoWireFormCount;
    EXPECT_EQ(AlgorithmRow(11)->Program(), -1);
    EXPECT_TRUE(elec->SuppliedPins().empty()); // refused before the supply
}

// Each row's part passes the insertion check with the row's pin allowance;
// an empty socket stops the run before the algorithm.
TEST_F(Serial, InsertionCheckWithEachRowsAllowance) {
    for (const RowPart& p : {RowPart{"ST", "M93C46", 10}, RowPart{"ATMEL", "AT24C04", 11},
                             RowPart{"XICOR", "X24C44", 12}, RowPart{"XICOR", "X24F032", 14},
                             RowPart{"PHILIPS", "PCF8581", 15}, RowPart{"XICOR", "X24325", 16},
                             RowPart{"CATALYST", "CAT59C11", 17}, RowPart{"MICROCHIP", "93LC46A", 18},
                             RowPart{"NATIONAL-SEMICONDUCTOR", "NMC93CS46", 70}, RowPart{"XICOR", "X24C00", 71},
                             RowPart{"SIEMENS", "SLE24C02", 81}, RowPart{"MICROCHIP", "25AA020A", 48},
                             RowPart{"MICROCHIP", "24LC65", 85}, RowPart{"SST", "SST25VF512", 95},
                             RowPart{"ATMEL", "AT25080", 13}, RowPart{"XICOR", "X5045", 57},
                             RowPart{"MICROCHIP", "24AA65", 44}}) {
        SCOPED_TRACE(p.name);
        Seat(p.maker, p.name);
        DeviceInsertTest = 1;
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        socket->Clear();
        EXPECT_EQ(Run(OpRead), -1);
        EXPECT_TRUE(HasLine("Insert device.")) << LogText();
        DeviceInsertTest = 0;
    }
}

// The supply range mode of each row's power-up (bit 3 of register 13 stands
// for mode 0) and the static register values of the two-wire rows.
TEST_F(Serial, PowerUpRegisterValuesByRow) {
    struct Case {
        RowPart part;
        int vccMode;
        uint32_t makerIndex = 0, subVariant = 0;
        std::vector<int> reg0, reg5; // first writes of register 0 of a read; its non-zero writes of 5
    };
    const std::vector<Case> cases = {
        {{"ST", "M93C46", 10}, 1, 0, 0, {2}, {}},
        {{"ATMEL", "AT24C04", 11}, 1, 0, 0, {0}, {}},
        {{"ATMEL", "AT24C04", 11}, 1, MakerSamsung, 2, {0, 8}, {1}},
        {{"XICOR", "X24C44", 12}, 1},
        {{"XICOR", "X24F032", 14}, 1, 0, 0, {2}, {1}},
        {{"XICOR", "X24F032", 14}, 1, 0, 1, {5}, {1}},
        {{"XICOR", "X24F032", 14}, 1, 0, 2, {4}, {1}},
        {{"XICOR", "X24F032", 14}, 1, 0, 3, {0}, {1}},
        {{"PHILIPS", "PCF8581", 15}, 1},
        {{"XICOR", "X24325", 16}, 1, 0, 0, {0}, {}},
        {{"CATALYST", "CAT59C11", 17}, 1},
        {{"MICROCHIP", "93LC46A", 18}, 1},
        {{"NATIONAL-SEMICONDUCTOR", "NMC93CS46", 70}, 0},
        {{"XICOR", "X24C00", 71}, 1},
        {{"SIEMENS", "SLE24C02", 81}, 1},
        {{"MICROCHIP", "25AA020A", 48}, 0},
        {{"MICROCHIP", "24LC65", 85}, 0},
        {{"SST", "SST25VF512", 95}, 0},
        {{"ATMEL", "AT25080", 13}, 0, 0, 0, {7, 6}, {}},
        {{"XICOR", "X5045", 57}, 0},
        {{"MICROCHIP", "24AA65", 44}, 0, 0, 0, {1, 0}, {}},
        {{"ATMEL", "AT45DB041", 43}, 0, 0, 0, {1, 0}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.part.name) + " sub-variant " + std::to_string(c.subVariant));
        Seat(c.part.maker, c.part.name);
        if (c.makerIndex != 0) MakerIndex = c.makerIndex;
        DeviceSubVariant = c.subVariant;
        DeviceEnd = 3;
        LoadImage(c.part.row == 10 ? 1 : c.part.row == 13 ? 2 : c.part.row == 44 ? 3 : c.part.row == 43 ? 4 : 0);
        StartTrace();
        AlgorithmRow(c.part.row)->Read(2);
        const auto reg13 = Writes(13);
        ASSERT_FALSE(reg13.empty());
        EXPECT_EQ((reg13.front() & 0x0C) == 0x0C ? 0 : 1, c.vccMode);
        if (!c.reg0.empty()) {
            const auto reg0 = Writes(0);
            ASSERT_GE(reg0.size(), c.reg0.size());
            EXPECT_EQ(std::vector<int>(reg0.begin(), reg0.begin() + static_cast<long>(c.reg0.size())), c.reg0);
            auto reg5 = Writes(5); // without the power-down's reset to 0
            reg5.erase(std::remove(reg5.begin(), reg5.end(), 0), reg5.end());
            EXPECT_EQ(reg5, c.reg5);
        }
    }
}

// The bytes the two-wire rows send through register 6, as the rows' address
// forms and register routines give them.
TEST_F(Serial, TwoWireTrafficThroughRegister6) {
    struct Case {
        const char* what;
        RowPart part;
        uint32_t start, end;
        int (*entry)();
        std::vector<int> reg6; // expected run of register-6 writes
        bool whole;            // the run is every register-6 write
    };
    static const auto read = [] { return AlgorithmRow(CurrentAlgorithm)->Read(2); };
    static const auto program = [] { return AlgorithmRow(CurrentAlgorithm)->Program(); };
    const std::vector<Case> cases = {
        // Form 1 over 512 bytes: random reads at 000h and 100h; 0FFh and 1FFh
        // end their blocks with FFh (no acknowledge).
        {"form 1 blocks", {"ATMEL", "AT24C04", 11}, 0, 0x1FF, read, {0xA0, 0x00, 0xA1, 0xFF, 0xA2, 0x00, 0xA3, 0xFF}, true},
        // Form 0 reads everything after the single byte 01h, and programs with
        // the address x 2 first.
        {"form 0 read", {"XICOR", "X24C01", 11}, 0, 127, read, {0x01}, true},
        {"form 0 program", {"XICOR", "X24C01", 11}, 0x10, 0x13, program, {0x20}, false},
        // Row 16 form 1: address ABCh goes out as B4h BCh.
        {"row 16 form 1", {"XICOR", "X24325", 16}, 0xABC, 0xABC, program, {0xB4, 0xBC}, false},
        // Row 16 form 2 reads with 81h after setting address 0 as 80h 00h.
        {"row 16 form 2", {"XICOR", "X24645", 16}, 0, 3, read, {0x80, 0x00, 0x81}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Seat(c.part.maker, c.part.name);
        DeviceStart = BufferIndex = c.start;
        DeviceEnd = c.end;
        FillPattern(BufferByteSize, 2);
        LoadImage(0);
        StartTrace();
        c.entry();
        const auto reg6 = Writes(6);
        if (c.whole) {
            EXPECT_EQ(reg6, c.reg6);
        } else {
            EXPECT_NE(std::search(reg6.begin(), reg6.end(), c.reg6.begin(), c.reg6.end()), reg6.end());
        }
    }
}

// Row 14 form 0 places its protect register in the chip's last block: a
// 2 KB part addresses it as control byte 8Eh, address FFh, unlocks it with
// 02h and 06h and writes "Upper 1/2" with PPEN "Hi" as 92h, then reads the
// register back there (8Eh FFh, 8Fh). The seated 4 KB part keeps its register
// at FFFh: the write does not land, and the read-back says so.
TEST_F(Serial, Row14ProtectRegisterAddress) {
    Seat("XICOR", "X24F032");
    DeviceSize = 0x800;
    Opt24fxxBlockProtect = 2;
    Opt24fxxPpen = 1;
    LoadImage(0);
    StartTrace();
    EXPECT_EQ(WriteProtectRegister14(), -1);
    EXPECT_EQ(Writes(6), (std::vector<int>{0x8E, 0xFF, 0x02, 0x8E, 0xFF, 0x06, 0x8E, 0xFF, 0x92, 0x8E, 0xFF, 0x8F}));
    Opt24fxxBlockProtect = Opt24fxxPpen = 0;
}

} // namespace
