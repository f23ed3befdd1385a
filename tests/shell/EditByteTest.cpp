// The byte buffer editor: what a line shows, typing, cursor keys and
// paging with buffer growth, search, whole-buffer commands, edits across a
// bank edge, the checksum kept right, and the lock during an operation.
#include "EditTestSupport.h"
#include "FormChecks.h"
#include "shell/InfoPanel.h"

namespace {

uint8_t Byte(uint32_t address) {
    return ReadBufferByteCached(address);
}

uint32_t g_ownChecksumCalls = 0;
uint32_t OwnChecksum() {
    ++g_ownChecksumCalls;
    BufferChecksum = 0xC0DE;
    return BufferChecksum;
}

class EditByteTest : public EditorTest {
  protected:
    void SetUp() override {
        EditorTest::SetUp();
        Remake(ed);
        ed->RefreshByteEditor();
    }
    TEditByte1* ed = nullptr;
};

TEST_F(EditByteTest, LineShowsAddressHexAndOnlyTextBytesAsCharacters) {
    const uint8_t bytes[] = {0x13, 0x14, 0x7F, 0x80, 0x41, 0x20, 0xFF, 0x00};
    std::memcpy(BufferImage() + 0x10, bytes, sizeof bytes);
    ed->RefreshByteEditor();
    EXPECT_EQ(ed->EditAddr[1]->text(), "0000010");
    EXPECT_EQ(ed->EditHex[1]->text(), "13 14 7F 80 41 20 FF 00 FF FF FF FF FF FF FF FF");
    // 14h and 7Fh show as their characters (the OEM glyphs, so they are visible).
    EXPECT_EQ(ed->EditAsc[1]->text(), QString(".") + QChar(0x00B6) + QChar(0x2302) + ".A " + QString(10, '.'));
    EXPECT_EQ(ed->LabelSize->text(), "Buffer Size : 10000h");
    ed->RadixClick();
    EXPECT_EQ(ed->EditAddr[1]->text(), "0000016");
}

TEST_F(EditByteTest, TypingHexAndTextStoresBytesMovesOnAndKeepsTheChecksumOrTheRowsOwn) {
    ComputeBufferChecksum(BufferStart, BufferEnd);
    ed->CursorLine = 3;
    Type(*ed, "a5");
    EXPECT_EQ(Byte(0x30), 0xA5);
    EXPECT_EQ(ed->CursorColumn, 3); // the next byte's first digit
    Type(*ed, "g1");                // g is not taken
    EXPECT_EQ(Byte(0x31), 0x1F);
    EXPECT_EQ(BufferChecksum, ComputeBufferChecksum(BufferStart, BufferEnd));
    EXPECT_EQ(form->CheckSum->text(), QString::asprintf("%04Xh", BufferChecksum & 0xFFFF));

    // Characters: 20h-7Eh stored as themselves, any other printable one as '?'.
    Press(*ed, Qt::Key_Tab);
    ASSERT_EQ(ed->Field, TEditByte1::FieldAsc);
    EXPECT_EQ(ed->CursorColumn, 1); // column 4 of the hex field
    Type(*ed, QString("Z") + QChar(0x00E9) + QChar(0x20AC));
    EXPECT_EQ(std::string({char(Byte(0x31)), char(Byte(0x32)), char(Byte(0x33))}), "Z??");
    EXPECT_EQ(ed->EditAsc[3]->text().mid(1, 3), "Z??");
    EXPECT_EQ(BufferChecksum, ComputeBufferChecksum(BufferStart, BufferEnd));

    // A row with its own checksum has it made again, once per digit.
    RowHookTable[CurrentAlgorithm].Checksum = &OwnChecksum;
    g_ownChecksumCalls = 0;
    Press(*ed, Qt::Key_Tab);
    Press(*ed, Qt::Key_Tab);
    ASSERT_EQ(ed->Field, TEditByte1::FieldHex);
    Type(*ed, "00");
    EXPECT_EQ(g_ownChecksumCalls, 2u);
    EXPECT_EQ(BufferChecksum, 0xC0DEu);
}

TEST_F(EditByteTest, ArrowsWrapAndScrollAtTheEdges) {
    ed->CursorLine = 15;
    ed->CursorColumn = TEditByte1::kHexLast;
    Press(*ed, Qt::Key_Right);
    EXPECT_EQ(ed->TopAddress, 0x10u);
    EXPECT_EQ(ed->CursorLine, 15);
    EXPECT_EQ(ed->CursorColumn, 0);
    EXPECT_EQ(ed->EditAddr[15]->text(), "0000100");
    Press(*ed, Qt::Key_Left); // back over the line edge to the last digit above
    EXPECT_EQ(ed->CursorLine, 14);
    EXPECT_EQ(ed->CursorColumn, TEditByte1::kHexLast);
    Press(*ed, Qt::Key_Left);
    Press(*ed, Qt::Key_Left); // the blank between two bytes is skipped
    EXPECT_EQ(ed->CursorColumn, 43);
    ed->CursorLine = 0;
    for (int i = 0; i < 2; ++i)
        Press(*ed, Qt::Key_Up);
    EXPECT_EQ(ed->TopAddress, 0u); // not below 0
    EXPECT_EQ(ed->ScrollBar1->value(), 0);
}

TEST_F(EditByteTest, PagingPastTheEndGrowsTheBufferUpToTheLimit) {
    Press(*ed, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(ed->TopAddress, 0xFF00u);
    Press(*ed, Qt::Key_PageDown);
    EXPECT_EQ(ed->TopAddress, 0x10000u);
    EXPECT_EQ(BankCount, 2u);
    EXPECT_EQ(ed->LabelSize->text(), "Buffer Size : 20000h");
    EXPECT_EQ(ed->ScrollBar1->value(), 0x100);
    EXPECT_EQ(CurrentBank, 0u); // the view does not move the buffer's bank

    // The growth stops at 16 MB for a small device.
    ed->TopAddress = 0xFFFE00;
    ed->RefreshByteEditor();
    for (int i = 0; i < 4; ++i)
        Press(*ed, Qt::Key_PageDown);
    Press(*ed, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(ed->TopAddress, 0xFFFF00u);
    EXPECT_EQ(BankCount, 256u);
    Press(*ed, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(ed->TopAddress, 0u);
}

TEST_F(EditByteTest, AddressEntryAcceptsZeroAndRefusesPastTheBuffer) {
    ed->TopAddress = 0x100;
    ed->RefreshByteEditor();
    Press(*ed, Qt::Key_Tab);
    Press(*ed, Qt::Key_Tab);
    ASSERT_EQ(ed->Field, TEditByte1::FieldAddr);
    ed->CursorColumn = 4;
    Type(*ed, "0");
    EXPECT_EQ(ed->TopAddress, 0u);
    EXPECT_EQ(ed->CursorColumn, 5);
    // 0100000 lies past the one-bank buffer: the view stays.
    ed->CursorColumn = 2;
    Type(*ed, "1");
    EXPECT_EQ(ed->TopAddress, 0u);
    EXPECT_EQ(BankCount, 1u);
}

TEST_F(EditByteTest, EditAcrossABankEdgeLandsOnItsAddress) {
    SelectBank(0x10000, 1);
    SelectBank(0, 0);
    ed->TopAddress = 0xFFF8;
    ed->RefreshByteEditor();
    EXPECT_EQ(ed->EditHex[0]->text().mid(24), "FF FF FF FF FF FF FF FF");
    ed->CursorColumn = 3 * 10; // the byte at 10002h
    Type(*ed, "12");
    EXPECT_EQ(Byte(0x10002), 0x12);
    EXPECT_EQ(Byte(0x0002), 0xFF);
    ed->CursorLine = 1; // 10008h
    ed->CursorColumn = 0;
    Type(*ed, "34");
    EXPECT_EQ(Byte(0x10008), 0x34);
    EXPECT_EQ(Byte(0x0008), 0xFF);
}

TEST_F(EditByteTest, SearchMovesTheViewOrReportsNotFound) {
    BoxAnswer box;
    AnswerNextBox(QMessageBox::Ok, &box);
    ed->FindNextClick(); // empty pattern
    EXPECT_EQ(box.seen, 1);
    EXPECT_EQ(box.text, "Search pattern not found!");
    EXPECT_EQ(box.title, "Error");

    SelectBank(0x20000, 1);
    SelectBank(0, 0);
    BufferImage()[0x1FFFF] = 0x55;
    BufferImage()[0x20000] = 0xAA;
    ed->ExecDialog = [](QDialog* d) {
        auto* f = static_cast<TFind1*>(d);
        f->EditHex->setText("55AA");
        f->ButtonOkClick();
        return f->result();
    };
    ed->FindClick();
    EXPECT_EQ(ed->TopAddress, 0x1FFFFu);
    EXPECT_EQ(ed->EditHex[0]->selectedText(), "55 AA");
    EXPECT_EQ(ed->EditAsc[0]->selectedText().size(), 2);
    EXPECT_EQ(ed->ScrollBar1->value(), 0x1FF);

    // Up from address 0 has nothing to search.
    SearchDirection = 1;
    ed->TopAddress = 0;
    BoxAnswer up;
    AnswerNextBox(QMessageBox::Ok, &up);
    ed->FindNextClick();
    EXPECT_EQ(up.seen, 1);
    EXPECT_EQ(ed->TopAddress, 0u);
}

TEST_F(EditByteTest, WholeBufferCommands) {
    for (uint32_t i = 0; i < 8; ++i)
        BufferImage()[i] = static_cast<uint8_t>(i + 1);
    ed->Swap16Click();
    EXPECT_EQ(ed->EditHex[0]->text().left(23), "02 01 04 03 06 05 08 07");
    ed->Swap16Click();
    ed->Swap32Click();
    EXPECT_EQ(ed->EditHex[0]->text().left(23), "03 04 01 02 07 08 05 06");

    // Clear fills every bank, not only the device's range, and forgets the file.
    SelectBank(0x10000, 1);
    SelectBank(0, 0);
    BufferImage()[0x1FFFF] = 0;
    DataFileName = "old.bin";
    FillByte = 0x5A;
    ed->ClearClick();
    const uint8_t* image = BufferImage();
    EXPECT_TRUE(std::all_of(image, image + 0x20000, [](uint8_t b) { return b == 0x5A; }));
    EXPECT_TRUE(DataFileName.empty());
    EXPECT_EQ(BufferChecksum, 0x5Au * (BufferEnd - BufferStart + 1));
    EXPECT_EQ(ed->EditHex[0]->text().left(2), "5A");
}

// A swap moves bytes over the edges of a summed range with an odd start or
// length: the label shows the sum of what is there now.
TEST_F(EditByteTest, ChecksumLabelFollowsSwapsOverAnOddRange) {
    const struct {
        uint32_t start, end;
        int bits;
    } cases[] = {{1, 0x100, 16}, {0, 0x100, 16}, {1, 0x102, 32}, {2, 0x1FE, 32}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start * 0x10000 + c.end);
        uint32_t x = 12345;
        for (uint32_t i = 0; i < 0x400; ++i) {
            x = x * 1103515245u + 12345u;
            BufferImage()[i] = static_cast<uint8_t>(x >> 16);
        }
        BufferStart = c.start;
        BufferEnd = c.end;
        ComputeBufferChecksum(BufferStart, BufferEnd);
        ShowBufferChecksum();
        const QString before = form->CheckSum->text();
        c.bits == 16 ? ed->Swap16Click() : ed->Swap32Click();
        uint32_t sum = 0;
        for (uint32_t a = c.start; a <= c.end; ++a)
            sum += BufferImage()[a];
        const QString fresh = QString::asprintf("%04Xh", sum & 0xFFFF);
        EXPECT_NE(fresh, before); // the swap did change the sum
        EXPECT_EQ(form->CheckSum->text(), fresh);
    }
}

TEST_F(EditByteTest, ReadOnlyWhileAnOperationRuns) {
    OperationBusy.store(true);
    ed->SetRunning(true);
    Type(*ed, "a5");
    Press(*ed, Qt::Key_PageDown);
    ed->ClearClick();
    EXPECT_EQ(Byte(0), 0xFF);
    EXPECT_EQ(ed->TopAddress, 0u);
    EXPECT_FALSE(ed->Clear->isEnabled());
    BufferImage()[0] = 0x42; // what the run wrote
    ed->RefreshByteEditor(); // asked for during the run: kept for its end
    EXPECT_TRUE(ed->RefreshPending);
    OperationBusy.store(false);
    ed->SetRunning(false);
    EXPECT_EQ(ed->EditHex[0]->text().left(2), "42");
    EXPECT_TRUE(ed->Clear->isEnabled());
}

TEST_F(EditByteTest, EntryPointsPickTheEditorOfTheDevice) {
    OpenBufferEditor(form.get());
    ASSERT_TRUE(EditByte1);
    EXPECT_TRUE(EditByte1->isVisible());
    SelectFuseMap(100, 10, 20);
    RefreshBufferEditors(1);
    EXPECT_FALSE(EditByte1->isVisible());
    OpenBufferEditor(form.get());
    OpenUesEditor(form.get());
    ASSERT_TRUE(EditBit1 && EditUes_);
    EXPECT_TRUE(EditBit1->isVisible() && EditUes_->isVisible());
    CloseBufferEditors();
    EXPECT_FALSE(EditBit1->isVisible() || EditUes_->isVisible());
    // The editors belong to the main window and go with it.
    EXPECT_EQ(EditByte1->parentWidget(), form.get());
    EXPECT_EQ(EditUes_->parentWidget(), form.get());
}

} // namespace

namespace {

// The byte editor at any font: its lines, headers, buttons and size label
// whole, nothing over another.
TEST_F(EditByteTest, LinesAndHeadersShowWhole) {
    FontSizes([this] {
        Remake(ed);
        ed->RefreshByteEditor();
        ed->show();
        QApplication::processEvents();
        ExpectNothingClipped(ed);
        ed->hide();
    });
}

} // namespace
