#include "app/command_line.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <locale.h>
#include <ostream>
#include <stdexcept>
#include <utility>

#include "settings/reports.hpp"
#include "common/errors.hpp"

namespace zelt {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// An argument that starts with '/' is an option cluster in the slash style,
// unless it is plainly an absolute path: a name that exists, or one with a
// further '/' in it. Without this an absolute file name could never be
// given as a positional argument.
bool is_absolute_path_argument(const char* arg) {
    if (arg[0] != '/') return false;
    if (std::strchr(arg + 1, '/') != nullptr) return true;
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::path(arg), ec);
}

}  // namespace

option_scanner::option_scanner(int argc, const char* const* argv, const char* letters)
    : argc_(argc), argv_(argv), letters_(letters) {}

int option_scanner::next() {
    value_.clear();
    if (cluster_ != nullptr) {
        ++cluster_;
        if (*cluster_ == '\0') cluster_ = nullptr;
    }
    if (cluster_ == nullptr) {
        if (index_ >= argc_) return end_of_options;
        const char* arg = argv_[index_++];
        if (arg[0] == '/' && !is_absolute_path_argument(arg) && !is_option_cluster(arg + 1))
            throw io_error("the file " + std::string(arg) + " does not exist");
        if ((arg[0] != '-' && arg[0] != '/') || is_absolute_path_argument(arg)) {
            --index_;  // left for the positional arguments
            return end_of_options;
        }
        if (std::strcmp(arg, "-") == 0 || std::strcmp(arg, "--") == 0) return end_of_options;
        cluster_ = arg + 1;
    }
    const char letter = *cluster_;
    const std::size_t at = letter == '\0' || letter == ':' ? std::string::npos : letters_.find(letter);
    if (at == std::string::npos) {
        cluster_ = nullptr;
        return '?';
    }
    const bool takes_value = at + 1 < letters_.size() && letters_[at + 1] == ':';
    if (!takes_value) return static_cast<unsigned char>(letter);
    if (cluster_[1] != '\0') {
        value_ = cluster_ + 1;
    } else if (index_ < argc_) {
        value_ = argv_[index_++];
    } else {
        cluster_ = nullptr;
        return '?';
    }
    cluster_ = nullptr;
    return static_cast<unsigned char>(letter);
}

bool option_scanner::is_option_cluster(const char* text) const {
    for (const char* p = text; *p != '\0'; ++p) {
        const std::size_t at = *p == ':' ? std::string::npos : letters_.find(*p);
        if (at == std::string::npos) return false;
        if (at + 1 < letters_.size() && letters_[at + 1] == ':')
            return p[1] == '\0' || fits_option(*p, p + 1);
    }
    return *text != '\0';
}

bool fits_option(char letter, const std::string& value) {
    if (std::strchr(integer_option_letters, letter) != nullptr) return is_integer_text(value);
    if (std::strchr(number_option_letters, letter) != nullptr) return is_number_text(value);
    return true;
}

bool is_integer_text(const std::string& text) {
    if (text.empty()) return true;
    std::size_t i = 0;
    while (i < text.size() && is_blank(text[i])) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const std::size_t digits = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i > digits && i == text.size();
}

bool is_number_text(const std::string& text) {
    static const locale_t classic = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const char* begin = text.c_str();
    char* end = nullptr;
    const int saved = errno;
    strtod_l(begin, &end, classic);
    errno = saved;
    return end == begin + text.size();
}

void apply_definition(const std::string& definition, parameter_store& overrides,
                      const std::string& failure) {
    const std::size_t eq = definition.find('=');
    if (eq == std::string::npos || eq + 1 == definition.size())
        throw std::runtime_error(failure + definition);
    overrides.set(definition.substr(0, eq), definition.substr(eq + 1));
}

void read_configuration_file(const std::string& name, parameter_store& overrides) {
    // A folder opens as a stream on some systems but holds no definitions.
    std::error_code ec;
    const bool folder = std::filesystem::is_directory(std::filesystem::path(name), ec);
    std::ifstream in;
    if (!folder) in.open(name);
    if (!in.is_open()) throw io_error("unable to open the file " + name + ": iostream stream error");
    // A definition is a key and a value such as a file name; a longer word
    // means the file is not a configuration file (or never ends: /dev/zero).
    constexpr std::streamsize longest_word = 65536;
    std::string word;
    while ((in.width(longest_word + 1), in >> word)) {
        if (static_cast<std::streamsize>(word.size()) > longest_word)
            throw std::runtime_error("the configuration file " + name + " holds a word longer than " +
                                     std::to_string(longest_word) + " characters");
        apply_definition(word, overrides, "Incorrect parameter definition in configuration file: ");
    }
    // A failing read ends the loop as the end of the file would.
    if (in.bad()) throw io_error("error reading the file " + name);
}

void print_usage(std::ostream& out) {
    const parameter_store& d = default_store();
    out << "Usage: zelt [options] sca-file pdb-file\n"
           "       zelt [options] sca-file @model-list-file\n"
           "       zelt [options] mtz-file pdb-file\n"
           "       zelt [options] mtz-file @model-list-file\n"
           "       zelt [options] cell-file pdb-file reflection-file\n"
           "       zelt [options] cell-file @model-list-file reflection-file\n"
           "Options:\n"
           "   -a               treat models as an assembly, search with each sequentially\n"
           "   -A               treat models as an assembly, search with all simultaneously\n"
           "   -c               search sequentially over all related space groups\n"
           "   -C               search all related space groups simultaneously\n"
        << "   -e number        seed for random number generator, 0=system-supplied ("
        << d.text("random.seed") << ")\n"
        << "   -g number        number of generations (" << d.text("evolution.generations") << ")\n"
        << "   -h number        high resolution limit (" << d.text("resolution.high") << ")\n"
        << "   -l number        low resolution limit (" << d.text("resolution.low") << ")\n"
        << "   -m number        number of copies of model to find sequentially (" << d.text("copies")
        << ")\n"
        << "   -M number        number of copies of model to find simultaneously (" << d.text("copies")
        << ")\n"
        << "   -n number        number of search attempts (" << d.text("attempts") << ")\n"
        << "   -o filename      prefix for output coordinate files (" << d.text("output.prefix")
        << ")\n"
        << "   -p number        population size (" << d.text("evolution.population") << ")\n"
        << "   -R               rotation search only\n"
           "   -s filename      file containing static structure\n"
           "   -S               use all search models in competition with each other\n"
           "   -T               translation search only\n"
           "   -v number        verbosity: 0=none, 1=normal, 2=high (1)\n"
           "   -V               print version information and exit\n"
        << "   -w number        write solution coordinates: 0=none, 1=best, 2=all ("
        << d.text("output.level") << ")\n"
        << "   -Z label         MTZ data column (structure factors or intensities)\n"
        << std::flush;
}

namespace {

// The value of option `letter`, refused when the option takes a whole
// number or a number and the value is not one.
const std::string& checked_value(char letter, const std::string& value) {
    if (fits_option(letter, value)) return value;
    if (std::strchr(integer_option_letters, letter) != nullptr)
        throw std::runtime_error("command line parameter is not an integer: " + value);
    throw std::runtime_error("command line parameter is not a number: " + value);
}

void set_verbosity(int level, parameter_store& o) {
    if (level < 0 || level > 2) throw std::runtime_error("Invalid value for option -v");
    const char* flag = level == 0 ? "false" : "true";
    for (const char* key : {"report.header", "report.inputs", "report.options", "report.steps",
                            "report.local", "report.solution", "report.time.total", "report.summary"})
        o.set(key, flag);
    o.set("report.evolution", level == 0 ? "none" : level == 1 ? "progress" : "generations");
    o.set("report.stats", "none");
}

// What the options that only set parameters set: the key that takes the
// option's value (checked when it must be a number), then fixed values.
struct table_option {
    char letter;
    const char* value_key;
    std::pair<const char*, const char*> fixed[3]{};   // unused entries: null keys
};

const table_option option_table[] = {
    {'A', nullptr, {{"assembly", "true"}, {"optimize.assembly", "true"}, {"optimize.model", "false"}}},
    {'a', nullptr, {{"assembly", "true"}, {"optimize.assembly", "false"}, {"optimize.model", "false"}}},
    {'C', nullptr, {{"pointgroupsearch", "true"}, {"optimize.spacegroup", "true"}}},
    {'c', nullptr, {{"pointgroupsearch", "true"}, {"optimize.spacegroup", "false"}}},
    {'e', "random.seed", {}},
    {'g', "evolution.generations", {}},
    {'h', "resolution.high", {}},
    {'l', "resolution.low", {}},
    {'M', "copies", {{"optimize.copies", "true"}}},
    {'m', "copies", {{"optimize.copies", "false"}}},
    {'n', "attempts", {}},
    {'o', "output.prefix", {}},
    {'p', "evolution.population", {}},
    {'R', nullptr, {{"optimize.orientation", "true"}, {"optimize.position", "false"}}},
    {'S', nullptr, {{"optimize.model", "true"}, {"assembly", "false"}, {"optimize.assembly", "false"}}},
    {'T', nullptr, {{"optimize.position", "true"}, {"optimize.orientation", "false"}}},
    {'Z', "data.mtz-column", {}},
};

// Sets what the table says for `letter`; false when the option is not in it.
bool set_by_table(char letter, const std::string& value, parameter_store& o) {
    for (const table_option& t : option_table) {
        if (t.letter != letter) continue;
        if (t.value_key != nullptr) o.set(t.value_key, checked_value(letter, value));
        for (const auto& [key, fixed] : t.fixed)
            if (key != nullptr) o.set(key, fixed);
        return true;
    }
    return false;
}

}  // namespace

command_action parse_command_line(int argc, const char* const* argv, parameter_store& o) {
    for (int i = 1; i < argc; ++i)
        if (argv[i] != nullptr && std::strcmp(argv[i], "--help") == 0) return command_action::help;
    option_scanner scan(argc, argv);
    bool configuration_given = false;
    for (int letter; (letter = scan.next()) != option_scanner::end_of_options;) {
        const std::string& v = scan.value();
        if (set_by_table(static_cast<char>(letter), v, o)) continue;
        switch (letter) {
        case 'F':
            read_configuration_file(v, o);
            configuration_given = true;
            break;
        case 'P':
            if (v == "help") return command_action::help;
            apply_definition(v, o, "incorrect parameter definition on command line: ");
            break;
        case 's':
            if (o.count("structure.source") != 0 && !o.text("structure.source").empty())
                o.set("structure.source", o.text("structure.source") + " " + v);
            else
                o.set("structure.source", v);
            break;
        case 'V': return command_action::version;
        case 'v': set_verbosity(parse_integer(checked_value(letter, v)), o); break;
        case 'w': {
            const int level = parse_integer(checked_value(letter, v));
            o.set("output.level", level <= 0 ? "none" : level == 1 ? "best" : "all");
            break;
        }
        case 'b':
        case 't':
            throw std::runtime_error(std::string("option -") + static_cast<char>(letter) +
                                     " is not implemented in this version of the program.");
        default: throw std::runtime_error("Unrecognized option");
        }
    }

    const int n = argc - scan.index();
    if ((n == 0 && !configuration_given) || n > 3) return command_action::usage;
    if (n >= 1) {
        const char* const* rest = argv + scan.index();
        o.set("cell.source", rest[0]);
        o.set("model.source", n >= 2 ? rest[1] : "-");
        o.set("data.source", n == 3 ? rest[2] : rest[0]);
    }
    return command_action::run;
}

}  // namespace zelt
