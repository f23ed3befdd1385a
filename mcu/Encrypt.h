// "Option": the security and encryption dialog of the 8051 rows. It edits the
// encryption table as a hexadecimal grid, its size, the read decoding, the
// security mode and the pulse count, loads and saves *.enc files, and reads
// and programs the option register (row 100 layout) or row 107's
// configuration bytes.
#pragma once
#include <QDialog>
#include <QString>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QWidget;

class TEncryption1 : public QDialog {
    Q_OBJECT
public:
    explicit TEncryption1(QWidget* parent = nullptr);

    QPushButton* ButtonLoad = nullptr;
    QPushButton* ButtonSave = nullptr;
    QWidget* Panel1 = nullptr;
    QLineEdit* EditHex[8] = {};
    QPushButton* BitBtn1 = nullptr;
    QWidget* Panel2 = nullptr;
    QComboBox* ComboBoxEncMode = nullptr;
    QLabel* LabelSecMode = nullptr;
    QLabel* LabelEndMode = nullptr;
    QComboBox* ComboBoxSecMode = nullptr;
    QLabel* LabelEncSize = nullptr;
    QLabel* LabelPgmPulse = nullptr;
    QScrollBar* UpDown2 = nullptr;
    QComboBox* ComboBoxEncSize = nullptr;
    QLineEdit* EditPulseCount = nullptr;
    QWidget* Panel3 = nullptr;
    QLabel* LabelOptionRegister = nullptr;
    QPushButton* ButtonRead = nullptr;
    QPushButton* ButtonProgram = nullptr;
    QLineEdit* EditOptionRegister = nullptr;
    QWidget* Panel4 = nullptr;
    QLabel* LabelConfigByte0 = nullptr;
    QPushButton* ButtonRead1 = nullptr;
    QPushButton* Button2 = nullptr;
    QLabel* LabelConfigByte1 = nullptr;
    QLineEdit* EditConfigByte0 = nullptr;
    QLineEdit* EditConfigByte1 = nullptr;

    // The file dialogs; tests replace them. An empty name is Cancel.
    std::function<QString()> AskOpenFileName;
    std::function<QString()> AskSaveFileName;

    int CaretRow = 0;    // 0-7
    int CaretColumn = 0; // 0-46: 3k high digit, 3k+1 low digit, 3k+2 blank

    void FormActivate();
    void ShowTableRow(int row);
    void ShowSettings();
    void Change();
    void EditKeyDown(int key);
    void EditKeyPress(QChar key);
    void EditMouseUp(int row, int position);
    void ButtonLoadClick();
    void ButtonSaveClick();
    void ButtonReadClick();
    void ButtonProgramClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void PlaceCaret(int column);
    void StepRight();
    void StepLeft();
    int RowOf(QObject* edit) const;
};

// The dialog's launcher: placed at the main form's Left + 320, Top + 100,
// modal, deleted on close; returns 1.
int RunEncryptionDialog();
