#include "mcu/Opt89C51Rx.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdio>
#include <cstring>

#include "engine/Device.h"
#include "engine/NeighbourState.h"
#include "engine/Port.h"
#include "engine/Services.h"
#include "mcu/Flash89C51Rx.h"

namespace {

bool Row188() { return CurrentAlgorithm == 188; }

QString Hex2(int v) {
    char t[8];
    std::snprintf(t, sizeof t, "%02X", v & 0xFF);
    return QString::fromLatin1(t);
}

// An edit's text as HexTextToInt reads it (empty: 0), held to a byte.
int EditByte(const QLineEdit* edit) {
    char text[16] = {};
    const QByteArray latin = edit->text().left(8).toLatin1();
    std::memcpy(text, latin.constData(), static_cast<size_t>(latin.size()));
    return HexTextToInt(text) & 0xFF;
}

} // namespace

TOpt89C51Rx1::TOpt89C51Rx1(QWidget* owner) : QDialog(owner) {
    setObjectName("Opt89C51Rx1");
    setWindowTitle("Option");
    auto* layout = new QVBoxLayout(this);
    const QStringList levels = {"Lock Bit 1", "Lock Bits 1,2", "Lock Bits 1,2,3"};
    auto combo = [this, &levels](QGroupBox* box, QGridLayout* grid, int row, const char* name, const char* caption,
                                 QLabel*& label, QComboBox*& control) {
        label = new QLabel(caption, box);
        label->setObjectName(QString("Label") + name);
        control = new QComboBox(box);
        control->setObjectName(QString("ComboBox") + name);
        control->addItems(levels);
        label->setBuddy(control);
        control->installEventFilter(this);
        grid->addWidget(label, row, 0);
        grid->addWidget(control, row, 1);
    };
    auto edit = [this](QGroupBox* box, QGridLayout* grid, int row, const char* labelName, const char* editName,
                       const char* caption, QLabel*& label, QLineEdit*& control) {
        label = new QLabel(caption, box);
        label->setObjectName(labelName);
        control = new QLineEdit(box);
        control->setObjectName(editName);
        control->setMaxLength(2);
        label->setBuddy(control);
        control->installEventFilter(this);
        grid->addWidget(label, row, 0);
        grid->addWidget(control, row, 1);
    };

    GroupBox89C51Rx = new QGroupBox("Option", this);
    GroupBox89C51Rx->setObjectName("GroupBox89C51Rx");
    auto* rx = new QGridLayout(GroupBox89C51Rx);
    combo(GroupBox89C51Rx, rx, 0, "SecMode", "Security &Mode", LabelSecMode, ComboBoxSecMode);
    edit(GroupBox89C51Rx, rx, 1, "LabelStatusByte", "EditStatusByte", "&Status Byte", LabelStatusByte, EditStatusByte);
    edit(GroupBox89C51Rx, rx, 2, "LabelBootVectorByte", "EditBootVectorByte", "&Boot Vector Byte",
         LabelBootVectorByte, EditBootVectorByte);
    layout->addWidget(GroupBox89C51Rx);

    GroupBox89C51XA = new QGroupBox("Option", this);
    GroupBox89C51XA->setObjectName("GroupBox89C51XA");
    auto* xa = new QGridLayout(GroupBox89C51XA);
    combo(GroupBox89C51XA, xa, 0, "SecMode1", "Security &Mode :", LabelSecMode1, ComboBoxSecMode1);
    edit(GroupBox89C51XA, xa, 1, "LabelStatusByte1", "EditStatusByte1", "&Status Byte :", LabelStatusByte1,
         EditStatusByte1);
    edit(GroupBox89C51XA, xa, 2, "LabelBPC", "EditBPC", "&Boot Vector Byte :", LabelBPC, EditBPC);
    edit(GroupBox89C51XA, xa, 3, "LabelBPSW", "EditBPSW", "BPS&W:", LabelBPSW, EditBPSW);
    layout->addWidget(GroupBox89C51XA);

    auto button = [this, layout](const char* name, const char* caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        layout->addWidget(b);
        return b;
    };
    ButtonRead = button("ButtonRead", "&Read Status Byte && Boot Vector");
    ButtonProgram = button("ButtonProgram", "&Program Status Byte && Boot Vector");
    ButtonInitalize = button("ButtonInitalize", "&Initialize Device");
    BitBtnClose = button("BitBtnClose", "&Close");
    BitBtnClose->setDefault(true);
    connect(ButtonRead, &QPushButton::clicked, this, &TOpt89C51Rx1::ButtonReadClick);
    connect(ButtonProgram, &QPushButton::clicked, this, &TOpt89C51Rx1::ButtonProgramClick);
    connect(ButtonInitalize, &QPushButton::clicked, this, &TOpt89C51Rx1::ButtonInitalizeClick);
    connect(BitBtnClose, &QPushButton::clicked, this, [this] { done(2); });

    GroupBox89C51Rx->setVisible(!Row188());
    GroupBox89C51XA->setVisible(Row188());
    ShowSettings();
}

void TOpt89C51Rx1::ShowSettings() {
    if (Row188()) {
        ComboBoxSecMode1->setCurrentIndex(SecurityLevel188);
        EditStatusByte1->setText(Hex2(StatusByte188));
        EditBPC->setText(Hex2(BpcByte188));
        EditBPSW->setText(Hex2(BpswByte188));
    } else {
        ComboBoxSecMode->setCurrentIndex(SecurityLevel192);
        EditStatusByte->setText(Hex2(StatusByte192));
        EditBootVectorByte->setText(Hex2(BootVector192));
    }
}

void TOpt89C51Rx1::Change() {
    // A combo left without a choice keeps the level as it was.
    auto level = [](const QComboBox* c, int& setting) {
        if (c->currentIndex() >= 0) setting = c->currentIndex();
    };
    if (Row188()) {
        level(ComboBoxSecMode1, SecurityLevel188);
        StatusByte188 = EditByte(EditStatusByte1);
        BpcByte188 = EditByte(EditBPC);
        BpswByte188 = EditByte(EditBPSW);
    } else {
        level(ComboBoxSecMode, SecurityLevel192);
        StatusByte192 = EditByte(EditStatusByte);
        BootVector192 = EditByte(EditBootVectorByte);
    }
    ShowSettings();
}

void TOpt89C51Rx1::ButtonReadClick() {
    OptionResult89C51Rx = Row188() ? ReadStatusBytes188() : ReadStatusBytes192();
    if (OptionResult89C51Rx == 1) ShowMessageLine("Read ok!");
    Beep(OptionResult89C51Rx);
    SkipIdCheck = 0;
    ShowSettings();
}

void TOpt89C51Rx1::ButtonProgramClick() {
    OptionResult89C51Rx = Row188() ? ProgramStatusBytes188() : ProgramStatusBytes192();
    ShowMessageLine(OptionResult89C51Rx == 1 ? "Program ok!" : "Program error!");
    Beep(OptionResult89C51Rx);
    SkipIdCheck = 0;
}

void TOpt89C51Rx1::ButtonInitalizeClick() {
    OptionResult89C51Rx = Row188() ? InitializeDevice188() : InitializeDevice192();
    if (OptionResult89C51Rx == 1) ShowMessageLine("Initialization ok!");
    Beep(OptionResult89C51Rx);
    SkipIdCheck = 0;
}

bool TOpt89C51Rx1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) Change();
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (edit != nullptr && event->type() == QEvent::KeyPress) {
        // Typed characters only: upper-cased, and anything but a hex digit
        // (backspace included) dropped.
        const QString text = static_cast<QKeyEvent*>(event)->text();
        if (!text.isEmpty()) {
            const QChar c = text.at(0).toUpper();
            if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) edit->insert(QString(c));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

int RunRx51Dialog() {
    TOpt89C51Rx1 dialog;
    dialog.move(GetMainFormLeft() + 320, GetMainFormTop() + 100);
    dialog.exec();
    return 1;
}
