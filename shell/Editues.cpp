#include "shell/Editues.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "shell/EditText.h"
#include "shell/InfoPanel.h"

QPointer<TEditUes_> EditUes_;

bool UesOffered() { return DeviceSection == SectionPld && UesFuseStart != 0; }

TEditUes_::TEditUes_(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("EditUes_");
    setWindowTitle("Edit Ues");
    EditAsc = new QLineEdit(this);
    EditAsc->setObjectName("EditAsc");
    EditAsc->setMaxLength(8);
    EditHex = new QLineEdit(this);
    EditHex->setObjectName("EditHex");
    EditHex->setReadOnly(true);
    MemoBin = new QPlainTextEdit(this);
    MemoBin->setObjectName("MemoBin");
    MemoBin->setReadOnly(true);
    MemoBin->setFont(EditorLineFont());
    MemoBin->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    MemoBin->setWordWrapMode(QTextOption::WrapAnywhere);
    ButtonClose = new QPushButton("Close", this);
    ButtonClose->setObjectName("ButtonClose");
    auto* form = new QFormLayout;
    form->addRow("ASC", EditAsc);
    form->addRow("HEX", EditHex);
    form->addRow("BIN", MemoBin);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonClose);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(form);
    outer->addLayout(buttons);
    connect(EditAsc, &QLineEdit::textChanged, this, &TEditUes_::EditAscChange);
    connect(ButtonClose, &QPushButton::clicked, this, &TEditUes_::ButtonCloseClick);
}

void TEditUes_::ReadFuses() {
    // The fuse map is the window of bank 0.
    if (CurrentBank != 0) SelectBank(0, 0);
    for (int i = 0; i < 8; ++i) {
        uint8_t value = 0;
        for (int k = 0; k < 8; ++k) {
            const uint64_t fuse = static_cast<uint64_t>(UesFuseStart) + 8u * i + k;
            const uint32_t bit = fuse <= UINT32_MAX ? GetBufferBit(static_cast<uint32_t>(fuse)) : 0;
            Symbols[8 * i + k] = bit ? '-' : 'X';
            value = static_cast<uint8_t>(value | bit << (7 - k));
        }
        Bytes[i] = value;
        // Every byte from 20h up shows as itself (80h-FFh as their Latin-1 characters).
        Chars[i] = value >= 0x20 ? static_cast<char>(value) : '.';
    }
}

void TEditUes_::ShowHexAndBin() {
    EditHex->setText(QString::asprintf("%02X-%02X-%02X-%02X-%02X-%02X-%02X-%02X", Bytes[0], Bytes[1], Bytes[2],
                                       Bytes[3], Bytes[4], Bytes[5], Bytes[6], Bytes[7]));
    MemoBin->setPlainText(QString::fromLatin1(Symbols, 64));
}

void TEditUes_::LoadUes() {
    if (EditorsLocked() || !UesOffered()) return;
    ReadFuses();
    Loading = 0;
    Shown = QString::fromLatin1(Chars, 8);
    EditAsc->setText(Shown);
    ShowHexAndBin();
    Loading = 1;
}

void TEditUes_::EditAscChange() {
    if (Loading != 1) return;
    // Another device's buffer holds no signature: its bytes stay untouched.
    if (EditorsLocked() || !UesOffered()) return;
    // Only the characters that differ from the text shown before are written:
    // a byte the user did not touch keeps its fuses, also one shown as '.'.
    // A character gone from the end is a byte of 0 (deleting all clears all).
    const QString now = EditAsc->text().left(8);
    std::string text = EntryBytesOfText(now);
    text.resize(8, '\0');
    if (CurrentBank != 0) SelectBank(0, 0);
    for (int i = 0; i < 8; ++i) {
        const bool before = i < Shown.size(), after = i < now.size();
        if (before == after && (!after || Shown[i] == now[i])) continue;
        const uint8_t byte = static_cast<uint8_t>(text[static_cast<size_t>(i)]);
        for (int k = 0; k < 8; ++k) {
            const uint64_t fuse = static_cast<uint64_t>(UesFuseStart) + 8u * i + (7 - k);
            if (fuse <= UINT32_MAX) SetBufferBit(static_cast<uint32_t>(fuse), (byte >> k) & 1u);
        }
    }
    Shown = now;
    ReadFuses();
    ShowHexAndBin();
    ShowFreshBufferChecksum();
}

void TEditUes_::ButtonCloseClick() { close(); }

bool TEditUes_::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) FormActivate();
    return QWidget::event(event);
}

void TEditUes_::FormActivate() { LoadUes(); }

void TEditUes_::SetRunning(bool running) {
    EditAsc->setReadOnly(running);
    if (!running) LoadUes();
}
