// TFormLister: a message above a list of items, as a question (OK, Cancel) or an error list
// (Close).
#pragma once

#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;
class QWidget;

class TFormLister : public QDialog {
    Q_OBJECT
  public:
    explicit TFormLister(QWidget* owner = nullptr);

    // 1 shows an error list; any other value a question to confirm.
    unsigned char DisplayMode = 0;

    QLabel* ErrImage;
    QLabel* ConfirmImage;
    QLabel* TextLabel;
    QListWidget* ItemListBox;
    QWidget* ClosePanel;
    QPushButton* BitBtn1;
    QWidget* OkPanel;
    QPushButton* OkButton;
    QPushButton* CancelButton;

    void FormShow();

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
