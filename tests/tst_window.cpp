// The window as the user first meets it: start-up state, the Nature switch,
// the bias slider and the spare-EV box, all driven by real input events.
#include "uidriver.h"

#include "mainwindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>

#include <memory>

using uidriver::find;

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startsInItsInitialState();
    void captionsNameTheirControls_data();
    void captionsNameTheirControls();
    void natureBoxEnablesTheChoice();
    void natureCaptionTogglesNothing();
    void radioButtonsAreExclusive();
    void biasReadOutFollowsKeyboardSteps_data();
    void biasReadOutFollowsKeyboardSteps();
    void biasReadOutWaitsForHandleRelease();
    void spinBoxesStepAndClamp_data();
    void spinBoxesStepAndClamp();

private:
    std::unique_ptr<MainWindow> window;
};

void TestWindow::init()
{
    // Garbage in the spread result shows whether the window really resets it.
    opSpread[0] = opSpread[1] = opSpread[2] = -1;
    resHarm = 42.0;
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestWindow::cleanup()
{
    window.reset();
}

void TestWindow::startsInItsInitialState()
{
    // Its size depends on the look; tst_fit checks it on an X display.
    QCOMPARE(window->windowTitle(), QStringLiteral("Bastilo"));

    QCOMPARE(find<QSpinBox>(window.get(), "sbxSpareEvs")->value(), 510);
    QCOMPARE(find<QSpinBox>(window.get(), "sbxHP")->value(), 75);
    QCOMPARE(find<QSpinBox>(window.get(), "sbxDef")->value(), 95);
    QCOMPARE(find<QSpinBox>(window.get(), "sbxSpDef")->value(), 95);
    QCOMPARE(find<QSlider>(window.get(), "hrsDefType")->value(), 50);
    QVERIFY(!find<QCheckBox>(window.get(), "cbxNature")->isChecked());

    auto *def = find<QRadioButton>(window.get(), "rbtDef");
    auto *spDef = find<QRadioButton>(window.get(), "rbtSpDef");
    QVERIFY(!def->isEnabled());
    QVERIFY(!spDef->isEnabled());
    QVERIFY(def->isChecked());
    QVERIFY(!spDef->isChecked());

    QCOMPARE(find<QLabel>(window.get(), "lblResBias")->text(), QStringLiteral("0.5"));
    QCOMPARE(find<QLabel>(window.get(), "lblResHarm")->text(), QStringLiteral("0.0"));
    for (const char *name : {"lblResHP", "lblResDef", "lblResSpDef", "lblResHPStat",
                             "lblResDefStat", "lblResSpDefStat"})
        QVERIFY2(find<QLabel>(window.get(), name)->text().isEmpty(), name);

    QCOMPARE(opSpread[0], 0);
    QCOMPARE(opSpread[1], 0);
    QCOMPARE(opSpread[2], 0);
    QCOMPARE(resHarm, 0.0);
}

// What each control and read-out is for, as the user reads it: the caption
// beside it, or its own text.
void TestWindow::captionsNameTheirControls_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("side"); // 0: the control's own text
    QTest::addColumn<QString>("caption");
    const struct {
        const char *control;
        int side;
        const char *caption;
    } rows[] = {{"sbxSpareEvs", Qt::TopEdge, "EVs Spare:"}, {"sbxHP", Qt::LeftEdge, "Base HP:"},
                {"sbxDef", Qt::LeftEdge, "Base Def:"},    {"sbxSpDef", Qt::LeftEdge, "Base SpDef:"},
                {"cbxNature", Qt::LeftEdge, "Defensive Nature"}, {"rbtDef", 0, "Def"},
                {"rbtSpDef", 0, "SpDef"},  {"hrsDefType", Qt::TopEdge, "Type of defence desired:"},
                {"btnGo", 0, "Calculate Spread"}, {"formLayoutWidget_2", Qt::TopEdge, "Suggested EV Spread:"},
                {"lblResHP", Qt::LeftEdge, "HP:"}, {"lblResDef", Qt::LeftEdge, "Def:"},
                {"lblResSpDef", Qt::LeftEdge, "SpDef:"}, {"formLayoutWidget_3", Qt::TopEdge, "Giving stats:"},
                {"lblResHPStat", Qt::LeftEdge, "HP:"}, {"lblResDefStat", Qt::LeftEdge, "Def:"},
                {"lblResSpDefStat", Qt::LeftEdge, "SpDef:"}, {"lblResBias", Qt::LeftEdge, "Bias:"},
                {"lblResHarm", Qt::TopEdge, "Giving overall harm:"}};
    for (const auto &row : rows)
        QTest::newRow(row.control) << row.control << row.side << row.caption;
}

void TestWindow::captionsNameTheirControls()
{
    QFETCH(QString, control);
    QFETCH(int, side);
    QFETCH(QString, caption);
    const QWidget *widget = find<QWidget>(window.get(), qPrintable(control));
    if (side == 0) {
        QCOMPARE(qobject_cast<const QAbstractButton *>(widget)->text(), caption);
    } else {
        const QLabel *beside = uidriver::captionBeside(window.get(), widget, Qt::Edge(side));
        QVERIFY2(beside, "a caption stands there");
        QCOMPARE(beside->text(), caption);
    }
}

void TestWindow::natureBoxEnablesTheChoice()
{
    auto *nature = find<QCheckBox>(window.get(), "cbxNature");
    auto *def = find<QRadioButton>(window.get(), "rbtDef");
    auto *spDef = find<QRadioButton>(window.get(), "rbtSpDef");

    // A change of the box made in code is no click: the choice stays disabled.
    nature->setChecked(true);
    QVERIFY(!def->isEnabled());
    nature->setChecked(false);

    uidriver::clickIndicator(nature);
    QVERIFY(nature->isChecked());
    QVERIFY(def->isEnabled());
    QVERIFY(spDef->isEnabled());

    uidriver::clickIndicator(spDef);
    QVERIFY(spDef->isChecked());

    uidriver::clickIndicator(nature);
    QVERIFY(!nature->isChecked());
    QVERIFY(!def->isEnabled());
    QVERIFY(!spDef->isEnabled());
    QVERIFY2(spDef->isChecked() && !def->isChecked(), "the choice survives the toggle");

    // The keyboard toggles the box too, and the slot follows it.
    nature->setFocus();
    QTest::keyClick(nature, Qt::Key_Space);
    QVERIFY(nature->isChecked());
    QVERIFY(def->isEnabled());
    QVERIFY(spDef->isChecked());
    nature->setChecked(false);
    QVERIFY2(spDef->isEnabled(), "a change made in code leaves the choice enabled");
}

void TestWindow::natureCaptionTogglesNothing()
{
    auto *nature = find<QCheckBox>(window.get(), "cbxNature");
    QTest::mouseClick(find<QLabel>(window.get(), "lblNature"), Qt::LeftButton);
    QVERIFY(!nature->isChecked());
    QVERIFY(!find<QRadioButton>(window.get(), "rbtDef")->isEnabled());
}

void TestWindow::radioButtonsAreExclusive()
{
    auto *def = find<QRadioButton>(window.get(), "rbtDef");
    auto *spDef = find<QRadioButton>(window.get(), "rbtSpDef");

    // Disabled, they ignore clicks.
    uidriver::clickIndicator(spDef);
    QVERIFY(def->isChecked());

    uidriver::clickIndicator(find<QCheckBox>(window.get(), "cbxNature"));
    uidriver::clickIndicator(spDef);
    QVERIFY(spDef->isChecked());
    QVERIFY(!def->isChecked());
    uidriver::clickIndicator(def);
    QVERIFY(def->isChecked());
    QVERIFY(!spDef->isChecked());
}

void TestWindow::biasReadOutFollowsKeyboardSteps_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("key"); // pressed once after reaching `value`; 0: none
    QTest::addColumn<QString>("readOut");
    QTest::newRow("minimum") << 1 << 0 << "0.01";
    QTest::newRow("5") << 5 << 0 << "0.05";
    QTest::newRow("33") << 33 << 0 << "0.33";
    QTest::newRow("back to 50") << 50 << 0 << "0.5";
    QTest::newRow("maximum") << 100 << 0 << "1";
    QTest::newRow("a page up is one step") << 50 << int(Qt::Key_PageUp) << "0.51";
    QTest::newRow("a page down is one step") << 50 << int(Qt::Key_PageDown) << "0.49";
}

void TestWindow::biasReadOutFollowsKeyboardSteps()
{
    QFETCH(int, value);
    QFETCH(int, key);
    QFETCH(QString, readOut);
    auto *slider = find<QSlider>(window.get(), "hrsDefType");
    uidriver::slideTo(slider, value);
    QCOMPARE(slider->value(), value);
    if (key)
        QTest::keyClick(slider, Qt::Key(key));
    QCOMPARE(find<QLabel>(window.get(), "lblResBias")->text(), readOut);
}

void TestWindow::biasReadOutWaitsForHandleRelease()
{
    auto *slider = find<QSlider>(window.get(), "hrsDefType");
    auto *readOut = find<QLabel>(window.get(), "lblResBias");
    QSignalSpy changes(slider, &QSlider::valueChanged);

    const QPoint grab = uidriver::sliderHandle(slider).center();
    const QPoint drop = grab + QPoint(slider->width() / 4, 0);
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, grab);
    QTest::mouseMove(slider, grab + QPoint(slider->width() / 8, 0));
    QTest::mouseMove(slider, drop);

    QVERIFY2(slider->sliderPosition() > 50, "the handle follows the drag");
    QCOMPARE(slider->value(), 50);
    QCOMPARE(changes.count(), 0);
    QCOMPARE(readOut->text(), QStringLiteral("0.5"));

    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, drop);
    QVERIFY(slider->value() > 50);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(readOut->text(),
             QString::number(static_cast<double>(slider->value() / 100.0f), 'g', 6));
}

// Spare EVs: 4 to 510 in steps of 4; base stats: 1 to 300 in steps of 1. A
// page is ten steps.
void TestWindow::spinBoxesStepAndClamp_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed"); // empty: keep the start value
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("presses");
    QTest::addColumn<int>("expected");

    const QString spare = QStringLiteral("sbxSpareEvs");
    QTest::newRow("510 down") << spare << QString() << int(Qt::Key_Down) << 1 << 506;
    QTest::newRow("510 down to the floor") << spare << QString() << int(Qt::Key_Down) << 126 << 6;
    QTest::newRow("6 down clamps at 4") << spare << "6" << int(Qt::Key_Down) << 1 << 4;
    QTest::newRow("4 up") << spare << "4" << int(Qt::Key_Up) << 1 << 8;
    QTest::newRow("508 up clamps at 510") << spare << "508" << int(Qt::Key_Up) << 1 << 510;
    QTest::newRow("4 up to the ceiling") << spare << "4" << int(Qt::Key_Up) << 127 << 510;
    QTest::newRow("typed 7 is kept") << spare << "7" << 0 << 0 << 7;
    QTest::newRow("typed 7 then up") << spare << "7" << int(Qt::Key_Up) << 1 << 11;
    QTest::newRow("510 page down") << spare << QString() << int(Qt::Key_PageDown) << 1 << 470;
    const char *const bases[] = {"sbxHP", "sbxDef", "sbxSpDef"};
    const int starts[] = {75, 95, 95};
    for (int i = 0; i < 3; ++i) {
        const QString box = QLatin1String(bases[i]);
        const QByteArray name = bases[i];
        QTest::newRow(name + " up") << box << QString() << int(Qt::Key_Up) << 1 << starts[i] + 1;
        QTest::newRow(name + " page down")
            << box << QString() << int(Qt::Key_PageDown) << 1 << starts[i] - 10;
        QTest::newRow(name + " 300 up clamps at 300") << box << "300" << int(Qt::Key_Up) << 1 << 300;
        QTest::newRow(name + " 2 down to 1 and no further")
            << box << "2" << int(Qt::Key_Down) << 2 << 1;
    }
}

void TestWindow::spinBoxesStepAndClamp()
{
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(int, key);
    QFETCH(int, presses);
    QFETCH(int, expected);

    auto *spinBox = find<QSpinBox>(window.get(), qPrintable(box));
    if (!typed.isEmpty()) {
        uidriver::typeInto(spinBox, typed);
        QTest::keyClick(spinBox, Qt::Key_Return);
    }
    for (int i = 0; i < presses; ++i)
        QTest::keyClick(spinBox, Qt::Key(key));
    QCOMPARE(spinBox->value(), expected);
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
