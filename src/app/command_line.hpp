#pragma once
// Options, configuration files and positional arguments of the command line.
#include <iosfwd>
#include <string>

#include "settings/parameters.hpp"

namespace zelt {

// Letters followed by ':' take a value.
inline constexpr const char* option_letters = "Aab:Cce:F:g:h:l:M:m:n:o:p:P:RSs:Tt:Vv:w:Z:";
// The options whose value must be a whole number, and those whose value must
// be a number.
inline constexpr const char* integer_option_letters = "egMmnpvw";
inline constexpr const char* number_option_letters = "hl";

// Walks the arguments one option at a time. Options begin with '-' or '/';
// letters without a value may be clustered (-RS), a value may follow its
// letter directly (-g0) or come as the next argument (-g 0). An argument that
// begins with '/' but is neither an existing file nor an option cluster is a
// file name that does not exist, and is refused with an io_error.
class option_scanner {
public:
    static constexpr int end_of_options = -1;

    option_scanner(int argc, const char* const* argv, const char* letters = option_letters);

    // The next option letter, '?' for an unknown letter or a missing value,
    // or end_of_options.
    int next();
    // Value of the option last returned (empty when it takes none).
    const std::string& value() const { return value_; }
    // Index of the first argument not consumed by the options.
    int index() const { return index_; }

private:
    // True when TEXT (an argument after its leading '/') reads as a cluster
    // of option letters, with a fitting value where one is attached.
    bool is_option_cluster(const char* text) const;

    int argc_;
    const char* const* argv_;
    std::string letters_;
    int index_ = 1;
    const char* cluster_ = nullptr;  // current letter inside an option cluster
    std::string value_;
};

// True for a decimal integer with nothing after it: optional leading blanks
// and a sign, then digits. The empty text passes.
bool is_integer_text(const std::string& text);
// True when the text-to-double conversion reads the whole text (the empty
// text passes).
bool is_number_text(const std::string& text);
// True when VALUE passes the check of option LETTER (integer or number
// options); any text fits the others.
bool fits_option(char letter, const std::string& value);

// Applies one key=value definition to the store; `failure` starts the message
// of the runtime failure thrown for a definition without a value.
void apply_definition(const std::string& definition, parameter_store& overrides,
                      const std::string& failure);

// Reads a configuration file of white-space separated key=value words.
void read_configuration_file(const std::string& name, parameter_store& overrides);

// The usage text, with the current defaults in parentheses.
void print_usage(std::ostream& out);

// help: `--help` anywhere on the command line, or `-P help`.
enum class command_action { run, usage, version, help };

// Scans the options and the positional arguments into the overrides store.
// Returns what the process is to do next; failing options throw.
command_action parse_command_line(int argc, const char* const* argv, parameter_store& overrides);

}  // namespace zelt
