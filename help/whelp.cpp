#include "help/whelp.h"

#include <QFile>
#include <QScrollBar>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

struct Topic {
    const char* caption;   // UTF-8
    const char* resource;
};

constexpr Topic kTopics[THelpWin::kTopicCount] = {
    {"Okno Ethernet", ":/help/ethernet.html"},
    {"Okno kontrolera", ":/help/controller.html"},
    {"Okno Przejścia", ":/help/doors.html"},
};

}  // namespace

THelpWin::THelpWin(QWidget* parent) : QDialog(parent)
{
    setObjectName("HelpWin");
    // A help text wants the full window decorations, resizing included.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    resize(862, 639);

    QFont font("Tahoma");
    font.setPixelSize(11);
    setFont(font);

    HelpEdit = new QTextBrowser(this);
    HelpEdit->setObjectName("HelpEdit");
    HelpEdit->setReadOnly(true);
    HelpEdit->setOpenLinks(false);
    HelpEdit->setLineWrapMode(QTextEdit::WidgetWidth);
    HelpEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    HelpEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(3, 3, 3, 3);
    layout->addWidget(HelpEdit);
}

QString THelpWin::TopicCaption(int n)
{
    if (n < 0 || n >= kTopicCount) return {};
    return QString::fromUtf8(kTopics[n].caption);
}

void THelpWin::ShowTopic(int n)
{
    if (n == currentTopic || n < 0 || n >= kTopicCount) return;
    currentTopic = n;
    setWindowTitle(TopicCaption(n));

    // The topics are part of the program; a resource that fails to open is a build fault.
    QFile file(QString::fromLatin1(kTopics[n].resource));
    const bool opened = file.open(QIODevice::ReadOnly);
    Q_ASSERT(opened);
    HelpEdit->clear();
    HelpEdit->setHtml(opened ? QString::fromUtf8(file.readAll()) : QString());
    HelpEdit->verticalScrollBar()->setValue(0);
}
