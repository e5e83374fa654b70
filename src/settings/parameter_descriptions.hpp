#pragma once
// What each run parameter is: the kind of its value and one line of meaning,
// for the help texts and the typed values of the run record.
#include <string>

namespace zelt {

enum class parameter_kind { text, boolean, integer, real };

struct parameter_description {
    const char* key;
    parameter_kind kind;
    const char* meaning;
};

// The description of `key`, or nullptr for a key the table does not know.
const parameter_description* describe_parameter(const std::string& key);

// The kind of `key` (text for a key the table does not know).
parameter_kind parameter_kind_of(const std::string& key);

}  // namespace zelt
