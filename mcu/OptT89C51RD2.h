// "Option": the hardware security byte of the T89C51RD2-type row: the lock
// level and the BLLB, BLJB and SB bits, each changing its setting at once;
// "&Read HSB" loads them from the chip, "&Program HSB" writes the byte they
// compose.
#pragma once
#include <QDialog>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

class TOptT89C51RD21 : public QDialog {
    Q_OBJECT
  public:
    explicit TOptT89C51RD21(QWidget* owner = nullptr);

    QGroupBox* GroupBox1 = nullptr;
    QLabel* LabelLockBits = nullptr;
    QComboBox* ComboBoxLockBits = nullptr;
    QLabel* LabelBLLB = nullptr;
    QComboBox* ComboBoxBLLB = nullptr;
    QLabel* LabelBLJB = nullptr;
    QComboBox* ComboBoxBLJB = nullptr;
    QLabel* LabelSB = nullptr;
    QComboBox* ComboBoxSB = nullptr;
    QPushButton* ButtonRdHSB = nullptr;
    QPushButton* ButtonPgmHSB = nullptr;
    QPushButton* BitBtn1 = nullptr;

    // The settings into the combo boxes.
    void ShowSettings();
    void ComboBoxChange();
    void ButtonRdHSBClick();
    void ButtonPgmHSBClick();

  private:
    bool showing_ = false;
};

// Shows the dialog at the main form's Left + 320, Top + 100, modally, and
// deletes it; returns 1.
int RunT89C51RD2Dialog();
