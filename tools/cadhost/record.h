// The records of the host's JSON Lines log, written with nlohmann's JSON
// library. Portable, so the native tests check the lines themselves.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "tools/cadhost/text.h"

namespace cadhost {

// A record of the host's log: a JSON object whose fields keep the order
// they were set in ("kind" first).
using Record = nlohmann::ordered_json;

// One line of the log: the record as compact JSON in UTF-8, control
// characters as escapes (\r, \n, \u0003 ...), and a line feed. Texts go in
// through ToUtf8, so a lone surrogate, which JSON text cannot hold, reads
// U+FFFD.
std::string LogLine(const Record& record);

// A coordinate or measurement as the log writes it: a whole value as an
// integer, any other in its shortest round-trip form.
Record Number(double v);

// A point as the log writes it, [x, y, z].
Record PointJson(const Point& p);

}  // namespace cadhost
