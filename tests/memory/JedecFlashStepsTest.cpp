// What single steps of the flash rows do on the bus and on the chip's pins:
// plain writes of rows 50 and 51, row 87's dies, the doubling rule, the
// supply of mode-1 reads, the erase passes of a gang, the SRAM test and the
// register traces of single data.
#include "engine/AlgorithmTable.h"
#include <cstdio>

#include "FlashFixture.h"
#include "memory/JedecFlash.h"

namespace {

class FlashSteps : public FlashRun {
protected:
    sim::SeatedFlash part;

    void Start(const char* maker, const char* name, uint32_t words = 0x20) {
        ASSERT_TRUE(Select(maker, name)) << name;
        Limit(words);
        part = SeatPart(maker, name);
    }
    // Register accesses 0-9 as "W4=DD R6 ...", from the trace's index `from`.
    std::string Trace(size_t from = 0) const {
        std::string t;
        const auto& tr = simp.RegisterTrace();
        for (size_t i = from; i < tr.size(); ++i) {
            const auto& r = tr[i];
            if (r.reg > 9) continue;
            char one[16];
            if (r.write) std::snprintf(one, sizeof one, "W%u=%02X ", r.reg, r.value);
            else std::snprintf(one, sizeof one, "R%u ", r.reg);
            t += one;
        }
        return t;
    }
    void SetWord(uint32_t a, uint16_t v) {
        FillBufferRange(2 * a, 2 * a, v & 0xFF);
        FillBufferRange(2 * a + 1, 2 * a + 1, v >> 8);
    }
};

// Rows 50 and 51 write every datum, FFh and FFFFh included, over what a RAM
// held before; row 51 writes the high byte last.
TEST_F(FlashSteps, PlainWritesOfRows50And51) {
    Start("DALLAS", "DS1230Y");
    part.sram->Fill(0xFF);
    FillBufferRange(0, BufferByteSize - 1, 0xFF);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(part.sram->WriteCount(), DeviceSize);

    socket->Clear();
    Start("DALLAS", "DS1258Y");
    part.sram->Fill(0x0000);
    FillBufferRange(0, BufferByteSize - 1, 0xFF);
    SetWord(3, 0x1234);
    simp.EnableTrace(true);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(part.sram->WriteCount(), DeviceSize);
    EXPECT_EQ(part.sram->Cell(3), 0x1234);
    EXPECT_EQ(part.sram->Cell(0), 0xFFFF);
    EXPECT_EQ(part.sram->Cell(DeviceSize - 1), 0xFFFF);
    EXPECT_NE(Trace().find("W4=DD W0=03 W6=34 W7=12 W4=DD"), std::string::npos) << Trace();
    ExpectNoViolations();
}

// Row 87 enables the die of each 512K words (at the first address too) with
// 10 ms after it, and gives the third die A5h.
TEST_F(FlashSteps, Row87SwitchesDiesAndUsesA5FromTheThirdDie) {
    Start("SST", "3xSST39VF800A", 0);
    FillData(9);
    DeviceStart = 0xFFFFE;
    DeviceEnd = 0x100001;
    simp.EnableTrace(true);
    EXPECT_EQ(Entry([] { return AlgorithmRow(87)->Program(); }), 1) << LogText();
    const auto& tr = simp.RegisterTrace();
    std::vector<uint8_t> masks;
    for (size_t i = 0; i + 1 < tr.size(); ++i) {
        if (!tr[i].write || tr[i].reg != 3 || (tr[i].value != 0xFD && tr[i].value != 0xFB)) continue;
        masks.push_back(tr[i].value);
        size_t next = i + 1;
        while (next + 1 < tr.size() && tr[next].reg > 9) ++next; // the timer's registers
        EXPECT_GE(tr[next].timeUs - tr[i].timeUs, 10000u);
    }
    EXPECT_EQ(masks, (std::vector<uint8_t>{0xFD, 0xFB}));
    auto commands = [](const sim::JedecFlashChip* d) {
        std::vector<uint8_t> c;
        for (const auto& w : d->Writes()) {
            if (w.address == 0x5555 && (w.data & 0xFF) != 0xAA) c.push_back(w.data & 0xFF);
        }
        return c;
    };
    EXPECT_EQ(commands(part.dies[1]), (std::vector<uint8_t>{0xA0, 0xA0}));
    EXPECT_EQ(commands(part.dies[2]), (std::vector<uint8_t>{0xA5, 0xA5}));
    EXPECT_EQ(part.dies[2]->Cell(1), BufferDatum(3));
    ExpectNoViolations();
}

// With the doubling flag the chip's pins carry a | (a & FFh) << 8: 5555h and
// AAAAh, which a part decoding 11 address bits takes as 555h and 2AAh.
TEST_F(FlashSteps, DoublingRuleOnTheChipsPins) {
    Start("ST", "M29F040B");
    DeviceFlags |= 0x400;
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    std::vector<std::pair<uint32_t, uint16_t>> seen;
    for (const auto& w : part.flash()->Writes()) seen.emplace_back(w.address, w.data & 0xFF);
    // The erase, then the autoselect command of the protection reader that
    // looks for sectors the erase left.
    const std::vector<std::pair<uint32_t, uint16_t>> want = {{0x5555, 0xAA}, {0xAAAA, 0x55}, {0x5555, 0x80},
                                                             {0x5555, 0xAA}, {0xAAAA, 0x55}, {0x5555, 0x10},
                                                             {0x5555, 0xAA}, {0xAAAA, 0x55}, {0x5555, 0x90}};
    EXPECT_EQ(seen, want);
    EXPECT_EQ(part.flash()->ChipErases(), 1u);
    ExpectNoViolations();
}

// Rows 6, 56 and 58 read at Vccp/10 in mode 1, the others at the read supply.
TEST_F(FlashSteps, ModeOneReadsAtTheProgrammingSupplyInRows6_56_58) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"AMD", "Am29F010", true},     {"SST", "SST39SF010A", true}, {"SST", "SST32HF802", true},
        {"DALLAS", "DS1230Y", false},  {"SST", "SST39VF800A", false}, {"AMD", "Am29F016B", false}};
    for (auto [maker, name, programmingSupply] : cases) {
        SCOPED_TRACE(name);
        Start(maker, name);
        for (int mode : {1, 2}) {
            Entry([&] {
                ReadVccInUse = ReadVccLow;
                return AlgorithmRow(CurrentAlgorithm)->Read(mode);
            });
            EXPECT_EQ(SupplyVoltage, mode == 1 && programmingSupply ? Vccp / 10 : ReadVccLow);
        }
        socket->Clear();
    }
}

// Row 93's erase polls socket 0 until it is done, then socket 1 in passes of its own.
TEST_F(FlashSteps, ErasePassesPollSocketAfterSocket) {
    AddGang(2);
    ASSERT_TRUE(Select("AMD", "Am29F016B"));
    LastSocketIndex = 1;
    for (int s = 0; s < 2; ++s) SeatPart("AMD", "Am29F016B", s);
    simp.EnableTrace(true);
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    std::string masks;
    // The erase's polls, up to its power-down (the protection reader after
    // it selects socket 0 again).
    for (const auto& r : simp.RegisterTrace()) {
        if (r.write && r.reg == 3 && r.value == 0xFF && !masks.empty()) break;
        if (r.write && r.reg == 3 && (r.value == 0xFE || r.value == 0xFD)) masks += r.value == 0xFE ? '0' : '1';
    }
    // 25 s of chip erase on socket 0, then socket 1 in one pass of its own.
    EXPECT_GE(masks.size(), 200u);
    EXPECT_EQ(masks.find('1'), masks.size() - 1) << masks;
    ExpectNoViolations();
}

TEST_F(FlashSteps, SramTest) {
    Start("SST", "SST32HF802", 0x100);
    DeviceVariant = 3; // runs over the device's own end
    const uint32_t start = DeviceStart, end = DeviceEnd;
    EXPECT_EQ(Entry(AlgorithmTable[58].Options), 1);
    ExpectLinesInOrder({"SRAM Test ok!"});
    EXPECT_FALSE(HasLine("SRAM Testing..."));
    EXPECT_EQ(part.sram->WriteCount(), 2 * 0x100u); // volatile: its data went with the supply
    EXPECT_TRUE(part.flash()->IsBlank());
    part.sram->StickBit(0x40, 3, 1);
    EXPECT_EQ(Entry(AlgorithmTable[58].Options), -1);
    EXPECT_TRUE(HasLine("SRAM Test error!"));
    // A break at the first address; variant 1 tests up to 1FFFFh and restores the range.
    DeviceVariant = 1;
    ui.BreakAtPercent = 0;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Entry(AlgorithmTable[58].Options), 3);
    EXPECT_TRUE(HasLine("SRAM Test error!"));
    EXPECT_EQ(DeviceStart, start);
    EXPECT_EQ(DeviceEnd, end);
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

// A 16-bit read moves the buffer on to the next bank after 32K words; a
// blank check walks on without it.
TEST_F(FlashSteps, SixteenBitReadAdvancesTheBankEvery32KWords) {
    Start("AMD", "Am29LV160DB", 0x8010);
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    EXPECT_EQ(BankAdvances, 0u);
    for (uint32_t a = 0; a < DeviceSize; ++a) part.flash()->SetCell(a, static_cast<uint16_t>(a * 7 + 1));
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(BankAdvances, 1u);
    for (uint32_t a : {0u, 0x7FFFu, 0x8000u, 0x800Fu}) EXPECT_EQ(BufferDatum(a), (a * 7 + 1) & 0xFFFF) << a;
    ExpectNoViolations();
}

// The toggle poll reads on while bit 6 changes and stops at the first two
// successive reads with bit 6 equal (row 78 sub-variant 0, row 56's toggle
// part); the part's program time is stretched so the poll takes several reads.
TEST_F(FlashSteps, TogglePollEndsAtTwoEqualBit6Reads) {
    for (auto [maker, name, row] : {std::tuple{"SST", "SST39VF800A", 78u}, {"SST", "SST39SF020A", 56u}}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(Select(maker, name));
        sim::FlashPart slow = *sim::FindFlashPart(maker, name);
        slow.flash.programUs = 40;
        part = SeatPart(slow);
        DeviceStart = DeviceEnd = 0x12;
        SetWord(0, 0x1234);
        simp.EnableTrace(true);
        simp.ClearTrace();
        EXPECT_EQ(Entry([row] { return AlgorithmRow(row)->Program(); }), 1);
        const auto& tr = simp.RegisterTrace();
        size_t last = 0; // the read strobe after the datum
        while (last < tr.size() && !(tr[last].write && tr[last].reg == 4 && tr[last].value == 0xDF)) ++last;
        std::vector<uint8_t> reads;
        for (size_t i = last + 1; i < tr.size() && !tr[i].write; ++i) {
            if (!tr[i].write && tr[i].reg == 6) reads.push_back(tr[i].value);
        }
        ASSERT_GE(reads.size(), 3u) << Trace(last);
        for (size_t i = 1; i + 1 < reads.size(); ++i) EXPECT_NE(reads[i - 1] & 0x40, reads[i] & 0x40) << i;
        EXPECT_EQ(reads[reads.size() - 2] & 0x40, reads.back() & 0x40);
        EXPECT_EQ(part.flash()->Cell(0x12) & (Wide() ? 0xFFFF : 0xFF), Wide() ? 0x1234 : 0x34);
        Unseat();
    }
}

// Golden traces of one datum.
TEST_F(FlashSteps, Row78WordInSubVariants0And1) {
    sim::FlashPart fast = *sim::FindFlashPart("SST", "SST39VF800A");
    fast.flash.fastMode = true;
    for (uint32_t sub : {0u, 1u}) {
        SCOPED_TRACE(sub);
        ASSERT_TRUE(Select("SST", "SST39VF800A"));
        DeviceSubVariant = sub;
        part = SeatPart(fast);
        DeviceStart = DeviceEnd = 0x12;
        SetWord(0, 0x1234);
        simp.EnableTrace(true);
        simp.ClearTrace();
        EXPECT_EQ(Entry([] { return AlgorithmRow(78)->Program(); }), 1);
        const std::string setup = sub == 0 ? "W3=00 W4=DD W8=08 "
                                           : "W3=00 W4=DD W0=55 W1=55 W2=00 W6=AA W0=AA W1=2A W2=00 W6=55 W0=55 W1=55 "
                                             "W2=00 W6=80 W0=55 W1=55 W2=00 W6=AA W0=AA W1=2A W2=00 W6=55 W0=55 W1=55 "
                                             "W2=00 W6=A0 ";
        // The upper latches at the first address: the start is not on a 256 boundary.
        const std::string datum = sub == 0 ? "W1=00 W2=00 W0=12 W4=DD W6=AA W6=55 W6=A0 W7=12 W6=34 W4=DF R6 "
                                           : "W1=00 W2=00 W0=12 W4=DD W7=12 W6=34 W4=DF R6 ";
        const std::string t = Trace();
        EXPECT_NE(t.find("W4=D3 " + setup + datum), std::string::npos) << t;
        EXPECT_EQ(part.flash()->Cell(0x12), 0x1234);
        Unseat();
    }
}

TEST_F(FlashSteps, Row93ByteInBypass) {
    Start("AMD", "Am29F032B");
    DeviceStart = DeviceEnd = 0x12;
    FillBufferRange(0, 0, 0x5A);
    simp.EnableTrace(true);
    EXPECT_EQ(Entry([] { return AlgorithmRow(93)->Program(); }), 1);
    const std::string t = Trace();
    EXPECT_NE(t.find("W4=D3 W3=00 W4=DD W0=55 W1=05 W2=00 W6=AA W0=AA W1=02 W2=00 W6=55 W0=55 W1=05 W2=00 W6=20 "
                     "W1=00 W2=00 W0=12 W4=DD W6=A0 W6=5A W4=DF R6 "),
              std::string::npos)
        << t;
    EXPECT_EQ(part.flash()->Cell(0x12), 0x5A);
}

TEST_F(FlashSteps, Row46IdentifyWithDoubling) {
    Start("AMD", "Am29LV160DB");
    DeviceFlags |= 0x400;
    simp.EnableTrace(true);
    Entry([] { return AlgorithmRow(46)->Identify(); });
    EXPECT_EQ(ChipMakerId, 0x01u);
    EXPECT_EQ(ChipDeviceId, 0x2249u);
    const std::string t = Trace();
    EXPECT_NE(t.find("W3=FF W4=93 W5=00 W8=04 W9=01 W4=D3 W3=FE W4=DD W0=55 W1=55 W2=00 W6=AA W0=AA W1=AA W2=00 "
                     "W6=55 W0=55 W1=55 W2=00 W6=90 W0=00 W1=00 W2=00 W4=DF R6 R7 W4=DD W0=01 W1=00 W2=00 W4=DF R6 "
                     "R7 W4=DD W0=00 W1=00 W2=00 W6=F0 W3=FF W4=D3 W4=93 W3=FF "),
              std::string::npos)
        << t;
    ExpectNoViolations();
}

} // namespace
