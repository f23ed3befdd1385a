#include "dialogs/FontFit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFont>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTreeWidget>
#include <QVariant>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

namespace {

// The reference dialog font: 13 pixels from ascent to descent, the average
// of the letters A-Z and a-z 6 pixels wide.
constexpr double kReferenceHeight = 13.0;
constexpr double kReferenceCharWidth = 6.0;

double AverageLetterWidth(const QFont& font) {
    static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return QFontMetricsF(font).horizontalAdvance(letters) / letters.size();
}

// Widgets whose children are placed by the form, not by the widget itself.
bool IsPlainContainer(const QWidget* w) {
    const char* cls = w->metaObject()->className();
    return qobject_cast<const QDialog*>(w) != nullptr || qstrcmp(cls, "QWidget") == 0 || qstrcmp(cls, "QFrame") == 0 ||
           qstrcmp(cls, "QGroupBox") == 0;
}

// The children of `parent` that it does not lay out itself, and theirs.
void CollectPlaced(QWidget* parent, std::vector<QWidget*>& out) {
    if (parent->layout() != nullptr) return;
    for (QWidget* c : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (c->isWindow() || c->objectName().startsWith(QLatin1String("qt_"))) continue;
        out.push_back(c);
        if (IsPlainContainer(c)) CollectPlaced(c, out);
    }
}

constexpr const char* kReferenceColumns = "referenceColumnWidths";

// The list's width beyond its columns: its frame and a vertical scroll bar.
int ListChrome(const QTreeWidget* view) {
    return 2 * view->frameWidth() + view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view);
}

int WidestHexDigit(const QFontMetrics& fm) {
    int w = 0;
    for (QChar c : QStringLiteral("0123456789ABCDEF")) w = std::max(w, fm.horizontalAdvance(c));
    return w;
}

} // namespace

int FontScale::ScaleX(int v) const { return static_cast<int>(std::lround(v * X)); }
int FontScale::ScaleY(int v) const { return static_cast<int>(std::lround(v * Y)); }

QRect FontScale::Map(const QRect& r) const {
    const int left = ScaleX(r.x()), top = ScaleY(r.y());
    return QRect(left, top, ScaleX(r.x() + r.width()) - left, ScaleY(r.y() + r.height()) - top);
}

FontScale ScaleOfFont(const QFont& font) {
    FontScale s;
    s.X = std::max(1.0, AverageLetterWidth(font) / kReferenceCharWidth);
    s.Y = std::max(1.0, QFontMetricsF(font).height() / kReferenceHeight);
    return s;
}

QFont TerminalFont(const QFont& windowFont) {
    QFont f("Terminal");
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    f.setKerning(false);
    f.setPixelSize(static_cast<int>(std::lround(12 * ScaleOfFont(windowFont).Y)));
    return f;
}

QSize TextNeed(const QWidget* w) {
    const QFontMetrics fm(w->font());
    if (auto* label = qobject_cast<const QLabel*>(w)) {
        if (label->wordWrap()) return QSize(0, label->heightForWidth(label->width()));
        return label->sizeHint();
    }
    if (auto* button = qobject_cast<const QPushButton*>(w)) {
        // The text and the button's frame and margins; the style's wish for
        // a wider button is no need.
        QStyleOptionButton opt;
        opt.initFrom(button);
        opt.text = button->text();
        opt.features = button->isDefault() || button->autoDefault() ? QStyleOptionButton::AutoDefaultButton
                                                                     : QStyleOptionButton::None;
        const QSize text = fm.size(Qt::TextShowMnemonic, button->text());
        const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, &opt, button);
        const int frame = button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, button);
        const QSize styled = button->style()->sizeFromContents(QStyle::CT_PushButton, &opt, text, button);
        int width = text.width() + 2 * margin + 2 * frame;
        if (!button->icon().isNull()) width += button->iconSize().width() + 4;
        return QSize(button->text().isEmpty() ? 0 : width, styled.height());
    }
    if (qobject_cast<const QCheckBox*>(w) || qobject_cast<const QRadioButton*>(w)) return w->sizeHint();
    if (auto* edit = qobject_cast<const QLineEdit*>(w)) {
        int text = fm.horizontalAdvance(edit->displayText());
        if (edit->maxLength() <= 16) text = std::max(text, edit->maxLength() * WidestHexDigit(fm));
        const QMargins tm = edit->textMargins();
        const int frame = edit->hasFrame() ? 2 * edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit) : 0;
        return QSize(text + tm.left() + tm.right() + 4 + frame, edit->minimumSizeHint().height());
    }
    if (qobject_cast<const QComboBox*>(w) || qobject_cast<const QGroupBox*>(w)) return w->minimumSizeHint();
    if (auto* view = qobject_cast<const QTreeWidget*>(w); view && view->property(kReferenceColumns).isValid()) {
        const std::vector<int> widths = FittedColumnWidths(view);
        int total = ListChrome(view);
        for (int c : widths) total += c;
        return QSize(total, 0);
    }
    if (w->layout() != nullptr) return w->minimumSizeHint();
    return QSize(0, 0);
}

FontScale FitToFont(QWidget* form) {
    std::vector<QWidget*> placed;
    CollectPlaced(form, placed);
    FontScale s = ScaleOfFont(form->font());
    // Each control's need against its reference box; one pixel more for
    // the rounding of both edges.
    for (QWidget* w : placed) {
        // A control the form keeps hidden asks for no room.
        if (!w->isVisibleTo(form)) continue;
        const QSize need = TextNeed(w);
        if (need.width() > 0 && w->width() >= 4) s.X = std::max(s.X, (need.width() + 1.0) / w->width());
        if (need.height() > 0 && w->height() >= 4) s.Y = std::max(s.Y, (need.height() + 1.0) / w->height());
    }
    // Edges are scaled in the form's frame, so a box inside a panel stays
    // inside it whatever the rounding.
    std::map<const QWidget*, QRect> mapped;
    mapped[form] = QRect(QPoint(0, 0), form->size());
    for (QWidget* w : placed) mapped[w] = s.Map(QRect(w->mapTo(form, QPoint(0, 0)), w->size()));
    for (QWidget* w : placed) {
        const QRect parent = mapped.count(w->parentWidget()) ? mapped[w->parentWidget()] : QRect();
        w->setGeometry(mapped[w].translated(-parent.topLeft()));
    }
    const bool fixed = form->minimumSize() == form->maximumSize() && !form->minimumSize().isEmpty();
    const QSize size(s.ScaleX(form->width()), s.ScaleY(form->height()));
    if (fixed) {
        form->setFixedSize(size);
    } else {
        if (!form->minimumSize().isEmpty())
            form->setMinimumSize(s.ScaleX(form->minimumWidth()), s.ScaleY(form->minimumHeight()));
        form->resize(size);
    }
    return s;
}

std::vector<int> FittedColumnWidths(const QTreeWidget* view, const std::vector<QString>& also) {
    const QList<int> reference = view->property(kReferenceColumns).value<QList<int>>();
    const FontScale s = ScaleOfFont(view->font());
    // An item's text keeps the focus frame's margin and a pixel either side,
    // and one pixel for the rounding of its width.
    const int margin = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1) + 1;
    std::vector<int> widths;
    for (int c = 0; c < view->columnCount(); ++c) {
        int need = c < reference.size() ? s.ScaleX(reference[c]) : 0;
        need = std::max(need, view->header()->sectionSizeHint(c));
        int text = c < static_cast<int>(also.size()) ? QFontMetrics(view->font()).horizontalAdvance(also[c]) : 0;
        for (int i = 0; i < view->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = view->topLevelItem(i);
            text = std::max(text, QFontMetrics(item->font(c)).horizontalAdvance(item->text(c)));
        }
        if (text > 0) text += margin;
        if (c == 0 && view->rootIsDecorated()) text += view->indentation();
        widths.push_back(std::max(need, text));
    }
    return widths;
}

int FitColumns(QTreeWidget* view, const std::vector<QString>& also) {
    const std::vector<int> widths = FittedColumnWidths(view, also);
    int total = ListChrome(view);
    for (size_t c = 0; c < widths.size(); ++c) {
        view->setColumnWidth(static_cast<int>(c), widths[c]);
        total += widths[c];
    }
    return total;
}

void SetColumnWidths(QTreeWidget* view, std::initializer_list<int> reference) {
    view->setProperty(kReferenceColumns, QVariant::fromValue(QList<int>(reference)));
    FitColumns(view);
}
