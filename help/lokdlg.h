#pragma once
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// Asks for a short description of where the controller is installed, before a report is saved.
// Created once at start-up, so the text typed last time is offered again.
class TLokalizDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxLength = 80;

    explicit TLokalizDlg(QWidget* parent = nullptr);

    QLabel* LokLb;
    QLineEdit* LokEdit;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
};
