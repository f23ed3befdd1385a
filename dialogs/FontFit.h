// Forms placed in pixels, fitted to the font they are shown in. Their
// positions and sizes are drawn for the reference dialog font (13 pixels
// high, characters 6 pixels wide on average); a form shown in another font
// is scaled as a whole, by the font's height and average character width and
// further where a control needs more room for its text, so nothing is cut
// and the controls keep their order and spacing.
#pragma once
#include <QRect>
#include <QSize>
#include <QString>

#include <initializer_list>
#include <vector>

class QFont;
class QTreeWidget;
class QWidget;

// Horizontal and vertical factors from the reference layout to the shown one.
struct FontScale {
    double X = 1.0;
    double Y = 1.0;
    int ScaleX(int v) const;
    int ScaleY(int v) const;
    // Both edges of a box scaled, so boxes side by side stay side by side.
    QRect Map(const QRect& r) const;
    QRect Map(int x, int y, int w, int h) const { return Map(QRect(x, y, w, h)); }
};

// The font against the reference font, never below 1.
FontScale ScaleOfFont(const QFont& font);

// The OEM font "Terminal" of the grids and tables, or a fixed-pitch font in
// its place: 12 pixels at the reference font, as much larger as the
// window's font is.
QFont TerminalFont(const QFont& windowFont);

// The room a control needs to show its text whole: labels, buttons, check
// and radio boxes, edits, drop-down lists, group box titles, and any widget
// that lays out its own children (its layout's minimum). A side without a
// need is 0.
QSize TextNeed(const QWidget* w);

// Scales every child that `form` places by pixel geometry (not through a
// layout), and the form's own size, by the larger of the font's scale and
// what each control's text needs against its reference box. Call it once,
// after the form placed its controls at the reference font. Returns the
// scale used, for controls placed later. Controls the form keeps hidden
// are scaled along but ask for no room of their own.
FontScale FitToFont(QWidget* form);

// The columns of a list drawn for the reference font: `SetColumnWidths`
// keeps their reference widths and fits them at once; `FitColumns`, called
// again after the list is filled, gives each column its reference width
// scaled by the list's font, or more where its header, one of its items or
// the text `also` holds for it (the widest the column may come to show)
// needs more. Returns the width the list needs to show every column whole
// (its frame and a vertical scroll bar included).
void SetColumnWidths(QTreeWidget* view, std::initializer_list<int> reference);
int FitColumns(QTreeWidget* view, const std::vector<QString>& also = {});

// The column widths `FitColumns` gives, without setting them.
std::vector<int> FittedColumnWidths(const QTreeWidget* view, const std::vector<QString>& also = {});
