#include "mainwindow.h"

#include <QApplication>

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
    return app.exec();
}
