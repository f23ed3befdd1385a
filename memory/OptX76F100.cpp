#include "memory/OptX76F100.h"

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include "dialogs/FontFit.h"
#include "memory/OptX76f640.h"
#include "memory/SecureSerial.h"

TOptX76F100_::TOptX76F100_(QWidget* owner) : TOptX76Dialog(owner) {
    setFixedSize(330, 150);
    auto* group = new QGroupBox("Password", this);
    group->setGeometry(8, 8, 314, 80);
    MaskEditReadPassword = AddPasswordEdit("&Read Password :", kX76Slot45Read, 12, 22, 110, group);
    MaskEditReadPassword->setObjectName("MaskEditReadPassword");
    MaskEditWritePassword = AddPasswordEdit("&Write Password :", kX76Slot45Write, 12, 50, 110, group);
    MaskEditWritePassword->setObjectName("MaskEditWritePassword");
    ButtonChangeRead = AddChangeButton(
        "&Change Read Password", [] { return ChangePassword45(0, X76NewPassword); }, kX76Slot45Read,
        QRect(8, 100, 150, 25));
    ButtonChangeWrite = AddChangeButton(
        "C&hange Write Password", [] { return ChangePassword45(1, X76NewPassword); }, kX76Slot45Write,
        QRect(170, 100, 150, 25));
    FormActivate();
    FitToFont(this);
}

int ShowOptX76F100Dialog() {
    TOptX76F100_ dialog(QApplication::activeWindow());
    return ShowOptX76Dialog(dialog);
}

void InstallOptX76Dialogs() {
    ShowOptX76F100DialogHook = ShowOptX76F100Dialog;
    ShowOptX76F640DialogHook = ShowOptX76F640Dialog;
}
