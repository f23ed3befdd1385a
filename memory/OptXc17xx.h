// The polarity dialog of the one-time serial configuration PROMs (rows 30
// and 34): five read-only lines, OK and Cancel; OK programs RESET/OE active
// low and logs the outcome.
#pragma once
#include <QDialog>

class QPlainTextEdit;
class QPushButton;

class TOptXc17xxx : public QDialog {
    Q_OBJECT
public:
    explicit TOptXc17xxx(QWidget* owner = nullptr);

    QPlainTextEdit* Memo1;
    QPushButton* BitBtnOk;
    QPushButton* BitBtnCancel;
    // The result of the OK click (0 before it).
    int ProgramResult = 0;

    void BitBtnOkClick();
};

// Shows the dialog modally at the main form's Left + 320, Top + 100; the
// result of its OK click (0 when cancelled).
int ShowOptXc17xxxDialog();
void InstallOptXc17xxDialog();
