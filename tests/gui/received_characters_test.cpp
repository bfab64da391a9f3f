// The character view's reading of received bytes: whatever runs the bytes arrive in, and
// wherever a run ends (inside a two- or four-byte character, after a CR, after a lead byte
// that turns out to stand for nothing), the text is the one the whole block gives at once.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "app/ReceivedCharacters.h"

using namespace quillon;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Of(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// The text a fresh reader makes of the bytes, handed over in runs that end at the given
// offsets.
std::u16string Read(Language language, const Bytes& bytes, std::vector<std::size_t> cuts) {
    ReceivedCharacters characters(language);
    std::u16string text;
    auto sink = [&text](char16_t unit) { text.push_back(unit); };
    cuts.push_back(bytes.size());
    std::size_t from = 0;
    for (const std::size_t cut : cuts) {
        characters.Feed(bytes.data() + from, cut - from, sink);
        from = cut;
    }
    return text;
}

// What a printer may send in the Chinese interface: text, line ends of every kind,
// characters of two and four bytes in and beyond the first plane, and bytes that make
// no character, each at the end of the block too.
Bytes ChineseSample() {
    return Of(
        std::string("OK\r\n\xD6\xD0\xCE\xC4\r"                 // OK 中文, a CR held back
                    "\x81\x30\x81\x30"                         // U+0080, four bytes
                    "\x95\x32\x82\x36"                         // U+20000, four bytes
                    "\xFE\x51\n"                               // U+20087 from two bytes
                    "\x81 x\x81\x30 y\x81\x30\x81!"            // leads that stand for nothing
                    "\x80\xFF\x00\x1B\x7F\r\r\n\xB0\xA1\xD6",  // ends with a lead byte
                    42));
}

TEST(ReceivedCharactersTest, ABlockSplitAnywhereReadsAsTheWholeBlock) {
    const Bytes sample = ChineseSample();
    const std::u16string whole = Read(Language::Chinese, sample, {});
    // The meaning of every part of the sample, so that the splits are held to the right text.
    EXPECT_EQ(whole,
              u"OK\n中文\n\u0080\U00020000\U00020087\n"
              u"\uFFFD x\uFFFD0 y\uFFFD0\uFFFD!"
              u"\uFFFD\uFFFD\u2400\u241B\u2421\n\n啊");
    // Cut once at every offset, and into single bytes.
    for (std::size_t cut = 0; cut <= sample.size(); ++cut)
        EXPECT_EQ(Read(Language::Chinese, sample, {cut}), whole) << "cut at " << cut;
    std::vector<std::size_t> everyByte;
    for (std::size_t i = 1; i < sample.size(); ++i)
        everyByte.push_back(i);
    EXPECT_EQ(Read(Language::Chinese, sample, everyByte), whole);

    // A binary dump, where most bytes start or continue a character, cut at random.
    std::mt19937 random(23);
    Bytes dump(8192);
    for (auto& byte : dump)
        byte = static_cast<std::uint8_t>(random());
    dump.insert(dump.end(), sample.begin(), sample.end());
    for (const Language language : {Language::Chinese, Language::English}) {
        const std::u16string dumpWhole = Read(language, dump, {});
        for (int round = 0; round < 50; ++round) {
            std::vector<std::size_t> cuts;
            for (std::size_t at = random() % 8; at < dump.size(); at += 1 + random() % 9)
                cuts.push_back(at);
            ASSERT_EQ(Read(language, dump, cuts), dumpWhole) << "round " << round;
        }
    }
}

TEST(ReceivedCharactersTest, TheWesternCodePageHasOneCharacterPerByte) {
    const std::u16string text =
        Read(Language::English, Of(std::string("A\xE4\x80\x81\x00\r\n\r", 8)), {3});
    // ä, € and U+FFFD for 0x81, which windows-1252 leaves empty; the last CR waits.
    EXPECT_EQ(text, u"A\u00E4\u20AC\uFFFD\u2400\n");
}

}  // namespace
