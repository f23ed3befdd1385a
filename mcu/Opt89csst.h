// "Option": the protection of the SST89 row. Variant 0 chooses the security
// byte ("Protect"); variant 1 the SFST[7:5] flags and the re-map bits, which
// "Program Re-Map Bits" writes at once. "&Close" stores the protection and
// flag choices; closing another way keeps the previous ones.
#pragma once
#include <QDialog>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QWidget;

class TOpt89CSST1 : public QDialog {
    Q_OBJECT
  public:
    explicit TOpt89CSST1(QWidget* owner = nullptr);

    QGroupBox* RadioGroupOpt = nullptr;
    QWidget* Panel1 = nullptr;
    QLabel* LabelSFST = nullptr;
    QComboBox* ComboBoxSFST = nullptr;
    QLabel* LabelRB = nullptr;
    QComboBox* ComboBoxRB = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtnClose = nullptr;

    // The checked protection item, -1 when none.
    int ItemIndex() const;
    void BitBtnCloseClick();
    void ComboBoxRBChange();
    void BitBtn1Click();

  private:
    QButtonGroup* items_ = nullptr;
};

// Shows the dialog at the main form's Left + 320, Top + 100, modally, and
// deletes it; returns 1.
int RunSst89Dialog();
