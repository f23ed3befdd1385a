#include "shell/Editbit.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "shell/EditText.h"
#include "shell/InfoPanel.h"

QPointer<TEditBit1> EditBit1;

namespace {

// The fuse map is the window of bank 0.
void UseFuseMapBank() {
    if (CurrentBank != 0) SelectBank(0, 0);
}

} // namespace

TEditBit1::TEditBit1(QWidget* parent) : TEditorBase(parent, "EditBit1", "Edit Bit") {
    auto* grid = MakeLinesGrid();
    auto makeLabel = [&](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(name);
        l->setFont(lineFont_);
        return l;
    };
    LabelTens = makeLabel("LabelTens");
    LabelUnits = makeLabel("LabelUnits");
    LabelAddr = makeLabel("LabelAddr");
    grid->addWidget(LabelAddr, 0, 0, 2, 1);
    grid->addWidget(LabelTens, 0, 1);
    grid->addWidget(LabelUnits, 1, 1);
    for (int r = 0; r < kLines; ++r) {
        EditAddr[r] = MakeLineEdit(QString("EditAddr%1").arg(r), kAddrLast + 1);
        EditData[r] = MakeLineEdit(QString("EditData%1").arg(r)); // width set by LayOut
        grid->addWidget(EditAddr[r], r + 2, 0);
        grid->addWidget(EditData[r], r + 2, 1);
    }
    MakeRowScrollBar();
    grid->addWidget(ScrollBar1, 2, 2, kLines, 1);
    ScrollBar2 = new QScrollBar(Qt::Horizontal, this);
    ScrollBar2->setObjectName("ScrollBar2");
    grid->addWidget(ScrollBar2, kLines + 2, 1);

    ButtonMode = MakeCommandButton("&Mode", "ButtonMode");
    ButtonRadix = MakeCommandButton("&Radix", "ButtonRadix");
    ButtonClose = MakeCommandButton("&Close", "ButtonClose");
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {ButtonMode, ButtonRadix, ButtonClose}) buttons->addWidget(b);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(grid);
    outer->addLayout(buttons);

    connect(ButtonMode, &QPushButton::clicked, this, &TEditBit1::ButtonModeClick);
    connect(ButtonRadix, &QPushButton::clicked, this, &TEditBit1::ButtonRadixClick);
    connect(ButtonClose, &QPushButton::clicked, this, &TEditBit1::ButtonCloseClick);
    connect(ScrollBar1, &QScrollBar::valueChanged, this, &TEditBit1::ScrollBar1Scroll);
    connect(ScrollBar2, &QScrollBar::valueChanged, this, &TEditBit1::ScrollBar2Scroll);
    LayOut();
}

// ---------------------------------------------------------------------------
// Geometry

void TEditBit1::LayOut() {
    TotalFuses = DeviceSize;
    RowLength = FuseRowLength ? FuseRowLength : std::max<uint32_t>(TotalFuses, 1);
    RowCount = static_cast<uint32_t>((static_cast<uint64_t>(TotalFuses) + RowLength - 1) / RowLength);
    VisibleColumns = static_cast<int>(std::min<uint32_t>(RowLength, kMaxColumns));

    for (QLineEdit* e : EditData) e->setFixedWidth(LineWidth(VisibleColumns));
    ScrollBar2->setVisible(RowLength > static_cast<uint32_t>(kMaxColumns));
    settingScroll_ = true;
    ScrollBar1->setRange(0, static_cast<int>(LastPageTop() / RowLength));
    // One step per column; the far end shows the row's last visible-width columns.
    ScrollBar2->setRange(0, static_cast<int>(std::min<uint32_t>(RowLength, INT32_MAX)));
    settingScroll_ = false;
    resize(CharWidth() * VisibleColumns + 108 + EditAddr[0]->width(), height());

    // Keep the state inside the (possibly new) geometry.
    TopFuse = std::min(TopFuse, LastPageTop());
    CursorLine = std::min(CursorLine, LastLine());
    ColumnOffset = std::min<uint32_t>(ColumnOffset, RowLength - static_cast<uint32_t>(VisibleColumns));
    CursorColumn = std::clamp(CursorColumn, 0, Field == FieldAddr ? kAddrLast : VisibleColumns - 1);
}

uint32_t TEditBit1::LastPageTop() const {
    return RowCount > static_cast<uint32_t>(kLines)
               ? static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(RowCount - kLines) * RowLength,
                                                          UINT32_MAX))
               : 0;
}

int TEditBit1::LastLine() const {
    return RowCount == 0 ? 0 : static_cast<int>(std::min<uint32_t>(RowCount, kLines)) - 1;
}

void TEditBit1::SetTop(int64_t top) { TopFuse = static_cast<uint32_t>(std::clamp<int64_t>(top, 0, LastPageTop())); }

int TEditBit1::LineOf(QLineEdit* edit, FieldKind* kind) const {
    for (int r = 0; r < kLines; ++r) {
        if (edit == EditData[r]) return *kind = FieldData, r;
        if (edit == EditAddr[r]) return *kind = FieldAddr, r;
    }
    return -1;
}

QLineEdit* TEditBit1::CursorEdit() const { return Field == FieldData ? EditData[CursorLine] : EditAddr[CursorLine]; }

// ---------------------------------------------------------------------------
// Drawing

void TEditBit1::DrawLine(int r) {
    const uint64_t start = static_cast<uint64_t>(TopFuse) + static_cast<uint64_t>(r) * RowLength;
    if (start >= TotalFuses || r > LastLine()) {
        EditAddr[r]->clear();
        EditData[r]->clear();
        return;
    }
    EditAddr[r]->setText(AddressText(start, DecimalAddress));
    QString data;
    for (int c = 0; c < VisibleColumns; ++c) {
        const uint64_t column = ColumnOffset + static_cast<uint64_t>(c);
        const uint64_t fuse = start + column;
        if (column >= RowLength || fuse >= TotalFuses) break;
        const bool set = GetBufferBit(static_cast<uint32_t>(fuse)) != 0;
        data += SymbolMode ? (set ? '-' : 'X') : (set ? '1' : '0');
    }
    EditData[r]->setText(data);
}

void TEditBit1::DrawHeaders() {
    QString tens;
    QString units;
    for (int c = 0; c < VisibleColumns; ++c) {
        const uint32_t n = ColumnOffset + static_cast<uint32_t>(c);
        tens += QChar('0' + static_cast<int>(n / 10 % 10));
        units += QChar('0' + static_cast<int>(n % 10));
    }
    LabelTens->setText(tens);
    LabelUnits->setText(units);
}

void TEditBit1::ShowFuseNumber() {
    if (Field == FieldAddr) {
        LabelAddr->clear();
        return;
    }
    const uint64_t fuse = static_cast<uint64_t>(CursorLine) * RowLength + TopFuse + ColumnOffset +
                          static_cast<uint64_t>(CursorColumn);
    LabelAddr->setText(QString::number(fuse));
}

void TEditBit1::Redraw() {
    if (DeferWhileLocked()) return;
    UseFuseMapBank();
    DrawHeaders();
    for (int r = 0; r < kLines; ++r) DrawLine(r);
    ShowFuseNumber();
}

void TEditBit1::RefreshFuseEditor(int relayout) {
    if (relayout == 1) {
        TopFuse = 0;
        CursorLine = 0;
        CursorColumn = 0;
        ColumnOffset = 0;
        LayOut();
        settingScroll_ = true;
        ScrollBar1->setValue(0);
        ScrollBar2->setValue(0);
        settingScroll_ = false;
    }
    Redraw();
}

void TEditBit1::PlaceCaret() {
    ShowCursorLine({EditAddr, EditData});
    SelectCursorColumn(CursorEdit());
    ShowFuseNumber();
}

void TEditBit1::FollowScrollBars() {
    settingScroll_ = true;
    ScrollBar1->setValue(static_cast<int>(TopFuse / RowLength));
    ScrollBar2->setValue(static_cast<int>(ColumnOffset + static_cast<uint32_t>(CursorColumn)));
    settingScroll_ = false;
}

// ---------------------------------------------------------------------------
// Cursor movement

bool TEditBit1::LineUp() {
    if (CursorLine > 0) {
        --CursorLine;
        return true;
    }
    if (TopFuse == 0) return false;
    SetTop(static_cast<int64_t>(TopFuse) - RowLength);
    return true;
}

bool TEditBit1::LineDown() {
    if (CursorLine < LastLine()) {
        ++CursorLine;
        return true;
    }
    if (CursorLine < kLines - 1) return false;
    // At line 15 the view moves on while rows remain below it.
    if (static_cast<uint64_t>(TopFuse) + static_cast<uint64_t>(kLines) * RowLength >= TotalFuses) return false;
    SetTop(static_cast<int64_t>(TopFuse) + RowLength);
    return true;
}

void TEditBit1::EndOfRow() {
    ColumnOffset = RowLength - static_cast<uint32_t>(VisibleColumns);
    CursorColumn = VisibleColumns - 1;
}

void TEditBit1::MoveLeft() {
    if (Field == FieldAddr) {
        if (CursorColumn > 0)
            --CursorColumn;
        else if (LineUp())
            CursorColumn = kAddrLast;
        return;
    }
    if (CursorColumn > 0) {
        --CursorColumn;
    } else if (ColumnOffset > 0) {
        --ColumnOffset;
    } else if (LineUp()) {
        EndOfRow();
    }
}

void TEditBit1::MoveRight() {
    if (Field == FieldAddr) {
        if (CursorColumn < kAddrLast) {
            ++CursorColumn;
        } else if (LineDown()) {
            CursorColumn = 0;
        }
        return;
    }
    const uint32_t column = ColumnOffset + static_cast<uint32_t>(CursorColumn);
    if (column + 1 < RowLength) {
        if (CursorColumn < VisibleColumns - 1)
            ++CursorColumn;
        else
            ++ColumnOffset;
    } else if (LineDown()) {
        CursorColumn = 0;
        ColumnOffset = 0;
    }
}

// ---------------------------------------------------------------------------
// Keys and mouse

void TEditBit1::EditKeyDown(QLineEdit* edit, int key, Qt::KeyboardModifiers modifiers) {
    if (EditorsLocked()) return;
    FieldKind kind;
    const int line = LineOf(edit, &kind);
    if (line >= 0 && line <= LastLine() && (line != CursorLine || kind != Field)) {
        CursorLine = line;
        Field = kind;
        CursorColumn = std::min(CursorColumn, Field == FieldAddr ? kAddrLast : VisibleColumns - 1);
    }
    const bool ctrl = modifiers & Qt::ControlModifier;
    const int64_t page = static_cast<int64_t>(kLines) * RowLength;
    switch (key) {
    case Qt::Key_PageUp: SetTop(static_cast<int64_t>(TopFuse) - page); break;
    case Qt::Key_PageDown: SetTop(static_cast<int64_t>(TopFuse) + page); break;
    case Qt::Key_Home:
        if (ctrl) {
            TopFuse = 0;
        } else {
            CursorColumn = 0;
            if (Field == FieldData) ColumnOffset = 0;
        }
        break;
    case Qt::Key_End:
        if (ctrl)
            TopFuse = LastPageTop();
        else if (Field == FieldAddr)
            CursorColumn = kAddrLast;
        else
            EndOfRow();
        break;
    case Qt::Key_Left:
        if (ctrl)
            SetTop(static_cast<int64_t>(TopFuse) - page);
        else
            MoveLeft();
        break;
    case Qt::Key_Right:
        if (ctrl) {
            // The last page once fewer than 32 rows remain from the top.
            const uint64_t remaining = RowCount - std::min<uint64_t>(TopFuse / RowLength, RowCount);
            SetTop(remaining < 2u * kLines ? static_cast<int64_t>(LastPageTop()) : static_cast<int64_t>(TopFuse) + page);
        } else {
            MoveRight();
        }
        break;
    case Qt::Key_Up: LineUp(); break;
    case Qt::Key_Down: LineDown(); break;
    default: return;
    }
    Redraw();
    PlaceCaret();
}

void TEditBit1::EditKeyPress(QLineEdit* edit, QChar key) {
    (void)edit;
    if (EditorsLocked() || RowCount == 0) return;
    const QChar c = key.toUpper();
    if (Field == FieldData) {
        if (c != '1' && c != '0' && c != 'X' && c != '-') return;
        const uint64_t fuse = static_cast<uint64_t>(CursorLine) * RowLength + TopFuse + ColumnOffset +
                              static_cast<uint64_t>(CursorColumn);
        if (fuse >= TotalFuses) return;
        UseFuseMapBank();
        // '1' and '-' set the fuse, '0' and 'X' clear it (bit 0 of the code).
        SetBufferBit(static_cast<uint32_t>(fuse), c.unicode() & 1u);
        ShowFreshBufferChecksum();
        DrawLine(CursorLine);
    } else {
        std::optional<uint64_t> value;
        if (!TypeAddressDigit(key, DecimalAddress, value)) return;
        const int64_t newTop = static_cast<int64_t>(value.value_or(0)) - static_cast<int64_t>(CursorLine) * RowLength;
        // Any top from 0 to the last page may be entered.
        if (value && newTop >= 0 && newTop <= static_cast<int64_t>(LastPageTop())) {
            TopFuse = static_cast<uint32_t>(newTop);
            Redraw();
        }
    }
    const uint32_t top = TopFuse;
    const uint32_t offset = ColumnOffset;
    MoveRight();
    if (top != TopFuse || offset != ColumnOffset) Redraw();
    PlaceCaret();
}

void TEditBit1::EditKeyUp(QLineEdit* edit, int key, Qt::KeyboardModifiers modifiers) {
    (void)edit;
    (void)modifiers;
    if (EditorsLocked()) return;
    if (key == Qt::Key_Tab) {
        Field = Field == FieldData ? FieldAddr : FieldData;
        CursorColumn = 0;
        PlaceCaret();
    }
    FollowScrollBars();
}

void TEditBit1::EditMouseUp(QLineEdit* edit, const QPoint& pos) {
    FieldKind kind;
    const int line = LineOf(edit, &kind);
    if (line < 0 || line > LastLine()) return;
    CursorLine = line;
    Field = kind;
    CursorColumn = std::clamp(edit->cursorPositionAt(pos), 0, Field == FieldAddr ? kAddrLast : VisibleColumns - 1);
    PlaceCaret();
}

void TEditBit1::ScrollBar1Scroll(int position) {
    if (settingScroll_ || EditorsLocked()) return;
    SetTop(static_cast<int64_t>(position) * RowLength);
    Redraw();
}

void TEditBit1::ScrollBar2Scroll(int position) {
    if (settingScroll_ || EditorsLocked()) return;
    const int64_t offset = position >= VisibleColumns ? position - VisibleColumns : 0;
    ColumnOffset = static_cast<uint32_t>(
        std::clamp<int64_t>(offset, 0, static_cast<int64_t>(RowLength) - VisibleColumns));
    Redraw();
}

void TEditBit1::ButtonModeClick() {
    SymbolMode = !SymbolMode;
    Redraw();
}

void TEditBit1::ButtonRadixClick() {
    DecimalAddress = !DecimalAddress;
    Redraw();
}

void TEditBit1::ButtonCloseClick() { close(); }

void TEditBit1::FormActivate() {
    if (EditorsLocked()) return;
    LayOut();
    Redraw();
    FollowScrollBars();
    PlaceCaret();
}

void TEditBit1::SetRunning(bool running) {
    for (QWidget* w : std::initializer_list<QWidget*>{ButtonMode, ButtonRadix, ScrollBar1, ScrollBar2})
        w->setEnabled(!running);
    if (!running) {
        LayOut();
        Redraw();
        FollowScrollBars();
    }
}
