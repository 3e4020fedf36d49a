// Renders the preferences window (cleaning off and on, each popover open) and the About panel.
//   veltrane-shots-prefs <folder>     (VELTRANE_BUNDLE: the built Veltrane.app)
#include "ShotWriter.h"
#include "app/AboutPanel.h"
#include "app/AppDelegate.h"
#include "app/Popover.h"
#include "app/PrefsController.h"
#include "common/Names.h"
#include "platform/UserDefaults.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

// The window with one popover open: the part of the screen that holds both, as the user sees it.
QPixmap windowWithPopover(QMainWindow& window, Popover& popover)
{
    QApplication::processEvents();
    (void)QTest::qWaitForWindowExposed(&popover, 2000);
    QTest::qWait(100);
    const QRect area = window.frameGeometry().united(popover.frameGeometry()).adjusted(-8, -8, 8, 8);
    return window.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
}

} // namespace

int main(int argc, char* argv[])
{
    // The settings the window shows live in a home of its own, never the user's.
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    QApplication application(argc, argv);
    if (argc < 2 || !home.isValid()) {
        std::fprintf(stderr, "usage: veltrane-shots-prefs <folder>\n");
        return 2;
    }
    ShotWriter writer(application, QString::fromLocal8Bit(argv[1]));
    AppDelegate::initialize(qEnvironmentVariable("VELTRANE_BUNDLE"));
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    defaults.addSuiteNamed(Names::suiteName);

    QMenu menu(QStringLiteral("&Veltrane"));
    menu.addAction(QStringLiteral("&About Veltrane"));
    PrefsController controller(&menu);
    QMainWindow& window = *controller.prefsView();
    window.move(40, 40);
    writer.save(QStringLiteral("prefs-off"), window);
    defaults.setBool(true, Names::Keys::isRunning);
    QTest::qWait(400); // the switch may slide to its new place
    writer.save(QStringLiteral("prefs-on"), window);

    controller.togglePopover(
        controller.popover()->parentWidget()->findChild<QAbstractButton*>(QStringLiteral("popoverButton")));
    writer.save(QStringLiteral("prefs-popover"), windowWithPopover(window, *controller.popover()));
    controller.popover()->close();
    controller.togglePrefsPopover(controller.prefsPopoverButton());
    writer.save(QStringLiteral("prefs-startup-popover"),
                windowWithPopover(window, *controller.prefsPopover()));
    controller.prefsPopover()->close();

    AboutPanel about(QStringLiteral("Veltrane"),
                     AppDelegate::bundlePath() + QStringLiteral("/Contents/Resources/about.svg"),
                     AppDelegate::version());
    writer.save(QStringLiteral("about"), about);
    return writer.allWritten() ? 0 : 1;
}
