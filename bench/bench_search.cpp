// Times the shipped spread search against the long-hand triple loop over the
// same fixed set of inputs, in one run. Both must give identical answers; the
// program refuses to time them otherwise.
#include "search_inputs.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const std::vector<SearchInput> &inputs()
{
    static const std::vector<SearchInput> set = [] {
        std::mt19937 random(7);
        std::vector<SearchInput> result(300);
        for (SearchInput &input : result)
            input = randomSearchInput(random);
        return result;
    }();
    return set;
}

bool answersAgree()
{
    for (const SearchInput &input : inputs()) {
        resHarm = 0.0;
        shippedSpread(input);
        const LiteralSpread expected = literalSpread(input, 0.0);
        if (opSpread[0] != expected.split[0] || opSpread[1] != expected.split[1]
            || opSpread[2] != expected.split[2]
            || std::memcmp(&resHarm, &expected.harm, sizeof resHarm) != 0)
            return false;
    }
    return true;
}

void BM_ShippedSearch(benchmark::State &state)
{
    for (auto _ : state) {
        for (const SearchInput &input : inputs()) {
            shippedSpread(input);
            benchmark::DoNotOptimize(opSpread[0]);
            benchmark::DoNotOptimize(resHarm);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long>(inputs().size()));
}
BENCHMARK(BM_ShippedSearch)->Unit(benchmark::kMicrosecond);

void BM_LiteralTripleLoop(benchmark::State &state)
{
    for (auto _ : state) {
        for (const SearchInput &input : inputs()) {
            LiteralSpread result = literalSpread(input, 0.0);
            benchmark::DoNotOptimize(result);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long>(inputs().size()));
}
BENCHMARK(BM_LiteralTripleLoop)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    if (!answersAgree()) {
        std::fprintf(stderr, "the shipped search and the triple loop disagree\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
