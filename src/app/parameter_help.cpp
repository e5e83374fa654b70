#include "app/parameter_help.hpp"

#include <iomanip>
#include <ostream>

#include "app/command_line.hpp"
#include "settings/parameter_descriptions.hpp"
#include "settings/parameters.hpp"

namespace zelt {

namespace {


void print_options(std::ostream& out) {
    out << "Options:\n"
           "  -a           treat the models as an assembly, searched one after another\n"
           "  -A           treat the models as an assembly, searched all at once\n"
           "  -c / -C      search the related space groups one after another / at once\n"
           "  -e N         random seed, 0 = from the system (random.seed)\n"
           "  -F FILE      read key=value run parameters from FILE\n"
           "  -g N         generations (evolution.generations)\n"
           "  -h D / -l D  high / low resolution limit, Angstrom (resolution.high, resolution.low)\n"
           "  -m N / -M N  copies to find one after another / at once (copies)\n"
           "  -n N         search attempts (attempts)\n"
           "  -o PREFIX    prefix of output files; - for coordinates on standard output (output.prefix)\n"
           "  -p N         population size (evolution.population)\n"
           "  -P KEY=VALUE set a run parameter; -P help lists them\n"
           "  -R / -T      rotation search only / translation search only\n"
           "  -s FILE      fixed partial structure (repeatable; structure.source)\n"
           "  -S           all search models compete in one search\n"
           "  -v N         verbosity: 0 none, 1 normal, 2 high\n"
           "  -V           print the version and exit\n"
           "  -w N         coordinate files: 0 none, 1 best, 2 all (output.level)\n"
           "  -Z LABEL     MTZ column or mmCIF item of the data (data.mtz-column)\n"
           "  --help       this text\n";
}

}  // namespace

void print_help(std::ostream& out) {
    out << "Usage: zelt [options] reflection-file model-file|@model-list\n"
           "       zelt [options] cell-file model-file|@model-list reflection-file\n";
    print_options(out);
    out << "Run parameters (-P KEY=VALUE or -F FILE), with their defaults:\n";
    const parameter_store& defaults = default_store();
    for (const auto& [key, value] : default_parameter_table()) {
        const parameter_description* d = describe_parameter(key);
        const std::string shown = std::string(key) + " = \"" + defaults.text(key) + "\"";
        out << "  " << std::left << std::setw(54) << shown << ' ' << (d ? d->meaning : "(no description)") << '\n';
    }
    out << std::flush;
}

}  // namespace zelt
