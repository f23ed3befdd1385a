// TOptProtect ("Data Protection Mode"): the "Protect" choice kept in
// DataProtectMode and, for parts with boot blocks, the buttons that read
// the boot-block states and lock a block out.
#pragma once
#include <QDialog>

class QPushButton;
class QRadioButton;
class QGroupBox;

class TOptProtect : public QDialog {
    Q_OBJECT
public:
    explicit TOptProtect(QWidget* owner = nullptr);

    QGroupBox* RadioGroup1;
    QPushButton* BitBtnOk;
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* Button3;

    // The radio group's item index (0 "Disable", 1 "Enable").
    int ItemIndex() const;
    void SetItemIndex(int index);

    void BitBtnOkClick();
    void Button1Click();
    void Button2Click();
    void Button3Click();

private:
    QRadioButton* items_[2];
};

// The Options entries' dialog: modal at Left + 320, Top + 100.
void ShowOptProtectDialog();
// Makes it the dialog of rows 1 and 5.
void InstallOptProtectDialog();
