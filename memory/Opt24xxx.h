// The block-protect dialog of row 16 (X24257-class parts: block protect and
// WPEN in the write-protect register).
#pragma once
#include "memory/Opt24Dialog.h"

class TOpt24xxx_ : public TOpt24Dialog {
    Q_OBJECT
public:
    explicit TOpt24xxx_(QWidget* owner = nullptr);
    QLabel*& LabelWpen = PinLabel;
    QComboBox*& ComboBoxWpen = PinCombo;
    void ButtonReadClick() { ReadClick(); }
    void ButtonProgramClick() { ProgramClick(); }

protected:
    int ReadRegister() override;
    int ProgramRegister() override;
};

// The Options entry's dialog: modal at Left + 320, Top + 100; the last
// program result (0 before any).
int ShowOpt24xxxDialog();
