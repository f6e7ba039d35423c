// Whole files by their Windows path.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarvel::common {

// Reads the whole file into `out`. The file is shared with a program still
// writing it (a log). False when it cannot be opened or read, or when it is
// longer than `limit` bytes.
bool ReadWholeFile(const std::wstring& path, std::string& out, std::size_t limit = std::size_t{256} << 20);

// Writes `bytes` as the whole file, replacing it; false unless all of it
// was written.
bool WriteWholeFile(const std::wstring& path, std::string_view bytes);

}  // namespace tarvel::common
