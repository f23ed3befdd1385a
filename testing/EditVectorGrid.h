// The 16-line grid of test-vector symbols shared by the IC test form and the
// vector test form: a column ruler, line numbers, 16 borderless line edits
// over a buffer of lines of `pins` symbols, a scroll bar and the cursor
// position. Keys move a cursor (column, row) over the buffer; a typed symbol
// of the form's set is stored under it. Both forms also share the test
// settings (X level, supply, delay between lines), their "&Test" and
// "&Close" buttons and the report of the tested lines.
#pragma once
#include <vector>
#include <QDialog>
#include <QString>
#include <cstdint>

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QSpinBox;

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
    const char* symbols = "ZGVXHLCN01."; // accepted keys ('.' stores 0)

    // Test settings and their controls.
    QPushButton* ButtonTest = nullptr;
    QPushButton* ButtonClose = nullptr;
    QGroupBox* GroupBoxInfo = nullptr;
    QComboBox* ComboBoxXvalue = nullptr;
    QLineEdit* MaskEditVcc = nullptr;
    QSpinBox* UpDownVcc = nullptr;
    QLineEdit* MaskEditDelay = nullptr;
    QSpinBox* UpDownDelay = nullptr;
    short vcc = 50;
    short delayMs = 0;
    uint8_t xLevel = 1;

    void UpDownVccClick();
    void MaskEditVccKeyUp();
    void UpDownDelayClick();
    void MaskEditDelayKeyUp();
    void ComboBoxXvalueChange();
    void ButtonCloseClick();

    // The last reported line, shown after a failure.
    QString failIn, failOut;
    int failIndex = 0;
    // Keeps a tested line for the failure message and moves the progress bar.
    void RecordTestLine(const char* in, const char* out, int index);

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
    // lineCount from the bytes before the first 0; with clearTail the line
    // after the last whole one is cleared (inside the buffer only).
    void CountIcLines(bool clearTail = true);
    // The number formed by the digit characters of a text.
    static int DigitsToInt(const QString& text);

protected:
    // Cursor, widths and page for `linePins` symbols per line; the buttons
    // and the settings group stand right of the scroll bar.
    void SetupGrid(int linePins);
    // The settings group with its rows from `firstRowY` on, and the buttons
    // "&Test" and "&Close" at buttonY and buttonY + 30.
    void CreateSettings(int firstRowY, int buttonY);
    // The settings shown in their controls.
    void ShowSettings();
    // A setting changed through its control.
    virtual void SettingsChanged() {}
    // A typed symbol is about to be stored in the buffer.
    virtual void SymbolToStore() {}
    // Whether the grid shows the buffer's lines; without, it shows empty
    // lines (the buffer is left as it is).
    virtual bool LinesShown() const { return true; }
    // A note across the form under the grid (a form's own label, wrapped),
    // shown while it has a text; the form is laid out again for it.
    QLabel* noteLabel_ = nullptr;
    void ShowNote(const QString& text);
    // A button of the column right of the grid.
    QPushButton* AddButton(const char* name, const char* text, int y);
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Closing the form while its test runs stops the test instead.
    void closeEvent(QCloseEvent* event) override;
    // A new font for the window: the grid and the side refitted to it.
    void changeEvent(QEvent* event) override;
    // A row of the settings group: its label, its field, the field's up-down
    // (or none) and the widest text the field shows.
    void AddSettingsRow(QLabel* label, QWidget* field, QWidget* upDown, const char* widest);
    // Labels under the grid, left to right, after the cursor position.
    std::vector<QLabel*> bottomLabels_;

private:
    int LastPageOffset() const { return (lineCapacity - kRows) * pins; }
    void SetTopOffset(int offset);
    int highlighted_ = -1;
    // Column width and row height of the grid from its font.
    int charWidth_ = 8;
    int rowHeight_ = 14;
    // The terminal font for the window's font, and the grid's columns and
    // rows from it.
    void FitGridFont();
    // The headings, line numbers, line edits and scroll bar for `pins`
    // columns, then the side.
    void PlaceGrid();
    // The buttons, the settings group and the labels under the grid placed
    // for the window's font right of `gridRight`, and the window sized to
    // hold them all.
    void LayoutSide(int gridRight);
    struct SettingsRow {
        QLabel* label;
        QWidget* field;
        QWidget* upDown;
        const char* widest;
    };
    std::vector<SettingsRow> settingsRows_;
};
