#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// "--name value" options of the benchmark tools, and sizes such as 100K, 10M or 1G (KiB, MiB,
// GiB).
class Args final {
public:
    Args(int argc, char **argv, int first);

    bool has(const std::string &name) const { return m_values.count(name) != 0; }
    std::string text(const std::string &name, const std::string &def = {}) const;
    std::uint64_t size(const std::string &name, std::uint64_t def) const;
    double number(const std::string &name, double def) const;
    // The words after "--", unchanged.
    const std::vector<std::string> &rest() const { return m_rest; }

    static std::uint64_t parseSize(const std::string &text);

private:
    std::map<std::string, std::string> m_values;
    std::vector<std::string> m_rest;
};
