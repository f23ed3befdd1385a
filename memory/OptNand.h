// The option dialog of the NAND rows 83 and 86: the bad-block list of the
// chip, logical or physical reading and (row 83) the number of logical
// blocks. The settings follow the controls as they change.
#pragma once
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class TRadioGroup;

class TOptNand_ : public QDialog {
  public:
    explicit TOptNand_(QWidget* owner = nullptr);

    QPushButton* ButtonDisp;
    TRadioGroup* RadioGroupReadMode;
    QLabel* Label1;
    QLineEdit* EditPgmBlock;
    QPushButton* BitBtnClose;

    void ButtonDispClick();
    void RadioGroupReadModeExit();
    void EditPgmBlockChange();

  protected:
    void done(int result) override;
};

// Creates the dialog, shows it modally at the main form's Left + 320,
// Top + 100 and deletes it.
int ShowOptNandDialog();
void InstallOptNandDialog();
