// The pick dialogue with AutoCAD: one ID command per point, a prompt painted
// on the history pane, a poll of the prompt line until AutoCAD is idle, and
// the last history line to tell a pick from a cancel or a right-click.
#pragma once

#include <cstdint>
#include <string>

#include "dimension/cad_link.h"
#include "dimension/run_window.h"

namespace tarvel {

// Ctrl-C, then "ID" and a blank: cancels whatever runs and starts a pick.
inline constexpr char16_t PickCommand[] =
    u"\x03"
    u"ID ";

inline constexpr std::uint32_t kPollPeriodMs = 200;
inline constexpr std::int32_t kMaxPolls = 600;

// Polls the prompt line every 200 ms (pumping messages before each look)
// until it reads the idle prompt exactly, reads empty, or 600 polls passed.
void WaitForCommandPrompt(CadLink& link, RunWindow& window);

// Fills the point table: start point, end point, intermediate points until
// a cancel or a pick without a point, then the placement point. Gives back
// whether the placement point was picked and stored as the last point.
// Does nothing (and gives false) when AutoCAD is not found or its prompt
// line is empty.
bool CapturePoints(CadLink& link, RunWindow& window);

}  // namespace tarvel
