// "Calculate Spread": inputs set through the widgets, real clicks on the
// button, and the seven read-outs checked against the calculation.
#include "uidriver.h"

#include "mainwindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <memory>
#include <random>

using uidriver::find;

namespace {

enum class NatureSetup { Unticked, OnDef, OnSpDef, UntickedAfterSpDef, TickedNeitherChecked };

// The inputs typed into: spare EVs, then base HP, Def and SpDef.
const char *const kInputBoxes[] = {"sbxSpareEvs", "sbxHP", "sbxDef", "sbxSpDef"};

// Read-outs in the order: HP, Def and SpDef EVs; HP, Def and SpDef stats; harm.
const char *const kReadOuts[] = {"lblResHP",     "lblResDef",     "lblResSpDef", "lblResHPStat",
                                 "lblResDefStat", "lblResSpDefStat", "lblResHarm"};

} // namespace

Q_DECLARE_METATYPE(NatureSetup)

class TestRequest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void showsTheBestSpread_data();
    void showsTheBestSpread();
    void sliderEndsByKeyboard_data();
    void sliderEndsByKeyboard();
    void onlyAFinishedClickCalculates();
    void repeatsAndLeavesInputsAlone();
    void randomSessionsMatchTheCalculation();

private:
    QStringList readOuts() const;
    void calculate();

    std::unique_ptr<MainWindow> window;
};

void TestRequest::init()
{
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestRequest::cleanup()
{
    window.reset();
}

QStringList TestRequest::readOuts() const
{
    QStringList texts;
    for (const char *name : kReadOuts)
        texts << find<QLabel>(window.get(), name)->text();
    return texts;
}

void TestRequest::calculate()
{
    QTest::mouseClick(find<QPushButton>(window.get(), "btnGo"), Qt::LeftButton);
}

void TestRequest::showsTheBestSpread_data()
{
    QTest::addColumn<NatureSetup>("nature");
    QTest::addColumn<int>("slider");
    QTest::addColumn<QStringList>("typed"); // spare EVs, base HP, Def, SpDef; empty: keep
    QTest::addColumn<QStringList>("expected");

    const QStringList defaults = {"252", "124", "132", "182", "131", "132", "1.69333"};
    const QStringList onSpDef = {"252", "140", "116", "182", "133", "143", "1.61668"};

    QTest::newRow("form defaults") << NatureSetup::Unticked << 50 << QStringList() << defaults;
    QTest::newRow("Nature on Def")
        << NatureSetup::OnDef << 50 << QStringList()
        << QStringList{"252", "116", "140", "182", "143", "133", "1.61668"};
    QTest::newRow("Nature on SpDef") << NatureSetup::OnSpDef << 50 << QStringList() << onSpDef;
    QTest::newRow("unticked, SpDef still checked")
        << NatureSetup::UntickedAfterSpDef << 50 << QStringList() << defaults;
    QTest::newRow("ticked, neither checked")
        << NatureSetup::TickedNeitherChecked << 50 << QStringList() << onSpDef;
    QTest::newRow("slider 1") << NatureSetup::Unticked << 1 << QStringList()
                              << QStringList{"252", "252", "4", "182", "147", "116", "1.52108"};
    QTest::newRow("slider 100")
        << NatureSetup::Unticked << 100 << QStringList()
        << QStringList{"252", "4", "252", "182", "116", "147", "1.51708"};
    QTest::newRow("7 spare EVs typed")
        << NatureSetup::Unticked << 50 << QStringList{"7"}
        << QStringList{"4", "0", "0", "151", "115", "115", "2.32997"};
    QTest::newRow("high bases, Nature on Def")
        << NatureSetup::OnDef << 30 << QStringList{"346", "277", "275", "153"}
        << QStringList{"252", "0", "92", "384", "324", "185", "0.404387"};
    // 0.88374051136: in single precision the harm would show as 0.88374.
    QTest::newRow("high bases, Nature on SpDef, harm shown from the double")
        << NatureSetup::OnSpDef << 35 << QStringList{"351", "263", "47", "278"}
        << QStringList{"92", "252", "4", "350", "99", "328", "0.883741"};
}

void TestRequest::showsTheBestSpread()
{
    QFETCH(NatureSetup, nature);
    QFETCH(int, slider);
    QFETCH(QStringList, typed);
    QFETCH(QStringList, expected);

    auto *natureBox = find<QCheckBox>(window.get(), "cbxNature");
    auto *def = find<QRadioButton>(window.get(), "rbtDef");
    auto *spDef = find<QRadioButton>(window.get(), "rbtSpDef");

    switch (nature) {
    case NatureSetup::Unticked:
        break;
    case NatureSetup::OnDef:
        uidriver::clickIndicator(natureBox);
        break;
    case NatureSetup::OnSpDef:
        uidriver::clickIndicator(natureBox);
        uidriver::clickIndicator(spDef);
        break;
    case NatureSetup::UntickedAfterSpDef:
        uidriver::clickIndicator(natureBox);
        uidriver::clickIndicator(spDef);
        calculate();
        uidriver::clickIndicator(natureBox);
        QVERIFY(spDef->isChecked());
        break;
    case NatureSetup::TickedNeitherChecked:
        // No user can get here: the pair is exclusive and starts with Def.
        uidriver::clickIndicator(natureBox);
        def->setAutoExclusive(false);
        def->setChecked(false);
        def->setAutoExclusive(true);
        QVERIFY(!def->isChecked() && !spDef->isChecked());
        break;
    }
    for (int i = 0; i < typed.size(); ++i)
        uidriver::typeInto(find<QSpinBox>(window.get(), kInputBoxes[i]), typed[i]);
    if (slider != 50)
        uidriver::slideTo(find<QSlider>(window.get(), "hrsDefType"), slider);

    calculate();
    QCOMPARE(readOuts(), expected);
}

// Home and End reach the slider's own ends, whatever its range: the bias there
// must be 0.01 and 1, never 0. The caption at each end names the stat that
// the end favours.
void TestRequest::sliderEndsByKeyboard_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("bias");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("End") << int(Qt::Key_End) << "1" << "SpDef"
                         << QStringList{"252", "4", "252", "182", "116", "147", "1.51708"};
    QTest::newRow("Home") << int(Qt::Key_Home) << "0.01" << "Def"
                          << QStringList{"252", "252", "4", "182", "147", "116", "1.52108"};
}

void TestRequest::sliderEndsByKeyboard()
{
    QFETCH(int, key);
    QFETCH(QString, bias);
    QFETCH(QString, caption);
    QFETCH(QStringList, expected);

    auto *slider = find<QSlider>(window.get(), "hrsDefType");
    const QLabel *beside = uidriver::captionBeside(
        window.get(), slider, key == Qt::Key_End ? Qt::RightEdge : Qt::LeftEdge);
    QVERIFY2(beside, "a caption stands at that end of the slider");
    QCOMPARE(beside->text(), caption);
    QTest::keyClick(slider, Qt::Key(key));
    QCOMPARE(find<QLabel>(window.get(), "lblResBias")->text(), bias);
    calculate();
    QCOMPARE(readOuts(), expected);
}

// A press that leaves the button before it is released is no click.
void TestRequest::onlyAFinishedClickCalculates()
{
    auto *go = find<QPushButton>(window.get(), "btnGo");
    const QPoint off(go->width() / 2, -go->height());
    QTest::mousePress(go, Qt::LeftButton);
    QTest::mouseMove(go, off);
    QTest::mouseRelease(go, Qt::LeftButton, Qt::NoModifier, off);
    QCOMPARE(find<QLabel>(window.get(), "lblResHarm")->text(), QStringLiteral("0.0"));
    QTest::keyClick(go, Qt::Key_Space);
    QCOMPARE(find<QLabel>(window.get(), "lblResHarm")->text(), QStringLiteral("1.69333"));
}

void TestRequest::repeatsAndLeavesInputsAlone()
{
    auto *natureBox = find<QCheckBox>(window.get(), "cbxNature");
    auto *def = find<QRadioButton>(window.get(), "rbtDef");
    auto *spDef = find<QRadioButton>(window.get(), "rbtSpDef");
    auto *slider = find<QSlider>(window.get(), "hrsDefType");
    auto *bias = find<QLabel>(window.get(), "lblResBias");
    uidriver::clickIndicator(natureBox);
    uidriver::clickIndicator(spDef);
    uidriver::typeInto(find<QSpinBox>(window.get(), "sbxHP"), "120");
    uidriver::slideTo(slider, 30);

    auto inputs = [&] {
        QStringList state;
        for (const char *name : kInputBoxes)
            state << find<QSpinBox>(window.get(), name)->text();
        state << QString::number(slider->value()) << bias->text();
        for (QAbstractButton *button : {static_cast<QAbstractButton *>(natureBox),
                                        static_cast<QAbstractButton *>(def),
                                        static_cast<QAbstractButton *>(spDef)})
            state << QString::number(button->isChecked()) << QString::number(button->isEnabled());
        return state;
    };
    const QStringList before = inputs();

    calculate();
    const QStringList first = readOuts();
    QCOMPARE(inputs(), before);
    calculate();
    QCOMPARE(readOuts(), first);
    QCOMPARE(inputs(), before);
    QVERIFY(!first.contains(QString()));
}

void TestRequest::randomSessionsMatchTheCalculation()
{
    constexpr int kRounds = 400;
    std::mt19937 random(4242);
    auto draw = [&random](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };

    QSpinBox *boxes[4];
    for (int i = 0; i < 4; ++i)
        boxes[i] = find<QSpinBox>(window.get(), kInputBoxes[i]);
    auto *slider = find<QSlider>(window.get(), "hrsDefType");
    auto *natureBox = find<QCheckBox>(window.get(), "cbxNature");
    auto *def = find<QRadioButton>(window.get(), "rbtDef");
    auto *spDef = find<QRadioButton>(window.get(), "rbtSpDef");

    const Qt::Key boxKeys[] = {Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown};
    const Qt::Key sliderKeys[] = {Qt::Key_Left,   Qt::Key_Right,    Qt::Key_Home,
                                  Qt::Key_End,    Qt::Key_PageUp,   Qt::Key_PageDown};
    const QString junk = QStringLiteral("0123456789-+.,e x");

    for (int round = 0; round < kRounds; ++round) {
        for (QSpinBox *box : boxes) {
            switch (draw(0, 3)) {
            case 0: // leave it
                break;
            case 1: // a number, possibly out of range: the box keeps what fits
                uidriver::typeInto(box, QString::number(draw(-20, 999)));
                break;
            case 2: { // any keystrokes at all
                QString keys;
                for (int n = draw(1, 5); n > 0; --n)
                    keys += junk.at(draw(0, junk.size() - 1));
                uidriver::typeInto(box, keys);
                break;
            }
            case 3:
                for (int n = draw(1, 6); n > 0; --n)
                    QTest::keyClick(box, boxKeys[draw(0, 3)]);
                break;
            }
            if (draw(0, 1))
                QTest::keyClick(box, Qt::Key_Return);
        }
        for (int n = draw(0, 4); n > 0; --n)
            QTest::keyClick(slider, sliderKeys[draw(0, 5)]);
        if (draw(0, 2) == 0)
            uidriver::clickIndicator(natureBox);
        if (draw(0, 2) == 0)
            uidriver::clickIndicator(draw(0, 1) ? def : spDef);

        calculate();

        // The request saw what the widgets hold now; work it out directly.
        const int spareEvs = boxes[0]->value();
        const int baseHp = boxes[1]->value();
        const int baseDef = boxes[2]->value();
        const int baseSpDef = boxes[3]->value();
        for (QSpinBox *box : boxes) {
            QVERIFY(box->value() >= box->minimum() && box->value() <= box->maximum());
            QCOMPARE(box->text(), QString::number(box->value()));
        }
        const float bias = static_cast<float>(slider->value()) / 100.0f;
        QCOMPARE(find<QLabel>(window.get(), "lblResBias")->text(),
                 QString::number(static_cast<double>(bias), 'g', 6));
        QCOMPARE(def->isEnabled(), natureBox->isChecked());
        QCOMPARE(spDef->isEnabled(), natureBox->isChecked());

        const bool nature = natureBox->isChecked();
        const bool onDef = nature && def->isChecked();
        resHarm = 0.0;
        if (nature)
            calcSpread(spareEvs, baseHp, baseDef, baseSpDef, bias, onDef);
        else
            calcSpread(spareEvs, baseHp, baseDef, baseSpDef, bias);
        const QStringList expected = {
            QString::number(opSpread[0]),
            QString::number(opSpread[1]),
            QString::number(opSpread[2]),
            QString::number(calcHp(baseHp, opSpread[0])),
            QString::number(calcDef(baseDef, opSpread[1], onDef)),
            QString::number(calcSpDef(baseSpDef, opSpread[2], nature && !onDef)),
            QString::number(resHarm, 'g', 6),
        };
        const QStringList shown = readOuts();
        if (shown != expected)
            QFAIL(qPrintable(QStringLiteral("round %1 (spare %2, bases %3/%4/%5, slider %6, "
                                            "nature %7, Def %8): shown %9, expected %10")
                                 .arg(round)
                                 .arg(spareEvs)
                                 .arg(baseHp)
                                 .arg(baseDef)
                                 .arg(baseSpDef)
                                 .arg(slider->value())
                                 .arg(nature)
                                 .arg(def->isChecked())
                                 .arg(shown.join(QLatin1Char('/')))
                                 .arg(expected.join(QLatin1Char('/')))));
    }
}

QTEST_MAIN(TestRequest)
#include "tst_request.moc"
