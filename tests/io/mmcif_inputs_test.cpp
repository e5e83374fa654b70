// mmCIF and gzipped models and mmCIF reflection files, written by gemmi
// (Debian's Python module), against the PDB and MTZ readers; search-model
// options (ensemble member, hetero groups, pLDDT) against hand counts.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>

#include "common/test_support.hpp"
#include "io/coordinates.hpp"
#include "io/file_format.hpp"
#include "common/errors.hpp"
#include "io/mmcif_reflections.hpp"
#include "io/reflection_files.hpp"
#include "model/search_model_options.hpp"
#include "io_test_support.hpp"

namespace {

using namespace zelt_test;
using zelt::model;

std::string quoted(const std::filesystem::path& p) { return "r'" + p.string() + "'"; }

// beta.pdb as gemmi writes it in mmCIF, that file gzipped, and beta.pdb gzipped.
void write_beta_variants(const temp_dir& d) {
    run_python("import gemmi, gzip\n"
               "st = gemmi.read_structure(" + quoted(example("beta.pdb")) + ")\n"
               "st.setup_entities()\n"
               "st.make_mmcif_document().write_file(" + quoted(d / "beta.cif") + ")\n"
               "for src, dst in [(" + quoted(d / "beta.cif") + ", " + quoted(d / "beta.cif.gz") + "), (" +
               quoted(example("beta.pdb")) + ", " + quoted(d / "beta.pdb.gz") + ")]:\n"
               "    gzip.open(dst, 'wb').write(open(src, 'rb').read())\n");
}

void expect_same_atoms(const model& a, const model& b, const std::string& what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    for (std::size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(a[i].site, b[i].site) << what << " atom " << i;
        ASSERT_EQ(a[i].occupancy, b[i].occupancy) << what << " atom " << i;
        ASSERT_EQ(a[i].b, b[i].b) << what << " atom " << i;
        ASSERT_EQ(a[i].element, b[i].element) << what << " atom " << i;
        ASSERT_EQ(a[i].line.substr(12, 15), b[i].line.substr(12, 15)) << what << " atom " << i;
        ASSERT_EQ(b[i].member, 0);
    }
}

TEST(MmcifModels, GemmiWrittenBetaGivesTheSameAtoms) {
    temp_dir d;
    write_beta_variants(d);
    const model pdb = zelt::load_model_file(example("beta.pdb").string());
    ASSERT_EQ(pdb.size(), 2026u);
    for (const char* name : {"beta.cif", "beta.cif.gz", "beta.pdb.gz"})
        expect_same_atoms(pdb, zelt::load_model_file((d / name).string()), name);

    // Recognised by content whatever the name; a list file mixes formats.
    std::filesystem::copy(d / "beta.cif.gz", d / "model.dat");
    write_file(d / "list", (d / "model.dat").string() + " " + example("beta.pdb").string());
    zelt::model_list list;
    zelt::load_models("@" + (d / "list").string(), list);
    ASSERT_EQ(list.size(), 2u);
    expect_same_atoms(pdb, list[0], "model.dat");
}

TEST(MmcifModels, CorruptAndTruncatedInputsFailWithTheFileNamed) {
    temp_dir d;
    write_beta_variants(d);
    const std::string gz = read_file(d / "beta.cif.gz"), cif = read_file(d / "beta.cif");
    write_file(d / "cut.cif.gz", gz.substr(0, gz.size() / 2));
    std::string flipped = gz;
    for (std::size_t i = 100; i < 400; ++i) flipped[i] = static_cast<char>(flipped[i] ^ 0x5a);
    write_file(d / "bad.cif.gz", flipped);
    write_file(d / "cut.cif", cif.substr(0, cif.size() / 2 + 7));
    write_file(d / "quote.cif", "data_x\nloop_\n_atom_site.id\n_atom_site.Cartn_x\n1 'open\n");
    for (const char* name : {"cut.cif.gz", "bad.cif.gz"})
        EXPECT_EQ(failure<zelt::io_error>([&] { zelt::load_model_file((d / name).string()); }),
                  (d / name).string() + ": truncated or corrupt gzip data");
    for (const char* name : {"cut.cif", "quote.cif"}) {
        const std::string m = failure<zelt::io_error>([&] { zelt::load_model_file((d / name).string()); });
        EXPECT_EQ(m.rfind((d / name).string() + ": not a readable mmCIF coordinate file (", 0), 0u) << m;
    }
    EXPECT_EQ(failure<zelt::io_error>([&] { zelt::inflate_gzip(std::string("\x1f\x8b", 2), "x"); }),
              "x: truncated or corrupt gzip data");
}

TEST(MmcifModels, ContentRecognition) {
    using zelt::content_kind;
    EXPECT_EQ(zelt::classify_content("MTZ \1\0\0"), content_kind::mtz);
    EXPECT_EQ(zelt::classify_content("# c\n\n data_x\nloop_\n_atom_site.id\n"), content_kind::mmcif_model);
    EXPECT_EQ(zelt::classify_content("DATA_x\n_refln.index_h 1\n"), content_kind::mmcif_reflections);
    EXPECT_EQ(zelt::classify_content("data_x\n_cell.length_a 1\n"), content_kind::mmcif_other);
    EXPECT_EQ(zelt::classify_content("HEADER x\nATOM      1  CA\n"), content_kind::pdb);
    EXPECT_EQ(zelt::classify_content("50 60 70 90 90 90 4\n"), content_kind::text);
    EXPECT_EQ(zelt::classify_content(std::string("ab\0cd", 5)), content_kind::unknown);
    EXPECT_EQ(zelt::without_gz_suffix("x.sca.GZ"), "x.sca");
}

// An sf-mmCIF file with the given items after the indices and rows.
std::string sf_cif(const std::string& items, const std::string& rows,
                   const std::string& header = "_cell.length_a 50\n_cell.length_b 60\n_cell.length_c 70\n"
                                               "_cell.angle_alpha 90\n_cell.angle_beta 90\n_cell.angle_gamma 90\n"
                                               "_symmetry.space_group_name_H-M 'P 21 21 21'\n") {
    std::string text = "data_r0sf\n" + header + "loop_\n_refln.index_h\n_refln.index_k\n_refln.index_l\n";
    std::istringstream in(items);
    for (std::string item; in >> item;) text += "_refln." + item + "\n";
    return text + rows;
}

zelt::reflection_set read(const std::filesystem::path& file, const std::string& column = "",
                          const std::string& block = "", zelt::reflection_reading* reading = nullptr) {
    const auto cells = zelt::read_cell(file.string(), block);
    std::string used;
    zelt::reflection_reading own;
    zelt::reflection_reading& r = reading ? *reading : own;
    r.mmcif_block = block;
    r.dropped = 0;
    return zelt::read_reflections(cells.front(), 1000, 0.5, file.string(), column, used, &r);
}

void expect_same_reflections(const zelt::reflection_set& a, const zelt::reflection_set& b) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].h, b[i].h);
        EXPECT_EQ(a[i].k, b[i].k);
        EXPECT_EQ(a[i].l, b[i].l);
        EXPECT_FLOAT_EQ(a[i].f, b[i].f) << i;
    }
}

// The example MTZ written as an -sf.cif by hand with gemmi: same cell, same
// space group, same reflections; gzipped the same.
TEST(MmcifReflections, ExampleMtzAsSfCif) {
    temp_dir d;
    run_python("import gemmi, math, gzip\n"
               "m = gemmi.read_mtz_file(" + quoted(example("beta_blip.mtz")) + ")\n"
               "c = m.cell\n"
               "out = ['data_r1sf', '_cell.length_a %r' % c.a, '_cell.length_b %r' % c.b, '_cell.length_c %r' % c.c,\n"
               "  '_cell.angle_alpha %r' % c.alpha, '_cell.angle_beta %r' % c.beta, '_cell.angle_gamma %r' % c.gamma,\n"
               "  \"_symmetry.space_group_name_H-M '%s'\" % m.spacegroup.hm, 'loop_', '_refln.index_h',\n"
               "  '_refln.index_k', '_refln.index_l', '_refln.F_meas_au', '_refln.F_meas_sigma_au']\n"
               "for h, k, l, f, s in zip(*[list(col) for col in m.columns]):\n"
               "    out.append('%d %d %d %s %s' % (h, k, l, '?' if math.isnan(f) else repr(f), repr(s)))\n"
               "text = '\\n'.join(out) + '\\n'\n"
               "open(" + quoted(d / "x-sf.cif") + ", 'w').write(text)\n"
               "gzip.open(" + quoted(d / "x-sf.cif.gz") + ", 'wt').write(text)\n");
    const auto mtz_cells = zelt::read_cell(example("beta_blip.mtz").string());
    for (const char* name : {"x-sf.cif", "x-sf.cif.gz"}) {
        const auto cells = zelt::read_cell((d / name).string());
        EXPECT_EQ(cells.front().group().number, mtz_cells.front().group().number);
        EXPECT_DOUBLE_EQ(cells.front().volume, mtz_cells.front().volume);
        std::string used;
        const auto mtz = zelt::read_reflections(mtz_cells.front(), 80, 3, example("beta_blip.mtz").string(), "", used);
        const auto cif = zelt::read_reflections(cells.front(), 80, 3, (d / name).string(), "", used);
        EXPECT_EQ(used, "F_meas_au");
        ASSERT_EQ(cif.size(), 8830u);
        expect_same_reflections(mtz, cif);
    }
}

// Intensities, a Friedel pair, a requested label, non-finite values and a
// later block, each against an MTZ that gemmi writes from values computed here.
TEST(MmcifReflections, ColumnRulesAgainstGemmiWrittenMtz) {
    temp_dir d;
    const double ip = 400, sp = 20, im = 100, sm = 10;  // weighted mean of the pair:
    const double wp = 1 / (sp * sp), wm = 1 / (sm * sm), mean = (ip * wp + im * wm) / (wp + wm);
    const double smean = 0.5 * std::sqrt(sp * sp + sm * sm);
    zelt_io_test::write_mtz_files({
        {d / "i.mtz", {{"IMEAN", "J"}, {"SIGIMEAN", "Q"}}, {"1 2 3 900 30", "2 0 1 " + std::to_string(mean) + " " + std::to_string(smean), "0 0 2 25 5"}},
    });
    const auto mtz = read(d / "i.mtz");
    ASSERT_EQ(mtz.size(), 3u);

    write_file(d / "i.cif", sf_cif("F_meas F_meas_sigma intensity_meas intensity_sigma",
                                   "1 2 3 ? ? 900 30\n2 0 1 ? ? 300 2\n0 0 2 ? ? 25 5\n"));
    write_file(d / "pm.cif", sf_cif("pdbx_I_plus pdbx_I_plus_sigma pdbx_I_minus pdbx_I_minus_sigma",
                                    "1 2 3 900 30 ? ?\n2 0 1 400 20 100 10\n0 0 2 ? ? 25 5\n"));
    // F_meas comes first, but it is missing in these rows: only the requested intensity reads them.
    EXPECT_EQ(read(d / "i.cif").size(), 0u);
    const auto requested = read(d / "i.cif", "_refln.intensity_meas");
    ASSERT_EQ(requested.size(), 3u);
    EXPECT_FLOAT_EQ(requested[0].f, mtz[0].f);
    expect_same_reflections(mtz, read(d / "pm.cif"));
    EXPECT_NEAR(read(d / "pm.cif")[1].sigma, mtz[1].sigma, 1e-3 * mtz[1].sigma);

    // Non-finite values are left out and counted; a later block chosen by name or number.
    write_file(d / "two.cif", sf_cif("F_meas_au", "1 0 0 10\n") + "data_second\nloop_\n_refln.index_h\n"
               "_refln.index_k\n_refln.index_l\n_refln.F_meas_au\n1 1 1 nan\n1 1 2 1e999\n1 1 3 7\n1 1 4 -2\n1 1 5 ?\n");
    zelt::reflection_reading report;
    for (const char* block : {"second", "2"}) {
        const auto second = read(d / "two.cif", "", block, &report);
        ASSERT_EQ(second.size(), 1u) << block;
        EXPECT_EQ(second[0].f, 7.0f);
        EXPECT_EQ(report.dropped, 2u);
        EXPECT_EQ(report.mmcif_data_block, "second");
    }
    EXPECT_EQ(read(d / "two.cif", "", "", &report).size(), 1u);
    EXPECT_EQ(report.mmcif_data_block, "r0sf");
    EXPECT_EQ(failure<std::runtime_error>([&] { read(d / "two.cif", "", "third"); }),
              (d / "two.cif").string() + ": no data block 'third' with reflections");
    EXPECT_EQ(failure<std::runtime_error>([&] { read(d / "i.cif", "F_calc"); }),
              "column with label 'F_calc' not found in mmCIF file");
    EXPECT_EQ(failure<std::runtime_error>([&] { read(d / "i.cif", "intensity_sigma"); }),
              "selected column in mmCIF file (intensity_sigma) is not of a suitable type");
}

TEST(SearchModelOptions, PlddtConversionAndTrimming) {
    for (double p : {0.0, 50.0, 70.0, 90.0, 98.0, 100.0}) {
        const double rmsd = 1.5 * std::exp(4 * (0.7 - p / 100));
        EXPECT_NEAR(zelt::plddt_to_b(p), 8 * std::numbers::pi * std::numbers::pi / 3 * rmsd * rmsd, 1e-9);
    }
    EXPECT_NEAR(zelt::plddt_to_b(98), 6.30, 0.01);  // a confident residue is very sharp

    // Residues of 2 atoms, pLDDT 95, 69.9, 70, 40, 88: two fall below 70.
    model m;
    const double plddt[] = {95, 69.9, 70, 40, 88};
    for (int r = 0; r < 5; ++r)
        for (const char* name : {" N  ", " CA "}) {
            char line[100];
            std::snprintf(line, sizeof line, "ATOM      1 %s ALA A%4d       1.000   2.000   3.000  1.00%6.2f", name,
                          r + 1, plddt[r]);
            zelt::atom a;
            a.line = line;
            a.b = plddt[r];
            m.push_back(a);
        }
    zelt::search_model_options o;
    o.b_factor = "plddt";
    const auto note = zelt::prepare_search_model(m, o, false, "m");
    EXPECT_EQ(note.residues, 5);
    EXPECT_EQ(note.residues_dropped, 2);
    ASSERT_EQ(m.size(), 6u);
    EXPECT_DOUBLE_EQ(m[2].b, zelt::plddt_to_b(70));
    char b70[16];
    std::snprintf(b70, sizeof b70, "%6.2f", zelt::plddt_to_b(70));
    EXPECT_EQ(m[2].line.substr(60, 6), b70);
}

// A PDB ensemble: MODEL records tag members; merged by default, one member
// on request; waters and other hetero groups counted and dropped on request.
TEST(SearchModelOptions, EnsembleMembersAndHeteroGroups) {
    temp_dir d;
    const std::string ca = "ATOM      1  CA  ALA A   1      10.000  10.000  10.000  1.00 20.00\n";
    const std::string het = "HETATM    2 ZN    ZN A 101      12.000  10.000  10.000  1.00 20.00\n"
                            "HETATM    3  O   HOH A 201      14.000  10.000  10.000  1.00 20.00\n"
                            "HETATM    4  O   HOH A 202      16.000  10.000  10.000  1.00 20.00\n";
    write_file(d / "e.pdb", "MODEL        1\n" + ca + het + "ENDMDL\nMODEL        2\n" + ca + ca + het + "ENDMDL\n");
    const std::string file = (d / "e.pdb").string();
    auto prepared = [&](const std::string& ensemble, const std::string& hetero) {
        model m = zelt::load_model_file(file);
        zelt::search_model_options o;
        o.ensemble = ensemble;
        o.hetero = hetero;
        const auto note = zelt::prepare_search_model(m, o, false, file);
        return std::make_pair(m, note);
    };
    auto [merged, n1] = prepared("merge", "keep");
    EXPECT_EQ(merged.size(), 9u);
    EXPECT_EQ(n1.members, 2);
    EXPECT_EQ(n1.waters, 2);
    EXPECT_EQ(n1.hetero_groups, 1);
    EXPECT_EQ(merged[4].member, 1);
    auto [second, n2] = prepared("2", "drop-water");
    EXPECT_EQ(second.size(), 3u);  // two C-alphas and the zinc
    EXPECT_EQ(n2.member_used, 2);
    for (const auto& a : second) EXPECT_EQ(a.member, 0);
    EXPECT_EQ(prepared("first", "drop-all").first.size(), 1u);
    EXPECT_EQ(failure<std::runtime_error>([&] { prepared("3", "keep"); }),
              "search model " + file + " has 2 ensemble member(s); model.ensemble asks for member 3");
    EXPECT_EQ(failure<std::runtime_error>([&] { prepared("all", "keep"); }),
              "model.ensemble must be merge, first or a member number (is all)");
    EXPECT_EQ(failure<std::runtime_error>([&] { prepared("merge", "none"); }),
              "model.hetero-groups must be keep, drop-water or drop-all (is none)");
}

}  // namespace

namespace {

const std::string cell_items = "_cell.length_a 50\n_cell.length_b 60\n_cell.length_c 70\n_cell.angle_alpha 90\n"
                               "_cell.angle_beta 95\n_cell.angle_gamma 90\n";

}  // namespace

TEST(MmcifReflections, SpaceGroupFromTheFile) {
    temp_dir d;
    struct row {
        std::string symmetry;
        int number;
        std::string failure;
    } rows[] = {
        {"_space_group.name_H-M_alt 'C 1 2 1'\n", 5, ""},
        {"_symmetry.Int_Tables_number 4\n", 4, ""},
        {"_symmetry.space_group_name_H-M 'P 1 1 21'\n", 0, ": space group P 1 1 21 is not in its standard setting"},
        {"", 0, "bad or missing space group information in input file"},
    };
    for (const row& r : rows) {
        write_file(d / "s.cif", sf_cif("F_meas_au", "1 2 3 4\n", cell_items + r.symmetry));
        const std::string file = (d / "s.cif").string();
        if (r.failure.empty()) {
            EXPECT_EQ(zelt::read_cell(file).front().group().number, r.number) << r.symmetry;
        } else {
            const std::string m = failure<std::runtime_error>([&] { zelt::read_cell(file); });
            EXPECT_EQ(m, r.failure[0] == ':' ? file + r.failure : r.failure + " " + file);
        }
    }
}
