#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// The bytes every benchmark client sends. A client's stream is a run of 32-byte records: the
// client's tag (4 bytes, little-endian, mixed from the client id), the record number scrambled
// with the client's own mask (4 bytes) and 24 bytes mixed from both. A stream of M bytes is the
// first M bytes of that run. No field is shared between clients, so two streams agree in a byte
// only by chance, and any 8 bytes of a stream tell, with overwhelming likelihood, which client
// sent them and where they belong; the verifier relies on that to split an interleaved log back
// into the clients' streams.
namespace StreamTag {

constexpr std::size_t RecordSize = 32;

inline std::uint64_t mix(std::uint64_t x)
{
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

inline void store32(unsigned char *out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<unsigned char>(v >> (8 * i));
}

inline void store64(unsigned char *out, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<unsigned char>(v >> (8 * i));
}

// The client's tag (low half) and the mask of its record numbers (high half).
inline std::uint64_t clientKey(std::uint32_t client)
{
    return mix(0x4b657374ULL ^ client);
}

inline void record(std::uint32_t client, std::uint32_t number, unsigned char *out)
{
    const std::uint64_t key = clientKey(client);
    store32(out, std::uint32_t(key));
    store32(out + 4, number ^ std::uint32_t(key >> 32));
    const std::uint64_t seed = (std::uint64_t(client) << 32) | number;
    std::uint64_t h = mix(seed);
    store64(out + 8, h);
    h = mix(h);
    store64(out + 16, h);
    store64(out + 24, mix(h));
}

// Writes bytes [offset, offset + length) of `client`'s stream to `out`.
inline void fill(std::uint32_t client, std::uint64_t offset, unsigned char *out, std::size_t length)
{
    unsigned char scratch[RecordSize];
    std::uint64_t number = offset / RecordSize;
    std::size_t skip = offset % RecordSize;
    while (length > 0) {
        const std::size_t take = RecordSize - skip < length ? RecordSize - skip : length;
        if (skip == 0 && take == RecordSize) {
            record(client, std::uint32_t(number), out);
        } else {
            record(client, std::uint32_t(number), scratch);
            std::memcpy(out, scratch + skip, take);
        }
        out += take;
        length -= take;
        skip = 0;
        ++number;
    }
}

} // namespace StreamTag
