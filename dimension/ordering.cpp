#include "dimension/ordering.h"

#include <cmath>

#include "dimension/point_table.h"
#include "support/checked.h"

namespace tarvel {

std::string ChooseDirection() {
    const PointTable& table = Points();
    const double dx = std::fabs(table.PointX[1] - table.PointX[2]);
    const double dy = std::fabs(table.PointY[1] - table.PointY[2]);
    return dx > dy ? "H" : "V";
}

void OrderPoints(std::string direction) {
    PointTable& table = Points();
    const bool by_x = direction == "H";
    auto key = [&](std::int32_t i) { return by_x ? table.PointX[i] : table.PointY[i]; };
    const bool descending = key(1) >= key(2);
    const std::int32_t count = table.PointCount;
    const std::int32_t last_pair = CheckedSub(count, 2);

    // Bubble sort of the intermediate points, slots 3..count-1.
    bool exchanged = true;
    while (exchanged) {
        exchanged = false;
        for (std::int32_t i = 3; i <= last_pair; i = CheckedAdd(i, 1)) {
            const std::int32_t next = CheckedAdd(i, 1);
            const bool out_of_order = descending ? key(i) < key(next) : key(i) > key(next);
            if (!out_of_order) continue;
            table.PointText[i].swap(table.PointText[next]);
            SwapDouble(table.PointX[i], table.PointX[next]);
            SwapDouble(table.PointY[i], table.PointY[next]);
            exchanged = true;
        }
    }

    // The end point goes behind the intermediate points; its X and Y are
    // derived from its text again, as when it was picked.
    const std::string end_text = table.PointText[2];
    const std::int32_t end_slot = CheckedSub(count, 1);
    for (std::int32_t i = 3; i <= end_slot; i = CheckedAdd(i, 1)) {
        const std::int32_t to = CheckedSub(i, 1);
        table.PointText[to] = table.PointText[i];
        table.PointX[to] = table.PointX[i];
        table.PointY[to] = table.PointY[i];
    }
    table.PointText[end_slot] = end_text;
    std::string rest = end_text;
    ParsePointXY(rest, table.PointX[end_slot], table.PointY[end_slot]);
}

}  // namespace tarvel
