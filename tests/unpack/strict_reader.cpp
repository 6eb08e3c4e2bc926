#include "tests/unpack/strict_reader.h"

#include <algorithm>
#include <cstring>

namespace unpack_test {

namespace {

struct Fault {
    std::string what;
    UnpackStatus status;
};

using Table = DecodeEntry[16];

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
           std::uint32_t(p[3]);
}

// One decoding run over a memory area that holds the destination and the
// block. Addresses are offsets from the destination; `low` is the area's
// lowest one.
class Reader {
public:
    Reader(const std::vector<std::uint8_t>& block, std::int64_t offset, const ReadOptions& options)
        : lenient_(options.lenient), tables_(options.tables) {
        if (block.size() < 4 || block[0] != 'R' || block[1] != 'N' || block[2] != 'C' ||
            block[3] != 1)
            throw Fault{"not a packed block", UNPACK_BAD_SIGNATURE};
        if (block.size() < 18) throw Fault{"a header cut short", UNPACK_DOES_NOT_FIT};
        unpacked_ = BigEndian32(&block[4]);
        packed_ = BigEndian32(&block[8]);
        const std::int64_t room = std::int64_t(unpacked_) + block[16];
        chunks_ = block[17];
        if (18 + std::uint64_t(packed_) > block.size())
            throw Fault{"P passes the block's bytes", UNPACK_DOES_NOT_FIT};
        if (lenient_ && chunks_ == 0 && unpacked_ != 0)
            throw Fault{"no chunks for U bytes", UNPACK_NO_CHUNKS};
        if (tables_) {
            std::memcpy(runTable_, tables_->run.entries, sizeof runTable_);
            std::memcpy(distanceTable_, tables_->distance.entries, sizeof distanceTable_);
            std::memcpy(lengthTable_, tables_->length.entries, sizeof lengthTable_);
        }

        low_ = std::min<std::int64_t>(0, offset);
        const std::int64_t high = std::max<std::int64_t>(room, offset + std::int64_t(block.size()));
        if (high - low_ > (std::int64_t(1) << 30))
            throw Fault{"an area of more than 1 GiB", UNPACK_DOES_NOT_FIT};
        memory_.assign(std::size_t(high - low_), 0);
        written_.assign(memory_.size(), false);
        std::memcpy(&memory_[std::size_t(offset - low_)], block.data(), block.size());

        // Where the stream is read: where it lies, unless the output would
        // overtake it; then it is moved up to end at destination + U + M.
        stream_ = offset + 18;
        const std::int64_t end = stream_ + packed_;
        if (end > 0 && room > end) {
            const std::int64_t moved = room - packed_;
            std::memmove(&memory_[std::size_t(moved - low_)], &memory_[std::size_t(stream_ - low_)],
                         packed_);
            stream_ = moved;
        }
    }

    void Decode() {
        if (lenient_ && chunks_ == 0) return; // an empty block: nothing is read
        // The queue starts with the first stream word.
        cursor_ = 0;
        queue_ = FetchWord(0);
        count_ = 16;
        ReadBits(2); // ignored
        for (unsigned chunk = 0; chunk < chunks_; ++chunk) {
            ReadTable(runTable_);
            ReadTable(distanceTable_);
            ReadTable(lengthTable_);
            std::uint32_t runs = ReadBits(16);
            if (runs == 0) throw Fault{"a chunk of 0 literal runs", UNPACK_NO_RUNS};
            for (;;) {
                const std::uint32_t run = DecodeValue(runTable_);
                if (run != 0) CopyRaw(run);
                if (--runs == 0) break;
                const std::uint32_t distance = DecodeValue(distanceTable_) + 1;
                const std::uint32_t length = DecodeValue(lengthTable_) + 2;
                if (distance > produced_)
                    throw Fault{"a match reaching before the output", UNPACK_BAD_DISTANCE};
                OutputRoom(length);
                for (std::uint32_t i = 0; i < length; ++i) Output(At(produced_ - distance));
            }
        }
    }

    // The tables as the chunks left them, whole: a table is written only
    // once its description has been read to the end.
    void KeepTables() const {
        if (!tables_) return;
        std::memcpy(tables_->run.entries, runTable_, sizeof runTable_);
        std::memcpy(tables_->distance.entries, distanceTable_, sizeof distanceTable_);
        std::memcpy(tables_->length.entries, lengthTable_, sizeof lengthTable_);
    }

    void Finish(StrictResult& result) const {
        result.overtaken = overtaken_;
        result.produced = produced_;
        result.fetchedEnd = fetchedEnd_;
        const std::size_t start = std::size_t(-low_);
        const std::size_t size = std::min<std::size_t>(unpacked_, memory_.size() - start);
        result.data.assign(memory_.begin() + std::ptrdiff_t(start),
                           memory_.begin() + std::ptrdiff_t(start + size));
    }

private:
    std::uint8_t& At(std::int64_t address) { return memory_[std::size_t(address - low_)]; }

    [[noreturn]] void PastP(std::uint64_t pos) const {
        throw Fault{"fetches stream byte " + std::to_string(pos) + " of " + std::to_string(packed_),
                    UNPACK_STREAM_ENDED};
    }

    // Stream byte `pos`: it must lie inside P and must not have been
    // overwritten by output yet. Read leniently, a word's byte past P is a
    // zero that counts 8 bad bits, and an overwritten byte is read as it is.
    std::uint8_t FetchByte(std::uint64_t pos) {
        if (pos >= packed_) {
            if (!lenient_) PastP(pos);
            bad_ += 8;
            return 0;
        }
        const std::int64_t address = stream_ + std::int64_t(pos);
        if (written_[std::size_t(address - low_)]) {
            if (!lenient_)
                throw Fault{"stream byte " + std::to_string(pos) + " overwritten by output byte " +
                                std::to_string(address) + " before it was fetched",
                            UNPACK_STREAM_ENDED}; // strict only
            overtaken_ = true;
        }
        fetchedEnd_ = std::max<std::uint64_t>(fetchedEnd_, pos + 1);
        return At(address);
    }

    std::uint32_t FetchWord(std::uint64_t pos) {
        const std::uint32_t low = FetchByte(pos);
        return low | std::uint32_t(FetchByte(pos + 1)) << 8;
    }

    // Room in the output for n more bytes, tested before any is written.
    void OutputRoom(std::uint32_t n) const {
        if (n > unpacked_ - produced_) throw Fault{"output passes U", UNPACK_OUTPUT_FULL};
    }

    void Output(std::uint8_t byte) {
        At(produced_) = byte;
        written_[std::size_t(std::int64_t(produced_) - low_)] = true;
        ++produced_;
    }

    // The first n bits of the queue; when fewer than 16 remain, the word
    // after the cursor joins the queue.
    std::uint32_t ReadBits(unsigned n) {
        const std::uint32_t value = queue_ & ((1u << n) - 1);
        queue_ >>= n;
        count_ -= n;
        // Bad bits lie at the top of the queue: one was taken.
        if (count_ < bad_) throw Fault{"takes a bit past P", UNPACK_STREAM_ENDED};
        if (count_ < 16) {
            cursor_ += 2;
            queue_ |= FetchWord(cursor_) << count_;
            count_ += 16;
        }
        return value;
    }

    // A run's raw bytes start at the cursor, where the word added last was
    // read; that word leaves the queue and the word after the bytes takes
    // its place.
    // Raw bytes are never read past P, leniently or not.
    void CopyRaw(std::uint32_t run) {
        OutputRoom(run);
        if (std::uint64_t(cursor_) + run > packed_)
            PastP(std::max<std::uint64_t>(cursor_, packed_));
        for (std::uint32_t i = 0; i < run; ++i) Output(FetchByte(std::uint64_t(cursor_) + i));
        cursor_ += run;
        // The bits below the dropped word came from bytes before the cursor.
        bad_ = 0;
        const unsigned below = count_ - 16;
        queue_ &= (1u << below) - 1;
        queue_ |= FetchWord(cursor_) << below;
    }

    void ReadTable(Table& table) {
        const unsigned n = ReadBits(5);
        if (n == 0) return; // the table stays as it is
        if (n > 16) throw Fault{"a table of more than 16 symbols", UNPACK_BAD_TABLE};
        unsigned lengths[16];
        for (unsigned s = 0; s < n; ++s) lengths[s] = ReadBits(4);
        std::uint16_t accumulator = 0;
        std::uint16_t step = 0x8000;
        unsigned k = 0;
        for (unsigned length = 1; length <= 15; ++length, step >>= 1) {
            for (unsigned s = 0; s < n; ++s) {
                if (lengths[s] != length) continue;
                const unsigned top = accumulator >> (16 - length);
                unsigned reversed = 0;
                for (unsigned b = 0; b < length; ++b)
                    reversed |= ((top >> b) & 1u) << (length - 1 - b);
                table[k].mask = std::uint16_t((1u << length) - 1);
                table[k].code = std::uint16_t(reversed);
                table[k].value = std::uint16_t(length << 8 | s);
                ++k;
                accumulator = std::uint16_t(accumulator + step);
            }
        }
    }

    std::uint32_t DecodeValue(const Table& table) {
        const std::uint32_t window = queue_ & 0xFFFF;
        for (const DecodeEntry& e : table) {
            if ((window & e.mask) != e.code) continue;
            const unsigned symbol = e.value & 0xFF;
            ReadBits(e.value >> 8);
            if (symbol < 2) return symbol;
            return (1u << (symbol - 1)) + ReadBits(symbol - 1);
        }
        throw Fault{"a code that no table entry matches", UNPACK_BAD_CODE};
    }

    std::vector<std::uint8_t> memory_;
    std::vector<bool> written_; // output bytes written so far, by address
    std::int64_t low_ = 0;
    std::int64_t stream_ = 0; // address of stream byte 0
    std::uint32_t unpacked_ = 0, packed_ = 0;
    unsigned chunks_ = 0;

    bool lenient_;
    ReaderTables* tables_;
    bool overtaken_ = false;

    std::uint32_t queue_ = 0; // unconsumed bits, first bit lowest
    unsigned count_ = 0;      // bits in the queue
    unsigned bad_ = 0;        // lenient: zeros for bytes past P, at the top of the queue
    std::uint64_t cursor_ = 0;
    std::uint32_t produced_ = 0;
    std::uint64_t fetchedEnd_ = 0;
    Table runTable_{}, distanceTable_{}, lengthTable_{};
};

} // namespace

StrictResult StrictUnpackAt(const std::vector<std::uint8_t>& block, std::int64_t offset,
                            const ReadOptions& options) {
    StrictResult result;
    try {
        Reader reader(block, offset, options);
        try {
            reader.Decode();
            result.ok = true;
        } catch (const Fault& f) {
            result.fault = f.what;
            result.status = f.status;
        }
        reader.KeepTables();
        reader.Finish(result);
    } catch (const Fault& f) {
        result.fault = f.what;
        result.status = f.status;
    }
    return result;
}

StrictResult StrictUnpack(const std::vector<std::uint8_t>& block, const ReadOptions& options) {
    // Above destination + U + M the block is read where it lies and the
    // output never reaches it.
    std::int64_t offset = 0;
    if (block.size() >= 18) offset = std::int64_t(BigEndian32(&block[4])) + block[16];
    return StrictUnpackAt(block, offset, options);
}

} // namespace unpack_test
