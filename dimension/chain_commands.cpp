#include "dimension/chain_commands.h"

#include <cmath>
#include <limits>

#include "dimension/point_table.h"
#include "support/checked.h"
#include "support/errors.h"

namespace tarvel {

namespace {

constexpr char kCarriageReturn = '\r';

double Span(const std::string& dim_direction, std::int32_t from, std::int32_t to) {
    const PointTable& table = Points();
    if (dim_direction == "H") return std::fabs(table.PointX[from] - table.PointX[to]);
    return std::fabs(table.PointY[from] - table.PointY[to]);
}

// "dimlinear ", the two points and the direction: the head every form shares.
std::string Head(std::int32_t s, std::int32_t e, const std::string& dim_direction) {
    const PointTable& table = Points();
    return "dimlinear " + table.PointText[s] + " " + table.PointText[e] + " " + dim_direction + " ";
}

std::string SingleForm(std::int32_t s, std::int32_t e, const std::string& dim_direction, const std::string& placement) {
    return Head(s, e, dim_direction) + placement + kCarriageReturn;
}

std::string RunForm(std::int32_t s, std::int32_t e, const std::string& dim_direction, std::int32_t count,
                    std::int32_t span, const std::string& tier_code, const std::string& placement) {
    return Head(s, e, dim_direction) + "T " + std::to_string(count) + "@" + std::to_string(span) + tier_code + "=<>" +
           kCarriageReturn + placement + kCarriageReturn;
}

}  // namespace

std::string TierCode(bool radio_button1, bool radio_button2) {
    if (radio_button1) return "\\P";
    if (radio_button2) return "\\X";
    return "";
}

std::int32_t RoundSpan(double span) {
    constexpr double kTwo63 = 9223372036854775808.0;
    if (!(span < kTwo63 && span >= -kTwo63)) throw InvalidOpError();

    double whole = std::floor(span);
    const double rest = span - whole;  // exact for every finite double
    if (rest > 0.5 || (rest == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;

    if (whole > static_cast<double>(std::numeric_limits<std::int32_t>::max()) ||
        whole < static_cast<double>(std::numeric_limits<std::int32_t>::min())) {
        throw RangeError();
    }
    return static_cast<std::int32_t>(whole);
}

void SendChainedDimensions(CadLink& link, const std::string& dim_direction, bool radio_button1, bool radio_button2) {
    const std::string tier_code = TierCode(radio_button1, radio_button2);
    const PointTable& table = Points();
    const std::int32_t n = table.PointCount;
    const std::string& placement = table.PointText[n];
    auto send = [&](const std::string& command) { link.SendCommand(link.AnsiToWide(command)); };

    std::int32_t s = 1;
    std::int32_t m = 0;
    std::int32_t a = 0;
    const std::int32_t last_step = CheckedSub(n, 2);
    for (std::int32_t j = 2; j <= last_step; j = CheckedAdd(j, 1)) {
        const std::int32_t previous = CheckedSub(j, 1);
        const std::int32_t next = CheckedAdd(j, 1);
        a = RoundSpan(Span(dim_direction, previous, j));
        const std::int32_t b = RoundSpan(Span(dim_direction, j, next));
        if (a == b) {
            m = CheckedAdd(m, 1);
            continue;
        }
        if (m == 0) {
            send(SingleForm(s, j, dim_direction, placement));
        } else {
            send(RunForm(s, j, dim_direction, CheckedAdd(m, 1), a, tier_code, placement));
            m = 0;
        }
        s = j;
    }

    // The last group ends at the end point and carries the same tier code
    // as every other group.
    const std::int32_t end = CheckedSub(n, 1);
    if (m > 0) {
        send(RunForm(s, end, dim_direction, CheckedAdd(m, 1), a, tier_code, placement));
    } else {
        send(SingleForm(s, end, dim_direction, placement));
    }
}

}  // namespace tarvel
