#include "testing/EditVectorGrid.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFont>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "dialogs/FontFit.h"
#include "engine/OperationState.h"
#include "testing/IcTest.h"
#include "testing/TestRun.h"

namespace {

// The grid drawn for the reference font: 8-pixel columns, 14-pixel rows.
constexpr int kCharWidth = 8;
constexpr int kRowHeight = 14;
// A line edit keeps 2 pixels on each side of its text.
constexpr int kEditMargins = 4;

// The widest of the grid's characters (digits and vector symbols) in `f`.
double WidestGridChar(const QFont& f) {
    const QFontMetricsF fm(f);
    double widest = 0;
    for (QChar c : QStringLiteral("0123456789ZGVXHLCN.")) widest = std::max(widest, fm.horizontalAdvance(c));
    return widest;
}

QFrame* Panel(QWidget* parent, const char* name) {
    auto* p = new QFrame(parent);
    p->setObjectName(name);
    p->setFrameShape(QFrame::Panel);
    p->setFrameShadow(QFrame::Sunken);
    return p;
}

QLabel* Label(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

QLineEdit* MaskEdit(QWidget* parent, const char* name, const char* mask, int x, int y, int w) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setInputMask(mask);
    e->setGeometry(x, y, w, 21);
    return e;
}

QSpinBox* UpDown(QWidget* parent, const char* name, int lo, int hi, int x, int y) {
    auto* u = new QSpinBox(parent);
    u->setObjectName(name);
    u->setRange(lo, hi);
    u->setGeometry(x, y, 17, 21);
    u->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    return u;
}

// The number typed into a box, clamped to its up-down's range, moved to the
// up-down without a click.
int TakeTypedValue(const QLineEdit* box, QSpinBox* upDown) {
    const int v = std::clamp(TVectorGrid::DigitsToInt(box->text()), upDown->minimum(), upDown->maximum());
    upDown->blockSignals(true);
    upDown->setValue(v);
    upDown->blockSignals(false);
    return v;
}

} // namespace

TVectorGrid::TVectorGrid(QWidget* parent) : QDialog(parent) {
    PanelSize = Panel(this, "PanelSize");
    LabelSize0 = Label(PanelSize, "LabelSize0", "000000000111111111122222222223333333333444444444");
    LabelSize1 = Label(PanelSize, "LabelSize1", "123456789012345678901234567890123456789012345678");
    Panel4 = Panel(this, "Panel4");
    LabelLine = Label(Panel4, "LabelLine", "LINE");
    LabelLine->setAlignment(Qt::AlignCenter);
    Panel1 = Panel(this, "Panel1");
    PanelData = Panel(this, "PanelData");
    for (int r = 0; r < kRows; ++r) {
        LabelAddr[r] = Label(Panel1, qPrintable(QString("LabelAddr%1").arg(r)), "00000");
        LabelAddr[r]->setAutoFillBackground(true);
        auto* e = new QLineEdit(PanelData);
        e->setObjectName(QString("EditData%1").arg(r));
        e->setFrame(false);
        e->setTextMargins(0, 0, 0, 0);
        e->setReadOnly(true);
        e->setAutoFillBackground(true);
        e->setFocusPolicy(r == 0 ? Qt::StrongFocus : Qt::ClickFocus);
        e->installEventFilter(this);
        EditData[r] = e;
    }
    ScrollBar1 = new QScrollBar(Qt::Vertical, this);
    ScrollBar1->setObjectName("ScrollBar1");
    ScrollBar1->setPageStep(20);
    ScrollBar1->setSingleStep(15);
    connect(ScrollBar1, &QScrollBar::valueChanged, this, &TVectorGrid::ScrollBar1Scroll);
    LabelAddrPos = Label(this, "LabelAddrPos", "0,0");
    bottomLabels_.push_back(LabelAddrPos);
    FitGridFont();
    PlaceGrid();
}

void TVectorGrid::FitGridFont() {
    // The grid's columns as wide as the terminal font's widest symbol, its
    // rows as high as the font's lines, never below the reference grid.
    QFont mono = TerminalFont(font());
    const double widest = WidestGridChar(mono);
    charWidth_ = std::max(kCharWidth, static_cast<int>(std::ceil(widest)));
    // Every character one column wide, so the ruler stands over its symbols
    // and the last column ends inside the line: the spacing takes the
    // glyph's fractional advance up to the column, never past it (a font
    // without fixed pitch in the terminal font's place: its widest symbol).
    mono.setLetterSpacing(QFont::AbsoluteSpacing, charWidth_ - widest);
    // The headings over the grid in the grid's own font, whatever the window's.
    for (QLabel* l : LabelAddr) l->setFont(mono);
    for (QLineEdit* e : EditData) e->setFont(mono);
    for (QLabel* l : {LabelSize0, LabelSize1, LabelLine}) l->setFont(mono);
    rowHeight_ = std::max({kRowHeight, QFontMetrics(mono).height(), LabelAddr[0]->sizeHint().height()});
}

void TVectorGrid::PlaceGrid() {
    const int w = charWidth_ * pins;
    // Line numbers of five digits with a pixel either side, in a panel with
    // 4 pixels of frame and room left and 2 right.
    const int addrW = 5 * charWidth_ + 2;
    const int sideW = std::max(addrW, QFontMetrics(LabelLine->font()).horizontalAdvance("LINE") + 2) + 6;
    const int headH = 2 * rowHeight_ + 6;
    const int gridTop = 4 + headH + 2;
    const int gridH = kRows * rowHeight_ + 4;
    const int dataLeft = 4 + sideW + 3;
    Panel4->setGeometry(4, 4, sideW, headH);
    LabelLine->setGeometry(3, 3, sideW - 6, headH - 6);
    PanelSize->setGeometry(dataLeft, 4, w + 7, headH);
    LabelSize0->setGeometry(3, 3, w, rowHeight_);
    LabelSize1->setGeometry(3, 3 + rowHeight_, w, rowHeight_);
    Panel1->setGeometry(4, gridTop, sideW, gridH);
    PanelData->setGeometry(dataLeft, gridTop, w + 7, gridH);
    for (int r = 0; r < kRows; ++r) {
        LabelAddr[r]->setGeometry(4, 2 + r * rowHeight_, addrW, rowHeight_);
        EditData[r]->setGeometry(1, 2 + r * rowHeight_, w + kEditMargins, rowHeight_);
        EditData[r]->setMaxLength(pins);
    }
    const int barW = std::max(16, style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, ScrollBar1));
    ScrollBar1->setGeometry(dataLeft + w + 7, gridTop, barW, gridH);
    LayoutSide(ScrollBar1->geometry().right() + 1);
}

int TVectorGrid::DigitsToInt(const QString& text) {
    int v = 0;
    for (QChar c : text) {
        if (c >= '0' && c <= '9' && v < 100000) v = v * 10 + (c.unicode() - '0');
    }
    return v;
}

QPushButton* TVectorGrid::AddButton(const char* name, const char* text, int y) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    b->setGeometry(0, y, 90, 25);
    return b;
}

void TVectorGrid::CreateSettings(int firstRowY, int buttonY) {
    ButtonTest = AddButton("ButtonTest", "&Test", buttonY);
    ButtonClose = AddButton("ButtonClose", "&Close", buttonY + 30);
    GroupBoxInfo = new QGroupBox("Info", this);
    GroupBoxInfo->setObjectName("GroupBoxInfo");
    GroupBoxInfo->setGeometry(0, 132, 118, firstRowY + 90);
    auto label = [this](const char* text, int y) {
        auto* l = new QLabel(text, GroupBoxInfo);
        l->setGeometry(6, y, 44, 21);
        return l;
    };
    QLabel* xLabel = label("X Value", firstRowY);
    ComboBoxXvalue = new QComboBox(GroupBoxInfo);
    ComboBoxXvalue->setObjectName("ComboBoxXvalue");
    ComboBoxXvalue->addItems({"Low", "Hi"});
    ComboBoxXvalue->setGeometry(52, firstRowY, 58, 21);
    QLabel* vccLabel = label("Vcc", firstRowY + 30);
    MaskEditVcc = MaskEdit(GroupBoxInfo, "MaskEditVcc", "9.9V;_", 52, firstRowY + 30, 44);
    UpDownVcc = UpDown(GroupBoxInfo, "UpDownVcc", 20, 70, 96, firstRowY + 30);
    QLabel* delayLabel = label("Delay", firstRowY + 60);
    MaskEditDelay = MaskEdit(GroupBoxInfo, "MaskEditDelay", "99mS;_", 52, firstRowY + 60, 44);
    UpDownDelay = UpDown(GroupBoxInfo, "UpDownDelay", 0, 99, 96, firstRowY + 60);
    AddSettingsRow(xLabel, ComboBoxXvalue, nullptr, "Low");
    AddSettingsRow(vccLabel, MaskEditVcc, UpDownVcc, "0.0V");
    AddSettingsRow(delayLabel, MaskEditDelay, UpDownDelay, "00mS");
    connect(ButtonClose, &QPushButton::clicked, this, &TVectorGrid::ButtonCloseClick);
    connect(UpDownVcc, &QSpinBox::valueChanged, this, &TVectorGrid::UpDownVccClick);
    connect(UpDownDelay, &QSpinBox::valueChanged, this, &TVectorGrid::UpDownDelayClick);
    connect(ComboBoxXvalue, &QComboBox::currentIndexChanged, this, &TVectorGrid::ComboBoxXvalueChange);
    MaskEditVcc->installEventFilter(this);
    MaskEditDelay->installEventFilter(this);
}

void TVectorGrid::ShowSettings() {
    ComboBoxXvalue->blockSignals(true);
    ComboBoxXvalue->setCurrentIndex(xLevel ? 1 : 0);
    ComboBoxXvalue->blockSignals(false);
    for (QSpinBox* u : {UpDownVcc, UpDownDelay}) u->blockSignals(true);
    UpDownVcc->setValue(vcc);
    UpDownDelay->setValue(delayMs);
    for (QSpinBox* u : {UpDownVcc, UpDownDelay}) u->blockSignals(false);
    MaskEditVcc->setText(QString::asprintf("%d.%dV", vcc / 10, vcc % 10));
    MaskEditDelay->setText(QString::asprintf("%02dmS", delayMs));
}

void TVectorGrid::ButtonCloseClick() { close(); }

void TVectorGrid::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() != QEvent::FontChange) return;
    FitGridFont();
    PlaceGrid();
}

void TVectorGrid::closeEvent(QCloseEvent* event) {
    if (TestBusy.load()) {
        UserBreak = 1;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TVectorGrid::UpDownVccClick() {
    vcc = static_cast<short>(UpDownVcc->value());
    MaskEditVcc->setText(QString::asprintf("%d.%dV", vcc / 10, vcc % 10));
    SettingsChanged();
}

void TVectorGrid::MaskEditVccKeyUp() {
    vcc = static_cast<short>(TakeTypedValue(MaskEditVcc, UpDownVcc));
    MaskEditVcc->setText(QString::asprintf("%d.%dV", vcc / 10, vcc % 10));
    SettingsChanged();
}

void TVectorGrid::UpDownDelayClick() {
    delayMs = static_cast<short>(UpDownDelay->value());
    MaskEditDelay->setText(QString::asprintf("%02dmS", delayMs));
    SettingsChanged();
}

void TVectorGrid::MaskEditDelayKeyUp() {
    // The typed delay is the one shown, so it is the one used.
    delayMs = static_cast<short>(TakeTypedValue(MaskEditDelay, UpDownDelay));
    SettingsChanged();
}

void TVectorGrid::ComboBoxXvalueChange() {
    xLevel = ComboBoxXvalue->currentIndex() != 0 ? 1 : 0;
    SettingsChanged();
}

void TVectorGrid::RecordTestLine(const char* in, const char* out, int index) {
    failIn = QString::fromLatin1(in);
    failOut = QString::fromLatin1(out);
    failIndex = index;
    ShowTestLineProgress(lineCount, index);
}

void TVectorGrid::SetupGrid(int linePins) {
    topOffset = row = column = caretPending = 0;
    pins = std::clamp(linePins, 1, 48);
    lineCapacity = 65536 / pins;
    byteCapacity = pins * lineCapacity;
    ScrollBar1->blockSignals(true);
    ScrollBar1->setMaximum(lineCapacity);
    ScrollBar1->setValue(0);
    ScrollBar1->blockSignals(false);
    PlaceGrid();
    highlighted_ = -1;
    ShowGridPage(topOffset);
    HighlightGridRow();
}

void TVectorGrid::AddSettingsRow(QLabel* label, QWidget* field, QWidget* upDown, const char* widest) {
    settingsRows_.push_back({label, field, upDown, widest});
    std::stable_sort(settingsRows_.begin(), settingsRows_.end(),
                     [](const SettingsRow& a, const SettingsRow& b) { return a.label->y() < b.label->y(); });
}

void TVectorGrid::LayoutSide(int gridRight) {
    // The places of the original form where the font fits them, grown where
    // the font needs more, so no text is cut.
    const QFontMetrics fm(font());
    auto grow = [](int given, int needed) { return std::max(given, needed); };

    // The buttons, in their order, one under the other.
    QList<QPushButton*> buttons = findChildren<QPushButton*>(Qt::FindDirectChildrenOnly);
    std::stable_sort(buttons.begin(), buttons.end(), [](QPushButton* a, QPushButton* b) { return a->y() < b->y(); });
    int bw = 90, bh = 25;
    for (QPushButton* b : buttons) {
        bw = grow(bw, b->sizeHint().width());
        bh = grow(bh, b->sizeHint().height());
    }
    const int sideX = gridRight + 24;
    int y = 8;
    for (QPushButton* b : buttons) {
        b->setGeometry(sideX, y, bw, bh);
        y += bh + 5;
    }

    // The settings: labels in one column, their fields in the next.
    int right = sideX + bw;
    int bottom = y;
    if (GroupBoxInfo) {
        // The text of a field with its frame; a drop-down list also has its arrow.
        int labelW = 44, rowH = 21, fieldW = 58;
        for (const SettingsRow& r : settingsRows_) {
            labelW = grow(labelW, r.label->sizeHint().width());
            rowH = grow(rowH, grow(r.label->sizeHint().height(), r.field->sizeHint().height()));
            const int text = fm.horizontalAdvance(QString::fromLatin1(r.widest));
            const int frame = qobject_cast<QComboBox*>(r.field) ? 30 : 8;
            fieldW = grow(fieldW, r.upDown ? grow(44, text + 8) + 17 : text + frame);
        }
        const int fieldX = 6 + labelW + 2;
        int rowY = grow(20, fm.height() + 6);
        for (const SettingsRow& r : settingsRows_) {
            r.label->setGeometry(6, rowY, labelW, rowH);
            if (r.upDown) {
                r.field->setGeometry(fieldX, rowY, fieldW - 17, rowH);
                r.upDown->setGeometry(fieldX + fieldW - 17, rowY, 17, rowH);
            } else {
                r.field->setGeometry(fieldX, rowY, fieldW, rowH);
            }
            rowY += rowH + 9;
        }
        const int boxY = grow(132, y + 4);
        GroupBoxInfo->setGeometry(sideX - 20, boxY, grow(118, fieldX + fieldW + 8), rowY + 1);
        right = std::max(right, GroupBoxInfo->geometry().right() + 1);
        bottom = std::max(bottom, GroupBoxInfo->geometry().bottom() + 1);
    }

    // The cursor position and the labels beside it, under the grid.
    int x = LabelAddrPos->x();
    const int labelY = Panel1->geometry().bottom() + 5;
    for (QLabel* l : bottomLabels_) {
        // Room for the longest text: "line,column" and a name of 10 characters.
        const QString longest = l == LabelAddrPos ? QString("00000,00") : QString(10, 'W');
        const int w = grow(l == LabelAddrPos ? 80 : 120, grow(l->sizeHint().width(), fm.horizontalAdvance(longest)));
        x = grow(x, l == LabelAddrPos ? 4 : 100);
        l->setGeometry(x, labelY, w, grow(16, l->sizeHint().height()));
        x += w + 8;
        right = std::max(right, l->geometry().right() + 1);
        bottom = std::max(bottom, l->geometry().bottom() + 1);
    }
    // The note under everything, as wide as the form, its lines wrapped.
    if (noteLabel_ != nullptr) {
        noteLabel_->setVisible(!noteLabel_->text().isEmpty());
        if (!noteLabel_->text().isEmpty()) {
            const int w = right - 4;
            noteLabel_->setGeometry(4, bottom + 4, w,
                                    grow(noteLabel_->fontMetrics().height(), noteLabel_->heightForWidth(w)));
            bottom = noteLabel_->geometry().bottom() + 1;
        }
    }
    setFixedSize(right + 4, grow(282, bottom + 6));
}

void TVectorGrid::ShowNote(const QString& text) {
    if (noteLabel_ == nullptr || noteLabel_->text() == text) return;
    noteLabel_->setText(text);
    PlaceGrid();
}

void TVectorGrid::ShowGridLine(int offset, int r) {
    if (r < 0 || r >= kRows || pins <= 0) return;
    LabelAddr[r]->setText(QString::asprintf("%05ld", static_cast<long>(offset / pins + 1)));
    QString text;
    const bool shown = buffer != nullptr && LinesShown();
    for (int i = 0; i < pins; ++i) {
        const size_t at = static_cast<size_t>(offset) + static_cast<size_t>(i);
        const uint8_t b = shown && at < bufferBytes ? buffer[at] : 0;
        text += b == 0 ? QChar('.') : QChar(b);
    }
    const int caret = EditData[r]->cursorPosition();
    EditData[r]->setText(text);
    // The caret stays on a symbol, so the edit never scrolls its text.
    EditData[r]->setCursorPosition(std::min(caret, pins - 1));
}

void TVectorGrid::ShowGridPage(int offset) {
    for (int r = 0; r < kRows; ++r) ShowGridLine(offset + r * pins, r);
    ShowGridPosition();
    caretPending = 1;
}

void TVectorGrid::ShowGridPosition() {
    LabelAddrPos->setText(QString::asprintf("%d,%d", topOffset / pins + row + 1, column + 1));
}

void TVectorGrid::HighlightGridRow() {
    if (highlighted_ == row) return;
    auto paint = [](QWidget* w, QPalette::ColorRole bg, const QColor& c) {
        QPalette p = w->palette();
        p.setColor(bg, c);
        w->setPalette(p);
    };
    const QColor window = palette().color(QPalette::Window);
    if (highlighted_ >= 0) {
        paint(LabelAddr[highlighted_], QPalette::Window, window);
        paint(EditData[highlighted_], QPalette::Base, window);
    }
    paint(LabelAddr[row], QPalette::Window, Qt::white);
    paint(EditData[row], QPalette::Base, Qt::white);
    highlighted_ = row;
}

void TVectorGrid::SetGridCaret(int c) {
    EditData[row]->setCursorPosition(c);
    EditData[row]->setFocus();
}

void TVectorGrid::SetTopOffset(int offset) {
    offset = std::clamp(offset, 0, std::max(0, LastPageOffset()));
    if (offset == topOffset) return;
    topOffset = offset;
    ShowGridPage(topOffset);
}

void TVectorGrid::MoveGridRow(int delta) {
    if (delta < 0) {
        if (row > 0) {
            --row;
        } else {
            SetTopOffset(topOffset - pins);
        }
    } else if (row < kRows - 1) {
        ++row;
    } else if (topOffset + kRows * pins < byteCapacity) {
        SetTopOffset(topOffset + pins);
    } else {
        caretPending = 1;
    }
    HighlightGridRow();
}

void TVectorGrid::MoveGridColumn(int delta) {
    column += delta;
    if (column < 0) {
        column = pins - 1;
        MoveGridRow(-1);
    } else if (column >= pins) {
        column = 0;
        MoveGridRow(1);
    }
    SetGridCaret(column);
}

void TVectorGrid::EditKeyDown(int key, Qt::KeyboardModifiers mods) {
    const bool ctrl = (mods & Qt::ControlModifier) != 0;
    const int page = kRows * pins;
    switch (key) {
    case Qt::Key_PageUp:
        SetTopOffset(topOffset - page);
        break;
    case Qt::Key_PageDown:
        SetTopOffset(topOffset + page + page > byteCapacity ? LastPageOffset() : topOffset + page);
        break;
    case Qt::Key_Home:
        column = 0;
        if (ctrl) SetTopOffset(0);
        SetGridCaret(column);
        break;
    case Qt::Key_End:
        column = pins - 1;
        if (ctrl) SetTopOffset(LastPageOffset());
        SetGridCaret(column);
        break;
    case Qt::Key_Left:
        if (ctrl) {
            EditKeyDown(Qt::Key_PageUp, Qt::NoModifier);
            return;
        }
        MoveGridColumn(-1);
        break;
    case Qt::Key_Right:
        if (ctrl) {
            EditKeyDown(Qt::Key_PageDown, Qt::NoModifier);
            return;
        }
        MoveGridColumn(1);
        break;
    case Qt::Key_Up:
        MoveGridRow(-1);
        break;
    case Qt::Key_Down:
        MoveGridRow(1);
        break;
    default:
        return;
    }
    ShowGridPosition();
}

void TVectorGrid::EditKeyPress(QChar typed) {
    const QChar c = typed.toUpper();
    if (c.unicode() > 0x7F || c.unicode() == 0 || std::strchr(symbols, c.toLatin1()) == nullptr) return;
    const size_t at = static_cast<size_t>(topOffset) + static_cast<size_t>(row) * static_cast<size_t>(pins) +
                      static_cast<size_t>(column);
    if (buffer == nullptr || at >= bufferBytes || at >= static_cast<size_t>(byteCapacity)) return;
    SymbolToStore();
    buffer[at] = c == '.' ? 0 : static_cast<uint8_t>(c.toLatin1());
    ShowGridLine(topOffset + row * pins, row);
    MoveGridColumn(1);
    ShowGridPosition();
}

void TVectorGrid::EditKeyUp(int key) {
    if (key == Qt::Key_Tab) SetGridCaret(column);
    if (caretPending) {
        SetGridCaret(column);
        caretPending = 0;
    }
    ScrollBar1->blockSignals(true);
    ScrollBar1->setValue(topOffset / pins);
    ScrollBar1->blockSignals(false);
}

void TVectorGrid::FollowGridClick() {
    row = 0;
    for (int r = 0; r < kRows; ++r) {
        if (EditData[r]->hasFocus()) row = r;
    }
    column = std::min(EditData[row]->cursorPosition(), pins - 1);
    HighlightGridRow();
    ShowGridPosition();
}

void TVectorGrid::EditMouseUp() { FollowGridClick(); }

void TVectorGrid::ScrollBar1Scroll(int position) {
    if (position * pins == topOffset) return;
    topOffset = std::min(position * pins, std::max(0, LastPageOffset()));
    ShowGridPage(topOffset);
    SetGridCaret(column);
}

void TVectorGrid::CountIcLines(bool clearTail) {
    if (buffer == nullptr || pins <= 0) {
        lineCount = 0;
        return;
    }
    const uint8_t* end = static_cast<const uint8_t*>(std::memchr(buffer, 0, bufferBytes));
    const size_t used = end ? static_cast<size_t>(end - buffer) : bufferBytes;
    const size_t width = static_cast<size_t>(pins);
    lineCount = static_cast<int>((used + 1) / width);
    if (!clearTail) return;
    const size_t from = static_cast<size_t>(lineCount) * width;
    if (from < bufferBytes) std::memset(buffer + from, 0, std::min(width, bufferBytes - from));
}

bool TVectorGrid::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyRelease && watched == MaskEditVcc) MaskEditVccKeyUp();
    if (event->type() == QEvent::KeyRelease && watched == MaskEditDelay) MaskEditDelayKeyUp();
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (edit == nullptr || std::find(std::begin(EditData), std::end(EditData), edit) == std::end(EditData))
        return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto* k = static_cast<QKeyEvent*>(event);
        const int key = k->key();
        if (key >= Qt::Key_Home && key <= Qt::Key_PageDown) {
            EditKeyDown(key, k->modifiers());
            return true;
        }
        if (!k->text().isEmpty() && k->text().at(0).isPrint()) {
            EditKeyPress(k->text().at(0));
            return true;
        }
        return key != Qt::Key_Tab && key != Qt::Key_Backtab && key != Qt::Key_Escape;
    }
    case QEvent::KeyRelease:
        EditKeyUp(static_cast<QKeyEvent*>(event)->key());
        return false;
    case QEvent::MouseButtonRelease:
        QDialog::eventFilter(watched, event);
        EditMouseUp();
        return false;
    default:
        return QDialog::eventFilter(watched, event);
    }
}
