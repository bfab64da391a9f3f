#pragma once
// What the cycle pages hand their worker from the main window at a start, and the page
// texts the worker shows, in the page's language.

#include "framework/Language.h"
#include "pages/PageHost.h"
#include "pages/cycle/CycleRunner.h"

namespace quillon {

// The snapshot of a start. The line end of "Send NewLine" is added in character mode only:
// hexadecimal text gets no line end.
CycleSettings CycleSettingsFrom(const CycleSendState& state, Language language, bool onePass);

// openFailedId: the string of a target that cannot be opened (157 serial, 165 network).
CycleTexts CycleTextsFor(Language language, int openFailedId);

}  // namespace quillon
