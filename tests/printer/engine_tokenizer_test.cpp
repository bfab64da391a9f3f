// Splitting the stream into commands: exact lengths, any piece size, hostile input.

#include <gtest/gtest.h>

#include <random>

#include "escpos/Tokenizer.h"
#include "tests/printer/EngineHarness.h"

using namespace quillon;

using escpos::Token;
using escpos::Tokenizer;
using escpos::TokenKind;

namespace {

struct Seen {
    TokenKind kind;
    size_t size;
    uint64_t declared;
};

struct Collector : escpos::TokenSink {
    void OnToken(const Token& t) override { tokens.push_back({t.kind, t.size, t.declared}); }
    std::vector<Seen> tokens;
};

std::vector<Seen> Split(const std::string& bytes, size_t piece) {
    Collector c;
    Tokenizer tokenizer(c);
    for (size_t i = 0; i < bytes.size(); i += piece) {
        const size_t n = std::min(piece, bytes.size() - i);
        tokenizer.Feed(reinterpret_cast<const uint8_t*>(bytes.data()) + i, n);
    }
    return c.tokens;
}

}  // namespace

TEST(Tokenizer, EveryLengthRuleGivesTheSameCommandsWhateverThePieceSize) {
    const std::vector<std::pair<std::string, size_t>> commands = {
        {"1D 28 6B 04 00 31 41 32 00", 9},                              // GS ( k
        {"1D 28 6B 06 00 31 50 30 'abc'", 11},                          // GS ( k store
        {"1D 28 4C 0B 00 30 70 30 01 01 31 08 00 01 00 FF", 16},        // GS ( L
        {"1D 38 4C 0B 00 00 00 30 70 30 01 01 31 08 00 01 00 FF", 18},  // GS 8 L
        {"1D 76 30 00 02 00 02 00 01 02 03 04", 12},                    // GS v 0, 2 x 2 bytes
        {"1B 2A 00 03 00 01 02 03", 8},                                 // ESC * 8-dot
        {"1B 2A 21 02 00 01 02 03 04 05 06", 11},                       // ESC * 24-dot
        {"1D 6B 04 'AB12' 00", 8},                                      // GS k, NUL-ended
        {"1D 6B 49 05 '{BA1' 00", 9},  // GS k, counted (NUL is data)
        {"1D 56 00", 3},
        {"1D 56 42 00", 4},
        {"1D 56 61 05", 4},
        {"1D 56 31", 3},
        {"10 04 01", 3},
        {"10 14 01 00 03", 5},
        {"10 14 08 01 03 14 01 06 02 08", 10},
        {"1B 44 08 10 00", 5},                                    // ESC D tabs
        {"1B 26 03 41 42 02 01 02 03 04 05 06 01 07 08 09", 16},  // ESC & two characters
        {"1B 70 00 19 FA", 5},
        {"1B 21 08", 3},
        {"1B 40", 2},
        {"1C 26", 2},
    };
    std::string stream;
    for (auto& [hex, length] : commands)
        stream += Bytes(hex) + "x";
    for (size_t piece : {size_t{1}, size_t{2}, size_t{7}, stream.size()}) {
        const auto tokens = Split(stream, piece);
        size_t at = 0;
        for (auto& [hex, length] : commands) {
            ASSERT_LT(at + 1, tokens.size()) << hex;
            EXPECT_EQ(tokens[at].kind, TokenKind::kCommand) << hex << " piece " << piece;
            EXPECT_EQ(tokens[at].size, length) << hex << " piece " << piece;
            // The byte after each command is text again, however it was cut up.
            EXPECT_EQ(tokens[at + 1].kind, TokenKind::kText) << hex;
            ++at;
            while (at < tokens.size() && tokens[at].kind == TokenKind::kText)
                ++at;
        }
        EXPECT_EQ(at, tokens.size());
    }
}

TEST(Tokenizer, UnknownCommandsAreSkippedAsMarkersAndControlsStandAlone) {
    const auto tokens = Split(Bytes("1B FE 'a' 10 41 0A 09 1D 38 5A"), 1);
    ASSERT_EQ(tokens.size(), 8u);
    EXPECT_EQ(tokens[0].kind, TokenKind::kUnknown);
    EXPECT_EQ(tokens[0].size, 2u);
    EXPECT_EQ(tokens[1].kind, TokenKind::kText);
    EXPECT_EQ(tokens[2].kind, TokenKind::kUnknown);  // DLE alone, the 'A' stays text
    EXPECT_EQ(tokens[2].size, 1u);
    EXPECT_EQ(tokens[3].kind, TokenKind::kText);
    EXPECT_EQ(tokens[4].kind, TokenKind::kControl);
    EXPECT_EQ(tokens[5].kind, TokenKind::kControl);
    EXPECT_EQ(tokens[6].kind, TokenKind::kUnknown);  // GS 8 with no L behind it
    EXPECT_EQ(tokens[6].size, 2u);
    EXPECT_EQ(tokens[7].kind, TokenKind::kText);  // the Z after GS 8 is text
}

TEST(Tokenizer, TruncatedSymbolWaitsForItsRestAndNeverReadsBeyondTheStream) {
    Collector c;
    Tokenizer tokenizer(c);
    // Heap copies so that AddressSanitizer sees any read past the end.
    const std::string head = Bytes("'ok' 1D 28 6B 08 00 31 50 30 'ab'");
    std::vector<uint8_t> piece(head.begin(), head.end());
    tokenizer.Feed(piece.data(), piece.size());
    ASSERT_EQ(c.tokens.size(), 1u);
    EXPECT_TRUE(tokenizer.InCommand());
    const std::string rest = Bytes("'cde' 'z'");
    std::vector<uint8_t> tail(rest.begin(), rest.end());
    tokenizer.Feed(tail.data(), tail.size());
    ASSERT_EQ(c.tokens.size(), 3u);
    EXPECT_EQ(c.tokens[1].size, 13u);
    EXPECT_EQ(c.tokens[2].kind, TokenKind::kText);
    EXPECT_FALSE(tokenizer.InCommand());
}

TEST(Tokenizer, HugeDeclaredImageIsConsumedToItsEndButOnlyItsStartIsKept) {
    // 4096 bytes a row, 3072 rows: 12 MiB of image data, more than the tokenizer keeps.
    const uint64_t data = 4096ull * 3072;
    std::string stream = Bytes("1D 76 30 00 00 10 00 0C");
    stream += std::string(data, '\x55');
    stream += "after";
    const auto tokens = Split(stream, 65536);
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[0].declared, 8 + data);
    EXPECT_EQ(tokens[0].size, Tokenizer::kMaxKept);
    EXPECT_EQ(tokens[1].kind, TokenKind::kText);
    EXPECT_EQ(tokens[1].size, 5u);
}

TEST(Tokenizer, NvImagesLargerThanWhatIsKeptAreSkippedByTheirDeclaredLengths) {
    // FS q with two images: the first of 8 MiB, so that the second one's header lies far
    // past what the tokenizer keeps, the second of one byte column by one row.
    const uint64_t first = 1024ull * 1024 * 8;
    std::string stream = Bytes("1C 71 02 00 04 00 04");
    stream += std::string(first, '\x0A');
    stream += Bytes("01 00 01 00") + std::string(8, '\x1B');
    stream += "after";
    for (size_t piece : {size_t{65536}, size_t{3}}) {
        const auto tokens = Split(stream, piece);
        ASSERT_GE(tokens.size(), 2u) << "piece " << piece;
        EXPECT_EQ(tokens[0].kind, TokenKind::kCommand);
        EXPECT_EQ(tokens[0].declared, 3 + 4 + first + 4 + 8);
        EXPECT_EQ(tokens[0].size, Tokenizer::kMaxKept);
        // Then the text, in as many pieces as it came.
        size_t text = 0;
        for (size_t t = 1; t < tokens.size(); ++t) {
            EXPECT_EQ(tokens[t].kind, TokenKind::kText);
            text += tokens[t].size;
        }
        EXPECT_EQ(text, 5u);
    }
}

TEST(Tokenizer, RandomMegabyteIsAccountedForByteByByteAndLeavesThePrinterWorking) {
    std::mt19937 random(16);
    std::string stream(1 << 20, '\0');
    for (auto& b : stream)
        b = static_cast<char>(random());
    // Every byte belongs to exactly one token, or to the one command still open at the end.
    Collector c;
    Tokenizer tokenizer(c);
    std::uniform_int_distribution<size_t> pieceSize(1, 4096);
    for (size_t i = 0; i < stream.size();) {
        const size_t n = std::min(pieceSize(random), stream.size() - i);
        tokenizer.Feed(reinterpret_cast<const uint8_t*>(stream.data()) + i, n);
        i += n;
    }
    uint64_t consumed = 0;
    for (auto& t : c.tokens)
        consumed += t.declared;
    if (!tokenizer.InCommand())
        EXPECT_EQ(consumed, stream.size());
    else
        EXPECT_LT(consumed, stream.size());

    // The whole printer takes the same stream. Real-time requests are answered whatever
    // came before; once the last command is closed and the printer reset, it prints again.
    EngineHarness h;
    h.printer.Receive(stream);
    const std::string padding(70000, '\0');  // ends any symbol or small image still open
    h.printer.Receive(padding);
    tokenizer.Feed(reinterpret_cast<const uint8_t*>(padding.data()), padding.size());
    h.Set(false, false);
    h.TakeAnswers();
    h.Send("1B 40 'after' 0A 10 04 01");
    EXPECT_EQ(h.TakeAnswers(), "\x16");
    if (tokenizer.InCommand())
        GTEST_SKIP() << "this stream declared an image larger than the padding";
    const auto lines = h.All<printer::TextLine>();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(Chars(lines.back()), U"after");
}
