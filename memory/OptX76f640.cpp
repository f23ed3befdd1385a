#include "memory/OptX76f640.h"

#include <QApplication>
#include <QPushButton>
#include <cstring>

#include "dialogs/FontFit.h"
#include "memory/SecureSerial.h"

TOptX76F640_::TOptX76F640_(QWidget* owner) : TOptX76Dialog(owner) {
    setFixedSize(470, 200);
    const int x = 8, w = 120;
    MaskEditRead0 = AddPasswordEdit("Read Password  0 :", kX76Slot47Read0, x, 10, w);
    MaskEditWrite0 = AddPasswordEdit("Write Password  0 :", kX76Slot47Write0, x, 40, w);
    MaskEditRead1 = AddPasswordEdit("Read Password  1 :", kX76Slot47Read1, x, 70, w);
    MaskEditWrite1 = AddPasswordEdit("Write Password  1 :", kX76Slot47Write1, x, 100, w);
    MaskEditReset = AddPasswordEdit("ResetPassword :", kX76Slot47Reset, x, 130, w);
    // Each button changes the password of its slot, authorised by that slot.
    const auto change = [this](const char* caption, uint32_t command, int slot, int y) {
        return AddChangeButton(
            caption, [command, slot] { return ChangePassword47(command, X76PasswordSlots[slot], X76NewPassword); },
            slot, QRect(310, y, 150, 25));
    };
    ButtonChangeRead0 = change("Change Read Password 0", 0xA0, kX76Slot47Read0, 8);
    ButtonChangeWrite0 = change("Change Write Password 0", 0xB0, kX76Slot47Write0, 38);
    ButtonChangeRead1 = change("Change Read Password 1", 0xA8, kX76Slot47Read1, 68);
    ButtonChangeWrite1 = change("Change Write Password 1", 0xB8, kX76Slot47Write1, 98);
    ButtonChangeReset = change("Change Reset Password", 0xC0, kX76Slot47Reset, 128);
    ButtonResetPassword = new QPushButton("Reset Password", this);
    ButtonResetPassword->setGeometry(80, 166, 140, 25);
    ButtonResetDevice = new QPushButton("Reset Device", this);
    ButtonResetDevice->setGeometry(250, 166, 140, 25);
    connect(ButtonResetPassword, &QPushButton::clicked, this, [this] { ButtonResetPasswordClick(); });
    connect(ButtonResetDevice, &QPushButton::clicked, this, [this] { ButtonResetDeviceClick(); });
    FormActivate();
    FitToFont(this);
}

void TOptX76F640_::ButtonResetPasswordClick() {
    if (ResetPasswordOrDevice47(0xE0) != 1) return;
    for (int slot : {kX76Slot47Read0, kX76Slot47Read1, kX76Slot47Write0, kX76Slot47Write1, kX76Slot47Reset})
        std::memcpy(X76PasswordSlots[slot], kX76DefaultPassword, 8);
    FormActivate();
}

void TOptX76F640_::ButtonResetDeviceClick() { ResetPasswordOrDevice47(0xE8); }

int ShowOptX76F640Dialog() {
    TOptX76F640_ dialog(QApplication::activeWindow());
    return ShowOptX76Dialog(dialog);
}
