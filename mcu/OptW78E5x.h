// "Option": the special-register options of the W78E5x rows (MOV execute,
// encryption, oscillator gain). The combos shown follow DeviceVariant; leaving
// a combo copies the visible choices into the option variables. The options
// reach the chip by Program (or Auto), which writes the register after the
// code array.
#pragma once
#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

class TOptW78E5x1 : public QDialog {
    Q_OBJECT
  public:
    explicit TOptW78E5x1(QWidget* owner = nullptr);

    QLabel* LabelMovExecute = nullptr;
    QComboBox* ComboBoxMovExecute = nullptr;
    QLabel* LabelEncryption = nullptr;
    QComboBox* ComboBoxEncryption = nullptr;
    QLabel* LabelOscControl = nullptr;
    QComboBox* ComboBoxOscControl = nullptr;
    QPushButton* BitBtn1 = nullptr;

    void LoadSpecialRegisterControls();
    void Change();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// Shows the dialog at the main form's Left + 320, Top + 100, modally, and
// deletes it; returns 1.
int RunW78E5xDialog();
