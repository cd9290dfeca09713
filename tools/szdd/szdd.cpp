#include "szdd.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <thread>

namespace szdd {
namespace {

constexpr std::size_t RingSize = 4096;
constexpr std::size_t RingStart = RingSize - 16; // 0xFF0
constexpr std::size_t MinMatch = 3;
constexpr std::size_t MaxMatch = 18;
// Every earlier byte up to a whole ring back is still in the ring when the
// match is copied; the oldest one (4096 back) is read before it is overwritten,
// but not every expander is built that way, so stop one short of it.
constexpr std::size_t MaxDistance = RingSize - 1;
constexpr std::uint8_t Fill = ' ';
const std::uint8_t Magic[8] = {0x53, 0x5A, 0x44, 0x44, 0x88, 0xF0, 0x27, 0x33};
constexpr std::size_t HeaderSize = 14;

constexpr unsigned HashBits = 16;

inline unsigned Hash(const std::uint8_t* p)
{
    const unsigned v = (unsigned(p[0]) << 16) | (unsigned(p[1]) << 8) | p[2];
    return (v * 2654435761u) >> (32 - HashBits);
}

// How far `a` and `b` agree, from `from` up to at most `limit` bytes, eight
// bytes at a time. Both may be read up to MaxMatch bytes past `from`'s start.
inline std::size_t CommonLength(const std::uint8_t* a, const std::uint8_t* b, std::size_t from, std::size_t limit)
{
    std::size_t length = from;
    while (length + 8 <= limit) {
        std::uint64_t x;
        std::uint64_t y;
        std::memcpy(&x, a + length, 8);
        std::memcpy(&y, b + length, 8);
        if (x != y) {
            return length + static_cast<std::size_t>(__builtin_ctzll(x ^ y) / 8);
        }
        length += 8;
    }
    while (length < limit && a[length] == b[length]) {
        ++length;
    }
    return length;
}

struct Match {
    std::uint16_t length = 0;
    std::uint16_t distance = 0;
};

// Finds the longest match at the text positions [from, to) and stores it in
// `matches` (indexed from the input's start). A binary search tree of the
// window's strings (the match finder of LZMA's "bt" family), rooted per hash of
// the first three bytes: walking down the tree to insert a position passes the
// longest match there is in the window. The positions of the window before
// `from` are inserted first, so that every candidate is in the tree and the
// result is exact whatever came before.
void FindMatches(const std::vector<std::uint8_t>& text, std::size_t start, std::size_t end, std::size_t from,
                 std::size_t to, std::vector<Match>& matches)
{
    constexpr std::uint32_t Empty = 0xFFFFFFFFu;
    constexpr std::size_t Cycle = MaxDistance + 1; // tree nodes kept: one window
    std::vector<std::uint32_t> head(std::size_t(1) << HashBits, Empty);
    std::vector<std::uint32_t> children(2 * Cycle, Empty); // left, right per node

    const std::size_t warmUp = from > MaxDistance ? from - MaxDistance : 0;
    for (std::size_t pos = warmUp; pos < to; ++pos) {
        const std::size_t limit = std::min(MaxMatch, end - pos);
        if (limit < MinMatch) {
            break; // too short to match or to be matched
        }
        const unsigned h = Hash(&text[pos]);
        std::uint32_t candidate = head[h];
        head[h] = static_cast<std::uint32_t>(pos);

        const std::uint8_t* current = &text[pos];
        const std::size_t node = pos % Cycle;
        std::uint32_t* smallerSlot = &children[2 * node];    // left: strings below current
        std::uint32_t* largerSlot = &children[2 * node + 1]; // right: strings above current
        std::size_t smallerLength = 0;
        std::size_t largerLength = 0;
        Match best;
        for (;;) {
            if (candidate == Empty || pos - candidate > MaxDistance) {
                *smallerSlot = *largerSlot = Empty;
                break;
            }
            const std::size_t distance = pos - candidate;
            std::uint32_t* pair = &children[2 * (candidate % Cycle)];
            const std::uint8_t* other = &text[candidate];
            const std::size_t length = CommonLength(other, current, std::min(smallerLength, largerLength), limit);
            if (length > best.length && length >= MinMatch) {
                best.length = static_cast<std::uint16_t>(length);
                best.distance = static_cast<std::uint16_t>(distance);
            }
            if (length == limit) {
                // Equal as far as it matters: the new node takes the old one's place.
                *smallerSlot = pair[0];
                *largerSlot = pair[1];
                break;
            }
            if (other[length] < current[length]) {
                *smallerSlot = candidate;
                smallerSlot = &pair[1];
                candidate = *smallerSlot;
                smallerLength = length;
            } else {
                *largerSlot = candidate;
                largerSlot = &pair[0];
                candidate = *largerSlot;
                largerLength = length;
            }
        }
        if (pos >= from && pos >= start) {
            matches[pos - start] = best;
        }
    }
}

// The longest match at every position of the input. The input is preceded by
// the ring's initial spaces, which matches may use. Large inputs are searched
// in slices on all cores; each slice warms its own tree up on the window
// before it, so the result does not depend on the slicing.
std::vector<Match> LongestMatches(const std::vector<std::uint8_t>& input)
{
    const std::size_t n = input.size();
    const std::size_t start = MaxDistance; // the initial spaces come first
    // Zeros after the end: compares may read a match's length past it.
    std::vector<std::uint8_t> text(start + n + MaxMatch, 0);
    std::fill_n(text.begin(), start, Fill);
    for (std::size_t i = 0; i < n; ++i) {
        text[start + i] = input[i];
    }
    const std::size_t end = start + n;

    std::vector<Match> matches(n);
    constexpr std::size_t MinSlice = std::size_t(1) << 16;
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t slices = std::max<std::size_t>(1, std::min(cores, n / MinSlice));
    std::vector<std::thread> workers;
    for (std::size_t slice = 1; slice < slices; ++slice) {
        const std::size_t from = start + n * slice / slices;
        const std::size_t to = start + n * (slice + 1) / slices;
        workers.emplace_back(FindMatches, std::cref(text), start, end, from, to, std::ref(matches));
    }
    FindMatches(text, start, end, 0, start + n / slices, matches);
    for (std::thread& worker : workers) {
        worker.join();
    }
    return matches;
}

} // namespace

std::vector<std::uint8_t> Compress(const std::vector<std::uint8_t>& input)
{
    const std::size_t n = input.size();
    const std::vector<Match> matches = LongestMatches(input);

    // Optimal parse: a literal costs 9 bits (byte and flag), a match 17; every
    // length from 3 up to the longest is available at the longest's distance.
    std::vector<std::uint32_t> cost(n + 1, 0);
    std::vector<std::uint16_t> choice(n, 0); // 0: literal, else match length
    for (std::size_t i = n; i-- > 0;) {
        const std::size_t longest = matches[i].length;
        std::uint32_t cheapest = cost[i + 1] + 9;
        std::uint16_t chosen = 0;
        if (longest >= MinMatch) {
            // The cheapest rest after a match, then the longest length that reaches it.
            std::uint32_t rest = cost[i + MinMatch];
            for (std::size_t length = MinMatch + 1; length <= longest; ++length) {
                rest = std::min(rest, cost[i + length]);
            }
            if (rest + 17 < cheapest) {
                cheapest = rest + 17;
                std::size_t length = longest;
                while (cost[i + length] != rest) {
                    --length;
                }
                chosen = static_cast<std::uint16_t>(length);
            }
        }
        cost[i] = cheapest;
        choice[i] = chosen;
    }

    std::vector<std::uint8_t> out(Magic, Magic + 8);
    out.push_back('A');
    out.push_back(0);
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>(std::uint32_t(n) >> shift));
    }
    std::size_t flagAt = 0;
    unsigned items = 0;
    for (std::size_t i = 0; i < n;) {
        if (items % 8 == 0) {
            flagAt = out.size();
            out.push_back(0);
        }
        if (choice[i] == 0) {
            out[flagAt] |= std::uint8_t(1u << (items % 8));
            out.push_back(input[i]);
            ++i;
        } else {
            const std::size_t ring = (RingStart + i + RingSize * 2 - matches[i].distance) % RingSize;
            out.push_back(static_cast<std::uint8_t>(ring & 0xFF));
            out.push_back(static_cast<std::uint8_t>(((ring >> 4) & 0xF0) | (choice[i] - MinMatch)));
            i += choice[i];
        }
        ++items;
    }
    return out;
}

bool Expand(const std::vector<std::uint8_t>& packed, std::vector<std::uint8_t>& output)
{
    if (packed.size() < HeaderSize || !std::equal(Magic, Magic + 8, packed.begin()) || packed[8] != 'A') {
        return false;
    }
    std::uint32_t length = 0;
    for (int i = 0; i < 4; ++i) {
        length |= std::uint32_t(packed[10 + i]) << (8 * i);
    }
    std::uint8_t ring[RingSize];
    std::memset(ring, Fill, RingSize);
    std::size_t position = RingStart;
    output.clear();
    output.reserve(length);
    std::size_t in = HeaderSize;
    while (in < packed.size() && output.size() < length) {
        const std::uint8_t flags = packed[in++];
        for (int bit = 0; bit < 8 && in < packed.size() && output.size() < length; ++bit) {
            if (flags & (1u << bit)) {
                const std::uint8_t byte = packed[in++];
                output.push_back(byte);
                ring[position] = byte;
                position = (position + 1) % RingSize;
            } else {
                if (in + 1 >= packed.size()) {
                    return false;
                }
                const std::uint8_t b1 = packed[in++];
                const std::uint8_t b2 = packed[in++];
                std::size_t source = b1 | ((b2 & 0xF0u) << 4);
                const std::size_t count = (b2 & 0x0Fu) + MinMatch;
                for (std::size_t k = 0; k < count; ++k) {
                    const std::uint8_t byte = ring[source];
                    source = (source + 1) % RingSize;
                    output.push_back(byte);
                    ring[position] = byte;
                    position = (position + 1) % RingSize;
                }
            }
        }
    }
    if (output.size() > length) {
        output.resize(length);
    }
    return output.size() == length;
}

} // namespace szdd
