#include "shell/InfoPanel.h"

#include <QLabel>
#include <QMetaObject>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "engine/Config.h"
#include "engine/Device.h"
#include "engine/NeighbourState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "shell/Main.h"
#include "shell/QtUiBridge.h"

QString FormatToStaticBuffer(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    QString out;
    if (n > 0) {
        std::vector<char> text(static_cast<size_t>(n) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        out = QString::fromLocal8Bit(text.data(), n);
    }
    va_end(args);
    return out;
}

const char* const ProgAlgorithmNames[kProgAlgorithmNameCount] = {
    "None",    "Flash",     "Quick", "Snap",        "Fast",       "Slow",  "Single", "Polling",
    "Seeq",    "PRESTO F",  "PRESTO II", "SMART",   "Intelligent", "PRESTO III", "Rapid", "QUICKRITE"};

QString ProgAlgorithmNameText(uint32_t index) {
    return index < kProgAlgorithmNameCount ? QString(ProgAlgorithmNames[index]) : QString();
}

QString FormatDeviceSizeText(uint32_t deviceSize, uint32_t dataWidth) {
    uint64_t size = deviceSize;
    if (dataWidth > 8) size *= 2;
    if (size == 0) return "Unknown";
    return FormatToStaticBuffer("%llXh(%lld)Bytes", static_cast<unsigned long long>(size),
                                static_cast<long long>(size));
}

QString FormatFreeDiskText(uint64_t bytes) {
    // "#,###,###' Bytes'": digit groups of three, no digits at all for 0.
    QString digits = bytes == 0 ? QString() : QString::number(bytes);
    for (int i = digits.size() - 3; i > 0; i -= 3) digits.insert(i, ',');
    return digits + " Bytes";
}

QString SplitNameText(uint32_t wordMode) {
    static const char* const names[7] = {"A: Byte  ", "B: Even  ", "C: Odd   ", "D: Word 0",
                                         "E: Word 1", "F: Word 2", "G: Word 3"};
    return wordMode < 7 ? QString(names[wordMode]) : QString();
}

QString BasePortText(uint32_t portIndex, uint32_t portBase) {
    return portIndex == 0 ? QString("Auto") : FormatToStaticBuffer("%Xh", portBase);
}

namespace {

// Characters of the ID block; an unprogrammed memory may hold anything.
QString IdBlockText(int first, int count) {
    QString s;
    for (int i = first; i < first + count && i < kHardwareIdBlockSize; ++i) {
        unsigned char c = HardwareIdBlock[i];
        s += (c >= 0x20 && c < 0x7F) ? QChar(c) : QChar('?');
    }
    return s;
}

bool PassedToUiThread(void (*fn)()) {
    if (QtUiBridge::OnUiThread()) return false;
    if (Form1) QMetaObject::invokeMethod(Form1, fn, Qt::QueuedConnection);
    return true;
}

} // namespace

void ShowBufferChecksum() {
    if (PassedToUiThread(&ShowBufferChecksum) || !Form1) return;
    Form1->CheckSum->setText(QString::fromStdString(BufferChecksumText()));
}

void ShowFreshBufferChecksum() {
    ComputeBufferChecksum(BufferStartByte(), BufferEnd);
    ShowBufferChecksum();
}

void UpdateInfoPanel() {
    if (PassedToUiThread(&UpdateInfoPanel) || !Form1) return;
    TForm1* f = Form1;
    f->DeviceName->setText(FormatToStaticBuffer("%s %s", CurrentMakerName.c_str(),
                                                CurrentDeviceName.c_str()));
    f->DeviceSize->setText(FormatDeviceSizeText(DeviceSize, DataWidth));
    f->File->setText(QString::fromStdString(DataFileName));
    f->File->setToolTip(f->File->text()); // the whole path when the label cuts it
    f->FreeDisk->setText(FormatFreeDiskText(GetFreeDiskBytes()));
    f->Adapter->setText(AdapterCode == 0 ? QString("None") : QString::fromLatin1(AdapterName(AdapterCode)));
    f->Pins->setText(FormatToStaticBuffer("%d", PackageRow(PackageIndex).PinCount));
    f->GangSize->setText(FormatToStaticBuffer("%d", static_cast<int>(LastSocketIndex + 1)));
    f->Split->setText(SplitNameText(WordMode));
    f->EncMode->setText(EncryptionEnable != 0 ? "On" : "Off");
    f->BasePort->setText(BasePortText(PortIndex, PortBase));
    ShowBufferChecksum();
    f->SWRev->setText(FormatToStaticBuffer("%s", ProgramRevision));
    f->HWRev->setText(IdBlockText(11, 4));
    f->SerialNo->setText(IdBlockText(4, 6));
    if (DeviceSection == SectionPld) {
        for (QLabel* l : {f->Label1Cap, f->Label1, f->Label2Cap, f->Label2, f->Label3Cap, f->Label3,
                          f->Label4Cap, f->Label4})
            l->setText("");
    } else {
        f->Label1Cap->setText("Algorithm :");
        f->Label2Cap->setText("Vccp :");
        f->Label3Cap->setText("Vpp :");
        f->Label4Cap->setText("Tpwp :");
        f->Label1->setText(ProgAlgorithmNameText(DeviceVariant3));
        f->Label2->setText(QString::fromStdString(FormatVoltage(Vccp)));
        f->Label3->setText(QString::fromStdString(FormatVoltage(Vpp)));
        f->Label4->setText(QString::fromStdString(FormatPulseWidth(PulseWidth)));
    }
}
