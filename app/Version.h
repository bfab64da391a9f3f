#pragma once

// The program's version as the build gives it (major.minor of the project's version).

namespace quillon {

#ifndef QUILLON_VERSION
#error "QUILLON_VERSION comes from the build"
#endif

constexpr double kProgramVersion = QUILLON_VERSION;

}  // namespace quillon
