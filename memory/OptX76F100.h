// The password dialog of row 45: the read and the write password the program
// sends, and a change button for each.
#pragma once
#include "memory/OptX76Dialog.h"

class TOptX76F100_ : public TOptX76Dialog {
    Q_OBJECT
public:
    explicit TOptX76F100_(QWidget* owner = nullptr);

    QLineEdit* MaskEditReadPassword;
    QLineEdit* MaskEditWritePassword;
    QPushButton* ButtonChangeRead;
    QPushButton* ButtonChangeWrite;
};

int ShowOptX76F100Dialog();
// Installs the Options dialogs of rows 45 and 47.
void InstallOptX76Dialogs();
