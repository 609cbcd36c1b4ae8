#include "help/lokdlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TLokalizDlg::TLokalizDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName("LokalizDlg");
    setWindowTitle("Lokalizacja");
    setFixedSize(486, 118);
    // The small dialog font of the desktop the layout was made for (8 point, 11 pixels), so that
    // the label fits before the edit box.
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setPixelSize(11);
    setFont(font);

    LokLb = new QLabel("Opis lokalizacji kontrolera:", this);
    LokLb->setObjectName("LokLb");
    LokLb->move(16, 28);
    LokLb->adjustSize();

    LokEdit = new QLineEdit(this);
    LokEdit->setObjectName("LokEdit");
    LokEdit->setGeometry(152, 24, 297, 21);
    LokEdit->setMaxLength(kMaxLength);
    LokLb->setBuddy(LokEdit);

    OKBtn = new QPushButton("Zapisz", this);
    OKBtn->setObjectName("OKBtn");
    OKBtn->setGeometry(284, 72, 75, 25);
    OKBtn->setDefault(true);

    CancelBtn = new QPushButton("Anuluj", this);
    CancelBtn->setObjectName("CancelBtn");
    CancelBtn->setGeometry(116, 72, 75, 25);
    // Enter presses the focused button; from the edit box it presses "Zapisz".
    CancelBtn->setAutoDefault(true);

    // Escape and the window's close button reject the dialog, as QDialog does by itself.
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(LokEdit, OKBtn);
    setTabOrder(OKBtn, CancelBtn);
}
