#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

// Checks that a log holds every client's stream (see StreamTag.h) completely and in order, the
// streams interleaved in pieces, and nothing else. It splits the log into pieces, each the
// continuation of one client's stream: at each place the client whose next 8 bytes stand there
// (any 8 bytes of a stream practically name their client), taking as much as matches; where that
// leads nowhere, a shorter piece or another client (a depth-first search with a bounded number
// of steps). Any split it finds proves the log sound; a log that is not sound has none. A piece
// shorter than 8 bytes in mid-stream is found by trying every client where another client's
// stream follows it; two of them in a row are not found, and such a sound log is reported as
// unproven. TCP reads practically never make them.
class Verifier final {
public:
    Verifier(const unsigned char *log, std::size_t size, std::uint32_t clients,
             std::uint64_t bytesPerClient);

    // Runs the check; true when every client's stream is there, complete and in order, and the
    // log holds nothing else.
    bool run();

    // What run() found, in one paragraph for people.
    std::string report() const;
    // After run(): whether the log is sound but for bytes missing at the ends of streams, and
    // how many bytes of a client it holds.
    bool consistent() const { return !m_failed; }
    std::uint64_t found(std::uint32_t client) const { return m_offset[client]; }

private:
    // Pieces of `client` that may start at a position: lengths from `longest` down to
    // `shortest`.
    struct Option {
        std::uint32_t client;
        std::uint64_t longest;
        std::uint64_t shortest;
    };
    // A position where a piece was chosen, the options there and the one being tried.
    struct Choice {
        std::size_t pos;
        std::vector<Option> options;
        std::size_t option = 0;
        std::uint64_t length = 0;
    };

    std::uint64_t remaining(std::uint32_t client) const;
    std::uint64_t matchLength(std::uint32_t client, std::size_t pos) const;
    std::uint64_t keyOf(std::uint32_t client) const;
    void index(std::uint32_t client);
    void unindex(std::uint32_t client);
    // Moves the client's position in its stream by `delta` bytes.
    void move(std::uint32_t client, std::int64_t delta);
    // The pieces that may start at `pos`, most likely first.
    std::vector<Option> optionsAt(std::size_t pos) const;
    // Whether some client other than `except` continues at `pos` with 8 bytes or its last bytes,
    // or the log ends there.
    bool continuesAt(std::size_t pos, std::uint32_t except) const;
    // Takes back the piece of the top choice and applies its next option; false when the search
    // is exhausted.
    bool backtrack(std::size_t *pos);

    const unsigned char *m_log;
    std::size_t m_size;
    std::uint32_t m_clients;
    std::uint64_t m_perClient;
    std::vector<std::uint64_t> m_offset; // bytes of each client found so far
    std::unordered_multimap<std::uint64_t, std::uint32_t> m_keys; // next 8 bytes -> client
    std::vector<std::uint32_t> m_shortTails; // clients with 1 to 7 bytes still to come
    std::deque<Choice> m_choices;            // the recent ones, that a dead end may still revisit
    std::uint64_t m_pieces = 0;
    bool m_failed = false;
    std::size_t m_furthest = 0; // furthest log position where no piece could start
    std::vector<std::uint64_t> m_offsetAtFurthest;
    std::uint64_t m_matched = 0;
};
