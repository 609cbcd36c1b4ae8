// The application object that both window programs make: the window's icon comes from the
// resources, in every size that the build rendered from the project's SVG.
#include <QIcon>

#include "app/program.h"
#include "rig.h"

class TestProgram : public QObject {
    Q_OBJECT
private slots:
    void windowHasTheProgramIconInEverySize();
};

void TestProgram::windowHasTheProgramIconInEverySize()
{
    SimLan lan;
    Rig rig(lan);
    const QIcon icon = rig.win->windowIcon();
    const QList<QSize> sizes = icon.availableSizes();
    for (const int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QVERIFY2(sizes.contains(QSize(side, side)), qPrintable(QStringLiteral("no %1 px icon").arg(side)));
        // Drawn, not blank: the middle of the icon is opaque.
        const QImage image = icon.pixmap(QSize(side, side)).toImage();
        QCOMPARE(image.size(), QSize(side, side));
        QCOMPARE(qAlpha(image.pixel(side / 2, side / 2)), 255);
    }
    QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral("olmconfig"));
}

int main(int argc, char** argv)
{
    OlmApplication app(argc, argv);
    TestProgram test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_program.moc"
