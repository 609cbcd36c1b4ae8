// The help window with its three topics, and the location dialog.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>
#include <QtTest>

#include "help/lokdlg.h"
#include "help/whelp.h"

namespace {

struct Structure {
    QStringList outline;   // the headings in order, each after its level: "1 Tryby...", "2 Instalacja"
    QStringList terms;     // the terms of the term lists, in order
    int bullets = 0;
};

Structure Read(const QTextDocument* doc)
{
    Structure s;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        if (const int level = b.blockFormat().headingLevel(); level > 0) s.outline << QString::number(level) + u' ' + b.text();
        if (b.textList() != nullptr) ++s.bullets;
    }
    for (QTextFrame::iterator it = doc->rootFrame()->begin(); !it.atEnd(); ++it)
        if (auto* table = qobject_cast<QTextTable*>(it.currentFrame()))
            for (int row = 0; row < table->rows(); ++row) {
                const QTextTableCell cell = table->cellAt(row, 0);
                s.terms << QTextCursor(cell.firstCursorPosition()).block().text();
            }
    return s;
}

}  // namespace

class TestHelp : public QObject {
    Q_OBJECT
private slots:
    void topics_data();
    void topics();
    void emptyEntryKeepsBothBlanks();
    void sameTopicKeepsItsPlace();
    void viewIsReadOnlyAndWraps();
    void locationDialog();
};

void TestHelp::topics_data()
{
    QTest::addColumn<int>("topic");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("outline");
    QTest::addColumn<QStringList>("terms");
    QTest::newRow("0") << 0 << QStringLiteral("Okno Ethernet")
                       << QStringList{"1 Tryby serwisowe kontrolera", "2 Instalacja", "2 Serwis", "2 Konfiguracja",
                                      "1 Inne urządzenia"}
                       << QStringList{"Instalacja", "Serwis", "Konfiguracja", "Blokada"};
    QTest::newRow("1") << 1 << QStringLiteral("Okno kontrolera")
                       << QStringList{"1 Okno wybranego kontrolera", "1 Lista urządzeń magistrali olmBUS",
                                      "2 Usuwanie urządzeń trwale odłączonych", "2 Wymiana uszkodzonego urządzenia"}
                       << QStringList{"(nieaktywny)", "(zasilanie!)", "(sabotaż)", "(nowy)", "Stary", "Nowy"};
    QTest::newRow("2") << 2 << QStringLiteral("Okno Przejścia")
                       << QStringList{"1 Koncepcja konfigurowalnych połączeń", "1 Konfiguracja połączeń",
                                      "2 Nazwa przejścia", "2 Wyjścia", "2 Wejścia", "2 Czytniki", "2 Śluzy",
                                      "2 Zapis konfiguracji", "2 Raport", "1 Testowanie instalacji", "2 Flagi",
                                      "2 Typ przejścia", "2 Czasy"}
                       << QStringList{"Rygiel", "Przypomnienie", "Alarm", "Uzbrojenie", "Strażnik", "On/Off",
                                      "Czujnik otwarcia", "Przycisk wyjścia", "Ewakuacja", "Uzbrojenie", "Dzwonek",
                                      "Tamper 1 – 3", "Brak zasilania AC", "Akumulator", "Otwieranie klamką",
                                      "Pełny impuls rygla", "Otwarte", "Normalne", "Bistabilne", "Astabilne",
                                      "Zablokowane", "Impuls otwarcia rygla", "Dozwolony czas otwarcia"};
}

void TestHelp::topics()
{
    QFETCH(int, topic);
    QFETCH(QString, caption);
    QFETCH(QStringList, outline);
    QFETCH(QStringList, terms);

    THelpWin help;
    QCOMPARE(help.currentTopic, -1);   // so even topic 0 loads on its first use
    help.ShowTopic(topic);
    QCOMPARE(help.currentTopic, topic);
    QCOMPARE(help.windowTitle(), caption);
    // The outline's headings at their levels, and the terms of the term lists, word for word.
    const Structure s = Read(help.HelpEdit->document());
    QCOMPARE(s.outline, outline);
    QCOMPARE(s.terms, terms);
    QVERIFY(s.bullets >= 2);
}

void TestHelp::emptyEntryKeepsBothBlanks()
{
    // The text of an unassigned function is "  -----", two blanks and five hyphens, as the pickers
    // show it; HTML would fold the blanks into one.
    THelpWin help;
    help.ShowTopic(2);
    QVERIFY(help.HelpEdit->toPlainText().contains(QStringLiteral("(„  -----”)")));
}

void TestHelp::sameTopicKeepsItsPlace()
{
    THelpWin help;
    help.resize(400, 300);
    help.show();
    QVERIFY(QTest::qWaitForWindowExposed(&help));
    help.ShowTopic(2);
    QScrollBar* bar = help.HelpEdit->verticalScrollBar();
    QVERIFY(bar->maximum() > 100);
    bar->setValue(bar->maximum() / 2);
    const int place = bar->value();
    const QString text = help.HelpEdit->toPlainText();

    help.ShowTopic(2);
    QCOMPARE(bar->value(), place);
    help.ShowTopic(7);   // no such topic: nothing changes
    QCOMPARE(help.currentTopic, 2);
    QCOMPARE(bar->value(), place);

    help.ShowTopic(1);
    QCOMPARE(help.windowTitle(), QStringLiteral("Okno kontrolera"));
    QCOMPARE(bar->value(), 0);
    QVERIFY(help.HelpEdit->toPlainText() != text);
}

void TestHelp::viewIsReadOnlyAndWraps()
{
    THelpWin help;
    QVERIFY(help.HelpEdit->isReadOnly());
    QCOMPARE(help.HelpEdit->lineWrapMode(), QTextEdit::WidgetWidth);
    QCOMPARE(help.HelpEdit->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(help.HelpEdit->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(help.size(), QSize(862, 639));

    help.show();
    QVERIFY(QTest::qWaitForWindowExposed(&help));
    QCOMPARE(help.HelpEdit->geometry(), QRect(3, 3, 856, 633));
    help.ShowTopic(0);
    const qreal wide = help.HelpEdit->document()->size().height();
    help.resize(300, 639);
    QTRY_VERIFY(help.HelpEdit->document()->size().height() > wide);   // the text wraps again
    QTest::keyClicks(help.HelpEdit, QStringLiteral("xyz"));
    QVERIFY(!help.HelpEdit->toPlainText().contains(QStringLiteral("xyz")));
}

void TestHelp::locationDialog()
{
    TLokalizDlg dlg;
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Lokalizacja"));
    QCOMPARE(dlg.size(), QSize(486, 118));
    QCOMPARE(dlg.minimumSize(), dlg.maximumSize());
    QCOMPARE(dlg.LokLb->text(), QStringLiteral("Opis lokalizacji kontrolera:"));
    QCOMPARE(dlg.OKBtn->text(), QStringLiteral("Zapisz"));
    QCOMPARE(dlg.CancelBtn->text(), QStringLiteral("Anuluj"));
    QCOMPARE(dlg.LokEdit->text(), QString());

    // At most 80 characters.
    dlg.open();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QTest::keyClicks(dlg.LokEdit, QString(85, QLatin1Char('x')));
    QCOMPARE(dlg.LokEdit->text().size(), 80);

    // Enter in the edit box closes with OK.
    dlg.LokEdit->setText(QStringLiteral("Hala 2, piętro 1"));
    QTest::keyClick(dlg.LokEdit, Qt::Key_Return);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QVERIFY(!dlg.isVisible());

    // Escape closes with Cancel and leaves the text for the next time.
    dlg.open();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QTest::keyClick(dlg.LokEdit, Qt::Key_Escape);
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QCOMPARE(dlg.LokEdit->text(), QStringLiteral("Hala 2, piętro 1"));
    // "Anuluj" cancels, "Zapisz" accepts; Enter on the focused "Anuluj" presses it.
    dlg.open();
    dlg.CancelBtn->click();
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    dlg.open();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.CancelBtn->setFocus();
    QTest::keyClick(dlg.CancelBtn, Qt::Key_Return);
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QVERIFY(!dlg.isVisible());
    dlg.open();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.LokEdit->setFocus();
    QTest::keyClick(dlg.LokEdit, Qt::Key_Return);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    dlg.open();
    dlg.OKBtn->click();
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
}

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
