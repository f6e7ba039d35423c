#include "dimension/run.h"

#include <string>

#include "dimension/capture.h"
#include "dimension/chain_commands.h"
#include "dimension/ordering.h"
#include "dimension/point_table.h"

namespace tarvel {

namespace {

bool running = false;

// Marks a run as under way for as long as it lives, whichever way the run
// ends.
class RunningMark {
public:
    RunningMark() { running = true; }
    ~RunningMark() { running = false; }
    RunningMark(const RunningMark&) = delete;
    RunningMark& operator=(const RunningMark&) = delete;
};

}  // namespace

bool RunDimension(CadLink& link, RunWindow& window) {
    if (running) return false;
    const RunningMark mark;

    window.Minimize();
    window.ProcessMessages();

    // Relative names: the work files of the current directory only.
    window.DeleteWorkFile("TARVEL.dxf");
    window.DeleteWorkFile("TARVEL.csv");

    PointTable& table = Points();
    table.PointCount = 0;
    std::string DimDirection;
    bool PlacementRead = false;

    PlacementRead = CapturePoints(link, window);

    if (table.PointCount > 3 && PlacementRead) {
        DimDirection = ChooseDirection();
        OrderPoints(DimDirection);
    }

    window.Restore();
    window.ProcessMessages();

    if (table.PointCount > 3 && PlacementRead) {
        SendChainedDimensions(link, DimDirection, window.RadioButton1Checked(), window.RadioButton2Checked());
    }
    return true;
}

}  // namespace tarvel
