// What a user sees of a form, whatever its font: every shown control inside
// its parent and clear of its siblings, and every text whole (labels, one
// line, several or wrapped, buttons, check and radio boxes, edits, drop-down
// lists, group boxes, list columns and their headers, every tab page, every
// toolbar button).
// FontSizes() runs a check at the application's font and at 2 and 6 points
// larger; forms are made inside it, so they take the font as they start.
#pragma once
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QMainWindow>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSizeGrip>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace formchecks {

inline std::string NameOf(const QWidget* w) {
    return (w->objectName().isEmpty() ? std::string("(unnamed)") : w->objectName().toStdString()) + " " +
           w->metaObject()->className() + " \"" +
           [w] {
               if (auto* l = qobject_cast<const QLabel*>(w)) return l->text().toStdString();
               if (auto* b = qobject_cast<const QAbstractButton*>(w)) return b->text().toStdString();
               if (auto* g = qobject_cast<const QGroupBox*>(w)) return g->title().toStdString();
               return std::string();
           }() +
           "\"";
}

// Widgets whose children are the form's own controls.
inline bool HoldsControls(const QWidget* w) {
    const char* cls = w->metaObject()->className();
    return qobject_cast<const QDialog*>(w) || qobject_cast<const QMainWindow*>(w) ||
           qobject_cast<const QStatusBar*>(w) || qobject_cast<const QGroupBox*>(w) || qstrcmp(cls, "QWidget") == 0 ||
           qstrcmp(cls, "QFrame") == 0;
}

// Labels whose text the form cuts on purpose (a ruler as long as the widest
// line, shown as far as the line goes): only their height is checked.
using CutByDesign = std::vector<const QWidget*>;

// The text of one control shows whole.
inline void ExpectTextWhole(const QWidget* c, const CutByDesign& cut) {
    const std::string name = NameOf(c);
    const QFontMetrics fm(c->font());
    if (auto* l = qobject_cast<const QLabel*>(c)) {
        if (l->text().isEmpty() || !l->pixmap().isNull()) return;
        // A wrapped text needs the height of its lines at the label's width.
        if (l->wordWrap()) {
            EXPECT_GE(l->height(), l->heightForWidth(l->width())) << name << " wrapped at " << l->width();
            return;
        }
        // A label shows its mnemonic as an underline only with a buddy to
        // take the focus; without one the "&" itself shows.
        if (QString(l->text()).replace("&&", "").contains('&')) {
            EXPECT_NE(l->buddy(), nullptr) << name << " shows its \"&\"";
        }
        // A value that is cut at the panel's edge by design keeps its height.
        const bool cutHere = std::find(cut.begin(), cut.end(), c) != cut.end();
        if (l->sizePolicy().horizontalPolicy() != QSizePolicy::Ignored && !cutHere) {
            EXPECT_GE(l->width(), l->sizeHint().width()) << name;
        }
        EXPECT_GE(l->height(), fm.height()) << name;
        // Every line of a text of several.
        if (l->text().contains('\n')) {
            EXPECT_GE(l->height(), l->sizeHint().height()) << name;
        }
    } else if (auto* b = qobject_cast<const QPushButton*>(c)) {
        if (b->text().isEmpty()) return;
        QStyleOptionButton opt;
        opt.initFrom(b);
        opt.rect = b->rect();
        opt.text = b->text();
        const QRect room = b->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, b);
        int need = fm.size(Qt::TextShowMnemonic, b->text()).width();
        if (!b->icon().isNull()) need += b->iconSize().width();
        EXPECT_GE(room.width(), need) << name;
        EXPECT_GE(room.height(), fm.height()) << name;
    } else if (qobject_cast<const QCheckBox*>(c) || qobject_cast<const QRadioButton*>(c)) {
        EXPECT_GE(c->width(), c->sizeHint().width()) << name;
        EXPECT_GE(c->height(), fm.height()) << name;
    } else if (auto* e = qobject_cast<const QLineEdit*>(c)) {
        const int frame = e->hasFrame() ? 2 * e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, e) : 0;
        const QMargins tm = e->textMargins();
        // The line edit keeps 2 pixels either side of its text.
        EXPECT_LE(fm.horizontalAdvance(e->displayText()), e->width() - frame - tm.left() - tm.right() - 4) << name;
        EXPECT_GE(e->height() - frame - tm.top() - tm.bottom(), fm.height()) << name;
    } else if (auto* cb = qobject_cast<const QComboBox*>(c)) {
        QStyleOptionComboBox opt;
        opt.initFrom(cb);
        opt.rect = cb->rect();
        opt.currentText = cb->currentText();
        opt.editable = cb->isEditable();
        const QRect field = cb->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, cb);
        for (int i = 0; i < cb->count(); ++i)
            EXPECT_LE(fm.horizontalAdvance(cb->itemText(i)), field.width()) << name << " item " << i;
        EXPECT_GE(field.height(), fm.height()) << name;
    } else if (auto* g = qobject_cast<const QGroupBox*>(c)) {
        EXPECT_GE(g->width(), g->minimumSizeHint().width()) << name;
        EXPECT_GE(g->height(), g->minimumSizeHint().height()) << name;
    }
}

// Every column of a list holds its header's text and its widest item's, and
// ends inside the list; a one-column list holds its widest item.
inline void ExpectColumnsWhole(const QAbstractItemView* v) {
    const std::string name = NameOf(v);
    const QAbstractItemModel* m = v->model();
    if (m == nullptr) return;
    // An item's text keeps the focus frame's margin either side.
    const int margin = 2 * (v->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, v) + 1);
    auto widest = [m, v](int column, int& row) {
        int most = 0;
        for (int r = 0; r < m->rowCount(); ++r) {
            const QModelIndex i = m->index(r, column);
            const QVariant font = i.data(Qt::FontRole);
            const int w = QFontMetrics(font.isValid() ? font.value<QFont>() : v->font())
                              .horizontalAdvance(i.data(Qt::DisplayRole).toString());
            if (w > most) most = w, row = r;
        }
        return most;
    };
    int row = -1;
    if (auto* t = qobject_cast<const QTreeView*>(v)) {
        const QHeaderView* h = t->header();
        const QFontMetrics hm(h->font());
        const int headerMargin = 2 * h->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h);
        for (int c = 0; c < m->columnCount(); ++c) {
            if (h->isSectionHidden(c)) continue;
            const int width = h->sectionSize(c);
            const QString title = m->headerData(c, Qt::Horizontal).toString();
            EXPECT_GE(width, hm.horizontalAdvance(title) + headerMargin) << name << " column \"" << title.toStdString() << "\"";
            const int indent = c == 0 && t->rootIsDecorated() ? t->indentation() : 0;
            const int need = widest(c, row);
            if (row >= 0) {
                EXPECT_GE(width - indent, need + margin)
                    << name << " column \"" << title.toStdString() << "\" cuts \""
                    << m->index(row, c).data().toString().toStdString() << "\"";
            }
            EXPECT_LE(h->sectionViewportPosition(c) + width, t->viewport()->width())
                << name << " column \"" << title.toStdString() << "\" runs past the list";
        }
    } else if (qobject_cast<const QListView*>(v)) {
        const int need = widest(0, row);
        if (row >= 0) {
            EXPECT_GE(v->viewport()->width(), need + margin)
                << name << " cuts \"" << m->index(row, 0).data().toString().toStdString() << "\"";
        }
    }
}

// Every action a toolbar offers shows as its button, inside the bar; none is
// moved behind the bar's overflow button.
inline void ExpectToolBarWhole(const QToolBar* bar) {
    const std::string name = NameOf(bar);
    for (QAction* a : bar->actions()) {
        if (!a->isVisible() || a->isSeparator()) continue;
        const QWidget* b = bar->widgetForAction(a);
        if (b == nullptr) continue;
        const std::string what = b->toolTip().isEmpty() ? NameOf(b) : b->toolTip().toStdString();
        EXPECT_TRUE(b->isVisible()) << name << ": button \"" << what << "\" hidden";
        EXPECT_TRUE(bar->rect().contains(b->geometry())) << name << ": button \"" << what << "\" outside";
        EXPECT_GE(b->width(), b->sizeHint().width()) << name << ": button \"" << what << "\"";
    }
    for (const QToolButton* more : bar->findChildren<QToolButton*>("qt_toolbar_ext_button"))
        EXPECT_FALSE(more->isVisible()) << name << " hides buttons behind its overflow button";
}

inline void ExpectChildrenWhole(const QWidget* parent, const CutByDesign& cut);

// Every page of a tab control, each shown in turn; then the page it showed.
inline void ExpectTabPagesWhole(const QTabWidget* tabs, const CutByDesign& cut) {
    auto* t = const_cast<QTabWidget*>(tabs);
    const int shown = t->currentIndex();
    for (int i = 0; i < t->count(); ++i) {
        SCOPED_TRACE("tab page \"" + t->tabText(i).toStdString() + "\"");
        t->setCurrentIndex(i);
        QApplication::processEvents();
        const QTabBar* bar = t->tabBar();
        EXPECT_TRUE(bar->rect().contains(bar->tabRect(i))) << NameOf(tabs) << " tab cut";
        EXPECT_GE(bar->tabRect(i).width(), bar->fontMetrics().size(Qt::TextShowMnemonic, t->tabText(i)).width());
        QWidget* page = t->widget(i);
        EXPECT_TRUE(t->rect().contains(page->geometry().translated(page->parentWidget()->mapTo(t, QPoint(0, 0)))));
        if (page->layout() != nullptr) {
            EXPECT_GE(page->width(), page->minimumSizeHint().width()) << NameOf(page);
            EXPECT_GE(page->height(), page->minimumSizeHint().height()) << NameOf(page);
        }
        ExpectChildrenWhole(page, cut);
    }
    t->setCurrentIndex(shown);
    QApplication::processEvents();
}

inline void ExpectChildrenWhole(const QWidget* parent, const CutByDesign& cut) {
    std::vector<const QWidget*> shown;
    for (const QWidget* c : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!c->isVisible() || c->isWindow() || c->objectName().startsWith("qt_") || qobject_cast<const QSizeGrip*>(c))
            continue;
        shown.push_back(c);
    }
    for (size_t i = 0; i < shown.size(); ++i) {
        const QWidget* c = shown[i];
        const std::string name = NameOf(c);
        EXPECT_TRUE(parent->rect().contains(c->geometry()))
            << name << " outside " << NameOf(parent) << ": " << c->x() << "," << c->y() << " " << c->width() << "x"
            << c->height() << " in " << parent->width() << "x" << parent->height();
        for (size_t j = i + 1; j < shown.size(); ++j)
            EXPECT_FALSE(c->geometry().intersects(shown[j]->geometry())) << name << " overlaps " << NameOf(shown[j]);
        ExpectTextWhole(c, cut);
        if (HoldsControls(c)) ExpectChildrenWhole(c, cut);
        if (auto* v = qobject_cast<const QAbstractItemView*>(c)) ExpectColumnsWhole(v);
        if (auto* bar = qobject_cast<const QToolBar*>(c)) ExpectToolBarWhole(bar);
        if (auto* tabs = qobject_cast<const QTabWidget*>(c)) ExpectTabPagesWhole(tabs, cut);
        // A panel that scrolls up and down is never cut at the side.
        if (auto* area = qobject_cast<const QScrollArea*>(c); area && area->widget()) {
            const QWidget* inner = area->widget();
            EXPECT_LE(inner->width(), area->viewport()->width()) << NameOf(area) << " cuts its panel at the side";
            EXPECT_GE(inner->width(), inner->minimumSizeHint().width()) << NameOf(inner);
            ExpectChildrenWhole(inner, cut);
        }
    }
}

} // namespace formchecks

namespace formchecks {
// Points FontSizes() adds to the application's font, for the pictures.
inline int& LargerPoints() {
    static int points = 0;
    return points;
}

// With VEXLOR_FORM_SHOTS naming a folder, the form's picture is saved there
// (class, font family, size, a running number), to be looked at by eye.
inline void SaveShot(const QWidget* form) {
    const QByteArray dir = qgetenv("VEXLOR_FORM_SHOTS");
    if (dir.isEmpty()) return;
    static int count = 0;
    const QString file = QString("%1/%2-%3-plus%4pt-%5.png")
                             .arg(QString::fromLocal8Bit(dir),
                                  qstrcmp(form->metaObject()->className(), "QDialog") == 0
                                      ? form->windowTitle().remove(' ')
                                      : QString(form->metaObject()->className()),
                                  QFontInfo(form->font()).family().section(' ', 0, 1).remove(' '))
                             .arg(LargerPoints())
                             .arg(++count, 3, 10, QChar('0'));
    const_cast<QWidget*>(form)->grab().save(file);
}
} // namespace formchecks

// Every shown control of a shown form inside its parent, clear of its
// siblings, with its text whole.
inline void ExpectNothingClipped(const QWidget* form, const formchecks::CutByDesign& cut = {}) {
    SCOPED_TRACE(formchecks::NameOf(form));
    ASSERT_TRUE(form->isVisible());
    formchecks::SaveShot(form);
    if (form->layout() != nullptr) {
        EXPECT_GE(form->width(), form->minimumSizeHint().width());
        EXPECT_GE(form->height(), form->minimumSizeHint().height());
    }
    formchecks::ExpectChildrenWhole(form, cut);
}

// `check` at the application's font, and at 2 and 6 points larger.
inline void FontSizes(const std::function<void()>& check) {
    const QFont normal = QApplication::font();
    for (int larger : {0, 2, 6}) {
        SCOPED_TRACE(::testing::Message() << "font +" << larger << " pt: " << normal.family().toStdString());
        QFont f = normal;
        if (larger) f.setPointSizeF(normal.pointSizeF() + larger);
        QApplication::setFont(f);
        formchecks::LargerPoints() = larger;
        check();
    }
    formchecks::LargerPoints() = 0;
    QApplication::setFont(normal);
}

// `a` stands left of `b` (or above it), as the form orders them.
inline void ExpectLeftOf(const QWidget* a, const QWidget* b) {
    EXPECT_LE(a->mapTo(a->window(), QPoint(a->width(), 0)).x(), b->mapTo(b->window(), QPoint(0, 0)).x())
        << formchecks::NameOf(a) << " | " << formchecks::NameOf(b);
}
inline void ExpectAbove(const QWidget* a, const QWidget* b) {
    EXPECT_LE(a->mapTo(a->window(), QPoint(0, a->height())).y(), b->mapTo(b->window(), QPoint(0, 0)).y())
        << formchecks::NameOf(a) << " | " << formchecks::NameOf(b);
}
