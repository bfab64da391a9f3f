#pragma once
// Why a port would not open, in the words a script's log shows: the cause the transport
// found and what to do about it.

#include <string>

#include "transport/OpenOutcome.h"

namespace quillon::cli {

// One line or two; empty for an outcome that did not fail.
std::string OpenFailureWords(const OpenOutcome& outcome);
// The C library's text of an errno.
std::string ErrnoText(int error);

}  // namespace quillon::cli
