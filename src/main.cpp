#include "mainwindow.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // The window has a fixed size in pixels, and a display with scaled text
    // would only grow its fonts, cutting the captions off. Scale the whole
    // window by the display's own factor (125 %, 150 %, ...), as Qt 6 does
    // by default; the user's QT_ENABLE_HIGHDPI_SCALING, QT_SCALE_FACTOR and
    // QT_SCREEN_SCALE_FACTORS still decide over this.
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
#endif
    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    const int status = app.exec();
    // On Wayland, Qt's teardown can hang for good once the window has gone:
    // a queued call may prepare a read of the display for the plugin's event
    // thread just before that thread is told to stop, and the thread stops
    // without cancelling it. The plugin's second event thread then waits in
    // wl_display_read_events for that read forever, and the application's
    // destructor waits for that thread. The user would be left with a process
    // and no window. Once the loop has ended there is nothing left to save or
    // release that the system does not reclaim, so there the process ends at
    // once with the loop's status. Elsewhere the teardown runs in full, so
    // that leak checks at exit see the whole program.
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
