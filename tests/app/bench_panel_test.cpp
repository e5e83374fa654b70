// The generated cases of the search bench panel (bench/panel/make_cases.py)
// checked with gemmi, independently of the generators' own arithmetic, and
// the placement check that judges the panel's runs on what those cases
// need: copies of one model and space groups with other origin choices.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "common/test_support.hpp"

using namespace zelt_test;

namespace {

// "name value" lines printed by a Python oracle.
std::map<std::string, double> figures(const std::string& out) {
    std::map<std::string, double> f;
    std::istringstream in(out);
    std::string name;
    for (double value; in >> name >> value;) f[name] = value;
    return f;
}

// Structure factors of the crystal's atoms by gemmi (no solvent, no noise)
// against the written amplitudes; the models against beta-lactamase.
const char* const case_oracle = R"(
import gemmi, numpy as np
def ca(st, chain=None):
    return np.array([a.pos.tolist() for ch in st[0] if chain in (None, ch.name)
                     for r in ch for a in r if a.name == 'CA'])
def show(name, value): print(name, float(value))
mtz = gemmi.read_mtz_file('cases/small/data.mtz')
show('small.sg_p21212', mtz.spacegroup.hm == 'P 21 21 2')
show('small.cell_a', mtz.cell.a); show('small.cell_c', mtz.cell.c)
show('small.d_min', mtz.resolution_high()); show('small.reflections', mtz.nreflections)
true = gemmi.read_structure('cases/small/true.pdb'); true.setup_cell_images()
calc = gemmi.StructureFactorCalculatorX(true.cell)
hkl = np.array(mtz.make_miller_array(), dtype=int)
fc = np.array([abs(calc.calculate_sf_from_model(true[0], list(map(int, h)))) for h in hkl])
fo, d = np.array(mtz.column_with_label('FP')), np.array(mtz.make_d_array())
high, low = d < 4, d > 8
show('small.cc_high', np.corrcoef(fo[high], fc[high])[0, 1])
show('small.cc_all', np.corrcoef(fo, fc)[0, 1])
# Bulk solvent weakens the lowest orders against the high ones.
show('small.low_over_high', (fo[low].mean() / fc[low].mean()) / (fo[high].mean() / fc[high].mean()))
answer, model = gemmi.read_structure('cases/small/answer.pdb'), gemmi.read_structure('cases/small/model.pdb')
for c in 'AB':
    show('small.answer_to_true_' + c, np.sqrt(((ca(answer, c) - ca(true, c)) ** 2).sum(1).mean()))
    show('small.model_fit_' + c, gemmi.superpose_positions(
        [gemmi.Position(*p) for p in ca(model)], [gemmi.Position(*p) for p in ca(answer, c)]).rmsd)
beta = ca(gemmi.read_structure('@EXAMPLES@/beta.pdb'))
deg = gemmi.read_structure('cases/degraded/model.pdb')
show('degraded.rmsd', np.sqrt(((ca(deg) - beta) ** 2).sum(1).mean()))
disp = ca(deg) - beta
show('degraded.neighbour_corr', np.corrcoef(disp[:-1].ravel(), disp[1:].ravel())[0, 1])
show('degraded.side_chain_atoms', sum(a.name not in ('N', 'CA', 'C', 'O', 'CB') for ch in deg[0] for r in ch for a in r))
ref = ca(gemmi.read_structure('@EXAMPLES@/reference_solution.pdb'), 'A')
show('degraded.answer_rmsd', np.sqrt(((ca(gemmi.read_structure('cases/degraded/answer.pdb')) - ref) ** 2).sum(1).mean()))
ens = gemmi.read_structure('cases/ensemble/model.pdb')
show('ensemble.models', len(ens))
members = [np.array([a.pos.tolist() for ch in m for r in ch for a in r if a.name == 'CA']) for m in ens]
for i, j in ((0, 1), (0, 2), (1, 2)):
    show(f'ensemble.pair_{i}{j}', np.sqrt(((members[i] - members[j]) ** 2).sum(1).mean()))
)";

// The small case's answer moved by a symmetry operator of the group and a
// shift, its copies swapped: a placement the check must see through, or
// (shifted by no origin choice) one it must not.
const char* const move_script = R"(
import gemmi, sys
group, op, shift, out = sys.argv[1], gemmi.Op(sys.argv[2]), [float(v) for v in sys.argv[3:6]], sys.argv[6]
st = gemmi.read_structure('cases/small/answer.pdb')
st.spacegroup_hm = group
for ch in st[0]:
    ch.name = {'A': 'B', 'B': 'A'}[ch.name]
    for r in ch:
        for a in r:
            f = op.apply_to_xyz(st.cell.fractionalize(a.pos).tolist())
            a.pos = st.cell.orthogonalize(gemmi.Fractional(*[x + s for x, s in zip(f, shift)]))
st.write_pdb(out)
if group != 'P 21 21 2':
    ref = gemmi.read_structure('cases/small/answer.pdb'); ref.spacegroup_hm = group; ref.write_pdb('ref.pdb')
)";

std::string check(const temp_dir& dir, const std::string& placed, const std::string& reference) {
    const auto script = source_dir() / "tests" / "app" / "scripts" / "placement_check.py";
    run_result r = run_command(shell_quote(python()) + " " + shell_quote(script.string()) + " " + placed +
                                   " " + reference + " AB",
                               dir.path().string());
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
}

}  // namespace

TEST(BenchPanel, GeneratedCasesMatchTheirDescription) {
    temp_dir dir;
    const auto generator = source_dir() / "bench" / "panel" / "make_cases.py";
    run_result made = run_command(shell_quote(python()) + " " + shell_quote(generator.string()) + " cases 1 " +
                                      shell_quote(example("").string()),
                                  dir.path().string());
    ASSERT_EQ(made.status, 0) << made.err;

    std::string oracle = case_oracle;
    for (auto at = oracle.find("@EXAMPLES@"); at != std::string::npos; at = oracle.find("@EXAMPLES@"))
        oracle.replace(at, 10, example("").string());
    auto f = figures(run_python(oracle, dir.path().string()));
    ASSERT_EQ(f.size(), 20u);
    EXPECT_EQ(f["small.sg_p21212"], 1);
    EXPECT_DOUBLE_EQ(f["small.cell_a"], 38);
    EXPECT_DOUBLE_EQ(f["small.cell_c"], 64);
    EXPECT_NEAR(f["small.d_min"], 2.0, 0.02);
    EXPECT_GT(f["small.reflections"], 5000);
    // Noise of 5% leaves the high orders close to the atoms' amplitudes; the
    // solvent takes a good part of the lowest ones away.
    EXPECT_GT(f["small.cc_high"], 0.97);
    EXPECT_LT(f["small.cc_high"], 0.999);
    EXPECT_GT(f["small.cc_all"], 0.8);
    EXPECT_LT(f["small.low_over_high"], 0.85);
    for (const char* c : {"A", "B"}) {
        EXPECT_NEAR(f[std::string("small.answer_to_true_") + c], 0.5, 0.05) << c;
        EXPECT_LT(f[std::string("small.model_fit_") + c], 0.01) << c;
    }
    EXPECT_NEAR(f["degraded.rmsd"], 1.5, 0.01);
    EXPECT_GT(f["degraded.neighbour_corr"], 0.9);  // smooth along the chain
    EXPECT_EQ(f["degraded.side_chain_atoms"], 0);
    EXPECT_NEAR(f["degraded.answer_rmsd"], 1.5, 0.01);  // the model moved rigidly to the true place
    EXPECT_EQ(f["ensemble.models"], 3);
    for (const char* pair : {"01", "02", "12"})  // independent errors: about sqrt(2) x 1.5 A apart
        EXPECT_NEAR(f[std::string("ensemble.pair_") + pair], 2.1, 0.4) << pair;

    // The placement check: P21212 with copies swapped and origin (1/2,0,1/2);
    // P21 (polar b axis) with an arbitrary shift along b; not (1/4,0,0).
    write_file(dir / "move.py", move_script);
    const struct {
        std::string group, op, shift, reference;
        double within2;
    } moves[] = {
        {"P 21 21 2", "-x+1/2,y+1/2,-z", "0.5 1 -0.5", "cases/small/answer.pdb", 1.0},
        {"P 1 21 1", "-x,y+1/2,-z", "1.5 0.237 0", "ref.pdb", 1.0},
        {"P 1 21 1", "-x,y+1/2,-z", "0.25 0.237 0", "ref.pdb", 0.0},
    };
    for (const auto& m : moves) {
        run_result moved = run_command(shell_quote(python()) + " move.py '" + m.group + "' '" + m.op + "' " +
                                           m.shift + " moved.pdb",
                                       dir.path().string());
        ASSERT_EQ(moved.status, 0) << moved.err;
        const std::string out = check(dir, "moved.pdb", m.reference);
        const std::string expected = m.within2 == 1.0 ? "chain A model B within2 1.000" : "chain A model";
        EXPECT_NE(out.find(expected), std::string::npos) << m.group << " " << m.shift << "\n" << out;
        EXPECT_EQ(out.find("within2 1.000") != std::string::npos, m.within2 == 1.0) << out;
    }
}
