#include "printer/PrinterStatus.h"

#include <array>

namespace quillon::printer {
namespace {

struct FamilyInfo {
    Family family;
    const char* name;
    const char* model;
    uint8_t modelId;
    bool impact;
    bool wide;
};

constexpr std::array<FamilyInfo, 6> kFamilies = {{
    {Family::kPosThermal, "pos-thermal", "QV-80T", 0x20, false, true},
    {Family::kPosImpact, "pos-impact", "QV-76I", 0x21, true, true},
    {Family::kPortableThermal, "portable-thermal", "QV-58P", 0x22, false, false},
    {Family::kPortableImpact, "portable-impact", "QV-58PI", 0x23, true, false},
    {Family::kMicroThermal, "micro-thermal", "QV-58M", 0x24, false, false},
    {Family::kMicroImpact, "micro-impact", "QV-58MI", 0x25, true, false},
}};

const FamilyInfo& InfoOf(Family family) {
    for (const auto& info : kFamilies)
        if (info.family == family)
            return info;
    return kFamilies[0];
}

std::string Block(const std::string& text) {
    return "_" + text + std::string(1, '\0');
}

}  // namespace

bool ParseFamily(const std::string& name, Family& family) {
    for (const auto& info : kFamilies)
        if (name == info.name) {
            family = info.family;
            return true;
        }
    return false;
}

std::string FamilyName(Family family) {
    return InfoOf(family).name;
}

std::string IdentityAnswer(Family family, int n) {
    const FamilyInfo& info = InfoOf(family);
    switch (n) {
        case 1:
        case 49:
            return std::string(1, static_cast<char>(info.modelId));
        // Multi-byte characters supported, autocutter fitted on the POS models.
        case 2:
        case 50:
            return std::string(1, static_cast<char>(0x01 | (info.wide ? 0x02 : 0)));
        // The version id keeps bits 4 and 7 clear, as every one-byte GS I answer does, so that
        // it is never taken for automatic status back.
        case 3:
        case 51:
            return std::string(1, static_cast<char>(0x01));
        case 65:
            return Block("1.00");
        case 66:
            return Block("QUILLON");
        case 67:
            return Block(info.model);
        case 68:
            return Block("QV0000001");
        case 69:
            return Block("CHINA GB18030");
        default:
            return {};
    }
}

}  // namespace quillon::printer
