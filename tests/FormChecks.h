// What a user sees of a form, whatever its font: every shown control inside
// its parent and clear of its siblings, and every text whole (labels,
// buttons, check and radio boxes, edits, drop-down lists, group boxes).
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
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSizeGrip>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QToolButton>
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
        if (l->text().isEmpty() || l->wordWrap() || !l->pixmap().isNull()) return;
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
