// The fuse map editor and the UES editor: geometry by row length, fuse
// entry in both display modes, the fuse number, paging limits, small and
// degenerate maps, and the signature as text, hexadecimal and fuses.
#include "EditTestSupport.h"
#include "FormChecks.h"
#include "engine/Services.h"
#include "shell/InfoPanel.h"

namespace {

class EditBitTest : public EditorTest {
  protected:
    void Open(uint32_t fuses, uint32_t rowLength) {
        SelectFuseMap(fuses, rowLength);
        FillBufferRange(0, 0xFFFF, 0); // every fuse clear
        Remake(ed);
        ed->RefreshFuseEditor(1);
    }
    TEditBit1* ed = nullptr;
};

TEST_F(EditBitTest, WideRowsShowFiftyColumnsAndAHorizontalBar) {
    Open(132 * 44, 132);
    EXPECT_EQ(ed->VisibleColumns, 50);
    EXPECT_TRUE(ed->ScrollBar2->isVisibleTo(ed));
    EXPECT_EQ(ed->EditData[0]->text().size(), 50);
    EXPECT_EQ(ed->LabelUnits->text().left(12), "012345678901");
    EXPECT_EQ(ed->LabelTens->text().mid(9, 3), "011");

    Open(44 * 20, 44);
    EXPECT_EQ(ed->VisibleColumns, 44);
    EXPECT_FALSE(ed->ScrollBar2->isVisibleTo(ed));
    EXPECT_EQ(ed->EditData[0]->text().size(), 44);
    EXPECT_EQ(ed->EditAddr[1]->text(), "0000044");
    ed->ButtonRadixClick();
    EXPECT_EQ(ed->EditAddr[1]->text(), "000002C");
}

TEST_F(EditBitTest, FuseEntryWorksAlikeInBothModes) {
    Open(44 * 20, 44);
    SetBufferBit(5, 1);
    ed->RefreshFuseEditor(0);
    EXPECT_EQ(ed->EditData[0]->text().left(7), "0000010");
    ed->CursorColumn = 5;
    Type(*ed, "x"); // clears, whatever the mode
    EXPECT_EQ(GetBufferBit(5), 0u);
    EXPECT_EQ(ed->CursorColumn, 6);
    Type(*ed, "-"); // sets
    EXPECT_EQ(GetBufferBit(6), 1u);
    Type(*ed, "a2"); // not fuse symbols
    EXPECT_EQ(ed->CursorColumn, 7);

    ed->ButtonModeClick();
    EXPECT_EQ(ed->EditData[0]->text().left(8), "XXXXXX-X");
    Type(*ed, "10");
    EXPECT_EQ(GetBufferBit(7), 1u);
    EXPECT_EQ(GetBufferBit(8), 0u);
    EXPECT_EQ(ed->EditData[0]->text().left(9), "XXXXXX--X");

    // Past the row's last fuse the cursor goes on at the start of the next line.
    ed->CursorColumn = 43;
    Type(*ed, "1");
    EXPECT_EQ(GetBufferBit(43), 1u);
    EXPECT_EQ(ed->CursorLine, 1);
    EXPECT_EQ(ed->CursorColumn, 0);
}

TEST_F(EditBitTest, FuseNumberAndPagingLimits) {
    Open(132 * 44, 132);
    Press(*ed, Qt::Key_End); // last fuse of the row: the view scrolls sideways
    EXPECT_EQ(ed->ColumnOffset, 82u);
    EXPECT_EQ(ed->CursorColumn, 49);
    for (int i = 0; i < 3; ++i)
        Press(*ed, Qt::Key_Down);
    Press(*ed, Qt::Key_Right, Qt::ControlModifier); // 16 rows on
    EXPECT_EQ(ed->TopFuse, 16u * 132);
    EXPECT_EQ(ed->LabelAddr->text(), QString::number(3 * 132 + 16 * 132 + 82 + 49));
    EXPECT_EQ(ed->ScrollBar2->value(), 131);

    for (int i = 0; i < 5; ++i)
        Press(*ed, Qt::Key_PageDown);
    EXPECT_EQ(ed->TopFuse, 28u * 132); // the last 16 rows
    EXPECT_EQ(ed->ScrollBar1->value(), 28);
    ed->CursorLine = 15;
    Press(*ed, Qt::Key_Down);
    EXPECT_EQ(ed->TopFuse, 28u * 132);
    Press(*ed, Qt::Key_PageUp);
    EXPECT_EQ(ed->TopFuse, 12u * 132);
    Press(*ed, Qt::Key_PageUp);
    EXPECT_EQ(ed->TopFuse, 0u);

    Press(*ed, Qt::Key_Tab);
    EXPECT_EQ(ed->LabelAddr->text(), "");
    // An address typed on the first line may be 0: "0000132" becomes
    // "0000032" (not a row's start, taken as typed), "0000002", "0000000".
    ed->TopFuse = 132;
    ed->RefreshFuseEditor(0);
    ed->CursorLine = 0;
    for (int column : {4, 5, 6}) {
        ed->CursorColumn = column;
        Type(*ed, "0");
        EXPECT_EQ(ed->TopFuse, column == 4 ? 32u : column == 5 ? 2u : 0u);
    }
}

TEST_F(EditBitTest, SmallAndDegenerateMapsStayInBounds) {
    Open(5 * 20, 20); // five rows
    for (Qt::Key k : {Qt::Key_PageDown, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down,
                      Qt::Key_Down, Qt::Key_End, Qt::Key_Right, Qt::Key_Right})
        Press(*ed, k);
    Press(*ed, Qt::Key_End, Qt::ControlModifier);
    Press(*ed, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(ed->TopFuse, 0u);
    EXPECT_EQ(ed->CursorLine, 4);
    EXPECT_TRUE(ed->EditData[5]->text().isEmpty());
    ed->ScrollBar1Scroll(7);
    EXPECT_EQ(ed->TopFuse, 0u);

    Open(100, 0); // row length 0: one row of all fuses
    EXPECT_EQ(ed->RowCount, 1u);
    EXPECT_EQ(ed->VisibleColumns, 50);
    Press(*ed, Qt::Key_End);
    Type(*ed, "1");
    EXPECT_EQ(GetBufferBit(99), 1u);
    ed->ScrollBar2Scroll(99);
    EXPECT_EQ(ed->ColumnOffset, 49u);
    ed->ScrollBar2Scroll(ed->ScrollBar2->maximum());
    EXPECT_EQ(ed->ColumnOffset, 50u);

    Open(0, 0); // no fuses at all
    Press(*ed, Qt::Key_PageDown);
    Type(*ed, "1");
    EXPECT_EQ(ed->RowCount, 0u);
    EXPECT_TRUE(ed->EditData[0]->text().isEmpty());
}

class EditUesTest : public EditorTest {
  protected:
    void SetUp() override {
        EditorTest::SetUp();
        SelectFuseMap(2000, 100, 1000);
        FillBufferRange(0, 0xFFFF, 0);
        Remake(ed);
        ed->LoadUes();
    }
    uint8_t UesByte(int i) {
        uint8_t v = 0;
        for (int k = 0; k < 8; ++k)
            v = static_cast<uint8_t>(v | GetBufferBit(1000 + 8 * i + k) << (7 - k));
        return v;
    }
    TEditUes_* ed = nullptr;
};

TEST_F(EditUesTest, TextSetsTheFusesMostSignificantBitFirstAndShowsTheFreshChecksum) {
    ComputeBufferChecksum(BufferStart, BufferEnd);
    ShowBufferChecksum();
    const QString before = form->CheckSum->text();
    ed->EditAsc->selectAll();
    QTest::keyClicks(ed->EditAsc, "ABCDEFGH");
    const QString fresh = QString::asprintf("%04Xh", ComputeBufferChecksum(BufferStart, BufferEnd) & 0xFFFF);
    EXPECT_NE(fresh, before);
    EXPECT_EQ(form->CheckSum->text(), fresh);
    EXPECT_EQ(ed->EditHex->text(), "41-42-43-44-45-46-47-48");
    EXPECT_TRUE(ed->MemoBin->toPlainText().startsWith("X-XXXXX-"));
    EXPECT_EQ(ed->MemoBin->toPlainText().size(), 64);
    EXPECT_EQ(UesByte(7), 'H');
    EXPECT_EQ(GetBufferBit(999) + GetBufferBit(1064), 0u); // the fuses around are untouched

    ed->EditAsc->selectAll();
    QTest::keyClick(ed->EditAsc, Qt::Key_Backspace);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(UesByte(i), 0);
    ed->LoadUes();
    EXPECT_EQ(ed->EditAsc->text(), "........");
    EXPECT_EQ(ed->EditHex->text(), "00-00-00-00-00-00-00-00");
}

// The signature editor of a PLD stays open while another device is chosen:
// it is closed, and whatever still reaches it writes no buffer byte.
TEST_F(EditUesTest, AnotherDeviceClosesTheEditorAndItsTextWritesNothing) {
    const struct {
        uint32_t section, uesStart, flags;
    } devices[] = {
        {SectionEprom, 0, 0},    // the EPROM of the report
        {SectionEprom, 1000, 0}, // a stale signature start
        {SectionPld, 0, 8},      // a PLD without a signature
    };
    for (const auto& d : devices) {
        SCOPED_TRACE(d.section * 10000 + d.uesStart);
        SelectFuseMap(2000, 100, 1000);
        OpenUesEditor(form.get());
        ASSERT_TRUE(EditUes_ && EditUes_->isVisible());
        EditUes_->EditAsc->setText("AB");
        ASSERT_EQ(UesByte(0), 'A');

        DeviceSection = d.section;
        UesFuseStart = d.uesStart;
        DeviceFlags = d.flags;
        RefreshMainForm(); // what a device selection does
        EXPECT_FALSE(EditUes_->isVisible());
        std::vector<uint8_t> image(BufferImage(), BufferImage() + 0x10000);
        for (TEditUes_* e : {EditUes_.data(), ed}) {
            e->EditAsc->setText("CD");
            e->LoadUes();
        }
        EXPECT_TRUE(std::equal(image.begin(), image.end(), BufferImage()));
        OpenUesEditor(form.get()); // not offered for this device
        EXPECT_FALSE(EditUes_->isVisible());
    }
}

TEST_F(EditUesTest, BytesBelowSpaceShowAsDotsAndKeepTheirFuses) {
    const uint8_t bytes[] = {0x01, 0x80, 'z'};
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 8; ++k)
            SetBufferBit(1000 + 8 * i + k, (bytes[i] >> (7 - k)) & 1);
    ed->LoadUes();
    EXPECT_EQ(ed->EditAsc->text().left(3), QString(".") + QChar(0x80) + "z");
    EXPECT_EQ(ed->EditHex->text().left(8), "01-80-7A");
    EXPECT_EQ(UesByte(0), 0x01);
    EXPECT_EQ(UesByte(1), 0x80);
    // A character outside 20h-7Eh typed in is stored as '?'.
    ed->EditAsc->setText(QString("A") + QChar(0x00E9));
    EXPECT_EQ(UesByte(0), 'A');
    EXPECT_EQ(UesByte(1), '?');
    EXPECT_EQ(UesByte(2), 0);
}

// One character typed over: only its byte changes; the bytes around it keep
// their fuses, those shown as '.' and those from 80h up included.
TEST_F(EditUesTest, TypingOneCharacterWritesOnlyItsByte) {
    const uint8_t bytes[] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
    for (int i = 0; i < 8; ++i)
        for (int k = 0; k < 8; ++k)
            SetBufferBit(1000 + 8 * i + k, (bytes[i] >> (7 - k)) & 1);
    ed->LoadUes();
    EXPECT_EQ(ed->EditAsc->text(), QString(".4Vx") + QChar(0x9A) + QChar(0xBC) + QChar(0xDE) + QChar(0xF0));
    ed->EditAsc->setSelection(4, 1);
    QTest::keyClicks(ed->EditAsc, "A");
    EXPECT_EQ(ed->EditHex->text().toStdString(), "12-34-56-78-41-BC-DE-F0");
    const uint8_t expected[] = {0x12, 0x34, 0x56, 0x78, 0x41, 0xBC, 0xDE, 0xF0};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(UesByte(i), expected[i]) << i;
    // Deleting the last character clears that byte only.
    ed->EditAsc->setCursorPosition(8);
    QTest::keyClick(ed->EditAsc, Qt::Key_Backspace);
    EXPECT_EQ(ed->EditHex->text().toStdString(), "12-34-56-78-41-BC-DE-00");
}

} // namespace

namespace {

// The fuse editor at any font, for narrow and wide rows: every column and
// label whole, nothing over another.
TEST_F(EditBitTest, ColumnsAndLabelsShowWhole) {
    FontSizes([this] {
        for (uint32_t row : {32u, 132u}) {
            SCOPED_TRACE(row);
            Open(row * 44, row);
            ed->show();
            QApplication::processEvents();
            ExpectNothingClipped(ed);
            ed->hide();
        }
    });
}

} // namespace
