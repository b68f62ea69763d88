// The spread search written out the long way: every one of the 64 x 64 x 64
// EV combinations is visited and the candidates are rated with the stat and
// harm arithmetic spelled out in place. It shares no code with the shipped
// search, so the two can be compared bit for bit.
#ifndef LITERAL_SEARCH_H
#define LITERAL_SEARCH_H

struct LiteralSpread {
    int split[3];
    double harm;
};

// `harmBefore` is what the spread result's harm held when the search began;
// it is kept when no candidate is accepted.
inline LiteralSpread literalSpread(int spareEvs, int baseHp, int baseDef, int baseSpDef,
                                   float bias, bool defNature, bool spDefNature,
                                   double harmBefore)
{
    const int target = spareEvs - spareEvs % 4;
    double bestHarm = 9000.0;
    LiteralSpread best = {{0, 0, 0}, harmBefore};
    for (int h = 0; h <= 252; h += 4) {
        const int hp = (h / 4 + 2 * baseHp + 131) / 2 + 10;
        for (int d = 0; d <= 252; d += 4) {
            for (int s = 0; s <= 252; s += 4) {
                if (h + d + s != target)
                    continue;
                int spDef = (s / 4 + 2 * baseSpDef + 31) / 2 + 5;
                if (spDefNature)
                    spDef = static_cast<int>(spDef * 1.1);
                int def = (d / 4 + 2 * baseDef + 31) / 2 + 5;
                if (defNature)
                    def = static_cast<int>(def * 1.1);

                const float spDefWeight = bias + bias;
                const float defWeight = 2.0f - spDefWeight;
                const double defQuotient = static_cast<double>(2 * def + 20000)
                                           / static_cast<double>(hp * def);
                const double spDefQuotient = static_cast<double>(2 * spDef + 20000)
                                             / static_cast<double>(hp * spDef);
                const double harm = static_cast<double>(defWeight) * defQuotient
                                    + static_cast<double>(spDefWeight) * spDefQuotient;
                if (harm < bestHarm) {
                    bestHarm = harm;
                    best = {{h, d, s}, harm};
                }
            }
        }
    }
    return best;
}

#endif // LITERAL_SEARCH_H
