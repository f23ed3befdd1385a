// Helpers shared by the buffer editors and their dialogs: how buffer bytes
// are shown as text and how typed characters become bytes, and the key
// filter of their entry fields. The results of the modal dialogs and the
// guard that keeps the editors off the buffer while an operation runs are
// the dialog kit's.
#pragma once
#include <QChar>
#include <QFont>
#include <QObject>
#include <QString>
#include <cstdint>
#include <string>

#include "dialogs/DialogKit.h"

// The character a buffer byte shows as: 14h-7Fh as the character of that
// code (14h-1Fh and 7Fh with their glyphs of the OEM character set, so they
// are visible), every other byte as '.'.
QChar ShownCharOfByte(uint8_t byte);
// The byte a typed character stores: 20h-7Eh as itself, any other printable
// character as '?'. Returns -1 for a character that is not taken (control
// characters).
int EntryByteOfChar(QChar c);
// Every character of text through EntryByteOfChar (characters not taken
// become '?'), as bytes.
std::string EntryBytesOfText(const QString& text);

// The fixed-pitch font of the editor lines.
QFont EditorLineFont();

// Key filter of a dialog's entry field: takes the characters in `accepted`
// (after upper-casing when `upper`), and backspace when `backspace`; every
// other character key is dropped. Navigation and editing keys pass.
class HexKeyFilter : public QObject {
    Q_OBJECT
public:
    HexKeyFilter(QObject* parent, bool upper, bool backspace);
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool upper_;
    bool backspace_;
};

// A hexadecimal edit text as a number (leading zeros skipped, the last 8
// digits count; "" gives 0).
uint32_t HexFieldValue(const QString& text);
