// SendChainedDimensions over arbitrary point tables. Whatever the spans,
// every command is whole (ends with a carriage return), there are between 1
// and N-2 of them, each starts at the point where the previous one ended,
// the first starts at point 1 and the last ends at point N-1, and their
// segment counts add up to N-2. Huge spans may stop the sending with the
// range or invalid-operation error; what was sent before is still whole.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dimension/chain_commands.h"
#include "dimension/point_table.h"
#include "fuzz_link.h"
#include "support/errors.h"

namespace {

struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::uint8_t Byte() {
        if (size == 0) return 0;
        --size;
        return *data++;
    }
    double Coordinate() {
        // Mostly small whole values, so equal spans are common; now and then
        // a fraction near a rounding tie, or a raw double.
        const std::uint8_t kind = Byte();
        if (kind < 200) return (kind % 8) * 250.0 + (Byte() % 3) * 0.5;
        if (kind < 250) return static_cast<double>(static_cast<std::int8_t>(Byte())) * 1e9;
        double raw;
        std::uint8_t bytes[sizeof raw];
        for (auto& b : bytes) b = Byte();
        std::memcpy(&raw, bytes, sizeof raw);
        return std::isfinite(raw) ? raw : 0.0;
    }
};

// The text of point k as the commands carry it: no blanks, so the commands
// can be split at blanks.
std::string PointName(int k) { return "p" + std::to_string(k); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in{data, size};
    const int n = 4 + in.Byte() % 60 + (in.Byte() == 255 ? 436 : 0);  // 4..499, sometimes long
    const bool vertical = in.Byte() & 1;
    const std::uint8_t tier = in.Byte() % 3;

    tarvel::ResetPointTable();
    auto& table = tarvel::Points();
    table.PointCount = n;
    for (int k = 1; k <= n; ++k) {
        table.PointText[k] = PointName(k);
        table.PointX[k] = in.Coordinate();
        table.PointY[k] = in.Coordinate();
    }

    tarvel::fuzz::RecordingLink link;
    bool stopped = false;
    try {
        tarvel::SendChainedDimensions(link, vertical ? "V" : "H", tier == 0, tier == 1);
    } catch (const tarvel::RangeError&) {
        stopped = true;
    } catch (const tarvel::InvalidOpError&) {
        stopped = true;
    }

    if (!stopped && (link.sent.empty() || static_cast<int>(link.sent.size()) > n - 2)) std::abort();
    int expected_start = 1;
    int segments = 0;
    const std::string placement = PointName(n);
    for (const auto& wide : link.sent) {
        std::string command(wide.begin(), wide.end());
        if (command.empty() || command.back() != '\r') std::abort();
        if (command.rfind("dimlinear ", 0) != 0) std::abort();
        const auto s1 = command.find(' ', 10);
        const auto s2 = command.find(' ', s1 + 1);
        const int from = std::atoi(command.substr(11, s1 - 11).c_str());
        const int to = std::atoi(command.substr(s1 + 2, s2 - s1 - 2).c_str());
        if (from != expected_start || to <= from || to > n - 1) std::abort();
        const std::string dir = command.substr(s2 + 1, 1);
        if (dir != (vertical ? "V" : "H")) std::abort();
        const std::string tail = command.substr(s2 + 3);
        if (tail == placement + "\r") {
            if (to - from != 1) std::abort();  // a single dimension spans one segment
        } else {
            // "T <count>@<span><tier>=<>\r<placement>\r"
            if (tail.rfind("T ", 0) != 0) std::abort();
            const int count = std::atoi(tail.c_str() + 2);
            if (count != to - from || count < 2) std::abort();
            const char* tier_text = tier == 0 ? "\\P=<>\r" : tier == 1 ? "\\X=<>\r" : "=<>\r";
            if (tail.find(std::string(tier_text) + placement + "\r") == std::string::npos) std::abort();
            if (tail.find('\r') == tail.size() - 1) std::abort();
        }
        segments += to - from;
        expected_start = to;
    }
    if (!stopped && (segments != n - 2 || expected_start != n - 1)) std::abort();
    return 0;
}
