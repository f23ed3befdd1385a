// What the two block-protect dialogs of the two-wire EEPROMs with a
// write-protect register share: caption "Block Protect", a radio group of the
// four protect choices, a combo box for the protect-enable bit ("Low", "Hi"),
// a read button, a program button and "&Close". The controls start from the
// unit's two option values and write them back when they change; the read
// button reloads them from the chip.
#pragma once
#include <QDialog>
#include <QStringList>

class QComboBox;
class QLabel;
class QPushButton;
class TRadioGroup;

class TOpt24Dialog : public QDialog {
    Q_OBJECT
public:
    TOpt24Dialog(QWidget* owner, const QStringList& items, const QString& pinLabel, int& blockProtect, int& pinBit);

    TRadioGroup* RadioGroup1;
    QLabel* PinLabel;
    QComboBox* PinCombo;
    QPushButton* ReadButton;
    QPushButton* ProgramButton;
    QPushButton* BitBtn1;
    // The result of the last program click (0 before any).
    int ProgramResult = 0;

    void RadioGroup1Click();
    void ReadClick();
    void ProgramClick();

protected:
    // 1, or -1 when the register could not be read (the values stay).
    virtual int ReadRegister() = 0;
    virtual int ProgramRegister() = 0;
    void LoadControls();

private:
    int& blockProtect_;
    int& pinBit_;
};

// Shows a dialog modally at the main form's Left + 320, Top + 100; the last
// program result.
int ShowOpt24Dialog(TOpt24Dialog& dialog);
