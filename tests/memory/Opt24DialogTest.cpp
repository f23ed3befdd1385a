// The block-protect dialogs of rows 14 and 16, offscreen: the program button
// writes the register from the controls, the read button reloads them, and a
// protected block then fails the verify of a program run.
#include <QApplication>
#include <cstdio>
#include <memory>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include "MemoryFixture.h"
#include "OffscreenApp.h"
#include "dialogs/RadioGroup.h"
#include "memory/Opt24fxx.h"
#include "memory/Opt24xxx.h"
#include "memory/SerialEeprom.h"
#include "sim/SerialEngine.h"
#include "sim/SerialParts.h"

namespace {

class Opt24 : public MemoryRun {
public:
    void Mark() { runStart_ = ui.Log.size(); }
    using MemoryRun::ExpectLinesInOrder;
    using MemoryRun::HasLine;
    using MemoryRun::LogText;

protected:
    sim::TwoWireChip* chip = nullptr;
    uint32_t half_ = 0;
    void SetUp() override {
        App();
        MemoryRun::SetUp();
        sim::RegisterSerialPersonality();
        Opt24fxxBlockProtect = Opt24fxxPpen = Opt24xxxBlockProtect = Opt24xxxWpen = 0;
    }
    void Seat(const char* maker, const char* name) {
        ASSERT_TRUE(Select(maker, name));
        chip = static_cast<sim::TwoWireChip*>(sim::SeatSerialPart(*socket, *elec, *sim::FindSerialPart(maker, name)));
        // 128 bytes around the middle of the part.
        half_ = DeviceSize / 2;
        DeviceStart = BufferStart = half_ - 64;
        DeviceEnd = half_ + 63;
        FillPattern(BufferByteSize, 4);
        ASSERT_EQ(Run(OpProgram), 1) << LogText(); // also loads the image
    }
    // Upper half, protect-enable "Hi", programmed through the dialog.
    void ProgramUpperHalf(TOpt24Dialog& d) {
        d.RadioGroup1->Item(2)->click();
        d.PinCombo->setCurrentIndex(1);
        d.ProgramButton->click();
    }
    // The upper half takes no new data: the verify fails there, not below.
    void ExpectUpperHalfProtected() {
        const uint32_t half = half_;
        for (uint32_t a = DeviceStart; a <= DeviceEnd; ++a) FillBufferRange(a, a, BufferByte(a) ^ 0x5A);
        BufferIndex = DeviceStart;
        EXPECT_EQ(AlgorithmRow(CurrentAlgorithm)->Program(), 1);
        EXPECT_EQ(Run(OpVerify), -1) << LogText();
        EXPECT_EQ(chip->Byte(half - 1), BufferByte(half - 1));
        EXPECT_NE(chip->Byte(half), BufferByte(half));
    }
};

TEST_F(Opt24, Row14ProgramsReadsAndProtects) {
    Seat("XICOR", "X24F128");
    TOpt24Fxx_ d;
    EXPECT_EQ(d.windowTitle(), "Block Protect");
    EXPECT_EQ(d.ComboBoxPpen->count(), 2);
    simp.EnableTrace(true);
    runStart_ = ui.Log.size();
    ProgramUpperHalf(d);
    EXPECT_EQ(d.ProgramResult, 1);
    EXPECT_TRUE(HasLine("Program ok!"));
    bool sent92 = false;
    for (const auto& a : simp.RegisterTrace()) sent92 |= a.write && a.reg == 6 && a.value == 0x92;
    EXPECT_TRUE(sent92);
    EXPECT_EQ(chip->ProtectRegister(), 0x90);
    Opt24fxxBlockProtect = 0;
    Opt24fxxPpen = 0;
    d.Button1->click();
    ExpectLinesInOrder({" Protect Register : 90", "Read ok!"});
    EXPECT_EQ(d.RadioGroup1->ItemIndex(), 2);
    EXPECT_EQ(d.ComboBoxPpen->currentIndex(), 1);
    ExpectUpperHalfProtected();
}

TEST_F(Opt24, Row16ProgramsReadsAndProtects) {
    Seat("XICOR", "X24645");
    TOpt24xxx_ d;
    runStart_ = ui.Log.size();
    ProgramUpperHalf(d);
    EXPECT_EQ(d.ProgramResult, 1);
    EXPECT_EQ(chip->ProtectRegister(), 0x90);
    Opt24xxxBlockProtect = Opt24xxxWpen = 0;
    d.ReadButton->click();
    EXPECT_TRUE(HasLine("Read ok!"));
    EXPECT_EQ(Opt24xxxBlockProtect, 2);
    EXPECT_EQ(d.ComboBoxWpen->currentIndex(), 1);
    ExpectUpperHalfProtected();
}

// "Protect All" and then "None" with the pin enable "Low" (the value 0, sent
// as 02h) each land and read back; a register that keeps its value ends
// "Program error!" with the value written and the value read.
void ExpectEachWriteReadsBack(Opt24& t, sim::TwoWireChip*& chip, TOpt24Dialog& d) {
    for (const auto& [item, stored] : {std::pair{3, 0x18}, std::pair{0, 0x00}}) {
        t.Mark();
        d.RadioGroup1->Item(item)->click();
        d.PinCombo->setCurrentIndex(0);
        d.ProgramButton->click();
        EXPECT_EQ(d.ProgramResult, 1) << t.LogText();
        EXPECT_TRUE(t.HasLine("Program ok!"));
        EXPECT_EQ(chip->ProtectRegister() & 0x98, stored);
    }
    chip->SetProtectRegister(0x98);
    chip->FreezeRegister();
    t.Mark();
    d.RadioGroup1->Item(0)->click();
    d.ProgramButton->click();
    EXPECT_EQ(d.ProgramResult, -1);
    t.ExpectLinesInOrder({" Protect Register : 02 written, 98 read", "Program error!"});
    EXPECT_FALSE(t.HasLine("Program ok!"));
}

TEST_F(Opt24, Row14EachRegisterWriteReadsBack) {
    Seat("XICOR", "X24F032");
    TOpt24Fxx_ d;
    ExpectEachWriteReadsBack(*this, chip, d);
}

TEST_F(Opt24, Row16EachRegisterWriteReadsBack) {
    Seat("XICOR", "X24325");
    TOpt24xxx_ d;
    ExpectEachWriteReadsBack(*this, chip, d);
}

TEST_F(Opt24, Row16EachRegisterWriteReadsBackOnThe8KPart) {
    Seat("XICOR", "X24645");
    TOpt24xxx_ d;
    ExpectEachWriteReadsBack(*this, chip, d);
}

// A range that starts at the protect register's address (the part's last
// byte on these parts) would set the register or read it instead of the
// array byte: it is refused with its line, the part left as it was. From
// one byte below, the last byte is programmed and read back.
TEST_F(Opt24, ARangeStartingAtTheProtectRegistersAddressIsRefused) {
    for (const char* name : {"X24F032", "X24325", "X24645"}) {
        SCOPED_TRACE(name);
        socket->Clear();
        Seat("XICOR", name);
        const uint32_t top = DeviceSize - 1;
        const uint8_t protect = chip->ProtectRegister();
        ASSERT_EQ(chip->Byte(top), 0xFF);
        DeviceStart = BufferStart = DeviceEnd = top;
        FillBufferRange(top, top, 0x3C);
        runStart_ = ui.Log.size();
        char line[96];
        std::snprintf(line, sizeof line,
                      " Start address %Xh is the protect register's address: start the range below it.", top);
        BlankCheckBeforeProgram = 0;
        EXPECT_EQ(Run(OpProgram), -1);
        EXPECT_TRUE(HasLine(line)) << LogText();
        EXPECT_EQ(DatumLines(), "") << LogText(); // nothing was read
        EXPECT_EQ(Run(OpRead), -1);
        EXPECT_EQ(chip->Byte(top), 0xFF);
        EXPECT_EQ(chip->ProtectRegister(), protect);
        EXPECT_EQ(BufferByte(top), 0x3C);

        DeviceStart = BufferStart = top - 1;
        FillBufferRange(top - 1, top - 1, 0xC3);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(chip->Byte(top - 1), 0xC3);
        EXPECT_EQ(chip->Byte(top), 0x3C);
        FillBufferRange(top - 1, top, 0x00);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(BufferByte(top - 1), 0xC3);
        EXPECT_EQ(BufferByte(top), 0x3C);
        EXPECT_EQ(chip->ProtectRegister(), protect);
    }
}

// The Options entry shows the dialog modally and returns the last program
// result; a chip that never acknowledges after the write gives -1.
TEST_F(Opt24, Row16OptionsReportsTheChipNeverAcknowledging) {
    Seat("XICOR", "X24325");
    InstallOpt24Dialogs();
    chip->NeverReady();
    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<TOpt24xxx_*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        d->ProgramButton->click();
        d->BitBtn1->click();
    });
    runStart_ = ui.Log.size();
    EXPECT_EQ(AlgorithmRow(16)->Options(), -1);
    EXPECT_TRUE(HasLine("Program error!"));
}

// A register read that fails (the programmer stops answering; on row 16 also
// a part that does not take the read) logs "Read error!", never "Read ok!",
// and leaves the controls as they were.
TEST_F(Opt24, AFailedReadSaysSo) {
    struct Case {
        const char* name;
        bool row16;
        bool stopProgrammer; // else the socket is emptied
    };
    for (const Case& c : {Case{"X24F128", false, true}, Case{"X24645", true, true}, Case{"X24645", true, false}}) {
        SCOPED_TRACE(std::string(c.name) + (c.stopProgrammer ? " stopped" : " empty"));
        simp.StopAnswering(false);
        socket->Clear();
        Seat("XICOR", c.name);
        std::unique_ptr<TOpt24Dialog> d;
        if (c.row16) d = std::make_unique<TOpt24xxx_>(); else d = std::make_unique<TOpt24Fxx_>();
        d->RadioGroup1->Item(1)->click();
        if (c.stopProgrammer) simp.StopAnswering(true, 0x78); else socket->Clear();
        chip = nullptr;
        runStart_ = ui.Log.size();
        d->ReadButton->click();
        EXPECT_TRUE(HasLine("Read error!")) << LogText();
        EXPECT_FALSE(HasLine("Read ok!")) << LogText();
        EXPECT_EQ(d->RadioGroup1->ItemIndex(), 1);
        EXPECT_EQ(c.row16 ? Opt24xxxBlockProtect : Opt24fxxBlockProtect, 1);
    }
    simp.StopAnswering(false);
}

} // namespace
