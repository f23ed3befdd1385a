// The configuration options dialog: every control reaches its setting and the
// information panel at once, the address corrections, the buffer end of the
// split modes, hexadecimal filtering of typed and pasted text, and refusal
// while an operation runs.
#include <QCheckBox>
#include <QSlider>

#include "ShellTestSupport.h"
#include "dialogs/RadioGroup.h"
#include "engine/FakePpdev.h"

namespace {

class CfgOptTest : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        ASSERT_EQ(ShowConfigOptions(form.get()), 0);
        d = CfgOpt;
    }
    // Types into an address edit and leaves it.
    void Type(QLineEdit* edit, const QString& text) {
        edit->setText(text);
        d->CheckValue();
    }
    TCfgOpt* d = nullptr;
};

TEST_F(CfgOptTest, EveryChangeReachesTheSettingAndThePanel) {
    d->CheckBox1->click();
    EXPECT_EQ(BufferClearBeforeLoad, 1u);
    // Port: LPT3 gives 278h; "Auto" probes from 378h and the panel says so.
    d->RadioGroupPort->Item(3)->click();
    EXPECT_EQ(PortIndex, 3u);
    EXPECT_EQ(PortBase, 0x278);
    EXPECT_EQ(form->BasePort->text(), "278h");
    d->RadioGroupPort->Item(0)->click();
    EXPECT_EQ(PortBase, 0x378);
    EXPECT_EQ(form->BasePort->text(), "Auto");
    d->TrackBar1->setValue(2);
    EXPECT_EQ(PortDelayCount, 20u);
    d->RadioGroupGang->Item(3)->click();
    EXPECT_EQ(form->GangSize->text(), "4");
    d->EditFill->selectAll();
    QTest::keyClicks(d->EditFill, "a5");
    EXPECT_EQ(FillByte, 0xA5u);

    // Reopening shows what is in force.
    d->close();
    ASSERT_EQ(ShowConfigOptions(form.get()), 0);
    EXPECT_TRUE(d->CheckBox1->isChecked());
    EXPECT_EQ(d->EditFill->text(), "a5");
    EXPECT_EQ(d->TrackBar1->value(), 2);
    EXPECT_EQ(d->RadioGroupGang->ItemIndex(), 3);
}

TEST_F(CfgOptTest, ChoosingAnotherPortReopensTheBackendThere) {
    using Opened = std::vector<std::pair<std::string, uint16_t>>;
    fakeppdev::Install();
    unsetenv("PROGRAMMER_PORT");
    ASSERT_EQ(OpenGiveioDriver(), 0);
    d->RadioGroupPort->Item(2)->click();
    EXPECT_EQ(fakeppdev::g_opened, (Opened{{"/dev/parport1", 0x3BC}}));
    d->TrackBar1->setValue(3); // another setting: the port stays open
    d->RadioGroupPort->Item(3)->click();
    EXPECT_EQ(fakeppdev::g_opened, (Opened{{"/dev/parport1", 0x3BC}, {"/dev/parport2", 0x278}}));
    EXPECT_TRUE(CurrentPortIo().Reaches(0x278));
    EXPECT_EQ(fakeppdev::g_mostClaimed, 1);
    fakeppdev::Remove();
}

TEST_F(CfgOptTest, AddressCorrectionsAndSplitBufferEnd) {
    // A chip end beyond the device: the last device address, all fields shown again.
    d->EditLoadFileOffset->setText("10");
    Type(d->EditChipEnd, "ffff");
    EXPECT_EQ(DeviceEnd, 0x3FFFu);
    EXPECT_EQ(d->EditChipEnd->text(), "3fff");
    EXPECT_EQ(LoadFileOffset, 0x10u);
    Type(d->EditChipEnd, "ff");
    Type(d->EditChipStart, "100");
    EXPECT_EQ(DeviceStart, 0u); // beyond the end
    EXPECT_EQ(d->EditChipStart->text(), "0");
    Type(d->EditSaveBufferEnd, "10");
    Type(d->EditSaveBufferStart, "20");
    EXPECT_EQ(SaveBufferStart, 0u);
    Type(d->EditSaveBufferStart, "8");
    EXPECT_EQ(SaveBufferStart, 8u);

    // Split "Even" over 0-3FFFh: buffer end 7FFFh; FFFFh for a 16-bit device.
    Type(d->EditChipEnd, "3fff");
    d->RadioGroupSplit->Item(1)->click();
    EXPECT_EQ(WordMode, 1u);
    EXPECT_EQ(BufferEnd, 0x7FFFu);
    EXPECT_EQ(d->EditBufferEnd->text(), "7fff");
    EXPECT_EQ(form->Split->text(), "B: Even  ");
    DataWidth = 16;
    Type(d->EditBufferStart, "0");
    EXPECT_EQ(d->EditBufferEnd->text(), "ffff");
    d->RadioGroupSplit->Item(3)->click(); // one byte of four
    EXPECT_EQ(BufferEnd, 2u * (4 * 0x3FFF + 3) + 1);

    // A device without a size keeps its range at 0.
    DataWidth = 8;
    DeviceSize = 0;
    Type(d->EditChipEnd, "10");
    EXPECT_EQ(DeviceEnd, 0u);
    EXPECT_EQ(d->EditChipEnd->text(), "0");
}

// A Buffer Start, Chip End or split mode that would put the range's last
// buffer byte past the buffer's is not taken: a box names Buffer End and
// the buffer's size, the range stays as it was; the last byte itself is
// taken (a 16-bit device's Buffer Start in words).
TEST_F(CfgOptTest, ARangePastTheBuffersLastByteIsNotTaken) {
    Type(d->EditChipEnd, "ff");
    Type(d->EditBufferStart, "fffff00");
    EXPECT_EQ(BufferStart, 0xFFFFF00u);
    EXPECT_EQ(d->EditBufferEnd->text(), "fffffff");
    struct Case {
        QLineEdit* edit;
        const char* text;
        int split;
    };
    const Case cases[] = {{d->EditBufferStart, "fffff01", -1}, {d->EditChipEnd, "100", -1}, {nullptr, "", 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        BoxAnswer box;
        AnswerNextBox(QMessageBox::Ok, &box);
        if (c.edit != nullptr) {
            Type(c.edit, c.text);
        } else {
            d->RadioGroupSplit->Item(c.split)->click();
        }
        EXPECT_EQ(box.seen, 1);
        EXPECT_TRUE(box.text.startsWith("Buffer End 1000"));
        EXPECT_TRUE(box.text.endsWith("past the buffer's last byte FFFFFFFh (buffer size 256 MB)."));
        EXPECT_EQ((std::vector<uint32_t>{BufferStart, DeviceEnd, WordMode, BufferEnd}),
                  (std::vector<uint32_t>{0xFFFFF00, 0xFF, 0, 0xFFFFFFF}));
        EXPECT_EQ(d->EditBufferStart->text() + d->EditChipEnd->text(), "fffff00ff");
        EXPECT_EQ(d->RadioGroupSplit->ItemIndex(), 0);
    }
    DataWidth = 16;
    Type(d->EditBufferStart, "7ffff00");
    EXPECT_EQ(d->EditBufferEnd->text(), "fffffff");
    BoxAnswer box;
    AnswerNextBox(QMessageBox::Ok, &box);
    Type(d->EditBufferStart, "7ffff01");
    EXPECT_EQ(box.text, "Buffer End 10000001h past the buffer's last byte FFFFFFFh (buffer size 256 MB).");
    EXPECT_EQ(BufferStart, 0x7FFFF00u);
}

TEST_F(CfgOptTest, HexOnlyAndEscKeepsTheFocusedValue) {
    d->EditChipStart->clear();
    d->EditChipStart->insert("12g4"); // what a paste inserts
    EXPECT_EQ(d->EditChipStart->text(), "");
    d->EditFill->clear();
    QTest::keyClicks(d->EditFill, "x-7");
    EXPECT_EQ(d->EditFill->text(), "7");
    EXPECT_EQ(FillByte, 7u);
    d->EditChipStart->setText("");
    d->CheckValue();
    EXPECT_EQ(DeviceStart, 0u); // an emptied field reads as 0

    d->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(d));
    d->PageControl1->setCurrentIndex(3);
    d->EditChipEnd->setFocus();
    ASSERT_TRUE(WaitUntil([&] { return d->EditChipEnd->hasFocus(); }));
    d->EditChipEnd->setText("1ff");
    QTest::keyClick(d, Qt::Key_Escape);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(DeviceEnd, 0x1FFu);
}

TEST_F(CfgOptTest, RefusedWhileAnOperationRuns) {
    OperationBusy.store(true);
    d->CheckBox1->click();
    EXPECT_EQ(BufferClearBeforeLoad, 0u);
    EXPECT_FALSE(d->CheckBox1->isChecked());
    d->RadioGroupPort->Item(2)->click();
    EXPECT_EQ(PortIndex, 0u);
    EXPECT_EQ(d->RadioGroupPort->ItemIndex(), 0);
    Type(d->EditChipEnd, "ff");
    EXPECT_EQ(DeviceEnd, 0x3FFFu);
    EXPECT_EQ(d->EditChipEnd->text(), "3fff");
    d->close();
    EXPECT_EQ(ShowConfigOptions(form.get()), -1);
    OperationBusy.store(false);
}

} // namespace
