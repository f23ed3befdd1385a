// The option dialog of row 96: the USERCODE (four characters) and the
// configuration mode of the PROM, read from the chip when the dialog opens
// and programmed by its button.
#pragma once
#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TOptXC18V00_ : public QDialog {
  public:
    explicit TOptXC18V00_(QWidget* owner = nullptr);

    QLabel* Label1;
    QLineEdit* EditUsercode;
    QLabel* Label2;
    QComboBox* ComboBoxMode;
    QPushButton* ButtonProgram;
    QPushButton* BitBtnClose;

    void EditUsercodeExit();
    void ComboBoxModeExit();
    void ButtonProgramClick();

  protected:
    void done(int result) override;
};

// Creates the dialog, shows it modally at the main form's Left + 320,
// Top + 100 and deletes it.
int ShowOptXC18V00Dialog();
void InstallOptXC18V00Dialog();
