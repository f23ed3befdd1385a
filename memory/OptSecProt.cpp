#include "memory/OptSecProt.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QTreeWidget>

#include "dialogs/FontFit.h"
#include "dialogs/RadioGroup.h"
#include "engine/Device.h"
#include "engine/Port.h"
#include "engine/Services.h"
#include "engine/UiBridge.h"
#include "memory/JedecFlash.h"
#include "memory/SectorProtection.h"

TOptSecProt1::TOptSecProt1(QWidget* owner) : QDialog(owner) {
    setWindowTitle("Data Protect");
    setFixedSize(330, 330);
    ListView = new QTreeWidget(this);
    ListView->setObjectName("ListView");
    ListView->setGeometry(8, 8, 190, 314);
    ListView->setRootIsDecorated(false);
    ListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView->setHeaderLabels({"Address", "Mode"});
    SetColumnWidths(ListView, {110, 70});
    ListView->installEventFilter(this);
    auto button = [this](const char* name, const char* text, int y) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setGeometry(206, y, 116, 25);
        return b;
    };
    ButtonWrote = button("ButtonWrote", "&Write to device", 8);
    BitBtn1 = button("BitBtn1", "&Close", 40);
    ButtonProtectAll = button("ButtonProtectAll", "&Protect All", 88);
    ButtonUnprotectAll = button("ButtonUnprotectAll", "&Unprotect All", 120);
    ButtonToggle = button("ButtonToggle", "&Toggle", 152);
    RadioGroupProtectOverride = new TRadioGroup("Protection Override", {"Disable", "Enable"}, this);
    RadioGroupProtectOverride->setObjectName("RadioGroupProtectOverride");
    RadioGroupProtectOverride->setGeometry(206, 196, 116, 70);
    connect(ListView, &QTreeWidget::itemClicked, this, [this] { ListViewClick(); });
    connect(ButtonWrote, &QPushButton::clicked, this, [this] { ButtonWroteClick(); });
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::reject);
    connect(ButtonProtectAll, &QPushButton::clicked, this, [this] { ButtonProtectAllClick(); });
    connect(ButtonUnprotectAll, &QPushButton::clicked, this, [this] { ButtonUnprotectAllClick(); });
    connect(ButtonToggle, &QPushButton::clicked, this, [this] { ButtonToggleClick(); });
    connect(RadioGroupProtectOverride->Buttons, &QButtonGroup::idClicked, this,
            [](int index) { ProtectOverride = static_cast<uint32_t>(index); });
    FormCreate();
    FitColumns(ListView, {QString(), "Unprotect"});
    FitToFont(this);
}

void TOptSecProt1::FormCreate() {
    const uint32_t row = CurrentAlgorithm;
    RadioGroupProtectOverride->setVisible(row == 55 || (row == 78 && DeviceSubVariant == 1));
    RadioGroupProtectOverride->SetItemIndex(static_cast<int>(ProtectOverride));
    SectorLayoutRow = SectorLayoutRowOf(row, DeviceVariant);
    SectorStates read = ReadSectorStates(row);
    sectors_ = std::move(read.sectors);
    SectorProtectionState = std::move(read.states);
    ListView->clear();
    for (size_t i = 0; i < sectors_.size(); ++i) {
        auto* item = new QTreeWidgetItem(ListView);
        item->setText(0, QString::fromStdString(SectorCaption(sectors_[i], sectors_.size())));
        ShowMode(static_cast<int>(i));
    }
}

void TOptSecProt1::ShowMode(int index) {
    if (QTreeWidgetItem* item = ListView->topLevelItem(index)) {
        item->setText(1, SectorProtectionState[static_cast<size_t>(index)] ? "Protect  " : "Unprotect");
    }
}

void TOptSecProt1::ListViewClick() {
    const int index = ListView->indexOfTopLevelItem(ListView->currentItem());
    if (index < 0 || static_cast<size_t>(index) >= SectorProtectionState.size()) return;
    uint32_t& state = SectorProtectionState[static_cast<size_t>(index)];
    state = state ? 0 : 1;
    ShowMode(index);
}

bool TOptSecProt1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListView && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            ListViewClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TOptSecProt1::ButtonProtectAllClick() {
    for (size_t i = 0; i < SectorProtectionState.size(); ++i) {
        SectorProtectionState[i] = 1;
        ShowMode(static_cast<int>(i));
    }
}

void TOptSecProt1::ButtonUnprotectAllClick() {
    for (size_t i = 0; i < SectorProtectionState.size(); ++i) {
        SectorProtectionState[i] = 0;
        ShowMode(static_cast<int>(i));
    }
}

void TOptSecProt1::ButtonToggleClick() {
    for (size_t i = 0; i < SectorProtectionState.size(); ++i) {
        SectorProtectionState[i] = SectorProtectionState[i] ? 0 : 1;
        ShowMode(static_cast<int>(i));
    }
}

void TOptSecProt1::ButtonWroteClick() {
    // Row 78's lockdown parts lock for good: declining leaves the dialog open.
    if (CurrentAlgorithm == 78 && DeviceSubVariant == 1 &&
        CurrentUi().MessageBox("This Boot Block Lockout feature is One-time Programmable.\nContinue ?", "Warning",
                               UiButtons::YesNo, UiIcon::Question) != UiAnswer::Yes) {
        return;
    }
    // A layout row past the table (or a row without routines) writes nothing.
    if (!sectors_.empty()) {
        ShowMessageLine("(Un)Protect Sector ...");
        const int r = SectorProtectionOf(CurrentAlgorithm)
                          .write(SectorProtectionState.data(), static_cast<uint32_t>(sectors_.size()),
                                 SectorLayoutTable[SectorLayoutRow] + 1);
        Beep(r == 1 ? 1 : 0);
        ShowMessageLine(r == 1 ? " Sector (Un)protection completed!" : " Sector (Un)protection error!");
    }
    accept();
}

namespace {

void ShowOptSecProt() {
    TOptSecProt1 dialog(nullptr);
    dialog.move(GetMainFormLeft() + 320, GetMainFormTop() + 100);
    dialog.exec();
}

} // namespace

void InstallOptSecProtDialog() { ShowSectorProtectionHook = ShowOptSecProt; }
