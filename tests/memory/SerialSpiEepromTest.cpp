// The SPI EEPROM rows 13 and 57 beyond the common serial table: the address
// forms and ready waits on the wire, the status-register layouts, the chip
// erase, the bank advance of a 128 KB part, the refusals, and the two
// block-protect dialogs offscreen.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "MemoryFixture.h"
#include "OffscreenApp.h"
#include "dialogs/RadioGroup.h"
#include "engine/Tables.h"
#include "memory/Opt25xx.h"
#include "memory/SerialSpiEeprom.h"
#include "sim/SerialEngine.h"
#include "sim/SerialParts.h"

namespace {

class Spi : public MemoryRun {
protected:
    sim::SpiEepromChip* chip = nullptr;

    void SetUp() override {
        App();
        MemoryRun::SetUp();
        sim::RegisterSerialPersonality();
        ResetOptions();
    }
    void TearDown() override {
        ResetOptions();
        MemoryRun::TearDown();
    }
    static void ResetOptions() {
        Opt25xxBlockProtect = Opt25xxWpen = Opt25xxx1BlockProtect = Opt25xxx1Watchdog = Opt25xxx1Wpen = 0;
    }
    void Seat(const char* maker, const char* name) {
        socket->Clear();
        ASSERT_TRUE(Select(maker, name)) << name;
        chip = static_cast<sim::SpiEepromChip*>(sim::SeatSerialPart(*socket, *elec, *sim::FindSerialPart(maker, name)));
    }
    // The row's logic image, for entries called without the operation
    // driver: the engine's SPI form, or the pin driver; reads at the
    // device's read supply, as the driver prepares them.
    void LoadImage() {
        ReadVccInUse = ReadVcc;
        sim::LogicImageHeader h;
        h.personality = CurrentAlgorithm == 13 ? sim::kPersonalitySerial : sim::kPersonalityUniversal;
        h.params[0] = 2;
        simp.ConfigureDirect(h);
        simp.EnableTrace(true);
        simp.ClearTrace();
    }
    std::vector<int> Writes(uint8_t reg) const {
        std::vector<int> v;
        for (const auto& a : simp.RegisterTrace())
            if (a.write && a.reg == reg) v.push_back(a.value);
        return v;
    }
    static int Count(const std::vector<int>& v, int x) { return static_cast<int>(std::count(v.begin(), v.end(), x)); }
};

// What row 13 sends through register 6 and how it waits for the chip.
TEST_F(Spi, Row13AddressFormsAndReadyWaits) {
    struct Case {
        const char* what;
        const char* name;
        uint32_t variant, subVariant, size, start, end;
        bool program;
        std::vector<int> reg6; // the run of register-6 writes that must appear
        int statusInstructions; // 05h sent (-1: not counted)
    };
    const std::vector<Case> cases = {
        {"short form, A8 in the instruction", "AT25040", 0, 0, 512, 0x1F0, 0x1F0, false, {0x0B, 0xF0}, 0},
        {"three address bytes from 128 KB", "25LC1024", 1, 1, 0x20000, 0x1234, 0x1234, false, {0x03, 0x00, 0x12, 0x34}, 0},
        {"two address bytes at 64 KB", "25LC1024", 1, 1, 0x10000, 0x1234, 0x1234, false, {0x03, 0x12, 0x34}, 0},
        {"fixed wait never polls", "AT25010", 0, 99, 128, 0, 15, true, {0x02, 0x00}, 0},
        {"status polled per page", "AT25080", 1, 1, 1024, 0, 63, true, {0x06, 0x02, 0x00, 0x00}, -1},
        {"ready on SO after one 05h per page", "AT25080", 3, 1, 1024, 0, 63, true, {0x06, 0x02, 0x00, 0x00}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Seat(c.name[0] == '2' ? "MICROCHIP" : "ATMEL", c.name);
        DeviceVariant = c.variant;
        DeviceSubVariant = c.subVariant;
        DeviceSize = c.size;
        DeviceStart = BufferIndex = c.start;
        DeviceEnd = c.end;
        FillPattern(BufferByteSize, 2);
        LoadImage();
        const uint64_t t0 = simp.NowUs();
        EXPECT_EQ(c.program ? AlgorithmRow(13)->Program() : AlgorithmRow(13)->Read(2), 1);
        const auto reg6 = Writes(6);
        EXPECT_NE(std::search(reg6.begin(), reg6.end(), c.reg6.begin(), c.reg6.end()), reg6.end());
        if (c.statusInstructions >= 0) {
            EXPECT_EQ(Count(reg6, 0x05), c.statusInstructions);
        }
        if (c.subVariant == 99) {
            EXPECT_GE(simp.NowUs() - t0, 2u * PulseWidth); // two pages, PulseWidth each
        }
        ExpectNoViolations();
    }
}

// The status value each layout writes, on the wire after 01h: sub-variant 2
// takes the index in bits 0-2, the others bits 2-3 and WPEN only where the
// layout has it; indexes past a field are cut to it.
TEST_F(Spi, StatusLayoutsOnTheWire) {
    struct Case {
        const char* what;
        uint32_t row, subVariant;
        int blockProtect, watchdog, wpen;
        int value;
    };
    const std::vector<Case> cases = {
        {"Protect H1", 13, 2, 5, 0, 1, 0x05},
        {"no bit 7 on sub-variant 0", 13, 0, 2, 0, 1, 0x08},
        {"WPEN on sub-variant 1", 13, 1, 3, 0, 1, 0x8C},
        {"WPEN on sub-variant 3", 13, 3, 1, 0, 1, 0x84},
        {"an index of 7 stays out of bit 4", 13, 0, 7, 0, 0, 0x0C},
        {"row 57: 0100h-01FFh, 200 ms, Hi", 57, 0, 2, 2, 1, 0xA8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Seat(c.row == 13 ? "ATMEL" : "XICOR", c.row == 13 ? "AT25080" : "X5163");
        DeviceSubVariant = c.subVariant;
        Opt25xxBlockProtect = Opt25xxx1BlockProtect = c.blockProtect;
        Opt25xxx1Watchdog = c.watchdog;
        Opt25xxWpen = Opt25xxx1Wpen = c.wpen;
        LoadImage();
        EXPECT_EQ(c.row == 13 ? WriteStatusRegister13() : WriteStatusRegister57(), 1) << LogText();
        if (c.row == 13) {
            const auto reg6 = Writes(6);
            const std::vector<int> run{0x01, c.value};
            EXPECT_NE(std::search(reg6.begin(), reg6.end(), run.begin(), run.end()), reg6.end());
        }
        // The chip keeps the bits it has.
        const int kept = c.row == 13 ? 0x8C : 0xBC;
        EXPECT_EQ(chip->Status(), c.value & kept) << LogText();
    }
}

// Row 13's chip erase through the driver, and one that never ends.
TEST_F(Spi, Row13ChipErase) {
    Seat("MICROCHIP", "25LC1024");
    for (uint32_t a = 0; a < 0x100; ++a) chip->SetByte(a * 0x200, 0);
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_TRUE(HasLine("Erase ok!")) << LogText();
    for (uint32_t a = 0; a < 0x100; ++a) ASSERT_EQ(chip->Byte(a * 0x200), 0xFF);
    chip->NeverReady();
    chip->SetByte(0, 0);
    runStart_ = ui.Log.size();
    EXPECT_EQ(Run(OpErase), -1) << LogText();
    EXPECT_TRUE(HasLine("Erase error!")) << LogText();
}

// A 128 KB part: program and read across the first bank's end with three
// address bytes; a blank check there does not advance the bank.
TEST_F(Spi, Row13CrossesTheBankEnd) {
    Seat("MICROCHIP", "25LC1024");
    DeviceStart = BufferStart = 0xFF00;
    DeviceEnd = 0x100FF;
    FillPattern(BufferByteSize, 6);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    for (uint32_t a = DeviceStart; a <= DeviceEnd; ++a) ASSERT_EQ(chip->Byte(a), BufferByte(a)) << std::hex << a;
    EXPECT_EQ(chip->Byte(0xFEFF), 0xFF);
    EXPECT_EQ(chip->Byte(0x10100), 0xFF);
    FillBufferRange(DeviceStart, DeviceEnd, 0);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    for (uint32_t a = DeviceStart; a <= DeviceEnd; ++a) ASSERT_EQ(BufferByte(a), chip->Byte(a)) << std::hex << a;
    EXPECT_EQ(Run(OpBlankCheck), -1) << LogText();
    ExpectNoViolations();
}

// Row 57 has pins only for 8-pin packages: another package is refused before
// the supply goes on.
TEST_F(Spi, Row57RefusesOtherPackages) {
    Seat("XICOR", "X5045");
    uint32_t other = 0;
    while (PackageTable[other].PinCount == 8 || PackageTable[other].PinCount == 0) ++other;
    PackageIndex = other;
    EXPECT_EQ(AlgorithmRow(57)->Read(2), -1);
    EXPECT_EQ(AlgorithmRow(57)->Program(), -1);
    EXPECT_EQ(ReadStatusRegister57(), -1);
    EXPECT_EQ(WriteStatusRegister57(), -1);
    EXPECT_TRUE(elec->SuppliedPins().empty());
}

// ---- the dialogs ----------------------------------------------------------------

class SpiDialog : public Spi {
protected:
    // Seats the part and loads its image with a program run of the range.
    void Prepare(const char* maker, const char* name) {
        Seat(maker, name);
        FillPattern(BufferByteSize, 4);
        ASSERT_EQ(Run(OpProgram), 1) << LogText();
        runStart_ = ui.Log.size();
    }
    // The upper half takes no new data: the verify fails there, not below.
    void ExpectUpperHalfProtected() {
        const uint32_t half = DeviceSize / 2;
        for (uint32_t a = 0; a < DeviceSize; ++a) FillBufferRange(a, a, BufferByte(a) ^ 0x5A);
        BufferIndex = DeviceStart;
        EXPECT_EQ(AlgorithmRow(CurrentAlgorithm)->Program(), 1);
        EXPECT_EQ(Run(OpVerify), -1) << LogText();
        EXPECT_EQ(chip->Byte(half - 1), BufferByte(half - 1));
        EXPECT_NE(chip->Byte(half), BufferByte(half));
    }
};

// Which group each sub-variant shows and whether WPEN can be chosen.
TEST_F(SpiDialog, GroupsAndWpenBySubVariant) {
    struct Case {
        bool row57;
        uint32_t subVariant;
        int shown; // index into Groups
        bool wpen;
    };
    for (const Case& c : {Case{false, 0, 0, false}, Case{false, 1, 0, true}, Case{false, 2, 1, false},
                          Case{false, 3, 2, true}, Case{false, 99, 0, false}, Case{true, 0, 0, false},
                          Case{true, 1, 1, true}, Case{true, 2, 2, true}, Case{true, 3, 3, true}}) {
        SCOPED_TRACE(std::to_string(c.row57) + " " + std::to_string(c.subVariant));
        DeviceSubVariant = c.subVariant;
        std::unique_ptr<TOpt25Dialog> d;
        if (c.row57) d = std::make_unique<TOpt25xxx1_>(); else d = std::make_unique<TOpt25xxx>();
        EXPECT_EQ(d->windowTitle(), c.row57 ? "Opt25xxx1_" : "Block Protect");
        for (size_t g = 0; g < d->Groups.size(); ++g) EXPECT_EQ(d->Groups[g]->isVisibleTo(d.get()), static_cast<int>(g) == c.shown);
        EXPECT_EQ(d->ComboBoxWpen->isEnabled(), c.wpen);
        EXPECT_EQ(d->LabelWpen->isEnabled(), c.wpen);
        EXPECT_EQ(d->Watchdog != nullptr, c.row57);
    }
}

// Row 13: "Protect 1/2" and WPEN "Hi" programmed, read back, and the upper
// half then refuses new data; a change of the combo box alone is written.
TEST_F(SpiDialog, Row13ProgramsReadsAndProtects) {
    Prepare("ATMEL", "AT25080");
    TOpt25xxx d;
    d.RadioGroup1->Item(2)->click();
    d.ComboBoxWpen->setCurrentIndex(1);
    d.Button2->click();
    EXPECT_EQ(d.ProgramResult, 1);
    EXPECT_TRUE(HasLine("Program ok!"));
    EXPECT_EQ(chip->Status(), 0x88);
    d.ComboBoxWpen->setCurrentIndex(0);
    d.Button2->click();
    EXPECT_EQ(chip->Status(), 0x08);
    ResetOptions();
    d.Button1->click();
    ExpectLinesInOrder({" Status Register : 08", "Read ok!"});
    EXPECT_EQ(d.RadioGroup1->ItemIndex(), 2);
    ExpectUpperHalfProtected();
}

// An index another device left past the shown group's items opens as "None"
// and is written as none.
TEST_F(SpiDialog, LeftoverIndexOpensAsNone) {
    Prepare("ATMEL", "AT25040");
    chip->SetStatus(0x0C);
    Opt25xxBlockProtect = 7;
    TOpt25xxx d;
    EXPECT_EQ(d.RadioGroup1->ItemIndex(), 0);
    EXPECT_EQ(Opt25xxBlockProtect, 0);
    d.Button2->click();
    EXPECT_EQ(chip->Status(), 0x00);
}

// Row 57: block protect, watchdog and WPEN from the controls, then the
// protected half; the Options entry reports a chip that never gets ready.
TEST_F(SpiDialog, Row57ProgramsReadsAndProtects) {
    Prepare("XICOR", "X5163");
    TOpt25xxx1_ d;
    d.RadioGroup2->Item(2)->click();
    d.RadioGroup5->Item(2)->click();
    d.ComboBoxWpen->setCurrentIndex(1);
    d.Button2->click();
    EXPECT_EQ(d.ProgramResult, 1);
    EXPECT_EQ(chip->Status(), 0xA8);
    ResetOptions();
    d.Button1->click();
    ExpectLinesInOrder({" Status Register : a8", "Read ok!"});
    EXPECT_EQ(d.RadioGroup2->ItemIndex(), 2);
    EXPECT_EQ(d.RadioGroup5->ItemIndex(), 2);
    EXPECT_EQ(d.ComboBoxWpen->currentIndex(), 1);
    ExpectUpperHalfProtected();
}

// "Protect All" lands and reads back; over a status register that runs the
// write and keeps nothing it ends "Program error!" with the value written and
// the value read. Bits the part lacks (WPEN on the 512-byte supervisors, here
// left "Hi" by another device) are not compared.
TEST_F(SpiDialog, AStatusWriteThatDidNotLandEndsProgramError) {
    for (const auto& [maker, name, written] :
         {std::tuple{"ATMEL", "AT25080", "0c"}, std::tuple{"XICOR", "X5045", "8c"}}) {
        SCOPED_TRACE(name);
        Prepare(maker, name);
        std::unique_ptr<TOpt25Dialog> d;
        if (CurrentAlgorithm == 57) {
            Opt25xxx1Wpen = 1;
            d = std::make_unique<TOpt25xxx1_>();
        } else {
            d = std::make_unique<TOpt25xxx>();
        }
        d->Groups[0]->Item(3)->click();
        d->Button2->click();
        EXPECT_EQ(d->ProgramResult, 1) << LogText();
        EXPECT_EQ(chip->Status(), 0x0C);
        chip->SetStatus(0);
        chip->FreezeStatus();
        runStart_ = ui.Log.size();
        d->Button2->click();
        EXPECT_EQ(d->ProgramResult, -1);
        ExpectLinesInOrder({std::string(" Status Register : ") + written + " written, 00 read", "Program error!"});
        EXPECT_FALSE(HasLine("Program ok!"));
    }
}

TEST_F(SpiDialog, OptionsEntriesReportANeverReadyChip) {
    for (const auto& [maker, name, row] : {std::tuple{"ATMEL", "AT25080", 13u}, std::tuple{"XICOR", "X5045", 57u}}) {
        SCOPED_TRACE(name);
        Prepare(maker, name);
        InstallOpt25Dialogs();
        chip->NeverReady();
        QTimer::singleShot(0, [] {
            auto* d = qobject_cast<TOpt25Dialog*>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            d->Button2->click();
            d->BitBtn1->click();
        });
        EXPECT_EQ(AlgorithmRow(row)->Options(), -1);
        EXPECT_TRUE(HasLine("Program error!"));
    }
}

// A status read the programmer does not answer logs "Read error!", not
// "Read ok!", and leaves the controls as they were.
TEST_F(SpiDialog, AFailedReadSaysSo) {
    Prepare("ATMEL", "AT25080");
    TOpt25xxx d;
    d.RadioGroup1->Item(2)->click();
    simp.StopAnswering(true, 0x78);
    runStart_ = ui.Log.size();
    d.Button1->click();
    EXPECT_TRUE(HasLine("Read error!")) << LogText();
    EXPECT_FALSE(HasLine("Read ok!")) << LogText();
    EXPECT_EQ(d.RadioGroup1->ItemIndex(), 2);
    simp.StopAnswering(false);
}

} // namespace
