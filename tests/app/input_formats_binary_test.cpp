// mmCIF, gzipped and ensemble models, sf-mmCIF reflections and predicted
// models through the zelt binary, against the PDB and MTZ runs; every wrong
// file in the wrong place with its message, status 1 and nothing written.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "common/test_support.hpp"

namespace {

using namespace zelt_test;

std::string quoted(const std::filesystem::path& p) { return "r'" + p.string() + "'"; }

// ref.pdb (beta placed as in the reference), ref.cif and ref.cif.gz written
// from it by gemmi, and the example MTZ as an sf-mmCIF file.
void write_inputs(const temp_dir& d) {
    write_file(d / "ref.pdb", reference_atoms('A'));
    run_python("import gemmi, gzip, math\n"
               "st = gemmi.read_structure(" + quoted(d / "ref.pdb") + ")\n"
               "st.setup_entities()\n"
               "st.make_mmcif_document().write_file(" + quoted(d / "ref.cif") + ")\n"
               "gzip.open(" + quoted(d / "ref.cif.gz") + ", 'wb').write(open(" + quoted(d / "ref.cif") + ", 'rb').read())\n"
               "m = gemmi.read_mtz_file(" + quoted(example("beta_blip.mtz")) + ")\n"
               "c = m.cell\n"
               "doc = gemmi.cif.Document()\n"
               "b = doc.add_new_block('r1sf')\n"
               "for tag, v in zip(['length_a', 'length_b', 'length_c', 'angle_alpha', 'angle_beta', 'angle_gamma'],\n"
               "                  [c.a, c.b, c.c, c.alpha, c.beta, c.gamma]):\n"
               "    b.set_pair('_cell.' + tag, repr(v))\n"
               "b.set_pair('_symmetry.space_group_name_H-M', gemmi.cif.quote(m.spacegroup.hm))\n"
               "loop = b.init_loop('_refln.', ['index_h', 'index_k', 'index_l', 'F_meas_au', 'F_meas_sigma_au'])\n"
               "for h, k, l, f, s in zip(*[list(col) for col in m.columns]):\n"
               "    loop.add_row([str(int(h)), str(int(k)), str(int(l)), '?' if math.isnan(f) else repr(f), repr(s)])\n"
               "doc.write_file(" + quoted(d / "data-sf.cif") + ")\n");
}

std::string solution_text(const std::string& out) {
    std::string lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("Solution", 0) == 0) lines += line + "\n";
    return lines;
}

const std::string formats_mtz = shell_quote(example("beta_blip.mtz").string());
// The starting placement scored as it is: no global search, no refinement.
const std::string at_placement = "-g 0 -w 0 -P optimizer.local=none ";

run_result run_in(const temp_dir& d, const std::string& args) {
    run_result r = run_zelt(args, d.path().string());
    EXPECT_EQ(r.status, 0) << args << "\n" << r.err;
    return r;
}

}  // namespace

TEST(InputFormats, MmcifGzipAndSfCifGiveTheSameScoresAndSearch) {
    temp_dir d;
    write_inputs(d);
    const std::string reference = solution_text(run_in(d, at_placement + formats_mtz + " ref.pdb").out);
    ASSERT_EQ(std::count(reference.begin(), reference.end(), '\n'), 1) << reference;
    for (const char* model : {"ref.cif", "ref.cif.gz"})
        EXPECT_EQ(solution_text(run_in(d, at_placement + formats_mtz + " " + model).out), reference) << model;
    const run_result sf = run_in(d, at_placement + "data-sf.cif ref.cif.gz");
    EXPECT_EQ(solution_text(sf.out), reference);
    EXPECT_NE(sf.out.find("Used mmCIF data item 'F_meas_au' of data block 'r1sf'\n8830 reflections"),
              std::string::npos) << sf.out;

    // A short search from one seed finds the same solutions.
    const std::string search = "-e 11 -n 2 -g 4 -p 40 -w 0 ";
    const std::string pdb_run = solution_text(run_in(d, search + formats_mtz + " ref.pdb").out);
    EXPECT_EQ(solution_text(run_in(d, search + "data-sf.cif ref.cif.gz").out), pdb_run);
}

TEST(InputFormats, EnsembleMergedByDefaultAndClashesCountedOnce) {
    temp_dir d;
    // The second member is the first moved by one lattice translation along a:
    // it stands in the same place in the crystal.
    std::string moved;
    std::istringstream in(reference_atoms('A'));
    char x[16];
    for (std::string line; std::getline(in, line);) {
        std::snprintf(x, sizeof x, "%8.3f", std::stod(line.substr(30, 8)) + 75.11);
        moved += line.substr(0, 30) + x + line.substr(38) + "\n";
    }
    write_file(d / "first.pdb", reference_atoms('A'));
    write_file(d / "ens.pdb", "MODEL        1\n" + reference_atoms('A') + "ENDMDL\nMODEL        2\n" + moved + "ENDMDL\n");
    const run_result single = run_in(d, at_placement + formats_mtz + " first.pdb");
    const run_result merged = run_in(d, at_placement + formats_mtz + " ens.pdb");
    const run_result first = run_in(d, at_placement + "-P model.ensemble=first " + formats_mtz + " ens.pdb");
    EXPECT_NE(merged.out.find("Model 1: 4052 atoms\n  ensemble of 2 members merged into one model\n\n"),
              std::string::npos) << merged.out;
    EXPECT_NE(first.out.find("Model 1: 2026 atoms\n  member 1 of an ensemble of 2 used\n\n"), std::string::npos);
    EXPECT_EQ(solution_text(first.out), solution_text(single.out));
    const std::regex clashes(R"(Solution +1 +[-0-9.]+ +[-0-9.]+ +(-?\d+) )");
    std::smatch m1, m2;
    const std::string l1 = solution_text(single.out), l2 = solution_text(merged.out);
    ASSERT_TRUE(std::regex_search(l1, m1, clashes)) << l1;
    ASSERT_TRUE(std::regex_search(l2, m2, clashes)) << l2;
    EXPECT_EQ(m2[1], m1[1]);

    // The placed ensemble is written back as one model per member, each atom once.
    const run_result written = run_in(d, "-g 0 -w 1 -o placed -P optimizer.local=none " + formats_mtz + " ens.pdb");
    ASSERT_EQ(written.status, 0) << written.err;
    const std::string counts = run_python(
        "import gemmi\n"
        "st = gemmi.read_structure('" + (d / "placed.best.pdb").string() + "')\n"
        "for m in st:\n"
        "    labels = [(ch.name, r.seqid.num, r.seqid.icode, a.name, a.altloc) for ch in m for r in ch for a in r]\n"
        "    print(len(labels), len(set(labels)))\n");
    EXPECT_EQ(counts, "2026 2026\n2026 2026\n");
}

TEST(InputFormats, PredictedModelHintAndPlddtConversion) {
    temp_dir d;
    const std::string atoms = reference_atoms('A');
    write_file(d / "af.pdb", "TITLE     ALPHAFOLD MONOMER V2.0 PREDICTION FOR BETA-LACTAMASE\n" + atoms);
    // Residues whose mean B (read as pLDDT) is below 70, counted here.
    std::map<std::string, std::pair<double, int>> residues;
    std::istringstream in(atoms);
    for (std::string line; std::getline(in, line);) {
        auto& r = residues[line.substr(17, 10)];
        r.first += std::stod(line.substr(60, 6));
        r.second += 1;
    }
    int low = 0;
    for (const auto& [key, r] : residues) low += r.first / r.second < 70;
    ASSERT_GT(low, 0);

    const run_result plain = run_in(d, at_placement + formats_mtz + " af.pdb");
    EXPECT_NE(plain.out.find("Model 1: 2026 atoms\n  this looks like a predicted model whose B column holds "
                             "pLDDT: -P model.b-factor=plddt converts it (see README)\n"),
              std::string::npos) << plain.out;
    const run_result converted = run_in(d, at_placement + "-P model.b-factor=plddt " + formats_mtz + " af.pdb");
    EXPECT_NE(converted.out.find("  B factors from pLDDT; " + std::to_string(low) + " of " +
                                 std::to_string(residues.size()) + " residues with pLDDT below 70 dropped\n"),
              std::string::npos) << converted.out;
    // Without the header the same file is a plain model.
    write_file(d / "plain.pdb", atoms);
    EXPECT_EQ(run_in(d, at_placement + formats_mtz + " plain.pdb").out.find("predicted"), std::string::npos);
}

TEST(InputFormats, WrongFileInTheWrongPlace) {
    temp_dir d;
    write_inputs(d);
    const std::string cif = read_file(d / "ref.cif.gz");
    write_file(d / "cut.cif.gz", cif.substr(0, cif.size() / 3));
    static const char noise[] = "\x01\x02\x03\x04 not a reflection file\0\0";
    write_file(d / "noise.bin", std::string(noise, sizeof noise - 1));
    write_file(d / "cell.txt", "75.11 75.11 133.31 90 90 120 154\n");
    write_file(d / "refl.txt", "1 2 3 100 1\n");
    write_file(d / "huge-index.cif", "data_r1sf\n_cell.length_a 75.11\n_cell.length_b 75.11\n_cell.length_c 133.31\n"
                                     "_cell.angle_alpha 90\n_cell.angle_beta 90\n_cell.angle_gamma 120\n"
                                     "_symmetry.space_group_name_H-M 'P 32 2 1'\nloop_\n_refln.index_h\n"
                                     "_refln.index_k\n_refln.index_l\n_refln.F_meas_au\n"
                                     "1 2 3 100.0\n27777777777777777777 0 3 88.0\n");
    const std::string bin = zelt_binary() + ": ";
    struct row {
        std::string args, message;
    } rows[] = {
        {"ref.pdb " + formats_mtz, "Error: ref.pdb is a coordinate file; the first argument must hold the reflections"},
        {"ref.cif.gz data-sf.cif", "Error: ref.cif.gz is a coordinate file; the first argument must hold the reflections"},
        {"noise.bin ref.pdb",
         "Error: noise.bin: format not recognised (expected MTZ, mmCIF, scalepack or a cell file)"},
        {"cell.txt ref.pdb ref.cif", "Error: ref.cif is a coordinate file; the reflections cannot be read from it"},
        {formats_mtz + " data-sf.cif", "Error: data-sf.cif is a reflection file; the search model must be a coordinate file"},
        {formats_mtz + " noise.bin", "Error: noise.bin: format not recognised (expected PDB or mmCIF coordinates)"},
        {formats_mtz + " cut.cif.gz", "An I/O error has occurred: cut.cif.gz: truncated or corrupt gzip data"},
        {"-P data.mmcif-block=9 data-sf.cif ref.pdb", "Error: data-sf.cif: no data block '9' with reflections"},
        {"huge-index.cif ref.pdb",
         "An I/O error has occurred: huge-index.cif: not a readable mmCIF reflection file (Miller index "
         "'27777777777777777777' is not an integer of a possible size)"},
    };
    std::set<std::filesystem::path> before;
    for (const auto& e : std::filesystem::directory_iterator(d.path())) before.insert(e.path());
    for (const row& r : rows) {
        const run_result result = run_zelt(r.args, d.path().string());
        EXPECT_EQ(result.status, 1) << r.args;
        EXPECT_EQ(result.err, bin + r.message + "\nExiting...\n") << r.args;
    }
    std::set<std::filesystem::path> after;
    for (const auto& e : std::filesystem::directory_iterator(d.path())) after.insert(e.path());
    EXPECT_EQ(after, before);  // nothing written
}

// Data that arrive through a pipe (a file unpacked on the fly, say) can be
// read only once: the cell, the reflections and the map's sigmas and free-R
// flags all come from that one reading.
TEST(InputFormats, DataFromAPipeAreReadOnce) {
    temp_dir d;
    write_inputs(d);
    const std::string args = "-g 0 -P optimizer.local=none -w 1 -o piped data.pipe ref.pdb";
    const run_result piped = run_command("mkfifo data.pipe && (timeout 120 cat " + formats_mtz + " > data.pipe &) && timeout 120 " +
                                             shell_quote(zelt_binary()) + " " + args,
                                         d.path().string());
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(solution_text(piped.out), solution_text(run_in(d, at_placement + formats_mtz + " ref.pdb").out));
    EXPECT_TRUE(std::filesystem::exists(d / "piped.best.mtz")) << piped.out;
}
