// The Change Algorithm dialog: typed values in volts and integers reach the
// programming parameters only inside their limits, the items follow the
// row's parameter group, and the edits filter pasted text and keep the
// focused value when the dialog closes by Esc.
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
    for (auto [value, text] : {std::pair{0u, "None"}, {1250u, "12.50"}, {505u, "5.05"}})
        EXPECT_EQ(FormatHundredths(value), text);
    const std::pair<const char*, uint32_t> cases[] = {
        {"12.5", 1250}, {"5.05", 505}, {"4.759", 475}, {"13", 1300}, {".5", 50}, {"None", 0}};
    for (const auto& [text, value] : cases)
        EXPECT_EQ(ParseHundredths(text), value) << text;
    // Longer text than the edit allows still cannot wrap.
    EXPECT_GT(ParseHundredths("99999999999999"), 0u);
}

TEST_F(ChangeAlgorithmTest, ValuesTakenOnlyInsideTheirLimits) {
    ASSERT_EQ(AlgorithmTable[CurrentAlgorithm].ParameterGroup, 0);
    TChangeAlgorithm1 d(form.get());
    EXPECT_EQ(d.EditVpp->text(), "12.75");
    EXPECT_EQ(d.EditReadVcc->text(), "5.00");
    // Typed text, the value in force after it, and what the edit shows then.
    const struct {
        QLineEdit* edit;
        const char* typed;
        uint32_t* setting;
        uint32_t value;
        const char* shown;
    } cases[] = {
        {d.EditVpp, "12.5", &Vpp, 1250, "12.50"},
        {d.EditVccp, "5.05", &Vccp, 505, "5.05"},
        {d.EditReadVcc, "4.75", &ReadVcc, 47, "4.70"},
        {d.EditVpp, "26", &Vpp, 1250, "12.50"}, // above the limit: refused
        {d.EditRetry, "0", &Retry, 25, "25"},   // below the limit: refused
        {d.EditRetry, "100", &Retry, 100, "100"},
        {d.EditPulseMul, "2", &PulseMul, 0, nullptr},
        {d.EditPulseMul, "1", &PulseMul, 1, nullptr},
        {d.EditPulseWidth, "", &PulseWidth, 100, nullptr}, // empty reads 0, below the limit
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        Type(d, c.edit, c.typed);
        EXPECT_EQ(*c.setting, c.value);
        if (c.shown) {
            EXPECT_EQ(c.edit->text(), c.shown);
        }
    }
}

TEST_F(ChangeAlgorithmTest, ItemsFollowTheParameterGroup) {
    AlgorithmTable[CurrentAlgorithm].ParameterGroup = 9;
    TChangeAlgorithm1 d(form.get());
    std::vector<std::pair<QString, int>> shown;
    for (const ChangeAlgorithmItem& item : d.Items) {
        if (!item.Edit->isHidden()) shown.emplace_back(item.Caption->text(), item.Edit->y());
        // Each caption level with its field.
        const int middle = item.Caption->geometry().center().y();
        EXPECT_TRUE(item.Edit->y() <= middle && middle <= item.Edit->geometry().bottom())
            << item.Caption->text().toStdString();
        EXPECT_EQ(item.Caption->isHidden(), item.Edit->isHidden());
        if (item.Unit) {
            EXPECT_EQ(item.Unit->isHidden(), item.Edit->isHidden());
        }
    }
    // In the group's order, one row after the other at one step.
    std::sort(shown.begin(), shown.end(), [](auto& a, auto& b) { return a.second < b.second; });
    QStringList order;
    for (const auto& [caption, y] : shown) order << caption;
    EXPECT_EQ(order.join("|").toStdString(), "Vccp|Read Vcc|Read Vcc Low|Read Vcc High");
    ASSERT_EQ(shown.size(), 4u);
    for (size_t i = 2; i < shown.size(); ++i)
        EXPECT_NEAR(shown[i].second - shown[i - 1].second, shown[1].second - shown[0].second, 1);

    // Through the main window's entry: the panel follows the new value.
    OnNextModal<TChangeAlgorithm1>([](TChangeAlgorithm1* dialog) {
        dialog->EditVccp->setText("6.5");
        dialog->EditExit(); // leaving the field, as the click on OK would
        dialog->BitBtn1->click();
    });
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
