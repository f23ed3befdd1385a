// Rows 8 and 9 through the operation driver on their library records and
// catalog parts, and their block protect dialog offscreen.
#include <QCheckBox>
#include <QPushButton>

#include "MemoryFixture.h"
#include "OffscreenApp.h"
#include "memory/MuxEeprom.h"
#include "memory/OptX68c64.h"
#include "sim/MuxBus.h"
#include "sim/MuxEepromChip.h"

namespace {

using MuxEepromPart = std::pair<const char*, const char*>; // maker, name
const MuxEepromPart kMuxEepromParts[] = {{"XICOR", "X68C64"}, {"XICOR", "X88C64"}};

class MuxRun : public MemoryRun, public ::testing::WithParamInterface<MuxEepromPart> {
protected:
    sim::MuxEepromChip* chip = nullptr;
    void SetUp() override {
        App();
        MemoryRun::SetUp();
        sim::RegisterMuxBusPersonality();
        ASSERT_TRUE(Select(GetParam().first, GetParam().second));
        auto made = sim::MakeChip(*sim::FindPart(GetParam().first, GetParam().second));
        chip = sim::SeatedModel<sim::MuxEepromChip>(made.get());
        ASSERT_NE(chip, nullptr);
        elec->DeclareChip(chip->Limits());
        socket->Insert(std::move(made));
        FillPattern(BufferByteSize, 3);
        ASSERT_EQ(Run(OpBlankCheck), 1) << LogText(); // also loads the image
    }
    void Erase() {
        for (uint32_t a = 0; a < DeviceSize; ++a) chip->SetCell(a, 0xFF);
    }
    void ExpectChipHolds(uint32_t from, uint32_t to) {
        for (uint32_t a = from; a <= to; ++a) ASSERT_EQ(chip->Cell(a), BufferByte(a)) << std::hex << a;
    }
};

TEST_P(MuxRun, BlankProgramVerifyReadAndCompare) {
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ExpectLinesInOrder({"Program ok!"});
    ExpectChipHolds(0, DeviceEnd);
    FillBufferRange(0, BufferByteSize - 1, 0);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    ExpectChipHolds(0, DeviceEnd);
    // A read from inside a 256-byte row loads that row's high address byte.
    FillBufferRange(0, BufferByteSize - 1, 0);
    DeviceStart = BufferIndex = 0x1234;
    ASSERT_EQ(AlgorithmRow(CurrentAlgorithm)->Read(2), 1);
    ExpectChipHolds(0x1234, DeviceEnd);
    DeviceStart = 0;
    FillBufferRange(0x123, 0x123, BufferByte(0x123) ^ 1);
    EXPECT_EQ(Run(OpCompare), 1) << LogText();
    EXPECT_NE(ReadText("COMPARE.TXT").find("00000123h:"), std::string::npos) << ReadText("COMPARE.TXT");
    EXPECT_EQ(Run(OpBlankCheck), -1);
    EXPECT_EQ(chip->WriteCycles().size(), DeviceSize / 16); // one write cycle a page
    ExpectNoViolations();
}

// A byte that never programs: five attempts of its page, then the run fails
// with the page's last byte as the fail address; the user break ends with 3.
TEST_P(MuxRun, FaultsEndTheRun) {
    ui.BreakAtPercent = 40;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpProgram), 3) << LogText();
    Erase();
    chip->StickByte(0x205);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_EQ(std::count(chip->WriteCycles().begin(), chip->WriteCycles().end(), 0x200u), 5);
    EXPECT_NE(LogText().find("Chip addr: 00020Fh"), std::string::npos) << LogText();
    ExpectNoViolations();
}

// The prefix goes to the 4 KB half of the page with variant 0, to
// 5555h/2AAAh (1555h/0AAAh on the part's 13 lines) otherwise; the row-8
// variant 6 waits instead of polling and a variant without a method polls.
TEST_P(MuxRun, PrefixAddressesAndMethods) {
    struct Case {
        uint32_t variant, variant3, start;
        uint32_t first, second;
    };
    for (const Case& c : {Case{0, 7, 0xFC0, 0x555, 0xAAA}, Case{0, 7, 0x1000, 0x1555, 0x1AAA},
                          Case{1, 7, 0xFC0, 0x1555, 0x0AAA}, Case{0, 6, 0x1000, 0x1555, 0x1AAA},
                          Case{0, 3, 0x40, 0x555, 0xAAA}}) {
        DeviceVariant = c.variant;
        DeviceVariant3 = c.variant3;
        DeviceStart = c.start;
        DeviceEnd = c.start + 15;
        BufferIndex = c.start;
        const size_t before = chip->Cycles().size();
        ASSERT_EQ(AlgorithmRow(CurrentAlgorithm)->Program(), 1) << std::hex << c.start;
        const auto& cycles = chip->Cycles();
        ASSERT_GE(cycles.size(), before + 3);
        EXPECT_EQ(cycles[before].address, c.first);
        EXPECT_EQ(cycles[before + 1].address, c.second);
        EXPECT_EQ(cycles[before + 2].address, c.first);
        ExpectChipHolds(c.start, c.start + 15);
    }
    ExpectNoViolations();
}

// Page lengths the queue cannot hold and starts off a page boundary are
// refused before the chip sees a cycle.
TEST_P(MuxRun, UnusablePagesAreRefused) {
    for (auto [page, start] : {std::pair{0u, 0u}, {3u, 0u}, {512u, 0u}, {16u, 8u}}) {
        PageSize = page;
        DeviceStart = BufferIndex = start;
        EXPECT_EQ(AlgorithmRow(CurrentAlgorithm)->Program(), -1) << page;
    }
    EXPECT_TRUE(chip->Cycles().empty());
    EXPECT_TRUE(HasLine(" Start address must be on a page boundary!")) << LogText();
    // Through the driver the refusal is the run's last word: no fail-address
    // line names a datum nothing read.
    PageSize = 16;
    BlankCheckBeforeProgram = 0;
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine(" Start address must be on a page boundary!")) << LogText();
    EXPECT_EQ(DatumLines(), "") << LogText();
    EXPECT_TRUE(chip->Cycles().empty());
}

TEST_P(MuxRun, BlockProtectDialog) {
    TOptXx8C64 d;
    EXPECT_EQ(d.windowTitle(), "Data Protect");
    EXPECT_EQ(d.CheckBox1->text(), "Protect 0000h-03FFh");
    EXPECT_EQ(d.CheckBox8->text(), "Protect 1C00h-1FFFh");
    d.ButtonWroteClick();
    EXPECT_EQ(chip->BlockProtect(), 0);
    d.ButtonSetAll->click();
    EXPECT_TRUE(d.CheckBox5->isChecked());
    EXPECT_EQ(BlockProtectMask(), 0xFF);
    d.ButtonResetAll->click();
    EXPECT_EQ(BlockProtectMask(), 0);
    d.CheckBox2->setChecked(true);
    EXPECT_EQ(BlockProtectMask(), 0); // stored when the box is left
    d.CheckBox1Click();
    EXPECT_EQ(BlockProtectMask(), 0x02);
    d.ButtonToggle->click();
    EXPECT_EQ(BlockProtectMask(), 0xFD);
    EXPECT_FALSE(d.CheckBox2->isChecked());
    d.ButtonResetAll->click();
    d.CheckBox3->setChecked(true);
    d.CheckBox1Click();
    const size_t logged = ui.Log.size();
    d.ButtonWrote->click();
    EXPECT_EQ(chip->BlockProtect(), 0x04);
    EXPECT_EQ(ui.Log.size(), logged);
    // Block 2 (0800h-0BFFh) refuses the page; the blocks below take theirs.
    DeviceEnd = 0xBFF;
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    ExpectChipHolds(0, 0x7FF);
    EXPECT_NE(LogText().find("Chip addr: 00080Fh"), std::string::npos) << LogText();
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Parts, MuxRun, ::testing::ValuesIn(kMuxEepromParts),
                         [](const auto& info) { return std::string(info.param.second); });

} // namespace
