#include "app/OnOffSwitchControl.h"

#include <QAccessible>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

namespace {

// The thumb of a 100 x 30 frame: the inner rectangle is 98 wide, the thumb 0.45f of it.
constexpr double kThumbWidth = 98 * 0.44999998807907104;

bool near(double a, double b)
{
    return std::abs(a - b) < 1e-9;
}

} // namespace

class OnOffSwitchControlTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<OnOffSwitchControl> m_switch;

    // A visible 100 x 30 switch in the given state: presses redraw it, as the drag decision needs.
    OnOffSwitchControl& shownSwitch(int state, bool allowsMixed = false)
    {
        m_switch = std::make_unique<OnOffSwitchControl>();
        m_switch->setAllowsMixedState(allowsMixed);
        m_switch->setState(state);
        m_switch->setFixedSize(100, 30);
        m_switch->show();
        if (!QTest::qWaitForWindowExposed(m_switch.get()))
            qFatal("the switch was never shown");
        return *m_switch;
    }

    QRgb pixel(int x, int y) const { return m_switch->grab().toImage().pixel(x, y); }

private Q_SLOTS:
    void cleanup() { m_switch.reset(); }

    void geometryOfOneFrame()
    {
        OnOffSwitchControl control;
        auto& cell = control.cell();
        const QRectF frame(0, 0, 100, 30);
        QCOMPARE(cell.thumbRectInFrame(frame), QRectF(1, 1, kThumbWidth, 28));
        QVERIFY(near(cell.centerXForThumbWithFrame(frame), 1 + kThumbWidth / 2));
        control.setState(OnOffSwitchControl::On);
        QVERIFY(near(cell.thumbRectInFrame(frame).x(), 99 - kThumbWidth));
        control.setAllowsMixedState(true);
        control.setState(OnOffSwitchControl::Mixed);
        QVERIFY(near(cell.thumbRectInFrame(frame).x(), 1 + (98 - kThumbWidth) / 2));
        control.setState(7); // out of range: drawn at the left
        QVERIFY(near(cell.thumbRectInFrame(frame).x(), 1));

        control.setState(OnOffSwitchControl::Off);
        cell.startTrackingAt(QPointF(10, 15), &control, 0.0);
        cell.continueTracking(QPointF(10, 15), QPointF(40, 15), &control, 0.1);
        QVERIFY(near(cell.centerXForThumbWithFrame(frame), 31 + kThumbWidth / 2));
        cell.continueTracking(QPointF(40, 15), QPointF(300, 15), &control, 0.2);
        QVERIFY(near(cell.centerXForThumbWithFrame(frame), 100 - kThumbWidth - 1 + kThumbWidth / 2));
        cell.continueTracking(QPointF(300, 15), QPointF(-300, 15), &control, 0.3);
        QVERIFY(near(cell.centerXForThumbWithFrame(frame), 1 + kThumbWidth / 2));

        // Degenerate frames keep the thumb inside, and draw without harm.
        for (const QRectF& bad : {QRectF(), QRectF(5, 5, -10, -3), QRectF(0, 0, 1, 27)}) {
            const QRectF thumb = cell.thumbRectInFrame(bad);
            QVERIFY(thumb.width() >= 0 && thumb.height() >= 0);
            QVERIFY(cell.centerXForThumbWithFrame(bad) >= bad.x());
        }
        cell.stopTracking(QPointF(), QPointF(), nullptr, 0.4);
        control.resize(1, 27);
        QVERIFY(!control.grab().isNull());
        control.resize(0, 0);
        control.grab();
    }

    void clickAndDrag()
    {
        // A quick click moves the state by the button's own step, one toggled() and one clicked().
        auto& control = shownSwitch(OnOffSwitchControl::Off);
        QSignalSpy clicked(&control, &QAbstractButton::clicked);
        QSignalSpy toggled(&control, &QAbstractButton::toggled);
        QTest::mouseClick(&control, Qt::LeftButton, {}, QPoint(20, 15));
        QCOMPARE(control.state(), int(OnOffSwitchControl::On));
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(toggled.count(), 1);
        QTest::mouseClick(&control, Qt::LeftButton, {}, QPoint(20, 15));
        QCOMPARE(control.state(), int(OnOffSwitchControl::Off));

        // The cell itself leaves the state alone on a click.
        control.cell().startTrackingAt(QPointF(20, 15), &control, 1.0);
        control.cell().stopTracking(QPointF(20, 15), QPointF(22, 16), &control, 1.1);
        QCOMPARE(control.state(), int(OnOffSwitchControl::Off));

        auto drag = [&](int from, int to, int releaseDelay = -1) {
            QTest::mousePress(&control, Qt::LeftButton, {}, QPoint(from, 15));
            if (to != from)
                QTest::mouseMove(&control, QPoint(to, 15));
            QTest::mouseRelease(&control, Qt::LeftButton, {}, QPoint(to, 15), releaseDelay);
        };
        drag(20, 40); // short of the middle
        QCOMPARE(control.state(), int(OnOffSwitchControl::Off));
        drag(20, 70); // past the middle
        QCOMPARE(control.state(), int(OnOffSwitchControl::On));
        drag(80, 80, 500); // held still longer than a click: the thumb's place decides
        QCOMPARE(control.state(), int(OnOffSwitchControl::On));
        control.setState(OnOffSwitchControl::Off);
        drag(20, 20, 500);
        QCOMPARE(control.state(), int(OnOffSwitchControl::Off));
        drag(50, 5); // leftward and quick: a click
        QCOMPARE(control.state(), int(OnOffSwitchControl::On));

        // A drag that leaves the window: the thumb stays in the track, the release outside decides.
        control.setState(OnOffSwitchControl::Off);
        clicked.clear();
        QTest::mousePress(&control, Qt::LeftButton, {}, QPoint(20, 15));
        QTest::mouseMove(&control, QPoint(400, 15));
        QVERIFY(control.cell().centerXForThumbWithFrame(control.rect()) <= 99 - kThumbWidth / 2 + 1e-9);
        QTest::mouseRelease(&control, Qt::LeftButton, {}, QPoint(400, 300));
        QCOMPARE(control.state(), int(OnOffSwitchControl::On));
        QCOMPARE(clicked.count(), 1);

        // A release without a press changes nothing.
        QTest::mouseRelease(&control, Qt::LeftButton, {}, QPoint(20, 15));
        QCOMPARE(control.state(), int(OnOffSwitchControl::On));
    }

    void dragWithMixedAllowed()
    {
        auto& control = shownSwitch(OnOffSwitchControl::Off, true);
        QTest::mousePress(&control, Qt::LeftButton, {}, QPoint(20, 15));
        QTest::mouseMove(&control, QPoint(48, 15));
        QTest::mouseRelease(&control, Qt::LeftButton, {}, QPoint(48, 15));
        QCOMPARE(control.state(), int(OnOffSwitchControl::Mixed));
        QVERIFY(near(control.cell().thumbRectInFrame(control.rect()).x(), 1 + (98 - kThumbWidth) / 2));
        // Clicks cycle on -> off -> mixed -> on.
        QTest::mouseClick(&control, Qt::LeftButton, {}, QPoint(50, 15));
        QCOMPARE(control.state(), int(OnOffSwitchControl::On));
        QTest::mouseClick(&control, Qt::LeftButton, {}, QPoint(50, 15));
        QCOMPARE(control.state(), int(OnOffSwitchControl::Off));
        QTest::mouseClick(&control, Qt::LeftButton, {}, QPoint(50, 15));
        QCOMPARE(control.state(), int(OnOffSwitchControl::Mixed));
    }

    void arrowKeys_data()
    {
        QTest::addColumn<bool>("mixed");
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("after");
        QTest::addColumn<int>("beeps");
        using S = OnOffSwitchControl;
        QTest::newRow("right off") << false << int(S::Off) << int(Qt::Key_Right) << int(S::On) << 0;
        QTest::newRow("right on beeps") << false << int(S::On) << int(Qt::Key_Right) << int(S::On) << 1;
        QTest::newRow("left on") << false << int(S::On) << int(Qt::Key_Left) << int(S::Off) << 0;
        QTest::newRow("left off beeps") << false << int(S::Off) << int(Qt::Key_Left) << int(S::Off) << 1;
        QTest::newRow("mixed right off") << true << int(S::Off) << int(Qt::Key_Right) << int(S::Mixed) << 0;
        QTest::newRow("mixed right mixed") << true << int(S::Mixed) << int(Qt::Key_Right) << int(S::On) << 0;
        QTest::newRow("mixed left on") << true << int(S::On) << int(Qt::Key_Left) << int(S::Mixed) << 0;
        QTest::newRow("mixed left mixed") << true << int(S::Mixed) << int(Qt::Key_Left) << int(S::Off) << 0;
        QTest::newRow("mixed right on beeps") << true << int(S::On) << int(Qt::Key_Right) << int(S::On) << 1;
        QTest::newRow("out of range right") << false << 7 << int(Qt::Key_Right) << 7 << 0;
        QTest::newRow("out of range left") << true << 7 << int(Qt::Key_Left) << 7 << 0;
        QTest::newRow("space clicks") << false << int(S::Off) << int(Qt::Key_Space) << int(S::On) << 0;
    }

    void arrowKeys()
    {
        QFETCH(bool, mixed);
        QFETCH(int, before);
        QFETCH(int, key);
        QFETCH(int, after);
        QFETCH(int, beeps);
        OnOffSwitchControl control;
        control.setAllowsMixedState(mixed);
        control.setState(before);
        QSignalSpy beeped(&control, &OnOffSwitchControl::beeped);
        QSignalSpy clicked(&control, &QAbstractButton::clicked);
        QTest::keyPress(&control, Qt::Key(key));
        QCOMPARE(control.state(), before); // the press is swallowed
        QTest::keyRelease(&control, Qt::Key(key));
        QCOMPARE(control.state(), after);
        QCOMPARE(beeped.count(), beeps);
        // Only the base button's own key (space) sends the action.
        QCOMPARE(clicked.count(), key == Qt::Key_Space ? 1 : 0);
        QTest::keyRelease(&control, Qt::Key(key)); // a release without a press: no crash
    }

    void renderedPixels()
    {
        auto isGrey = [](QRgb c) {
            return std::abs(qRed(c) - qBlue(c)) < 12 && std::abs(qRed(c) - qGreen(c)) < 12;
        };
        auto isWhite = [](QRgb c) { return qRed(c) > 225 && qGreen(c) > 225 && qBlue(c) > 225; };
        auto& control = shownSwitch(OnOffSwitchControl::Off);
        QVERIFY(isWhite(pixel(23, 20)));
        QVERIFY(isGrey(pixel(75, 25))); // scheme 2 draws no off tint
        QVERIFY(!isWhite(pixel(75, 25)));

        control.setState(OnOffSwitchControl::On);
        QVERIFY(isWhite(pixel(77, 20)));
        QVERIFY(!isWhite(pixel(23, 20)));
        const QRgb tint = pixel(25, 25);
        QVERIFY2(qBlue(tint) > qRed(tint) + 100 && qBlue(tint) > qGreen(tint) + 60,
                 qPrintable(QColor(tint).name()));

        control.setEnabled(false);
        const QRgb washed = pixel(25, 25);
        QVERIFY2(qRed(washed) > qRed(tint) + 60 && qGreen(washed) > qGreen(tint) + 40,
                 qPrintable(QColor(washed).name()));
        QVERIFY(isWhite(pixel(77, 20)));
        control.setEnabled(true);

        control.cell().setOnOffSwitchControlColors(OnOffSwitchControlCell::OnOffSwitchColorsGreenRed);
        control.setState(OnOffSwitchControl::Off);
        const QRgb red = pixel(75, 25);
        QVERIFY2(qRed(red) > qGreen(red) + 60 && qRed(red) > qBlue(red) + 60, qPrintable(QColor(red).name()));
        for (int scheme : {0, 5}) {
            control.cell().setOnOffSwitchControlColors(scheme);
            control.setState(OnOffSwitchControl::On);
            QVERIFY(isGrey(pixel(25, 25)));
            control.setState(OnOffSwitchControl::Off);
            QVERIFY(isGrey(pixel(75, 25)));
        }
    }

    void accessibleAndTabFocus()
    {
        QWidget window;
        auto* field = new QLineEdit(&window);
        auto* control = new OnOffSwitchControl(&window);
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(field);
        layout->addWidget(control);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        field->setFocus();
        QTest::keyClick(field, Qt::Key_Tab);
        QVERIFY(control->hasFocus());

        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
        QVERIFY(accessible);
        QCOMPARE(accessible->role(), QAccessible::Button);
        QVERIFY(!accessible->text(QAccessible::Name).isEmpty());
        QVERIFY(accessible->state().checkable);
        QVERIFY(!accessible->state().checked);
        QVERIFY(accessible->state().focused);
        control->setState(OnOffSwitchControl::On);
        QVERIFY(accessible->state().checked);
        control->setAllowsMixedState(true);
        control->setState(OnOffSwitchControl::Mixed);
        QVERIFY(accessible->state().checkStateMixed && !accessible->state().checked);
        accessible->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QCOMPARE(control->state(), int(OnOffSwitchControl::On));
    }
};

QTEST_MAIN(OnOffSwitchControlTest)
#include "OnOffSwitchControlTest.moc"
