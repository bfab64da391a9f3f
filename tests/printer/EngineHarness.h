#pragma once
// A virtual printer with its answers and pages caught for the test to look at.

#include <string>
#include <vector>

#include "printer/VirtualPrinter.h"

namespace quillon {

// Bytes from hex text such as "1B 40 1D 56 42 00"; text in quotes goes in as it stands:
// Bytes("1B 45 01 'Hi' 0A").
inline std::string Bytes(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i < hex.size();) {
        if (hex[i] == ' ') {
            ++i;
        } else if (hex[i] == '\'') {
            const size_t end = hex.find('\'', i + 1);
            out += hex.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
            i += 2;
        }
    }
    return out;
}

struct EngineHarness {
    // `widthMm` 0: the family's usual paper.
    explicit EngineHarness(printer::Family family = printer::Family::kPosThermal, int widthMm = 0,
                           int drawerOpenMs = 1000)
        : printer(
              printer::PrinterOptions{family, printer::GeometryOf(family, widthMm), drawerOpenMs},
              [this](const uint8_t* b, size_t n) {
                  answers.append(reinterpret_cast<const char*>(b), n);
              },
              [this](printer::Page&& page) { pages.push_back(std::move(page)); }) {}

    void Send(const std::string& hex) { printer.Receive(Bytes(hex)); }
    std::string TakeAnswers() {
        std::string a;
        a.swap(answers);
        return a;
    }
    // Every element printed so far, pages in order; the open page is closed first.
    std::vector<printer::Element> Elements() {
        printer.EndJob();
        std::vector<printer::Element> all;
        for (auto& page : pages)
            for (auto& e : page.elements)
                all.push_back(e);
        return all;
    }
    template <typename T>
    std::vector<T> All() {
        std::vector<T> found;
        for (auto& e : Elements())
            if (auto* t = std::get_if<T>(&e))
                found.push_back(*t);
        return found;
    }
    void Set(bool cover, bool paperEnd, bool nearEnd = false, bool drawer = false) {
        printer::PrinterState s;
        s.coverOpen = cover;
        s.paperEnd = paperEnd;
        s.paperNearEnd = nearEnd;
        s.drawerOpen = drawer;
        printer.SetState(s);
    }

    std::string answers;
    std::vector<printer::Page> pages;
    printer::VirtualPrinter printer;
};

// The characters of a text line as UTF-32.
inline std::u32string Chars(const printer::TextLine& line) {
    std::u32string s;
    for (auto& g : line.glyphs)
        s += g.code;
    return s;
}

}  // namespace quillon
