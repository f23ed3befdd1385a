#include "memory/Opt25xx.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "dialogs/FontFit.h"
#include "dialogs/RadioGroup.h"
#include "engine/Device.h"
#include "engine/Services.h"
#include "memory/SerialSpiEeprom.h"

TOpt25Dialog::TOpt25Dialog(QWidget* owner, const Setup& setup) : QDialog(owner), setup_(setup) {
    setWindowTitle(setup.caption);
    const int top = setup.watchdog ? 150 : 0;
    setFixedSize(300, 160 + top);
    for (size_t i = 0; i < setup.groups.size(); ++i) {
        auto* g = new TRadioGroup("Block Protect", setup.groups[i], this);
        g->setObjectName(QString("RadioGroup%1").arg(i + 1));
        g->setGeometry(8, 8, 150, 150);
        g->setVisible(i == setup.shown);
        connect(g->Buttons, &QButtonGroup::idClicked, this, [this] { RadioGroup1Click(); });
        Groups.push_back(g);
    }
    if (setup.watchdog) {
        Watchdog = new TRadioGroup("Watchdog Timer", {"1.4 Seconds", "600 Milliseconds", "200 Milliseconds", "Disabled"},
                                   this);
        Watchdog->setObjectName(QString("RadioGroup%1").arg(setup.groups.size() + 1));
        Watchdog->setGeometry(8, 162, 150, 140);
        connect(Watchdog->Buttons, &QButtonGroup::idClicked, this, [this] { RadioGroup1Click(); });
    }
    LabelWpen = new QLabel("WPEN :", this);
    LabelWpen->setObjectName("LabelWpen");
    LabelWpen->setGeometry(166, 12, 50, 20);
    ComboBoxWpen = new QComboBox(this);
    ComboBoxWpen->setObjectName("ComboBoxWpen");
    ComboBoxWpen->addItems({"Low", "Hi"});
    ComboBoxWpen->setGeometry(216, 10, 76, 22);
    LabelWpen->setEnabled(setup.wpenEnabled);
    ComboBoxWpen->setEnabled(setup.wpenEnabled);
    Button1 = new QPushButton("Read Status Register", this);
    Button1->setObjectName("Button1");
    Button1->setGeometry(166, 44, 126, 25);
    Button2 = new QPushButton("Program Status Register", this);
    Button2->setObjectName("Button2");
    Button2->setGeometry(166, 76, 126, 25);
    BitBtn1 = new QPushButton("&Close", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(166, 120, 126, 25);
    // Values that the shown controls cannot hold start as the first item,
    // so the display and the next write agree.
    if (setup.blockProtect < 0 || setup.blockProtect >= Groups[setup.shown]->Count()) setup_.blockProtect = 0;
    if (setup.watchdog && (*setup.watchdog < 0 || *setup.watchdog > 3)) *setup_.watchdog = 0;
    if (setup.wpen < 0 || setup.wpen > 1) setup_.wpen = 0;
    LoadControls();
    // Every change is stored at once, the combo box's too.
    connect(ComboBoxWpen, &QComboBox::currentIndexChanged, this, [this] { RadioGroup1Click(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::reject);
    FitToFont(this);
}

void TOpt25Dialog::LoadControls() {
    for (TRadioGroup* g : Groups) g->SetItemIndex(setup_.blockProtect);
    if (Watchdog) Watchdog->SetItemIndex(*setup_.watchdog);
    ComboBoxWpen->blockSignals(true);
    ComboBoxWpen->setCurrentIndex(setup_.wpen);
    ComboBoxWpen->blockSignals(false);
}

void TOpt25Dialog::RadioGroup1Click() {
    setup_.blockProtect = Groups[setup_.shown]->ItemIndex();
    if (Watchdog) *setup_.watchdog = Watchdog->ItemIndex();
    setup_.wpen = ComboBoxWpen->currentIndex();
}

void TOpt25Dialog::Button1Click() {
    if (setup_.readStatus() != 1) {
        ShowMessageLine("Read error!");
        return;
    }
    LoadControls();
    ShowMessageLine("Read ok!");
}

void TOpt25Dialog::Button2Click() {
    ProgramResult = setup_.writeStatus();
    ShowMessageLine(ProgramResult == 1 ? "Program ok!" : "Program error!");
}

namespace {
size_t Shown13() {
    if (DeviceSubVariant == kOpt25xxThreeBitSubVariant) return 1;
    return DeviceSubVariant == 3 ? 2 : 0;
}

template <class Dialog> int ShowModal() {
    Dialog dialog(QApplication::activeWindow());
    dialog.move(GetMainFormLeft() + 320, GetMainFormTop() + 100);
    dialog.exec();
    return dialog.ProgramResult;
}
} // namespace

TOpt25xxx::TOpt25xxx(QWidget* owner)
    : TOpt25Dialog(owner, {"Block Protect",
                           {{"None", "Protect 1/4", "Protect 1/2", "Protect All"},
                            {"None", "Protect Q1", "Protect Q2", "Protect Q3", "Protect Q4", "Protect H1", "Protect S0",
                             "Protect SN"},
                            {"None", "Protect 3000H-3FFFH", "Protect 2000H-3FFFH", "Protect 0000H-3FFFH"}},
                           Shown13(), Opt25xxHasWpen(DeviceSubVariant), Opt25xxBlockProtect, nullptr, Opt25xxWpen,
                           ReadStatusRegister13, WriteStatusRegister13}),
      RadioGroup1(Groups[0]), RadioGroup2(Groups[1]), RadioGroup3(Groups[2]) {}

TOpt25xxx1_::TOpt25xxx1_(QWidget* owner)
    : TOpt25Dialog(owner, {"Opt25xxx1_",
                           {{"None", "Protect 0180h-01FFh", "Protect 0100h-01FFh", "Protect 0000h-01FFh"},
                            {"None", "Protect 0600h-07FFh", "Protect 0400h-07FFh", "Protect 0000h-07FFh"},
                            {"None", "Protect 0C00h-0FFFh", "Protect 0800h-0FFFh", "Protect 0000h-0FFFh"},
                            {"None", "Protect 1800h-1FFFh", "Protect 1000h-1FFFh", "Protect 0000h-1FFFh"}},
                           DeviceSubVariant < 4 ? size_t{DeviceSubVariant} : 0, DeviceSubVariant != 0, Opt25xxx1BlockProtect,
                           &Opt25xxx1Watchdog, Opt25xxx1Wpen, ReadStatusRegister57, WriteStatusRegister57}),
      RadioGroup1(Groups[0]), RadioGroup2(Groups[1]), RadioGroup3(Groups[2]), RadioGroup4(Groups[3]),
      RadioGroup5(Watchdog) {}

int ShowOpt25xxxDialog() { return ShowModal<TOpt25xxx>(); }
int ShowOpt25xxx1Dialog() { return ShowModal<TOpt25xxx1_>(); }

void InstallOpt25Dialogs() {
    ShowOpt25xxxDialogHook = ShowOpt25xxxDialog;
    ShowOpt25xxx1DialogHook = ShowOpt25xxx1Dialog;
}
