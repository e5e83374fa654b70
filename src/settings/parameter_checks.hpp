#pragma once
// Help for a user who mistypes a run parameter: the known key nearest to an
// unknown one, and a warning for a boolean given neither "true" nor "false".
#include <string>
#include <vector>

#include "settings/parameters.hpp"

namespace zelt {

// Levenshtein distance: single-character insertions, deletions and substitutions.
std::size_t edit_distance(const std::string& x, const std::string& y);

// The message for an override whose key is not among `known`: "unknown run
// parameter 'KEY'", followed by " (did you mean 'NEAREST'?)" when a known key
// lies within a third of the key's length (at least 2) edits.
std::string unknown_key_message(const std::string& key, const parameter_store& known);

// One line for each override of a key whose default is "true" or "false"
// given any other text, which the boolean getter reads as false:
// "Warning: KEY=VALUE is neither \"true\" nor \"false\"; it is read as false".
std::vector<std::string> boolean_warnings(const parameter_store& defaults, const parameter_store& overrides);

}  // namespace zelt
