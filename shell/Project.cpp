#include "shell/Project.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QVBoxLayout>

#include "engine/Config.h"
#include "engine/OperationState.h"

QString CutToUtf8Bytes(const QString& text, int maxBytes) {
    int bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text[i];
        int width = 1;
        int units = 1;
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            width = 4;
            units = 2;
        } else if (c.unicode() >= 0x800) {
            width = 3;
        } else if (c.unicode() >= 0x80) {
            width = 2;
        }
        if (bytes + width > maxBytes) break;
        bytes += width;
        i += units;
    }
    return text.left(i);
}

std::string ProjectTextForLog(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue; // CR LF: one break
        out += (c == '\r' || c == '\n') ? ' ' : c;
    }
    return out;
}

TProject::TProject(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Project");
    Edit1 = new QLineEdit(this);
    Edit1->setMaxLength(100);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setTabChangesFocus(true);
    auto* author = new QLabel("&Author", this);
    author->setBuddy(Edit1);
    auto* description = new QLabel("&Description", this);
    description->setBuddy(Memo1);
    BitBtnOk = new QPushButton("OK", this);
    BitBtnOk->setDefault(true);
    BitBtnCancel = new QPushButton("Cancel", this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(author);
    layout->addWidget(Edit1);
    layout->addWidget(description);
    layout->addWidget(Memo1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtnOk);
    buttons->addWidget(BitBtnCancel);
    layout->addLayout(buttons);
    resize(420, 300);

    // A file written elsewhere may hold CR LF line ends; the memo keeps LF.
    Edit1->setText(CutToUtf8Bytes(QString::fromStdString(ProjectAuthor), kProjectAuthorBytes));
    QString text = QString::fromStdString(ProjectDescription);
    text.replace("\r\n", "\n");
    Memo1->setPlainText(CutToUtf8Bytes(text, kProjectDescriptionBytes));

    connect(Edit1, &QLineEdit::textChanged, this, &TProject::LimitAuthor);
    connect(Memo1, &QPlainTextEdit::textChanged, this, &TProject::LimitDescription);
    connect(BitBtnOk, &QPushButton::clicked, this, &TProject::BitBtnOkClick);
    connect(BitBtnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

namespace {
// Text over its limit loses the end of what was just typed or pasted (the
// characters before the cursor), as a length limit refuses an insertion.
QString FitAtCursor(const QString& text, int cursor, int maxBytes, int& newCursor) {
    const QString after = text.mid(cursor);
    const int room = maxBytes - static_cast<int>(after.toUtf8().size());
    if (room < 0) {
        const QString cut = CutToUtf8Bytes(text, maxBytes);
        newCursor = static_cast<int>(cut.size());
        return cut;
    }
    const QString before = CutToUtf8Bytes(text.left(cursor), room);
    newCursor = static_cast<int>(before.size());
    return before + after;
}
} // namespace

void TProject::LimitAuthor() {
    const QString text = Edit1->text();
    if (text.toUtf8().size() <= kProjectAuthorBytes) return;
    int cursor = 0;
    const QString fitted = FitAtCursor(text, Edit1->cursorPosition(), kProjectAuthorBytes, cursor);
    Edit1->setText(fitted);
    Edit1->setCursorPosition(cursor);
}

void TProject::LimitDescription() {
    const QString text = Memo1->toPlainText();
    if (text.toUtf8().size() <= kProjectDescriptionBytes) return;
    int cursor = 0;
    const QString fitted =
        FitAtCursor(text, Memo1->textCursor().position(), kProjectDescriptionBytes, cursor);
    Memo1->setPlainText(fitted); // re-enters once and finds the text within its limit
    QTextCursor c = Memo1->textCursor();
    c.setPosition(cursor);
    Memo1->setTextCursor(c);
}

void TProject::BitBtnOkClick() {
    ProjectAuthor = CutToUtf8Bytes(Edit1->text(), kProjectAuthorBytes).toStdString();
    ProjectDescription = CutToUtf8Bytes(Memo1->toPlainText(), kProjectDescriptionBytes).toStdString();
    accept();
}

int ShowProjectDialog(QWidget* parent) {
    if (OperationBusy.load()) return -1;
    TProject dialog(parent);
    return dialog.exec();
}
