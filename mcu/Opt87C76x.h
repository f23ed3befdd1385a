// "Option": the option bits of the 87C76x row. Seven combos over the option
// variables (loaded from buffer bytes FD00h-FD01h when the dialog opens),
// buttons that program and read the chip's option bits at once; closing the
// dialog encodes the choices into the buffer.
#pragma once
#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

class TOpt87c76x_ : public QDialog {
    Q_OBJECT
  public:
    explicit TOpt87c76x_(QWidget* owner = nullptr);

    QLabel* LabelWatchDogTimer = nullptr;
    QLabel* LabelResetPin = nullptr;
    QLabel* LabelPortReset = nullptr;
    QLabel* LabelBrownOut = nullptr;
    QLabel* LabelClockRateSelect = nullptr;
    QLabel* LabelOscillatorControl = nullptr;
    QLabel* LabelSecurityBits = nullptr;
    QComboBox* ComboBoxWatchDogTimer = nullptr;
    QComboBox* ComboBoxResetPin = nullptr;
    QComboBox* ComboBoxPortReset = nullptr;
    QComboBox* ComboBoxBrownOut = nullptr;
    QComboBox* ComboBoxClockRateSelect = nullptr;
    QComboBox* ComboBoxOscillatorControl = nullptr;
    QComboBox* ComboBoxSecurityBits = nullptr;
    QPushButton* ButtonProgramOptionBits = nullptr;
    QPushButton* ButtonReadOptionBits = nullptr;
    QPushButton* BitBtn1 = nullptr;

    void LoadOptionControls189();
    void ComboBoxExit();
    void FormClose();
    void ButtonProgramOptionBitsClick();
    void ButtonReadOptionBitsClick();

  protected:
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// Shows the dialog at the main form's Left + 320, Top + 100, modally, and
// deletes it; returns 1.
int Run87C76xDialog();
