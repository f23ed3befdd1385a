#include "memory/OptNand.h"

#include <QApplication>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "dialogs/FontFit.h"
#include "dialogs/RadioGroup.h"
#include "engine/Device.h"
#include "engine/Services.h"
#include "memory/Nand.h"

TOptNand_::TOptNand_(QWidget* owner) : QDialog(owner) {
    setWindowTitle("Option");
    setFixedSize(300, 170);
    ButtonDisp = new QPushButton("&Display bed block list", this);
    ButtonDisp->setObjectName("ButtonDisp");
    ButtonDisp->setGeometry(8, 8, 284, 25);
    RadioGroupReadMode = new TRadioGroup("&Read mode", {"Logical address", "Physical address"}, this);
    RadioGroupReadMode->setObjectName("RadioGroupReadMode");
    RadioGroupReadMode->setGeometry(8, 40, 150, 80);
    Label1 = new QLabel("&Program Block Size:", this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(166, 44, 126, 20);
    EditPgmBlock = new QLineEdit(this);
    EditPgmBlock->setObjectName("EditPgmBlock");
    EditPgmBlock->setGeometry(166, 68, 126, 22);
    EditPgmBlock->setValidator(new QIntValidator(0, 65535, EditPgmBlock));
    Label1->setBuddy(EditPgmBlock);
    BitBtnClose = new QPushButton("&Close", this);
    BitBtnClose->setObjectName("BitBtnClose");
    BitBtnClose->setGeometry(166, 132, 126, 25);

    const bool row83 = CurrentAlgorithm == 83;
    EditPgmBlock->setText(QString::number(ProgramBlockSize));
    RadioGroupReadMode->SetItemIndex(static_cast<int>(row83 ? NandReadMode83 : NandReadMode86));
    Label1->setVisible(row83);
    EditPgmBlock->setVisible(row83);

    connect(ButtonDisp, &QPushButton::clicked, this, [this] { ButtonDispClick(); });
    connect(RadioGroupReadMode->Buttons, &QButtonGroup::idClicked, this,
            [this] { RadioGroupReadModeExit(); });
    connect(EditPgmBlock, &QLineEdit::textChanged, this, [this] { EditPgmBlockChange(); });
    connect(BitBtnClose, &QPushButton::clicked, this, &QDialog::reject);
    FitToFont(this);
}

void TOptNand_::ButtonDispClick() {
    if (CurrentAlgorithm == 83)
        ShowBadBlocks83();
    else if (CurrentAlgorithm == 86)
        ShowBadSectors86();
}

void TOptNand_::RadioGroupReadModeExit() {
    const int index = RadioGroupReadMode->ItemIndex();
    if (index < 0) return;
    (CurrentAlgorithm == 83 ? NandReadMode83 : NandReadMode86) = static_cast<uint32_t>(index);
}

void TOptNand_::EditPgmBlockChange() {
    // The validator lets only digits through; an empty text is 0.
    ProgramBlockSize = EditPgmBlock->text().isEmpty() ? 0 : EditPgmBlock->text().toUInt();
}

// Leaving the dialog leaves the radio group too.
void TOptNand_::done(int result) {
    RadioGroupReadModeExit();
    QDialog::done(result);
}

int ShowOptNandDialog() {
    auto* dialog = new TOptNand_(QApplication::activeWindow());
    dialog->move(GetMainFormLeft() + 320, GetMainFormTop() + 100);
    dialog->exec();
    delete dialog;
    return 1;
}

void InstallOptNandDialog() {
    ShowOptNandDialogHook = ShowOptNandDialog;
}
