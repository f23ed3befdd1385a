#include "memory/OptXC18V00.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "dialogs/FontFit.h"
#include "engine/Port.h"
#include "engine/Services.h"
#include "memory/JtagMemory.h"

TOptXC18V00_::TOptXC18V00_(QWidget* owner) : QDialog(owner) {
    setWindowTitle("Option");
    setFixedSize(300, 150);
    Label1 = new QLabel("&USERCODE", this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(8, 12, 140, 20);
    EditUsercode = new QLineEdit(this);
    EditUsercode->setObjectName("EditUsercode");
    EditUsercode->setGeometry(156, 10, 136, 22);
    EditUsercode->setMaxLength(4);
    Label1->setBuddy(EditUsercode);
    Label2 = new QLabel("&CONFIGURATION MODE", this);
    Label2->setObjectName("Label2");
    Label2->setGeometry(8, 44, 140, 20);
    ComboBoxMode = new QComboBox(this);
    ComboBoxMode->setObjectName("ComboBoxMode");
    ComboBoxMode->setGeometry(156, 42, 136, 22);
    ComboBoxMode->addItems({"SERIAL", "PARALLEL"});
    Label2->setBuddy(ComboBoxMode);
    ButtonProgram = new QPushButton("&Program USERCODE, Control Bits", this);
    ButtonProgram->setObjectName("ButtonProgram");
    ButtonProgram->setGeometry(8, 78, 284, 25);
    BitBtnClose = new QPushButton("&Close", this);
    BitBtnClose->setObjectName("BitBtnClose");
    BitBtnClose->setGeometry(166, 114, 126, 25);

    // A failed read shows nothing of an earlier part: empty fields and a line.
    QString text;
    if (ReadUsercode96() == 1) {
        // The USERCODE as text: its characters up to the first 00h.
        for (uint8_t c : Usercode96) {
            if (c == 0) break;
            text += QChar(c);
        }
        ComboBoxMode->setCurrentIndex(ConfigMode96 == 1 ? 1 : 0);
    } else {
        ShowMessageLine("Read USERCODE, Control Bits error!");
        ComboBoxMode->setCurrentIndex(-1);
    }
    EditUsercode->setText(text);

    connect(EditUsercode, &QLineEdit::editingFinished, this, [this] { EditUsercodeExit(); });
    connect(ComboBoxMode, &QComboBox::activated, this, [this] { ComboBoxModeExit(); });
    connect(ButtonProgram, &QPushButton::clicked, this, [this] { ButtonProgramClick(); });
    connect(BitBtnClose, &QPushButton::clicked, this, &QDialog::reject);
    FitToFont(this);
}

void TOptXC18V00_::EditUsercodeExit() {
    // Four bytes always: a shorter text leaves 00h in the rest.
    const QString text = EditUsercode->text();
    for (int i = 0; i < 4; ++i) Usercode96[i] = i < text.size() ? static_cast<uint8_t>(text[i].toLatin1()) : 0;
}

void TOptXC18V00_::ComboBoxModeExit() { ConfigMode96 = ComboBoxMode->currentIndex() == 1 ? 1 : 0; }

void TOptXC18V00_::ButtonProgramClick() {
    // The button takes the focus: both fields are left first.
    EditUsercodeExit();
    ComboBoxModeExit();
    Beep(ProgramUsercode96());
}

void TOptXC18V00_::done(int result) {
    EditUsercodeExit();
    ComboBoxModeExit();
    QDialog::done(result);
}

int ShowOptXC18V00Dialog() {
    auto* dialog = new TOptXC18V00_(QApplication::activeWindow());
    dialog->move(GetMainFormLeft() + 320, GetMainFormTop() + 100);
    dialog->exec();
    delete dialog;
    return 1;
}

void InstallOptXC18V00Dialog() { ShowOptXC18V00Hook = ShowOptXC18V00Dialog; }
