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
    QTest::addColumn<QString>("typedSpareEvs"); // empty: keep 510
    QTest::addColumn<QStringList>("expected");

    const QStringList defaults = {"252", "124", "132", "182", "131", "132", "1.69333"};
    const QStringList onSpDef = {"252", "140", "116", "182", "133", "143", "1.61668"};

    QTest::newRow("form defaults") << NatureSetup::Unticked << 50 << QString() << defaults;
    QTest::newRow("Nature on Def")
        << NatureSetup::OnDef << 50 << QString()
        << QStringList{"252", "116", "140", "182", "143", "133", "1.61668"};
    QTest::newRow("Nature on SpDef") << NatureSetup::OnSpDef << 50 << QString() << onSpDef;
    QTest::newRow("unticked, SpDef still checked")
        << NatureSetup::UntickedAfterSpDef << 50 << QString() << defaults;
    QTest::newRow("ticked, neither checked")
        << NatureSetup::TickedNeitherChecked << 50 << QString() << onSpDef;
    QTest::newRow("slider 1") << NatureSetup::Unticked << 1 << QString()
                              << QStringList{"252", "252", "4", "182", "147", "116", "1.52108"};
    QTest::newRow("slider 100")
        << NatureSetup::Unticked << 100 << QString()
        << QStringList{"252", "4", "252", "182", "116", "147", "1.51708"};
    QTest::newRow("7 spare EVs typed")
        << NatureSetup::Unticked << 50 << "7"
        << QStringList{"4", "0", "0", "151", "115", "115", "2.32997"};
}

void TestRequest::showsTheBestSpread()
{
    QFETCH(NatureSetup, nature);
    QFETCH(int, slider);
    QFETCH(QString, typedSpareEvs);
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
    if (!typedSpareEvs.isEmpty())
        uidriver::typeInto(find<QSpinBox>(window.get(), "sbxSpareEvs"), typedSpareEvs);
    if (slider != 50)
        uidriver::slideTo(find<QSlider>(window.get(), "hrsDefType"), slider);

    calculate();
    QCOMPARE(readOuts(), expected);
}

// Home and End reach the slider's own ends, whatever its range: the bias there
// must be 0.01 and 1, never 0.
void TestRequest::sliderEndsByKeyboard_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("bias");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("End") << int(Qt::Key_End) << "1"
                         << QStringList{"252", "4", "252", "182", "116", "147", "1.51708"};
    QTest::newRow("Home") << int(Qt::Key_Home) << "0.01"
                          << QStringList{"252", "252", "4", "182", "147", "116", "1.52108"};
}

void TestRequest::sliderEndsByKeyboard()
{
    QFETCH(int, key);
    QFETCH(QString, bias);
    QFETCH(QStringList, expected);

    QTest::keyClick(find<QSlider>(window.get(), "hrsDefType"), Qt::Key(key));
    QCOMPARE(find<QLabel>(window.get(), "lblResBias")->text(), bias);
    calculate();
    QCOMPARE(readOuts(), expected);
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
        for (const char *name : {"sbxSpareEvs", "sbxHP", "sbxDef", "sbxSpDef"})
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

    QSpinBox *boxes[] = {find<QSpinBox>(window.get(), "sbxSpareEvs"),
                         find<QSpinBox>(window.get(), "sbxHP"),
                         find<QSpinBox>(window.get(), "sbxDef"),
                         find<QSpinBox>(window.get(), "sbxSpDef")};
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
