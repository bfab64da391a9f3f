#include "printer/Geometry.h"

#include <algorithm>
#include <array>
#include <vector>

namespace quillon::printer {
namespace {

constexpr FontCells kThermalCells{};  // font A 12 x 24, font B 9 x 17, Chinese 24 x 24

constexpr std::array<Geometry, 5> kGeometries = {{
    {80, false, 576, 203, kThermalCells},  // 48 / 64 columns
    {58, false, 384, 203, kThermalCells},  // 32 / 42
    {44, false, 288, 203, kThermalCells},  // 24 / 32
    // Impact heads at 240 dpi: font B a dot narrower than font A, Chinese two font A cells.
    {76, true, 600, 240, {{15, 24}, {14, 20}, {30, 24}}},  // 40 / 42
    {58, true, 462, 240, {{14, 24}, {13, 20}, {28, 24}}},  // 33 / 35
}};

struct FamilyPaper {
    Family family;
    bool impact;
    std::vector<int> widths;  // the usual one first
};

const FamilyPaper& PaperOf(Family family) {
    static const std::array<FamilyPaper, 6> kPapers = {{
        {Family::kPosThermal, false, {80, 58}},
        {Family::kPosImpact, true, {76}},
        {Family::kPortableThermal, false, {58, 80}},
        {Family::kPortableImpact, true, {58}},
        {Family::kMicroThermal, false, {44, 58}},
        {Family::kMicroImpact, true, {58}},
    }};
    for (const auto& paper : kPapers)
        if (paper.family == family)
            return paper;
    return kPapers[0];
}

const Geometry* Find(int widthMm, bool impact) {
    for (const auto& g : kGeometries)
        if (g.widthMm == widthMm && g.impact == impact)
            return &g;
    return nullptr;
}

}  // namespace

FontCell FontCells::Of(FontKind font) const {
    switch (font) {
        case FontKind::kB:
            return b;
        case FontKind::kCjk:
            return cjk;
        default:
            return a;
    }
}

bool IsPaperWidth(int widthMm) {
    return std::any_of(kGeometries.begin(), kGeometries.end(),
                       [&](const Geometry& g) { return g.widthMm == widthMm; });
}

Geometry GeometryOf(Family family, int widthMm) {
    const FamilyPaper& paper = PaperOf(family);
    const int width = widthMm ? widthMm : paper.widths.front();
    if (const Geometry* own = Find(width, paper.impact))
        return *own;
    if (const Geometry* other = Find(width, !paper.impact))
        return *other;
    return *Find(paper.widths.front(), paper.impact);
}

std::string PaperWidthWarning(Family family, int widthMm) {
    const std::vector<int>& widths = PaperOf(family).widths;
    if (std::find(widths.begin(), widths.end(), widthMm) != widths.end())
        return {};
    std::string takes;
    for (size_t i = 0; i < widths.size(); ++i)
        takes += (i == 0                   ? ""
                  : i + 1 == widths.size() ? " or "
                                           : ", ") +
                 std::to_string(widths[i]) + " mm";
    const std::string asked = std::to_string(widthMm) + " mm";
    return FamilyName(family) + " printers take " + takes + " paper, not " + asked +
           "; printing on " + asked + " as asked";
}

}  // namespace quillon::printer
