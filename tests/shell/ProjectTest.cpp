// The project, auto-repeat and about dialogs (the project round trip through
// the main window is in MainWindowTest): texts within their stored length,
// the repeat list and the operation its timer starts, the about box per product.
#include <QTextCursor>

#include "ShellTestSupport.h"
#include "shell/About.h"
#include "shell/AutoRepeatProgram.h"
#include "shell/Project.h"

namespace {

using ProjectTest = ShellTest;

TEST_F(ProjectTest, TextsLimitedByTheirStoredBytes) {
    TProject d(form.get());
    // 300 two-byte characters: 199 fit in 399 bytes.
    d.Memo1->setPlainText(QString(300, QChar(0xE9)));
    EXPECT_EQ(d.Memo1->toPlainText().size(), 199);
    // Line breaks count too; what is typed last is what is cut.
    d.Memo1->setPlainText(QString(390, 'x'));
    QTextCursor c = d.Memo1->textCursor();
    c.setPosition(10);
    d.Memo1->setTextCursor(c);
    d.Memo1->insertPlainText("\n\n\n\n\n\n\n\n\n\n\n\n");
    EXPECT_EQ(d.Memo1->toPlainText().toUtf8().size(), 399);
    EXPECT_TRUE(d.Memo1->toPlainText().endsWith(QString(380, 'x')));
    d.Edit1->setText(QString(100, QChar(0x20AC))); // 3 bytes each
    EXPECT_EQ(d.Edit1->text().size(), 33);
    d.BitBtnOk->click();
    EXPECT_EQ(ProjectDescription.size(), 399u);
    EXPECT_EQ(ProjectAuthor.size(), 99u);
    // The file keeps them whole.
    TempLibraryDir dir{"Project"};
    const std::string path = dir.Path() + "/long.prj";
    const std::string description = ProjectDescription;
    ASSERT_TRUE(SaveConfigOrProjectFile(path, 1).Ok());
    ProjectDescription.clear();
    ASSERT_EQ(LoadConfigOrProjectFile(path, 1), 0);
    EXPECT_EQ(ProjectDescription, description);
    EXPECT_EQ(ProjectTextForLog("a\r\nb\rc\n"), "a b c "); // logged on one line
    OperationBusy.store(true);
    EXPECT_EQ(ShowProjectDialog(form.get()), -1);
    OperationBusy.store(false);
}

TEST_F(ProjectTest, AutoRepeatListsTheDeviceOperationsAndStartsTheChosenOne) {
    SupportedOperationMask = OpMaskProgram | OpMaskVerify | (1u << OpAuto);
    TAutoRepeatProgram1 d(form.get());
    QStringList items;
    for (int i = 0; i < d.ComboBoxFunction->count(); ++i)
        items << d.ComboBoxFunction->itemText(i);
    EXPECT_EQ(items, (QStringList{"Program", "Verify", "Auto"}));
    EXPECT_TRUE(d.Timer1->isActive());

    d.ComboBoxFunction->setCurrentIndex(1);
    d.Timer1->stop();
    ASSERT_EQ(d.Timer1Timer(), 0);
    WaitIdle();
    EXPECT_EQ(CurrentOperation, static_cast<uint32_t>(OpVerify));
    OperationBusy.store(true); // a run still going: the tick is refused
    EXPECT_EQ(d.Timer1Timer(), -1);
    OperationBusy.store(false);
    d.BitBtn1->click();
    EXPECT_EQ(RepeatFunctionIndex, 1);

    // Esc closes as the close button does, keeping the choice.
    TAutoRepeatProgram1 esc(form.get());
    esc.Timer1->stop();
    esc.ComboBoxFunction->setCurrentIndex(2);
    QTest::keyClick(&esc, Qt::Key_Escape);
    EXPECT_EQ(RepeatFunctionIndex, 2);
    EXPECT_EQ(esc.result(), QDialog::Accepted);
    RepeatFunctionIndex = 1;

    // The choice is kept; an index beyond a shorter list starts nothing.
    SupportedOperationMask = OpMaskProgram;
    TAutoRepeatProgram1 shorter(form.get());
    shorter.Timer1->stop();
    EXPECT_EQ(shorter.ComboBoxFunction->currentIndex(), -1);
    EXPECT_EQ(shorter.Timer1Timer(), -1);
    RepeatFunctionIndex = 0;
}

TEST_F(ProjectTest, AboutBoxPerProduct) {
    const char* saved = ProductName;
    for (const char* product : {"Wend Pike", "Vexlor"}) {
        ProductName = product;
        TAboutKr d(form.get());
        d.show();
        EXPECT_EQ(d.LabelTitle->text(), QString(product) + " For Windows");
        EXPECT_EQ(d.LabelRev->text(), QString("Rev ") + ProgramRevision);
        // Only the default product carries the notices.
        const bool notices = std::string(product) == "Vexlor";
        EXPECT_EQ(!d.LabelNotice1->text().isEmpty(), notices) << product;
        EXPECT_EQ(!d.LabelNotice2->text().isEmpty(), notices) << product;
    }
    ProductName = saved;
}

} // namespace
