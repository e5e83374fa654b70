#include "settings/reports.hpp"

#include <ostream>

namespace zelt {

namespace {

// Release date of this version of the program.
constexpr const char* release_date = "Jul 16 2016";

}  // namespace

void print_banner(std::ostream& out) {
    out << "ZELT Version " << default_store().text("version") << ", " << release_date << '\n';
    out << "The latest version of this program is always available from " << program_web_address
        << ".\n";
    out << '\n' << std::flush;
}

void print_options_summary(std::ostream& out, const parameter_store& p, const std::string& fft_settings) {
    out << "Optimizing:";
    if (p.boolean("optimize.orientation")) out << " orientation";
    if (p.boolean("optimize.position")) out << " position";
    if (p.boolean("optimize.model")) out << " model";
    if (p.boolean("optimize.assembly")) out << " assembly";
    if (p.boolean("optimize.spacegroup")) out << " space-group";
    if (p.boolean("optimize.copies")) out << " multiple-copies";
    out << '\n';
    if (p.boolean("assembly")) out << "The set of search models will be treated as an assembly.\n";
    out << "Resolution range: " << p.text("resolution.low") << " - " << p.text("resolution.high")
        << " Angstroms\n";
    out << "Copies of molecule to find: " << p.text("copies") << '\n';
    out << "Number of attempts (per copy): " << p.text("attempts") << '\n';
    if (p.text("optimizer.global") == "evolutionary") {
        out << "Number of generations: " << p.text("evolution.generations") << '\n';
        out << "Population size: " << p.text("evolution.population") << '\n';
    }
    out << "Random number seed: " << p.text("random.seed") << '\n';
    const std::string& prefix = p.text("output.prefix");
    out << "Prefix for output coordinate file name: " << (prefix == "-" ? "none (stdout)" : prefix)
        << '\n';
    out << fft_settings;
    out << '\n' << std::flush;
}

void print_solution_legend(std::ostream& out) {
    out << "The following information will be reported for each solution:\n"
           "  CC          linear correlation coefficient between Fo and Fc\n"
           "  R           crystallographic R-factor\n"
           "  d<          number of close Calpha-Calpha packing interactions (<3.4Ang)\n"
           "  al, be, ga  rotation (Eulerian angles, CCP4 convention)\n"
           "  x, y, z     translation (fractional, for origin-centered search model)\n"
           "  mod         search model ID\n"
           "  sg          space group number\n"
           "\n"
        << std::flush;
}

void progress_report::operator()(int generation) {
    if (generation == 1) *out_ << "Global search ";
    *out_ << '.';
    if (generation == generations_) *out_ << " completed\n";
    out_->flush();
}

}  // namespace zelt
