#pragma once
#include <QDialog>

class QTextBrowser;

// The help window: one of three embedded topics as read-only rich text, shown modally by the
// "Pomoc" buttons of the main window. It lives for the whole run and remembers its topic, so a
// topic shown again keeps the place the user scrolled to.
class THelpWin : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTopicCount = 3;

    explicit THelpWin(QWidget* parent = nullptr);

    // Makes the view hold topic n (0 "Okno Ethernet", 1 "Okno kontrolera", 2 "Okno Przejścia").
    // The same topic again changes nothing; a number outside 0-2 is ignored.
    void ShowTopic(int n);

    static QString TopicCaption(int n);

    int currentTopic = -1;
    QTextBrowser* HelpEdit;
};
