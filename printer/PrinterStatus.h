#pragma once
// The printer families the program stands in for and how each answers GS I; the state its
// sensors see and the status bytes that tell it are the protocol's (escpos/Status.h).

#include <string>

#include "escpos/Status.h"

namespace quillon::printer {

using escpos::PrinterState;

// The printer families the program can stand in for.
enum class Family {
    kPosThermal,
    kPosImpact,
    kPortableThermal,
    kPortableImpact,
    kMicroThermal,
    kMicroImpact
};
// "pos-thermal", "portable-impact", ...; false for an unknown name.
bool ParseFamily(const std::string& name, Family& family);
std::string FamilyName(Family family);

// The answer to GS I n, or an empty string when n asks for nothing this printer has.
std::string IdentityAnswer(Family family, int n);

}  // namespace quillon::printer
