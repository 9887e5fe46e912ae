#include "Args.h"

#include <cstdlib>
#include <stdexcept>

Args::Args(int argc, char **argv, int first)
{
    for (int i = first; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--") {
            m_rest.assign(argv + i + 1, argv + argc);
            return;
        }
        if (word.rfind("--", 0) != 0 || i + 1 >= argc)
            throw std::invalid_argument("expected --name value, got " + word);
        m_values[word.substr(2)] = argv[++i];
    }
}

std::string Args::text(const std::string &name, const std::string &def) const
{
    const auto found = m_values.find(name);
    return found == m_values.end() ? def : found->second;
}

std::uint64_t Args::size(const std::string &name, std::uint64_t def) const
{
    return has(name) ? parseSize(text(name)) : def;
}

double Args::number(const std::string &name, double def) const
{
    return has(name) ? std::strtod(text(name).c_str(), nullptr) : def;
}

std::uint64_t Args::parseSize(const std::string &text)
{
    char *end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (end == text.c_str())
        throw std::invalid_argument("not a size: " + text);
    switch (*end) {
    case 'K':
    case 'k':
        return value << 10;
    case 'M':
    case 'm':
        return value << 20;
    case 'G':
    case 'g':
        return value << 30;
    case '\0':
        return value;
    default:
        throw std::invalid_argument("not a size: " + text);
    }
}
