// One press of Start from beginning to end: minimise, delete the work
// files, capture the points, order them, restore, send the dimensions.
#pragma once

#include "dimension/cad_link.h"
#include "dimension/run_window.h"

namespace tarvel {

// Runs one dimension run. Errors (tarvel::Error, SilentAbort) end it where
// they arise and propagate to the caller. Gives false, having done nothing,
// when called while a run is already under way (a press of Start handled by
// the run's own message pumping); true otherwise.
bool RunDimension(CadLink& link, RunWindow& window);

}  // namespace tarvel
