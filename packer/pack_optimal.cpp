// The parse of the top effort levels. A binary-tree match finder gives the
// useful matches at every position (for each length, the nearest distance it
// saw); a shortest-path search over them then prices every choice in bits
// with the code tables of the chunk it falls in: a literal byte costs 8 bits
// plus what its run's value code gains by it, a match its distance and length
// codes with their extra bits and the code of the run that follows. The
// search runs a few times, each with the tables of the one before, and chunk
// ends go where fresh tables pay for their description.
//
// Unpacking time goes with the number of matches (each is three values to
// decode) far more than with the bytes, and a chunk's table descriptions
// take about as long as 40 matches. So each match and each chunk is also
// charged a price in bits for its decoding time; without it the parse would
// save bits with many short matches that make unpacking slower.
//
// The data is parsed in segments of at most SEGMENT_SIZE bytes, each ending a
// chunk, so that the matches of one segment fit in memory at once; each
// segment gets its share of the 255 chunks.
#include "packer/pack_internal.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace packer {

namespace {

constexpr std::uint32_t SEGMENT_SIZE = 1u << 20;
constexpr std::uint32_t MINI_BLOCK = 4096;  // chunk ends are chosen among these
constexpr std::uint32_t CHUNK_MATCHES = 40; // a chunk's decoding time in matches
constexpr std::uint32_t NONE = 0xFFFFFFFF;

struct Match {
    std::uint16_t length;
    std::uint16_t offset; // distance - 1
};

std::uint32_t Load32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Positions by their first two bytes (the nearest one gives the length-2
// match), by a hash of three (the nearest length-3 match) and, for longer
// matches, a binary tree per hash of four bytes: each position's node sorts
// the earlier positions of its bucket, within the window, by the bytes that
// follow them, so that a walk from the newest finds ever longer matches.
class TreeMatchFinder {
public:
    TreeMatchFinder(const std::uint8_t* data, std::uint32_t size)
        : data_(data), size_(size), head2_(1u << 16, NONE), head3_(1u << HASH3_BITS, NONE),
          head4_(1u << HASH4_BITS, NONE), children_(2 * TREE_SIZE, NONE) {}

    // Inserts `pos`; when `out` is not null, stores there its matches in order
    // of increasing length, each at the nearest distance seen for a match that
    // long, and returns their count. A search that reaches `nice` bytes stops.
    unsigned Advance(std::uint32_t pos, std::uint32_t nice, std::uint32_t depth, Match* out) {
        const std::uint32_t limit = std::min(MATCH_MAX, size_ - pos);
        if (limit < 2) return 0;
        const std::uint8_t* cur = data_ + pos;
        unsigned count = 0;
        std::uint32_t best = 1;
        auto record = [&](std::uint32_t length, std::uint32_t distance) {
            // A nearer match that is at least as long makes the last one useless.
            while (count > 0 && out[count - 1].offset >= distance - 1) --count;
            out[count++] = {std::uint16_t(length), std::uint16_t(distance - 1)};
            best = length;
        };

        const std::uint32_t key2 = std::uint32_t(cur[0]) | std::uint32_t(cur[1]) << 8;
        const std::uint32_t near2 = head2_[key2];
        head2_[key2] = pos;
        if (out && InWindow(pos, near2)) record(2, pos - near2);
        if (limit < 4) return count;

        const std::uint32_t v = Load32(cur);
        const std::uint32_t h3 = ((v & 0xFFFFFF) * 2654435761u) >> (32 - HASH3_BITS);
        const std::uint32_t near3 = head3_[h3];
        head3_[h3] = pos;
        if (out && InWindow(pos, near3) && (Load32(data_ + near3) & 0xFFFFFF) == (v & 0xFFFFFF))
            record(3, pos - near3);

        nice = std::min(nice, limit);
        const std::uint32_t h4 = (v * 2654435761u) >> (32 - HASH4_BITS);
        std::uint32_t node = head4_[h4];
        head4_[h4] = pos;
        std::uint32_t* pendingLess = &children_[2 * (pos & TREE_MASK)];
        std::uint32_t* pendingMore = pendingLess + 1;
        std::uint32_t lessLength = 0, moreLength = 0, length = 0;
        for (std::uint32_t left = depth;; --left) {
            if (!InWindow(pos, node) || left == 0) {
                *pendingLess = *pendingMore = NONE;
                return count;
            }
            const std::uint8_t* m = data_ + node;
            std::uint32_t* nodeChildren = &children_[2 * (node & TREE_MASK)];
            if (m[length] == cur[length]) {
                length += 1 + CommonLength(m + length + 1, cur + length + 1, nice - length - 1);
                if (out && length > best) record(length, pos - node);
                if (length >= nice) {
                    // As good as needed: this node leaves the tree, ours takes
                    // its children.
                    *pendingLess = nodeChildren[0];
                    *pendingMore = nodeChildren[1];
                    return count;
                }
            }
            if (m[length] < cur[length]) {
                *pendingLess = node;
                pendingLess = &nodeChildren[1];
                node = *pendingLess;
                lessLength = length;
                length = std::min(length, moreLength);
            } else {
                *pendingMore = node;
                pendingMore = &nodeChildren[0];
                node = *pendingMore;
                moreLength = length;
                length = std::min(length, lessLength);
            }
        }
    }

    // The match of `length` bytes at `distance` from `pos`, made as long as
    // the data allows up to `limit`.
    std::uint32_t Extend(std::uint32_t pos, std::uint32_t distance, std::uint32_t length,
                         std::uint32_t limit) const {
        return length +
               CommonLength(data_ + pos + length - distance, data_ + pos + length, limit - length);
    }

private:
    static constexpr std::uint32_t HASH3_BITS = 15;
    static constexpr std::uint32_t HASH4_BITS = 16;
    // Twice the window, so that no node within the window shares its slot.
    static constexpr std::uint32_t TREE_SIZE = 2 * WINDOW_SIZE;
    static constexpr std::uint32_t TREE_MASK = TREE_SIZE - 1;

    static bool InWindow(std::uint32_t pos, std::uint32_t node) {
        return node != NONE && pos - node <= WINDOW_SIZE;
    }

    const std::uint8_t* data_;
    std::uint32_t size_;
    std::vector<std::uint32_t> head2_, head3_, head4_;
    std::vector<std::uint32_t> children_; // less and more child of each position's node
};

// Prices in sixteenths of a bit.
constexpr int BIT = 16;
constexpr int INF = std::numeric_limits<int>::max() / 4;

// The price of each symbol of one chunk's three tables, extra bits included.
struct CostModel {
    std::array<int, SYMBOLS> run, distance, length;

    int Run(std::uint32_t r) const { return run[SymbolOf(std::min(r, RUN_MAX))]; }
    int Distance(std::uint32_t offset) const { return distance[SymbolOf(offset)]; }
};

// Code lengths for `counts`; a symbol not used gets two bits more than the
// dearest one, so that the next parse may still try it.
std::array<int, SYMBOLS> Prices(const Counts& counts) {
    const Lengths lengths = HuffmanLengths(counts);
    const unsigned dearest = *std::max_element(lengths.begin(), lengths.end());
    const unsigned unused = std::min(dearest + 2, CODE_LENGTH_MAX);
    std::array<int, SYMBOLS> prices{};
    for (unsigned s = 0; s < SYMBOLS; ++s)
        prices[s] = int((lengths[s] ? lengths[s] : unused) + ExtraBits(s)) * BIT;
    return prices;
}

// Symbol counts of a stretch of the data.
struct Stats {
    Counts run{}, distance{}, length{};

    void Add(const Stats& o) {
        for (unsigned s = 0; s < SYMBOLS; ++s) {
            run[s] += o.run[s];
            distance[s] += o.distance[s];
            length[s] += o.length[s];
        }
    }
    CostModel Model() const { return {Prices(run), Prices(distance), Prices(length)}; }
};

// Bits of one table: its description and its codes for `counts`.
std::uint64_t TableBits(const Counts& counts) {
    const Lengths lengths = HuffmanLengths(counts);
    const unsigned n = DescribedSymbols(lengths);
    return 5 + 4 * n + (n ? CodedBits(counts, lengths) : 0);
}

struct Step {
    std::uint16_t length; // 0 for a chunk end
    std::uint16_t offset;
};

class SegmentParser {
public:
    SegmentParser(const std::uint8_t* data, std::uint32_t size, const OptimalEffort& effort)
        : effort_(effort), finder_(data, size), found_(effort.niceLength + 8),
          chunkPenalty_(CHUNK_MATCHES * std::uint32_t(effort.matchPenalty) / BIT) {
        Stats flat;
        flat.run.fill(1);
        flat.distance.fill(1);
        flat.length.fill(1);
        model_ = flat.Model();
    }

    // Parses [start, end), adding its tokens to `tokens`; the segment ends
    // a chunk. `chunkBudget` chunks at most (apart from those that runs too
    // long for one chunk force).
    void Parse(std::uint32_t start, std::uint32_t end, unsigned chunkBudget,
               std::vector<Token>& tokens) {
        start_ = start;
        length_ = end - start;
        FindMatches();
        std::vector<std::uint32_t> chunkStarts = {0};
        std::vector<CostModel> models = {model_};
        for (unsigned pass = 1;; ++pass) {
            // The last pass prices runs exactly; the ones before it, which
            // only settle the tables, take the quicker way.
            if (pass < effort_.passes)
                QuickPath(chunkStarts, models);
            else
                ExactPath(chunkStarts, models);
            const std::vector<Stats> blocks = BlockStats();
            chunkStarts = ChooseChunks(blocks, chunkBudget);
            if (pass >= effort_.passes) break;
            models.clear();
            for (std::size_t c = 0; c < chunkStarts.size(); ++c) {
                const std::size_t last =
                    c + 1 < chunkStarts.size() ? chunkStarts[c + 1] / MINI_BLOCK : blocks.size();
                Stats s;
                for (std::size_t b = chunkStarts[c] / MINI_BLOCK; b < last; ++b) s.Add(blocks[b]);
                models.push_back(s.Model());
            }
        }
        model_ = models.back();
        Emit(chunkStarts, tokens);
    }

private:
    void FindMatches() {
        matchStart_.assign(length_ + 1, 0);
        matches_.clear();
        const std::uint32_t end = start_ + length_;
        for (std::uint32_t i = 0; i < length_; ++i) {
            matchStart_[i] = std::uint32_t(matches_.size());
            const std::uint32_t pos = start_ + i;
            unsigned count = finder_.Advance(pos, effort_.niceLength, effort_.depth, found_.data());
            // Matches do not cross the segment's end.
            const std::uint32_t room = end - pos;
            if (room < 2) count = 0;
            while (count > 0 && found_[count - 1].length > room) {
                if (count == 1 || found_[count - 2].length < room) {
                    found_[count - 1].length = std::uint16_t(room);
                    break;
                }
                --count;
            }
            if (count > 0 && found_[count - 1].length >= effort_.niceLength) {
                // Long enough to take as it is: made as long as it goes, and
                // the positions it covers are only inserted.
                const Match m = found_[count - 1];
                const std::uint32_t length =
                    finder_.Extend(pos, m.offset + 1u, m.length, std::min(MATCH_MAX, room));
                matches_.push_back({std::uint16_t(length), m.offset});
                for (std::uint32_t k = 1; k < length; ++k) {
                    matchStart_[i + k] = std::uint32_t(matches_.size());
                    finder_.Advance(pos + k, effort_.niceLength, effort_.depth, nullptr);
                }
                i += length - 1;
                continue;
            }
            matches_.insert(matches_.end(), found_.begin(), found_.begin() + count);
        }
        matchStart_[length_] = std::uint32_t(matches_.size());
    }

    // Offers every match at `pos` to `reach(end, cost, step)`, from `base`
    // (the cost of everything before the match).
    template <class Reach>
    void OfferMatches(std::uint32_t pos, int base, const CostModel& model, Reach&& reach) const {
        base += effort_.matchPenalty;
        std::uint32_t length = 2;
        for (std::uint32_t k = matchStart_[pos]; k < matchStart_[pos + 1]; ++k) {
            const Match m = matches_[k];
            const int withDistance = base + model.Distance(m.offset);
            while (length <= m.length) {
                // Lengths of one symbol cost the same.
                const unsigned s = SymbolOf(length - 2);
                const std::uint32_t last = std::min<std::uint32_t>(m.length, (1u << s) + 1);
                const int cost = withDistance + model.length[s];
                for (; length <= last; ++length)
                    reach(pos + length, cost, Step{std::uint16_t(length), m.offset});
            }
        }
    }

    // A quick search for the cheapest way through the segment: each position
    // keeps its cheapest way in, and a literal byte prices the run it ends
    // as that way's run grown by one.
    void QuickPath(const std::vector<std::uint32_t>& chunkStarts,
                   const std::vector<CostModel>& models) {
        struct Node {
            int cost;
            std::uint32_t run; // literal bytes since the last match
            Step step;         // the match that ends here, length 0 for a byte
        };
        std::vector<Node> nodes(length_ + 1, {INF, 0, {0, 0}});
        nodes[0].cost = models[0].Run(0);
        std::size_t chunk = 0;
        for (std::uint32_t i = 0; i < length_; ++i) {
            while (chunk + 1 < chunkStarts.size() && chunkStarts[chunk + 1] <= i) ++chunk;
            const CostModel& model = models[chunk];
            const Node here = nodes[i];
            const int literal = here.cost + 8 * BIT + model.Run(here.run + 1) - model.Run(here.run);
            if (literal < nodes[i + 1].cost) nodes[i + 1] = {literal, here.run + 1, {0, 0}};
            OfferMatches(i, here.cost + model.Run(0), model,
                         [&](std::uint32_t end, int cost, Step s) {
                             if (cost < nodes[end].cost) nodes[end] = {cost, 0, s};
                         });
        }
        path_.clear();
        std::uint32_t run = 0;
        for (std::uint32_t i = length_; i > 0;) {
            const Step s = nodes[i].step;
            if (s.length == 0) {
                ++run;
                --i;
                continue;
            }
            path_.push_back({run, s.length, s.offset + 1u});
            run = 0;
            i -= s.length;
        }
        std::reverse(path_.begin(), path_.end());
        // The runs were gathered after their matches: move each to the match
        // that follows it.
        std::uint32_t carry = run;
        for (Token& t : path_) std::swap(t.literals, carry);
        path_.push_back({carry, 0, 0});
    }

    // The cheapest way through the segment, with every run priced by its own
    // length. Each position keeps the cheapest way to it that ends with a
    // match (or a chunk end); the run that ends at a position starts at one
    // of those. Runs of one symbol cost the same, so among the starts of each
    // symbol's span (2^(s-1) positions) the best is the one whose cost less 8
    // bits a byte is least: a table of such minimums over spans of 2^k
    // positions answers that with one look-up per symbol.
    void ExactPath(const std::vector<std::uint32_t>& chunkStarts,
                   const std::vector<CostModel>& models) {
        const int chunkEnd = int(16 + 3 * 5 + chunkPenalty_) * BIT; // run count, kept tables
        after_.assign(length_ + 1, INF);
        step_.assign(length_ + 1, {0, 0});
        runStart_.assign(length_ + 1, 0);
        // Level k keeps the minimum (cost in the high half, position in the
        // low half) over the 2^k positions from each of the last 2^(k+1)
        // positions, as far back as runs of symbol k + 1 reach.
        spans_.assign(std::size_t(2) << (SYMBOLS - 1), std::int64_t(INF) << 32);
        auto span = [this](unsigned k, std::uint32_t i) -> std::int64_t& {
            return spans_[(std::size_t(2) << k) - 2 + (i & ((2u << k) - 1))];
        };
        after_[0] = 0;
        std::size_t chunk = 0;
        for (std::uint32_t p = 0;; ++p) {
            while (chunk + 1 < chunkStarts.size() && chunkStarts[chunk + 1] <= p) ++chunk;
            const CostModel& model = models[chunk];
            if (p >= 1) {
                // Position p - 1 is settled: the spans that end there.
                const std::uint32_t q = p - 1;
                const int adjusted = after_[q] < INF ? after_[q] - 8 * BIT * int(q) : INF;
                span(0, q) = std::int64_t(adjusted) << 32 | q;
                for (unsigned k = 1; k < SYMBOLS - 1 && q + 1 >= (1u << k); ++k) {
                    const std::uint32_t i = q + 1 - (1u << k);
                    span(k, i) = std::min(span(k - 1, i), span(k - 1, i + (1u << (k - 1))));
                }
            }
            // The run that ends here: empty, one byte, or of symbol s >= 2,
            // starting in the 2^(s-1) positions from p - 2^s + 1.
            int best = after_[p] + model.run[0];
            std::uint32_t start = p;
            if (p >= 1 && after_[p - 1] < INF) {
                const int c = after_[p - 1] + 8 * BIT + model.run[1];
                if (c < best) best = c, start = p - 1;
            }
            for (unsigned s = 2; s < SYMBOLS && p + 1 >= (1u << s); ++s) {
                const std::int64_t m = span(s - 1, p + 1 - (1u << s));
                const int c = int(m >> 32) + 8 * BIT * int(p) + model.run[s];
                if (c < best) best = c, start = std::uint32_t(m);
            }
            runStart_[p] = start;
            if (p == length_) break;
            if (best >= INF) continue;
            // A chunk end after the run, for runs longer than one may be.
            if (best + chunkEnd < after_[p]) {
                after_[p] = best + chunkEnd;
                step_[p] = {0, 0};
            }
            OfferMatches(p, best, model, [this](std::uint32_t end, int cost, Step s) {
                if (cost < after_[end]) after_[end] = cost, step_[end] = s;
            });
        }
        // The tokens, from the end back.
        path_.clear();
        Token pending = {0, 0, 0}; // the token whose run ends at p
        for (std::uint32_t p = length_;;) {
            const std::uint32_t i = runStart_[p];
            pending.literals = p - i;
            path_.push_back(pending);
            if (i == 0) break;
            const Step s = step_[i];
            pending = {0, s.length, s.length ? s.offset + 1u : 0};
            p = i - s.length;
        }
        std::reverse(path_.begin(), path_.end());
    }

    // Symbol counts of the path, by mini-block: a run is counted where it
    // starts, a match where it starts.
    std::vector<Stats> BlockStats() const {
        std::vector<Stats> blocks((length_ + MINI_BLOCK - 1) / MINI_BLOCK);
        std::uint32_t pos = 0;
        for (const Token& t : path_) {
            ++blocks[std::min<std::size_t>(pos / MINI_BLOCK, blocks.size() - 1)]
                  .run[SymbolOf(std::min(t.literals, RUN_MAX))];
            pos += t.literals;
            if (t.length == 0) continue;
            Stats& b = blocks[pos / MINI_BLOCK];
            ++b.distance[SymbolOf(t.distance - 1)];
            ++b.length[SymbolOf(t.length - 2)];
            pos += t.length;
        }
        return blocks;
    }

    // Bits of a chunk with fresh tables, apart from extra bits and raw bytes,
    // which do not depend on where chunks end: the tables, the run count, the
    // empty run that a chunk end may add, and the chunk's price for its
    // decoding time.
    std::uint64_t ChunkBits(const Stats& s) const {
        return TableBits(s.run) + TableBits(s.distance) + TableBits(s.length) + 16 + 2 +
               chunkPenalty_;
    }

    // Chunk starts (segment offsets, at mini-block starts): mini-blocks are
    // merged, neighbours with the most bits saved first, while merging saves
    // bits or there are more chunks than `budget`.
    std::vector<std::uint32_t> ChooseChunks(const std::vector<Stats>& blocks,
                                            unsigned budget) const {
        struct Chunk {
            std::uint32_t first; // mini-block
            Stats stats;
            std::uint64_t bits;
        };
        std::vector<Chunk> chunks;
        for (std::uint32_t b = 0; b < blocks.size(); ++b)
            chunks.push_back({b, blocks[b], ChunkBits(blocks[b])});
        // The bits saved by merging chunk k with chunk k + 1.
        auto saving = [&](std::size_t k) {
            Stats s = chunks[k].stats;
            s.Add(chunks[k + 1].stats);
            return std::int64_t(chunks[k].bits + chunks[k + 1].bits) - std::int64_t(ChunkBits(s));
        };
        std::vector<std::int64_t> savings;
        for (std::size_t k = 0; k + 1 < chunks.size(); ++k) savings.push_back(saving(k));
        while (!savings.empty()) {
            const std::size_t k =
                std::size_t(std::max_element(savings.begin(), savings.end()) - savings.begin());
            if (savings[k] < 0 && chunks.size() <= std::max(1u, budget)) break;
            chunks[k].stats.Add(chunks[k + 1].stats);
            chunks[k].bits = ChunkBits(chunks[k].stats);
            chunks.erase(chunks.begin() + std::ptrdiff_t(k) + 1);
            savings.erase(savings.begin() + std::ptrdiff_t(k));
            if (k > 0) savings[k - 1] = saving(k - 1);
            if (k < savings.size()) savings[k] = saving(k);
        }
        std::vector<std::uint32_t> starts;
        for (const Chunk& c : chunks) starts.push_back(c.first * MINI_BLOCK);
        if (starts.empty()) starts.push_back(0);
        return starts;
    }

    // Tokens of the path, with a chunk end in the run at each chunk start (at
    // the run's start when the chunk start fell inside a match) and at the
    // end of the segment.
    void Emit(const std::vector<std::uint32_t>& chunkStarts, std::vector<Token>& tokens) const {
        auto add = [&tokens](Token t) {
            for (; t.literals > RUN_MAX; t.literals -= RUN_MAX) tokens.push_back({RUN_MAX, 0, 0});
            tokens.push_back(t);
        };
        std::size_t next = 1;
        std::uint32_t pos = 0;
        for (Token t : path_) {
            const std::uint32_t runEnd = pos + t.literals;
            if (next < chunkStarts.size() && chunkStarts[next] <= runEnd) {
                const std::uint32_t head = chunkStarts[next] > pos ? chunkStarts[next] - pos : 0;
                add({head, 0, 0});
                t.literals -= head;
                while (next < chunkStarts.size() && chunkStarts[next] <= runEnd) ++next;
            }
            add(t);
            pos = runEnd + t.length;
        }
    }

    OptimalEffort effort_;
    TreeMatchFinder finder_;
    std::vector<Match> found_;
    std::uint32_t chunkPenalty_; // bits
    CostModel model_;            // the tables the next segment starts from

    std::uint32_t start_ = 0, length_ = 0;
    std::vector<std::uint32_t> matchStart_; // first match of each position
    std::vector<Match> matches_;
    std::vector<Token> path_; // the parse: each run, then its match or a chunk end

    // ExactPath: the cheapest way to each position that ends with a match or
    // a chunk end, and that step; the start of the cheapest run that ends at
    // each position; the minimums over spans.
    std::vector<int> after_;
    std::vector<Step> step_;
    std::vector<std::uint32_t> runStart_;
    std::vector<std::int64_t> spans_;
};

} // namespace

std::vector<Token> OptimalParse(const std::uint8_t* data, std::uint32_t size,
                                const OptimalEffort& effort) {
    std::vector<Token> tokens;
    SegmentParser parser(data, size, effort);
    const std::uint32_t segments = (size + SEGMENT_SIZE - 1) / SEGMENT_SIZE;
    // A few chunks stay in reserve for the ends that long runs force.
    const unsigned budget = std::max(1u, (CHUNKS_MAX - 8) / std::max(1u, segments));
    for (std::uint32_t start = 0; start < size;) {
        const std::uint32_t end = start + std::min(size - start, SEGMENT_SIZE);
        parser.Parse(start, end, budget, tokens);
        start = end;
    }
    return tokens;
}

} // namespace packer
