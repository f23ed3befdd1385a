#include "testing/Editlg1.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cstring>
#include <vector>

#include "dialogs/FontFit.h"
#include "dialogs/Getstr.h"
#include "engine/Bringup.h"
#include "engine/Buffer.h"
#include "engine/Library.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Services.h"
#include "engine/UiBridge.h"
#include "testing/IcTest.h"
#include "testing/TestRun.h"

namespace {

constexpr const char* kNotRead = "Unable to read \"lg.dat\": it is not changed.";

} // namespace

void IcTestBox(const std::string& text, const std::string& caption, UiIcon icon) {
    CurrentUi().MessageBox(text, caption, UiButtons::Ok, icon);
}

TEditLgFile::TEditLgFile(QWidget* parent) : QDialog(parent) {
    setObjectName("EditLgFile");
    setWindowTitle("EditLgFile");
    ExecDialog = [](QDialog* d) { return d->exec(); };
    ListViewDev = new QTreeWidget(this);
    ListViewDev->setObjectName("ListViewDev");
    ListViewDev->setHeaderLabels({"Name", "Pins"});
    ListViewDev->setRootIsDecorated(false);
    SetColumnWidths(ListViewDev, {80, 35});
    ListViewDev->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewDev->setSelectionMode(QAbstractItemView::SingleSelection);
    ListViewDev->setMinimumHeight(ScaleOfFont(ListViewDev->font()).ScaleY(200));
    auto make = [this](const char* name, const char* text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        return b;
    };
    ButtonLoad = make("ButtonLoad", "&Load");
    ButtonSave = make("ButtonSave", "&Save");
    ButtonDelete = make("ButtonDelete", "&Delete");
    BitBtn1 = make("BitBtn1", "&Close");
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {ButtonLoad, ButtonSave, ButtonDelete, BitBtn1}) buttons->addWidget(b);
    buttons->addStretch();
    LabelNotRead = new QLabel(this);
    LabelNotRead->setObjectName("LabelNotRead");
    LabelNotRead->setWordWrap(true);
    LabelNotRead->setMaximumWidth(260);
    LabelNotRead->hide();
    auto* left = new QVBoxLayout;
    left->addWidget(LabelNotRead);
    left->addWidget(ListViewDev);
    auto* outer = new QHBoxLayout(this);
    outer->addLayout(left);
    outer->addLayout(buttons);
    connect(ButtonLoad, &QPushButton::clicked, this, &TEditLgFile::ButtonLoadClick);
    connect(ListViewDev, &QTreeWidget::itemDoubleClicked, this, &TEditLgFile::ButtonLoadClick);
    connect(ButtonSave, &QPushButton::clicked, this, &TEditLgFile::ButtonSaveClick);
    connect(ButtonDelete, &QPushButton::clicked, this, &TEditLgFile::ButtonDeleteClick);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { done(2); });
}

void TEditLgFile::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormActivate();
}

void TEditLgFile::hideEvent(QHideEvent* event) {
    FormDeactivate();
    QDialog::hideEvent(event);
}

void TEditLgFile::FormActivate() {
    buffer = IcVectorBuffer;
    LoadLogicLibrary(library, LogicLibraryPath());
    IndexLogicLibrary(library);
    // An empty list says why it is empty.
    const std::string notRead = library.read ? std::string() : LogicLibraryNotReadText(library, LogicLibraryPath());
    LabelNotRead->setText(QString::fromStdString(notRead));
    LabelNotRead->setVisible(!library.read);
    ListViewDev->clear();
    for (const LogicLibraryEntry& e : library.entries) {
        // An entry whose header cannot be used is listed with "?" as its pins.
        auto* item = new QTreeWidgetItem({QString::fromLatin1(e.name.c_str()),
                                          e.Usable() ? QString::fromLatin1(e.pinsText.c_str()) : QString("?")});
        ListViewDev->addTopLevelItem(item);
    }
    ListViewDev->setMinimumWidth(FitColumns(ListViewDev));
}

void TEditLgFile::FormDeactivate() { library = LogicLibrary{}; }

int TEditLgFile::SelectedEntry() const {
    QTreeWidgetItem* item = ListViewDev->currentItem();
    if (item == nullptr || !item->isSelected()) return -1;
    const int k = ListViewDev->indexOfTopLevelItem(item);
    return k >= 0 && static_cast<size_t>(k) < library.entries.size() ? k : -1;
}

bool TEditLgFile::RefuseUnread() {
    if (library.read) return false;
    IcTestBox(kNotRead, "Warning", UiIcon::Warning);
    return true;
}

bool TEditLgFile::Rewrite(const std::string& text) { return WriteLogicLibrary(LogicLibraryPath(), text).empty(); }

void TEditLgFile::ButtonLoadClick() {
    const int k = SelectedEntry();
    if (k < 0 || buffer == nullptr) return;
    const LogicLibraryEntry& e = library.entries[static_cast<size_t>(k)];
    if (!e.Usable()) return;
    const std::string vectors = CopyLogicLibraryEntry(library, static_cast<size_t>(k));
    std::memset(buffer, 0, TestBufferBytes - 1);
    std::memcpy(buffer, vectors.data(), std::min(vectors.size(), size_t{TestBufferBytes - 1}));
    IcDeviceName = e.name;
    IcPinCount = e.pins;
    done(1);
}

void TEditLgFile::ButtonSaveClick() {
    if (buffer == nullptr || buffer[0] == 0) {
        IcTestBox("Buffer is empty!", "Warning", UiIcon::Information);
        return;
    }
    if (RefuseUnread()) return;
    const int selected = SelectedEntry();
    if (selected >= 0) IcDeviceName = library.entries[static_cast<size_t>(selected)].name;
    TGetString prompt(this);
    prompt.move(x(), y());
    prompt.setWindowTitle("Message");
    prompt.Label1->setText("Device Name");
    if (selected >= 0) prompt.EditString->setText(QString::fromStdString(IcDeviceName));
    if (ExecDialog(&prompt) != 1) return;
    const std::string name = prompt.EditString->text().toStdString();
    if (name.empty()) return;
    if (!IsValidLogicDeviceName(name)) {
        IcTestBox("Device Name must be 1-10 characters without '.' or blank.", "Warning", UiIcon::Warning);
        return;
    }
    IcDeviceName = name;
    const int match = FindLogicLibraryEntry(library, name);
    if (match >= 0 && CurrentUi().MessageBox("Name is already existed. Overwrite?", "Warning", UiButtons::YesNo,
                                             UiIcon::Warning) != UiAnswer::Yes)
        return;
    const std::string text =
        LogicLibraryWithEntry(library, match, name, IcPinCount, buffer, TestBufferBytes - 1);
    if (!Rewrite(text)) {
        IcTestBox("Can not open File!", "Warning", UiIcon::Warning);
        return;
    }
    done(1);
}

void TEditLgFile::ButtonDeleteClick() {
    const int k = SelectedEntry();
    if (k < 0) return;
    if (CurrentUi().MessageBox("Are you sure?", "Warning", UiButtons::YesNo, UiIcon::Warning) != UiAnswer::Yes)
        return;
    if (RefuseUnread()) return;
    if (!Rewrite(LogicLibraryWithout(library, static_cast<size_t>(k)))) return;
    done(1);
}

bool ConnectIcTester() {
    if (LoadedLogicImage != static_cast<int32_t>(kLibraryTestImage)) DownloadLogicImage(kLibraryTestImage);
    if (ConnectProgrammer(0) != -1) return true;
    IcTestBox("Can not be executed with Communication Error!", "Error", UiIcon::Error);
    return false;
}

void SetIcTestSupply(int vccTenths) {
    ResetProgrammerOutputs();
    SetVccRange(1, vccTenths);
    SetAllDacVoltages(0, 0, vccTenths, vccTenths);
    DelayMsSlot(10);
}

void AutoFindLogicDevice(TEditLgFile& dialog) {
    std::string found;
    int count = 0;
    // An unread library has no entries: "Device not found!" would be a guess.
    if (!dialog.library.read) {
        IcTestBox(LogicLibraryNotReadText(dialog.library, LogicLibraryPath()), "Warning", UiIcon::Warning);
        return;
    }
    if (!ConnectIcTester()) return;
    const TestRunScope running;
    SetIcTestSupply(dialog.vcc);
    const LogicLibrary& lib = dialog.library;
    bool stopped = false;
    for (size_t k = 0; k < lib.entries.size() && !stopped; ++k) {
        const LogicLibraryEntry& e = lib.entries[k];
        if (!e.Usable()) continue;
        // The entry's lines, a partial last line filled up with 0 bytes
        // (pins left as they are), and a 0 byte ending the list.
        const std::string text = CopyLogicLibraryEntry(lib, k);
        const size_t width = static_cast<size_t>(e.pins);
        std::vector<uint8_t> lines((text.size() + width - 1) / width * width + width, 0);
        std::memcpy(lines.data(), text.data(), text.size());
        const int r = RunIcTest(e.pins, lines.data(), dialog.xLevel, dialog.delayMs, 0, lines.size());
        if (r == 1) {
            found += e.name + ",";
            Beep(1);
            ++count;
        }
        stopped = r == 3 || PollTestBreak() == 3;
    }
    ResetProgrammerOutputs();
    if (stopped) {
        // Stopped by a quit: no verdict and no box to wait on.
        ResetProgress();
        ShowMessageLine("User Break!");
        return;
    }
    SetProgressPosition(100);
    if (count == 0) {
        Beep(-1);
        IcTestBox("Device not found!");
    } else {
        IcTestBox(found);
    }
    ResetProgress();
}
