// The polarity dialog of the one-time serial configuration PROMs (rows 30
// and 34): five read-only lines, OK and Cancel; OK programs RESET/OE active
// low and logs the outcome. Its frame serves the row-31 dialog too.
#pragma once
#include <QDialog>

class QPlainTextEdit;
class QPushButton;

// A read-only memo of five lines, OK and Cancel; OK runs BitBtnOkClick.
class TPolarityDialog : public QDialog {
    Q_OBJECT
public:
    TPolarityDialog(QWidget* owner, const QString& caption, const QString& text);

    QPlainTextEdit* Memo1;
    QPushButton* BitBtnOk;
    QPushButton* BitBtnCancel;
    // The result of the OK click (0 before it).
    int ProgramResult = 0;

    virtual void BitBtnOkClick() = 0;
};

// Shows the dialog modally at the main form's Left + 320, Top + 100 and
// deletes it; the result of its OK click (0 when cancelled).
int ShowPolarityDialog(TPolarityDialog* dialog);

class TOptXc17xxx : public TPolarityDialog {
    Q_OBJECT
public:
    explicit TOptXc17xxx(QWidget* owner = nullptr);
    void BitBtnOkClick() override;
};

int ShowOptXc17xxxDialog();
void InstallOptXc17xxDialog();
