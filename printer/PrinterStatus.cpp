#include "printer/PrinterStatus.h"

#include <array>

namespace quillon::printer {
namespace {

constexpr uint8_t kFixedBits = 0x12;  // bits 1 and 4 of every DLE EOT answer

uint8_t DrawerBit(const PrinterState& s) {
    return s.drawerOpen ? 0 : 0x04;
}

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

uint8_t RealTimeStatus(const PrinterState& s, int n) {
    switch (n) {
        case 1:
            return kFixedBits | DrawerBit(s) | (s.Online() ? 0 : 0x08);
        case 2:
            return kFixedBits | (s.coverOpen ? 0x04 : 0) | (s.paperEnd ? 0x20 : 0);
        case 3:
            return kFixedBits;
        case 4:
            return kFixedBits | (s.paperNearEnd && !s.paperEnd ? 0x0C : 0) |
                   (s.paperEnd ? 0x60 : 0);
        default:
            return 0;
    }
}

std::array<uint8_t, 4> AutomaticStatus(const PrinterState& s) {
    const uint8_t first = 0x10 | DrawerBit(s) | (s.Online() ? 0 : 0x08) | (s.coverOpen ? 0x20 : 0);
    const uint8_t third = (s.paperNearEnd && !s.paperEnd ? 0x03 : 0) | (s.paperEnd ? 0x0C : 0);
    return {first, 0x00, third, 0x00};
}

uint8_t PaperSensorStatus(const PrinterState& s) {
    return (s.paperNearEnd && !s.paperEnd ? 0x03 : 0) | (s.paperEnd ? 0x0C : 0);
}

uint8_t DrawerStatus(const PrinterState& s) {
    return s.drawerOpen ? 0x00 : 0x01;
}

uint8_t ChangedItems(const PrinterState& a, const PrinterState& b) {
    uint8_t items = 0;
    if (a.drawerOpen != b.drawerOpen)
        items |= kAsbDrawer;
    if (a.Online() != b.Online() || a.coverOpen != b.coverOpen)
        items |= kAsbOnline;
    if (a.paperEnd != b.paperEnd || a.paperNearEnd != b.paperNearEnd)
        items |= kAsbPaper;
    return items;
}

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

int DefaultPaperWidth(Family family) {
    return InfoOf(family).wide ? 576 : 384;
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
        case 3:
        case 51:
            return std::string(1, static_cast<char>(0x10));
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
