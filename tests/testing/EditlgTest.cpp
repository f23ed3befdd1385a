// The IC test form: grid, settings, Test and its messages.
#include <QFontMetricsF>
#include <QTest>
#include <tuple>

#include "FormChecks.h"
#include "FormFixture.h"
#include "testing/TestRun.h"

namespace {

class Editlg : public FormFixture {};

const std::string k7400Line1 = "11L11LGL11L11V";
const std::string k7400Line2 = "00H00HGH00H00V";

TEST_F(Editlg, PinCountIsEvenAndClampedAndSetsTheGridWidth) {
    struct Case {
        const char* typed;
        int pins;
    };
    // Columns of one width whatever the pin count; the side keeps its width
    // right of the grid's scroll bar.
    const int column = form->LabelSize0->width() / form->pins;
    const int side = form->width() - column * form->pins;
    EXPECT_GE(column, 8);
    for (const Case& c : {Case{"7", 6}, {"", 8}, {"50", 48}, {"16", 16}, {"9", 8}, {"14", 14}}) {
        SCOPED_TRACE(c.typed);
        // 7 becomes 6, which is then raised to 8.
        SetPins(c.typed);
        EXPECT_EQ(IcPinCount, std::max(c.pins, 8));
        EXPECT_EQ(form->pins, IcPinCount);
        EXPECT_EQ(form->LabelSize0->width(), column * IcPinCount);
        EXPECT_EQ(form->width(), side + column * IcPinCount);
        EXPECT_EQ(form->ScrollBar1->x(), form->PanelData->geometry().right() + 1);
        ExpectLeftOf(form->ScrollBar1, form->ButtonTest);
        ExpectLeftOf(form->ScrollBar1, form->GroupBoxInfo);
        EXPECT_EQ(form->MaskEditPins->text(), QString::number(IcPinCount));
    }
    SetPins("14");
    EXPECT_EQ(form->lineCapacity, 4681);
    EXPECT_EQ(form->byteCapacity, 65534);
    EXPECT_EQ(form->ScrollBar1->maximum(), 4681);
}

TEST_F(Editlg, TypedSymbolsAreStoredUpperCasedAndOthersIgnored) {
    form->EditData[0]->setFocus();
    QTest::keyClicks(form->EditData[0], "1h0qx.");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(IcVectorBuffer), 5), std::string("1H0X\0", 5));
    EXPECT_EQ(form->EditData[0]->text(), "1H0X..........");
    EXPECT_EQ(form->LabelAddrPos->text(), "1,6");
    // The cursor wraps from the last column to the next line.
    QTest::keyClick(form->EditData[0], Qt::Key_End);
    QTest::keyClicks(form->EditData[0], "V");
    EXPECT_EQ(IcVectorBuffer[13], 'V');
    EXPECT_EQ(form->LabelAddrPos->text(), "2,1");
}

TEST_F(Editlg, PagesMoveSixteenLinesWithinTheList) {
    form->ScrollBar1->setValue(19);
    EXPECT_EQ(form->LabelAddr[0]->text(), "00020");
    QTest::keyClick(form->EditData[0], Qt::Key_PageUp);
    EXPECT_EQ(form->LabelAddr[0]->text(), "00004");
    form->ScrollBar1->setValue(9);
    QTest::keyClick(form->EditData[0], Qt::Key_PageUp);
    EXPECT_EQ(form->LabelAddr[0]->text(), "00001");
    QTest::keyClick(form->EditData[0], Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(form->LabelAddr[0]->text(), "04666");
    EXPECT_EQ(form->LabelAddr[15]->text(), "04681");
    QTest::keyClick(form->EditData[0], Qt::Key_PageDown);
    EXPECT_EQ(form->LabelAddr[0]->text(), "04666");
    QTest::keyClick(form->EditData[0], Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(form->LabelAddr[0]->text(), "00001");
    // Up on the first row scrolls no further than line 1; Down on the last
    // row scrolls one line.
    QTest::keyClick(form->EditData[0], Qt::Key_Up);
    EXPECT_EQ(form->LabelAddr[0]->text(), "00001");
    for (int i = 0; i < 16; ++i) QTest::keyClick(form->EditData[form->row], Qt::Key_Down);
    EXPECT_EQ(form->LabelAddr[0]->text(), "00002");
    EXPECT_EQ(form->LabelAddrPos->text(), "17,1");
}

TEST_F(Editlg, SupplyAndDelayTypedAreClampedAndUsed) {
    form->MaskEditVcc->setText("9.9V");
    QTest::keyRelease(form->MaskEditVcc, Qt::Key_9);
    EXPECT_EQ(form->vcc, 70);
    EXPECT_EQ(form->MaskEditVcc->text(), "7.0V");
    EXPECT_EQ(form->UpDownVcc->value(), 70);
    form->MaskEditVcc->setText("1.5V");
    QTest::keyRelease(form->MaskEditVcc, Qt::Key_5);
    EXPECT_EQ(form->MaskEditVcc->text(), "2.0V");
    form->UpDownVcc->setValue(33);
    EXPECT_EQ(form->vcc, 33);
    EXPECT_EQ(form->MaskEditVcc->text(), "3.3V");
    // A typed delay is taken at once, not only at the next up-down click.
    form->MaskEditDelay->setText("25mS");
    QTest::keyRelease(form->MaskEditDelay, Qt::Key_5);
    EXPECT_EQ(form->delayMs, 25);
    EXPECT_EQ(form->UpDownDelay->value(), 25);
    form->ComboBoxXvalue->setCurrentIndex(0);
    EXPECT_EQ(form->xLevel, 0);
    form->ComboBoxXvalue->setCurrentIndex(1);
    EXPECT_EQ(form->xLevel, 1);
}

TEST_F(Editlg, ADotEndsTheListWhereItStands) {
    Seat("SN7400");
    // A '.' in column 5 of line 1: no whole line is left.
    Fill(k7400Line1 + k7400Line2);
    IcVectorBuffer[4] = 0;
    form->ButtonTestClick();
    EXPECT_EQ(Texts(), std::vector<std::string>{"Buffer is empty."});
    EXPECT_EQ(IcVectorBuffer[0], 0);
    // A '.' in column 14 of line 3: three lines, the third without its last pin.
    ui.Clear();
    Fill(k7400Line1 + k7400Line2 + k7400Line1 + k7400Line2);
    IcVectorBuffer[2 * 14 + 13] = 0;
    form->ButtonTestClick();
    EXPECT_EQ(form->lineCount, 3);
    EXPECT_EQ(Texts(), std::vector<std::string>{"Ic Test Pass."});
    EXPECT_EQ(IcVectorBuffer[3 * 14], 0);
    EXPECT_EQ(Violations(), "");
}

TEST_F(Editlg, PassAndFailAreReportedWithTheFailingLine) {
    Seat("SN7400");
    Fill(k7400Line1 + k7400Line2);
    form->ButtonTestClick();
    EXPECT_EQ(Texts(), std::vector<std::string>{"Ic Test Pass."});
    ASSERT_FALSE(ui.Progress.empty());
    EXPECT_NE(std::find(ui.Progress.begin(), ui.Progress.end(), 100), ui.Progress.end());
    EXPECT_EQ(ui.Progress.back(), 0);
    EXPECT_EQ(HighTones(), 1);

    ui.Clear();
    Fill(k7400Line1 + k7400Line2 + "11H11LGL11L11V");
    form->ButtonTestClick();
    EXPECT_EQ(Texts(), std::vector<std::string>{"Vector Test Fail.\nTest In:11H11LGL11L11V\n"
                                                "Test Out:  L  L L  L   \nLocation:3"});
    EXPECT_EQ(LowTones(), 1);
    EXPECT_EQ(Violations(), "");
    // The outputs are released after the run.
    EXPECT_TRUE(elec->SuppliedPins().empty() && elec->GroundedPins().empty());
}

TEST_F(Editlg, AFullGridIsTestedInsideTheBuffer) {
    // 8 pins fill all 65536 bytes: the line after the last is past the list.
    SetPins("8");
    std::memset(IcVectorBuffer, '1', 65536);
    form->ButtonTestClick();
    EXPECT_EQ(form->lineCount, 8192);
    EXPECT_EQ(IcVectorBuffer[65535], '1');
    EXPECT_EQ(IcVectorBuffer[65536], 0);
    EXPECT_EQ(Texts(), std::vector<std::string>{"Ic Test Pass."});
    // The progress passes every percent once on a long list.
    EXPECT_EQ(std::count(ui.Progress.begin(), ui.Progress.end(), 50), 1);
}

// The last line of a completely full grid is applied and checked like any:
// here it expects a level the empty socket cannot give.
TEST_F(Editlg, TheLastLineOfAFullGridIsApplied) {
    SetPins("8");
    std::memset(IcVectorBuffer, '1', 65536);
    std::memcpy(IcVectorBuffer + 65536 - 8, "H1111111", 8);
    form->ButtonTestClick();
    EXPECT_EQ(form->lineCount, 8192);
    EXPECT_EQ(Texts(), std::vector<std::string>{"Vector Test Fail.\nTest In:H1111111\nTest Out:Z       \n"
                                                "Location:8192"});
}

TEST_F(Editlg, RefusesWithoutProgrammerOrLibrary) {
    Fill(k7400Line1);
    simp.StopAnswering(true);
    form->ButtonTestClick();
    ASSERT_EQ(ui.Boxes.size(), 1u);
    EXPECT_EQ(ui.Boxes[0].text, "Can not be executed with Communication Error!");
    EXPECT_EQ(ui.Boxes[0].caption, "Error");
    ui.Clear();
    form->ButtonFileClick();
    form->ButtonAutoFindClick();
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Unable to open \"lg.dat\"!", "Unable to open \"lg.dat\"!"}));
}

// Enter in the pin count applies it there: the form's default button
// ("&Select") opens no library, and no box shows.
TEST_F(Editlg, EnterInThePinCountAppliesItAndOpensNothing) {
    WriteLibrary(".7400 14\r\n" + k7400Line1 + "\r\n");
    int opened = 0;
    onLibrary = [&opened](TEditLgFile*) { return ++opened, 2; };
    form->show();
    QApplication::processEvents();
    ASSERT_TRUE(form->ButtonFile->isDefault() || form->ButtonFile->autoDefault());
    for (auto [key, typed, pins] : {std::tuple{Qt::Key_Return, "16", 16}, {Qt::Key_Enter, "9", 8}}) {
        form->MaskEditPins->setFocus();
        form->MaskEditPins->selectAll();
        QTest::keyClicks(form->MaskEditPins, typed);
        QTest::keyClick(form->MaskEditPins, key);
        QApplication::processEvents();
        EXPECT_EQ(IcPinCount, pins) << typed;
        EXPECT_EQ(form->pins, pins) << typed;
    }
    EXPECT_EQ(opened, 0);
    EXPECT_TRUE(ui.Boxes.empty());
    // The button itself still opens the library.
    form->ButtonFile->click();
    EXPECT_EQ(opened, 1);
    form->hide();
}

} // namespace

// A quit while a test runs arrives where the test lets events in between
// lines: the test stops there as a user break, says so in the log without a
// box to wait on, and releases the socket; Auto Find stops the same way, and
// closing the form during the run asks for the stop instead of closing.
TEST_F(Editlg, AQuitStopsTheTestBetweenLines) {
    static TEditlg* running;
    static int polls;
    running = form.get();
    polls = 0;
    Seat("SN7400");
    Fill(k7400Line1 + k7400Line2 + k7400Line1 + k7400Line2);
    TestIdleHook = [] {
        EXPECT_TRUE(TestBusy.load());
        if (++polls == 2) {
            EXPECT_FALSE(running->close()); // refused, and the break asked
        }
    };
    form->show();
    form->ButtonTestClick();
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(ui.Boxes.empty());
    ASSERT_FALSE(ui.Log.empty());
    EXPECT_EQ(ui.Log.back(), "User Break!");
    EXPECT_EQ(form->failIndex, 1); // the second line was the last one run
    EXPECT_EQ(LowTones(), 1);
    EXPECT_TRUE(elec->SuppliedPins().empty() && elec->GroundedPins().empty());
    EXPECT_FALSE(TestBusy.load());

    WriteLibrary(AuthoredLogicLibrary());
    ui.Clear();
    polls = 0;
    TestIdleHook = [] { UserBreak = 1; };
    form->ButtonAutoFindClick();
    EXPECT_TRUE(ui.Boxes.empty());
    EXPECT_EQ(ui.Log.back(), "User Break!");
    EXPECT_EQ(HighTones(), 0);
    EXPECT_TRUE(elec->SuppliedPins().empty() && elec->GroundedPins().empty());
    TestIdleHook = nullptr;
    form->hide();
}

// Every control shows whole and every column of the grid shows, at the
// default font and larger ones, for narrow and wide parts; the ruler stands
// over its columns and the line numbers beside their lines.
TEST_F(Editlg, LabelsButtonsAndEveryGridColumnShowWhole) {
    FontSizes([] {
        TEditlg w;
        w.show();
        for (int pins : {8, 14, 20, 48}) {
            SCOPED_TRACE(pins);
            IcPinCount = pins;
            w.SetupIcGrid();
            w.LabelIcName->setText("74LS00");
            QApplication::processEvents();
            ExpectNothingClipped(&w, {w.LabelSize0, w.LabelSize1});
            // The line edits keep 2 pixels each side of their text.
            const QString line(pins, '0');
            for (QLineEdit* e : w.EditData) {
                EXPECT_LE(QFontMetricsF(e->font()).horizontalAdvance(line), e->width() - 4);
                EXPECT_GE(e->height(), QFontMetrics(e->font()).height());
            }
            for (QLabel* l : w.LabelAddr) EXPECT_GE(l->height(), l->sizeHint().height()) << l->objectName().toStdString();
            EXPECT_GE(w.LabelLine->height(), w.LabelLine->sizeHint().height());
            EXPECT_GE(w.LabelLine->width(), w.LabelLine->sizeHint().width());
            EXPECT_LE(QFontMetricsF(w.LabelSize0->font()).horizontalAdvance(line), w.LabelSize0->width());
            EXPECT_EQ(QFontMetricsF(w.LabelSize0->font()).horizontalAdvance(line),
                      QFontMetricsF(w.EditData[0]->font()).horizontalAdvance(line));
            ExpectAbove(w.LabelSize0, w.LabelSize1);
            ExpectAbove(w.LabelSize1, w.EditData[0]);
            ExpectLeftOf(w.LabelAddr[0], w.EditData[0]);
            EXPECT_EQ(w.LabelAddr[15]->mapTo(&w, QPoint()).y(), w.EditData[15]->mapTo(&w, QPoint()).y());
            ExpectLeftOf(w.LabelAddrPos, w.LabelIcName);
            ExpectAbove(w.ButtonFile, w.ButtonTest);
            ExpectAbove(w.ButtonTest, w.ButtonAutoFind);
            ExpectAbove(w.ButtonAutoFind, w.ButtonClose);
            ExpectAbove(w.ButtonClose, w.GroupBoxInfo);
            ExpectAbove(w.MaskEditPins, w.ComboBoxXvalue);
            ExpectAbove(w.ComboBoxXvalue, w.MaskEditVcc);
            ExpectAbove(w.MaskEditVcc, w.MaskEditDelay);
            ExpectLeftOf(w.MaskEditVcc, w.UpDownVcc);
        }
        w.hide();
    });
    IcPinCount = 14;
}
