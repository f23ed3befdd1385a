#include "memory/OptAt17Cxx.h"

#include <QApplication>

#include "engine/Services.h"
#include "memory/ConfigEeprom.h"

TOptAt17Cxxx::TOptAt17Cxxx(QWidget* owner)
    : TPolarityDialog(owner, "Toggle Polarity",
                      "The polarity of the Reset/OE \npin may be toggle.\n\nPress Ok to make RESET to \ntoggle polarity.") {
    if (ReadPolarity31() != -1)
        ShowMessageLine(ResetPolarity31 == 0 ? "RESET Polarity is Active Low!" : "RESET Polarity is Active High!");
}

// The new polarity stays only when the chip took it.
void TOptAt17Cxxx::BitBtnOkClick() {
    const uint32_t old = ResetPolarity31;
    ResetPolarity31 = ~old & 1;
    ProgramResult = WritePolarity31();
    if (ProgramResult == 1) {
        ShowMessageLine(ResetPolarity31 == 0 ? "Now RESET Polarity Active Low!" : "Now RESET Polarity Active High!");
        return;
    }
    ResetPolarity31 = old;
    ShowMessageLine("RESET Polarity Program Fail!");
}

int ShowOptAt17CxxxDialog() { return ShowPolarityDialog(new TOptAt17Cxxx(QApplication::activeWindow())); }

void InstallOptAt17CxxDialog() { ShowOptAt17CxxxHook = ShowOptAt17CxxxDialog; }
