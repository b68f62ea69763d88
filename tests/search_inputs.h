// Random search inputs within the ranges of the window's fields, and a way to
// run either search on one of them.
#ifndef SEARCH_INPUTS_H
#define SEARCH_INPUTS_H

#include "literal_search.h"
#include "mainwindow.h"

#include <random>

enum class Nature { None, OnDef, OnSpDef };

struct SearchInput {
    int spareEvs;
    int baseHp;
    int baseDef;
    int baseSpDef;
    int slider; // 1 to 100; the bias is slider / 100 in single precision
    Nature nature;

    float bias() const { return static_cast<float>(slider) / 100.0f; }
};

// Every field is drawn over its whole range, the same on every machine. One
// input in four gets equal Def and SpDef bases and the middle bias, where
// splits of equal harm abound and the tie-break decides the answer.
inline SearchInput randomSearchInput(std::mt19937 &random)
{
    // mt19937 gives the same numbers everywhere, and so does this; the
    // standard's distributions are each library's own.
    auto draw = [&random](int low, int high) {
        return low + static_cast<int>(random() % static_cast<unsigned>(high - low + 1));
    };
    SearchInput input;
    input.spareEvs = draw(4, 510);
    input.baseHp = draw(1, 300);
    input.baseDef = draw(1, 300);
    input.baseSpDef = draw(1, 300);
    input.slider = draw(1, 100);
    input.nature = static_cast<Nature>(draw(0, 2));
    if (draw(0, 3) == 0) {
        input.baseSpDef = input.baseDef;
        input.slider = 50;
    }
    return input;
}

// Runs the shipped search; the answer is left in opSpread and resHarm.
inline void shippedSpread(const SearchInput &in)
{
    if (in.nature == Nature::None)
        calcSpread(in.spareEvs, in.baseHp, in.baseDef, in.baseSpDef, in.bias());
    else
        calcSpread(in.spareEvs, in.baseHp, in.baseDef, in.baseSpDef, in.bias(),
                   in.nature == Nature::OnDef);
}

inline LiteralSpread literalSpread(const SearchInput &in, double harmBefore)
{
    return literalSpread(in.spareEvs, in.baseHp, in.baseDef, in.baseSpDef, in.bias(),
                         in.nature == Nature::OnDef, in.nature == Nature::OnSpDef,
                         harmBefore);
}

#endif // SEARCH_INPUTS_H
