// The copy, fill and find dialogs and the name prompt: copies in memory
// (overlaps included), the start/end check, key filters, remembered values,
// the mirrored find fields, and the prompt's results.
#include <QClipboard>

#include "EditTestSupport.h"
#include "dialogs/Getstr.h"

namespace {

class BufferDialogsTest : public EditorTest {
  protected:
    void SetUp() override {
        EditorTest::SetUp();
        for (uint32_t i = 0; i < 0x200; ++i)
            BufferImage()[i] = static_cast<uint8_t>(i * 7 + 3);
        std::memcpy(before, BufferImage(), sizeof before);
    }
    // Sets the start, end and third field of a copy or fill dialog.
    static void Enter(TCopy1& d, const char* start, const char* end, const char* to) {
        d.EditBufferStart->setText(start);
        d.EditBufferEnd->setText(end);
        d.EditDestionation->setText(to);
    }
    bool Unchanged() const { return std::memcmp(BufferImage(), before, sizeof before) == 0; }
    void Restore() { std::memcpy(BufferImage(), before, sizeof before); }
    uint8_t before[0x200];
};

TEST_F(BufferDialogsTest, CopyMovesOverlappingRangesAsIfReadFirst) {
    TCopy1 up;
    Enter(up, "0", "FF", "80");
    up.ButtonOkClick();
    EXPECT_EQ(up.result(), ModalOk);
    EXPECT_EQ(std::memcmp(BufferImage() + 0x80, before, 0x100), 0);
    EXPECT_EQ(std::memcmp(BufferImage(), before, 0x80), 0);

    Restore();
    TCopy1 down; // shows the values entered before
    EXPECT_EQ(down.EditBufferEnd->text() + down.EditDestionation->text(), "FF80");
    Enter(down, "80", "17F", "0");
    down.ButtonOkClick();
    EXPECT_EQ(std::memcmp(BufferImage(), before + 0x80, 0x100), 0);

    // A destination past what the buffer can hold changes nothing.
    Restore();
    TCopy1 far;
    Enter(far, "0", "1FF", "FFFFF00");
    BoxAnswer box;
    AnswerNextBox(QMessageBox::Ok, &box);
    far.ButtonOkClick();
    EXPECT_EQ(box.seen, 1);
    EXPECT_EQ(far.result(), ModalAbort);
    EXPECT_EQ(BankCount, 1u);
    EXPECT_TRUE(Unchanged());
}

TEST_F(BufferDialogsTest, StartAboveEndAndPastedTextThatIsNoHexNumberAreRefused) {
    TFill1 fill;
    TCopy1 copy;
    fill.EditBufferStart->setText("100");
    fill.EditBufferEnd->setText("FF");
    fill.EditData->setText("0");
    Enter(copy, "100", "FF", "0");
    for (QDialog* d : std::initializer_list<QDialog*>{&fill, &copy}) {
        BoxAnswer box;
        AnswerNextBox(QMessageBox::Ok, &box);
        d == &fill ? fill.ButtonOkClick() : copy.ButtonOkClick();
        EXPECT_EQ(box.text, "Buffer End must begger than Buffer Start.");
        EXPECT_EQ(box.title, "Error");
        EXPECT_EQ(d->result(), ModalAbort);
    }
    EXPECT_TRUE(Unchanged());

    // The key filters see typed keys only; pasted text is checked as a whole.
    QGuiApplication::clipboard()->setText("1O0");
    Enter(copy, "0", "F", "0");
    fill.EditBufferStart->setText("0");
    fill.EditBufferEnd->setText("F");
    fill.EditData->setText("55");
    const struct {
        QDialog* dialog;
        QLineEdit* field;
        const char* message;
    } cases[] = {
        {&copy, copy.EditBufferStart, "Buffer Start: not a hexadecimal number."},
        {&copy, copy.EditDestionation, "Destionation: not a hexadecimal number."},
        {&fill, fill.EditBufferEnd, "Buffer End: not a hexadecimal number."},
        {&fill, fill.EditData, "Fill Data: not a hexadecimal number."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const QString kept = c.field->text();
        c.field->clear();
        c.field->paste();
        ASSERT_TRUE(c.field->text().startsWith("1O"));
        BoxAnswer box;
        AnswerNextBox(QMessageBox::Ok, &box);
        c.dialog == &copy ? copy.ButtonOkClick() : fill.ButtonOkClick();
        EXPECT_EQ(box.text, c.message);
        EXPECT_EQ(c.dialog->result(), ModalAbort);
        EXPECT_EQ(c.field->selectedText(), c.field->text()); // the field to correct
        EXPECT_TRUE(Unchanged());
        c.field->setText(kept);
    }
}

TEST_F(BufferDialogsTest, FillWithStartEqualToEndFillsOneByte) {
    TFill1 fill;
    fill.EditBufferStart->clear();
    QTest::keyClicks(fill.EditBufferStart, "1g0");
    fill.EditBufferEnd->setText("10");
    fill.EditData->clear();
    QTest::keyClicks(fill.EditData, "a5");
    EXPECT_EQ(fill.EditBufferStart->text(), "10");
    EXPECT_EQ(fill.EditData->text(), "A5");
    fill.ButtonOkClick();
    EXPECT_EQ(fill.result(), ModalOk);
    EXPECT_EQ(BufferImage()[0x10], 0xA5);
    BufferImage()[0x10] = before[0x10];
    EXPECT_TRUE(Unchanged()); // nothing else
    TFill1 again;
    EXPECT_EQ(again.EditData->text(), "A5");
}

TEST_F(BufferDialogsTest, FindFieldsMirrorEachOther) {
    TFind1 find;
    QTest::keyClicks(find.EditAsc, "AB");
    EXPECT_EQ(find.EditHex->text(), "4142");
    find.EditHex->clear();
    QTest::keyClicks(find.EditHex, "41x4");
    EXPECT_EQ(find.EditHex->text(), "414");
    EXPECT_EQ(find.EditAsc->text(), "A"); // the odd digit is ignored
    QTest::keyClicks(find.EditHex, "01f");
    EXPECT_EQ(find.EditHex->text(), "41401F");
    EXPECT_EQ(find.EditAsc->text(), "A@.");
    find.EditAsc->clear();
    TypeChar(find.EditAsc, 'z');
    TypeChar(find.EditAsc, QChar(0x00E9));
    EXPECT_EQ(find.EditHex->text(), "7A3F");
    find.RadioUp->setChecked(true);
    find.ButtonOkClick();
    EXPECT_EQ(find.result(), ModalOk);
    EXPECT_EQ(SearchDirection, 1u);
    EXPECT_EQ(SearchHex + "/" + SearchText, "7A3F/z?");
    TFind1 again;
    EXPECT_TRUE(again.RadioUp->isChecked());
    EXPECT_EQ(again.EditHex->text(), "7A3F");
}

TEST_F(BufferDialogsTest, NamePromptGivesOkOrCancel) {
    TGetString prompt;
    prompt.EditString->setText("74LS00");
    prompt.ButtonOk->click();
    EXPECT_EQ(prompt.result(), 1);
    TGetString cancelled;
    cancelled.ButtonCancel->click();
    EXPECT_NE(cancelled.result(), 1);
}

} // namespace
