// The polarity dialog of the two-wire configuration EEPROMs (row 31): it
// reads and logs the chip's RESET/OE polarity when made; OK toggles it.
#pragma once
#include "memory/OptXc17xx.h"

class TOptAt17Cxxx : public TPolarityDialog {
    Q_OBJECT
public:
    explicit TOptAt17Cxxx(QWidget* owner = nullptr);
    void BitBtnOkClick() override;
};

int ShowOptAt17CxxxDialog();
void InstallOptAt17CxxDialog();
