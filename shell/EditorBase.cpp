#include "shell/EditorBase.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <cmath>

#include "shell/EditText.h"

TEditorBase::TEditorBase(QWidget* parent, const char* name, const char* title)
    : QWidget(parent, Qt::Window), lineFont_(EditorLineFont()) {
    setObjectName(name);
    setWindowTitle(title);
}

QLineEdit* TEditorBase::MakeLineEdit(const QString& name, int chars) {
    auto* e = new QLineEdit(this);
    e->setObjectName(name);
    e->setFont(lineFont_);
    e->setReadOnly(true);
    e->setFrame(false);
    e->setTextMargins(0, 0, 0, 0);
    if (chars > 0) e->setFixedWidth(LineWidth(chars));
    e->installEventFilter(this);
    return e;
}

int TEditorBase::CharWidth() const { return QFontMetrics(lineFont_).horizontalAdvance('0'); }

// The characters' fractional advances summed, not each one rounded: a long
// line would otherwise lose its last character.
int TEditorBase::LineWidth(int chars) const {
    return static_cast<int>(std::ceil(QFontMetricsF(lineFont_).horizontalAdvance(QString(chars + 1, '0')))) + 4;
}

QGridLayout* TEditorBase::MakeLinesGrid() {
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(0);
    return grid;
}

void TEditorBase::MakeRowScrollBar() {
    ScrollBar1 = new QScrollBar(Qt::Vertical, this);
    ScrollBar1->setObjectName("ScrollBar1");
    ScrollBar1->setPageStep(16);
}

QPushButton* TEditorBase::MakeCommandButton(const char* text, const char* name) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

bool TEditorBase::DeferWhileLocked() {
    RefreshPending = EditorsLocked();
    return RefreshPending;
}

void TEditorBase::ShowCursorLine(std::initializer_list<QLineEdit* const*> columns) {
    if (shownLine_ == CursorLine) return;
    for (int r = 0; r < kLines; ++r) {
        const QColor base = r == CursorLine ? QColor(Qt::white) : palette().color(QPalette::Button);
        for (QLineEdit* const* column : columns) {
            QPalette p = column[r]->palette();
            p.setColor(QPalette::Base, base);
            column[r]->setPalette(p);
        }
    }
    shownLine_ = CursorLine;
}

void TEditorBase::SelectCursorColumn(QLineEdit* edit) const {
    if (!edit->hasFocus()) edit->setFocus(Qt::OtherFocusReason);
    edit->setSelection(CursorColumn, 1);
}

QString TEditorBase::AddressText(uint64_t address, bool decimal) {
    const auto a = static_cast<unsigned long long>(address);
    return decimal ? QString::asprintf("%07llu", a) : QString::asprintf("%07llX", a);
}

bool TEditorBase::TypeAddressDigit(QChar key, bool decimal, std::optional<uint64_t>& value) {
    const QChar c = key.toUpper();
    const bool digit = c >= '0' && c <= '9';
    if (!(digit || (!decimal && c >= 'A' && c <= 'F'))) return false;
    QLineEdit* edit = EditAddr[CursorLine];
    QString text = edit->text();
    if (CursorColumn >= text.size()) return false;
    text[CursorColumn] = c;
    edit->setText(text);
    bool ok = true;
    const uint64_t shown = decimal ? text.toULongLong(&ok, 10) : HexFieldValue(text);
    value = ok ? std::optional<uint64_t>(shown) : std::nullopt;
    return true;
}

// Only the line edits have this filter installed.
bool TEditorBase::eventFilter(QObject* watched, QEvent* event) {
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (!edit) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto* k = static_cast<QKeyEvent*>(event);
        EditKeyDown(edit, k->key(), k->modifiers());
        const QString text = k->text();
        if (!text.isEmpty() && text.at(0).isPrint() && !(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
            EditKeyPress(edit, text.at(0));
        return true;
    }
    case QEvent::KeyRelease: {
        auto* k = static_cast<QKeyEvent*>(event);
        EditKeyUp(edit, k->key(), k->modifiers());
        return true;
    }
    case QEvent::ShortcutOverride:
        // The editing keys are the editor's; Alt keys stay button mnemonics.
        if (!(static_cast<QKeyEvent*>(event)->modifiers() & Qt::AltModifier)) {
            event->accept();
            return true;
        }
        return false;
    case QEvent::MouseButtonRelease:
        EditMouseUp(edit, static_cast<QMouseEvent*>(event)->position().toPoint());
        return true;
    default:
        return QWidget::eventFilter(watched, event);
    }
}

bool TEditorBase::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) FormActivate();
    return QWidget::event(event);
}
