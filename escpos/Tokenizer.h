#pragma once
// Splits a byte stream into text runs, single control bytes and whole commands. It is fed in
// pieces of any size and keeps an unfinished command until the rest arrives; it never reads
// past the bytes it was given, and a command that declares more data than it keeps is
// consumed to its declared end with only its first bytes stored: a run of blocks (FS q) by
// the length each block's header declares, as its data streams past.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "escpos/CommandTable.h"

namespace quillon::escpos {

enum class TokenKind {
    kText,     // printable bytes (0x20 and above)
    kControl,  // one byte below 0x20 that is not a command prefix (LF, HT, CR, ...)
    kCommand,  // a whole command, prefix first
    kUnknown,  // a prefix and function byte with no known command behind them
};

struct Token {
    TokenKind kind;
    const uint8_t* data;
    size_t size;
    // The command's declared length; larger than `size` when its data was too large to keep.
    uint64_t declared;
    bool clipped() const { return declared > size; }
};

class TokenSink {
  public:
    virtual ~TokenSink() = default;
    virtual void OnToken(const Token& token) = 0;
};

class Tokenizer {
  public:
    // The most bytes of one command kept; the rest of a larger one is skipped.
    static constexpr size_t kMaxKept = 4u << 20;

    explicit Tokenizer(TokenSink& sink) : sink_(sink) {}

    void Feed(const uint8_t* data, size_t size);
    // True while a command has begun and not yet ended.
    bool InCommand() const { return inCommand_; }

  private:
    void Emit(TokenKind kind, const uint8_t* data, size_t size, uint64_t declared);
    void FinishCommand();
    // Consumes up to `count` bytes of the command from data: kept while there is room,
    // skipped after. Returns how many it took.
    size_t Take(const uint8_t* data, uint64_t count);
    // Measures a run of blocks beyond what is kept, header by header; false until its length
    // is known.
    bool MeasureFarBlocks(const uint8_t* data, size_t size, size_t& i);

    TokenSink& sink_;
    std::vector<uint8_t> command_;
    bool inCommand_ = false;
    uint64_t need_ = 0;            // bytes to gather before measuring again
    uint64_t total_ = 0;           // the command's length once known, else 0
    uint64_t skipped_ = 0;         // bytes of the command consumed but not kept
    Measure far_{};                // where a run of blocks beyond what is kept stands
    std::vector<uint8_t> header_;  // of the block at far_.from, so far
};

}  // namespace quillon::escpos
