// TOptXx8C64 ("Data Protect"): eight boxes for the 1 KB blocks of the
// multiplexed-bus EEPROMs, kept in BlockProtectFlags, and the button that
// writes them into the chip's block protect register. The dialog stays open
// after a write and logs nothing.
#pragma once
#include <QDialog>

class QCheckBox;
class QGroupBox;
class QPushButton;

class TOptXx8C64 : public QDialog {
    Q_OBJECT
public:
    explicit TOptXx8C64(QWidget* owner = nullptr);

    QGroupBox* RadioGroup1;
    QCheckBox* CheckBox1;
    QCheckBox* CheckBox2;
    QCheckBox* CheckBox3;
    QCheckBox* CheckBox4;
    QCheckBox* CheckBox5;
    QCheckBox* CheckBox6;
    QCheckBox* CheckBox7;
    QCheckBox* CheckBox8;
    QPushButton* ButtonWrote;
    QPushButton* BitBtn1;
    QPushButton* ButtonSetAll;
    QPushButton* ButtonResetAll;
    QPushButton* ButtonToggle;

    // Leaving any box: all eight states into the flags.
    void CheckBox1Click();
    void ButtonSetAllClick();
    void ButtonResetAllClick();
    void ButtonToggleClick();
    void ButtonWroteClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QCheckBox* Box(int n) const;
    void Refresh();
};

// The Options entries' dialog: modal at Left + 320, Top + 100.
void ShowOptXx8C64Dialog();
// Makes it the dialog of rows 8 and 9.
void InstallOptXx8C64Dialog();
