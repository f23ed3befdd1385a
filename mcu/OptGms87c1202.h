// "Option": the option bytes of the GMS87C1202 row. Two combos (oscillator,
// code protect) and the customer ID of at most 10 characters, loaded from the
// option bytes last read from or programmed into a chip; leaving a control
// stores it in the option variables. The buttons read the chip's option bytes
// and program them at once; the configuration-fuse step of an Auto programs
// them from the variables as the dialog left them.
#pragma once
#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TOptGms87C1202_ : public QDialog {
    Q_OBJECT
  public:
    explicit TOptGms87C1202_(QWidget* owner = nullptr);

    QLabel* LabelOscillator = nullptr;
    QComboBox* ComboBoxOscillator = nullptr;
    QLabel* LabelCodeProtect = nullptr;
    QComboBox* ComboBoxCodeProtect = nullptr;
    QLabel* LabelCustmerId = nullptr;
    QLineEdit* EditCustmerId = nullptr;
    QPushButton* ButtonRead = nullptr;
    QPushButton* ButtonProgram = nullptr;
    QPushButton* BitBtn1 = nullptr;

    void LoadGms87Controls();
    void Change();
    void ButtonReadClick();
    void ButtonProgramClick();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// Shows the dialog at the main form's Left + 320, Top + 100, modally, and
// deletes it; returns 1.
int RunGms87Dialog();
