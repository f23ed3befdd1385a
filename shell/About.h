// The about box: product name and program revision; the default product also
// shows the maker's notice.
#pragma once
#include <QDialog>

class QLabel;
class QPushButton;

class TAboutKr : public QDialog {
    Q_OBJECT
  public:
    explicit TAboutKr(QWidget* parent = nullptr);

    QLabel* Image1 = nullptr;
    QLabel* LabelTitle = nullptr;
    QLabel* LabelRev = nullptr;
    QLabel* LabelNotice1 = nullptr;
    QLabel* LabelNotice2 = nullptr;
    QPushButton* OKButton = nullptr;

  public slots:
    void FormShow();

  protected:
    void showEvent(QShowEvent* event) override;
};

// Opens the box modally at the main window's Left + 130, Top + 130.
int ShowAbout(QWidget* parent = nullptr);
