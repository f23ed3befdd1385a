#include "shell/CfgOpt.h"

#include <QCheckBox>
#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cstdio>
#include <string>

#include "dialogs/DialogKit.h"
#include "dialogs/RadioGroup.h"
#include "engine/Buffer.h"
#include "engine/Config.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Services.h"
#include "shell/InfoPanel.h"

TCfgOpt* CfgOpt = nullptr;

namespace {

// PortBase of each port choice: "Auto" starts its probe at 378h.
constexpr uint16_t kPortBases[4] = {0x378, 0x378, 0x3BC, 0x278};

QString Hex(uint32_t value) {
    return QString::number(value, 16);
}

uint32_t ReadHex(const QLineEdit* edit) {
    std::string text = edit->text().toStdString();
    return static_cast<uint32_t>(HexTextToInt(text.data()));
}

uint32_t Checked(const QCheckBox* box) {
    return box->isChecked() ? 1 : 0;
}

QLineEdit* HexEdit(QWidget* parent, int maxLength) {
    auto* edit = new QLineEdit(parent);
    edit->setMaxLength(maxLength);
    // Hexadecimal digits only, typed or pasted.
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9a-fA-F]*"), edit));
    return edit;
}

// The check boxes and their settings (1 checked, 0 not).
struct CheckSetting {
    QCheckBox* TCfgOpt::*box;
    uint32_t* setting;
};
const CheckSetting kCheckSettings[] = {
    {&TCfgOpt::CheckBox1, &BufferClearBeforeLoad}, {&TCfgOpt::CheckBox2, &BlankCheckBeforeProgram},
    {&TCfgOpt::CheckBox3, &VerifyAfterRead},       {&TCfgOpt::CheckBox4, &VerifyAfterProgram},
    {&TCfgOpt::CheckBox5, &ByteSwap},              {&TCfgOpt::CheckBox6, &DeviceInsertTest},
    {&TCfgOpt::CheckBox7, &AutoRepeatEnabled},
};

// The address edits the user may change and their settings, in hexadecimal
// (the buffer end is computed, and only shown).
struct AddressSetting {
    QLineEdit* TCfgOpt::*edit;
    uint32_t* setting;
};
const AddressSetting kAddressSettings[] = {
    {&TCfgOpt::EditChipStart, &DeviceStart},
    {&TCfgOpt::EditChipEnd, &DeviceEnd},
    {&TCfgOpt::EditBufferStart, &BufferStart},
    {&TCfgOpt::EditLoadFileOffset, &LoadFileOffset},
    {&TCfgOpt::EditLoadBufferStart, &LoadBufferStart},
    {&TCfgOpt::EditSaveBufferStart, &SaveBufferStart},
    {&TCfgOpt::EditSaveBufferEnd, &SaveBufferEnd},
};

// Sets a value when it differs; true when it did.
bool Correct(uint32_t& setting, uint32_t value) {
    if (setting == value) return false;
    setting = value;
    return true;
}

} // namespace

TCfgOpt::TCfgOpt(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Config Option");
    setModal(false);
    PageControl1 = new QTabWidget(this);

    // "Option"
    auto* option = new QWidget;
    auto* optionLayout = new QVBoxLayout(option);
    CheckBox1 = new QCheckBox("Buffer clear before file loading", option);
    CheckBox2 = new QCheckBox("Blank check before programming", option);
    CheckBox3 = new QCheckBox("Verify after reading", option);
    CheckBox4 = new QCheckBox("Verify after programming", option);
    CheckBox5 = new QCheckBox("Byte order swapping", option);
    CheckBox6 = new QCheckBox("Device insert test", option);
    CheckBox7 = new QCheckBox("Auto repeat programming", option);
    CheckBox6->setVisible(false);
    CheckBox7->setVisible(false);
    CheckBox7->setEnabled(false);
    for (QCheckBox* box : {CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5, CheckBox6, CheckBox7}) {
        optionLayout->addWidget(box);
        connect(box, &QCheckBox::clicked, this, &TCfgOpt::CheckAndClick);
    }
    auto* fillRow = new QHBoxLayout;
    EditFill = HexEdit(option, 2);
    auto* fillLabel = new QLabel("Default buffer value", option);
    fillLabel->setBuddy(EditFill);
    fillRow->addWidget(fillLabel);
    fillRow->addWidget(EditFill);
    fillRow->addStretch(1);
    optionLayout->addLayout(fillRow);
    optionLayout->addStretch(1);
    connect(EditFill, &QLineEdit::textEdited, this, &TCfgOpt::CheckAndClick);
    PageControl1->addTab(option, "Option");

    // "Port"
    auto* port = new QWidget;
    auto* portLayout = new QVBoxLayout(port);
    RadioGroupPort =
        new TRadioGroup("&Port Address", {"Auto", "LPT1(378h)", "LPT2(3BCh)", "LPT3(278h)"}, port);
    auto* speed = new QGroupBox("Port &Speed", port);
    auto* speedLayout = new QHBoxLayout(speed);
    TrackBar1 = new QSlider(Qt::Horizontal, speed);
    TrackBar1->setRange(0, 10);
    TrackBar1->setPageStep(1);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    speedLayout->addWidget(new QLabel("Fast", speed));
    speedLayout->addWidget(TrackBar1, 1);
    speedLayout->addWidget(new QLabel("Slow", speed));
    portLayout->addWidget(RadioGroupPort);
    portLayout->addWidget(speed);
    portLayout->addStretch(1);
    connect(RadioGroupPort->Buttons, &QButtonGroup::idClicked, this, &TCfgOpt::CheckAndClick);
    connect(TrackBar1, &QSlider::valueChanged, this, &TCfgOpt::CheckAndClick);
    PageControl1->addTab(port, "Port");

    // "Gang,Split"
    auto* gang = new QWidget;
    auto* gangLayout = new QHBoxLayout(gang);
    RadioGroupGang = new TRadioGroup(
        "Gang", {"1 Gang", "2 Gang", "3 Gang", "4 Gang", "5 Gang", "6 Gang", "7 Gang", "8 Gang"}, gang, 2);
    RadioGroupSplit =
        new TRadioGroup("&Split", {"Byte", "Even", "Odd", "Word0", "Word1", "Word2", "Word3"}, gang);
    gangLayout->addWidget(RadioGroupGang);
    gangLayout->addWidget(RadioGroupSplit);
    connect(RadioGroupGang->Buttons, &QButtonGroup::idClicked, this, &TCfgOpt::CheckAndClick);
    // A new split mode moves the buffer end as a new range does.
    connect(RadioGroupSplit->Buttons, &QButtonGroup::idClicked, this, &TCfgOpt::CheckValue);
    PageControl1->addTab(gang, "Gang,Split");

    // "Address"
    auto* address = new QWidget;
    auto* addressLayout = new QGridLayout(address);
    auto group = [address](const char* caption, const char* first, QLineEdit* a, const char* second,
                           QLineEdit* b) {
        auto* box = new QGroupBox(caption, address);
        auto* form = new QFormLayout(box);
        form->addRow(first, a);
        form->addRow(second, b);
        return box;
    };
    EditChipStart = HexEdit(address, 7);
    EditChipEnd = HexEdit(address, 7);
    EditBufferStart = HexEdit(address, 7);
    EditBufferEnd = HexEdit(address, 7);
    EditBufferEnd->setReadOnly(true);
    EditLoadFileOffset = HexEdit(address, 7);
    EditLoadBufferStart = HexEdit(address, 7);
    EditSaveBufferStart = HexEdit(address, 7);
    EditSaveBufferEnd = HexEdit(address, 7);
    addressLayout->addWidget(group("Device Address", "Chip Start", EditChipStart, "Chip End", EditChipEnd), 0,
                             0);
    addressLayout->addWidget(group("Buffer", "Buffer Start", EditBufferStart, "Buffer End", EditBufferEnd), 0,
                             1);
    addressLayout->addWidget(
        group("File Load", "File Offset", EditLoadFileOffset, "Buffer Start", EditLoadBufferStart), 1, 0);
    addressLayout->addWidget(
        group("File Save", "Buffer Start", EditSaveBufferStart, "Buffer End", EditSaveBufferEnd), 1, 1);
    for (const AddressSetting& a : kAddressSettings) (this->*a.edit)->installEventFilter(this);
    PageControl1->addTab(address, "Address");

    BitBtnHelp = new QPushButton("&Help", this);
    BitBtnHelp->setEnabled(false);
    bitbtnClose = new QPushButton("&Close", this);
    connect(bitbtnClose, &QPushButton::clicked, this, &TCfgOpt::bitbtnCloseClick);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(bitbtnClose);
    buttons->addWidget(BitBtnHelp);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(buttons);
}

bool TCfgOpt::IsAddressEdit(QObject* object) const {
    for (const AddressSetting& a : kAddressSettings) {
        if (object == this->*a.edit) return true;
    }
    return false;
}

void TCfgOpt::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormActivate();
}

bool TCfgOpt::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) FormActivate();
    return QDialog::event(event);
}

bool TCfgOpt::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && IsAddressEdit(watched)) CheckValue();
    return QDialog::eventFilter(watched, event);
}

void TCfgOpt::done(int result) {
    QWidget* focused = focusWidget();
    if (focused && focused->hasFocus()) {
        if (IsAddressEdit(focused)) {
            CheckValue();
        } else if (focused == EditFill) {
            CheckAndClick();
        }
    }
    QDialog::done(result);
}

bool TCfgOpt::RefuseWhileBusy() {
    if (!OperationBusy.load()) return false;
    FillConfigControls(this);
    Beep(-1);
    return true;
}

void TCfgOpt::FormActivate() {
    Loading = 1;
    FillConfigControls(this);
    Loading = 0;
}

void TCfgOpt::CheckAndClick() {
    if (Loading == 1 || RefuseWhileBusy()) return;
    StoreConfigControls(this);
}

void TCfgOpt::CheckValue() {
    if (Loading == 1 || RefuseWhileBusy()) return;
    const uint32_t before[] = {DeviceStart, DeviceEnd, BufferStart, WordMode};
    StoreConfigControls(this);
    bool changed = false;
    if (DeviceStart >= DeviceSize) changed |= Correct(DeviceStart, 0);
    // A device without a size keeps its end at 0 rather than wrapping.
    if (DeviceEnd >= DeviceSize) changed |= Correct(DeviceEnd, DeviceSize == 0 ? 0 : DeviceSize - 1);
    if (DeviceStart > DeviceEnd) changed |= Correct(DeviceStart, 0);
    if (static_cast<int32_t>(SaveBufferStart) > static_cast<int32_t>(SaveBufferEnd))
        changed |= Correct(SaveBufferStart, 0);
    if (changed) {
        FillConfigControls(this);
        UpdateInfoPanel();
        return;
    }
    // A range whose buffer bytes would run past the buffer's last byte is
    // not taken: the box says why, and the range is what it was.
    if (DeviceSection != SectionPld && RunBufferEnd() >= BufferCapacityBytes()) {
        const std::string text = BufferEndPastText(RunBufferEnd());
        DeviceStart = before[0];
        DeviceEnd = before[1];
        BufferStart = before[2];
        WordMode = before[3];
        Loading = 1; // the box takes the focus: leaving an edit stores nothing
        FillConfigControls(this);
        ShowErrorBox(this, QString::fromStdString(text));
        Loading = 0;
        UpdateInfoPanel();
        EditBufferStart->selectAll();
        EditBufferStart->setFocus();
        return;
    }
    BufferEnd = ComputeSplitBufferEnd();
    EditBufferEnd->setText(Hex(BufferEnd));
}

void TCfgOpt::bitbtnCloseClick() {
    close();
}

uint32_t ComputeSplitBufferEnd() {
    const uint32_t n = DeviceEnd - DeviceStart;
    uint32_t end = BufferStart + n;
    if (WordMode == 1 || WordMode == 2) {
        end = BufferStart + 2 * n + 1;
    } else if (WordMode >= 3 && WordMode <= 6) {
        end = BufferStart + 4 * n + 3;
    }
    if (DataWidth > 8) end = 2 * end + 1;
    return end;
}

void FillConfigControls(TCfgOpt* form) {
    // Setting a control must not store the half-filled form.
    const int loading = form->Loading;
    form->Loading = 1;
    for (const CheckSetting& c : kCheckSettings) (form->*c.box)->setChecked(*c.setting == 1);
    form->EditFill->setText(QString::asprintf("%02x", FillByte & 0xFF));
    form->RadioGroupPort->SetItemIndex(static_cast<int>(PortIndex));
    form->TrackBar1->setValue(static_cast<int>(PortDelayCount / 10));
    form->RadioGroupGang->SetItemIndex(static_cast<int>(LastSocketIndex));
    form->RadioGroupSplit->SetItemIndex(static_cast<int>(WordMode));
    for (const AddressSetting& a : kAddressSettings) (form->*a.edit)->setText(Hex(*a.setting));
    form->EditBufferEnd->setText(Hex(BufferEnd));
    form->Loading = loading;
}

void StoreConfigControls(TCfgOpt* form) {
    if (form->Loading == 1) return;
    for (const CheckSetting& c : kCheckSettings) *c.setting = Checked(form->*c.box);
    FillByte = ReadHex(form->EditFill) & 0xFF;
    // A group without a checked item keeps its setting.
    if (const int port = form->RadioGroupPort->ItemIndex(); port >= 0 && port <= 3) {
        const bool changed = PortIndex != static_cast<uint32_t>(port);
        PortIndex = static_cast<uint32_t>(port);
        PortBase = kPortBases[port];
        // Another port: the backend moves to it.
        if (changed) OpenConfiguredPort();
    }
    PortDelayCount = static_cast<uint32_t>(form->TrackBar1->value()) * 10;
    if (const int gang = form->RadioGroupGang->ItemIndex(); gang >= 0)
        LastSocketIndex = static_cast<uint32_t>(gang);
    if (const int split = form->RadioGroupSplit->ItemIndex(); split >= 0)
        WordMode = static_cast<uint32_t>(split);
    for (const AddressSetting& a : kAddressSettings) *a.setting = ReadHex(form->*a.edit);
    UpdateInfoPanel();
}

TCfgOpt* CreateConfigOptionsForm(QWidget* owner) {
    if (!CfgOpt) {
        // Owned by the main window: no taskbar entry of its own, kept above it.
        CfgOpt = new TCfgOpt(owner);
        QObject::connect(CfgOpt, &QObject::destroyed, [] { CfgOpt = nullptr; });
    }
    return CfgOpt;
}

int ShowConfigOptions(QWidget* parent) {
    if (OperationBusy.load()) return -1;
    CreateConfigOptionsForm(parent);
    if (parent && !CfgOpt->isVisible()) CfgOpt->move(parent->geometry().topLeft() + QPoint(320, 100));
    CfgOpt->show();
    CfgOpt->raise();
    CfgOpt->activateWindow();
    return 0;
}

void DestroyConfigOptionsForm() {
    delete CfgOpt;
    CfgOpt = nullptr;
}
