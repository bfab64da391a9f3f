#pragma once
// The program's pictures, drawn here rather than shipped as files: the application icon
// (135), the port-closed and port-open icons (137, 138) and the two push-pin bitmaps
// (142 pinned, 143 unpinned), whose greys follow the palette's 3-D colours.

#include <QIcon>
#include <QPalette>
#include <QPixmap>

namespace quillon {

QIcon ApplicationIcon();  // 135, in 16, 32 and 48 pixels

// The pictures of the installed programs' desktop entries, at any size: Quillon's is the
// application icon, the virtual printer's the same printer in blue.
enum class Program { kQuillon, kVirtualPrinter };
QPixmap ProgramPicture(Program program, int size);
QPixmap PortIcon(bool open);                      // 137 closed, 138 open; 32 x 32
QPixmap PinBitmap(bool pinned, const QPalette&);  // 142 pinned, 143 unpinned; 16 x 15

}  // namespace quillon
