// The packed-data unpacker, and the packer that makes its blocks.
//
// A packed block is an 18-byte header and a stream of P bytes:
//
//   0  "RNC" and the method byte 1 (tested as the 16-bit words 0x4E52, 0x0143)
//   4  unpacked size U, big-endian        8  stream size P, big-endian
//   12 four bytes the unpacker never reads
//   16 overlap margin M                   17 chunk count, 1 to 255
//   18 the stream: 16-bit little-endian words of bits (least significant bit
//      first) with the raw bytes of literal runs lying between the words
//
// UnpackBlock expands one block in a single forward pass, with no allocation,
// into room for U bytes at the destination. The destination may overlap the
// block, down to unpacking it in place over itself: when the stream ends
// above the destination but below destination + U + M, the stream is first
// moved up to end at destination + U + M, and the caller must provide that
// memory too. The three code tables are static and persist from call to call
// (a chunk that describes a table with count 0 keeps its entries), so one
// unpack runs at a time per process; the routine is not reentrant.
//
// Every block is checked as it is decoded. The unpacker never writes outside
// the destination's U bytes (and, when it moves the stream, the P bytes below
// destination + U + M), never reads a stream byte beyond the block's P, and
// never copies from before the destination. A damaged block gives a result
// with a failure status; what it wrote by then stays in the destination.
// UnpackBlockSized is the entry for a block in a buffer of known size: it
// also refuses a block that does not fit the source or the destination.
//
// PackBlock (library unpack_packer, not part of the shipped programs) writes
// a block from any data that the format can hold, with the margin M set so
// that unpacking in place over the block itself is safe.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Unpacking

enum UnpackStatus : std::uint8_t {
    UNPACK_OK = 0,
    UNPACK_BAD_SIGNATURE, // not "RNC" method 1; nothing written
    UNPACK_DOES_NOT_FIT,  // the block is larger than its buffer, or U (+ M) than
                          // the destination; nothing written (sized entry only)
    UNPACK_BAD_TABLE,     // a table of more than 16 symbols
    UNPACK_BAD_CODE,      // bits that no entry of the table matches
    UNPACK_NO_CHUNKS,     // chunk count 0 while U is not 0
    UNPACK_NO_RUNS,       // a chunk of 0 literal runs
    UNPACK_STREAM_ENDED,  // bits or raw bytes needed beyond the stream's P bytes
    UNPACK_OUTPUT_FULL,   // output would pass U bytes
    UNPACK_BAD_DISTANCE,  // a match reaching before the start of the output
};

struct UnpackResult {
    std::uint32_t size;     // U from the header on success, 0 on failure
    std::uint32_t produced; // bytes the chunks wrote: U for a whole block, fewer when
                            // its chunks end early; on failure, those written by then
    UnpackStatus status;

    constexpr bool Failed() const { return status != UNPACK_OK; }
};

// Expands the block at `source` into `destination` (see above). The header's
// sizes are trusted to describe the caller's buffers.
UnpackResult UnpackBlock(const void* source, void* destination);

// As UnpackBlock for a block held in `sourceSize` bytes and a destination of
// `destinationCapacity` bytes: refuses (UNPACK_DOES_NOT_FIT) a block whose
// header and stream are longer than `sourceSize`, whose U exceeds the
// capacity, or whose U + M does where the stream must be moved.
UnpackResult UnpackBlockSized(const void* source, std::size_t sourceSize, void* destination,
                              std::size_t destinationCapacity);

// A short English name of a status, for messages.
const char* UnpackStatusText(UnpackStatus status);

constexpr std::size_t PACK_HEADER_SIZE = 18;

// The header's unpacked size U, stream size P and margin M (any pointer may
// be null), for callers that size the destination from the block; false
// when `size` is shorter than a header or the signature does not match.
bool ReadPackHeader(const void* block, std::size_t size, std::uint32_t* unpackedSize,
                    std::uint32_t* packedSize, std::uint8_t* margin);

// Decoder variants, each the same decoding built for other processors: the
// plain scan (a 32-bit bit buffer, the entries compared one after the other
// up to the match) on every processor; the SSE2 decoder (a 64-bit buffer in
// an SSE2 register that tops up while each code is searched for, all 16
// entries compared at once) and the MMX decoder (the same buffer in an MMX
// register, the entries compared four at a time in MMX registers) on i686
// and x86-64; the read-ahead decoder (the same buffer, the entries compared
// in four 64-bit general-purpose registers) on x86-64. The first unpack
// chooses the read-ahead decoder on x86-64. On i686 it chooses the SSE2
// decoder where the system says it supports SSE2, that is, saves the SSE
// registers on a task switch (Windows 95 and NT 4.0 do not); else the MMX
// decoder where the processor has MMX (the Pentium II and every later one:
// MMX shares the x87 registers, which every system saves); else the plain
// scan.
enum UnpackVariant : std::uint8_t { UNPACK_PLAIN, UNPACK_SSE2, UNPACK_READ_AHEAD, UNPACK_MMX };

// The variant the next unpack uses, chosen on the first call.
UnpackVariant UnpackCurrentVariant();

// For tests and benchmarks: every later unpack uses `variant`; false, with
// nothing changed, where this build does not carry it. Neither the processor
// nor the system is asked: SSE2 forced where the system does not support it,
// or MMX where the processor has none, faults.
bool UnpackUseVariant(UnpackVariant variant);

#if defined(_WIN32) && !defined(_WIN64)
// The choice on i686 for a processor whose CPUID answers as `askProcessor`
// does (the four registers EAX, EBX, ECX, EDX for `leaf`; false where it has
// no CPUID or not that leaf) and a system whose kernel32
// IsProcessorFeaturePresent is `isFeaturePresent` (null where kernel32 has
// none, as on Windows 95).
using ProcessorIdQuery = bool (*)(std::uint32_t leaf, std::uint32_t registers[4]);
using ProcessorFeatureQuery = int(__attribute__((stdcall)) *)(unsigned long feature);
UnpackVariant UnpackChooseVariant(ProcessorIdQuery askProcessor,
                                  ProcessorFeatureQuery isFeaturePresent);
#endif

// One code table: 16 entries of (mask, code with its bits reversed, code
// length in the high byte and symbol in the low byte).
struct DecodeEntry {
    std::uint16_t mask;
    std::uint16_t code;
    std::uint16_t value;
};
struct DecodeTable {
    DecodeEntry entries[16];
};
static_assert(sizeof(DecodeEntry) == 6 && sizeof(DecodeTable) == 96);

// ---------------------------------------------------------------------------
// Packing (library unpack_packer)

// The largest block PackBlock may write for `size` bytes of data.
std::size_t PackBound(std::size_t size);

struct PackResult {
    std::size_t size;     // bytes written, header included; 0 when the data does not fit
    std::uint32_t margin; // the margin in-place unpacking needs
    bool inPlaceSafe;     // false when that margin exceeds 255, the most M holds
};

// Packs `size` bytes into `block`, which has room for PackBound(size) bytes.
// `effort` from 1 (fast) to 9 (smallest): levels 1 to 7 set how far a lazy
// match finder looks; 8 and 9 search for the smallest parse, priced with the
// codes of each chunk, and keep the count of matches (and so the unpacking
// time) in check.
// The format holds at least 255 * 32767 bytes of any data (more when matches
// are found); data that needs more than 255 chunks, or a stream of more than
// 2^32 - 1 bytes (the most P holds), gives a size of 0.
// Every stream byte that a reader of the format fetches lies inside P: the
// stream ends with the word the reader fetches after the last bit. Empty data
// gives one chunk of one empty literal run.
// In-place unpacking is safe whenever inPlaceSafe is true; the block is valid
// for unpacking into a separate buffer either way (M is then 255).
PackResult PackBlock(const void* data, std::size_t size, void* block, int effort = 9);
