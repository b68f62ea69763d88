// Starts the real program on an X display, finds its window the way a window
// manager sees it, and closes it the way a window manager does: with a
// WM_DELETE_WINDOW client message. The program under test is the one named by
// BASTILO_EXE when that is set, so that the same check serves a packaged copy,
// else the one built beside the test (BASTILO_BUILT_EXE, set by CTest).
// It also starts the program from its menu entry, as a desktop's menu does.
//
// The display announces its text scaling as desktops do, with Xft.dpi in the
// root window's resources, and the whole window must grow with it.
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QtTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <spawn.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <vector>

extern char **environ;

namespace {

// The program as a child of this test. Only a process that this test started
// itself, with a known id above 0, is ever signalled: kill() given 0 or -1
// would reach a whole process group, or every process of the machine.
class Child
{
public:
    Child() = default;
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;

    ~Child()
    {
        if (running()) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    // Starts `program` with `options`, and with this test's environment and
    // `settings` (NAME=VALUE) in it; returns why it could not, or an empty string.
    QString start(const QString &program, const QByteArrayList &options,
                  const QByteArrayList &settings)
    {
        const QByteArray path = QFile::encodeName(program);
        std::vector<char *> arguments = {const_cast<char *>(path.constData())};
        for (const QByteArray &option : options)
            arguments.push_back(const_cast<char *>(option.constData()));
        arguments.push_back(nullptr);
        std::vector<char *> environment;
        for (const QByteArray &setting : settings)
            environment.push_back(const_cast<char *>(setting.constData()));
        for (char **variable = environ; *variable; ++variable) {
            const QByteArray name = QByteArray(*variable).split('=').first() + '=';
            if (std::none_of(settings.begin(), settings.end(),
                             [&name](const QByteArray &setting) { return setting.startsWith(name); }))
                environment.push_back(*variable);
        }
        environment.push_back(nullptr);

        pid_t pid = 0;
        const int error = posix_spawn(&pid, path.constData(), nullptr, nullptr, arguments.data(),
                                      environment.data());
        if (error != 0)
            return QStringLiteral("could not start %1: %2")
                .arg(program, QString::fromLocal8Bit(std::strerror(error)));
        if (pid <= 0)
            return QStringLiteral("started %1, but was told its process id is %2; not knowing "
                                  "which process it is, the test will not signal it")
                .arg(program)
                .arg(pid);
        pid_ = pid;
        return QString();
    }

    // Watches a process that some other program started: it becomes this
    // test's child when that program ends, where this test is its subreaper.
    void adopt(pid_t pid) { pid_ = pid; }

    bool running()
    {
        if (pid_ > 0 && !exited_) {
            const pid_t done = ::waitpid(pid_, &status_, WNOHANG);
            known_ = done == pid_;
            exited_ = known_;
            if (done < 0 && errno == ECHILD) {
                // Another process's child: it has ended once it is gone, or a
                // zombie, whose exit status the kernel shows until it is reaped.
                const QByteArrayList stat = statFields();
                exited_ = stat.isEmpty() || stat[0] == "Z";
                known_ = stat.size() > 49 && stat[0] == "Z";
                if (known_)
                    status_ = stat[49].toInt();
            }
        }
        return pid_ > 0 && !exited_;
    }

    bool statusKnown() const { return known_; }

    // How it ended, as a shell puts it: "exit status 0", say.
    QString ending() const
    {
        if (!known_)
            return QStringLiteral("ended; its exit status went to another process");
        return WIFEXITED(status_) ? QStringLiteral("exit status %1").arg(WEXITSTATUS(status_))
                                  : QStringLiteral("killed by signal %1").arg(WTERMSIG(status_));
    }

private:
    // The fields of /proc/PID/stat from the state on (field 3), or none where
    // the process is gone; field 52 is the exit status of a zombie.
    QByteArrayList statFields() const
    {
        QFile file(QStringLiteral("/proc/%1/stat").arg(pid_));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QByteArray stat = file.readAll();
        return stat.mid(stat.lastIndexOf(')') + 2).trimmed().split(' ');
    }

    pid_t pid_ = 0;
    bool exited_ = false;
    bool known_ = false;
    int status_ = 0;
};

// Announces `dpi` as the display's text resolution, as a desktop's settings
// do; Qt reads it when the program connects.
void setXftDpi(Display *display, int dpi)
{
    const QByteArray resources = "Xft.dpi:\t" + QByteArray::number(dpi) + "\n";
    XChangeProperty(display, DefaultRootWindow(display), XA_RESOURCE_MANAGER, XA_STRING, 8,
                    PropModeReplace, reinterpret_cast<const unsigned char *>(resources.constData()),
                    resources.size());
    XSync(display, False);
}

// The items of a property of `window` of the given type: bytes of text, or
// atoms (which Xlib hands over as longs whatever the property's 32 bits).
template <typename Item>
QVector<Item> windowProperty(Display *display, Window window, const char *name, Atom type)
{
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char *data = nullptr;
    QVector<Item> items;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1024, False,
                           type, &actualType, &format, &count, &remaining, &data) == Success
        && data)
        items = QVector<Item>(reinterpret_cast<Item *>(data), reinterpret_cast<Item *>(data) + count);
    if (data)
        XFree(data);
    return items;
}

// Its title as a window manager reads it: _NET_WM_NAME, else the older WM_NAME.
QString windowTitle(Display *display, Window window)
{
    QVector<char> name = windowProperty<char>(display, window, "_NET_WM_NAME",
                                              XInternAtom(display, "UTF8_STRING", False));
    if (name.isEmpty())
        name = windowProperty<char>(display, window, "WM_NAME", XA_STRING);
    return QString::fromLatin1(name.constData(), name.size());
}

// The states the window asks the window manager for (_NET_WM_STATE), by name.
QStringList windowStates(Display *display, Window window)
{
    QStringList states;
    for (const Atom state : windowProperty<Atom>(display, window, "_NET_WM_STATE", XA_ATOM)) {
        char *name = XGetAtomName(display, state);
        states << QString::fromLatin1(name);
        XFree(name);
    }
    return states;
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

// The viewable windows at the top of the tree: with no window manager, the
// top-level windows of every client, as a user would see them.
QVector<Window> viewableTopLevels(Display *display)
{
    Window root = 0;
    Window parent = 0;
    Window *children = nullptr;
    unsigned int count = 0;
    QVector<Window> viewable;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count; ++i) {
            XWindowAttributes attributes;
            if (XGetWindowAttributes(display, children[i], &attributes)
                && attributes.map_state == IsViewable)
                viewable << children[i];
        }
    }
    if (children)
        XFree(children);
    return viewable;
}

// Closes `window` as a window manager does: a WM_DELETE_WINDOW client message.
bool closeAsWindowManager(Display *display, Window window)
{
    XEvent close = {};
    close.xclient.type = ClientMessage;
    close.xclient.window = window;
    close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(display, window, False, NoEventMask, &close);
    XFlush(display);
    return sent;
}

// The keys of a menu entry's [Desktop Entry] group, by name.
QHash<QString, QString> entryKeys(const QString &entry)
{
    QFile file(entry);
    QHash<QString, QString> keys;
    bool inEntry = false;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return keys;
    const QRegularExpression pair(QStringLiteral("^([A-Za-z0-9-]+)\\s*=\\s*(.*)$"));
    for (const QString &line : QString::fromUtf8(file.readAll()).split('\n')) {
        if (line.startsWith('['))
            inEntry = line.trimmed() == QLatin1String("[Desktop Entry]");
        const QRegularExpressionMatch match = pair.match(line);
        if (inEntry && match.hasMatch())
            keys.insert(match.captured(1), match.captured(2).trimmed());
    }
    return keys;
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
    void opensItsWindowAndEndsWhenClosed_data();
    void opensItsWindowAndEndsWhenClosed();
    void startsFromItsMenuEntry();
};

void TestLaunch::opensItsWindowAndEndsWhenClosed_data()
{
    QTest::addColumn<int>("dpi");
    QTest::addColumn<QByteArray>("setting"); // the user's own, if any
    QTest::addColumn<QSize>("size");         // in the display's pixels; invalid: grown alike

    QTest::newRow("100 %") << 96 << QByteArray() << QSize(379, 332);
    QTest::newRow("125 %") << 120 << QByteArray() << QSize(474, 415);
    QTest::newRow("150 %") << 144 << QByteArray() << QSize(569, 498);
    QTest::newRow("200 %") << 192 << QByteArray() << QSize(758, 664);
    // What the user tells Qt still goes. Unscaled, the fonts still grow with
    // the display's text scaling, and the window with them to fit them.
    QTest::newRow("150 %, scaling off")
        << 144 << QByteArray("QT_ENABLE_HIGHDPI_SCALING=0") << QSize();
    QTest::newRow("100 %, scale factor 2")
        << 96 << QByteArray("QT_SCALE_FACTOR=2") << QSize(758, 664);
    QTest::newRow("100 %, screen scale factor 1.5")
        << 96 << QByteArray("QT_SCREEN_SCALE_FACTORS=1.5") << QSize(569, 498);
}

void TestLaunch::opensItsWindowAndEndsWhenClosed()
{
    QFETCH(int, dpi);
    QFETCH(QByteArray, setting);
    QFETCH(QSize, size);

    QString program = qEnvironmentVariable("BASTILO_EXE");
    if (program.isEmpty())
        program = qEnvironmentVariable("BASTILO_BUILT_EXE");
    QVERIFY2(!program.isEmpty(), "BASTILO_EXE or BASTILO_BUILT_EXE names the program to start");
    qInfo("starting %s", qPrintable(program));
    QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "runs on an X display (xvfb-run)");

    Display *display = XOpenDisplay(nullptr);
    QVERIFY2(display, "the X display can be opened");
    auto closeDisplay = qScopeGuard([display] { XCloseDisplay(display); });

    setXftDpi(display, dpi);

    Child child;
    QByteArrayList settings = {"QT_QPA_PLATFORM=xcb"};
    if (!setting.isEmpty())
        settings << setting;
    const QString failure = child.start(program, {}, settings);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));

    Window window = 0;
    QVERIFY2(waitFor(
                 [&] {
                     window = findWindow(display, DefaultRootWindow(display),
                                         QStringLiteral("Bastilo"));
                     return window != 0 || !child.running();
                 },
                 20000)
                 && window,
             "a window titled \"Bastilo\" appears");

    XWindowAttributes attributes;
    QVERIFY(XGetWindowAttributes(display, window, &attributes));
    const QSize shown(attributes.width, attributes.height);
    if (size.isValid())
        QCOMPARE(shown, size);
    else
        QVERIFY2(shown.width() > 379 && qAbs(shown.height() * 379 - shown.width() * 332) <= 379,
                 qPrintable(QStringLiteral("%1 x %2: larger than 379 x 332, grown alike across and down")
                                .arg(shown.width()).arg(shown.height())));

    // A plain window: neither maximised, full-screen nor minimised.
    QCOMPARE(windowStates(display, window), QStringList());

    // A window manager would not let the user resize it.
    XSizeHints hints;
    long supplied = 0;
    QVERIFY(XGetWMNormalHints(display, window, &hints, &supplied));
    QVERIFY((hints.flags & PMinSize) && (hints.flags & PMaxSize));
    QCOMPARE(QSize(hints.min_width, hints.min_height), shown);
    QCOMPARE(QSize(hints.max_width, hints.max_height), shown);

    QVERIFY(closeAsWindowManager(display, window));
    QVERIFY2(waitFor([&] { return !child.running(); }, 10000),
             "the program ends once its window is closed");
    QCOMPARE(child.ending(), QStringLiteral("exit status 0"));
}

// The program started from its menu entry as a desktop's menu starts it, by
// GLib's `gio launch`: the entry named by BASTILO_DESKTOP_ENTRY (the installed
// one, in the package's autopkgtest), else the source's own entry with the
// program built here first on the PATH. Exactly one window comes, of the class
// the entry names, so that the desktop shows the entry's name and icon for it.
void TestLaunch::startsFromItsMenuEntry()
{
    QString entry = qEnvironmentVariable("BASTILO_DESKTOP_ENTRY");
    QByteArrayList settings = {"QT_QPA_PLATFORM=xcb"};
    if (entry.isEmpty()) {
        entry = qEnvironmentVariable("BASTILO_SOURCE_ENTRY");
        const QString built = QFileInfo(qEnvironmentVariable("BASTILO_BUILT_EXE")).absolutePath();
        settings << "PATH=" + QFile::encodeName(built) + ':' + qgetenv("PATH");
    }
    QVERIFY2(QFile::exists(entry), qPrintable("the menu entry " + entry + " is there"));
    const QHash<QString, QString> keys = entryKeys(entry);
    // Every desktop's menu shows it.
    for (const char *key : {"NoDisplay", "Hidden", "OnlyShowIn", "NotShowIn"}) {
        const QString value = keys.value(QLatin1String(key));
        QVERIFY2(value.isEmpty() || value == QLatin1String("false"),
                 qPrintable(QStringLiteral("the entry says %1=%2: some or all menus leave it out")
                                .arg(QLatin1String(key), value)));
    }
    qInfo("launching %s", qPrintable(entry));
    const QString gio = qEnvironmentVariable("BASTILO_GIO");
    QVERIFY2(!gio.isEmpty(), "BASTILO_GIO names GLib's gio, as CMake found it");

    // gio hands the program over and exits; the program then comes to this
    // test, its subreaper, rather than to the first process of the machine,
    // which may reap it unseen or never. qemu's user emulation has no
    // subreapers: there the program's exit status is seen only where it
    // waits as a zombie.
    const bool subreaper = ::prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
    if (!subreaper)
        qInfo("this test cannot be a subreaper here: %s", std::strerror(errno));
    Display *display = XOpenDisplay(nullptr);
    QVERIFY2(display, "the X display can be opened");
    auto closeDisplay = qScopeGuard([display] { XCloseDisplay(display); });
    setXftDpi(display, 96);

    Child launcher;
    const QString failure = launcher.start(gio, {"launch", QFile::encodeName(entry)}, settings);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY2(waitFor([&] { return !launcher.running(); }, 20000), "gio launch hands over and ends");
    QVERIFY2(launcher.ending() == QLatin1String("exit status 0"),
             qPrintable("gio launch " + entry + " failed (" + launcher.ending()
                        + "); it says why above"));

    Window window = 0;
    QVERIFY2(waitFor(
                 [&] {
                     window = findWindow(display, DefaultRootWindow(display),
                                         QStringLiteral("Bastilo"));
                     return window != 0;
                 },
                 20000),
             "a window titled \"Bastilo\" appears");
    // Whatever else the entry starts (a terminal, say) has had time to show.
    QTest::qWait(1000);
    QStringList shown;
    for (const Window topLevel : viewableTopLevels(display))
        shown << windowTitle(display, topLevel);
    QVERIFY2(shown == QStringList(QStringLiteral("Bastilo")),
             qPrintable("one window titled \"Bastilo\" shows, not \"" + shown.join("\", \"") + '"'));

    XClassHint hint = {};
    QVERIFY(XGetClassHint(display, window, &hint));
    const QString windowClass = QString::fromLatin1(hint.res_class);
    XFree(hint.res_name);
    XFree(hint.res_class);
    // A desktop ties a window to the entry whose StartupWMClass is the
    // window's class (else whose name is), to show its name and icon for it.
    const QString entryClass = keys.value(QStringLiteral("StartupWMClass"),
                                          QFileInfo(entry).completeBaseName());
    QVERIFY2(windowClass == entryClass,
             qPrintable("the window's class is \"" + windowClass + "\", and the entry's StartupWMClass \""
                        + entryClass + "\": a desktop would not tie the window to its entry"));

    const QVector<unsigned long> pid =
        windowProperty<unsigned long>(display, window, "_NET_WM_PID", XA_CARDINAL);
    QVERIFY2(pid.size() == 1 && pid[0] > 0, "the window names its process (_NET_WM_PID)");
    Child program;
    program.adopt(pid_t(pid[0]));
    QVERIFY(closeAsWindowManager(display, window));
    QVERIFY2(waitFor([&] { return !program.running(); }, 10000),
             "the program ends once its window is closed");
    if (subreaper || program.statusKnown())
        QCOMPARE(program.ending(), QStringLiteral("exit status 0"));
    else
        qWarning("the program ended, but with no subreaper here its exit status went to another "
                 "process: not checked");
}

QTEST_GUILESS_MAIN(TestLaunch)
#include "tst_launch.moc"
