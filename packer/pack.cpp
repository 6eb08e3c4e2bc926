// The packer: LZ77 over a 32 KiB window, then per chunk three canonical
// Huffman codes of 16 symbols. Levels 1 to 7 parse with hash chains and one
// step of lazy matching (below); levels 8 and 9 with a search for the
// cheapest parse in bits (pack_optimal.cpp).
//
// The parse is a list of tokens, each a literal run followed by a match or by
// the end of its chunk. A literal run holds at most 32767 bytes and two runs
// of one chunk are always separated by a match, so a longer run of bytes with
// no match is split across chunks; chunks are also cut so that their codes
// follow the data. When the parse gives a larger block than storing the data
// as literal runs alone, the literal form is written instead.
//
// The writer keeps the bit stream as a list of 16-bit words and lays them out
// behind it: a run's raw bytes go just before the word that the reader holds
// last when it has decoded the run's length, that is word ceil(C / 16) after
// C bits. Each word's place is reserved when raw bytes must follow it, and the
// words are written into their places at the end. The reader always holds at
// least 16 bits it has not taken, so once it has taken the last of C bits it
// has fetched ceil(C / 16) + 1 words: the stream ends with every one of them,
// the last one holding no bit, and P counts them all.
//
// The margin. Unpacking in place, the stream's byte c lies at output offset
// B + c. At every write the reader's cursor c marks the first byte it may
// still need, so a match that ends at output offset e needs B >= e - c, and a
// literal run starting at x (copied from c on, with the word after it read
// next) needs B >= x - c. D is the largest such need; the block's M is
// D + P - U (at least 0), which serves both the stream moved up to end at
// destination + U + M (B = U + M - P) and the stream read in place over its
// own header (B = 18 >= U + M - P whenever no move is made).
#include "unpack/unpack.h"

#include "packer/pack_internal.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

namespace {

using namespace packer;

constexpr std::uint32_t MATCH_MIN = 3;

// ---------------------------------------------------------------------------
// Match finder

struct Effort {
    std::uint32_t chainLimit; // candidates looked at per position
    std::uint32_t niceLength; // a match this long ends the search
    std::uint32_t lazyLimit;  // a match this long is taken without looking one further
};

constexpr Effort EFFORTS[7] = {
    {4, 16, 4},    {8, 32, 8},      {16, 64, 16},    {32, 128, 32},
    {64, 258, 64}, {128, 258, 128}, {256, 512, 258},
};

// Levels 8 and 9. Each match is charged 4.5 bits for its decoding time: with
// that, the blocks of the benchmark corpus unpack as fast as those of the
// lazy parse at its top setting, and are 3.6% smaller.
constexpr OptimalEffort OPTIMAL_EFFORTS[2] = {{24, 64, 2, 72}, {64, 258, 4, 72}};

class MatchFinder {
public:
    MatchFinder(const std::uint8_t* data, std::uint32_t size, const Effort& effort)
        : data_(data), size_(size), effort_(effort), head_(HASH_SIZE, NONE),
          prev_(PREV_SIZE, NONE) {}

    void Insert(std::uint32_t pos) {
        if (pos + MATCH_MIN > size_) return;
        const std::uint32_t h = Hash(pos);
        prev_[pos & (PREV_SIZE - 1)] = head_[h];
        head_[h] = pos;
    }

    // The longest match for `pos` among earlier positions (inserted ones), 0
    // when there is none of MATCH_MIN bytes.
    std::uint32_t Find(std::uint32_t pos, std::uint32_t& distance) const {
        if (pos + MATCH_MIN > size_) return 0;
        const std::uint32_t limit = std::min(MATCH_MAX, size_ - pos);
        std::uint32_t best = MATCH_MIN - 1;
        std::uint32_t candidate = head_[Hash(pos)];
        for (std::uint32_t chain = effort_.chainLimit; candidate != NONE && chain != 0; --chain) {
            const std::uint32_t d = pos - candidate;
            if (d > WINDOW_SIZE) break;
            if (data_[candidate + best] == data_[pos + best]) {
                const std::uint32_t length = CommonLength(data_ + candidate, data_ + pos, limit);
                if (length > best) {
                    best = length;
                    distance = d;
                    if (length >= effort_.niceLength || length == limit) break;
                }
            }
            candidate = prev_[candidate & (PREV_SIZE - 1)];
        }
        return best >= MATCH_MIN ? best : 0;
    }

private:
    static constexpr std::uint32_t HASH_BITS = 15;
    static constexpr std::uint32_t HASH_SIZE = 1u << HASH_BITS;
    static constexpr std::uint32_t PREV_SIZE = 2 * WINDOW_SIZE;
    static constexpr std::uint32_t NONE = 0xFFFFFFFF;

    std::uint32_t Hash(std::uint32_t pos) const {
        const std::uint32_t v = std::uint32_t(data_[pos]) | std::uint32_t(data_[pos + 1]) << 8 |
                                std::uint32_t(data_[pos + 2]) << 16;
        return (v * 2654435761u) >> (32 - HASH_BITS);
    }

    const std::uint8_t* data_;
    std::uint32_t size_;
    Effort effort_;
    std::vector<std::uint32_t> head_;
    std::vector<std::uint32_t> prev_;
};

// A match is worth its bits unless it is short and far.
bool WorthTaking(std::uint32_t length, std::uint32_t distance) {
    return length >= 4 || (length == 3 && distance <= 4096);
}

// Adds `count` literal bytes before a match (or the end), splitting runs
// longer than a run may be with chunk ends.
void AddRun(std::vector<Token>& tokens, std::uint32_t count, std::uint32_t length,
            std::uint32_t distance) {
    while (count > RUN_MAX) {
        tokens.push_back({RUN_MAX, 0, 0});
        count -= RUN_MAX;
    }
    tokens.push_back({count, length, distance});
}

std::vector<Token> Parse(const std::uint8_t* data, std::uint32_t size, const Effort& effort) {
    std::vector<Token> tokens;
    MatchFinder finder(data, size, effort);
    std::uint32_t pos = 0;
    std::uint32_t runStart = 0;
    // The search for the position after the current one, kept when the
    // lazy step moves on to it.
    bool haveNext = false;
    std::uint32_t nextLength = 0, nextDistance = 0;
    while (pos < size) {
        std::uint32_t distance = 0;
        std::uint32_t length;
        if (haveNext) {
            length = nextLength;
            distance = nextDistance;
            haveNext = false;
        } else {
            length = finder.Find(pos, distance);
        }
        finder.Insert(pos);
        if (length == 0 || !WorthTaking(length, distance)) {
            ++pos;
            continue;
        }
        if (length < effort.lazyLimit && pos + 1 < size) {
            std::uint32_t d2 = 0;
            const std::uint32_t l2 = finder.Find(pos + 1, d2);
            if (l2 > length && WorthTaking(l2, d2)) {
                haveNext = true;
                nextLength = l2;
                nextDistance = d2;
                ++pos;
                continue;
            }
        }
        AddRun(tokens, pos - runStart, length, distance);
        for (std::uint32_t i = pos + 1; i < pos + length; ++i) finder.Insert(i);
        pos += length;
        runStart = pos;
    }
    AddRun(tokens, size - runStart, 0, 0);
    return tokens;
}

std::vector<Token> LiteralTokens(std::uint32_t size) {
    std::vector<Token> tokens;
    AddRun(tokens, size, 0, 0);
    return tokens;
}

// Puts chunk ends where the rules need them (at most 65535 runs) and where
// the codes should follow the data (about every `target` bytes). A token
// whose run ends a chunk but which has a match is split: its run ends the
// chunk, and the next chunk starts with an empty run and the match.
std::vector<Token> PlaceChunkEnds(const std::vector<Token>& tokens, std::uint64_t target) {
    std::vector<Token> out;
    out.reserve(tokens.size() + 16);
    std::uint32_t runs = 0;
    std::uint64_t span = 0;
    for (const Token& t : tokens) {
        ++runs;
        span += t.literals + t.length;
        if (t.length != 0 && (runs == RUNS_PER_CHUNK_MAX || span >= target)) {
            out.push_back({t.literals, 0, 0});
            out.push_back({0, t.length, t.distance});
            runs = 1;
            span = t.length;
            continue;
        }
        out.push_back(t);
        if (t.length == 0) runs = 0, span = 0;
    }
    return out;
}

// ---------------------------------------------------------------------------
// Codes

// Codes in the reader's bit order, assigned as the reader assigns them.
std::array<std::uint16_t, SYMBOLS> CanonicalCodes(const Lengths& lengths) {
    std::array<std::uint16_t, SYMBOLS> codes{};
    std::uint16_t accumulator = 0;
    std::uint16_t step = 0x8000;
    for (unsigned length = 1; length <= CODE_LENGTH_MAX; ++length, step >>= 1) {
        for (unsigned s = 0; s < SYMBOLS; ++s) {
            if (lengths[s] != length) continue;
            const unsigned top = accumulator >> (16 - length);
            unsigned reversed = 0;
            for (unsigned b = 0; b < length; ++b) reversed |= ((top >> b) & 1u) << (length - 1 - b);
            codes[s] = std::uint16_t(reversed);
            accumulator = std::uint16_t(accumulator + step);
        }
    }
    return codes;
}

// ---------------------------------------------------------------------------
// Stream writer

class StreamWriter {
public:
    explicit StreamWriter(std::size_t expected) { bytes_.reserve(expected); }

    void PutBits(std::uint32_t value, unsigned n) {
        acc_ |= std::uint64_t(value) << accBits_;
        accBits_ += n;
        bitCount_ += n;
        while (accBits_ >= 16) {
            words_.push_back(std::uint16_t(acc_));
            acc_ >>= 16;
            accBits_ -= 16;
        }
    }

    // The reader's cursor at this point: where it reads the word it added
    // last, word ceil(C / 16), once the places of the words before it exist.
    std::uint64_t Cursor() const { return bytes_.size() + 2 * (LastWordHeld() - reserved_); }

    void PutRaw(const std::uint8_t* data, std::uint32_t n) {
        ReserveUpTo(LastWordHeld());
        bytes_.insert(bytes_.end(), data, data + n);
    }

    // Lays the words out; the stream ends with the last word the reader
    // fetches, the one after the last word that holds a bit.
    std::vector<std::uint8_t>& Finish() {
        if (accBits_ != 0) words_.push_back(std::uint16_t(acc_));
        const std::uint64_t wordsFetched = LastWordHeld() + 1;
        ReserveUpTo(wordsFetched);
        for (std::size_t i = 0; i < wordsFetched; ++i) {
            const std::uint16_t w = i < words_.size() ? words_[i] : 0;
            bytes_[places_[i]] = std::uint8_t(w);
            bytes_[places_[i] + 1] = std::uint8_t(w >> 8);
        }
        return bytes_;
    }

private:
    std::uint64_t LastWordHeld() const { return (bitCount_ + 15) / 16; }

    // Reserves the places of the words before word `end`.
    void ReserveUpTo(std::uint64_t end) {
        for (; reserved_ < end; ++reserved_) {
            places_.push_back(bytes_.size());
            bytes_.push_back(0);
            bytes_.push_back(0);
        }
    }

    std::vector<std::uint8_t> bytes_;
    std::vector<std::uint16_t> words_;
    std::vector<std::size_t> places_;
    std::uint64_t acc_ = 0;
    unsigned accBits_ = 0;
    std::uint64_t bitCount_ = 0;
    std::uint64_t reserved_ = 0;
};

struct Table {
    Lengths lengths{};
    std::array<std::uint16_t, SYMBOLS> codes{};
    bool valid = false; // described earlier in this block
};

class BlockEncoder {
public:
    BlockEncoder(const std::uint8_t* data, std::uint32_t size)
        : data_(data), size_(size), writer_(size + size / 8 + 64) {}

    // Writes the whole block; false when it needs more than 255 chunks or a
    // stream longer than P can tell.
    bool Encode(const std::vector<Token>& tokens, std::vector<std::uint8_t>& block,
                std::uint32_t& marginNeeded) {
        writer_.PutBits(0, 2);
        std::size_t first = 0;
        std::uint32_t chunks = 0;
        while (first < tokens.size()) {
            std::size_t last = first;
            while (tokens[last].length != 0) ++last;
            if (++chunks > CHUNKS_MAX) return false;
            EncodeChunk(tokens, first, last + 1);
            first = last + 1;
        }
        std::vector<std::uint8_t>& stream = writer_.Finish();
        if (stream.size() > UINT32_MAX) return false; // P holds 32 bits
        const std::uint32_t packed = std::uint32_t(stream.size());

        const std::int64_t margin = std::max<std::int64_t>(0, need_ + packed - std::int64_t(size_));
        marginNeeded = std::uint32_t(std::min<std::int64_t>(margin, UINT32_MAX));

        block.assign(PACK_HEADER_SIZE, 0);
        block[0] = 'R';
        block[1] = 'N';
        block[2] = 'C';
        block[3] = 1;
        for (int i = 0; i < 4; ++i) {
            block[4 + i] = std::uint8_t(size_ >> (24 - 8 * i));
            block[8 + i] = std::uint8_t(packed >> (24 - 8 * i));
        }
        block[16] = std::uint8_t(std::min<std::uint32_t>(marginNeeded, 255));
        block[17] = std::uint8_t(chunks);
        block.insert(block.end(), stream.begin(), stream.end());
        return true;
    }

private:
    void PutValue(const Table& table, std::uint32_t value) {
        const unsigned s = SymbolOf(value);
        writer_.PutBits(table.codes[s], table.lengths[s]);
        if (s >= 2) writer_.PutBits(value - (1u << (s - 1)), s - 1);
    }

    // Describes a table for `counts`: count 0 to keep the one in force when it
    // codes them as cheaply, or when the chunk uses no symbol of it.
    void DescribeTable(Table& table, const Counts& counts) {
        const Lengths fresh = HuffmanLengths(counts);
        const unsigned n = DescribedSymbols(fresh);
        if (n == 0) {
            writer_.PutBits(0, 5);
            return;
        }
        const std::uint64_t freshBits = CodedBits(counts, fresh) + 4 * n;
        const std::uint64_t keptBits = table.valid ? CodedBits(counts, table.lengths) : UINT64_MAX;
        if (keptBits <= freshBits) {
            writer_.PutBits(0, 5);
            return;
        }
        writer_.PutBits(n, 5);
        for (unsigned s = 0; s < n; ++s) writer_.PutBits(fresh[s], 4);
        table.lengths = fresh;
        table.codes = CanonicalCodes(fresh);
        table.valid = true;
    }

    void EncodeChunk(const std::vector<Token>& tokens, std::size_t first, std::size_t end) {
        Counts runCounts{}, distanceCounts{}, lengthCounts{};
        for (std::size_t i = first; i < end; ++i) {
            ++runCounts[SymbolOf(tokens[i].literals)];
            if (tokens[i].length != 0) {
                ++distanceCounts[SymbolOf(tokens[i].distance - 1)];
                ++lengthCounts[SymbolOf(tokens[i].length - 2)];
            }
        }
        DescribeTable(runs_, runCounts);
        DescribeTable(distances_, distanceCounts);
        DescribeTable(lengths_, lengthCounts);
        writer_.PutBits(std::uint32_t(end - first), 16);
        for (std::size_t i = first; i < end; ++i) {
            const Token& t = tokens[i];
            PutValue(runs_, t.literals);
            if (t.literals != 0) {
                Need(std::int64_t(out_) - std::int64_t(writer_.Cursor()));
                writer_.PutRaw(data_ + out_, t.literals);
                out_ += t.literals;
            }
            if (t.length != 0) {
                PutValue(distances_, t.distance - 1);
                PutValue(lengths_, t.length - 2);
                out_ += t.length;
                Need(std::int64_t(out_) - std::int64_t(writer_.Cursor()));
            }
        }
    }

    void Need(std::int64_t base) { need_ = std::max(need_, base); }

    const std::uint8_t* data_;
    std::uint32_t size_;
    StreamWriter writer_;
    Table runs_, distances_, lengths_;
    std::uint32_t out_ = 0;
    std::int64_t need_ = INT64_MIN / 2;
};

bool EncodeTokens(const std::uint8_t* data, std::uint32_t size, const std::vector<Token>& tokens,
                  std::vector<std::uint8_t>& block, std::uint32_t& margin) {
    BlockEncoder encoder(data, size);
    return encoder.Encode(tokens, block, margin);
}

// Chunks left to the codes' choice once the forced ones are counted.
std::uint64_t ChunkTarget(const std::vector<Token>& tokens, std::uint32_t size) {
    std::uint64_t forced = 0;
    for (const Token& t : tokens) forced += t.length == 0;
    const std::uint64_t spare = forced + 8 < CHUNKS_MAX ? CHUNKS_MAX - forced - 8 : 1;
    return std::max<std::uint64_t>(256 * 1024, size / spare + 1);
}

} // namespace

std::size_t PackBound(std::size_t size) {
    return PACK_HEADER_SIZE + size + size / 256 + 256;
}

PackResult PackBlock(const void* data, std::size_t size, void* block, int effort) {
    PackResult result{0, 0, true};
    if (size > UINT32_MAX) return result;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const std::uint32_t n = std::uint32_t(size);
    effort = std::clamp(effort, 1, 9);

    std::vector<std::uint8_t> best;
    std::uint32_t bestMargin = 0;
    bool packed = false;
    if (effort >= 8) {
        if (n > 0) {
            const std::vector<Token> parsed = OptimalParse(bytes, n, OPTIMAL_EFFORTS[effort - 8]);
            packed = EncodeTokens(bytes, n, PlaceChunkEnds(parsed, UINT64_MAX), best, bestMargin);
        }
        // Empty data, or more than 255 chunks: the parse of level 7, which
        // cuts fewer.
        if (!packed) effort = 7;
    }
    if (!packed) {
        const std::vector<Token> parsed = Parse(bytes, n, EFFORTS[effort - 1]);
        packed = EncodeTokens(bytes, n, PlaceChunkEnds(parsed, ChunkTarget(parsed, n)), best,
                              bestMargin);
        if (!packed)
            packed = EncodeTokens(bytes, n, PlaceChunkEnds(parsed, UINT64_MAX), best, bestMargin);
    }
    if (!packed || best.size() > PACK_HEADER_SIZE + std::size_t(n) + 16) {
        std::vector<std::uint8_t> literal;
        std::uint32_t literalMargin = 0;
        if (EncodeTokens(bytes, n, LiteralTokens(n), literal, literalMargin) &&
            (!packed || literal.size() < best.size())) {
            best.swap(literal);
            bestMargin = literalMargin;
            packed = true;
        }
    }
    if (!packed || best.size() > PackBound(size)) return result;
    std::memcpy(block, best.data(), best.size());
    result.size = best.size();
    result.margin = bestMargin;
    result.inPlaceSafe = bestMargin <= 255;
    return result;
}
