// Row 96's option dialog offscreen on the simulated PROM: what it shows on
// create, the USERCODE and mode it programs, and the outcomes it reports.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "JtagFixture.h"
#include "OffscreenApp.h"
#include "engine/AlgorithmTable.h"
#include "memory/OptXC18V00.h"

namespace {

class OptXC18V00 : public JtagPromRun {
protected:
    void SetUp() override {
        App();
        JtagPromRun::SetUp();
        InstallOptXC18V00Dialog();
        chip = Select96("XC18V01");
        ASSERT_EQ(CheckCommunication(MainEngine), 1);
        PrepareOperation(MainEngine);
    }
    // Presses the button with the fields set as given; the line it logs.
    std::string Press(TOptXC18V00_& d, const QString& code, int mode) {
        d.EditUsercode->setText(code);
        d.ComboBoxMode->setCurrentIndex(mode);
        runStart_ = ui.Log.size();
        tones.clear();
        d.ButtonProgram->click();
        EXPECT_EQ(tones.size(), 1u);
        return ui.Log.empty() ? "" : ui.Log.back();
    }
    sim::IspPromChip* chip = nullptr;
};

TEST_F(OptXC18V00, ShowsTheChipsUsercodeAndMode) {
    struct Case {
        uint32_t usercode;
        uint8_t control;
        const char* text;
        int mode;
    };
    for (const Case& c : {Case{0x5A595857, 5, "WXYZ", 1}, Case{0x00004241, 7, "AB", 0}}) {
        chip->SetUsercode(c.usercode);
        chip->SetControlBits(c.control);
        TOptXC18V00_ d;
        EXPECT_EQ(d.windowTitle(), "Option");
        EXPECT_EQ(d.Label1->text(), "&USERCODE");
        EXPECT_EQ(d.Label2->text(), "&CONFIGURATION MODE");
        EXPECT_EQ(d.ButtonProgram->text(), "&Program USERCODE, Control Bits");
        EXPECT_EQ(d.BitBtnClose->text(), "&Close");
        EXPECT_EQ(d.EditUsercode->maxLength(), 4);
        ASSERT_EQ(d.ComboBoxMode->count(), 2);
        EXPECT_EQ(d.ComboBoxMode->itemText(0), "SERIAL");
        EXPECT_EQ(d.ComboBoxMode->itemText(1), "PARALLEL");
        EXPECT_FALSE(d.ComboBoxMode->isEditable());
        EXPECT_EQ(d.EditUsercode->text().toStdString(), c.text);
        EXPECT_EQ(d.ComboBoxMode->currentIndex(), c.mode);
    }
    ExpectPoweredDown();
}

// A short USERCODE is padded with 00h; a mode change back to serial and a
// second, different USERCODE cannot undo programmed bits.
TEST_F(OptXC18V00, ProgramsUsercodeAndMode) {
    const std::string ok = "Program USERCODE, Control Bits ok!", error = "Program USERCODE, Control Bits error!";
    TOptXC18V00_ d;
    EXPECT_EQ(Press(d, "AB", 0), ok);
    EXPECT_EQ(tones.front().first, 1193182 / 1000);
    EXPECT_EQ(chip->Usercode(), 0x00004241u);
    EXPECT_EQ(std::vector<uint8_t>(Usercode96, Usercode96 + 4), (std::vector<uint8_t>{0x41, 0x42, 0, 0}));
    EXPECT_EQ(chip->ControlBits(), 7);
    EXPECT_EQ(Press(d, "CD", 0), error);
    EXPECT_EQ(tones.front().first, 1193182 / 10000);

    chip = Reseat(Facts96("XC18V01"));
    EXPECT_EQ(Press(d, "WXYZ", 1), ok);
    EXPECT_EQ(chip->ControlBits() & 2, 0);
    EXPECT_EQ(Press(d, "WXYZ", 0), error);
    ExpectPoweredDown();
    ExpectNoViolations();
}

// Leaving the fields stores them; the Options entry shows the dialog modally
// at Left + 320, Top + 100.
TEST_F(OptXC18V00, OptionsEntryShowsTheDialogModally) {
    QPoint at;
    QTimer::singleShot(0, [&at] {
        auto* d = dynamic_cast<TOptXC18V00_*>(QApplication::activeModalWidget());
        if (d == nullptr) {
            ADD_FAILURE() << "no modal option dialog";
            return;
        }
        at = d->pos();
        d->EditUsercode->setText("K");
        d->ComboBoxMode->setCurrentIndex(1);
        d->BitBtnClose->click();
    });
    AlgorithmRow(96)->Options();
    EXPECT_EQ(at, QPoint(GetMainFormLeft() + 320, GetMainFormTop() + 100));
    EXPECT_EQ(std::vector<uint8_t>(Usercode96, Usercode96 + 4), (std::vector<uint8_t>{'K', 0, 0, 0}));
    EXPECT_EQ(ConfigMode96, 1u);
}

// A USERCODE read that fails (no part answers the IDCODE) shows empty fields
// and a line saying so, not the values of the part read before.
TEST_F(OptXC18V00, AFailedReadShowsNothingOfTheLastPart) {
    socket->Clear();
    elec->WithdrawAllChips();
    chip = Select96("XC18V02"); // a variant whose IDCODE is checked
    ASSERT_EQ(CheckCommunication(MainEngine), 1);
    PrepareOperation(MainEngine);
    chip->SetUsercode(0x5A595857);
    chip->SetControlBits(5);
    {
        TOptXC18V00_ d;
        EXPECT_EQ(d.EditUsercode->text(), "WXYZ");
    }
    socket->Clear();
    elec->WithdrawAllChips();
    runStart_ = ui.Log.size();
    TOptXC18V00_ d;
    EXPECT_TRUE(HasLine("Read USERCODE, Control Bits error!")) << LogText();
    EXPECT_EQ(d.EditUsercode->text(), "");
    EXPECT_EQ(d.ComboBoxMode->currentIndex(), -1);
}

} // namespace
