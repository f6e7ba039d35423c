// Puts the picked points into chain order: the direction of the chain from
// its start and end points, then the intermediate points sorted along it
// and the end point moved behind them.
#pragma once

#include <string>

namespace tarvel {

// "H" when the start and end points (slots 1 and 2) lie further apart in X
// than in Y, else "V" (ties included).
std::string ChooseDirection();

// Reorders slots 1..PointCount-1 (the placement point in the last slot is
// left alone): slot 1 the start point, then the intermediate points in
// chain order, then the end point. Keys are X for "H" and Y otherwise;
// points with equal keys keep their pick order. Needs PointCount >= 4.
void OrderPoints(std::string direction);

}  // namespace tarvel
