// The block protection dialog ("Block Protection") of the flash rows with
// boot-block lockout: one "Protection" box by maker (PMC: lockout on and
// off; SST: bottom or top block; others: the one-way lockout and the
// protection override), the state logged when it opens, each action logged
// and beeped by what the chip reads back afterwards.
#pragma once
#include <QDialog>

class QGroupBox;
class QPushButton;
class TRadioGroup;

class TOpt49fxx : public QDialog {
    Q_OBJECT
public:
    explicit TOpt49fxx(QWidget* owner);

    QGroupBox* GroupBox1;
    QGroupBox* GroupBox2;
    QGroupBox* GroupBox3;
    QPushButton* ButtonActivate;
    TRadioGroup* RadioGroupProtectOverride;
    QPushButton* ButtonActvateBottom;
    QPushButton* ButtonActivateTop;
    QPushButton* ButtonEnableBootBlockLockout;
    QPushButton* ButtonDisableBootBlockLockout;
    QPushButton* BitBtn1;

    void ButtonActivateClick();
    void ButtonActvateBottomClick();
    void ButtonActivateTopClick();
    void ButtonEnableBootBlockLockoutClick();
    void ButtonDisableBootBlockLockoutClick();

private:
    void FormCreate();
};

// Makes the Options entry of rows 40 and 41 show the dialog.
void InstallOpt49fxxDialog();
