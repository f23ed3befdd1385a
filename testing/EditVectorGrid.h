// The 16-line grid of test-vector symbols shared by the IC test form and the
// vector test form: a column ruler, line numbers, 16 borderless line edits
// over a buffer of lines of `pins` symbols, a scroll bar and the cursor
// position. Keys move a cursor (column, row) over the buffer; a typed symbol
// is stored under it.
#pragma once
#include <QDialog>
#include <QString>
#include <cstdint>

class QLabel;
class QLineEdit;
class QScrollBar;
class QFrame;

class TVectorGrid : public QDialog {
    Q_OBJECT
public:
    static constexpr int kRows = 16;

    explicit TVectorGrid(QWidget* parent = nullptr);

    QFrame* PanelSize = nullptr;
    QLabel* LabelSize0 = nullptr;
    QLabel* LabelSize1 = nullptr;
    QFrame* Panel4 = nullptr;
    QLabel* LabelLine = nullptr;
    QFrame* Panel1 = nullptr;
    QFrame* PanelData = nullptr;
    QScrollBar* ScrollBar1 = nullptr;
    QLabel* LabelAddrPos = nullptr;
    QLabel* LabelAddr[kRows] = {};
    QLineEdit* EditData[kRows] = {};

    // Cursor, line width and the shown page.
    int column = 0;
    int row = 0;
    int pins = 14;
    int lineCapacity = 0;
    int topOffset = 0;
    int caretPending = 0;
    int byteCapacity = 0;
    uint8_t* buffer = nullptr; // bufferBytes bytes
    size_t bufferBytes = 0;
    int lineCount = 0;

    // Event handlers shared by the 16 line edits.
    void EditKeyDown(int key, Qt::KeyboardModifiers mods);
    void EditKeyPress(QChar c);
    void EditKeyUp(int key);
    void EditMouseUp();
    void ScrollBar1Scroll(int position);

    // Grid helpers.
    void ShowGridPage(int offset);
    void ShowGridLine(int offset, int r);
    void ShowGridPosition();
    void HighlightGridRow();
    void SetGridCaret(int c);
    void MoveGridColumn(int delta);
    void MoveGridRow(int delta);
    void FollowGridClick();
    // lineCount from the bytes before the first 0; the line after the last
    // whole one is cleared (inside the buffer only).
    void CountIcLines();
    // The number formed by the digit characters of a text.
    static int DigitsToInt(const QString& text);

protected:
    // Cursor, widths and page for `linePins` symbols per line; `rightEdge`
    // is where the grid ends (8 x pins + 62, the scroll bar's Left).
    void SetupGrid(int linePins);
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int LastPageOffset() const { return (lineCapacity - kRows) * pins; }
    void SetTopOffset(int offset);
    int highlighted_ = -1;
};
