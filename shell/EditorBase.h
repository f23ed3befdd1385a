// What the byte editor and the fuse map editor share: 16 lines with an
// address field each, a row scroll bar, the line cursor, the routing of the
// lines' keys and mouse clicks to the editor's handlers, and the drawing of
// the cursor line and of the addresses.
#pragma once
#include <QFont>
#include <QWidget>
#include <cstdint>
#include <initializer_list>
#include <optional>

class QGridLayout;
class QLineEdit;
class QPushButton;
class QScrollBar;

class TEditorBase : public QWidget {
    Q_OBJECT
public:
    static constexpr int kLines = 16;
    static constexpr int kAddrLast = 6;

    QLineEdit* EditAddr[kLines] = {};
    QScrollBar* ScrollBar1 = nullptr; // rows
    int CursorLine = 0;               // 0-15
    int CursorColumn = 0;
    // A refresh asked for while an operation ran; done when the run ends.
    bool RefreshPending = false;

    // Key and mouse handlers of the line edits.
    virtual void EditKeyDown(QLineEdit* edit, int key, Qt::KeyboardModifiers modifiers) = 0;
    virtual void EditKeyPress(QLineEdit* edit, QChar key) = 0;
    virtual void EditKeyUp(QLineEdit* edit, int key, Qt::KeyboardModifiers modifiers) = 0;
    virtual void EditMouseUp(QLineEdit* edit, const QPoint& pos) = 0;

public slots:
    virtual void FormActivate() = 0;

protected:
    TEditorBase(QWidget* parent, const char* name, const char* title);

    // A read-only line edit in the editor font whose keys and clicks go to
    // the handlers above; `chars` > 0 fixes its width to that many characters.
    QLineEdit* MakeLineEdit(const QString& name, int chars = 0);
    // The width of one character of the editor font, and of a line edit that
    // shows `chars` characters.
    int CharWidth() const;
    int LineWidth(int chars) const;
    // The grid the lines are laid out in.
    static QGridLayout* MakeLinesGrid();
    // ScrollBar1, paging by 16.
    void MakeRowScrollBar();
    // A command button that never takes the focus from the lines.
    QPushButton* MakeCommandButton(const char* text, const char* name);

    // True while an operation runs: the redraw is left for its end.
    bool DeferWhileLocked();
    // The cursor's line white, the others in the button colour; each array
    // holds the kLines edits of one column.
    void ShowCursorLine(std::initializer_list<QLineEdit* const*> columns);
    // Focus to `edit` with the character under the cursor selected.
    void SelectCursorColumn(QLineEdit* edit) const;
    // An address as shown in the address fields: 7 decimal or hex digits.
    static QString AddressText(uint64_t address, bool decimal);
    // Address entry: the key, upper-cased, replaces the digit under the
    // cursor in the cursor line's address. False when it is not a digit of
    // the radix or the cursor is past the text; else true, with the address
    // now shown (nullopt when it is not a number).
    bool TypeAddressDigit(QChar key, bool decimal, std::optional<uint64_t>& value);

    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;

    QFont lineFont_;
    int shownLine_ = -1;
    bool settingScroll_ = false; // scroll bar moved by the editor, not the user
};
