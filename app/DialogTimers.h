#pragma once

// The main window's one-shot timers.

namespace quillon {

enum DialogTimer : int {
    kResendTextTimer = 1,  // sends the send text again after the interval ("Auto Send")
    kFileTimer = 2,        // sends the file again; also ends the save confirmation label
    kSendLabelTimer = 4,   // puts the selected file back in the send label after "Send Completed."
    kModelTestTimer = 5,   // sends the next line of a model test file
    kPrinterQueryTimer = 6,  // ends the wait for the answers to "Printer Status" or "Identify"
};

}  // namespace quillon
