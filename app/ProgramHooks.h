#pragma once

// What the program does around its main window: a termination signal closes the window
// the way its close box does (the settings are kept and the port is closed), and, when
// QUILLON_WINDOW_REPORT names a file, the window describes itself there once it is up, so
// that scripts and end-to-end tests can see what came up without a display.

namespace quillon {

class CQuillonDlg;

void CloseOnTerminationSignals(CQuillonDlg& dialog);
void ReportWindowWhenShown(CQuillonDlg& dialog);

}  // namespace quillon
