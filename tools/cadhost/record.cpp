#include "tools/cadhost/record.h"

#include <cmath>

namespace cadhost {

std::string LogLine(const Record& record) {
    return record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

Record Number(double v) {
    // Whole values as integers (2000, not 2000.0), the others in their
    // shortest round-trip form; what is not finite as null.
    if (std::isfinite(v) && v == std::trunc(v) && std::fabs(v) < 9007199254740992.0) {
        return Record(static_cast<long long>(v));
    }
    return Record(v);
}

Record PointJson(const Point& p) { return Record::array({Number(p.x), Number(p.y), Number(p.z)}); }

}  // namespace cadhost
