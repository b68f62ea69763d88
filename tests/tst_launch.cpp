// Starts the real program on an X display, finds its window the way a window
// manager sees it, and closes it the way a window manager does: with a
// WM_DELETE_WINDOW client message. The program under test is the one named by
// BASTILO_EXE when that is set, so that the same check serves a packaged copy,
// else the one built beside the test (BASTILO_BUILT_EXE, set by CTest).
#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <functional>

namespace {

QString windowTitle(Display *display, Window window)
{
    const Atom netWmName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char *data = nullptr;
    QString title;
    if (XGetWindowProperty(display, window, netWmName, 0, 1024, False, utf8, &type, &format,
                           &count, &remaining, &data) == Success
        && data) {
        title = QString::fromUtf8(reinterpret_cast<const char *>(data), int(count));
    }
    if (data)
        XFree(data);
    if (title.isEmpty()) {
        char *name = nullptr;
        if (XFetchName(display, window, &name) && name) {
            title = QString::fromLocal8Bit(name);
            XFree(name);
        }
    }
    return title;
}

// Depth-first search of the window tree for a viewable window with `title`.
Window findWindow(Display *display, Window parent, const QString &title)
{
    Window root = 0;
    Window ignored = 0;
    Window *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, parent, &root, &ignored, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, children[i], &attributes)
            && attributes.map_state == IsViewable && windowTitle(display, children[i]) == title)
            found = children[i];
        else
            found = findWindow(display, children[i], title);
    }
    if (children)
        XFree(children);
    return found;
}

bool waitFor(const std::function<bool()> &condition, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.hasExpired(milliseconds))
            return false;
        QTest::qWait(50);
    }
    return true;
}

} // namespace

class TestLaunch : public QObject
{
    Q_OBJECT

private slots:
    void opensItsWindowAndEndsWhenClosed();
};

void TestLaunch::opensItsWindowAndEndsWhenClosed()
{
    QString program = qEnvironmentVariable("BASTILO_EXE");
    if (program.isEmpty())
        program = qEnvironmentVariable("BASTILO_BUILT_EXE");
    QVERIFY2(!program.isEmpty(), "BASTILO_EXE or BASTILO_BUILT_EXE names the program to start");
    qInfo("starting %s", qPrintable(program));
    QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "runs on an X display (xvfb-run)");

    Display *display = XOpenDisplay(nullptr);
    QVERIFY2(display, "the X display can be opened");
    auto closeDisplay = qScopeGuard([display] { XCloseDisplay(display); });

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, QStringList());
    QVERIFY2(process.waitForStarted(10000), qPrintable(process.errorString()));
    auto stopProcess = qScopeGuard([&process] {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    });

    Window window = 0;
    QVERIFY2(waitFor(
                 [&] {
                     window = findWindow(display, DefaultRootWindow(display),
                                         QStringLiteral("Bastilo"));
                     return window != 0 || process.state() == QProcess::NotRunning;
                 },
                 20000)
                 && window,
             "a window titled \"Bastilo\" appears");

    XWindowAttributes attributes;
    QVERIFY(XGetWindowAttributes(display, window, &attributes));
    QCOMPARE(attributes.width, 379);
    QCOMPARE(attributes.height, 332);

    // A window manager would not let the user resize it.
    XSizeHints hints;
    long supplied = 0;
    QVERIFY(XGetWMNormalHints(display, window, &hints, &supplied));
    QVERIFY((hints.flags & PMinSize) && (hints.flags & PMaxSize));
    QCOMPARE(QSize(hints.min_width, hints.min_height), QSize(379, 332));
    QCOMPARE(QSize(hints.max_width, hints.max_height), QSize(379, 332));

    XEvent close = {};
    close.xclient.type = ClientMessage;
    close.xclient.window = window;
    close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    QVERIFY(XSendEvent(display, window, False, NoEventMask, &close));
    XFlush(display);

    QVERIFY2(process.waitForFinished(10000), "the program ends once its window is closed");
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestLaunch)
#include "tst_launch.moc"
