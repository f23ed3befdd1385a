// Rows 2 and 7 through the operation driver on the parts of their library
// records: pulse programming with a program verify, the four-block status
// parts and the data-polled parts; the pulse and wait limits, the erase
// verify that stays on an address, and the faults each run ends with.
#include <fstream>

#include "CommandFlashFixture.h"
#include "engine/Buffer.h"

namespace {

using PulseRun = CommandFlashRun;

struct PulsePart {
    const char* name;
    bool zeroFirst; // the erase programs every byte to 00h first
};

class PulseRows : public PulseRun, public ::testing::WithParamInterface<PulsePart> {};

// From a loaded binary file (16-bit parts: little-endian words) to the part
// and back.
TEST_P(PulseRows, BlankProgramReadVerifyEraseThenBlank) {
    const PulsePart& c = GetParam();
    sim::CommandFlashChip* chip = Start(c.name);
    ASSERT_NE(chip, nullptr);
    ExpectRoundTrip(*chip, [&] { EXPECT_EQ(HasLine(" Program all ok!"), c.zeroFirst) << LogText(); });
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Parts, PulseRows,
                         ::testing::Values(PulsePart{"28F256A", true}, PulsePart{"28F512", true},
                                           PulsePart{"28F010", true}, PulsePart{"28F020", true},
                                           PulsePart{"Am28F010", true}, PulsePart{"28F001BX-B", false},
                                           PulsePart{"28F001BX-T", false}, PulsePart{"Am28F010A", false},
                                           PulsePart{"Am28F020A", false}, PulsePart{"TMS28F210", true},
                                           PulsePart{"M28F210", true}),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             n.erase(std::remove(n.begin(), n.end(), '-'), n.end());
                             return "Part" + n;
                         });

// The data bytes written to the part from its first write of `from` on.
std::vector<uint8_t> DataFrom(const sim::CommandFlashChip& chip, size_t from = 0) {
    std::vector<uint8_t> v;
    for (size_t i = from; i < chip.Writes().size(); ++i) v.push_back(static_cast<uint8_t>(chip.Writes()[i].data));
    return v;
}

size_t CountOf(const std::vector<uint8_t>& v, uint8_t x) { return static_cast<size_t>(std::count(v.begin(), v.end(), x)); }

// The program pulse limit: Retry pulses on a byte, no more; a byte that takes
// its 26th pulse programs within 30; pulses shorter than the part's program
// time (here 100 us) leave the cell.
TEST_F(PulseRun, ProgramPulsesStopAtRetry) {
    const struct {
        const char* label;
        uint32_t retry, pulseWidth;
        int needs; // pulses the cell at 5 needs; 0 never
        int result;
        int pulses;
        uint32_t programUs;
    } cases[] = {
        {"never verifies, Retry 10", 10, 10, 0, -1, 10, 10},
        {"verifies on pulse 26, Retry 30", 30, 10, 26, 1, 26, 10},
        {"pulses too short", 25, 10, 1, -1, 0, 100},
        {"pulses long enough", 25, 100, 1, 1, 1, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_TRUE(Select("INTEL", "28F010"));
        SetRange(0x10);
        const sim::CatalogPart& part = *sim::FindPart("INTEL", "28F010");
        sim::FamilyFacts<sim::CommandFlashConfig> facts =
            *sim::FactsAs<sim::FamilyFacts<sim::CommandFlashConfig>>(part.facts.get());
        facts.family.programUs = c.programUs;
        sim::CommandFlashChip* chip = Seat(sim::MakeChip(part, facts));
        Retry = c.retry;
        PulseWidth = c.pulseWidth;
        if (c.needs == 0) chip->StickCell(5);
        else chip->SlowCell(5, c.needs);
        FillBufferRange(0, BufferByteSize - 1, 0xFF);
        FillBufferRange(5, 5, 0x3C);
        EXPECT_EQ(Run(OpProgram), c.result) << LogText();
        EXPECT_EQ(chip->ProgramPulses(), c.pulses);
        EXPECT_EQ(CountOf(DataFrom(*chip), 0x40), c.result == 1 ? static_cast<size_t>(c.needs) : c.retry);
        EXPECT_EQ(chip->Cell(5), c.result == 1 ? 0x3C : 0xFF);
        ExpectNoViolations();
        Unseat();
    }
}

// Rows 2, 7, 19 and 21: a buffer of blank bytes writes nothing.
TEST_F(PulseRun, BufferOfBlankBytesWritesNothing) {
    for (const char* name : {"28F010", "28F001BX-B", "Am28F010A", "M28F210", "28F002BX-T"}) {
        SCOPED_TRACE(name);
        sim::CommandFlashChip* chip = Start(name);
        FillBufferRange(0, BufferByteSize - 1, 0xFF);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_TRUE(chip->Writes().empty());
        Unseat();
    }
}

// An erased chip is still programmed to 0 datum by datum (40h, the datum,
// C0h; on row 19 each a register-7 cycle), and the erase verify and its
// pulse start at the first address.
TEST_F(PulseRun, ErasedChipIsProgrammedToZeroFirst) {
    for (const char* name : {"28F512", "TMS28F210"}) {
        SCOPED_TRACE(name);
        sim::CommandFlashChip* chip = Start(name, 0x40);
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        const auto& w = chip->Writes();
        ASSERT_GE(w.size(), 0x40u * 3 + 3);
        for (uint32_t a = 0; a < 0x40; ++a) {
            EXPECT_EQ(w[a * 3].data, 0x40);
            EXPECT_EQ(w[a * 3 + 1].data, 0x00);
            EXPECT_EQ(w[a * 3 + 1].address, a);
            EXPECT_EQ(w[a * 3 + 2].data, 0xC0);
        }
        const size_t verify = 0x40 * 3;
        EXPECT_EQ(w[verify].data, 0xA0);
        EXPECT_EQ(w[verify].address, 0u);
        EXPECT_EQ(w[verify + 1].data, 0x20);
        EXPECT_EQ(w[verify + 2].data, 0x20);
        EXPECT_EQ(chip->ErasePulses(), 1);
        EXPECT_TRUE(chip->IsBlank());
        ExpectNoViolations();
        Unseat();
    }
}

// The erase verify stays on an address until it reads erased (the last one
// too) and fails right after pulse 1002 of the whole chip, naming the cell
// that never erased; a cell that never programs to 00h is named before any
// erase pulse.
TEST_F(PulseRun, EraseVerifyStaysOnTheAddress) {
    const struct {
        const char* label;
        uint32_t cell;
        int pulses; // the cell reads erased after these
        int result;
        int given;
    } cases[] = {
        {"last address needs 3 pulses", 0x2F, 3, 1, 3},
        {"a middle address needs 5", 0x17, 5, 1, 5},
        {"never erases", 0x17, 1 << 30, -1, 1002},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        sim::CommandFlashChip* chip = Start("28F256A", 0x30);
        chip->SlowErase(c.cell, c.pulses);
        EXPECT_EQ(Run(OpErase), c.result) << LogText();
        EXPECT_EQ(chip->ErasePulses(), c.given);
        EXPECT_EQ(chip->Cell(c.cell), c.result == 1 ? 0xFF : 0x00);
        EXPECT_EQ(HasLine("Erase error!"), c.result == -1) << LogText();
        if (c.result == -1) {
            EXPECT_TRUE(HasLine(" Chip addr: 000017h  data: 0000h")) << LogText();
        }
        ExpectNoViolations();
        Unseat();
    }
    sim::CommandFlashChip* chip = Start("28F256A", 0x30);
    chip->SetCell(0x17, 0xA5);
    chip->StickCell(0x17);
    EXPECT_EQ(Run(OpErase), -1) << LogText();
    EXPECT_EQ(chip->ErasePulses(), 0);
    EXPECT_TRUE(HasLine(" Chip addr: 000017h  data: 00A5h")) << LogText();
}

// The four-block parts: the blocks in order, each waited for up to 3000
// times; a block never ready leaves the next one untouched. The boot block
// takes program and erase only with 12 V on RP# (sub-variant 1).
TEST_F(PulseRun, FourBlockEraseAndTheBootBlock) {
    {
        sim::CommandFlashChip* chip = Start("28F001BX-T", 0x10);
        chip->NeverReadyBlock(2);
        chip->SetCell(0x1E010, 0); // the fourth block
        EXPECT_EQ(Run(OpErase), -1) << LogText();
        EXPECT_EQ(chip->Erases(), (std::vector<uint32_t>{0, 1, 2}));
        EXPECT_EQ(chip->Cell(0x1E010), 0);
        const auto data = DataFrom(*chip);
        const auto lastConfirm = std::find(data.rbegin(), data.rend(), 0xD0);
        EXPECT_EQ(CountOf(std::vector<uint8_t>(lastConfirm.base(), data.end()), 0x70), 3000u);
        Unseat();
    }
    for (uint32_t sub : {1u, 0u}) {
        SCOPED_TRACE(sub);
        sim::CommandFlashChip* chip = Start("28F001BX-B", 0x10);
        DeviceSubVariant = static_cast<uint8_t>(sub);
        chip->SetCell(0x0100, 0);  // boot block
        chip->SetCell(0x2100, 0);  // first parameter block
        FillPattern(BufferByteSize, 8);
        EXPECT_EQ(Run(OpProgram), sub == 1 ? 1 : -1) << LogText();
        EXPECT_EQ(chip->Cell(0), sub == 1 ? BufferByte(0) : 0xFF);
        EXPECT_EQ(Run(OpErase), sub == 1 ? 1 : -1) << LogText();
        EXPECT_EQ(chip->Cell(0x0100), sub == 1 ? 0xFF : 0x00);
        // Without 12 V on RP# the boot block's error bit fails the erase,
        // naming the block; the other blocks are erased all the same.
        EXPECT_EQ(chip->Cell(0x2100), 0xFF);
        EXPECT_EQ(HasLine(" Block 000000h-001FFFh was not erased!"), sub == 0) << LogText();
        ExpectNoViolations();
        Unseat();
    }
}

// Gang sockets: every socket must verify; one bad socket of four fails the
// byte.
TEST_F(PulseRun, OneBadSocketOfFourFailsTheByte) {
    auto chips = StartGang("28F010", 4);
    SetRange(0x20);
    chips[2]->StickCell(0x11);
    FillPattern(BufferByteSize, 2);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    for (auto* chip : chips) EXPECT_EQ(chip->Cell(0x10), BufferByte(0x10));
    EXPECT_EQ(chips[2]->Cell(0x11), 0xFF);
    EXPECT_EQ(CountOf(DataFrom(*chips[0]), 0x40), 0x11u + 25u);
    ExpectNoViolations();
}

// A variant the module does not serve (row 19: an erase method) ends before
// power-up with a line: nothing written, not even row 19's zero pass.
TEST_F(PulseRun, UnservedVariantFailsBeforePowerUp) {
    const struct {
        const char* part;
        uint8_t variant;
        const char* line;
    } cases[] = {{"28F010", 4, " Algorithm variant 4 is not supported."},
                 {"TMS28F210", 2, " Algorithm variant 2 is not supported."}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.part);
        sim::CommandFlashChip* chip = Start(c.part, 0x10);
        chip->SetCell(3, 0x12);
        DeviceVariant = c.variant;
        FillPattern(BufferByteSize, 1);
        for (int op : {OpErase, OpProgram, OpRead}) {
            EXPECT_EQ(Run(op), -1) << LogText();
            EXPECT_TRUE(HasLine(c.line)) << LogText();
        }
        EXPECT_TRUE(chip->Writes().empty());
        EXPECT_EQ(chip->Cell(3), 0x12);
        EXPECT_TRUE(elec->SuppliedPins().empty());
        Unseat();
    }
}

// A Chip Start above 0: program, zero pass and erase verify all work on the
// addresses from there (across a 256-byte boundary).
TEST_F(PulseRun, ChipStartAboveZeroErasesItsOwnAddresses) {
    sim::CommandFlashChip* chip = Start("28F010", 0);
    DeviceStart = 0x1F0;
    DeviceEnd = 0x210;
    FillPattern(BufferByteSize, 9);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ExpectHolds(*chip, DeviceStart);
    EXPECT_EQ(chip->Cell(DeviceStart - 1), 0xFF);
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_EQ(chip->ErasePulses(), 1);
    EXPECT_TRUE(chip->IsBlank());
    // The first erase verify, and its pulse, are at Chip Start.
    const auto& w = chip->Writes();
    const auto verify = std::find_if(w.begin(), w.end(), [](const auto& x) { return x.data == 0xA0; });
    ASSERT_NE(verify, w.end());
    EXPECT_EQ(verify->address, DeviceStart);
    ASSERT_LT(verify + 1, w.end());
    EXPECT_EQ((verify + 1)->data, 0x20);
    ExpectNoViolations();
}

} // namespace
