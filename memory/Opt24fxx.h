// The block-protect dialog of row 14 (X24F-class parts: block protect and
// PPEN in the protect register).
#pragma once
#include "memory/Opt24Dialog.h"

class TOpt24Fxx_ : public TOpt24Dialog {
    Q_OBJECT
public:
    explicit TOpt24Fxx_(QWidget* owner = nullptr);
    QLabel*& LabelPpen = PinLabel;
    QComboBox*& ComboBoxPpen = PinCombo;
    QPushButton*& Button1 = ReadButton;
    QPushButton*& Button2 = ProgramButton;
    void Button1Click() { ReadClick(); }
    void Button2Click() { ProgramClick(); }

protected:
    int ReadRegister() override;
    int ProgramRegister() override;
};

// The Options entry's dialog: modal at Left + 320, Top + 100; the last
// program result (0 before any).
int ShowOpt24fxxDialog();
// Makes both block-protect dialogs the dialogs of rows 14 and 16.
void InstallOpt24Dialogs();
