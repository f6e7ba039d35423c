// The host's windows, as a Japanese AutoCAD 2004 has them: the frame with
// the drawing view, the command line (docked in a control bar, floating, or
// in the text window) with its history pane and prompt line, and the text
// window. Their classes, their layout and their window procedures.
#pragma once

namespace cadhost {

struct Host;

// Registers the classes and creates, lays out and shows the windows of the
// host's layout, each bound to the host. False when one could not be made.
bool CreateWindows(Host& h);

}  // namespace cadhost
