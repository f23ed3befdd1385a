// The fuse map editor ("Edit Bit"): the buffer as rows of FuseRowLength
// fuses (fuse n = bit n of the buffer), 16 rows at a time, at most 50
// columns visible, with the fuse number under the cursor.
#pragma once
#include <QPointer>
#include <QWidget>
#include <cstdint>

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

class TEditBit1 : public QWidget {
    Q_OBJECT
public:
    explicit TEditBit1(QWidget* parent = nullptr);

    enum FieldKind { FieldData = 0, FieldAddr = 1 };
    static constexpr int kLines = 16;
    static constexpr int kMaxColumns = 50;
    static constexpr int kAddrLast = 6;

    QLineEdit* EditAddr[kLines] = {};
    QLineEdit* EditData[kLines] = {};
    QLabel* LabelTens = nullptr;  // tens digit of each visible column number
    QLabel* LabelUnits = nullptr; // units digit
    QLabel* LabelAddr = nullptr;  // fuse number under the cursor
    QPushButton* ButtonMode = nullptr;
    QPushButton* ButtonRadix = nullptr;
    QPushButton* ButtonClose = nullptr;
    QScrollBar* ScrollBar1 = nullptr; // rows
    QScrollBar* ScrollBar2 = nullptr; // columns

    // Geometry taken when the view is laid out.
    uint32_t TotalFuses = 0;
    uint32_t RowLength = 1; // a device row length of 0 is one row of all fuses
    uint32_t RowCount = 0;
    int VisibleColumns = 1;

    // Editor state.
    uint32_t TopFuse = 0;
    int CursorLine = 0;
    int CursorColumn = 0; // within the visible columns
    uint32_t ColumnOffset = 0;
    FieldKind Field = FieldData;
    bool SymbolMode = false;     // false: '1'/'0', true: '-'/'X'
    bool DecimalAddress = true;

    // Lays the view out again (relayout 1: scroll bars, top, cursor and
    // offset back to 0), then redraws.
    void RefreshFuseEditor(int relayout);
    QLineEdit* CursorEdit() const;
    uint32_t LastPageTop() const;
    // Read-only while an operation runs; redrawn when it ends.
    void SetRunning(bool running);
    bool RefreshPending = false;

    void EditKeyDown(QLineEdit* edit, int key, Qt::KeyboardModifiers modifiers);
    void EditKeyPress(QLineEdit* edit, QChar key);
    void EditKeyUp(QLineEdit* edit, int key, Qt::KeyboardModifiers modifiers);
    void EditMouseUp(QLineEdit* edit, const QPoint& pos);

public slots:
    void FormActivate();
    void ScrollBar1Scroll(int position);
    void ScrollBar2Scroll(int position);
    void ButtonModeClick();
    void ButtonRadixClick();
    void ButtonCloseClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void LayOut();
    void Redraw();
    void DrawLine(int r);
    void DrawHeaders();
    void ShowFuseNumber();
    void PlaceCaret();
    void FollowScrollBars();
    int LineOf(QLineEdit* edit, FieldKind* kind) const;
    int LastLine() const;
    void SetTop(int64_t top);
    bool LineUp();
    bool LineDown();
    void MoveLeft();
    void MoveRight();
    void EndOfRow();

    int shownLine_ = -1;
    bool settingScroll_ = false;
};

extern QPointer<TEditBit1> EditBit1;
