// Helpers shared by the buffer editors and their dialogs: how buffer bytes
// are shown as text and how typed characters become bytes, the results of
// the modal dialogs, the key filter of their entry fields, and the guard
// that keeps the editors off the buffer while an operation runs.
#pragma once
#include <QChar>
#include <QFont>
#include <QObject>
#include <QString>
#include <cstdint>
#include <string>

// Results of the modal dialogs (OK is 1, as the callers test).
constexpr int ModalOk = 1;
constexpr int ModalCancel = 2;
constexpr int ModalAbort = 3;

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

// True while an operation runs: the editors do not touch the buffer then.
bool EditorsLocked();

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

// 0-9, A-F, a-f.
bool IsHexDigit(QChar c);

// A hexadecimal edit text as a number (leading zeros skipped, the last 8
// digits count; "" gives 0).
uint32_t HexFieldValue(const QString& text);
