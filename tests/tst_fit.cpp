// The window at its own size, on an X display at 100 %, in the fonts a user
// gets: every caption and read-out fits its label, the spin boxes show their
// whole number and the buttons their whole text, whatever the results are.
// On a scaled display the whole window grows alike (tst_launch), so this
// holds there too.
#include "uidriver.h"

#include "mainwindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <memory>

using uidriver::find;

namespace {

struct Inputs {
    QString spareEvs;    // empty: keep the form's value
    QString bases[3];    // HP, Def, SpDef; empty: keep
    bool natureOnSpDef;  // tick the Nature and choose SpDef
    int slider;
    bool calculate;
};

// What is cut off: each widget whose text does not fit, with the room it needs
// and the room it has.
QStringList clipped(const QWidget *window)
{
    QStringList found;
    auto report = [&found](const QWidget *widget, const QString &text, QSize needs, QSize has) {
        if (needs.width() > has.width() || needs.height() > has.height())
            found << QStringLiteral("%1 \"%2\" needs %3 x %4, has %5 x %6")
                         .arg(widget->objectName(), text)
                         .arg(needs.width())
                         .arg(needs.height())
                         .arg(has.width())
                         .arg(has.height());
    };
    // A label's text must fit across, and its ink from top to bottom: the
    // 16 pt labels of fixed height leave no room for the font's line gap.
    for (const QLabel *label : window->findChildren<QLabel *>()) {
        const QFontMetrics metrics = label->fontMetrics();
        const QString text = label->text();
        report(label, text,
               QSize(metrics.horizontalAdvance(text), metrics.tightBoundingRect(text).height()),
               label->contentsRect().size());
    }
    // A line edit keeps a margin of 2 pixels at either side of its text.
    for (const QSpinBox *box : window->findChildren<QSpinBox *>()) {
        const QLineEdit *edit = box->findChild<QLineEdit *>();
        const QFontMetrics metrics = edit->fontMetrics();
        report(box, edit->text(),
               QSize(metrics.horizontalAdvance(edit->text()) + 4, metrics.height()),
               edit->contentsRect().size());
    }
    for (const QAbstractButton *button : window->findChildren<QAbstractButton *>())
        report(button, button->text(), button->sizeHint(), button->size());
    return found;
}

} // namespace

Q_DECLARE_METATYPE(Inputs)

class TestFit : public QObject
{
    Q_OBJECT

private slots:
    void everyTextFits_data();
    void everyTextFits();
};

void TestFit::everyTextFits_data()
{
    QTest::addColumn<Inputs>("inputs");

    QTest::newRow("at start") << Inputs{{}, {}, false, 50, false};
    QTest::newRow("form defaults") << Inputs{{}, {}, false, 50, true};
    QTest::newRow("highest bases, Nature on SpDef, bias 0.33")
        << Inputs{"510", {"300", "300", "300"}, true, 33, true};
    QTest::newRow("lowest bases, 4 EVs, bias 0.01")
        << Inputs{"4", {"1", "1", "1"}, false, 1, true};
    QTest::newRow("Def and SpDef apart, bias 1")
        << Inputs{"508", {"1", "300", "1"}, false, 100, true};
}

void TestFit::everyTextFits()
{
    QFETCH(Inputs, inputs);

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // A display at 100 %: the window's own size is its size on the screen.
    QCOMPARE(window.logicalDpiY(), 96);
    QCOMPARE(window.devicePixelRatioF(), 1.0);

    if (!inputs.spareEvs.isEmpty())
        uidriver::typeInto(find<QSpinBox>(&window, "sbxSpareEvs"), inputs.spareEvs);
    const char *const baseBoxes[] = {"sbxHP", "sbxDef", "sbxSpDef"};
    for (int i = 0; i < 3; ++i) {
        if (!inputs.bases[i].isEmpty())
            uidriver::typeInto(find<QSpinBox>(&window, baseBoxes[i]), inputs.bases[i]);
    }
    if (inputs.natureOnSpDef) {
        uidriver::clickIndicator(find<QCheckBox>(&window, "cbxNature"));
        uidriver::clickIndicator(find<QRadioButton>(&window, "rbtSpDef"));
    }
    uidriver::slideTo(find<QSlider>(&window, "hrsDefType"), inputs.slider);
    if (inputs.calculate)
        QTest::mouseClick(find<QPushButton>(&window, "btnGo"), Qt::LeftButton);
    QCOMPARE(find<QLabel>(&window, "lblResHP")->text().isEmpty(), !inputs.calculate);

    const QStringList cut = clipped(&window);
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral("; "))));
}

QTEST_MAIN(TestFit)
#include "tst_fit.moc"
