#include "Verifier.h"

#include "StreamTag.h"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace {
constexpr std::size_t KeySize = 8;
// How far a piece may have run into the next one by bytes that happened to match: each does by
// chance one time in 256, so eight in a row practically never.
constexpr std::uint64_t MaxOverrun = 8;
// How far before a dead end a choice may have led to it: a piece running into the next one,
// or a few short pieces.
constexpr std::size_t MaxReach = 64;
// Bound of the search: a sound log needs about one step per piece.
constexpr std::uint64_t MaxSteps = 2000000;

std::uint64_t load64(const unsigned char *p)
{
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}
} // namespace

Verifier::Verifier(const unsigned char *log, std::size_t size, std::uint32_t clients,
                   std::uint64_t bytesPerClient)
    : m_log(log), m_size(size), m_clients(clients), m_perClient(bytesPerClient),
      m_offset(clients, 0)
{
    for (std::uint32_t c = 0; c < clients; ++c)
        index(c);
}

std::uint64_t Verifier::remaining(std::uint32_t client) const
{
    return m_perClient - m_offset[client];
}

// Compares in growing blocks: a wrong candidate differs within a record, the right one may run
// for megabytes.
std::uint64_t Verifier::matchLength(std::uint32_t client, std::size_t pos) const
{
    const std::uint64_t limit = std::min<std::uint64_t>(remaining(client), m_size - pos);
    static std::vector<unsigned char> expected(std::size_t(1) << 20);
    std::uint64_t done = 0;
    std::size_t block = 64;
    while (done < limit) {
        const std::size_t n = std::size_t(std::min<std::uint64_t>(block, limit - done));
        StreamTag::fill(client, m_offset[client] + done, expected.data(), n);
        const unsigned char *actual = m_log + pos + done;
        if (std::memcmp(expected.data(), actual, n) != 0) {
            std::size_t i = 0;
            while (expected[i] == actual[i])
                ++i;
            return done + i;
        }
        done += n;
        block = std::min(block * 16, expected.size());
    }
    return done;
}

std::uint64_t Verifier::keyOf(std::uint32_t client) const
{
    unsigned char bytes[KeySize];
    StreamTag::fill(client, m_offset[client], bytes, KeySize);
    return load64(bytes);
}

void Verifier::index(std::uint32_t client)
{
    const std::uint64_t left = remaining(client);
    if (left >= KeySize)
        m_keys.emplace(keyOf(client), client);
    else if (left > 0)
        m_shortTails.push_back(client);
}

void Verifier::unindex(std::uint32_t client)
{
    const std::uint64_t left = remaining(client);
    if (left >= KeySize) {
        auto range = m_keys.equal_range(keyOf(client));
        for (auto it = range.first; it != range.second; ++it) {
            if (it->second == client) {
                m_keys.erase(it);
                break;
            }
        }
    } else if (left > 0) {
        m_shortTails.erase(std::find(m_shortTails.begin(), m_shortTails.end(), client));
    }
}

void Verifier::move(std::uint32_t client, std::int64_t delta)
{
    unindex(client);
    m_offset[client] = std::uint64_t(std::int64_t(m_offset[client]) + delta);
    index(client);
}

// A client whose next 8 bytes stand at `pos` continues there with overwhelming likelihood; only
// where none does are the short continuations of every client worth trying.
std::vector<Verifier::Option> Verifier::optionsAt(std::size_t pos) const
{
    std::vector<Option> options;
    auto add = [&](std::uint32_t c, std::uint64_t n) {
        const std::uint64_t shortest = n > MaxOverrun ? n - MaxOverrun : 1;
        options.push_back({c, n, shortest});
    };
    if (pos + KeySize <= m_size) {
        auto range = m_keys.equal_range(load64(m_log + pos));
        for (auto it = range.first; it != range.second; ++it) {
            const std::uint64_t n = matchLength(it->second, pos);
            if (n >= KeySize)
                add(it->second, n);
        }
    }
    for (const std::uint32_t c : m_shortTails) {
        const std::uint64_t n = matchLength(c, pos);
        if (n == remaining(c))
            add(c, n);
    }
    if (options.empty()) {
        // A short piece in mid-stream. A few bytes match some client by chance, so a length
        // counts only where another client's stream (or the end of the log) follows it.
        for (std::uint32_t c = 0; c < m_clients; ++c) {
            if (remaining(c) == 0)
                continue;
            const std::uint64_t n = std::min<std::uint64_t>(matchLength(c, pos), KeySize);
            for (std::uint64_t k = n; k >= 1; --k) {
                if (continuesAt(pos + std::size_t(k), c))
                    options.push_back({c, k, k});
            }
        }
    }
    std::stable_sort(options.begin(), options.end(),
                     [](const Option &a, const Option &b) { return a.longest > b.longest; });
    return options;
}

bool Verifier::continuesAt(std::size_t pos, std::uint32_t except) const
{
    if (pos == m_size)
        return true;
    if (pos + KeySize <= m_size) {
        auto range = m_keys.equal_range(load64(m_log + pos));
        for (auto it = range.first; it != range.second; ++it) {
            if (it->second != except && matchLength(it->second, pos) >= KeySize)
                return true;
        }
    }
    for (const std::uint32_t c : m_shortTails) {
        if (c != except && matchLength(c, pos) == remaining(c))
            return true;
    }
    return false;
}

bool Verifier::backtrack(std::size_t *pos)
{
    while (!m_choices.empty()) {
        Choice &top = m_choices.back();
        // Only a choice close before the dead end can have caused it.
        if (top.pos + top.length + MaxReach < m_furthest)
            return false;
        move(top.options[top.option].client, -std::int64_t(top.length));
        *pos = top.pos;
        if (top.length > top.options[top.option].shortest) {
            --top.length;
        } else if (top.option + 1 < top.options.size()) {
            ++top.option;
            top.length = top.options[top.option].longest;
        } else {
            m_choices.pop_back();
            continue;
        }
        move(top.options[top.option].client, std::int64_t(top.length));
        *pos += top.length;
        return true;
    }
    return false;
}

bool Verifier::run()
{
    std::size_t pos = 0;
    std::uint64_t steps = 0;
    m_offsetAtFurthest = m_offset;
    while (pos < m_size) {
        if (++steps > MaxSteps) {
            m_failed = true;
            break;
        }
        std::vector<Option> options = optionsAt(pos);
        if (options.empty()) {
            if (pos >= m_furthest) {
                m_furthest = pos;
                m_offsetAtFurthest = m_offset;
            }
            if (!backtrack(&pos)) {
                m_failed = true;
                break;
            }
            continue;
        }
        Choice choice{pos, std::move(options), 0, 0};
        choice.length = choice.options[0].longest;
        move(choice.options[0].client, std::int64_t(choice.length));
        pos += choice.length;
        m_choices.push_back(std::move(choice));
        while (m_choices.front().pos + m_choices.front().length + MaxReach < pos) {
            m_choices.pop_front();
            ++m_pieces;
        }
    }
    m_pieces += m_choices.size();
    if (m_failed)
        m_offset = m_offsetAtFurthest;
    m_matched = 0;
    for (const std::uint64_t done : m_offset)
        m_matched += done;
    return !m_failed && m_matched == m_perClient * m_clients;
}

std::string Verifier::report() const
{
    std::ostringstream out;
    const std::uint64_t expected = m_perClient * m_clients;
    std::uint32_t incomplete = 0;
    for (std::uint32_t c = 0; c < m_clients; ++c)
        incomplete += remaining(c) > 0 ? 1 : 0;
    out << "log " << m_size << " bytes, expected " << expected << ", "
        << (m_failed ? "matched at most " : "matched ") << m_matched << " in " << m_pieces
        << " pieces; ";
    if (m_failed)
        out << "bytes at log offset " << m_furthest
            << " continue no client's stream (lost, reordered or foreign bytes); ";
    if (incomplete == 0) {
        out << "every client complete";
    } else {
        out << incomplete << " of " << m_clients << " clients incomplete, lost "
            << expected - m_matched << " bytes";
        int shown = 0;
        for (std::uint32_t c = 0; c < m_clients && shown < 5; ++c) {
            if (remaining(c) > 0) {
                out << (shown == 0 ? " (" : ", ") << "client " << c << ": " << m_offset[c] << " of "
                    << m_perClient;
                ++shown;
            }
        }
        if (shown > 0)
            out << (incomplete > 5 ? ", ...)" : ")");
    }
    return out.str();
}
