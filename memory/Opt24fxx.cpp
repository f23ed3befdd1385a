#include "memory/Opt24fxx.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "memory/Opt24xxx.h"
#include "memory/SerialEeprom.h"

TOpt24Fxx_::TOpt24Fxx_(QWidget* owner)
    : TOpt24Dialog(owner, {"None", "Upper 1/4", "Upper 1/2", "Protect All"}, "PPEN :", Opt24fxxBlockProtect,
                   Opt24fxxPpen) {
    LabelPpen->setObjectName("LabelPpen");
    ComboBoxPpen->setObjectName("ComboBoxPpen");
    Button1->setObjectName("Button1");
    Button2->setObjectName("Button2");
}

int TOpt24Fxx_::ReadRegister() { return ReadProtectRegister14(); }

int TOpt24Fxx_::ProgramRegister() { return WriteProtectRegister14(); }

int ShowOpt24fxxDialog() {
    TOpt24Fxx_ dialog(QApplication::activeWindow());
    return ShowOpt24Dialog(dialog);
}

void InstallOpt24Dialogs() {
    ShowOpt24fxxDialogHook = ShowOpt24fxxDialog;
    ShowOpt24xxxDialogHook = ShowOpt24xxxDialog;
}
