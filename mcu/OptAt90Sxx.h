// "Option": the fuse bits and the lock mode of the AT90S rows. Activation
// reads the fuses from the chip into the controls; a changed control is
// stored in the program-wide fuse variables at once, so they hold it before
// any button acts. The program button writes the fuses, logs the result,
// beeps and closes the form; Secure later uses the lock mode chosen here.
#pragma once
#include <QDialog>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class TRadioGroup;

class TOptAt90Sxx1 : public QDialog {
    Q_OBJECT
  public:
    explicit TOptAt90Sxx1(QWidget* owner = nullptr);

    QGroupBox* GroupBox90S1200 = nullptr;
    QLabel* LabelFSTR = nullptr;
    QComboBox* ComboBoxFSTR = nullptr;
    QLabel* LabelSPEN = nullptr;
    QComboBox* ComboBoxSPEN = nullptr;
    QGroupBox* GroupBox90S2333 = nullptr;
    QLabel* LabelSPIEN1 = nullptr;
    QComboBox* ComboBoxSPEN1 = nullptr;
    QLabel* LabelBODLEVEL = nullptr;
    QComboBox* ComboBoxBODLEVEL = nullptr;
    QLabel* LabelBODEN = nullptr;
    QComboBox* ComboBoxBODEN = nullptr;
    QLabel* LabelCKSEL2 = nullptr;
    QComboBox* ComboBoxCKSEL2 = nullptr;
    QLabel* LabelCKSEL1 = nullptr;
    QComboBox* ComboBoxCKSEL1 = nullptr;
    QLabel* LabelCKSEL0 = nullptr;
    QComboBox* ComboBoxCKSEL0 = nullptr;
    TRadioGroup* RadioGroupSecMode = nullptr;
    QPushButton* ButtonProgram = nullptr;
    QPushButton* BitBtn1 = nullptr;

    void FormActivate();
    void Change();
    void ButtonProgramClick();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QComboBox* Fuses125(int i) const;
    bool loading_ = false;
};

// Shows the dialog at the main form's Left + 320, Top + 100, modally, and
// deletes it; returns 1.
int RunAvrFuseDialog();
