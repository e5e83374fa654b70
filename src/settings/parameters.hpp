#pragma once
// Run parameters: dotted text keys mapped to text values, parsed when read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zelt {

class parameter_store {
public:
    using map_type = std::unordered_map<std::string, std::string>;

    parameter_store();

    // Typed getters; an absent key fails with std::out_of_range
    // "invalid unordered_map<K, T> key". A number must be the whole value
    // (blanks around it allowed); otherwise std::invalid_argument "invalid
    // stoi argument: KEY=VALUE" (stoul, stod), and out of its type's range
    // std::out_of_range "stoi argument out of range: KEY=VALUE".
    const std::string& text(const std::string& key) const;
    bool boolean(const std::string& key) const;              // exactly "true"
    int integer(const std::string& key) const;               // 32-bit signed
    std::uint32_t unsigned_integer(const std::string& key) const;  // 32-bit unsigned
    double real(const std::string& key) const;

    // Inserts the key if absent, then assigns the value.
    void set(const std::string& key, const std::string& value);
    // 1 when the key is present, else 0.
    std::size_t count(const std::string& key) const;
    std::size_t size() const { return values_.size(); }

    map_type::const_iterator begin() const { return values_.begin(); }
    map_type::const_iterator end() const { return values_.end(); }

private:
    map_type values_;
};

// The built-in table of keys and default values, in the order it is built.
const std::vector<std::pair<const char*, const char*>>& default_parameter_table();

// A fresh store holding the built-in defaults.
parameter_store make_default_store();

// The defaults store of the process, built on first use and never modified.
const parameter_store& default_store();

// Copy of the defaults with every override applied; an override whose key is
// not among the defaults fails with std::out_of_range "unknown run parameter
// 'KEY'" and the nearest known key.
parameter_store make_effective_store(const parameter_store& defaults,
                                     const parameter_store& overrides);

// Refuses counts that leave nothing to search with (range_refusal): attempts
// below 1, negative generations, a population below 1. Called as soon as the
// effective store is made, before any input is read, and again by derive().
void check_counts(const parameter_store& effective);

// Checks the settings for incompatible combinations and derives the settings
// that follow from others. A key counts as given by the user when it is in
// the overrides store.
void derive(parameter_store& effective, const parameter_store& overrides);

// Refuses settings the fft translation search cannot honour: an unknown
// `optimizer.translation`, copies or models moved at once (-M, -A), a
// resolution limit that is not a positive number, fewer than one peak. Needs
// only the store, so the run driver calls it before reading any file.
void check_translation_mode(const parameter_store& effective);

// Refuses bulk-solvent (Babinet) bounds the searches cannot keep
// (range_refusal): a minimum above its maximum (or a bound that is no
// number), a negative minimum B. Needs only the store, so the run driver
// calls it before reading any file.
void check_babinet_bounds(const parameter_store& effective);

// Number parsing as done by the getters: leading white space and a sign are
// accepted, the longest valid prefix is converted and the rest ignored.
// Text without a number fails with std::invalid_argument ("invalid stoi
// argument" ...), a number too large for its type with std::out_of_range
// ("stoi argument out of range" ...).
int parse_integer(const std::string& text);
std::uint32_t parse_unsigned(const std::string& text);
double parse_real(const std::string& text);

}  // namespace zelt
