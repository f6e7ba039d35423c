// The control identifiers of Tarvel's windows, for GetDlgItem: tools that
// drive Tarvel from outside (the scenario driver) find the controls by them.
#pragma once

namespace tarvel::app {

// TTarvelF
constexpr int kIdStart = 1001;         // bStart
constexpr int kIdRadioButton1 = 1002;  // "２段(上付)"
constexpr int kIdRadioButton2 = 1003;  // "２段(中間)"
constexpr int kIdRadioButton3 = 1004;  // "1段"
constexpr int kIdHelp = 1005;          // bHelp

// TAboutBox
constexpr int kIdImage1 = 1101;
constexpr int kIdOKButton = 1;  // IDOK, so Enter presses it

}  // namespace tarvel::app
