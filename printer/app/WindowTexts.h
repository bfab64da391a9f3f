#pragma once
// The printer window's texts in English and Chinese; the language follows the locale as
// Quillon's does (LC_ALL, then LC_MESSAGES, then LANG: zh* is Chinese).

#include <QString>

namespace quillon {

enum class PrinterText {
    kTitle,
    kState,
    kReady,
    kPaperNearEnd,
    kPaperEnd,
    kCoverOpen,
    kDrawer,
    kDrawerOpen,
    kDrawerClosed,
    kOpenCover,
    kCloseCover,
    kTakeOutPaper,
    kPutInPaper,
    kNearEndOn,
    kNearEndOff,
    kOpenDrawer,
    kCloseDrawer,
    kPaper,
    kLog,
    kPorts,
    kNotDrawn,
    kNotCut,
};

QString Tr(PrinterText text);
bool ChineseInterface();

}  // namespace quillon
