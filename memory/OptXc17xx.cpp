#include "memory/OptXc17xx.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>

#include "dialogs/FontFit.h"
#include "engine/Device.h"
#include "engine/Services.h"
#include "memory/ConfigProm.h"

TPolarityDialog::TPolarityDialog(QWidget* owner, const QString& caption, const QString& text) : QDialog(owner) {
    setWindowTitle(caption);
    setFixedSize(260, 170);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setGeometry(8, 8, 244, 110);
    Memo1->setReadOnly(true);
    Memo1->setPlainText(text);
    BitBtnOk = new QPushButton("OK", this);
    BitBtnOk->setObjectName("BitBtnOk");
    BitBtnOk->setGeometry(40, 130, 80, 25);
    BitBtnCancel = new QPushButton("Cancel", this);
    BitBtnCancel->setObjectName("BitBtnCancel");
    BitBtnCancel->setGeometry(140, 130, 80, 25);
    connect(BitBtnOk, &QPushButton::clicked, this, [this] {
        BitBtnOkClick();
        accept();
    });
    connect(BitBtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    FitToFont(this);
}

int ShowPolarityDialog(TPolarityDialog* dialog) {
    dialog->move(GetMainFormLeft() + 320, GetMainFormTop() + 100);
    dialog->exec();
    const int result = dialog->ProgramResult;
    delete dialog;
    return result;
}

TOptXc17xxx::TOptXc17xxx(QWidget* owner)
    : TPolarityDialog(owner, "Reset Polarity",
                      "The polarity of the Reset/OE \npin may be made active Low.\n\nPress Ok to make RESET to \nactive Low.") {}

void TOptXc17xxx::BitBtnOkClick() {
    ProgramResult = CurrentAlgorithm == 30 ? ProgramResetPolarity30() : ProgramResetPolarity34();
    ShowMessageLine(ProgramResult == 1 ? "Now Set RESET Polarity(Active Low)!" : "RESET Polarity Program Fail!");
}

int ShowOptXc17xxxDialog() { return ShowPolarityDialog(new TOptXc17xxx(QApplication::activeWindow())); }

void InstallOptXc17xxDialog() { ShowOptXc17xxxHook = ShowOptXc17xxxDialog; }
