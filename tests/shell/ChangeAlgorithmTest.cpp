// The Change Algorithm dialog: typed values in volts and integers reach the
// programming parameters only inside their limits, the items follow the
// row's parameter group, and the edits filter pasted text and keep the
// focused value when the dialog closes by Esc.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "ShellTestSupport.h"
#include "shell/ChangeAlgorithm.h"

namespace {

class ChangeAlgorithmTest : public ShellTest {
  protected:
    // Types into an edit and leaves it.
    static void Type(TChangeAlgorithm1& d, QLineEdit* edit, const QString& text) {
        edit->setText(text);
        d.EditExit();
    }
};

TEST(ChangeAlgorithmText, HundredthsBothWays) {
    EXPECT_EQ(FormatHundredths(0), "None");
    EXPECT_EQ(FormatHundredths(1250), "12.50");
    EXPECT_EQ(FormatHundredths(505), "5.05");
    EXPECT_EQ(ParseHundredths("12.5"), 1250u);
    EXPECT_EQ(ParseHundredths("5.05"), 505u);
    EXPECT_EQ(ParseHundredths("4.759"), 475u);
    EXPECT_EQ(ParseHundredths("13"), 1300u);
    EXPECT_EQ(ParseHundredths(".5"), 50u);
    EXPECT_EQ(ParseHundredths("None"), 0u);
    // Longer text than the edit allows still cannot wrap.
    EXPECT_GT(ParseHundredths("99999999999999"), 0u);
}

TEST_F(ChangeAlgorithmTest, ValuesTakenOnlyInsideTheirLimits) {
    ASSERT_EQ(AlgorithmTable[CurrentAlgorithm].ParameterGroup, 0);
    TChangeAlgorithm1 d(form.get());
    EXPECT_EQ(d.EditVpp->text(), "12.75");
    EXPECT_EQ(d.EditReadVcc->text(), "5.00");

    Type(d, d.EditVpp, "12.5");
    EXPECT_EQ(Vpp, 1250u);
    EXPECT_EQ(d.EditVpp->text(), "12.50");
    Type(d, d.EditVccp, "5.05");
    EXPECT_EQ(Vccp, 505u);
    EXPECT_EQ(d.EditVccp->text(), "5.05");
    Type(d, d.EditReadVcc, "4.75");
    EXPECT_EQ(ReadVcc, 47u);
    EXPECT_EQ(d.EditReadVcc->text(), "4.70");
    Type(d, d.EditVpp, "26");
    EXPECT_EQ(Vpp, 1250u);
    EXPECT_EQ(d.EditVpp->text(), "12.50");
    Type(d, d.EditRetry, "0");
    EXPECT_EQ(Retry, 25u);
    EXPECT_EQ(d.EditRetry->text(), "25");
    Type(d, d.EditRetry, "100");
    EXPECT_EQ(Retry, 100u);
    Type(d, d.EditPulseMul, "2");
    EXPECT_EQ(PulseMul, 0u);
    Type(d, d.EditPulseMul, "1");
    EXPECT_EQ(PulseMul, 1u);
    Type(d, d.EditPulseWidth, "");
    EXPECT_EQ(PulseWidth, 100u); // empty reads 0, below the limit
}

TEST_F(ChangeAlgorithmTest, ItemsFollowTheParameterGroup) {
    AlgorithmTable[CurrentAlgorithm].ParameterGroup = 9;
    TChangeAlgorithm1 d(form.get());
    std::vector<std::pair<QString, int>> shown;
    for (const ChangeAlgorithmItem& item : d.Items) {
        if (!item.Edit->isHidden()) shown.emplace_back(item.Caption->text(), item.Edit->y());
        EXPECT_EQ(item.Caption->isHidden(), item.Edit->isHidden());
        if (item.Unit) {
            EXPECT_EQ(item.Unit->isHidden(), item.Edit->isHidden());
        }
    }
    std::sort(shown.begin(), shown.end(), [](auto& a, auto& b) { return a.second < b.second; });
    EXPECT_EQ(shown, (std::vector<std::pair<QString, int>>{
                         {"Vccp", 16}, {"Read Vcc", 41}, {"Read Vcc Low", 66}, {"Read Vcc High", 91}}));

    // Through the main window's entry: the panel follows the new value.
    auto* poll = new QTimer(&BoxTimerOwner());
    QObject::connect(poll, &QTimer::timeout, [poll] {
        auto* dialog = qobject_cast<TChangeAlgorithm1*>(QApplication::activeModalWidget());
        if (!dialog) return;
        poll->stop();
        poll->deleteLater();
        dialog->EditVccp->setText("6.5");
        dialog->EditExit(); // leaving the field, as the click on OK would
        dialog->BitBtn1->click();
    });
    poll->start(5);
    EXPECT_EQ(ShowChangeAlgorithm(form.get()), QDialog::Accepted);
    EXPECT_EQ(Vccp, 650u);
    EXPECT_EQ(form->Label2->text(), "6.50V");

    // No adjustable parameters, or a run going on: the dialog is refused.
    AlgorithmTable[CurrentAlgorithm].ParameterGroup = 99;
    EXPECT_EQ(ShowChangeAlgorithm(form.get()), -1);
    AlgorithmTable[CurrentAlgorithm].ParameterGroup = 0;
    OperationBusy.store(true);
    EXPECT_EQ(ShowChangeAlgorithm(form.get()), -1);
    OperationBusy.store(false);
}

TEST_F(ChangeAlgorithmTest, PasteFilteredAndEscKeepsTheFocusedValue) {
    TChangeAlgorithm1 d(form.get());
    d.EditVpp->clear();
    d.EditVpp->insert("1a.5"); // what a paste inserts
    EXPECT_EQ(d.EditVpp->text(), "");
    d.EditVpp->insert("13.5");
    EXPECT_EQ(d.EditVpp->text(), "13.5");
    d.EditRetry->clear();
    d.EditRetry->insert("3.");
    EXPECT_EQ(d.EditRetry->text(), "");

    d.show();
    d.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    d.EditVpp->setFocus();
    ASSERT_TRUE(WaitUntil([&] { return d.EditVpp->hasFocus(); }));
    d.EditVpp->setText("12.25");
    QTest::keyClick(&d, Qt::Key_Escape);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(Vpp, 1225u);
}

} // namespace
