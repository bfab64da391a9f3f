#pragma once
// What assistive technology reads of a WrappedTextView: its text, the caret and the
// selection, through the text interface a screen reader asks for (AT-SPI Text on Linux),
// as it reads an ordinary text box.

namespace quillon {

// Has Qt describe every WrappedTextView by its text; calling it again does nothing.
void InstallWrappedTextAccessible();

}  // namespace quillon
