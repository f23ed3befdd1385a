// The project dialog: the author and description a project file keeps. Each
// text is limited to what its field of the file stores (in bytes, so line
// breaks and non-ASCII characters count as they are stored).
#pragma once
#include <QDialog>
#include <QString>
#include <string>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class TProject : public QDialog {
    Q_OBJECT
  public:
    explicit TProject(QWidget* parent = nullptr);

    QLineEdit* Edit1 = nullptr;      // "&Author"
    QPlainTextEdit* Memo1 = nullptr; // "&Description"
    QPushButton* BitBtnOk = nullptr;
    QPushButton* BitBtnCancel = nullptr;

  public slots:
    void BitBtnOkClick();

  private:
    void LimitAuthor();
    void LimitDescription();
};

// Bytes of author and description the project file stores (field minus its
// terminating zero).
constexpr int kProjectAuthorBytes = 99;
constexpr int kProjectDescriptionBytes = 399;

// The longest start of text whose UTF-8 form fits in maxBytes, never cut
// inside a character.
QString CutToUtf8Bytes(const QString& text, int maxBytes);
// A project text as one log line: every line break becomes a blank.
std::string ProjectTextForLog(const std::string& text);

// Opens the dialog modally; QDialog::Accepted when OK stored the texts.
// -1 refused: an operation runs.
int ShowProjectDialog(QWidget* parent = nullptr);
