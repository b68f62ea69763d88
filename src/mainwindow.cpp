#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QFontMetricsF>
#include <QLabel>
#include <QLayout>
#include <QString>

#include <algorithm>
#include <cstring>
#include <iterator>

// Allocated before main runs and never freed: the window and the search share
// it for the whole life of the process.
int *opSpread = new int[3]();
double resHarm = 0.0;

int calcHp(int base, int evs)
{
    return (evs / 4 + 2 * base + 131) / 2 + 10;
}

int calcDef(int base, int evs, bool nature)
{
    const int stat = (evs / 4 + 2 * base + 31) / 2 + 5;
    if (!nature)
        return stat;
    // Multiplied by the double 1.1 and truncated. For every stat the inputs
    // can give this adds a tenth rounded down, and 110 becomes exactly 121.
    return static_cast<int>(stat * 1.1);
}

int calcSpDef(int base, int evs, bool nature)
{
    return calcDef(base, evs, nature);
}

namespace {

// The quotient of one harm term, numerator and denominator in int and the
// division in double.
inline double harmQuotient(int hp, int stat)
{
    return static_cast<double>(2 * stat + 20000) / static_cast<double>(hp * stat);
}

struct Weights {
    double def;
    double spDef;
};

// The weights are formed in single precision and only widened when applied:
// at a bias of 0.01 this shows in the eighth significant digit of the harm.
inline Weights harmWeights(float bias)
{
    const float spDef = bias + bias;
    const float def = 2.0f - spDef;
    return {static_cast<double>(def), static_cast<double>(spDef)};
}

constexpr int kStepEvs = 4;
constexpr int kMaxSteps = 252 / kStepEvs; // 63 steps of 4 EVs per stat
constexpr int kLevels = kMaxSteps + 1;    // 0, 4, ..., 252 EVs

// The weighted harm terms of one stat for one HP stat. The stat formulas halve
// the EV steps, so neighbouring EV levels often give the same stat: the terms
// are formed once per distinct stat and the levels share them.
class TermTable
{
public:
    using StatFormula = int (*)(int base, int evs, bool nature);

    TermTable(StatFormula formula, int base, bool nature, double weight) : weight_(weight)
    {
        int distinct = -1;
        int previous = 0;
        for (int level = 0; level < kLevels; ++level) {
            const int stat = formula(base, level * kStepEvs, nature);
            if (level == 0 || stat != previous) {
                ++distinct;
                numerator_[distinct] = static_cast<double>(2 * stat + 20000);
                stat_[distinct] = static_cast<double>(stat);
                previous = stat;
            }
            slot_[level] = distinct;
        }
    }

    // Forms the terms of levels lo..hi for the HP stat hp. HP x stat is
    // exact in double, so this is the quotient calcHarm forms in int and
    // double; the loop has no dependences and vectorises.
    void form(int hp, int lo, int hi)
    {
        const double hpStat = hp;
        for (int k = slot_[lo]; k <= slot_[hi]; ++k)
            term_[k] = weight_ * (numerator_[k] / (hpStat * stat_[k]));
    }

    double operator[](int level) const { return term_[slot_[level]]; }

private:
    double weight_;
    int slot_[kLevels];
    double numerator_[kLevels];
    double stat_[kLevels];
    double term_[kLevels];
};

// Two harms at a time. GCC and Clang map this onto SSE2 on x86 and NEON on
// arm64, where an addition or comparison of two lanes gives the same bits as
// two scalar ones.
typedef double HarmPair __attribute__((vector_size(2 * sizeof(double))));
// One level for each of four lanes, as they sit in two HarmPairs.
typedef int LevelQuad __attribute__((vector_size(4 * sizeof(int))));

inline HarmPair loadPair(const double *from)
{
    HarmPair pair;
    std::memcpy(&pair, from, sizeof pair);
    return pair;
}

struct Lowest {
    double harm;
    int level; // -1 when no harm is below the bound
};

// The lowest harm def[d] + spDef[d + offset] over d = first..last that is below
// `bound`, and the first d that gives it. Each harm is formed once, and a lane
// notes the level of a new lowest harm in the same step that takes it, so the
// answer never depends on a sum coming out the same when formed again. A harm
// that is not a number never compares as lower. Four minima run side by side,
// lane k over the levels first + k, first + k + 4, ...; of equal harms the
// lowest level wins.
inline Lowest lowestHarm(const double *def, const double *spDef, int offset, int first,
                         int last, double bound)
{
    HarmPair low0 = {bound, bound};
    HarmPair low1 = low0;
    LevelQuad at = {-1, -1, -1, -1}; // the block of four of each lane's lowest harm
    int d = first;
    for (; d + 3 <= last; d += 4) {
        const HarmPair harm0 = loadPair(def + d) + loadPair(spDef + d + offset);
        const HarmPair harm1 = loadPair(def + d + 2) + loadPair(spDef + d + offset + 2);
        const HarmPair new0 = harm0 < low0 ? harm0 : low0;
        const HarmPair new1 = harm1 < low1 ? harm1 : low1;
        // A lane whose lowest harm changed took this block's. A comparison
        // gives each lane all ones or all zeros, so the low half of each
        // lane's mask is a mask for its level.
        const LevelQuad lower = __builtin_shufflevector(
            reinterpret_cast<LevelQuad>(new0 != low0), reinterpret_cast<LevelQuad>(new1 != low1),
            0, 2, 4, 6);
        const LevelQuad block = {d, d, d, d};
        at = lower ? block : at;
        low0 = new0;
        low1 = new1;
    }
    // Most calls find nothing below the bound: the lowest of the four lanes
    // tells. Only when one is lower does it matter which level it came from;
    // of the lanes that hold that very value, the one with the lowest level.
    const double lanes[4] = {low0[0], low0[1], low1[0], low1[1]};
    Lowest lowest = {bound, -1};
    for (const double lane : lanes)
        lowest.harm = lane < lowest.harm ? lane : lowest.harm;
    if (lowest.harm < bound) {
        for (int k = 0; k < 4; ++k) {
            if (at[k] >= 0 && lanes[k] == lowest.harm
                && (lowest.level < 0 || at[k] + k < lowest.level))
                lowest.level = at[k] + k;
        }
    }
    // The rest lie beyond every level above: only a strictly lower harm wins.
    for (; d <= last; ++d) {
        const double harm = def[d] + spDef[d + offset];
        if (harm < lowest.harm)
            lowest = {harm, d};
    }
    return lowest;
}

// Both searches: the candidates are visited in the order of the full triple
// loop over HP, Def and SpDef EVs (HP outermost, each ascending), but only the
// splits that add up to the target are enumerated; the SpDef EVs follow from
// the other two. Each harm is weighted Def term + weighted SpDef term, the very
// sum calcHarm forms, so results are bit-identical to rating every candidate
// with calcHarm. HP levels that give the same HP stat share their terms.
void searchSpread(int spareEvs, int baseHp, int baseDef, int baseSpDef, float bias,
                  bool defNature, bool spDefNature)
{
    const int target = spareEvs - spareEvs % kStepEvs;

    double bestHarm = 9000.0;
    int best[3] = {0, 0, 0};
    bool accepted = false;

    if (target >= 0 && target <= 3 * kMaxSteps * kStepEvs) {
        const int total = target / kStepEvs; // in steps of 4 EVs
        const Weights w = harmWeights(bias);
        TermTable defTerms(calcDef, baseDef, defNature, w.def);
        TermTable spDefTerms(calcSpDef, baseSpDef, spDefNature, w.spDef);

        // For HP level h the Def and SpDef levels both run over
        // max(0, total - h - 63) .. min(63, total - h).
        auto firstLevel = [total](int h) { return std::max(0, total - h - kMaxSteps); };
        auto lastLevel = [total](int h) { return std::min(kMaxSteps, total - h); };

        // Per group of HP levels the terms are laid out by EV level: Def
        // ascending and SpDef descending, so that the candidates of one HP
        // level read both in the same direction.
        double defByLevel[kLevels];
        double spDefByLevelDown[kLevels];

        const int hpLast = std::min(kMaxSteps, total);
        int h = std::max(0, total - 2 * kMaxSteps);
        while (h <= hpLast) {
            const int hp = calcHp(baseHp, h * kStepEvs);
            int groupLast = h;
            while (groupLast < hpLast && calcHp(baseHp, (groupLast + 1) * kStepEvs) == hp)
                ++groupLast;
            const int lo = firstLevel(groupLast);
            const int hi = lastLevel(h);
            defTerms.form(hp, lo, hi);
            spDefTerms.form(hp, lo, hi);
            for (int level = lo; level <= hi; ++level) {
                defByLevel[level] = defTerms[level];
                spDefByLevelDown[kMaxSteps - level] = spDefTerms[level];
            }

            for (; h <= groupLast; ++h) {
                const int rest = total - h;
                // SpDef level rest - d sits at index d + offset.
                const int offset = kMaxSteps - rest;
                const int defFirst = firstLevel(h);
                const int defLast = lastLevel(h);
                // Only a harm strictly below the best so far comes back: among
                // equal harms the first split met stays, and a harm that is not
                // a number is never taken.
                const Lowest low =
                    lowestHarm(defByLevel, spDefByLevelDown, offset, defFirst, defLast, bestHarm);
                if (low.level >= 0) {
                    bestHarm = low.harm;
                    best[0] = h * kStepEvs;
                    best[1] = low.level * kStepEvs;
                    best[2] = (rest - low.level) * kStepEvs;
                    accepted = true;
                }
            }
        }
    }

    opSpread[0] = best[0];
    opSpread[1] = best[1];
    opSpread[2] = best[2];
    if (accepted)
        resHarm = bestHarm;
}

} // namespace

double calcHarm(int hp, int def, int spDef, float bias)
{
    const Weights w = harmWeights(bias);
    return w.def * harmQuotient(hp, def) + w.spDef * harmQuotient(hp, spDef);
}

void calcSpread(int spareEvs, int baseHp, int baseDef, int baseSpDef, float bias)
{
    searchSpread(spareEvs, baseHp, baseDef, baseSpDef, bias, false, false);
}

void calcSpread(int spareEvs, int baseHp, int baseDef, int baseSpDef, float bias,
                bool natureOnDef)
{
    searchSpread(spareEvs, baseHp, baseDef, baseSpDef, bias, natureOnDef, !natureOnDef);
}

namespace {

// The part of `widget` that it and each of its parents show, in the
// coordinates of `window`.
QRect shownPart(const QWidget *widget, const QWidget *window)
{
    QRect part = widget->rect();
    for (const QWidget *w = widget; w != window; w = w->parentWidget())
        part = part.translated(w->pos()) & w->parentWidget()->rect();
    return part;
}

// The room a label's text takes, in the label's coordinates, laid out as the
// label draws it: across, its advance; from top to bottom, its ink, placed on
// a line of the font's full height centred in the label, so that a descender
// can reach below a label that the line overflows. (Glyphs' ink is rounded
// out to whole pixels, too coarse to measure a width by.) Edges go to the
// nearest pixel: one the text covers less than half of shows no ink.
QRect inkOf(const QLabel *label)
{
    const QFontMetricsF metrics(label->font(), label);
    const QRectF line = metrics.boundingRect(QRectF(label->contentsRect()),
                                             int(label->alignment()), label->text());
    const QRectF ink = metrics.tightBoundingRect(label->text());
    const qreal baseline = line.top() + metrics.ascent();
    return QRect(QPoint(qRound(line.left()), qRound(baseline + ink.top())),
                 QPoint(qRound(line.right()) - 1, qRound(baseline + ink.bottom()) - 1));
}

// Whether every control of the window shows the room its style asks for, and
// every label the ink of its text, within what it and its parents show.
// Widgets that stay hidden, such as a helper a platform theme adds, do not
// count.
bool showsWhole(const QWidget *window)
{
    const QList<QWidget *> widgets = window->findChildren<QWidget *>();
    for (const QWidget *widget : widgets) {
        if (!widget->isVisibleTo(window))
            continue;
        const QRect shown = shownPart(widget, window);
        if (const auto *label = qobject_cast<const QLabel *>(widget)) {
            const QRect ink = inkOf(label).translated(label->mapTo(window, QPoint()));
            if (!label->text().isEmpty() && (ink & shown) != ink)
                return false;
        } else if (qobject_cast<const QAbstractButton *>(widget)
                   || qobject_cast<const QAbstractSpinBox *>(widget)
                   || qobject_cast<const QAbstractSlider *>(widget)) {
            const QSize needs = widget->sizeHint();
            if (shown.width() < needs.width() || shown.height() < needs.height())
                return false;
        }
    }
    return true;
}

// The layouts place nothing until the window is first shown: run them now,
// on the geometry the window and its containers have.
void layOut(QWidget *window)
{
    const QList<QLayout *> layouts = window->findChildren<QLayout *>();
    for (QLayout *layout : layouts) {
        if (layout == layout->parentWidget()->layout()) {
            layout->invalidate();
            layout->activate();
        }
    }
}

// The form places the columns and read-outs at fixed pixels, drawn for Qt's
// own style and its 9 pt font. A desktop's style or font may need more room:
// then the window and every fixed place and size grow by the least factor,
// in steps of 1 %, that shows everything whole, with room for the widest
// results. The fonts stay the desktop's. Where the form's pixels suffice,
// nothing changes.
void growToFit(QMainWindow *window, const Ui_MainWindow *ui)
{
    window->ensurePolished();

    // The read-outs are empty or short now: measure them with the widest
    // texts results give, in the widest digit of their font, then put back
    // what they show.
    const struct {
        QLabel *label;
        const char *widest;
    } readOuts[] = {{ui->lblResHP, "000"},      {ui->lblResDef, "000"},
                    {ui->lblResSpDef, "000"},   {ui->lblResHPStat, "000"},
                    {ui->lblResDefStat, "000"}, {ui->lblResSpDefStat, "000"},
                    {ui->lblResBias, "0.00"},   {ui->lblResHarm, "0.000000"}};
    QString shownTexts[std::size(readOuts)];
    for (std::size_t i = 0; i < std::size(readOuts); ++i) {
        QLabel *const label = readOuts[i].label;
        const QFontMetricsF metrics(label->font(), label);
        QChar digit = QLatin1Char('0');
        for (const QChar other : QStringLiteral("123456789")) {
            if (metrics.horizontalAdvance(other) > metrics.horizontalAdvance(digit))
                digit = other;
        }
        shownTexts[i] = label->text();
        label->setText(QString::fromLatin1(readOuts[i].widest).replace(QLatin1Char('0'), digit));
    }

    // What the form places at fixed pixels, in the central widget and in the
    // group box, neither of which has a layout.
    QWidget *const places[] = {ui->verticalLayoutWidget_2, ui->horizontalLayoutWidget,
                               ui->lblSuggested,           ui->formLayoutWidget_2,
                               ui->lblGivingStats,         ui->formLayoutWidget_3,
                               ui->lblBias,                ui->lblResBias,
                               ui->lblGivingHarm,          ui->lblResHarm};
    QRect drawnPlaces[std::size(places)];
    for (std::size_t i = 0; i < std::size(places); ++i)
        drawnPlaces[i] = places[i]->geometry();
    const QSize drawn = window->size();

    // In whole percents and pixels, so that every edge lands on the same pixel
    // on every machine; an edge, not a size, is scaled, so that what meets in
    // the form still meets.
    constexpr int kMostPercent = 400;
    layOut(window);
    for (int percent = 101; percent <= kMostPercent && !showsWhole(window); ++percent) {
        auto scaled = [percent](int pixels) { return (pixels * percent + 50) / 100; };
        for (std::size_t i = 0; i < std::size(places); ++i) {
            const QRect &r = drawnPlaces[i];
            places[i]->setGeometry(QRect(QPoint(scaled(r.left()), scaled(r.top())),
                                         QPoint(scaled(r.left() + r.width()) - 1,
                                                scaled(r.top() + r.height()) - 1)));
        }
        window->setFixedSize(scaled(drawn.width()), scaled(drawn.height()));
        layOut(window);
    }

    for (std::size_t i = 0; i < std::size(readOuts); ++i)
        readOuts[i].label->setText(shownTexts[i]);
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(new Ui_MainWindow)
{
    ui->setupUi(this);
    growToFit(this, ui);

    opSpread[0] = 0;
    opSpread[1] = 0;
    opSpread[2] = 0;
    resHarm = 0.0;
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::on_btnGo_clicked()
{
    // A search that finds no split leaves resHarm as it was; start from 0 so
    // that such a request never shows the previous request's harm.
    resHarm = 0.0;

    const bool nature = ui->cbxNature->isChecked();
    const bool natureOnDef = nature && ui->rbtDef->isChecked();

    const int spareEvs = ui->sbxSpareEvs->value();
    const int baseHp = ui->sbxHP->value();
    const int baseDef = ui->sbxDef->value();
    const int baseSpDef = ui->sbxSpDef->value();
    const float bias = static_cast<float>(ui->hrsDefType->value()) / 100.0f;

    if (nature)
        calcSpread(spareEvs, baseHp, baseDef, baseSpDef, bias, natureOnDef);
    else
        calcSpread(spareEvs, baseHp, baseDef, baseSpDef, bias);

    const bool defNature = natureOnDef;
    const bool spDefNature = nature && !natureOnDef;

    ui->lblResHPStat->setText(QString::number(calcHp(baseHp, opSpread[0])));
    ui->lblResDefStat->setText(QString::number(calcDef(baseDef, opSpread[1], defNature)));
    ui->lblResSpDefStat->setText(
        QString::number(calcSpDef(baseSpDef, opSpread[2], spDefNature)));

    ui->lblResHP->setText(QString::number(opSpread[0]));
    ui->lblResDef->setText(QString::number(opSpread[1]));
    ui->lblResSpDef->setText(QString::number(opSpread[2]));

    ui->lblResHarm->setText(QString::number(resHarm, 'g', 6));
}

void MainWindow::on_cbxNature_clicked()
{
    const bool nature = ui->cbxNature->isChecked();
    ui->rbtDef->setEnabled(nature);
    ui->rbtSpDef->setEnabled(nature);
}

void MainWindow::on_hrsDefType_valueChanged(int value)
{
    const float bias = static_cast<float>(value) / 100.0f;
    ui->lblResBias->setText(QString::number(static_cast<double>(bias), 'g', 6));
}
