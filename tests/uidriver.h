// Helpers for driving the main window the way a user does: widgets are found
// by object name and reached only through real mouse and key events.
#ifndef UIDRIVER_H
#define UIDRIVER_H

// Mouse events go through the window system interface, so that a held button
// stays held across moves (needed to drag the slider handle).
#define QTEST_QPA_MOUSE_HANDLING
#include <QtTest>

#include <QAbstractButton>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionSlider>

#include <climits>

namespace uidriver {

template <typename T>
T *find(const QWidget *window, const char *name)
{
    return window->findChild<T *>(QString::fromLatin1(name));
}

// The check box has no text, so only its indicator takes a click; radio
// buttons are clicked on their indicator too, as a user aims for the circle.
inline QPoint indicatorCenter(QAbstractButton *button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    const QStyle::SubElement element = qobject_cast<QRadioButton *>(button)
                                           ? QStyle::SE_RadioButtonIndicator
                                           : QStyle::SE_CheckBoxIndicator;
    return button->style()->subElementRect(element, &option, button).center();
}

inline void clickIndicator(QAbstractButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, indicatorCenter(button));
}

inline QRect sliderHandle(QSlider *slider)
{
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    option.singleStep = slider->singleStep();
    option.pageStep = slider->pageStep();
    option.tickPosition = slider->tickPosition();
    option.tickInterval = slider->tickInterval();
    option.upsideDown = slider->invertedAppearance() != (slider->layoutDirection() == Qt::RightToLeft);
    option.subControls = QStyle::SC_All;
    return slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle,
                                           slider);
}

// The caption that a user reads at one side of `widget`: the nearest label at
// its left or right, level with its middle, or above it, across its middle.
inline QLabel *captionBeside(const QWidget *window, const QWidget *widget, Qt::Edge side)
{
    auto place = [window](const QWidget *w) { return QRect(w->mapTo(window, QPoint()), w->size()); };
    const QRect at = place(widget);
    QLabel *nearest = nullptr;
    int nearestGap = INT_MAX;
    for (QLabel *label : window->findChildren<QLabel *>()) {
        const QRect caption = place(label);
        const bool level = side == Qt::TopEdge
                               ? caption.left() <= at.center().x() && caption.right() >= at.center().x()
                               : caption.top() <= at.center().y() && caption.bottom() >= at.center().y();
        const int gap = side == Qt::LeftEdge    ? at.left() - caption.right()
                        : side == Qt::RightEdge ? caption.left() - at.right()
                                                : at.top() - caption.bottom();
        if (level && gap > 0 && gap < nearestGap) {
            nearest = label;
            nearestGap = gap;
        }
    }
    return nearest;
}

// Clicks into the spin box, selects its whole text and types `text`, key by key.
inline void typeInto(QSpinBox *box, const QString &text)
{
    QTest::mouseClick(box, Qt::LeftButton);
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(box, text);
}

// Moves the slider to `value` with the keyboard: Home, then single steps.
inline void slideTo(QSlider *slider, int value)
{
    QTest::keyClick(slider, Qt::Key_Home);
    for (int v = slider->minimum(); v < value; ++v)
        QTest::keyClick(slider, Qt::Key_Right);
}

} // namespace uidriver

#endif // UIDRIVER_H
