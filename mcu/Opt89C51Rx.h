// "Option": the security level and special bytes of the 89C51Rx-type rows,
// one group box per row (status byte and boot vector for row 192; status
// byte, BPC and BPSW for row 188). Leaving a control takes every setting of
// the row back from the controls and shows them again ("%02X"); the byte
// edits take upper-case hexadecimal digits only. The three buttons read the
// special bytes, program them and initialize the chip at once.
#pragma once
#include <QDialog>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TOpt89C51Rx1 : public QDialog {
    Q_OBJECT
  public:
    explicit TOpt89C51Rx1(QWidget* owner = nullptr);

    QGroupBox* GroupBox89C51Rx = nullptr;
    QLabel* LabelSecMode = nullptr;
    QComboBox* ComboBoxSecMode = nullptr;
    QLabel* LabelStatusByte = nullptr;
    QLineEdit* EditStatusByte = nullptr;
    QLabel* LabelBootVectorByte = nullptr;
    QLineEdit* EditBootVectorByte = nullptr;

    QGroupBox* GroupBox89C51XA = nullptr;
    QLabel* LabelSecMode1 = nullptr;
    QComboBox* ComboBoxSecMode1 = nullptr;
    QLabel* LabelStatusByte1 = nullptr;
    QLineEdit* EditStatusByte1 = nullptr;
    QLabel* LabelBPC = nullptr;
    QLineEdit* EditBPC = nullptr;
    QLabel* LabelBPSW = nullptr;
    QLineEdit* EditBPSW = nullptr;

    QPushButton* ButtonRead = nullptr;
    QPushButton* ButtonProgram = nullptr;
    QPushButton* ButtonInitalize = nullptr;
    QPushButton* BitBtnClose = nullptr;

    // The settings of the current row into the controls.
    void ShowSettings();
    // The controls of the visible group into the settings, then shown again.
    void Change();
    void ButtonReadClick();
    void ButtonProgramClick();
    void ButtonInitalizeClick();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// Shows the dialog at the main form's Left + 320, Top + 100, modally, and
// deletes it; returns 1.
int RunRx51Dialog();
