#include "tests/unpack/strict_reader.h"

#include <algorithm>
#include <cstring>

namespace unpack_test {

namespace {

struct Fault {
    std::string what;
};

struct Entry {
    std::uint16_t mask;
    std::uint16_t code;
    std::uint16_t value; // code length in the high byte, symbol in the low byte
};
using Table = Entry[16];

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
           std::uint32_t(p[3]);
}

// One decoding run over a memory area that holds the destination and the
// block. Addresses are offsets from the destination; `low` is the area's
// lowest one.
class Reader {
public:
    Reader(const std::vector<std::uint8_t>& block, std::int64_t offset) {
        if (block.size() < 18 || block[0] != 'R' || block[1] != 'N' || block[2] != 'C' ||
            block[3] != 1)
            throw Fault{"not a packed block"};
        unpacked_ = BigEndian32(&block[4]);
        packed_ = BigEndian32(&block[8]);
        const std::int64_t room = std::int64_t(unpacked_) + block[16];
        chunks_ = block[17];
        if (18 + std::uint64_t(packed_) > block.size()) throw Fault{"P passes the block's bytes"};

        low_ = std::min<std::int64_t>(0, offset);
        const std::int64_t high = std::max<std::int64_t>(room, offset + std::int64_t(block.size()));
        if (high - low_ > (std::int64_t(1) << 30)) throw Fault{"an area of more than 1 GiB"};
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
            if (runs == 0) throw Fault{"a chunk of 0 literal runs"};
            for (;;) {
                const std::uint32_t run = DecodeValue(runTable_);
                if (run != 0) CopyRaw(run);
                if (--runs == 0) break;
                const std::uint32_t distance = DecodeValue(distanceTable_) + 1;
                const std::uint32_t length = DecodeValue(lengthTable_) + 2;
                if (distance > produced_) throw Fault{"a match reaching before the output"};
                for (std::uint32_t i = 0; i < length; ++i) Output(At(produced_ - distance));
            }
        }
    }

    void Finish(StrictResult& result) const {
        result.produced = produced_;
        result.fetchedEnd = fetchedEnd_;
        const std::size_t start = std::size_t(-low_);
        const std::size_t size = std::min<std::size_t>(unpacked_, memory_.size() - start);
        result.data.assign(memory_.begin() + std::ptrdiff_t(start),
                           memory_.begin() + std::ptrdiff_t(start + size));
    }

private:
    std::uint8_t& At(std::int64_t address) { return memory_[std::size_t(address - low_)]; }

    // Stream byte `pos`: it must lie inside P and must not have been
    // overwritten by output yet.
    std::uint8_t FetchByte(std::uint32_t pos) {
        if (pos >= packed_)
            throw Fault{"fetches stream byte " + std::to_string(pos) + " of " +
                        std::to_string(packed_)};
        const std::int64_t address = stream_ + pos;
        if (written_[std::size_t(address - low_)])
            throw Fault{"stream byte " + std::to_string(pos) + " overwritten by output byte " +
                        std::to_string(address) + " before it was fetched"};
        fetchedEnd_ = std::max<std::uint64_t>(fetchedEnd_, pos + 1);
        return At(address);
    }

    std::uint32_t FetchWord(std::uint32_t pos) {
        const std::uint32_t low = FetchByte(pos);
        return low | std::uint32_t(FetchByte(pos + 1)) << 8;
    }

    void Output(std::uint8_t byte) {
        if (produced_ >= unpacked_) throw Fault{"output passes U"};
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
    void CopyRaw(std::uint32_t run) {
        for (std::uint32_t i = 0; i < run; ++i) Output(FetchByte(cursor_ + i));
        cursor_ += run;
        const unsigned below = count_ - 16;
        queue_ &= (1u << below) - 1;
        queue_ |= FetchWord(cursor_) << below;
    }

    void ReadTable(Table& table) {
        const unsigned n = ReadBits(5);
        if (n == 0) return; // the table stays as it is
        if (n > 16) throw Fault{"a table of more than 16 symbols"};
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
        for (const Entry& e : table) {
            if ((window & e.mask) != e.code) continue;
            const unsigned symbol = e.value & 0xFF;
            ReadBits(e.value >> 8);
            if (symbol < 2) return symbol;
            return (1u << (symbol - 1)) + ReadBits(symbol - 1);
        }
        throw Fault{"a code that no table entry matches"};
    }

    std::vector<std::uint8_t> memory_;
    std::vector<bool> written_; // output bytes written so far, by address
    std::int64_t low_ = 0;
    std::int64_t stream_ = 0; // address of stream byte 0
    std::uint32_t unpacked_ = 0, packed_ = 0;
    unsigned chunks_ = 0;

    std::uint32_t queue_ = 0; // unconsumed bits, first bit lowest
    unsigned count_ = 0;      // bits in the queue
    std::uint32_t cursor_ = 0;
    std::uint32_t produced_ = 0;
    std::uint64_t fetchedEnd_ = 0;
    Table runTable_{}, distanceTable_{}, lengthTable_{};
};

} // namespace

StrictResult StrictUnpackAt(const std::vector<std::uint8_t>& block, std::int64_t offset) {
    StrictResult result;
    try {
        Reader reader(block, offset);
        try {
            reader.Decode();
            result.ok = true;
        } catch (const Fault& f) {
            result.fault = f.what;
        }
        reader.Finish(result);
    } catch (const Fault& f) {
        result.fault = f.what;
    }
    return result;
}

StrictResult StrictUnpack(const std::vector<std::uint8_t>& block) {
    // Above destination + U + M the block is read where it lies and the
    // output never reaches it.
    std::int64_t offset = 0;
    if (block.size() >= 18) offset = std::int64_t(BigEndian32(&block[4])) + block[16];
    return StrictUnpackAt(block, offset);
}

} // namespace unpack_test
