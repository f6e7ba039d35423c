// The portable core's hot paths, with Google Benchmark: ordering a full
// point table given in the worst order, composing and handing over the
// commands of a full chain, and reading one LASTPOINT text.
//
//   bench_dimension --benchmark_out=FILE --benchmark_out_format=json
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "dimension/cad_link.h"
#include "dimension/chain_commands.h"
#include "dimension/ordering.h"
#include "dimension/point_table.h"

namespace {

using tarvel::Points;

// Counts what would be typed; the commands are ASCII, so widening byte by
// byte is what MultiByteToWideChar would give for them.
class CountingLink : public tarvel::CadLink {
public:
    bool ActivateAcad() override { return true; }
    void ReadPromptLine(std::string& text) override { text.clear(); }
    void LastHistoryLine(std::string& line) override { line.clear(); }
    bool SendCommand(const std::u16string& command) override {
        ++commands;
        units += command.size();
        return true;
    }
    void QuerySysVar(const std::string&, std::string& value) override { value.clear(); }
    tarvel::WindowHandle FindHistoryPane() override { return nullptr; }
    void DrawPromptText(tarvel::WindowHandle, const std::string&) override {}
    std::u16string AnsiToWide(const std::string& text) override { return std::u16string(text.begin(), text.end()); }

    std::int64_t commands = 0;
    std::int64_t units = 0;
};

std::string PointText(double x, double y) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%.4f,%.4f,0.0000", x, y);
    return buffer;
}

void SetSlot(std::int32_t slot, double x, double y) {
    Points().PointText[slot] = PointText(x, y);
    Points().PointX[slot] = x;
    Points().PointY[slot] = y;
}

// The spans of a full chain: every slot but the placement's holds a point.
constexpr std::int32_t kChainPoints = tarvel::MaxPoints - 1;  // 499 points, 498 spans

enum class Spans { Equal, Different, Alternating };

double SpanAt(Spans kind, std::int32_t i) {
    switch (kind) {
        case Spans::Equal:
            return 500;
        case Spans::Different:
            return 100 + i;  // no two alike
        case Spans::Alternating:
            return i % 2 ? 300 : 700;
    }
    return 0;
}

// A table as the pick loop leaves it: start, end, then the intermediate
// points picked from the far end back (every neighbouring pair out of
// order for the sort), then the placement.
void FillAsPicked(Spans kind) {
    tarvel::ResetPointTable();
    std::vector<double> xs{0};
    for (std::int32_t i = 1; i < kChainPoints; ++i) xs.push_back(xs.back() + SpanAt(kind, i));
    SetSlot(1, xs.front(), 0);
    SetSlot(2, xs.back(), 0);
    std::int32_t slot = 3;
    for (std::size_t i = xs.size() - 2; i >= 1; --i) SetSlot(slot++, xs[i], 0);
    SetSlot(slot, xs.back() / 2, -400);
    Points().PointCount = slot;
}

// A table in chain order, as the sending finds it.
void FillOrdered(Spans kind) {
    tarvel::ResetPointTable();
    double x = 0;
    for (std::int32_t slot = 1; slot <= kChainPoints; ++slot) {
        SetSlot(slot, x, 0);
        x += SpanAt(kind, slot);
    }
    SetSlot(kChainPoints + 1, x / 2, -400);
    Points().PointCount = kChainPoints + 1;
}

void BM_OrderPoints_WorstOrder(benchmark::State& state) {
    FillAsPicked(Spans::Different);
    const tarvel::PointTable picked = Points();
    for (auto _ : state) {
        state.PauseTiming();
        Points() = picked;
        state.ResumeTiming();
        tarvel::OrderPoints("H");
        benchmark::DoNotOptimize(Points().PointX[2]);
    }
    if (Points().PointX[2] > Points().PointX[3]) state.SkipWithError("not ordered");
    state.counters["intermediates"] = static_cast<double>(picked.PointCount - 3);
}
BENCHMARK(BM_OrderPoints_WorstOrder)->Unit(benchmark::kMicrosecond);

void BM_SendChainedDimensions(benchmark::State& state, Spans kind) {
    FillOrdered(kind);
    CountingLink link;
    std::int64_t per_chain = 0;
    for (auto _ : state) {
        const std::int64_t before = link.commands;
        tarvel::SendChainedDimensions(link, "H", false, true);
        per_chain = link.commands - before;
    }
    state.counters["commands"] = static_cast<double>(per_chain);
    state.counters["segments"] = kChainPoints - 1;
}
BENCHMARK_CAPTURE(BM_SendChainedDimensions, all_equal, Spans::Equal)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_SendChainedDimensions, all_different, Spans::Different)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_SendChainedDimensions, alternating, Spans::Alternating)->Unit(benchmark::kMicrosecond);

// One LASTPOINT text read as a pick stores it: three fields cut, X and Y
// (and Z) converted.
void BM_CutFieldParseCoordinate(benchmark::State& state) {
    const std::vector<std::string> texts = {"0.0000,0.0000,0.0000", "123456.7890,-98765.4321,0.0000",
                                            "1.5E+03,-2.25e-2,10", " 2300.0000,1800.0000,0.0000 "};
    std::size_t next = 0;
    double sum = 0;
    for (auto _ : state) {
        std::string rest = texts[next++ % texts.size()];
        std::string field;
        tarvel::CutField(rest, field);
        sum += tarvel::ParseCoordinate(field);
        tarvel::CutField(rest, field);
        sum += tarvel::ParseCoordinate(field);
        tarvel::CutField(rest, field);
        sum += tarvel::ParseCoordinate(field);
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_CutFieldParseCoordinate)->Unit(benchmark::kNanosecond);

}  // namespace

BENCHMARK_MAIN();
