#include "run/run_preparation.hpp"

#include <cctype>
#include <cmath>
#include <iostream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>

#include "io/coordinates.hpp"
#include "io/reflection_files.hpp"
#include "model/centring.hpp"
#include "model/search_model_options.hpp"
#include "parallel/process_group.hpp"
#include "run/fft_search_limits.hpp"
#include "run/output_folder.hpp"
#include "settings/parameter_checks.hpp"
#include "settings/reports.hpp"
#include "transform/molecular_transform.hpp"

namespace zelt {

std::size_t set_weights(reflection_set& reflections, bool sigma_weighting) {
    if (!sigma_weighting) {
        for (reflection& r : reflections) r.sigma = 1.0f;
        return 0;
    }
    std::size_t kept = 0;
    for (const reflection& r : reflections) {
        reflection w = r;
        w.sigma = 1.0f / (r.sigma * r.sigma);
        // A zero, missing or absurdly small sigma gives no usable weight.
        if (std::isfinite(w.sigma) && w.sigma > 0.0f) reflections[kept++] = w;
    }
    const std::size_t dropped = reflections.size() - kept;
    reflections.resize(kept);
    return dropped;
}

void set_s_squared(reflection_set& reflections, const unit_cell& cell) {
    // Coefficient order in the cell: Chk, Chl, Ckl, Chh, Ckk, Cll.
    const auto& c = cell.s2_coefficients;
    // The products of the indices are formed in single precision.
    for (reflection& r : reflections) {
        const float h = static_cast<float>(r.h), k = static_cast<float>(r.k), l = static_cast<float>(r.l);
        const float hh = h * h, kk = k * k, ll = l * l;
        const float hk = h * k, hl = h * l, kl = k * l;
        const double s2 = hh * c[3] + kk * c[4] + ll * c[5] + hk * c[0] + hl * c[1] + kl * c[2];
        r.s2 = static_cast<float>(s2);
    }
}

std::uint64_t system_seed() {
    std::random_device source;
    const std::uint64_t first = static_cast<std::uint32_t>(source());
    const std::uint64_t second = static_cast<std::uint32_t>(source());
    return (first << 32) + second;
}

bool looks_calculated(const std::string& label) {
    std::string word;
    for (char c : label)
        if (std::isalnum(static_cast<unsigned char>(c))) word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return word.rfind("FC", 0) == 0 || word.find("CALC") != std::string::npos || word.find("MODEL") != std::string::npos;
}

namespace {

// The data column the reader chose looks like calculated amplitudes: name
// the file's other columns and the option that picks one.
void warn_calculated(std::ostream& out, const std::string& label, const reflection_reading& reading) {
    out << "Warning: the data column '" << label << "' looks like calculated, not observed, amplitudes.\n"
        << "  Amplitude and intensity columns of the file:";
    std::string observed;
    for (const std::string& c : reading.data_columns) {
        out << ' ' << c;
        const std::string name = c.substr(0, c.rfind(" ("));
        if (observed.empty() && !looks_calculated(name)) observed = name;
    }
    out << "\n  Choose the observed data with -Z LABEL";
    if (!observed.empty()) out << " (for example -Z " << observed << ")";
    out << ".\n";
}

void end_line(std::ostream& out, const std::string& text) { out << text << '\n' << std::flush; }

// Each static file placed in the first cell as it stands, with the
// fractional centre of each.
void load_static_structure(run_state& s, std::ostream& out) {
    std::istringstream words(s.params.text("structure.source"));
    model_list read;
    for (std::string name; words >> name;) {
        if (s.report_inputs) end_line(out, "Loading static structure from " + name);
        read.push_back(load_model_file(name));
        if (read.back().empty())
            throw std::runtime_error("no atoms in static-structure model " + name +
                                     ": it holds no atom records (ATOM or HETATM lines, or _atom_site rows)");
    }
    if (s.report_steps) out << read.size() << " coordinate file(s) loaded.\n" << '\n' << std::flush;
    if (read.empty()) throw std::runtime_error("unable to load static structure.");
    const unit_cell& cell = s.cells.front();
    for (const model& m : read) {
        placed_model& placed = s.static_list.emplace_back();
        placed.reserve(m.size());
        fractional sum{0.0, 0.0, 0.0};
        for (const atom& a : m) {
            const placed_atom& x = placed.emplace_back(place_atom(a, cell.to_fractional(a.site)));
            sum = sum + x.site;
        }
        s.static_centres.push_back(sum / static_cast<double>(m.size()));
        s.static_copies.push_back(static_cast<int>(s.static_copies.size()));
    }
    s.base_static_count = s.static_list.size();
}

search_model_options model_options(const parameter_store& p) {
    search_model_options o;
    o.ensemble = p.text("model.ensemble");
    o.hetero = p.text("model.hetero-groups");
    o.b_factor = p.text("model.b-factor");
    o.plddt_threshold = p.real("model.plddt-threshold");
    return o;
}

// The search models as read, each prepared by the model options, with the
// reading message and what was found in each file.
void load_search_models(run_state& s, const std::string& source, std::ostream& out) {
    std::vector<loaded_model> loaded;
    load_models(source, loaded);
    const search_model_options options = model_options(s.params);
    std::vector<std::vector<std::string>> notes;
    const double d_min = s.params.real("resolution.high"), scale = s.params.real("transform.scale");
    for (loaded_model& m : loaded) {
        const search_model_note note = prepare_search_model(m.atoms, options, m.predicted_header, m.name);
        check_transform_box(m.atoms, d_min, scale, m.name);
        notes.push_back(describe(note, options.plddt_threshold));
        s.models.push_back(std::move(m.atoms));
    }
    if (!s.report_steps) return;
    for (std::size_t i = 0; i < s.models.size(); ++i) {
        out << "Model " << i + 1 << ": " << s.models[i].size() << " atoms" << '\n';
        for (const std::string& line : notes[i]) out << line << '\n';
    }
    out << '\n' << std::flush;
}

// The cell and space group, and the related cells of a point-group search.
// The reflection file is read once and kept: it usually gives the cell too,
// and the map coefficients carry its sigmas and free-R flags.
void read_crystal(run_state& s, std::ostream& out) {
    const parameter_store& p = s.params;
    const std::string& cell_source = p.text("cell.source");
    const std::string& data_source = p.text("data.source");
    if (s.report_inputs) end_line(out, "Reading unit cell and space group information from " + cell_source);
    const std::string mmcif_block = p.text("data.mmcif-block");
    const bool one_file = cell_source == data_source;
    if (one_file) s.data_file = load_input_file(data_source);
    s.cells = one_file ? read_cell(s.data_file, mmcif_block) : read_cell(cell_source, mmcif_block);
    s.codes.assign(1, 0);
    if (p.boolean("pointgroupsearch")) add_related_cells(s.cells, s.codes);
    if (s.report_steps) print_cells(out, s.cells);
}

// What reading the reflections left out and chose, and what remains.
void report_reflections(std::ostream& out, const run_state& s, const reflection_reading& reading,
                        std::size_t unweighted) {
    const std::string& label = s.data_label;
    if (!reading.mmcif_data_block.empty())
        out << "Used mmCIF data item '" << label << "' of data block '" << reading.mmcif_data_block << "'\n";
    else if (!label.empty())
        out << "Used MTZ data column '" << label << "'\n";
    if (reading.dropped != 0) out << reading.dropped << " reflections without a finite measured value left out\n";
    if (reading.negative != 0)
        out << reading.negative << " reflections with a negative " << (reading.intensities ? "intensity" : "amplitude")
            << " left out\n";
    if (reading.automatic_choice && looks_calculated(label)) warn_calculated(out, label, reading);
    out << s.reflections.size() << " reflections in resolution range\n";
    if (reading.sigma_weighting)
        out << unweighted << " reflections without a positive sigma left out of the sigma-weighted target\n";
    out << '\n' << std::flush;
}

// The reflections inside the resolution range, weighted.
void read_data(run_state& s, std::ostream& out) {
    const parameter_store& p = s.params;
    const std::string& data_source = p.text("data.source");
    if (s.report_inputs) end_line(out, "Reading reflections from " + data_source);
    reflection_reading reading;
    reading.sigma_weighting = p.boolean("target.sigma-weighting");
    reading.mmcif_block = p.text("data.mmcif-block");
    if (s.data_file.name.empty()) s.data_file = load_input_file(data_source);
    s.reflections = read_reflections(s.cells.front(), p.real("resolution.low"), p.real("resolution.high"),
                                     s.data_file, p.text("data.mtz-column"), s.data_label, &reading);
    const std::size_t in_range = s.reflections.size();
    const std::size_t unweighted = set_weights(s.reflections, reading.sigma_weighting);
    if (s.report_steps) report_reflections(out, s, reading, unweighted);
    if (in_range == 0) throw std::runtime_error("no input reflections in the resolution range");
    if (s.reflections.empty())
        throw std::runtime_error("no reflections with a positive sigma for sigma weighting");
    set_s_squared(s.reflections, s.cells.front());
}

// The search models, centred on their mean atom position, and the fixed
// structure.
void read_models(run_state& s, std::ostream& out) {
    const parameter_store& p = s.params;
    const std::string& model_source = p.text("model.source");
    if (s.report_inputs) {
        const std::string shown =
            model_source.empty() || model_source == "-" ? std::string("standard input") : model_source;
        if (!shown.empty() && shown[0] == '@')
            end_line(out, "Loading search models listed in " + shown.substr(1));
        else
            end_line(out, "Loading search model from " + shown);
    }
    load_search_models(s, model_source, out);
    if (s.models.empty()) throw std::runtime_error("no search model provided.");
    for (const model& m : s.models)
        if (m.empty()) throw std::runtime_error("no atoms in search model");
    s.model_centres = centre_models(s.models);
    if (!p.text("structure.source").empty()) load_static_structure(s, out);
}

// The run's random seed; a system-supplied one is written back so that the
// summary shows it.
void choose_seed(run_state& s) {
    const std::uint32_t given_seed = s.params.unsigned_integer("random.seed");
    if (given_seed == 0) {
        s.seed = system_seed();
        s.params.set("random.seed", std::to_string(s.seed));
    } else {
        s.seed = given_seed;
    }
}

}  // namespace

run_state prepare_run(const parameter_store& overrides, std::ostream& out) {
    run_state s;
    s.start = std::chrono::steady_clock::now();
    s.params = make_effective_store(default_store(), overrides);
    if (process_rank() == 0)
        for (const std::string& line : boolean_warnings(default_store(), overrides))
            std::cerr << line << std::endl;
    parameter_store& p = s.params;
    check_counts(p);
    check_translation_mode(p);
    check_babinet_bounds(p);
    check_output_folder(p);

    if (p.boolean("report.header")) print_banner(out);
    s.report_inputs = p.boolean("report.inputs");
    s.report_steps = p.boolean("report.steps");
    read_crystal(s, out);
    read_data(s, out);
    read_models(s, out);
    choose_seed(s);

    if (s.models.size() == 1) p.set("optimize.assembly", "false");
    derive(p, overrides);
    const bool fft = p.text("optimizer.translation") == "fft";
    if (fft) choose_fft_search_limits(s);

    if (p.boolean("report.options")) print_options_summary(out, p, fft ? fft_settings_text(s) : std::string());
    if (p.boolean("report.solution")) print_solution_legend(out);
    return s;
}

}  // namespace zelt
