#include "dimension/ordering.h"

#include <cmath>

#include "dimension/point_table.h"
#include "support/checked.h"

namespace tarvel {

std::string ChooseDirection() {
    const PointTable& table = Points();
    const double dX = std::fabs(table.PointX[1] - table.PointX[2]);
    const double dY = std::fabs(table.PointY[1] - table.PointY[2]);
    return dX > dY ? "H" : "V";
}

void OrderPoints(std::string direction) {
    PointTable& table = Points();
    const bool byX = direction == "H";
    auto key = [&](std::int32_t i) { return byX ? table.PointX[i] : table.PointY[i]; };
    const bool descending = key(1) >= key(2);
    const std::int32_t count = table.PointCount;
    const std::int32_t lastPair = CheckedSub(count, 2);

    // Bubble sort of the intermediate points, slots 3..count-1.
    bool exchanged = true;
    while (exchanged) {
        exchanged = false;
        for (std::int32_t i = 3; i <= lastPair; i = CheckedAdd(i, 1)) {
            const std::int32_t next = CheckedAdd(i, 1);
            const bool outOfOrder = descending ? key(i) < key(next) : key(i) > key(next);
            if (!outOfOrder) continue;
            table.PointText[i].swap(table.PointText[next]);
            SwapDouble(table.PointX[i], table.PointX[next]);
            SwapDouble(table.PointY[i], table.PointY[next]);
            exchanged = true;
        }
    }

    // The end point goes behind the intermediate points; its X and Y are
    // derived from its text again, as when it was picked.
    const std::string endText = table.PointText[2];
    const std::int32_t endSlot = CheckedSub(count, 1);
    for (std::int32_t i = 3; i <= endSlot; i = CheckedAdd(i, 1)) {
        const std::int32_t to = CheckedSub(i, 1);
        table.PointText[to] = table.PointText[i];
        table.PointX[to] = table.PointX[i];
        table.PointY[to] = table.PointY[i];
    }
    table.PointText[endSlot] = endText;
    std::string rest = endText;
    ParsePointXY(rest, table.PointX[endSlot], table.PointY[endSlot]);
}

}  // namespace tarvel
