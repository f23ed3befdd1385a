#include "mcu/Opt87C76x.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/Port.h"
#include "engine/Services.h"
#include "mcu/Otp87C76x.h"

namespace {

struct OptionRow {
    QLabel* TOpt87c76x_::*label;
    QComboBox* TOpt87c76x_::*combo;
    int* variable;
    const char* caption;
    const char* name;
    QStringList items;
};

const std::vector<OptionRow>& Rows() {
    static const std::vector<OptionRow> rows = {
        {&TOpt87c76x_::LabelWatchDogTimer, &TOpt87c76x_::ComboBoxWatchDogTimer, &WatchDogTimerOption,
         "&Watch Dog Timer", "ComboBoxWatchDogTimer", {"Disable", "Enable"}},
        {&TOpt87c76x_::LabelResetPin, &TOpt87c76x_::ComboBoxResetPin, &ResetPinOption, "&Reset Pin",
         "ComboBoxResetPin", {"Enable", "Disable"}},
        {&TOpt87c76x_::LabelPortReset, &TOpt87c76x_::ComboBoxPortReset, &PortResetOption, "&Port Reset",
         "ComboBoxPortReset", {"Enable ports to low", "Enable ports to high"}},
        {&TOpt87c76x_::LabelBrownOut, &TOpt87c76x_::ComboBoxBrownOut, &BrownOutOption, "&Brown Out",
         "ComboBoxBrownOut", {"Enable brown out at 3.8V", "Enable brown out at 2.5V"}},
        {&TOpt87c76x_::LabelClockRateSelect, &TOpt87c76x_::ComboBoxClockRateSelect, &ClockRateSelectOption,
         "&Clock Rate Select", "ComboBoxClockRateSelect",
         {"Enable divide byt 2 of clock", "Enable divide byt 1 of clock"}},
        {&TOpt87c76x_::LabelOscillatorControl, &TOpt87c76x_::ComboBoxOscillatorControl, &OscillatorControlOption,
         "&Oscillator Control", "ComboBoxOscillatorControl",
         {"8MHz to 20MHz external Crystall/Resonator", "100KHz to 8MHz external Crystall/Resonator",
          "32KHz to 100KHz external Crystall/Resonator", "Internal RC clock; 6MHz +/- 25%",
          "External clock input at pin X1"}},
        {&TOpt87c76x_::LabelSecurityBits, &TOpt87c76x_::ComboBoxSecurityBits, &SecurityBitsOption, "&Security Bits",
         "ComboBoxSecurityBits",
         {"Programming and Verify disabled", "Programming disabled, Verify enabled", "Programming and Verify allowed"}},
    };
    return rows;
}

} // namespace

TOpt87c76x_::TOpt87c76x_(QWidget* owner) : QDialog(owner) {
    setObjectName("Opt87c76x_");
    setWindowTitle("Option");
    auto* layout = new QVBoxLayout(this);
    auto* panel = new QWidget(this);
    auto* grid = new QGridLayout(panel);
    int line = 0;
    for (const OptionRow& row : Rows()) {
        QLabel* label = new QLabel(row.caption, panel);
        QComboBox* combo = new QComboBox(panel);
        combo->setObjectName(row.name);
        combo->addItems(row.items);
        label->setBuddy(combo);
        combo->installEventFilter(this);
        this->*row.label = label;
        this->*row.combo = combo;
        grid->addWidget(label, line, 0);
        grid->addWidget(combo, line++, 1);
    }
    layout->addWidget(panel);
    ButtonProgramOptionBits = new QPushButton("&Program Option Bits", this);
    ButtonReadOptionBits = new QPushButton("&Read Option Bits", this);
    BitBtn1 = new QPushButton("&Close", this);
    for (QPushButton* b : {ButtonProgramOptionBits, ButtonReadOptionBits, BitBtn1}) layout->addWidget(b);
    connect(ButtonProgramOptionBits, &QPushButton::clicked, this, &TOpt87c76x_::ButtonProgramOptionBitsClick);
    connect(ButtonReadOptionBits, &QPushButton::clicked, this, &TOpt87c76x_::ButtonReadOptionBitsClick);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::reject);
    DecodeOptionBits189();
    LoadOptionControls189();
}

void TOpt87c76x_::LoadOptionControls189() {
    for (const OptionRow& row : Rows()) (this->*row.combo)->setCurrentIndex(*row.variable);
}

void TOpt87c76x_::ComboBoxExit() {
    for (const OptionRow& row : Rows()) *row.variable = (this->*row.combo)->currentIndex();
}

void TOpt87c76x_::FormClose() { EncodeOptionBits189(); }

void TOpt87c76x_::done(int result) {
    FormClose();
    QDialog::done(result);
}

bool TOpt87c76x_::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) ComboBoxExit();
    return QDialog::eventFilter(watched, event);
}

void TOpt87c76x_::ButtonProgramOptionBitsClick() {
    const int r = Program87C76xOptionBits();
    ShowMessageLine(r == 1 ? "Configration bit(s) program ok!" : "Configration bit(s) program error!");
    Beep(r);
}

void TOpt87c76x_::ButtonReadOptionBitsClick() {
    ReadOptionBits189();
    LoadOptionControls189();
    ShowMessageLine("Configration bit(s) read ok!");
    Beep(1);
}

int Run87C76xDialog() {
    TOpt87c76x_ dialog;
    dialog.move(GetMainFormLeft() + 320, GetMainFormTop() + 100);
    dialog.exec();
    return 1;
}
