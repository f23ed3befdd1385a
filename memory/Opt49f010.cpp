#include "memory/Opt49f010.h"

#include <QGroupBox>
#include <QPushButton>

#include "dialogs/FontFit.h"
#include "dialogs/RadioGroup.h"
#include "engine/Device.h"
#include "engine/Port.h"
#include "engine/Services.h"
#include "memory/JedecFlash.h"
#include "memory/LockoutFlash.h"

namespace {

constexpr const char* kLockoutQuestion = "This Boot Block Lockout feature\nis One-time Programmable.\nAre you sure?";
constexpr const char* kBlockQuestion = "This Block Lockout feature\nis One-time Programmable.\nAre you sure?";

// The lockout state of the chip, logged by the row's reader.
int ReadLockout() { return CurrentAlgorithm == 40 ? ReadBootBlockLockout40() : ReadBootBlockLockout41(); }

} // namespace

TOpt49fxx::TOpt49fxx(QWidget* owner) : QDialog(owner) {
    setWindowTitle("Block Protection");
    setFixedSize(260, 170);
    auto box = [this](const char* name) {
        auto* g = new QGroupBox("Protection", this);
        g->setObjectName(name);
        g->setGeometry(8, 8, 244, 120);
        return g;
    };
    auto button = [](QGroupBox* parent, const char* name, const char* text, int y) {
        auto* b = new QPushButton(text, parent);
        b->setObjectName(name);
        b->setGeometry(12, y, 220, 25);
        return b;
    };
    GroupBox1 = box("GroupBox1");
    ButtonActivate = button(GroupBox1, "ButtonActivate", "&Activate Boot Block Lockout", 20);
    RadioGroupProtectOverride = new TRadioGroup("&Protect Override", {"Disable", "Enable"}, GroupBox1);
    RadioGroupProtectOverride->setObjectName("RadioGroupProtectOverride");
    RadioGroupProtectOverride->setGeometry(12, 50, 220, 64);
    GroupBox2 = box("GroupBox2");
    ButtonActvateBottom = button(GroupBox2, "ButtonActvateBottom", "Activate &Bottom Block", 24);
    ButtonActivateTop = button(GroupBox2, "ButtonActivateTop", " Activate &Top Block", 64);
    GroupBox3 = box("GroupBox3");
    ButtonEnableBootBlockLockout = button(GroupBox3, "ButtonEnableBootBlockLockout", "&Enable Boot Block Lockout", 24);
    ButtonDisableBootBlockLockout = button(GroupBox3, "ButtonDisableBootBlockLockout", "&Disable Boot Block Lockout", 64);
    BitBtn1 = new QPushButton("&Close", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(90, 136, 80, 25);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(ButtonActivate, &QPushButton::clicked, this, [this] { ButtonActivateClick(); });
    connect(ButtonActvateBottom, &QPushButton::clicked, this, [this] { ButtonActvateBottomClick(); });
    connect(ButtonActivateTop, &QPushButton::clicked, this, [this] { ButtonActivateTopClick(); });
    connect(ButtonEnableBootBlockLockout, &QPushButton::clicked, this, [this] { ButtonEnableBootBlockLockoutClick(); });
    connect(ButtonDisableBootBlockLockout, &QPushButton::clicked, this, [this] { ButtonDisableBootBlockLockoutClick(); });
    connect(RadioGroupProtectOverride->Buttons, &QButtonGroup::idClicked, this,
            [](int index) { ProtectOverride = static_cast<uint32_t>(index); });
    FormCreate();
    FitToFont(this);
}

void TOpt49fxx::FormCreate() {
    const bool sst = CurrentAlgorithm == 40 && CurrentMakerName == "SST";
    const bool pmc = CurrentMakerName == "PMC";
    if (sst) ReadBlockProtection40();
    else ReadLockout();
    GroupBox1->setVisible(!sst && !pmc);
    GroupBox2->setVisible(sst);
    GroupBox3->setVisible(pmc && !sst);
    RadioGroupProtectOverride->setVisible(DeviceSubVariant != 0);
    if (DeviceSubVariant != 0) RadioGroupProtectOverride->SetItemIndex(static_cast<int>(ProtectOverride));
}

void TOpt49fxx::ButtonActivateClick() {
    if (ConfirmWarning(kLockoutQuestion) != 1) return;
    if (CurrentAlgorithm == 40) SetBootBlockLockout40(0);
    else ActivateBootBlockLockout41();
    Beep(ReadLockout() == 1 ? 1 : 0);
}

void TOpt49fxx::ButtonActvateBottomClick() {
    if (ConfirmWarning(kBlockQuestion) != 1) return;
    ActivateTopBottomBlock40(0);
    Beep((ReadBlockProtection40() & 1) != 0 ? 1 : 0);
}

void TOpt49fxx::ButtonActivateTopClick() {
    if (ConfirmWarning(kBlockQuestion) != 1) return;
    ActivateTopBottomBlock40(1);
    Beep((ReadBlockProtection40() & 2) != 0 ? 1 : 0);
}

void TOpt49fxx::ButtonEnableBootBlockLockoutClick() {
    SetBootBlockLockout40(0);
    Beep(ReadBootBlockLockout40() == 1 ? 1 : 0);
}

void TOpt49fxx::ButtonDisableBootBlockLockoutClick() {
    SetBootBlockLockout40(1);
    Beep(ReadBootBlockLockout40() == 0 ? 1 : 0);
}

namespace {

void ShowOpt49fxx() {
    TOpt49fxx dialog(nullptr);
    dialog.move(GetMainFormLeft() + 320, GetMainFormTop() + 100);
    dialog.exec();
}

} // namespace

void InstallOpt49fxxDialog() { ShowBlockProtectionHook = ShowOpt49fxx; }
