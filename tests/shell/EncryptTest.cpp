// The security and encryption dialog: grid edits and wrap, the settings
// with their clamps, the *.enc files, construction by row, and its Read and
// Program buttons on the simulator.
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <cstdio>

#include "ShellTestSupport.h"
#include "mcu/Encrypt.h"
#include "mcu/McuFixture.h"
#include "mcu/McuFrame.h"

namespace {

class EncryptDialog : public McuRun {
protected:
    void SetUp() override {
        EnsureApp();
        McuRun::SetUp();
    }
    std::unique_ptr<TEncryption1> Make(uint32_t row, uint8_t subVariant = 0) {
        CurrentAlgorithm = row;
        DeviceSubVariant = subVariant;
        auto d = std::make_unique<TEncryption1>();
        d->FormActivate();
        return d;
    }
    static void Type(TEncryption1& d, const char* keys) {
        for (const char* k = keys; *k; ++k) QTest::keyClick(d.EditHex[d.CaretRow], *k);
    }
};

TEST_F(EncryptDialog, TypingSetsTableBytesAndStepsTheCaret) {
    auto d = Make(100);
    d->EditMouseUp(2, 0);
    Type(*d, "a5");
    EXPECT_EQ(EncryptionTable[32], 0xA5);
    EXPECT_EQ(d->CaretRow, 2);
    EXPECT_EQ(d->CaretColumn, 3);
    EXPECT_EQ(d->EditHex[2]->text().left(6), "A5 FF ");
    Type(*d, "xg");
    EXPECT_EQ(EncryptionTable[33], 0xFF); // not hexadecimal: nothing changes
    struct Move {
        int row, column, key, toRow, toColumn;
    };
    for (const Move m : {Move{7, 46, Qt::Key_Right, 0, 0}, Move{0, 0, Qt::Key_Left, 7, 46},
                         Move{0, 3, Qt::Key_Up, 7, 3}, Move{7, 4, Qt::Key_Down, 0, 4}, Move{3, 1, Qt::Key_Right, 3, 3},
                         Move{3, 3, Qt::Key_Left, 3, 1}, Move{5, 9, Qt::Key_End, 5, 46},
                         Move{5, 9, Qt::Key_Home, 5, 0}}) {
        d->CaretRow = m.row;
        d->CaretColumn = m.column;
        QTest::keyClick(d->EditHex[m.row], static_cast<Qt::Key>(m.key));
        EXPECT_EQ(d->CaretRow, m.toRow) << m.key;
        EXPECT_EQ(d->CaretColumn, m.toColumn) << m.key;
    }
    // The last digit of row 7 wraps to byte 0.
    d->CaretRow = 7;
    d->CaretColumn = 46;
    Type(*d, "3");
    EXPECT_EQ(EncryptionTable[127], 0xF3);
    EXPECT_EQ(d->CaretRow, 0);
    EXPECT_EQ(d->CaretColumn, 0);
}

TEST_F(EncryptDialog, ChangeTakesTheControlsInOrderWithClamps) {
    PageSize = 64;
    auto d = Make(100);
    struct Case {
        const char* pulses;
        uint32_t retry;
    };
    Retry = 12;
    for (const Case c : {Case{"3", 5}, Case{"40", 25}, Case{"", 25}, Case{"17", 17}}) {
        d->EditPulseCount->setText(c.pulses);
        d->ComboBoxEncSize->setCurrentIndex(2);
        d->ComboBoxEncMode->setCurrentIndex(1);
        d->EditOptionRegister->setText("c3");
        d->Change();
        EXPECT_EQ(Retry, c.retry) << c.pulses;
        EXPECT_EQ(EncryptionTableSize, 64u); // the rest of Change still runs
        EXPECT_EQ(EncryptionEnable, 1u);
        EXPECT_EQ(OptionRegister, 0xC3);
        EXPECT_EQ(d->EditPulseCount->text(), QString::number(c.retry));
    }
    // Byte edits take hexadecimal digits only; the pulse count decimal ones.
    d->EditConfigByte0->clear();
    QTest::keyClicks(d->EditConfigByte0, "zA9");
    QTest::keyClick(d->EditConfigByte0, Qt::Key_Backspace);
    EXPECT_EQ(d->EditConfigByte0->text(), "A9");
    d->EditPulseCount->clear();
    QTest::keyClicks(d->EditPulseCount, "1a2");
    EXPECT_EQ(d->EditPulseCount->text(), "12");
}

// Every table size is offered; one longer than the part's array is refused
// with a line naming the array's size and the size stays, a part without an
// array takes any. On an 87C51 (64 entries) a 32-byte table is written entry
// for entry, the rest of the array stays erased, and a read decodes through
// the whole array.
TEST_F(EncryptDialog, OffersEveryTableSizeAndRefusesOneLongerThanThePart) {
    for (uint32_t page : {16u, 32u, 64u, 128u, 0u}) {
        SCOPED_TRACE(page);
        PageSize = page;
        EncryptionTableSize = page != 0 ? page : 32;
        auto d = Make(100);
        ASSERT_EQ(d->ComboBoxEncSize->count(), 4);
        EXPECT_TRUE(d->ComboBoxEncSize->isEnabled());
        for (int item = 0; item < 4; ++item) {
            const uint32_t size = 16u << item;
            EXPECT_EQ(d->ComboBoxEncSize->itemText(item), QString("%1 Bytes").arg(size));
            const uint32_t before = EncryptionTableSize;
            const size_t lines = ui.Log.size();
            d->ComboBoxEncSize->setCurrentIndex(item);
            d->Change();
            const bool refused = page != 0 && size > page;
            EXPECT_EQ(EncryptionTableSize, refused ? before : size) << size;
            // The list shows the size kept.
            EXPECT_EQ(d->ComboBoxEncSize->currentText(), QString("%1 Bytes").arg(EncryptionTableSize));
            const std::string line = " Encryption table of " + std::to_string(size) +
                                     " bytes refused: this part's array holds " + std::to_string(page) + " bytes.";
            EXPECT_EQ(HasLine(line), refused) << LogText();
            EXPECT_EQ(ui.Log.size(), lines + (refused ? 1u : 0u));
        }
    }
    ASSERT_TRUE(Select("INTEL", "87C51"));
    sim::Mcu8051Chip* chip = Seat("INTEL", "87C51");
    ASSERT_NE(chip, nullptr);
    ASSERT_EQ(chip->Facts().tableBytes, 64u);
    auto d = Make(100, DeviceSubVariant);
    d->ComboBoxEncSize->setCurrentIndex(1);
    d->Change();
    ASSERT_EQ(EncryptionTableSize, 32u);
    for (uint32_t i = 0; i < EncryptionTableCapacity; ++i) EncryptionTable[i] = static_cast<uint8_t>(0x3C ^ i * 5);
    EXPECT_EQ(Run(OpEncryption), ResultOk) << LogText();
    for (uint32_t i = 0; i < 64; ++i) ASSERT_EQ(chip->Table(i), i < 32 ? EncryptionTable[i] : 0xFF) << i;
    for (uint32_t a = 0; a < 0x100; ++a) chip->SetCell(a, static_cast<uint8_t>(a * 3));
    DeviceEnd = 0xFF;
    EncryptionEnable = 1;
    ASSERT_EQ(Run(OpRead), ResultOk) << LogText();
    // The part gives each byte XNORed with its entry; the read undoes it.
    for (uint32_t a = 0; a < 0x100; ++a) ASSERT_EQ(ReadBufferByteCached(a), chip->Cell(a)) << std::hex << a;
}

TEST_F(EncryptDialog, ConstructionByRow) {
    struct Case {
        uint32_t row;
        uint8_t sub;
        int items;
        bool pulses, panel3, panel4;
    };
    for (const Case c : {Case{100, 0x05, 3, true, false, false}, Case{100, 0xC5, 2, true, true, false},
                         Case{129, 0, 2, false, false, false}, Case{107, 0x05, 3, true, false, true}}) {
        SCOPED_TRACE(c.row);
        auto d = Make(c.row, c.sub);
        d->show();
        EXPECT_EQ(d->ComboBoxSecMode->count(), c.items);
        EXPECT_EQ(d->EditPulseCount->isVisible(), c.pulses);
        EXPECT_EQ(d->Panel3->isVisible(), c.panel3);
        EXPECT_EQ(d->Panel4->isVisible(), c.panel4);
        // The form holds the option panel when it shows one, and ends in
        // its place otherwise.
        EXPECT_EQ(d->height() > d->Panel3->geometry().bottom(), c.panel3 || c.panel4);
        EXPECT_EQ(d->ComboBoxSecMode->itemText(0), c.row == 129 ? "Level 2" : "Lock Bit 1");
        d->hide();
    }
    // A mode past a two-item list shows and keeps the last item.
    SecurityMode = 2;
    auto d = Make(100, 0x85);
    EXPECT_EQ(d->ComboBoxSecMode->currentIndex(), 1);
    EXPECT_EQ(SecurityMode, 1u);
}

TEST_F(EncryptDialog, EncryptionFilesAreTheTableBytes) {
    auto d = Make(100);
    for (uint32_t i = 0; i < 128; ++i) EncryptionTable[i] = static_cast<uint8_t>(i + 1);
    EncryptionTableSize = 32;
    d->AskSaveFileName = [] { return QString("t.enc"); };
    d->ButtonSaveClick();
    EXPECT_EQ(ReadText("t.enc").size(), 32u);
    // "32 Bytes" chosen on a part with a 64-entry array: the file is the
    // table's first 32 bytes.
    PageSize = 64;
    EncryptionTableSize = 64;
    d->ShowSettings();
    d->ComboBoxEncSize->setCurrentIndex(1);
    d->Change();
    ASSERT_EQ(EncryptionTableSize, 32u);
    d->AskSaveFileName = [] { return QString("t32.enc"); };
    d->ButtonSaveClick();
    const std::string saved = ReadText("t32.enc");
    ASSERT_EQ(saved.size(), 32u);
    for (uint32_t i = 0; i < 32; ++i) EXPECT_EQ(static_cast<uint8_t>(saved[i]), i + 1) << i;
    {
        std::FILE* f = std::fopen("big.enc", "wb");
        for (int i = 0; i < 128; ++i) std::fputc(0xA0 ^ i, f);
        std::fclose(f);
    }
    EncryptionTableSize = 16;
    d->AskOpenFileName = [] { return QString("big.enc"); };
    d->ButtonLoadClick();
    EXPECT_EQ(EncryptionTable[15], 0xA0 ^ 15);
    EXPECT_EQ(EncryptionTable[16], 17); // past the table size: kept
    d->AskOpenFileName = [] { return QString("missing.enc"); };
    d->ButtonLoadClick(); // silently nothing
    EXPECT_EQ(EncryptionTable[0], 0xA0);
}

TEST_F(EncryptDialog, ReadAndProgramButtonsTalkToTheChip) {
    ASSERT_TRUE(Select("INTEL", "87C51FA"));
    sim::Mcu8051Facts f = *sim::FindFacts<sim::Mcu8051Facts>("INTEL", "87C51FA");
    f.optionRegister = true;
    sim::Mcu8051Chip* chip = Seat(f);
    auto d = Make(100, 0x45);
    PrepareDialog();
    d->EditOptionRegister->setText("3C");
    d->Change();
    d->ButtonProgram->click();
    EXPECT_EQ(chip->OptionRegister(), 0x3C);
    d->EditOptionRegister->setText("00");
    d->ButtonRead->click();
    EXPECT_EQ(d->EditOptionRegister->text(), "3C");
    EXPECT_EQ(EncryptionDialogResult, 1);

    socket->Clear();
    sim::Mcu8051Chip* cc = SelectAndSeat("GENERIC-ALGORITHM", "8051CC-80");
    auto d7 = Make(107, 0x05);
    PrepareDialog();
    d7->EditConfigByte0->setText("12");
    d7->EditConfigByte1->setText("34");
    d7->Change();
    d7->Button2->click();
    EXPECT_EQ(cc->Config(0), 0x12);
    EXPECT_EQ(cc->Config(1), 0x34);
    d7->EditConfigByte1->setText("00");
    d7->ButtonRead1->click();
    EXPECT_EQ(d7->EditConfigByte1->text(), "34");
    ExpectNoViolations();
}

} // namespace
