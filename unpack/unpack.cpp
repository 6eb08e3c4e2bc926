// The unpacker: one forward pass over the stream with a bit queue kept in
// locals, code tables scanned entry by entry, raw bytes copied as blocks.
//
// The bit queue. The reader holds the unconsumed bits of the stream, first
// bit lowest, never fewer than 16 between operations, and a cursor: the byte
// position of the stream word added to the queue last. Taking n bits removes
// them from the bottom; if fewer than 16 remain, the word at cursor + 2 is
// added on top and the cursor moves to it. A literal run's raw bytes start at
// the cursor: the word added last is dropped from the top, R bytes are copied
// from the cursor on, the cursor moves by R and the word found there takes the
// dropped word's place. So the packer stores a run's raw bytes just before the
// word the reader had added last when it finished decoding the run's length.
//
// Bounds. Words are fetched as the cursor reaches them, which at the end of a
// valid stream looks past its last byte; bytes past P are taken as zeros and
// counted as bad bits at the top of the queue. Only taking a bad bit, or a
// raw byte beyond P, ends the decoding with a failure.
#include "unpack/unpack.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The process-wide state. Only the three tables carry anything from one call
// to the next; the rest is set from each block and stored back at the end of
// each call, the window as the decoder left it.
struct UnpackState {
    DecodeTable runTable;
    DecodeTable distanceTable;
    DecodeTable lengthTable;
    std::uint32_t unpackedSize;
    std::uint32_t packedSize;
    std::uint16_t runsLeft;
    std::uint16_t windowLow;
    std::uint16_t windowHigh;
    std::uint8_t chunksLeft;
    std::uint8_t highBits;
};

UnpackState unpackState; // all zero at program start

constexpr std::uint16_t SIGNATURE_LOW = 0x4E52;  // 'R' 'N'
constexpr std::uint16_t SIGNATURE_HIGH = 0x0143; // 'C', method 1
constexpr unsigned TABLE_SYMBOLS_MAX = 16;

std::uint32_t ReadBigEndian32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
           std::uint32_t(p[3]);
}

bool SignatureMatches(const std::uint8_t* block) {
    const std::uint16_t low = std::uint16_t(block[0] | block[1] << 8);
    const std::uint16_t high = std::uint16_t(block[2] | block[3] << 8);
    return low == SIGNATURE_LOW && high == SIGNATURE_HIGH;
}

// The bit queue and the cursor, kept in a local of the decoder so that the
// compiler holds them in registers.
struct BitReader {
    const std::uint8_t* stream;
    std::uint32_t packed;  // P
    std::uint32_t fastEnd; // a word at a position below this lies wholly inside P
    std::uint32_t cursor;  // position of the word added last
    std::uint32_t bits;    // the queue, first bit in bit 0; nothing above `count`
    std::uint32_t count;   // bits in the queue, 16 to 31
    std::uint32_t badBits; // zeros standing for bytes past P, at the top of the queue

    // The word at `pos`, bytes past P read as zeros; adds the number of bits
    // that stand for such bytes to `bad`.
    [[gnu::always_inline]] inline std::uint32_t Fetch(std::uint32_t pos, std::uint32_t& bad) const {
        if (pos < fastEnd) [[likely]]
            return std::uint32_t(stream[pos]) | std::uint32_t(stream[pos + 1]) << 8;
        std::uint32_t word = 0;
        if (pos < packed) {
            word = stream[pos];
            bad += 8;
        } else {
            bad += 16;
        }
        return word;
    }

    void Start(const std::uint8_t* s, std::uint32_t p) {
        stream = s;
        packed = p;
        fastEnd = p >= 2 ? p - 1 : 0;
        cursor = 0;
        badBits = 0;
        bits = Fetch(0, badBits);
        count = 16;
    }

    // The next n bits (0 to 16) as a number; false when one of them lies
    // beyond the stream.
    [[gnu::always_inline]] inline bool ReadBits(unsigned n, std::uint32_t& value) {
        value = bits & ((1u << n) - 1);
        bits >>= n;
        count -= n;
        if (count < badBits) [[unlikely]]
            return false;
        if (count < 16) {
            cursor += 2;
            bits |= Fetch(cursor, badBits) << count;
            count += 16;
        }
        return true;
    }

    // Copies r raw bytes from the cursor on to `out` and puts the word after
    // them in the place of the word added last; false when they pass P.
    [[gnu::always_inline]] inline bool CopyRaw(std::uint8_t* out, std::uint32_t r) {
        if (cursor > packed || r > packed - cursor) [[unlikely]]
            return false;
        // The block may overlap the output when unpacking in place.
        std::memmove(out, stream + cursor, r);
        cursor += r;
        const std::uint32_t below = count - 16;
        bits &= (1u << below) - 1;
        // The bits below the dropped word came from bytes before the cursor,
        // all inside P, so no bad bits remain beneath the new word.
        badBits = 0;
        bits |= Fetch(cursor, badBits) << below;
        return true;
    }
};

// Reads one table description into `table`. A count of 0 leaves the table as
// it is; otherwise its entries are rebuilt from the first one, in canonical
// order: shorter codes first, within one length lower symbols first.
[[gnu::always_inline]] inline UnpackStatus ReadDecodeTable(BitReader& reader, DecodeTable& table) {
    std::uint32_t n;
    if (!reader.ReadBits(5, n)) return UNPACK_STREAM_ENDED;
    if (n == 0) return UNPACK_OK;
    if (n > TABLE_SYMBOLS_MAX) return UNPACK_BAD_TABLE;
    std::uint8_t lengths[TABLE_SYMBOLS_MAX];
    for (std::uint32_t s = 0; s < n; ++s) {
        std::uint32_t length;
        if (!reader.ReadBits(4, length)) return UNPACK_STREAM_ENDED;
        lengths[s] = std::uint8_t(length);
    }
    std::uint16_t accumulator = 0;
    std::uint16_t step = 0x8000;
    unsigned k = 0;
    for (unsigned length = 1; length <= 15; ++length, step >>= 1) {
        for (std::uint32_t s = 0; s < n; ++s) {
            if (lengths[s] != length) continue;
            // The top `length` bits of the accumulator, in reverse order.
            const unsigned top = accumulator >> (16 - length);
            unsigned reversed = 0;
            for (unsigned b = 0; b < length; ++b) reversed |= ((top >> b) & 1u) << (length - 1 - b);
            table.entries[k].mask = std::uint16_t((1u << length) - 1);
            table.entries[k].code = std::uint16_t(reversed);
            table.entries[k].value = std::uint16_t(length << 8 | s);
            ++k;
            accumulator = std::uint16_t(accumulator + step);
        }
    }
    return UNPACK_OK;
}

// A chunk's code table as the decoder scans it: the masks and codes side by
// side, so that all 16 entries are compared at once; the first entry that
// matches wins, as in a scan from the first entry.
struct ScanTable {
    alignas(16) std::uint16_t mask[16];
    alignas(16) std::uint16_t code[16];
    std::uint16_t value[16];

    void Load(const DecodeTable& table) {
        for (unsigned k = 0; k < 16; ++k) {
            mask[k] = table.entries[k].mask;
            code[k] = table.entries[k].code;
            value[k] = table.entries[k].value;
        }
    }

    // One bit per entry whose masked code matches `window`, entry 0 in bit 0.
    [[gnu::always_inline]] inline std::uint32_t Matches(std::uint32_t window) const {
#if defined(__SSE2__)
        const __m128i w = _mm_set1_epi16(short(window));
        const __m128i* m = reinterpret_cast<const __m128i*>(mask);
        const __m128i* c = reinterpret_cast<const __m128i*>(code);
        const __m128i lo = _mm_cmpeq_epi16(_mm_and_si128(w, _mm_load_si128(m)), _mm_load_si128(c));
        const __m128i hi =
            _mm_cmpeq_epi16(_mm_and_si128(w, _mm_load_si128(m + 1)), _mm_load_si128(c + 1));
        // Pack the 16 lane results to bytes, then one bit per entry.
        return std::uint32_t(_mm_movemask_epi8(_mm_packs_epi16(lo, hi)));
#else
        std::uint32_t bits = 0;
        for (unsigned k = 0; k < 16; ++k) bits |= std::uint32_t((window & mask[k]) == code[k]) << k;
        return bits;
#endif
    }
};

// Decodes one value, 0 to 32767: a symbol s from the first entry whose masked
// code matches the queue's low 16 bits, then s - 1 extra bits when s is 2 or
// more.
[[gnu::always_inline]] inline UnpackStatus DecodeValue(BitReader& reader, const ScanTable& table,
                                                       std::uint32_t& value) {
    const std::uint32_t matches = table.Matches(reader.bits & 0xFFFF);
    if (matches == 0) [[unlikely]]
        return UNPACK_BAD_CODE;
    const std::uint16_t entryValue = table.value[std::countr_zero(matches)];
    const unsigned length = entryValue >> 8;
    const unsigned symbol = entryValue & 0xFF;
    std::uint32_t bits;
    if (symbol < 2) {
        if (!reader.ReadBits(length, bits)) return UNPACK_STREAM_ENDED;
        value = symbol;
        return UNPACK_OK;
    }
    const unsigned extra = symbol - 1;
    if (length + extra <= 16) [[likely]] {
        // Code and extra bits in one read: the queue gives the same bits and
        // adds the same words as two reads would.
        if (!reader.ReadBits(length + extra, bits)) return UNPACK_STREAM_ENDED;
        value = (1u << extra) + (bits >> length);
        return UNPACK_OK;
    }
    if (!reader.ReadBits(length, bits) || !reader.ReadBits(extra, bits)) return UNPACK_STREAM_ENDED;
    value = (1u << extra) + bits;
    return UNPACK_OK;
}

// Copies a match of `length` bytes from `distance` back, with the result of
// copying byte by byte in increasing order: when the distance is shorter
// than the length, the last `distance` bytes repeat. Writes nothing beyond
// the match (in place, the stream may lie right after it).
[[gnu::always_inline]] inline void CopyMatch(std::uint8_t* to, std::uint32_t distance,
                                             std::uint32_t length) {
    const std::uint8_t* from = to - distance;
    if (distance >= length) {
        std::memcpy(to, from, length);
    } else if (distance >= 8) {
        // Each 8-byte step reads bytes written at least 8 bytes before.
        std::uint32_t i = 0;
        for (; i + 8 <= length; i += 8) {
            std::uint64_t chunk;
            std::memcpy(&chunk, from + i, 8);
            std::memcpy(to + i, &chunk, 8);
        }
        for (; i < length; ++i) to[i] = from[i];
    } else {
        for (std::uint32_t i = 0; i < length; ++i) to[i] = from[i];
    }
}

#define UNPACK_CHECK(expression)                                                                   \
    do {                                                                                           \
        status = (expression);                                                                     \
        if (status != UNPACK_OK) [[unlikely]]                                                      \
            goto finished;                                                                         \
    } while (0)

#define UNPACK_REQUIRE(condition, failure)                                                         \
    do {                                                                                           \
        if (!(condition)) [[unlikely]] {                                                           \
            status = (failure);                                                                    \
            goto finished;                                                                         \
        }                                                                                          \
    } while (0)

// Decodes the stream of P bytes at `stream` into `out`, U bytes at most, and
// counts the bytes written in `produced`.
UnpackStatus DecodeStream(const std::uint8_t* stream, std::uint32_t packed, std::uint8_t* out,
                          std::uint32_t unpacked, std::uint8_t chunks, std::uint32_t& written) {
    UnpackState& st = unpackState;
    BitReader reader;
    reader.Start(stream, packed);
    std::uint32_t produced = 0;
    std::uint32_t runs = 0;
    std::uint32_t ignored;
    UnpackStatus status = UNPACK_OK;

    UNPACK_REQUIRE(reader.ReadBits(2, ignored), UNPACK_STREAM_ENDED);
    for (; chunks != 0; --chunks) {
        UNPACK_CHECK(ReadDecodeTable(reader, st.runTable));
        UNPACK_CHECK(ReadDecodeTable(reader, st.distanceTable));
        UNPACK_CHECK(ReadDecodeTable(reader, st.lengthTable));
        UNPACK_REQUIRE(reader.ReadBits(16, runs), UNPACK_STREAM_ENDED);
        UNPACK_REQUIRE(runs != 0, UNPACK_NO_RUNS);
        // Local copies, which the output's byte stores cannot alias.
        ScanTable runTable, distanceTable, lengthTable;
        runTable.Load(st.runTable);
        distanceTable.Load(st.distanceTable);
        lengthTable.Load(st.lengthTable);
        for (;;) {
            std::uint32_t run;
            UNPACK_CHECK(DecodeValue(reader, runTable, run));
            if (run != 0) {
                UNPACK_REQUIRE(run <= unpacked - produced, UNPACK_OUTPUT_FULL);
                UNPACK_REQUIRE(reader.CopyRaw(out + produced, run), UNPACK_STREAM_ENDED);
                produced += run;
            }
            if (--runs == 0) break;

            std::uint32_t distance, length;
            UNPACK_CHECK(DecodeValue(reader, distanceTable, distance));
            UNPACK_CHECK(DecodeValue(reader, lengthTable, length));
            distance += 1;
            length += 2;
            UNPACK_REQUIRE(distance <= produced, UNPACK_BAD_DISTANCE);
            UNPACK_REQUIRE(length <= unpacked - produced, UNPACK_OUTPUT_FULL);
            CopyMatch(out + produced, distance, length);
            produced += length;
        }
    }

finished:
    written = produced;
    st.runsLeft = std::uint16_t(runs);
    st.chunksLeft = chunks;
    st.windowLow = std::uint16_t(reader.bits);
    st.windowHigh = std::uint16_t(reader.bits >> 16);
    st.highBits = std::uint8_t(reader.count - 16);
    return status;
}

constexpr UnpackResult Failure(UnpackStatus status, std::uint32_t produced = 0) {
    return UnpackResult{0, produced, status};
}

// The common path once the signature is known good. `sourceSize` and
// `capacity` bound the block and the destination; the plain entry passes
// the largest sizes the address space allows.
UnpackResult Unpack(const std::uint8_t* block, std::uintptr_t sourceSize, std::uint8_t* dest,
                    std::uintptr_t capacity, bool sized) {
    const std::uint32_t unpacked = ReadBigEndian32(block + 4);
    const std::uint32_t packed = ReadBigEndian32(block + 8);
    const std::uint8_t margin = block[16];
    const std::uint8_t chunks = block[17];

    if (packed > sourceSize - PACK_HEADER_SIZE || unpacked > capacity)
        return Failure(UNPACK_DOES_NOT_FIT);
    // Addresses are compared as 64-bit numbers so that no sum wraps; neither
    // the stream nor the destination area may pass the top of the address
    // space.
    constexpr std::uint64_t addressTop = UINTPTR_MAX;
    const std::uint64_t destStart = reinterpret_cast<std::uintptr_t>(dest);
    const std::uint64_t streamStart = reinterpret_cast<std::uintptr_t>(block) + PACK_HEADER_SIZE;
    const std::uint64_t streamEnd = streamStart + packed;
    const std::uint64_t room = std::uint64_t(unpacked) + margin;
    if (streamEnd > addressTop || destStart + room > addressTop)
        return Failure(UNPACK_DOES_NOT_FIT);

    if (chunks == 0) {
        if (unpacked != 0) return Failure(UNPACK_NO_CHUNKS);
        unpackState.unpackedSize = 0;
        unpackState.packedSize = packed;
        return UnpackResult{0, 0, UNPACK_OK};
    }

    const std::uint8_t* stream = block + PACK_HEADER_SIZE;
    // The sized entry knows the stream is apart from the output when it starts
    // at or above destination + U, and then leaves it where it lies instead of
    // asking for room up to destination + U + M that it would not need.
    const bool apart = sized && streamStart >= destStart + unpacked;
    if (streamEnd > destStart && destStart + room > streamEnd && !apart) {
        // The output would overtake the stream: move it up to end at
        // destination + U + M. The new place is higher than the old one.
        if (room > capacity) return Failure(UNPACK_DOES_NOT_FIT);
        auto* moved = reinterpret_cast<std::uint8_t*>(std::uintptr_t(destStart + room - packed));
        std::memmove(moved, stream, packed);
        stream = moved;
    }

    unpackState.unpackedSize = unpacked;
    unpackState.packedSize = packed;
    std::uint32_t produced = 0;
    const UnpackStatus status = DecodeStream(stream, packed, dest, unpacked, chunks, produced);
    if (status != UNPACK_OK) return Failure(status, produced);
    return UnpackResult{unpacked, produced, UNPACK_OK};
}

} // namespace

UnpackResult UnpackBlock(const void* source, void* destination) {
    const auto* block = static_cast<const std::uint8_t*>(source);
    if (!SignatureMatches(block)) return Failure(UNPACK_BAD_SIGNATURE);
    return Unpack(block, UINTPTR_MAX, static_cast<std::uint8_t*>(destination), UINTPTR_MAX, false);
}

UnpackResult UnpackBlockSized(const void* source, std::size_t sourceSize, void* destination,
                              std::size_t destinationCapacity) {
    const auto* block = static_cast<const std::uint8_t*>(source);
    if (sourceSize < 4 || !SignatureMatches(block)) return Failure(UNPACK_BAD_SIGNATURE);
    if (sourceSize < PACK_HEADER_SIZE) return Failure(UNPACK_DOES_NOT_FIT);
    return Unpack(block, sourceSize, static_cast<std::uint8_t*>(destination), destinationCapacity,
                  true);
}

bool ReadPackHeader(const void* block, std::size_t size, std::uint32_t* unpackedSize,
                    std::uint32_t* packedSize, std::uint8_t* margin) {
    const auto* bytes = static_cast<const std::uint8_t*>(block);
    if (size < PACK_HEADER_SIZE || !SignatureMatches(bytes)) return false;
    if (unpackedSize) *unpackedSize = ReadBigEndian32(bytes + 4);
    if (packedSize) *packedSize = ReadBigEndian32(bytes + 8);
    if (margin) *margin = bytes[16];
    return true;
}

const char* UnpackStatusText(UnpackStatus status) {
    switch (status) {
    case UNPACK_OK: return "ok";
    case UNPACK_BAD_SIGNATURE: return "not a packed block (bad signature or method)";
    case UNPACK_DOES_NOT_FIT: return "block larger than its buffer or the destination";
    case UNPACK_BAD_TABLE: return "code table of more than 16 symbols";
    case UNPACK_BAD_CODE: return "code matching no table entry";
    case UNPACK_NO_CHUNKS: return "no chunks in a block that is not empty";
    case UNPACK_NO_RUNS: return "chunk of no literal runs";
    case UNPACK_STREAM_ENDED: return "stream ends before the data";
    case UNPACK_OUTPUT_FULL: return "data longer than the unpacked size";
    case UNPACK_BAD_DISTANCE: return "match reaching before the start of the data";
    }
    return "unknown status";
}
