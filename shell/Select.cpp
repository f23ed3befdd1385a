#include "shell/Select.h"

#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <cstring>

#include "dialogs/FontFit.h"
#include "dialogs/RadioGroup.h"
#include "engine/Bringup.h"
#include "engine/Config.h"
#include "engine/Insertion.h"
#include "engine/Library.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "shell/InfoPanel.h"

TSelDev* SelDev = nullptr;

namespace {

// Device-list entries of the sections EPROM, PLD, MICRO and PROM.
constexpr uint32_t kSectionEntries[4] = {kLibraryEntryEprom, kLibraryEntryPld, kLibraryEntryMicro,
                                         kLibraryEntryProm};
constexpr int kLastSection = 3;

const char* const kAutoSelectWarning =
    "Warning :\nAuto Device Select is an optional feature.\n This option is useful for only 32-pin "
    "or less than\n32-pin EPROM and Flash Memory.\n Other types(GAL,EPLD,EEPROM,Microcontroller) "
    "of\ndevices are not able to be recognized by this option\nand the devices may be defective "
    "when you\nuse this feature in the programmer.\n If you know the manufacturer and part "
    "number,\nselect your part number manually.";

QString Text(const std::string& s) {
    return QString::fromStdString(s);
}

// The 0-terminated text at `from` inside the record's name area.
std::string NameAt(const DeviceRecord& r, size_t from) {
    if (from >= DeviceRecordNameArea) return {};
    const char* p = reinterpret_cast<const char*>(r.Bytes + from);
    return std::string(p, strnlen(p, DeviceRecordNameArea - from));
}

// Reads one section's device list into the form's records. Records that do
// not fit their fields are skipped; the walk stops at a record that runs past
// the entry's end.
int LoadSection(TSelDev* form, uint32_t section) {
    const uint32_t size = OpenLibraryEntry(kSectionEntries[section]);
    std::vector<uint8_t> bytes(size);
    for (uint32_t k = 0; k < size; ++k)
        bytes[k] = ReadLibraryByte(k);
    int skipped = 0;
    size_t pos = 0;
    while (pos < size) {
        DeviceRecord record;
        size_t next = 0;
        if (ParseLibraryRecord(bytes.data(), size, pos, section, record, next)) {
            form->Records.push_back(record);
            ++form->DeviceCount;
            pos = next;
            continue;
        }
        ++skipped;
        const size_t extent = size - pos >= 2 ? 2 + size_t{bytes[pos + 1]} + DeviceParameterCount : SIZE_MAX;
        if (extent > size - pos) break;
        pos += extent;
    }
    return skipped;
}

const DeviceRecord* RecordOfRow(TSelDev* form, int row) {
    if (row < 0 || row >= static_cast<int>(form->RowMap.size())) return nullptr;
    const int index = form->RowMap[row];
    if (index < 0 || index >= static_cast<int>(form->Records.size())) return nullptr;
    return &form->Records[index];
}

int SelectedRow(TSelDev* form) {
    QTreeWidgetItem* item = form->ListViewDev->currentItem();
    if (!item || !item->isSelected()) return -1;
    return form->ListViewDev->indexOfTopLevelItem(item);
}

QString OverPulseText(uint32_t value) {
    if (value == 0) return "Over prog. pulse: None";
    if (value > 10000) return FormatToStaticBuffer("Over prog. pulse: x*%uus", value - 10000);
    return FormatToStaticBuffer("Over prog. pulse: %uus", value);
}

// The device list's columns hold the longest name, package and adapter of
// every loaded device, so they keep their widths whichever maker is shown;
// the list is as wide as its columns.
void FitDeviceColumns(TSelDev* form) {
    const QFontMetrics fm(form->ListViewDev->font());
    std::vector<QString> widest(3);
    auto keep = [&fm](QString& w, const QString& t) {
        if (fm.horizontalAdvance(t) > fm.horizontalAdvance(w)) w = t;
    };
    for (const DeviceRecord& r : form->Records) {
        const bool pld = r.Bytes[RecordSectionByte] == SectionPld;
        keep(widest[0], Text(RecordDeviceName(r)));
        keep(widest[1], Text(PackageName(ReadRecordField(r, pld ? FieldPldPackage : FieldPackage, 2))));
        keep(widest[2], AdapterName(ReadRecordField(r, FieldAdapterCode, 1)));
    }
    form->ListViewDev->setMinimumWidth(FitColumns(form->ListViewDev, widest));
    // The maker list as wide as its longest maker name.
    const QFontMetrics mf(form->ListBoxMfg->font());
    int maker = 0;
    for (const DeviceRecord& r : form->Records) {
        const uint8_t m = r.Bytes[RecordMakerByte];
        if (m < MakerRowCount) maker = std::max(maker, mf.horizontalAdvance(MakerName(m)));
    }
    const QStyle* style = form->ListBoxMfg->style();
    form->ListBoxMfg->setMinimumWidth(maker + 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1) + 1 +
                                      2 * form->ListBoxMfg->frameWidth() +
                                      style->pixelMetric(QStyle::PM_ScrollBarExtent));
}

} // namespace

std::string RecordMakerName(const DeviceRecord& record) {
    return NameAt(record, 0);
}

std::string RecordDeviceName(const DeviceRecord& record) {
    return NameAt(record, record.Bytes[RecordNameOffsetByte]);
}

TSelDev::TSelDev(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Device Select");
    setModal(false);

    ListBoxMfg = new QListWidget(this);
    ListBoxMfg->setSortingEnabled(true);
    RadioGroup1 = new TRadioGroup("Type Select", {"ALL", "EPROM", "PLD", "MICRO", "PROM"}, this);
    RadioGroup1->SetItemIndex(0);

    ListViewDev = new QTreeWidget(this);
    ListViewDev->setColumnCount(3);
    ListViewDev->setHeaderLabels({"Device Name", "Package", "Adapter"});
    ListViewDev->setRootIsDecorated(false);
    SetColumnWidths(ListViewDev, {120, 55, 150});
    ListViewDev->setMinimumWidth(FitColumns(ListViewDev));
    ListViewDev->setSelectionMode(QAbstractItemView::SingleSelection);
    ListViewDev->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewDev->setAllColumnsShowFocus(true);

    ComboBox1 = new QComboBox(this);
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setMaxVisibleItems(9);
    Label1 = new QLabel("Name", this);
    Label1->setBuddy(ComboBox1);

    MemoInfo = new QPlainTextEdit(this);
    MemoInfo->setReadOnly(true);

    ButtonAdtInfo = new QPushButton("Adapter &Info", this);
    ButtonAdtInfo->setEnabled(false);
    BitBtnOk = new QPushButton("OK", this);
    BitBtnOk->setDefault(true);
    BitBtnCancel = new QPushButton("Cancel", this);
    ButtonAutoSelect = new QPushButton("&Auto Select", this);

    auto* left = new QVBoxLayout;
    left->addWidget(ListBoxMfg, 1);
    left->addWidget(RadioGroup1);
    auto* search = new QHBoxLayout;
    search->addWidget(Label1);
    search->addWidget(ComboBox1, 1);
    auto* right = new QVBoxLayout;
    right->addLayout(search);
    right->addWidget(ListViewDev, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ButtonAdtInfo);
    buttons->addWidget(ButtonAutoSelect);
    buttons->addStretch(1);
    buttons->addWidget(BitBtnOk);
    buttons->addWidget(BitBtnCancel);
    auto* grid = new QGridLayout(this);
    grid->addLayout(left, 0, 0);
    grid->addLayout(right, 0, 1);
    grid->addWidget(MemoInfo, 1, 0, 1, 2);
    grid->addLayout(buttons, 2, 0, 1, 2);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(0, 1);
    resize(620, 480);

    connect(ListBoxMfg, &QListWidget::currentRowChanged, this, [this] {
        if (!Filling) ListBoxMfgClick();
    });
    connect(RadioGroup1->Buttons, &QButtonGroup::idClicked, this, [this] { RadioGroup1Click(); });
    // A double click on a device row selects it as OK does.
    connect(ListViewDev, &QTreeWidget::itemDoubleClicked, this, [this] { BitBtnOkClick(); });
    connect(ListViewDev, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (!Filling) ListViewDevClick();
    });
    connect(ComboBox1, &QComboBox::editTextChanged, this, [this] {
        if (!Filling) ComboBoxChange();
    });
    connect(BitBtnOk, &QPushButton::clicked, this, &TSelDev::BitBtnOkClick);
    connect(BitBtnCancel, &QPushButton::clicked, this, &TSelDev::BitBtnCancelClick);
    connect(ButtonAutoSelect, &QPushButton::clicked, this, [this] { ButtonAutoSelectClick(); });
}

void TSelDev::MemoAdd(const QString& line) {
    MemoInfo->appendPlainText(line);
}

void TSelDev::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormActivate();
}

bool TSelDev::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) FormActivate();
    return QDialog::event(event);
}

bool TSelDev::RefuseWhileBusy() {
    if (!OperationBusy.load()) return false;
    MemoInfo->clear();
    MemoAdd("Can not be executed while an operation is running.");
    Beep(-1);
    return true;
}

void TSelDev::FormActivate() {
    const QString text = ComboBox1->currentText();
    Filling = true;
    ComboBox1->clear();
    if (RecentDevices.size() > 8) RecentDevices.erase(RecentDevices.begin(), RecentDevices.end() - 8);
    for (auto it = RecentDevices.rbegin(); it != RecentDevices.rend(); ++it)
        ComboBox1->addItem(Text(*it));
    ComboBox1->setEditText(text);
    Filling = false;
}

void TSelDev::ComboBoxChange() {
    FillDeviceLists(this, ComboBox1->currentText(), -1, 0);
}

void TSelDev::ListBoxMfgClick() {
    QListWidgetItem* item = ListBoxMfg->currentItem();
    if (!item) return;
    const int maker = FindMakerIndex(this, item->text());
    // A name outside the maker table lists nothing.
    FillDeviceLists(this, ComboBox1->currentText(), maker < 0 ? static_cast<int>(MakerRowCount) : maker, 1);
}

void TSelDev::RadioGroup1Click() {
    // The lists stay as loaded: the choice goes back to the section they hold.
    if (RefuseWhileBusy()) {
        RadioGroup1->SetItemIndex(LoadedType);
        return;
    }
    LoadDeviceList(this, 0);
    FillDeviceLists(this, ComboBox1->currentText(), -1, 0);
}

void TSelDev::ListViewDevClick() {
    if (SelectedRow(this) >= 0) ShowDeviceInfo(this);
}

void TSelDev::BitBtnOkClick() {
    if (RefuseWhileBusy()) return;
    const int row = SelectedRow(this);
    if (!RecordOfRow(this, row)) {
        MemoInfo->clear();
        MemoAdd("Select device first!");
        Beep(-1);
        return;
    }
    SelectDeviceRecord(this, RowMap[row]);
}

void TSelDev::BitBtnCancelClick() {
    close();
}

int TSelDev::ButtonAutoSelectClick() {
    if (RefuseWhileBusy()) return -1;
    QMessageBox ask(QMessageBox::Warning, "Auto Device Select", kAutoSelectWarning,
                    QMessageBox::Ok | QMessageBox::Cancel, this);
    if (ask.exec() != QMessageBox::Ok) return 0;

    MemoInfo->clear();
    UserBreak.store(0);
    int r = -1;
    uint32_t maker = 0;
    uint32_t device = 0;
    if (ProgrammerConnected == -1) {
        MemoAdd("Can not be executed with Communication Error!");
    } else {
        // Without the test image the detection would drive the socket through
        // another personality's registers: stop at the download's message.
        if (DownloadLogicImage(kLibraryTestImage) == 1) {
            int pins = 0;
            r = DetectDevicePackage(&maker, &device, &pins);
            switch (r) {
            case -2:
                QMessageBox::information(this, "Auto Device Select Error",
                                         "Auto Device Select is an optional feature.\nThis option "
                                         "support only RU-R48 adapter.");
                break;
            case -3:
                MemoAdd("Insert device corretly.");
                break;
            case -4:
                MemoAdd("Insert device.");
                break;
            case 1:
                if (maker != 0 && maker != 0xFF && device != 0 && device != 0xFF) {
                    ShowMessageLine("Find at %dpin device.", pins);
                    ShowMessageLine(" Manufactorer ID : %02x", maker);
                    ShowMessageLine(" Device ID       : %02x", device);
                    break;
                }
                [[fallthrough]];
            default: // no codes, or a package the signature read does not know
                MemoAdd("Device not found.");
                ShowMessageLine("Device not found.");
                r = -1;
                break;
            }
        }
        DownloadLogicImage(LogicImageNumber);
    }

    if (r == 1) {
        LoadDeviceList(this, 1);
        int found = -1;
        for (size_t i = 0; i < Records.size(); ++i) {
            if (ReadRecordField(Records[i], FieldMakerId, 2) == maker &&
                ReadRecordField(Records[i], FieldDeviceId, 2) == device) {
                found = static_cast<int>(i);
                break;
            }
        }
        if (found < 0) {
            ShowMessageLine("Can not find chip id from device information data base!");
            r = -1;
        } else {
            r = SelectDeviceRecord(this, found);
        }
        LoadDeviceList(this, 0);
    }
    if (r == 1) ComputeBufferChecksum(BufferStartByte(), BufferEnd);
    Beep(r);
    return r;
}

TSelDev* CreateDeviceSelectionForm(QWidget* owner) {
    if (!SelDev) {
        // Owned by the main window: no taskbar entry of its own, kept above it.
        SelDev = new TSelDev(owner);
        QObject::connect(SelDev, &QObject::destroyed, [] { SelDev = nullptr; });
    }
    return SelDev;
}

int ShowDeviceSelection(QWidget* parent) {
    if (OperationBusy.load()) return -1;
    if (!SelDev) {
        CreateDeviceSelectionForm(parent);
        PopulateDeviceSelection(SelDev);
    }
    if (parent && !SelDev->isVisible()) SelDev->move(parent->geometry().topLeft() + QPoint(60, 40));
    SelDev->show();
    SelDev->raise();
    SelDev->activateWindow();
    return 0;
}

void DestroyDeviceSelectionForm() {
    delete SelDev;
    SelDev = nullptr;
}

void PopulateDeviceSelection(TSelDev* form) {
    LoadDeviceList(form, 0);
    FillDeviceLists(form, "", -1, 0);
    if (form->ListBoxMfg->count() > 0) {
        form->Filling = true;
        form->ListBoxMfg->setCurrentRow(0);
        form->Filling = false;
    }
}

void LoadDeviceList(TSelDev* form, int first) {
    form->Records.clear();
    form->DeviceCount = 0;
    int section = 0;
    int last = 0;
    if (first == 0) form->LoadedType = form->RadioGroup1->ItemIndex();
    if (first == 0 && form->RadioGroup1->ItemIndex() > 0) {
        section = last = form->RadioGroup1->ItemIndex() - 1;
    } else if (first == 0) {
        last = kLastSection; // "ALL"
    }
    int skipped = 0;
    for (int s = section; s <= last; ++s)
        skipped += LoadSection(form, static_cast<uint32_t>(s));
    if (skipped > 0) ShowMessageLine("Device library: %d bad device records skipped.", skipped);
    FitDeviceColumns(form);
}

int MatchDeviceFilter(const std::string& filter, const std::string& maker, const std::string& device) {
    if (filter.empty()) return 1;
    std::string name = maker + device;
    auto upper = [](std::string s) {
        for (char& c : s)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return s;
    };
    name = upper(name);
    const std::string f = upper(filter);
    size_t pos = 0;
    int result = 0;
    for (char c : f) {
        if (pos >= name.size()) {
            result = 0;
        } else if (c == ' ') {
            result = 1;
        } else {
            result = 0;
            while (pos < name.size()) {
                if (name[pos++] == c) {
                    result = 1;
                    break;
                }
            }
        }
    }
    return result;
}

void FillDeviceLists(TSelDev* form, const QString& filterText, int maker, int devicesOnly) {
    const std::string filter = filterText.toStdString();
    form->Filling = true;
    if (!devicesOnly) {
        form->ListBoxMfg->clear();
        std::vector<bool> listed(MakerRowCount, false);
        for (const DeviceRecord& r : form->Records) {
            const uint8_t m = r.Bytes[RecordMakerByte];
            if (m >= MakerRowCount || listed[m]) continue;
            if (!MatchDeviceFilter(filter, RecordMakerName(r), RecordDeviceName(r))) continue;
            listed[m] = true;
            form->ListBoxMfg->addItem(MakerName(m));
        }
    }

    form->ListViewDev->clear();
    form->RowMap.clear();
    if (form->ListBoxMfg->count() > 0) {
        if (maker == -1) {
            maker = FindMakerIndex(form, form->ListBoxMfg->item(0)->text());
            form->ListBoxMfg->setCurrentRow(0);
        }
        for (size_t i = 0; i < form->Records.size(); ++i) {
            const DeviceRecord& r = form->Records[i];
            if (maker < 0 || r.Bytes[RecordMakerByte] != maker) continue;
            if (!MatchDeviceFilter(filter, RecordMakerName(r), RecordDeviceName(r))) continue;
            const bool pld = r.Bytes[RecordSectionByte] == SectionPld;
            const uint32_t package = ReadRecordField(r, pld ? FieldPldPackage : FieldPackage, 2);
            const uint32_t adapter = ReadRecordField(r, FieldAdapterCode, 1);
            auto* item = new QTreeWidgetItem(form->ListViewDev);
            item->setText(0, Text(RecordDeviceName(r)));
            item->setText(1, Text(PackageName(package)));
            item->setText(2, AdapterName(adapter));
            form->RowMap.push_back(static_cast<int>(i));
        }
    }
    form->MemoInfo->clear();
    form->MemoAdd(FormatToStaticBuffer("Total Selected Device: %d, Select: %d", form->DeviceCount,
                                       static_cast<int>(form->RowMap.size())));
    form->Filling = false;
}

void ShowDeviceInfo(TSelDev* form) {
    const int row = SelectedRow(form);
    const DeviceRecord* rec = RecordOfRow(form, row);
    if (!rec) return;
    const DeviceRecord& r = *rec;
    form->MemoInfo->clear();
    const QListWidgetItem* makerItem = form->ListBoxMfg->currentItem();
    form->MemoAdd("Manufacturer:" + (makerItem ? makerItem->text() : QString()) +
                  ", Device Name:" + form->ListViewDev->topLevelItem(row)->text(0));

    QString line;
    if (r.Bytes[RecordSectionByte] == SectionPld) {
        const PackageEntry& pkg = PackageRow(ReadRecordField(r, FieldPldPackage, 2));
        line += FormatToStaticBuffer("Num. of pins:%d, ", pkg.PinCount);
        const uint32_t size = ReadRecordField(r, FieldPldDeviceSize, 4);
        line += size == 0 ? QString("Chip size:Unknown, ")
                          : FormatToStaticBuffer("Chip size:%ld, ", static_cast<long>(size));
        const uint32_t terms = ReadRecordField(r, FieldPldFuseRowLength, 2);
        line += terms == 0 ? QString("Product term:Unknown, ")
                           : FormatToStaticBuffer("Product term:%d, ", static_cast<int>(terms));
        line += FormatToStaticBuffer("Vcc pin:%s, ", pkg.VccPins);
        line += FormatToStaticBuffer("Gnd pin:%s, ", pkg.GndPins);
    } else {
        const PackageEntry& pkg = PackageRow(ReadRecordField(r, FieldPackage, 2));
        line += FormatToStaticBuffer("Num. of pins:%d, ", pkg.PinCount);
        const uint32_t width = ReadRecordField(r, FieldDataWidth, 1);
        uint64_t size = ReadRecordField(r, FieldDeviceSize, 4);
        if (width > 8) size *= 2;
        line += FormatToStaticBuffer("Chip size:%llXh(%llu), ", static_cast<unsigned long long>(size),
                                     static_cast<unsigned long long>(size));
        line += FormatToStaticBuffer("Word size:%d, ", static_cast<int>(width));
        const uint32_t mfg = ReadRecordField(r, FieldMakerId, 2);
        if (mfg == 0) {
            line += "Mfg. code:None, Dev. code:None, ";
        } else {
            line += FormatToStaticBuffer("Mfg. code:%04X, Dev. code:%04X, ", mfg,
                                         ReadRecordField(r, FieldDeviceId, 2));
        }
        line += "Prog. algo.:" + ProgAlgorithmNameText(ReadRecordField(r, FieldVariant3, 1)) + ", ";
        line += FormatToStaticBuffer("Vcc pin:%s, Gnd pin:%s, ", pkg.VccPins, pkg.GndPins);
        line +=
            pkg.VppPin == 0 ? QString("Vpp pin: None, ") : FormatToStaticBuffer("Vpp pin: %d, ", pkg.VppPin);
        line += "Prog. Vccp: " + Text(FormatVoltage(ReadRecordField(r, FieldVccp, 2))) + ", ";
        line += "Prog. Vpp: " + Text(FormatVoltage(ReadRecordField(r, FieldVpp, 2))) + ", ";
        line += "Pulse width: " + Text(FormatPulseWidth(ReadRecordField(r, FieldPulseWidth, 2))) + ", ";
        line += OverPulseText(ReadRecordField(r, FieldOverPulseWidth, 2));
    }
    form->MemoAdd(line);
}

int SelectDeviceRecord(TSelDev* form, int index) {
    if (index < 0 || index >= static_cast<int>(form->Records.size())) return -1;
    const DeviceRecord record = form->Records[index];
    DeviceSection = record.Bytes[RecordSectionByte];
    if (SetCurrentDevice(record) != 1) return -1; // refused and logged; nothing changed

    const std::string recent = CurrentMakerName + " " + CurrentDeviceName;
    if (std::find(RecentDevices.begin(), RecentDevices.end(), recent) == RecentDevices.end()) {
        RecentDevices.push_back(recent);
        // The configuration keeps nine; the oldest makes room.
        while (RecentDevices.size() > RecentDeviceMax)
            RecentDevices.erase(RecentDevices.begin());
    }
    RefreshMainForm();
    ComputeBufferChecksum(BufferStartByte(), BufferEnd);
    UpdateInfoPanel();
    form->close();
    return 1;
}

int FindMakerIndex([[maybe_unused]] TSelDev* form, const QString& makerName) {
    const std::string name = makerName.toStdString();
    for (size_t i = 0; i < MakerRowCount; ++i) {
        if (name == MakerNameTable[i]) return static_cast<int>(i);
    }
    return -1;
}
