// Renders the on/off switch in each of its states, on the window background of the theme.
#include "ShotWriter.h"

#include "app/OnOffSwitchControl.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QTest>

#include <functional>
#include <vector>

namespace {

// A window holding one switch per entry of `states`, each set up by `prepare`.
class Sample : public QWidget
{
public:
    Sample(const std::vector<int>& states, const std::function<void(OnOffSwitchControl&)>& prepare = {})
    {
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(10, 10, 10, 10);
        layout->setSpacing(12);
        for (const int state : states) {
            auto* control = new OnOffSwitchControl(this);
            if (prepare)
                prepare(*control);
            control->setState(state);
            layout->addWidget(control);
            m_switches.push_back(control);
        }
    }

    [[nodiscard]] OnOffSwitchControl& first() const { return *m_switches.front(); }

private:
    std::vector<OnOffSwitchControl*> m_switches;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc < 2) {
        qWarning("usage: %s <folder>", argv[0]);
        return 2;
    }
    const ShotWriter writer(application, QString::fromLocal8Bit(argv[1]));
    using S = OnOffSwitchControl;

    Sample off({S::Off});
    writer.save(QStringLiteral("switch-off"), off);
    Sample on({S::On});
    writer.save(QStringLiteral("switch-on"), on);
    Sample mixed({S::Off, S::Mixed, S::On}, [](S& control) { control.setAllowsMixedState(true); });
    writer.save(QStringLiteral("switch-mixed"), mixed);
    Sample disabled({S::Off, S::On}, [](S& control) { control.setEnabled(false); });
    writer.save(QStringLiteral("switch-disabled"), disabled);

    for (int scheme = 0; scheme <= 5; ++scheme) {
        Sample colours({S::Off, S::On}, [scheme](S& control) {
            control.cell().setOnOffSwitchControlColors(scheme);
            control.cell().setOnOffSwitchCustomOnColor(QColor(0x8e, 0x44, 0xad, 0xa0),
                                                       QColor(0xe6, 0x7e, 0x22, 0xa0));
        });
        writer.save(QStringLiteral("switch-scheme-%1").arg(scheme), colours);
    }

    Sample focused({S::Off});
    focused.show();
    focused.activateWindow();
    (void)QTest::qWaitForWindowActive(&focused, 2000);
    // By the Tab key, as a person moves the focus: the ring shows for keyboard focus only.
    QTest::keyClick(&focused, Qt::Key_Tab);
    writer.save(QStringLiteral("switch-focused"), focused);

    Sample dragged({S::Off});
    dragged.show();
    (void)QTest::qWaitForWindowExposed(&dragged, 2000);
    QTest::mousePress(&dragged.first(), Qt::LeftButton, {}, QPoint(15, 13));
    QTest::mouseMove(&dragged.first(), QPoint(38, 13));
    writer.save(QStringLiteral("switch-dragging"), dragged);
    qputenv("ZubOnOffButtonCellDebug", "1");
    writer.save(QStringLiteral("switch-dragging-debug"), dragged);
    QTest::mouseRelease(&dragged.first(), Qt::LeftButton, {}, QPoint(38, 13));

    return writer.allWritten() ? 0 : 1;
}
