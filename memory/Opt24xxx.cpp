#include "memory/Opt24xxx.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "engine/OperationState.h"
#include "memory/SerialEeprom.h"

TOpt24xxx_::TOpt24xxx_(QWidget* owner)
    : TOpt24Dialog(owner, {"None", "Protect 1/4", "Protect 1/2", "Protect All"}, "WPEN :", Opt24xxxBlockProtect,
                   Opt24xxxWpen) {
    LabelWpen->setObjectName("LabelWpen");
    ComboBoxWpen->setObjectName("ComboBoxWpen");
    ReadButton->setObjectName("ButtonRead");
    ProgramButton->setObjectName("ButtonProgram");
}

int TOpt24xxx_::ReadRegister() {
    if (ReadWriteProtectRegister16() != 1) return -1;
    Opt24xxxBlockProtect = static_cast<int>((ReadValue >> 3) & 3);
    Opt24xxxWpen = static_cast<int>((ReadValue >> 7) & 1);
    return 1;
}

int TOpt24xxx_::ProgramRegister() {
    ExpectedValue = static_cast<uint32_t>(Opt24xxxBlockProtect * 8 | Opt24xxxWpen * 0x80);
    return ProgramWriteProtectRegister16();
}

int ShowOpt24xxxDialog() {
    TOpt24xxx_ dialog(QApplication::activeWindow());
    return ShowOpt24Dialog(dialog);
}
