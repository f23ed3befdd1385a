// The byte buffer editor ("HEX Editor"): 16 lines of 16 bytes with their
// addresses and characters, the whole-buffer commands (clear, byte swaps)
// and the copy, fill and find dialogs. Bytes are read and written by buffer
// address, so a view that straddles a 64 KB bank edge edits the right bytes.
//
// Also the entry points the main window uses to show and refresh the
// buffer editors (byte editor or fuse map editor) and the UES editor.
#pragma once
#include <QPointer>
#include <cstdint>
#include <functional>

#include "shell/EditorBase.h"

class QDialog;
class QLabel;
class QPushButton;

class TEditByte1 : public TEditorBase {
    Q_OBJECT
public:
    explicit TEditByte1(QWidget* parent = nullptr);

    enum FieldKind { FieldHex = 0, FieldAsc = 1, FieldAddr = 2 };
    static constexpr int kHexLast = 46;
    static constexpr int kAscLast = 15;

    QLineEdit* EditHex[kLines] = {};
    QLineEdit* EditAsc[kLines] = {};
    QLabel* PanelAddress = nullptr;
    QLabel* PanelHex = nullptr;
    QLabel* PanelAsc = nullptr;
    QLabel* LabelSize = nullptr;
    QPushButton* Copy = nullptr;
    QPushButton* FillBuff = nullptr;
    QPushButton* Find = nullptr;
    QPushButton* FindNext = nullptr;
    QPushButton* Radix = nullptr;
    QPushButton* Swap16 = nullptr;
    QPushButton* Swap32 = nullptr;
    QPushButton* Clear = nullptr;
    QPushButton* Ok = nullptr;
    QPushButton* Help = nullptr;

    // Editor state.
    uint32_t TopAddress = 0; // buffer address of line 0
    FieldKind Field = FieldHex;
    bool DecimalAddress = false;
    bool PlaceCaretAgain = false;

    // Redraws the 16 lines from TopAddress (not while an operation runs).
    void RefreshByteEditor();
    // The edit the cursor is in.
    QLineEdit* CursorEdit() const;
    // While running, the editor is read-only and its commands refused; at the
    // end of a run the view is redrawn.
    void SetRunning(bool running);

    // Runs a modal dialog (tests replace it to answer without a user).
    std::function<int(QDialog*)> ExecDialog;

    // Key and mouse handlers shared by the 48 edits.
    void EditKeyDown(QLineEdit* edit, int key, Qt::KeyboardModifiers modifiers) override;
    void EditKeyPress(QLineEdit* edit, QChar key) override;
    void EditKeyUp(QLineEdit* edit, int key, Qt::KeyboardModifiers modifiers) override;
    void EditMouseUp(QLineEdit* edit, const QPoint& pos) override;

public slots:
    void FormActivate() override;
    void ScrollBar1Scroll(int position);
    void OkClick();
    void FillBuffClick();
    void CopyClick();
    void FindClick();
    void FindNextClick();
    void RadixClick();
    void Swap16Click();
    void Swap32Click();
    void ClearClick();

private:
    int LineOf(QLineEdit* edit, FieldKind* kind) const;
    int LastColumn() const;
    uint64_t BufferBytes() const;
    uint32_t MaxTopAddress() const;
    void SetTop(int64_t top);
    void DrawLine(int r);
    void PlaceCaret();
    void FollowScrollBar();
    void SetScrollMaximum();
    void MoveLeft();
    void MoveRight();
    void LineUp();
    void LineDown();
    bool StoreByte(uint64_t address, uint8_t value);
    void Search(int64_t start);
    int RunDialog(QDialog* dialog);
    void AfterBufferChange();
    bool Refuse() const;
};

// The byte editor, created by OpenBufferEditor (nullptr before, and after
// its parent is gone).
extern QPointer<TEditByte1> EditByte1;

// The buffer grows while the view pages past its end, up to the larger of
// the device's image and 16 MB (and what the buffer can hold).
uint64_t EditorGrowthLimit();

// "&Edit Buffer": shows the fuse map editor when DeviceFlags bit 3 is set,
// else the byte editor (created with `parent` on first use), without making
// it modal.
void OpenBufferEditor(QWidget* parent);
// "Edit &UES": shows the UES editor (placed at the main window's Left + 30,
// Top + 80 when it is created).
void OpenUesEditor(QWidget* parent);
// The main window's RefreshBufferView: closes the editor that does not fit
// the device and refreshes the one that does (flag 1 lays the fuse map out
// again).
void RefreshBufferEditors(int flag);
// An operation starts (true) or ended (false): open editors turn read-only
// and refuse their commands, and are redrawn when the run ends.
void SetBufferEditorsRunning(bool running);
// Shutdown: closes every open editor.
void CloseBufferEditors();
