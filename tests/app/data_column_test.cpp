// The choice of the data column through the binary: a calculated-looking
// column taken by the automatic choice is named with the alternatives, a
// missing -Z label lists the labels, negative intensities are counted.
#include <gtest/gtest.h>

#include "run/run_preparation.hpp"
#include "common/test_support.hpp"

using namespace zelt_test;

TEST(DataColumn, CalculatedLookingLabels) {
    for (const char* label : {"FC", "FCALC", "FC_ALL", "F-model", "Fmodel", "FMODEL", "F_calc"})
        EXPECT_TRUE(zelt::looks_calculated(label)) << label;
    for (const char* label : {"FP", "F", "F-obs", "FOBS", "Fobs", "FNAT", "IMEAN", "I", "F_meas_au"})
        EXPECT_FALSE(zelt::looks_calculated(label)) << label;
}

TEST(DataColumn, WarningsAndCountsThroughTheBinary) {
    temp_dir d;
    write_file(d / "beta_ref.pdb", reference_atoms('A'));
    // F-model before F-obs; IMEAN = Fobs^2 - 4000, negative for the weak half.
    const std::string made = run_python(
        "import gemmi, numpy as np\n"
        "m = gemmi.read_mtz_file('" + example("beta_blip.mtz").string() + "')\n"
        "a = np.array(m, copy=True)\n"
        "def write(name, columns, values):\n"
        "    o = gemmi.Mtz(with_base=True)\n"
        "    o.spacegroup, o.cell = m.spacegroup, m.cell\n"
        "    o.add_dataset('x')\n"
        "    for label, kind in columns: o.add_column(label, kind)\n"
        "    o.set_data(np.column_stack([a[:, :3]] + values).astype(np.float32))\n"
        "    o.write_to_file(name)\n"
        "write('model.mtz', [('F-model', 'F'), ('F-obs', 'F'), ('SIGF-obs', 'Q')], [a[:, 3] * 1.1, a[:, 3], a[:, 4]])\n"
        "i = a[:, 3] ** 2 - 4000\n"
        "write('imean.mtz', [('IMEAN', 'J'), ('SIGIMEAN', 'Q')], [i, 40 * a[:, 4]])\n"
        "print((i < 0).sum())\n",
        d.path().string());
    const run_result model = run_zelt("-g 0 -w 0 model.mtz beta_ref.pdb", d.path().string());
    ASSERT_EQ(model.status, 0) << model.err;
    EXPECT_NE(model.out.find("Used MTZ data column 'F-model'\n"
                             "Warning: the data column 'F-model' looks like calculated, not observed, amplitudes.\n"
                             "  Amplitude and intensity columns of the file: F-model (F) F-obs (F)\n"
                             "  Choose the observed data with -Z LABEL (for example -Z F-obs).\n"
                             "8830 reflections in resolution range\n"),
              std::string::npos) << model.out;
    const run_result chosen = run_zelt("-g 0 -w 0 -Z F-model model.mtz beta_ref.pdb", d.path().string());
    EXPECT_EQ(chosen.out.find("Warning"), std::string::npos);

    const run_result missing = run_zelt("-g 0 -w 0 -Z FP model.mtz beta_ref.pdb", d.path().string());
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, zelt_binary() + ": Error: column with label 'FP' not found in MTZ file (its columns: H, K, "
                                           "L, F-model, F-obs, SIGF-obs)\nExiting...\n");

    const run_result imean = run_zelt("-g 0 -w 0 imean.mtz beta_ref.pdb", d.path().string());
    ASSERT_EQ(imean.status, 0) << imean.err;
    const int negative = std::stoi(made);
    ASSERT_GT(negative, 0);
    EXPECT_NE(imean.out.find("Used MTZ data column 'IMEAN'\n" + std::to_string(negative) +
                             " reflections with a negative intensity left out\n" +
                             std::to_string(8830 - negative) + " reflections in resolution range\n"),
              std::string::npos) << imean.out;
}
