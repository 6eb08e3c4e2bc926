// The strict reader: a plain decoder of packed blocks that follows the
// reading rule word for word and keeps the packer honest. It is the reference
// the tests and the round-trip fuzzer hold every packed block to:
//
// - It fetches the first stream word at the start and adds the next word as
//   soon as fewer than 16 bits remain, and after a literal run's raw bytes it
//   fetches the word at the new cursor, as every reader of the format does.
//   A fetch of a stream byte at or past P is a fault (the lenient unpacker
//   reads such bytes as zeros; another reader would read memory that is not
//   the block's). It records how far it fetched.
// - In place it lays the block out in one memory area as the unpacker does
//   (the stream moved up to end at destination + U + M when the output would
//   overtake it) and faults when a stream byte is overwritten by output
//   before the reader has fetched it.
// - Its code tables start all zero at each call, as at the first call of a
//   process: a block whose chunks leave a table undescribed and then use it
//   decodes differently here than after other blocks.
//
// Read leniently, it is instead the plain reference the decoder variants are
// held to on any bytes: it reads as UnpackBlock reads, byte by byte and word
// by word, and reports the status UnpackBlock reports (see ReadOptions).
//
// It has no dependency on GoogleTest, so that the fuzzers can use it too.
#pragma once

#include "unpack/unpack.h"

#include <cstdint>
#include <string>
#include <vector>

namespace unpack_test {

// The three code tables that the lenient reader keeps from call to call.
struct ReaderTables {
    DecodeTable run{}, distance{}, length{};
};

struct ReadOptions {
    // As UnpackBlock reads: stream bytes past P read as zeros and fault only
    // when a bit of theirs is taken (raw bytes past P fault at once), a chunk
    // count of 0 is a fault only when U is not 0, and a stream byte that
    // output overwrote before it was fetched is read as it now is (and
    // recorded in `overtaken`).
    bool lenient = false;
    // The tables to start from and to leave the chunks' tables in; null: all
    // zero, as at the first call of a process.
    ReaderTables* tables = nullptr;
};

struct StrictResult {
    bool ok = false;                 // decoded every chunk with no fault
    std::string fault;               // what went wrong, when not ok
    UnpackStatus status = UNPACK_OK; // the fault as UnpackBlock reports it
    bool overtaken = false;         // lenient: output overwrote a stream byte before it was fetched
    std::vector<std::uint8_t> data; // the U output bytes (zero where nothing was written)
    std::uint32_t produced = 0;     // output bytes written
    std::uint64_t fetchedEnd = 0;   // one past the furthest stream byte fetched
};

// Decodes `block` into a separate buffer.
StrictResult StrictUnpack(const std::vector<std::uint8_t>& block, const ReadOptions& options = {});

// Decodes `block` lying `offset` bytes above the destination (below it when
// negative), the destination and the block sharing one memory area that ends
// at destination + U + M or at the block's end, whichever is higher. In place
// over the block itself, `offset` is 0. Areas above 1 GiB are refused.
StrictResult StrictUnpackAt(const std::vector<std::uint8_t>& block, std::int64_t offset,
                            const ReadOptions& options = {});

} // namespace unpack_test
