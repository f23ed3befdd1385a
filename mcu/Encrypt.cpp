#include "mcu/Encrypt.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>

#include "dialogs/FontFit.h"
#include "engine/Device.h"
#include "engine/NeighbourState.h"
#include "engine/Services.h"
#include "mcu/Mcu8051.h"
#include "mcu/McuFrame.h"

namespace {

constexpr int kLastColumn = 46;
const char* const kFilter = "Encryption File(*.enc)";

QLineEdit* ByteEdit(QWidget* parent, const char* name, QObject* filter) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setMaxLength(2);
    e->installEventFilter(filter);
    return e;
}

QLabel* Label(QWidget* parent, const char* text, int x, int y, int w) {
    auto* l = new QLabel(QString::fromLatin1(text), parent);
    l->setGeometry(x, y, w, 16);
    return l;
}

QPushButton* Button(QWidget* parent, const char* name, const char* text, int x, int y, int w = 150) {
    auto* b = new QPushButton(QString::fromLatin1(text), parent);
    b->setObjectName(name);
    b->setGeometry(x, y, w, 25);
    return b;
}

bool IsHexDigit(QChar c) {
    const char a = c.toLatin1();
    return (a >= '0' && a <= '9') || (a >= 'a' && a <= 'f') || (a >= 'A' && a <= 'F');
}

constexpr uint32_t kTableSizes[4] = {16, 32, 64, 128};

int HexOf(const QLineEdit* e) {
    std::string t = e->text().toStdString();
    return HexTextToInt(t.data());
}

} // namespace

TEncryption1::TEncryption1(QWidget* parent) : QDialog(parent) {
    setObjectName("Encryption1");
    setWindowTitle("Option");
    ButtonLoad = Button(this, "ButtonLoad", "&Load", 8, 8, 75);
    ButtonSave = Button(this, "ButtonSave", "&Save", 90, 8, 75);
    Panel1 = new QWidget(this);
    Panel1->setObjectName("Panel1");
    Panel1->setGeometry(8, 40, 400, 130);
    const QFont terminal = TerminalFont(font());
    for (int r = 0; r < 8; ++r) {
        auto* e = new QLineEdit(Panel1);
        e->setObjectName(QString("EditHex%1").arg(r));
        e->setReadOnly(true);
        e->setFrame(false);
        e->setFont(terminal);
        e->setFocusPolicy(r == 0 ? Qt::StrongFocus : Qt::ClickFocus);
        e->setGeometry(0, r * 16, 400, 16);
        e->installEventFilter(this);
        EditHex[r] = e;
    }
    BitBtn1 = Button(this, "BitBtn1", "&Close", 330, 8, 75);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { done(2); });

    Panel2 = new QWidget(this);
    Panel2->setObjectName("Panel2");
    Panel2->setGeometry(8, 175, 400, 85);
    ComboBoxEncMode = new QComboBox(Panel2);
    ComboBoxEncMode->setObjectName("ComboBoxEncMode");
    ComboBoxEncMode->addItems({"Off", "On"});
    ComboBoxEncMode->setGeometry(150, 30, 110, 22);
    LabelSecMode = Label(Panel2, "Security &Mode", 270, 8, 120);
    LabelEndMode = Label(Panel2, "Encryption Mode &Enable", 150, 8, 118);
    ComboBoxSecMode = new QComboBox(Panel2);
    ComboBoxSecMode->setObjectName("ComboBoxSecMode");
    ComboBoxSecMode->setGeometry(270, 30, 120, 22);
    LabelEncSize = Label(Panel2, "Encryption &Table Size", 0, 8, 145);
    LabelPgmPulse = Label(Panel2, "Program Pulse &Count", 0, 58, 145);
    UpDown2 = new QScrollBar(Qt::Vertical, Panel2);
    UpDown2->setObjectName("UpDown2");
    UpDown2->setRange(5, 25);
    UpDown2->setInvertedControls(true);
    UpDown2->setGeometry(200, 56, 16, 22);
    ComboBoxEncSize = new QComboBox(Panel2);
    ComboBoxEncSize->setObjectName("ComboBoxEncSize");
    for (const uint32_t size : kTableSizes) ComboBoxEncSize->addItem(QString("%1 Bytes").arg(size));
    ComboBoxEncSize->setGeometry(0, 30, 140, 22);
    EditPulseCount = new QLineEdit(Panel2);
    EditPulseCount->setObjectName("EditPulseCount");
    EditPulseCount->setGeometry(150, 56, 50, 22);
    EditPulseCount->installEventFilter(this);

    Panel3 = new QWidget(this);
    Panel3->setObjectName("Panel3");
    Panel3->setGeometry(8, 262, 400, 75);
    LabelOptionRegister = Label(Panel3, "&Option Register Value", 0, 8, 155);
    ButtonRead = Button(Panel3, "ButtonRead", "&Read Option Register", 0, 40);
    ButtonProgram = Button(Panel3, "ButtonProgram", "&Program Option Register", 160, 40, 170);
    EditOptionRegister = ByteEdit(Panel3, "EditOptionRegister", this);
    EditOptionRegister->setGeometry(160, 6, 40, 22);

    Panel4 = new QWidget(this);
    Panel4->setObjectName("Panel4");
    Panel4->setGeometry(8, 262, 400, 75);
    LabelConfigByte0 = Label(Panel4, "Config Byte &0", 0, 8, 88);
    ButtonRead1 = Button(Panel4, "ButtonRead1", "&Read Option Register", 0, 40);
    Button2 = Button(Panel4, "Button2", "&Program Option Register", 160, 40, 170);
    LabelConfigByte1 = Label(Panel4, "Config Byte &1", 160, 8, 88);
    EditConfigByte0 = ByteEdit(Panel4, "EditConfigByte0", this);
    EditConfigByte0->setGeometry(90, 6, 40, 22);
    EditConfigByte1 = ByteEdit(Panel4, "EditConfigByte1", this);
    EditConfigByte1->setGeometry(250, 6, 40, 22);

    // Each label's mnemonic takes the focus to its field.
    LabelEncSize->setBuddy(ComboBoxEncSize);
    LabelEndMode->setBuddy(ComboBoxEncMode);
    LabelSecMode->setBuddy(ComboBoxSecMode);
    LabelPgmPulse->setBuddy(EditPulseCount);
    LabelOptionRegister->setBuddy(EditOptionRegister);
    LabelConfigByte0->setBuddy(EditConfigByte0);
    LabelConfigByte1->setBuddy(EditConfigByte1);
    for (QLineEdit* e : {EditPulseCount, EditOptionRegister, EditConfigByte0, EditConfigByte1})
        connect(e, &QLineEdit::editingFinished, this, &TEncryption1::Change);
    for (QComboBox* c : {ComboBoxEncMode, ComboBoxSecMode})
        connect(c, QOverload<int>::of(&QComboBox::activated), this, [this](int) { Change(); });
    connect(ComboBoxEncSize, QOverload<int>::of(&QComboBox::activated), this, [this](int) { Change(); });
    connect(UpDown2, &QScrollBar::valueChanged, this, [this](int v) {
        EditPulseCount->setText(QString::number(v));
        Change();
    });
    connect(ButtonLoad, &QPushButton::clicked, this, &TEncryption1::ButtonLoadClick);
    connect(ButtonSave, &QPushButton::clicked, this, &TEncryption1::ButtonSaveClick);
    for (QPushButton* b : {ButtonRead, ButtonRead1}) connect(b, &QPushButton::clicked, this, &TEncryption1::ButtonReadClick);
    for (QPushButton* b : {ButtonProgram, Button2})
        connect(b, &QPushButton::clicked, this, &TEncryption1::ButtonProgramClick);

    AskOpenFileName = [this] {
        return QFileDialog::getOpenFileName(this, "Open Encryption File", QString(), QString(kFilter) + ";;*.enc");
    };
    AskSaveFileName = [this] {
        QFileDialog d(this, "Save Encryption File", QString(), kFilter);
        d.setAcceptMode(QFileDialog::AcceptSave);
        d.setDefaultSuffix("enc");
        return d.exec() == QDialog::Accepted && !d.selectedFiles().isEmpty() ? d.selectedFiles().front() : QString();
    };

    // Construction by row.
    if (CurrentAlgorithm == 129) {
        for (QWidget* w : {static_cast<QWidget*>(LabelPgmPulse), static_cast<QWidget*>(EditPulseCount),
                           static_cast<QWidget*>(UpDown2)})
            w->hide();
        ComboBoxSecMode->addItems({"Level 2", "Level 3"});
    } else {
        ComboBoxSecMode->addItems({"Lock Bit 1", "Lock Bits 1,2"});
        if ((DeviceSubVariant & SubVariantTwoLockBits) == 0) ComboBoxSecMode->addItem("Lock Bits 1,2,3");
    }
    int height = 345;
    if (CurrentAlgorithm == 107) {
        Panel3->hide();
    } else {
        Panel4->hide();
        const bool panel = (DeviceSubVariant & SubVariantOptionPanel) != 0;
        Panel3->setVisible(panel);
        height = panel ? 345 : 265;
    }
    setFixedSize(416, height);
    // The table's rows and the settings as shown, so the form fits them.
    for (int r = 0; r < 8; ++r) ShowTableRow(r);
    ShowSettings();
    FitToFont(this);
}

int TEncryption1::RowOf(QObject* edit) const {
    for (int r = 0; r < 8; ++r)
        if (EditHex[r] == edit) return r;
    return -1;
}

void TEncryption1::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormActivate();
}

void TEncryption1::FormActivate() {
    for (int r = 0; r < 8; ++r) ShowTableRow(r);
    CaretRow = CaretColumn = 0;
    ShowSettings();
}

void TEncryption1::ShowTableRow(int row) {
    if (row < 0 || row > 7) return;
    std::string text;
    char cell[4];
    for (int k = 0; k < 16; ++k) {
        std::snprintf(cell, sizeof cell, "%02X ", EncryptionTable[16 * row + k]);
        text += cell;
    }
    text.resize(kLastColumn + 1);
    EditHex[row]->setText(QString::fromLatin1(text.c_str()));
}

void TEncryption1::ShowSettings() {
    const auto* size = std::find(std::begin(kTableSizes), std::end(kTableSizes), EncryptionTableSize);
    ComboBoxEncSize->setCurrentIndex(size != std::end(kTableSizes) ? static_cast<int>(size - kTableSizes) : 1);
    ComboBoxEncMode->setCurrentIndex(EncryptionEnable == 1 ? 1 : 0);
    // A mode past the list (two levels, two lock bits) shows and keeps the
    // list's last item.
    const int last = ComboBoxSecMode->count() - 1;
    if (static_cast<int>(SecurityMode) > last) SecurityMode = static_cast<uint32_t>(std::max(last, 0));
    ComboBoxSecMode->setCurrentIndex(static_cast<int>(SecurityMode));
    EditPulseCount->setText(QString::number(Retry));
    {
        const QSignalBlocker block(UpDown2);
        UpDown2->setValue(static_cast<int>(Retry));
    }
    EditOptionRegister->setText(QString::asprintf("%02X", OptionRegister & 0xFF));
    EditConfigByte0->setText(QString::asprintf("%02X", ConfigBytes[0] & 0xFF));
    EditConfigByte1->setText(QString::asprintf("%02X", ConfigBytes[1] & 0xFF));
}

void TEncryption1::Change() {
    const int s = ComboBoxEncSize->currentIndex();
    const uint32_t size = s >= 0 && s < 4 ? kTableSizes[s] : 32;
    // A table longer than the part's array would fold over it: refused, the
    // size stays. A shorter one leaves the rest of the array erased.
    if (const uint32_t array = EncryptionArraySize(); array != 0 && size > array)
        ShowMessageLine(" Encryption table of %u bytes refused: this part's array holds %u bytes.", size, array);
    else
        EncryptionTableSize = size;
    EncryptionEnable = static_cast<uint32_t>(std::max(ComboBoxEncMode->currentIndex(), 0));
    SecurityMode = static_cast<uint32_t>(std::max(ComboBoxSecMode->currentIndex(), 0));
    // A count that is not a decimal number keeps Retry; the rest goes on.
    bool ok = false;
    const int pulses = EditPulseCount->text().toInt(&ok, 10);
    if (ok) Retry = static_cast<uint32_t>(std::clamp(pulses, 5, 25));
    OptionRegister = HexOf(EditOptionRegister);
    ConfigBytes[0] = HexOf(EditConfigByte0);
    ConfigBytes[1] = HexOf(EditConfigByte1);
    EncryptionTableSize = std::clamp<uint32_t>(EncryptionTableSize, 16, 128);
    ShowSettings();
}

void TEncryption1::PlaceCaret(int column) {
    QLineEdit* e = EditHex[CaretRow];
    e->deselect();
    e->setCursorPosition(column);
    e->setFocus();
}

void TEncryption1::StepRight() {
    if (CaretColumn >= kLastColumn) {
        CaretRow = (CaretRow + 1) % 8;
        CaretColumn = 0;
    } else if (++CaretColumn % 3 == 2) {
        ++CaretColumn;
    }
    PlaceCaret(CaretColumn);
}

void TEncryption1::StepLeft() {
    if (CaretColumn <= 0) {
        CaretRow = (CaretRow + 7) % 8;
        CaretColumn = kLastColumn;
    } else if (--CaretColumn % 3 == 2) {
        --CaretColumn;
    }
    PlaceCaret(CaretColumn);
}

void TEncryption1::EditKeyDown(int key) {
    switch (key) {
    case Qt::Key_Home:
        CaretColumn = 0;
        break;
    case Qt::Key_End:
        CaretColumn = kLastColumn;
        break;
    case Qt::Key_Left:
        return StepLeft();
    case Qt::Key_Right:
        return StepRight();
    case Qt::Key_Up:
        CaretRow = (CaretRow + 7) % 8;
        break;
    case Qt::Key_Down:
        CaretRow = (CaretRow + 1) % 8;
        break;
    default:
        return;
    }
    PlaceCaret(CaretColumn);
}

void TEncryption1::EditKeyPress(QChar key) {
    const QChar k = key.toUpper();
    if (!IsHexDigit(k) || CaretColumn % 3 == 2) return;
    const uint8_t digit = static_cast<uint8_t>(std::stoi(std::string(1, k.toLatin1()), nullptr, 16));
    uint8_t& b = EncryptionTable[16 * CaretRow + CaretColumn / 3];
    b = CaretColumn % 3 == 0 ? static_cast<uint8_t>((b & 0x0F) | digit << 4) : static_cast<uint8_t>((b & 0xF0) | digit);
    ShowTableRow(CaretRow);
    StepRight();
}

void TEncryption1::EditMouseUp(int row, int position) {
    if (row < 0 || row > 7) return;
    EditHex[row]->deselect();
    CaretRow = row;
    CaretColumn = std::clamp(position, 0, kLastColumn + 1);
    if (CaretColumn > kLastColumn) {
        CaretColumn = kLastColumn;
    } else if (CaretColumn % 3 == 2) {
        ++CaretColumn;
    }
    PlaceCaret(CaretColumn);
}

bool TEncryption1::eventFilter(QObject* watched, QEvent* event) {
    const int row = RowOf(watched);
    if (event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (row >= 0) {
            if (row != CaretRow) CaretRow = row;
            EditKeyDown(k->key());
            if (!k->text().isEmpty()) EditKeyPress(k->text().front());
            return k->key() != Qt::Key_Tab && k->key() != Qt::Key_Backtab;
        }
        const bool pulse = watched == EditPulseCount;
        const bool byte = watched == EditOptionRegister || watched == EditConfigByte0 || watched == EditConfigByte1;
        if ((pulse || byte) && !k->text().isEmpty() && k->text().front().isPrint()) {
            const QChar c = k->text().front();
            return pulse ? !(c >= '0' && c <= '9') : !IsHexDigit(c);
        }
        // Byte edits swallow Backspace as well.
        if (byte && k->key() == Qt::Key_Backspace) return true;
    } else if (event->type() == QEvent::MouseButtonRelease && row >= 0) {
        const bool handled = QDialog::eventFilter(watched, event);
        EditMouseUp(row, EditHex[row]->cursorPosition());
        return handled;
    }
    return QDialog::eventFilter(watched, event);
}

void TEncryption1::ButtonLoadClick() {
    const QString name = AskOpenFileName ? AskOpenFileName() : QString();
    if (name.isEmpty()) return;
    std::FILE* f = std::fopen(name.toLocal8Bit().constData(), "rb");
    if (f == nullptr) return;
    const uint32_t n = std::min(EncryptionTableSize, EncryptionTableCapacity);
    const size_t got = std::fread(EncryptionTable, 1, n, f);
    (void)got; // a shorter file replaces only the bytes it has
    std::fclose(f);
    for (int r = 0; r < 8; ++r) ShowTableRow(r);
}

void TEncryption1::ButtonSaveClick() {
    const QString name = AskSaveFileName ? AskSaveFileName() : QString();
    if (name.isEmpty()) return;
    std::FILE* f = std::fopen(name.toLocal8Bit().constData(), "wb");
    if (f == nullptr) return;
    std::fwrite(EncryptionTable, 1, std::min(EncryptionTableSize, EncryptionTableCapacity), f);
    std::fclose(f);
    for (int r = 0; r < 8; ++r) ShowTableRow(r);
}

void TEncryption1::ButtonReadClick() {
    EncryptionDialogResult = CurrentAlgorithm == 107 ? ReadConfigBytes107() : ReadOptionRegister100();
    ShowSettings();
}

void TEncryption1::ButtonProgramClick() {
    EncryptionDialogResult = CurrentAlgorithm == 107 ? ProgramConfigBytes107() : ProgramOptionRegister100();
}

int RunEncryptionDialog() {
    TEncryption1 dialog;
    dialog.move(GetMainFormLeft() + 320, GetMainFormTop() + 100);
    dialog.exec();
    return 1;
}
