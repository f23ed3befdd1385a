// The password dialog of row 47: read and write passwords of both arrays and
// the reset password, a change button for each, and the reset-password and
// reset-device commands.
#pragma once
#include "memory/OptX76Dialog.h"

class TOptX76F640_ : public TOptX76Dialog {
    Q_OBJECT
public:
    explicit TOptX76F640_(QWidget* owner = nullptr);

    QLineEdit* MaskEditRead0;
    QLineEdit* MaskEditWrite0;
    QLineEdit* MaskEditRead1;
    QLineEdit* MaskEditWrite1;
    QLineEdit* MaskEditReset;
    QPushButton* ButtonChangeRead0;
    QPushButton* ButtonChangeRead1;
    QPushButton* ButtonChangeWrite0;
    QPushButton* ButtonChangeWrite1;
    QPushButton* ButtonChangeReset;
    QPushButton* ButtonResetPassword;
    QPushButton* ButtonResetDevice;

    void ButtonResetPasswordClick();
    void ButtonResetDeviceClick();
};

int ShowOptX76F640Dialog();
