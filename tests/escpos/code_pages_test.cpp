// The code pages a client library chooses with ESC t, by the numbers of the common printer
// profile: each prints its own characters, and a page the printer lacks is noted on the
// paper while the page in use stays.

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>

#include "tests/printer/EngineHarness.h"

using namespace quillon;
using namespace quillon::printer;

namespace {

struct PageCase {
    int number;
    uint8_t byte;
    char32_t expected;  // from the page's published chart
};

std::string Hex2(int value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

}  // namespace

TEST(CodePages, EachProfileNumberPrintsItsOwnPage) {
    const PageCase cases[] = {
        {0, 0x9B, U'\u00A2'},  {1, 0xB1, U'\uFF71'},  {2, 0x9B, U'\u00F8'},  {3, 0x84, U'\u00E3'},
        {4, 0x84, U'\u00C2'},  {5, 0x9D, U'\u00D8'},  {11, 0xA4, U'\u0391'}, {13, 0x98, U'\u0130'},
        {14, 0x80, U'\u0391'}, {15, 0xC1, U'\u0391'}, {16, 0x80, U'\u20AC'}, {17, 0x80, U'\u0410'},
        {18, 0xA5, U'\u0105'}, {19, 0xD5, U'\u20AC'}, {21, 0xA1, U'\u0E01'}, {33, 0x80, U'\u0106'},
        {34, 0x80, U'\u0452'}, {35, 0x8B, U'\u00D0'}, {36, 0x80, U'\u05D0'}, {37, 0xC1, U'\uFE80'},
        {38, 0xA4, U'\u0391'}, {39, 0xA1, U'\u0104'}, {40, 0xA4, U'\u20AC'}, {42, 0xB5, U'\u0104'},
        {43, 0x80, U'\u0410'}, {44, 0xF2, U'\u0490'}, {45, 0xA3, U'\u0141'}, {46, 0xC0, U'\u0410'},
        {47, 0xC1, U'\u0391'}, {48, 0xD0, U'\u011E'}, {49, 0xE0, U'\u05D0'}, {50, 0xC7, U'\u0627'},
        {51, 0xC0, U'\u0104'}, {52, 0xD2, U'\u0309'}, {53, 0xA3, U'\u04D8'},
    };
    EngineHarness h;
    for (const PageCase& c : cases)
        h.Send("1B 74 " + Hex2(c.number) + " 'A' " + Hex2(c.byte) + " 0A");
    const auto lines = h.All<TextLine>();
    ASSERT_EQ(lines.size(), std::size(cases));
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(Chars(lines[i]), (std::u32string{U'A', cases[i].expected}))
            << "page " << cases[i].number;
    EXPECT_TRUE(h.All<Marker>().empty());

    // The profile's pages without a table here, and a maker's own number: each is noted,
    // and Cyrillic 1251 stays chosen.
    EngineHarness lacking;
    lacking.Send("1B 74 2E C0");
    for (const char* number : {"0C", "1E", "20", "29", "3C"})
        lacking.Send(std::string("1B 74 ") + number + " C0");
    lacking.Send("0A");
    EXPECT_EQ(Chars(lacking.All<TextLine>().at(0)), std::u32string(6, U'\u0410'));
    EXPECT_EQ(lacking.All<Marker>().size(), 5u);
}
