#include "shell/EditText.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QLineEdit>

#include "engine/OperationState.h"
#include "engine/Services.h"

namespace {

// OEM glyphs of the codes 14h-1Fh.
const char16_t kOemLow[12] = {0x00B6, 0x00A7, 0x25AC, 0x21A8, 0x2191, 0x2193,
                              0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC};
constexpr char16_t kOemDel = 0x2302; // 7Fh

} // namespace

QChar ShownCharOfByte(uint8_t byte) {
    if (byte >= 0x20 && byte < 0x7F) return QChar(byte);
    if (byte >= 0x14 && byte < 0x20) return QChar(kOemLow[byte - 0x14]);
    if (byte == 0x7F) return QChar(kOemDel);
    return QChar('.');
}

int EntryByteOfChar(QChar c) {
    const char16_t u = c.unicode();
    if (u >= 0x20 && u < 0x7F) return u;
    if (c.isPrint()) return '?';
    return -1;
}

std::string EntryBytesOfText(const QString& text) {
    std::string out;
    out.reserve(static_cast<size_t>(text.size()));
    for (QChar c : text) {
        const int b = EntryByteOfChar(c);
        out.push_back(static_cast<char>(b < 0 ? '?' : b));
    }
    return out;
}

QFont EditorLineFont() {
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setFamilies({"Terminal", f.family()});
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    return f;
}

HexKeyFilter::HexKeyFilter(QObject* parent, bool upper, bool backspace)
    : QObject(parent), upper_(upper), backspace_(backspace) {}

bool HexKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Backspace) return !backspace_;
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    const QString text = key->text();
    if (text.isEmpty() || !text.at(0).isPrint()) return false; // navigation and editing keys
    QChar c = text.at(0);
    if (!IsHexDigit(c)) return true;
    if (upper_ && c != c.toUpper()) {
        if (auto* edit = qobject_cast<QLineEdit*>(watched)) {
            if (!edit->isReadOnly()) edit->insert(QString(c.toUpper()));
            return true;
        }
    }
    return false;
}

uint32_t HexFieldValue(const QString& text) {
    std::string s = text.toLatin1().toStdString();
    return static_cast<uint32_t>(HexTextToInt(s.data()));
}
