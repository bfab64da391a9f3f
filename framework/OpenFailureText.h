#pragma once
// Why a port or printer would not open, worded for the user in the interface's language:
// the cause the transport found and what to do about it.

#include <QString>

#include "framework/Language.h"
#include "transport/OpenOutcome.h"

namespace quillon {

// One sentence or two: the device is gone, the user must join its group and log in again,
// another program holds it, the printer's web page answered with another status, ...
// Empty for an outcome that did not fail.
QString OpenFailureCause(Language language, const OpenOutcome& outcome);

// The text of an errno in the C library's words.
QString ErrorText(int error);

}  // namespace quillon
