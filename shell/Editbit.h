// The fuse map editor ("Edit Bit"): the buffer as rows of FuseRowLength
// fuses (fuse n = bit n of the buffer), 16 rows at a time, at most 50
// columns visible, with the fuse number under the cursor.
#pragma once
#include <QPointer>
#include <cstdint>

#include "shell/EditorBase.h"

class QLabel;
class QPushButton;

class TEditBit1 : public TEditorBase {
    Q_OBJECT
public:
    explicit TEditBit1(QWidget* parent = nullptr);

    enum FieldKind { FieldData = 0, FieldAddr = 1 };
    static constexpr int kMaxColumns = 50;

    QLineEdit* EditData[kLines] = {};
    QLabel* LabelTens = nullptr;  // tens digit of each visible column number
    QLabel* LabelUnits = nullptr; // units digit
    QLabel* LabelAddr = nullptr;  // fuse number under the cursor
    QPushButton* ButtonMode = nullptr;
    QPushButton* ButtonRadix = nullptr;
    QPushButton* ButtonClose = nullptr;
    QScrollBar* ScrollBar2 = nullptr; // columns

    // Geometry taken when the view is laid out.
    uint32_t TotalFuses = 0;
    uint32_t RowLength = 1; // a device row length of 0 is one row of all fuses
    uint32_t RowCount = 0;
    int VisibleColumns = 1;

    // Editor state.
    uint32_t TopFuse = 0;
    // CursorColumn counts within the visible columns.
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

    void EditKeyDown(QLineEdit* edit, int key, Qt::KeyboardModifiers modifiers) override;
    void EditKeyPress(QLineEdit* edit, QChar key) override;
    void EditKeyUp(QLineEdit* edit, int key, Qt::KeyboardModifiers modifiers) override;
    void EditMouseUp(QLineEdit* edit, const QPoint& pos) override;

public slots:
    void FormActivate() override;
    void ScrollBar1Scroll(int position);
    void ScrollBar2Scroll(int position);
    void ButtonModeClick();
    void ButtonRadixClick();
    void ButtonCloseClick();

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
};

extern QPointer<TEditBit1> EditBit1;
