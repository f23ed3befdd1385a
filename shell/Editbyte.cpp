#include "shell/Editbyte.h"

#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "dialogs/DialogKit.h"
#include "engine/Buffer.h"
#include "engine/Config.h"
#include "engine/Device.h"
#include "engine/RowHooks.h"
#include "engine/Services.h"
#include "shell/Copy.h"
#include "shell/EditText.h"
#include "shell/Editbit.h"
#include "shell/Editues.h"
#include "shell/Fillbuff.h"
#include "shell/FindStr.h"
#include "shell/InfoPanel.h"

QPointer<TEditByte1> EditByte1;

namespace {

constexpr uint64_t kViewBytes = 16 * TEditByte1::kLines;
constexpr uint64_t kMinGrowthLimit = 16ull << 20;

uint64_t BankRoundUp(uint64_t bytes) { return (bytes + BufferBankBytes - 1) / BufferBankBytes * BufferBankBytes; }

bool IsHexKey(QChar c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// The plain byte sum over BufferStart..BufferEnd counts this byte whole, so
// an edit can correct BufferChecksum by the difference of the two values.
bool ByteSumCountsWhole(uint64_t address) {
    const RowHooks& hooks = HooksOfRow(CurrentAlgorithm);
    if (hooks.Checksum || hooks.ChecksumBytesAfterDevice || DeviceSize == 0) return false;
    const uint64_t last = static_cast<uint64_t>(BufferEnd) + hooks.ChecksumEndExtension;
    if (address < BufferStartByte() || address > last) return false;
    if (DeviceSection == SectionPld && address == last && DeviceSize % 8 != 0) return false;
    return true;
}

} // namespace

uint64_t EditorGrowthLimit() {
    const uint64_t device = static_cast<uint64_t>(BufferEnd) + 1;
    uint64_t limit = BankRoundUp(std::max(device, kMinGrowthLimit));
    limit = std::min(limit, BufferImageCapacity());
    return std::max(limit, static_cast<uint64_t>(BankCount) * BufferBankBytes);
}

TEditByte1::TEditByte1(QWidget* parent) : TEditorBase(parent, "EditByte1", "HEX Editor") {
    auto* grid = MakeLinesGrid();
    auto makePanel = [&](const char* text) {
        auto* l = new QLabel(text, this);
        l->setFont(lineFont_);
        l->setFrameShape(QFrame::Panel);
        l->setFrameShadow(QFrame::Raised);
        return l;
    };
    PanelAddress = makePanel("ADDRESS");
    PanelHex = makePanel("00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F");
    PanelAsc = makePanel("0123456789ABCDEF");
    grid->addWidget(PanelAddress, 0, 0);
    grid->addWidget(PanelHex, 0, 1);
    grid->addWidget(PanelAsc, 0, 2);
    for (int r = 0; r < kLines; ++r) {
        EditAddr[r] = MakeLineEdit(QString("EditAddr%1").arg(r), kAddrLast + 1);
        EditHex[r] = MakeLineEdit(QString("EditHex%1").arg(r), kHexLast + 1);
        EditAsc[r] = MakeLineEdit(QString("EditAsc%1").arg(r), kAscLast + 1);
        grid->addWidget(EditAddr[r], r + 1, 0);
        grid->addWidget(EditHex[r], r + 1, 1);
        grid->addWidget(EditAsc[r], r + 1, 2);
    }
    MakeRowScrollBar();
    grid->addWidget(ScrollBar1, 1, 3, kLines, 1);

    auto* buttons = new QVBoxLayout;
    auto makeButton = [&](const char* text, const char* name, void (TEditByte1::*handler)()) {
        QPushButton* b = MakeCommandButton(text, name);
        if (handler) connect(b, &QPushButton::clicked, this, handler);
        buttons->addWidget(b);
        return b;
    };
    Copy = makeButton("&Copy", "Copy", &TEditByte1::CopyClick);
    FillBuff = makeButton("&Fill", "FillBuff", &TEditByte1::FillBuffClick);
    Find = makeButton("&Find", "Find", &TEditByte1::FindClick);
    FindNext = makeButton("Find &Next", "FindNext", &TEditByte1::FindNextClick);
    Radix = makeButton("&Radix", "Radix", &TEditByte1::RadixClick);
    Swap16 = makeButton("&Swap 16", "Swap16", &TEditByte1::Swap16Click);
    Swap32 = makeButton("&Swap 32", "Swap32", &TEditByte1::Swap32Click);
    Clear = makeButton("C&lear", "Clear", &TEditByte1::ClearClick);
    Ok = makeButton("&Close", "Ok", &TEditByte1::OkClick);
    Help = makeButton("&Help", "Help", nullptr);
    buttons->addStretch(1);

    LabelSize = new QLabel(this);
    LabelSize->setObjectName("LabelSize");
    auto* top = new QHBoxLayout;
    top->addLayout(grid);
    top->addLayout(buttons);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(top);
    outer->addWidget(LabelSize);

    connect(ScrollBar1, &QScrollBar::valueChanged, this, &TEditByte1::ScrollBar1Scroll);
    ShowCursorLine({EditAddr, EditHex, EditAsc});
}

// ---------------------------------------------------------------------------
// Geometry of the view

uint64_t TEditByte1::BufferBytes() const { return static_cast<uint64_t>(BankCount) * BufferBankBytes; }

uint32_t TEditByte1::MaxTopAddress() const {
    const uint64_t limit = std::max(EditorGrowthLimit(), BufferBytes());
    return static_cast<uint32_t>(limit > kViewBytes ? limit - kViewBytes : 0);
}

void TEditByte1::SetTop(int64_t top) {
    top = std::clamp<int64_t>(top, 0, MaxTopAddress());
    TopAddress = static_cast<uint32_t>(top);
}

int TEditByte1::LastColumn() const {
    switch (Field) {
    case FieldHex: return kHexLast;
    case FieldAsc: return kAscLast;
    default: return kAddrLast;
    }
}

int TEditByte1::LineOf(QLineEdit* edit, FieldKind* kind) const {
    for (int r = 0; r < kLines; ++r) {
        if (edit == EditHex[r]) return *kind = FieldHex, r;
        if (edit == EditAsc[r]) return *kind = FieldAsc, r;
        if (edit == EditAddr[r]) return *kind = FieldAddr, r;
    }
    return -1;
}

QLineEdit* TEditByte1::CursorEdit() const {
    switch (Field) {
    case FieldHex: return EditHex[CursorLine];
    case FieldAsc: return EditAsc[CursorLine];
    default: return EditAddr[CursorLine];
    }
}

bool TEditByte1::Refuse() const { return EditorsLocked(); }

// ---------------------------------------------------------------------------
// Drawing

void TEditByte1::SetScrollMaximum() {
    settingScroll_ = true;
    ScrollBar1->setMaximum(static_cast<int>(BankCount * 256));
    settingScroll_ = false;
}

void TEditByte1::DrawLine(int r) {
    const uint64_t a = static_cast<uint64_t>(TopAddress) + 16u * static_cast<uint64_t>(r);
    // Drawing past the end grows the buffer, as far as the growth limit.
    if ((a >> 16) >= BankCount && a < EditorGrowthLimit()) {
        const uint32_t remembered = CurrentBank;
        SelectBank(static_cast<uint32_t>(a), 1);
        SelectBank(remembered << 16, 0);
    }
    EditAddr[r]->setText(AddressText(a, DecimalAddress));
    QString hex;
    QString asc;
    hex.reserve(kHexLast + 1);
    asc.reserve(kAscLast + 1);
    for (int i = 0; i < 16; ++i) {
        const uint64_t at = a + static_cast<uint64_t>(i);
        const uint8_t b = at <= UINT32_MAX ? ReadBufferByteCached(static_cast<uint32_t>(at))
                                           : static_cast<uint8_t>(FillByte);
        if (i) hex += ' ';
        hex += QString::asprintf("%02X", b);
        asc += ShownCharOfByte(b);
    }
    EditHex[r]->setText(hex);
    EditAsc[r]->setText(asc);
}

void TEditByte1::RefreshByteEditor() {
    if (DeferWhileLocked()) return;
    SetTop(TopAddress);
    SetScrollMaximum();
    for (int r = 0; r < kLines; ++r) DrawLine(r);
    SetScrollMaximum();
    LabelSize->setText(QString::asprintf("Buffer Size : %02llXh", static_cast<unsigned long long>(BufferBytes())));
}

void TEditByte1::PlaceCaret() {
    ShowCursorLine({EditAddr, EditHex, EditAsc});
    SelectCursorColumn(CursorEdit());
}

void TEditByte1::FollowScrollBar() {
    settingScroll_ = true;
    ScrollBar1->setValue(static_cast<int>(TopAddress / 256));
    settingScroll_ = false;
}

// ---------------------------------------------------------------------------
// Cursor movement

void TEditByte1::LineUp() {
    if (CursorLine > 0) {
        --CursorLine;
    } else if (TopAddress > 0) {
        SetTop(static_cast<int64_t>(TopAddress) - 16);
    }
}

void TEditByte1::LineDown() {
    if (CursorLine < kLines - 1) {
        ++CursorLine;
    } else if (TopAddress + 16ull <= MaxTopAddress()) {
        SetTop(static_cast<int64_t>(TopAddress) + 16);
    }
}

void TEditByte1::MoveLeft() {
    if (CursorColumn == 0) {
        const int line = CursorLine;
        const uint32_t top = TopAddress;
        LineUp();
        if (line != CursorLine || top != TopAddress) CursorColumn = LastColumn();
        return;
    }
    --CursorColumn;
    if (Field == FieldHex && CursorColumn % 3 == 2) --CursorColumn;
}

void TEditByte1::MoveRight() {
    if (CursorColumn >= LastColumn()) {
        const int line = CursorLine;
        const uint32_t top = TopAddress;
        LineDown();
        if (line != CursorLine || top != TopAddress) CursorColumn = 0;
        return;
    }
    ++CursorColumn;
    if (Field == FieldHex && CursorColumn % 3 == 2) ++CursorColumn;
}

// ---------------------------------------------------------------------------
// Keys and mouse

void TEditByte1::EditKeyDown(QLineEdit* edit, int key, Qt::KeyboardModifiers modifiers) {
    if (Refuse()) return;
    FieldKind kind;
    const int line = LineOf(edit, &kind);
    if (line >= 0 && (line != CursorLine || kind != Field)) {
        CursorLine = line;
        Field = kind;
        CursorColumn = std::min(CursorColumn, LastColumn());
    }
    const bool ctrl = modifiers & Qt::ControlModifier;
    const uint32_t top = TopAddress;
    switch (key) {
    case Qt::Key_PageUp: SetTop(static_cast<int64_t>(TopAddress) - 256); break;
    case Qt::Key_PageDown: SetTop(static_cast<int64_t>(TopAddress) + 256); break;
    case Qt::Key_Home:
        if (ctrl)
            TopAddress = 0;
        else
            CursorColumn = 0;
        break;
    case Qt::Key_End:
        if (ctrl)
            SetTop(static_cast<int64_t>(BufferBytes()) - 256);
        else
            CursorColumn = LastColumn();
        break;
    case Qt::Key_Left:
        if (ctrl)
            SetTop(static_cast<int64_t>(TopAddress) - 4096);
        else
            MoveLeft();
        break;
    case Qt::Key_Right:
        if (ctrl)
            SetTop(static_cast<int64_t>(TopAddress) + 4096);
        else
            MoveRight();
        break;
    case Qt::Key_Up: LineUp(); break;
    case Qt::Key_Down: LineDown(); break;
    default: return;
    }
    if (TopAddress != top) RefreshByteEditor();
    PlaceCaretAgain = true;
    PlaceCaret();
}

void TEditByte1::EditKeyPress(QLineEdit* edit, QChar key) {
    (void)edit;
    if (Refuse()) return;
    const uint64_t lineAddress = static_cast<uint64_t>(TopAddress) + 16u * static_cast<uint64_t>(CursorLine);
    if (Field == FieldHex) {
        const QChar c = key.toUpper();
        if (!IsHexKey(c)) return;
        const uint8_t digit = static_cast<uint8_t>(c <= '9' ? c.unicode() - '0' : c.unicode() - 'A' + 10);
        const uint64_t address = lineAddress + static_cast<uint64_t>(CursorColumn / 3);
        const uint8_t old = address <= UINT32_MAX ? ReadBufferByteCached(static_cast<uint32_t>(address)) : 0;
        const uint8_t value = CursorColumn % 3 == 0 ? static_cast<uint8_t>((old & 0x0F) | digit << 4)
                                                    : static_cast<uint8_t>((old & 0xF0) | digit);
        if (!StoreByte(address, value)) return;
    } else if (Field == FieldAsc) {
        const int b = EntryByteOfChar(key);
        if (b < 0) return;
        if (!StoreByte(lineAddress + static_cast<uint64_t>(CursorColumn), static_cast<uint8_t>(b))) return;
    } else {
        std::optional<uint64_t> value;
        if (!TypeAddressDigit(key, DecimalAddress, value)) return;
        const int64_t newTop = static_cast<int64_t>(value.value_or(0)) - 16 * CursorLine;
        // Any address of the buffer may be entered, 0 included.
        if (value && newTop >= 0 && static_cast<uint64_t>(newTop) < BufferBytes()) {
            TopAddress = static_cast<uint32_t>(newTop);
            RefreshByteEditor();
        }
    }
    if (Field != FieldAddr) DrawLine(CursorLine);
    const uint32_t top = TopAddress;
    MoveRight();
    if (TopAddress != top) RefreshByteEditor();
    PlaceCaretAgain = true;
    PlaceCaret();
}

// Stores one byte by buffer address and keeps the shown checksum right.
bool TEditByte1::StoreByte(uint64_t address, uint8_t value) {
    if (address >= EditorGrowthLimit()) return false;
    if ((address >> 16) >= BankCount) {
        const uint32_t remembered = CurrentBank;
        if (!SelectBank(static_cast<uint32_t>(address), 1)) return false;
        SelectBank(remembered << 16, 0);
    }
    uint8_t& cell = BufferImage()[address];
    const uint8_t old = cell;
    cell = value;
    if (ByteSumCountsWhole(address)) {
        BufferChecksum = BufferChecksum - old + value;
    } else {
        // Rows with their own checksum, partly counted bytes, bytes outside
        // the summed range: the sum is computed again.
        ComputeBufferChecksum(BufferStartByte(), BufferEnd);
    }
    ShowBufferChecksum();
    return true;
}

void TEditByte1::EditKeyUp(QLineEdit* edit, int key, Qt::KeyboardModifiers modifiers) {
    (void)edit;
    (void)modifiers;
    if (Refuse()) return;
    if (key == Qt::Key_Tab) {
        switch (Field) {
        case FieldHex:
            Field = FieldAsc;
            CursorColumn /= 3;
            break;
        case FieldAsc:
            Field = FieldAddr;
            CursorColumn = 0;
            break;
        default:
            Field = FieldHex;
            CursorColumn = 0;
            break;
        }
        PlaceCaretAgain = true;
    }
    FollowScrollBar();
    if (PlaceCaretAgain) {
        PlaceCaretAgain = false;
        PlaceCaret();
    }
}

void TEditByte1::EditMouseUp(QLineEdit* edit, const QPoint& pos) {
    FieldKind kind;
    const int line = LineOf(edit, &kind);
    if (line < 0) return;
    CursorLine = line;
    Field = kind;
    int column = std::clamp(edit->cursorPositionAt(pos), 0, LastColumn());
    if (Field == FieldHex && column % 3 == 2) ++column;
    CursorColumn = column;
    PlaceCaret();
}

void TEditByte1::ScrollBar1Scroll(int position) {
    if (settingScroll_ || Refuse()) return;
    const uint64_t top = static_cast<uint64_t>(position) * 256;
    const uint64_t most = BufferBytes() > kViewBytes ? BufferBytes() - kViewBytes : 0;
    const uint32_t newTop = static_cast<uint32_t>(std::min(top, most));
    if (newTop == TopAddress) return;
    TopAddress = newTop;
    RefreshByteEditor();
}

void TEditByte1::FormActivate() {
    if (Refuse()) return;
    SetScrollMaximum();
    RefreshByteEditor();
    FollowScrollBar();
    PlaceCaret();
}

void TEditByte1::SetRunning(bool running) {
    for (QWidget* w : std::initializer_list<QWidget*>{Copy, FillBuff, Find, FindNext, Radix, Swap16, Swap32,
                                                      Clear, ScrollBar1})
        w->setEnabled(!running);
    if (!running) {
        RefreshByteEditor();
        FollowScrollBar();
    }
}

// ---------------------------------------------------------------------------
// Commands

int TEditByte1::RunDialog(QDialog* dialog) {
    dialog->move(x() + 10, y() + 10);
    return ExecDialog ? ExecDialog(dialog) : dialog->exec();
}

// A swap moves bytes across the edges of the summed range (an odd start or
// length), and a copy or fill changes them: the sum is computed again.
void TEditByte1::AfterBufferChange() {
    RefreshByteEditor();
    ShowFreshBufferChecksum();
}

void TEditByte1::OkClick() { close(); }

void TEditByte1::FillBuffClick() {
    if (Refuse()) return;
    TFill1 dialog(this);
    if (RunDialog(&dialog) == ModalOk) AfterBufferChange();
}

void TEditByte1::CopyClick() {
    if (Refuse()) return;
    TCopy1 dialog(this);
    if (RunDialog(&dialog) == ModalOk) AfterBufferChange();
}

void TEditByte1::FindClick() {
    if (Refuse()) return;
    TFind1 dialog(this);
    if (RunDialog(&dialog) != ModalOk) return;
    Search(SearchDirection == 0 ? static_cast<int64_t>(TopAddress) + 1 : static_cast<int64_t>(TopAddress) + 255);
}

void TEditByte1::FindNextClick() {
    if (Refuse()) return;
    Search(SearchDirection == 0 ? static_cast<int64_t>(TopAddress) + 1 : static_cast<int64_t>(TopAddress) - 1);
}

void TEditByte1::Search(int64_t start) {
    const size_t n = SearchHex.size() / 2;
    int64_t found = -1;
    // Searching up from address 0 has nothing left to look at.
    if (n > 0 && start >= 0 && start <= UINT32_MAX)
        found = FindPattern(static_cast<uint32_t>(start), static_cast<int>(SearchDirection), SearchHex);
    if (found < 0) {
        ShowErrorBox(this, "Search pattern not found!");
    } else {
        TopAddress = static_cast<uint32_t>(found);
        RefreshByteEditor();
        CursorLine = 0;
        CursorColumn = 0;
        Field = FieldHex;
        PlaceCaret();
        EditHex[0]->setSelection(0, static_cast<int>(3 * n - 1));
        EditAsc[0]->setSelection(0, static_cast<int>(n));
    }
    FollowScrollBar();
}

void TEditByte1::RadixClick() {
    if (Refuse()) return;
    DecimalAddress = !DecimalAddress;
    RefreshByteEditor();
}

void TEditByte1::Swap16Click() {
    if (Refuse()) return;
    uint8_t* p = BufferImage();
    const uint64_t bytes = BufferBytes();
    for (uint64_t i = 0; i + 1 < bytes; i += 2) std::swap(p[i], p[i + 1]);
    AfterBufferChange();
}

void TEditByte1::Swap32Click() {
    if (Refuse()) return;
    uint8_t* p = BufferImage();
    const uint64_t bytes = BufferBytes();
    for (uint64_t i = 0; i + 3 < bytes; i += 4) {
        std::swap(p[i], p[i + 2]);
        std::swap(p[i + 1], p[i + 3]);
    }
    AfterBufferChange();
}

void TEditByte1::ClearClick() {
    if (Refuse()) return;
    FillBufferRange(0, static_cast<uint32_t>(BufferBytes() - 1), FillByte);
    RefreshByteEditor();
    ComputeBufferChecksum(BufferStartByte(), BufferEnd);
    DataFileName.clear();
    UpdateInfoPanel();
}

// ---------------------------------------------------------------------------
// Entry points of the main window

namespace {

void ShowEditor(QWidget* editor) {
    editor->show();
    editor->raise();
    editor->activateWindow();
}

} // namespace

void OpenBufferEditor(QWidget* parent) {
    if (EditorsLocked()) return;
    if (DeviceFlags & 8u) {
        if (EditByte1) EditByte1->close();
        if (!EditBit1) EditBit1 = new TEditBit1(parent);
        ShowEditor(EditBit1);
    } else {
        if (EditBit1) EditBit1->close();
        if (!EditByte1) EditByte1 = new TEditByte1(parent);
        ShowEditor(EditByte1);
    }
}

void OpenUesEditor(QWidget* parent) {
    if (EditorsLocked() || !UesOffered()) return;
    if (!EditUes_) {
        EditUes_ = new TEditUes_(parent);
        if (parent) EditUes_->move(parent->x() + 30, parent->y() + 80);
    }
    ShowEditor(EditUes_);
}

void RefreshBufferEditors(int flag) {
    if (DeviceFlags & 8u) {
        if (EditByte1) EditByte1->close();
        if (EditBit1) EditBit1->RefreshFuseEditor(flag);
    } else {
        if (EditBit1) EditBit1->close();
        if (EditByte1) EditByte1->RefreshByteEditor();
    }
    // The signature editor follows the device like the other two: closed
    // when the device has no signature, else showing the buffer's.
    if (EditUes_) {
        if (!UesOffered())
            EditUes_->close();
        else if (EditUes_->isVisible())
            EditUes_->LoadUes();
    }
}

void SetBufferEditorsRunning(bool running) {
    if (EditByte1) EditByte1->SetRunning(running);
    if (EditBit1) EditBit1->SetRunning(running);
    if (EditUes_) EditUes_->SetRunning(running);
}

void CloseBufferEditors() {
    if (EditBit1) EditBit1->close();
    if (EditByte1) EditByte1->close();
    if (EditUes_) EditUes_->close();
}
