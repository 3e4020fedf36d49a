#include "app/GradientView.h"

#include <QImage>
#include <QTest>

namespace {

QImage render(GradientView& view)
{
    view.resize(100, 60);
    return view.grab().toImage();
}

// Two colours are told apart by the grey level, within the rounding of the gradient.
bool near(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) <= 6 && std::abs(a.green() - b.green()) <= 6 &&
           std::abs(a.blue() - b.blue()) <= 6;
}

} // namespace

class GradientViewTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void defaultsRunFromLightGreyAtTheTopToDarkGreyAtTheBottom()
    {
        GradientView view;
        QCOMPARE(view.angle(), 270);
        QCOMPARE(view.startingColor(), QColor::fromRgbF(0.25f, 0.25f, 0.25f));
        QCOMPARE(view.endingColor(), QColor::fromRgbF(0.15f, 0.15f, 0.15f));
        const QImage image = render(view);
        QVERIFY2(near(image.pixelColor(50, 0), view.startingColor()),
                 qPrintable(image.pixelColor(50, 0).name()));
        QVERIFY(near(image.pixelColor(50, 59), view.endingColor()));
        // Across one row the colour does not change: the gradient runs straight down.
        QCOMPARE(image.pixelColor(0, 30), image.pixelColor(99, 30));
    }

    void angleZeroRunsFromLeftToRight()
    {
        GradientView view;
        view.setStartingColor(Qt::white);
        view.setEndingColor(Qt::black);
        view.setAngle(0);
        const QImage image = render(view);
        QVERIFY(near(image.pixelColor(0, 30), Qt::white));
        QVERIFY(near(image.pixelColor(99, 30), Qt::black));
        QCOMPARE(image.pixelColor(50, 0), image.pixelColor(50, 59));
        // At 45 degrees the starting colour sits in the bottom-left corner.
        view.setAngle(45);
        const QImage diagonal = render(view);
        QVERIFY(near(diagonal.pixelColor(0, 59), Qt::white));
        QVERIFY(near(diagonal.pixelColor(99, 0), Qt::black));
    }

    void equalOrMissingEndingColourFillsFlat()
    {
        GradientView view;
        view.setStartingColor(QColor(200, 40, 40));
        view.setEndingColor(QColor(200, 40, 40));
        QImage image = render(view);
        QCOMPARE(image.pixelColor(0, 0), QColor(200, 40, 40));
        QCOMPARE(image.pixelColor(99, 59), QColor(200, 40, 40));
        view.setEndingColor(QColor());
        image = render(view);
        QCOMPARE(image.pixelColor(0, 0), QColor(200, 40, 40));
        QCOMPARE(image.pixelColor(99, 59), QColor(200, 40, 40));
    }
};

QTEST_MAIN(GradientViewTest)
#include "GradientViewTest.moc"
