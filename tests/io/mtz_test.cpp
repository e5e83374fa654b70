// MTZ reader against files written by gemmi, their big-endian twins, edited
// headers, the real beta-blip data and truncated or corrupted images.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "common/test_support.hpp"
#include "crystal/unit_cell.hpp"
#include "common/errors.hpp"
#include "io/mtz.hpp"
#include "io/reflection_files.hpp"
#include "io_test_support.hpp"

using namespace zelt;
using zelt_io_test::mtz_recipe;
namespace fs = std::filesystem;

using zelt_test::failure;

namespace {

// Cell 50 60 70 P212121: (1,2,3) d = 17.4 A, (10,10,10) d = 3.43 A,
// (20,20,20) d = 1.7 A (outside 80-3), (0,0,1) d = 70 A, (0,0,0) infinite.
const std::vector<std::string> amplitude_rows = {
    "1 2 3 10.5 0.5",   // kept
    "2 0 1 ? 0.1",       // missing value: skipped
    "3 1 1 -2 0.2",      // negative: skipped
    "20 20 20 7 0.3",    // beyond 3 A: cut
    "0 0 0 8 0.4",       // d infinite: cut
    "0 0 1 0 0.6",       // value 0 read
    "10 10 10 3.4028235e38 1",   // largest float: skipped
    "1 2 3 4 ?",         // duplicate indices kept; missing sigma reads 0
    "4 5 6 12.25 -1",    // negative sigma reads 0
};

class MtzTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new zelt_test::temp_dir;
        std::vector<mtz_recipe> recipes = {
            {path("fp.mtz"), {{"FP", "F"}, {"SIGFP", "Q"}}, amplitude_rows},
            {path("imean.mtz"), {{"IMEAN", "J"}, {"SIGIMEAN", "Q"}},
             {"1 2 3 100 0", "1 1 1 0 1", "2 2 2 -5 2", "3 3 3 50 5", "1 0 0 ? 3"}},
            {path("fnative.mtz"), {{"F_native", "F"}, {"SIGF_native", "Q"}}, {"1 2 3 5 1"}},
            {path("fobs.mtz"), {{"FOBS", "F"}, {"SIGFOBS", "Q"}}, {"1 2 3 6 1"}},
            {path("anom.mtz"), {{"I(+)", "K"}, {"I(-)", "K"}}, {"1 2 3 7 8"}},
            {path("anom_sig.mtz"), {{"F(+)", "G"}, {"SIGF(+)", "L"}, {"I(-)", "K"}, {"SIGI(-)", "M"}},
             {"1 2 3 7 0.7 9 0.9"}},
            {path("order.mtz"), {{"IMEAN", "J"}, {"FNAT", "F"}, {"F", "F"}}, {"1 2 3 1 2 3"}},
            {path("prefix.mtz"), {{"FOO", "F"}, {"I_a", "J"}, {"F_b", "F"}}, {"1 2 3 1 2 3"}},
            {path("prefix_fp.mtz"), {{"F_b", "F"}, {"FP_c", "F"}}, {"1 2 3 1 2"}},
            {path("types.mtz"), {{"DANO", "D"}, {"FPLUS", "G"}, {"IOBS", "J"}}, {"1 2 3 1 2 3"}},
            {path("types_gk.mtz"), {{"IPLUS", "K"}, {"FPLUS", "G"}}, {"1 2 3 1 2"}},
            {path("none.mtz"), {{"DANO", "D"}, {"SIGDANO", "Q"}}, {"1 2 3 1 2"}},
            {path("badtype.mtz"), {{"F_flag", "I"}, {"FOBS", "F"}}, {"1 2 3 1 2"}},
        };
        zelt_io_test::write_mtz_files(recipes);
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static fs::path path(const std::string& name) { return *dir_ / name; }
    static std::string text(const std::string& name) { return zelt_test::read_file(path(name)); }

    static reflection_set read(const std::string& file, const std::string& column, std::string& used,
                               zelt::reflection_reading* reading = nullptr) {
        return read_reflections(cell_, 80.0, 3.0, file, column, used, reading);
    }

    static zelt_test::temp_dir* dir_;
    static const unit_cell cell_;
};
zelt_test::temp_dir* MtzTest::dir_ = nullptr;
const unit_cell MtzTest::cell_{19, 50, 60, 70, 90, 90, 90};


TEST_F(MtzTest, ColumnChoiceRules) {
    struct row {
        const char* file;
        const char* requested;
        const char* label;
        data_kind kind;
    };
    const row table[] = {
        {"fp.mtz", "", "FP", data_kind::amplitudes},
        {"imean.mtz", "", "IMEAN", data_kind::intensities},
        {"fnative.mtz", "", "F_native", data_kind::amplitudes},
        {"fobs.mtz", "", "FOBS", data_kind::amplitudes},
        {"anom.mtz", "", "I(+)", data_kind::intensities},
        {"anom.mtz", "I(-)", "I(-)", data_kind::intensities},
        {"order.mtz", "", "F", data_kind::amplitudes},          // F listed before FNAT, IMEAN
        {"order.mtz", "IMEAN", "IMEAN", data_kind::intensities},
        {"prefix.mtz", "", "F_b", data_kind::amplitudes},       // F_ before I_, prefix before type
        {"prefix_fp.mtz", "", "FP_c", data_kind::amplitudes},   // FP_ before F_
        {"types.mtz", "", "IOBS", data_kind::intensities},      // type J before G
        {"types_gk.mtz", "", "FPLUS", data_kind::amplitudes},   // type G before K
        {"anom_sig.mtz", "", "F(+)", data_kind::amplitudes},
        {"anom_sig.mtz", "I(-)", "I(-)", data_kind::intensities},
        {"badtype.mtz", "FOBS", "FOBS", data_kind::amplitudes},
    };
    for (const auto& r : table) {
        SCOPED_TRACE(std::string(r.file) + " '" + r.requested + "'");
        const mtz_file mtz = mtz_file::open(path(r.file).string());
        const auto choice = mtz.choose_data_column(r.requested);
        EXPECT_EQ(choice.label, r.label);
        EXPECT_EQ(choice.kind, r.kind);
        std::string used = "stale";
        read(path(r.file).string(), r.requested, used);
        EXPECT_EQ(used, r.label);
    }
}

TEST_F(MtzTest, ColumnChoiceFailures) {
    struct row {
        const char* file;
        const char* requested;
        const char* message;
    };
    const row table[] = {
        {"fp.mtz", "FOO", "column with label 'FOO' not found in MTZ file (its columns: H, K, L, FP, SIGFP)"},
        {"fp.mtz", "fp", "column with label 'fp' not found in MTZ file (its columns: H, K, L, FP, SIGFP)"},
        {"fp.mtz", "SIGFP", "selected column in MTZ file (SIGFP) is not of a suitable type"},
        {"fp.mtz", "H", "selected column in MTZ file (H) is not of a suitable type"},
        {"none.mtz", "",
         "No suitable data column found in the MTZ file.\nYou can specify the column to be used by "
         "providingthe column label with the option '-Z'."},
        {"badtype.mtz", "", "selected column in MTZ file (F_flag) is not of a suitable type"},
    };
    for (const auto& r : table) {
        SCOPED_TRACE(r.file);
        std::string used;
        EXPECT_EQ(failure<std::runtime_error>([&] { read(path(r.file).string(), r.requested, used); }),
                  r.message);
    }
}

TEST_F(MtzTest, AmplitudeRowsAreFilteredAndCut) {
    std::string used;
    const auto set = read(path("fp.mtz").string(), "", used);
    ASSERT_EQ(used, "FP");
    struct expected {
        int h, k, l;
        float f, sigma;
    };
    const expected want[] = {
        {1, 2, 3, 10.5f, 0.5f}, {0, 0, 1, 0.0f, 0.6f}, {1, 2, 3, 4.0f, 0.0f}, {4, 5, 6, 12.25f, 0.0f}};
    ASSERT_EQ(set.size(), std::size(want));
    for (std::size_t i = 0; i < set.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(set[i].h, want[i].h);
        EXPECT_EQ(set[i].k, want[i].k);
        EXPECT_EQ(set[i].l, want[i].l);
        EXPECT_EQ(set[i].f, want[i].f);
        EXPECT_EQ(set[i].sigma, want[i].sigma);
        EXPECT_EQ(set[i].static_re, 0.0f);
        EXPECT_EQ(set[i].static_im, 0.0f);
        EXPECT_EQ(set[i].s2, 0.0f);
    }
}

TEST_F(MtzTest, SigmaColumnPairing) {
    // F(+) G is followed by SIGF(+) L; I(-) K by SIGI(-) M; I(+) K by I(-) K (no sigma).
    std::string used;
    auto set = read(path("anom_sig.mtz").string(), "", used);
    ASSERT_EQ(set.size(), 1u);
    EXPECT_FLOAT_EQ(set[0].f, 7.0f);
    EXPECT_FLOAT_EQ(set[0].sigma, 0.7f);
    set = read(path("anom.mtz").string(), "", used);
    ASSERT_EQ(set.size(), 1u);
    EXPECT_NEAR(set[0].f, std::sqrt(7.0), 1e-5);   // intensity 7, sigma 0
    EXPECT_EQ(set[0].sigma, 0.0f);
    // A sigma column requested as data is refused; FOBS followed by SIGFOBS (Q) pairs.
    const mtz_file fobs = mtz_file::open(path("fobs.mtz").string());
    EXPECT_EQ(fobs.sigma_column_index(fobs.column_index("FOBS")), fobs.column_index("SIGFOBS"));
    EXPECT_EQ(fobs.sigma_column_index(fobs.column_index("SIGFOBS")), -1);
    const mtz_file order = mtz_file::open(path("order.mtz").string());
    EXPECT_EQ(order.sigma_column_index(order.column_index("IMEAN")), -1);   // followed by an F
}

TEST_F(MtzTest, IntensitiesDropNegativesAndConvertWithTheirSigmas) {
    std::string used;
    zelt::reflection_reading weighted;
    weighted.sigma_weighting = true;
    const auto set = read(path("imean.mtz").string(), "", used, &weighted);
    ASSERT_EQ(used, "IMEAN");
    EXPECT_EQ(weighted.dropped, 0u);   // missing values are not counted
    // Rows: (1 2 3) I 100 s 0; (1 1 1) I 0 s 1; (2 2 2) I -5 dropped; (3 3 3) I 50 s 5; missing dropped.
    ASSERT_EQ(set.size(), 3u);
    const double in[3][2] = {{100, 0}, {0, 1}, {50, 5}};
    for (int i = 0; i < 3; ++i) {
        const double I = in[i][0], s = in[i][1];
        const double f = std::sqrt((I + std::sqrt(I * I + 2 * s * s)) / 2);
        EXPECT_NEAR(set[i].f, f, 1e-5 * f) << i;
        if (s > 0) {
            const double sf = 1 / std::sqrt(2 * (3 * f * f - I) / (s * s) + 1 / (f * f));
            EXPECT_NEAR(set[i].sigma, sf, 1e-5 * sf) << i;
        }
    }
    EXPECT_EQ(set[0].f, 10.0f);
    EXPECT_EQ(set[0].sigma, 0.0f);
    EXPECT_NEAR(set[1].f, 0.5 * std::sqrt(std::sqrt(8.0)), 1e-6);

    // Without sigma weighting the sigmas stay out of the conversion: F is the
    // square root of I, with no sigma.
    zelt::reflection_reading plain;
    const auto unweighted = read(path("imean.mtz").string(), "", used, &plain);
    ASSERT_EQ(unweighted.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(unweighted[i].f, std::sqrt(in[i][0]), 1e-5 * std::sqrt(in[i][0])) << i;
        EXPECT_EQ(unweighted[i].sigma, 0.0f) << i;
    }
}

TEST_F(MtzTest, TheLargestFloatIsDroppedAndCounted) {
    std::string used;
    zelt::reflection_reading reading;
    const auto set = read(path("fp.mtz").string(), "", used, &reading);
    EXPECT_EQ(set.size(), 4u);
    EXPECT_EQ(reading.dropped, 1u);   // 3.4028235e38 at 3.43 A; NaN and negative rows are not counted
}

TEST_F(MtzTest, BigEndianTwinGivesTheSameReflections) {
    for (const char* name : {"fp.mtz", "imean.mtz", "anom_sig.mtz"}) {
        SCOPED_TRACE(name);
        const std::string le = text(name);
        ASSERT_EQ(static_cast<unsigned char>(le[8]) >> 4, 4);
        const fs::path twin = path(std::string("be_") + name);
        zelt_test::write_file(twin, zelt_io_test::big_endian_twin(le));
        EXPECT_TRUE(mtz_file::open(twin.string()).swapped());
        EXPECT_FALSE(mtz_file::open(path(name).string()).swapped());
        std::string u1, u2;
        const auto a = read(path(name).string(), "", u1);
        const auto b = read(twin.string(), "", u2);
        EXPECT_EQ(u1, u2);
        ASSERT_EQ(a.size(), b.size());
        ASSERT_FALSE(a.empty());
        for (std::size_t i = 0; i < a.size(); ++i) {
            EXPECT_EQ(a[i].h, b[i].h);
            EXPECT_EQ(a[i].k, b[i].k);
            EXPECT_EQ(a[i].l, b[i].l);
            EXPECT_EQ(a[i].f, b[i].f);
            EXPECT_EQ(a[i].sigma, b[i].sigma);
        }
        const auto c1 = read_cell(path(name).string()), c2 = read_cell(twin.string());
        EXPECT_EQ(c1[0].a, c2[0].a);
        EXPECT_EQ(c1[0].group().number, c2[0].group().number);
    }
}

TEST_F(MtzTest, HeaderVariants) {
    const std::string base = text("fp.mtz");
    std::string used;
    const auto reference = read(path("fp.mtz").string(), "", used);

    // Column records written with the short keyword COL.
    std::string col = base;
    for (std::size_t at = zelt_io_test::header_offset(col); at + 80 <= col.size(); at += 80)
        if (col.compare(at, 7, "COLUMN ") == 0) col.replace(at, 6, "COL   ");
    zelt_test::write_file(path("col.mtz"), col);
    const auto with_col = read(path("col.mtz").string(), "", used);
    EXPECT_EQ(used, "FP");
    ASSERT_EQ(with_col.size(), reference.size());
    for (std::size_t i = 0; i < reference.size(); ++i) EXPECT_EQ(with_col[i].f, reference[i].f);

    // Without CELL the first DCELL record gives the cell.
    std::string dcell = base;
    zelt_io_test::replace_header_record(dcell, "CELL ", "XCELL");
    zelt_io_test::replace_header_record(dcell, "DCELL         0", "DCELL  0  51 61 71 90 90 90");
    zelt_test::write_file(path("dcell.mtz"), dcell);
    const auto cells = read_cell(path("dcell.mtz").string());
    ASSERT_EQ(cells.size(), 1u);
    EXPECT_DOUBLE_EQ(cells[0].a, 51);
    EXPECT_DOUBLE_EQ(cells[0].b, 61);
    EXPECT_DOUBLE_EQ(cells[0].c, 71);
    EXPECT_EQ(cells[0].group().number, 19);

    // Neither CELL nor DCELL; no SYMINF.
    std::string nocell = base;
    zelt_io_test::replace_header_record(nocell, "CELL ", "XCELL");
    for (std::size_t at; (at = zelt_io_test::find_header_record(nocell, "DCELL")) != std::string::npos;)
        nocell.replace(at, 5, "XXXXX");
    zelt_test::write_file(path("nocell.mtz"), nocell);
    EXPECT_EQ(failure<std::runtime_error>([&] { read_cell(path("nocell.mtz").string()); }).rfind(
                  "bad cell definition in input file " + path("nocell.mtz").string(), 0),
              0u);
    std::string nosym = base;
    zelt_io_test::replace_header_record(nosym, "SYMINF", "XSYMINF");
    zelt_test::write_file(path("nosym.mtz"), nosym);
    EXPECT_EQ(failure<std::runtime_error>([&] { read_cell(path("nosym.mtz").string()); }).rfind(
                  "bad or missing space group information in input file " + path("nosym.mtz").string(), 0),
              0u);
    std::string sym999 = base;
    zelt_io_test::replace_header_record(sym999, "SYMINF", "SYMINF   4  4 P   999 'P 21 21 21' PG222");
    zelt_test::write_file(path("sym999.mtz"), sym999);
    EXPECT_EQ(failure<std::runtime_error>([&] { read_cell(path("sym999.mtz").string()); }).rfind(
                  "bad or missing space group information in input file " + path("sym999.mtz").string(), 0),
              0u);

    // Without NCOL there are no rows, and that is no failure here.
    std::string noncol = base;
    zelt_io_test::replace_header_record(noncol, "NCOL", "XNCOL");
    zelt_test::write_file(path("noncol.mtz"), noncol);
    used.clear();
    EXPECT_TRUE(read(path("noncol.mtz").string(), "", used).empty());
    EXPECT_EQ(used, "FP");
}

TEST_F(MtzTest, MissingMillerIndexColumnsAreRefused) {
    const std::string base = text("fp.mtz");
    struct row {
        std::vector<const char*> renamed;
        const char* message;
    };
    const row table[] = {
        {{"H"}, "Miller index column 'H' not found in MTZ file"},
        {{"L"}, "Miller index column 'L' not found in MTZ file"},
        {{"H", "K"}, "Miller index columns 'H' and 'K' not found in MTZ file"},
        {{"H", "K", "L"}, "Miller index columns 'H', 'K' and 'L' not found in MTZ file"},
    };
    for (const auto& r : table) {
        std::string b = base;
        for (const char* label : r.renamed) {
            const std::size_t at = zelt_io_test::find_header_record(b, std::string("COLUMN ") + label + " ");
            ASSERT_NE(at, std::string::npos);
            b[at + 7] = 'X';
        }
        zelt_test::write_file(path("nohkl.mtz"), b);
        std::string used;
        EXPECT_EQ(failure<std::runtime_error>([&] { read(path("nohkl.mtz").string(), "", used); }),
                  r.message);
    }
}

TEST_F(MtzTest, NotMtzAndUnopenable) {
    zelt_test::write_file(path("text.mtz"), "MTZ\nnot really\n");
    zelt_test::write_file(path("empty.mtz"), "");
    for (const char* name : {"text.mtz", "empty.mtz"}) {
        std::string used;
        const std::string named = "the file " + path(name).string() + " is not a valid MTZ file";
        EXPECT_EQ(failure<std::runtime_error>([&] { read_cell(path(name).string()); }), named);
        EXPECT_EQ(failure<std::runtime_error>([&] { read(path(name).string(), "", used); }), named);
    }
    const std::string missing = path("missing.mtz").string();
    std::string used;
    EXPECT_EQ(failure<io_error>([&] { read_cell(missing); }), "unable to open the file " + missing);
    EXPECT_EQ(failure<io_error>([&] { read(missing, "", used); }), "unable to open the file " + missing);
    EXPECT_EQ(failure<io_error>([&] { read_cell(dir_->path().string() + "/"); }),
              "unable to open the file " + dir_->path().string() + "/");
}

TEST_F(MtzTest, CorruptedHeaderNumbersFailCleanly) {
    const std::string base = text("fp.mtz");
    const std::size_t header = zelt_io_test::header_offset(base);
    std::vector<std::pair<std::string, std::string>> cases;   // what, image
    for (std::uint32_t pointer : {0u, 1u, 20u, 0x7fffffffu, 0x80000000u, 0xffffffffu,
                                  static_cast<std::uint32_t>(base.size() / 4 + 1)}) {
        std::string b = base;
        zelt_io_test::put_u32(b, 4, pointer, false);
        cases.emplace_back("pointer " + std::to_string(pointer), b);
    }
    for (const char* ncol : {"NCOL        5    999999999        0", "NCOL 2000000000 2000000000 0",
                             "NCOL        5   -1   0", "NCOL   -5   3  0", "NCOL  five  3  0",
                             "NCOL        5", "NCOL        6    9   0", "NCOL   9223372036854775807 2"}) {
        std::string b = base;
        zelt_io_test::replace_header_record(b, "NCOL", ncol);
        cases.emplace_back(ncol, b);
    }
    {
        std::string b = base;   // END record gone
        zelt_io_test::replace_header_record(b, "END ", "XEND");
        cases.emplace_back("no END", b.substr(0, zelt_io_test::find_header_record(b, "MTZHIST")));
    }
    {
        std::string b = base;
        zelt_io_test::replace_header_record(b, "CELL ", "CELL 50 60 seventy 90 90 90");
        cases.emplace_back("CELL text", b);
    }
    {
        std::string b = base;
        zelt_io_test::replace_header_record(b, "SYMINF", "SYMINF 4 4 P");
        cases.emplace_back("short SYMINF", b);
    }
    {
        std::string b = base;
        zelt_io_test::replace_header_record(b, "COLUMN SIGFP", "COLUMN");
        cases.emplace_back("COLUMN without label", b);
    }
    ASSERT_GT(header, 80u);
    for (const auto& [what, image] : cases) {
        SCOPED_TRACE(what);
        zelt_test::write_file(path("bad.mtz"), image);
        std::string used;
        bool threw = false;
        try {
            read_cell(path("bad.mtz").string());
            read(path("bad.mtz").string(), "", used);
        } catch (const io_error& e) {
            threw = true;
            EXPECT_NE(std::string(e.what()).find("MTZ"), std::string::npos) << e.what();
        } catch (const std::exception& e) {
            ADD_FAILURE() << "not an input/output failure: " << e.what();
            threw = true;
        }
        EXPECT_TRUE(threw);
    }
}

TEST_F(MtzTest, TruncatedFilesNeverCrash) {
    const std::string real = zelt_test::read_file(zelt_test::example("beta_blip.mtz"));
    const std::size_t end_record = zelt_io_test::find_header_record(real, "END ");
    ASSERT_NE(end_record, std::string::npos);
    std::vector<std::size_t> cuts = {0, 1, 3, 4, 7, 8, 11, 12, 79, 80, 81};
    for (std::size_t at = 97; at < end_record + 80; at += 1499) cuts.push_back(at);
    const std::size_t header = zelt_io_test::header_offset(real);
    for (std::size_t at = header - 3; at < end_record + 80; at += 37) cuts.push_back(at);
    cuts.push_back(end_record + 79);
    const unit_cell cell(154, 75.11, 75.11, 133.31, 90, 90, 120);
    for (std::size_t cut : cuts) {
        SCOPED_TRACE(cut);
        zelt_test::write_file(path("cut.mtz"), real.substr(0, cut));
        std::string used;
        EXPECT_ANY_THROW(read_cell(path("cut.mtz").string()));
        EXPECT_ANY_THROW(read_reflections(cell, 80, 3, path("cut.mtz").string(), "", used));
    }
    // Cut just after END: everything needed is there.
    zelt_test::write_file(path("cut.mtz"), real.substr(0, end_record + 80));
    std::string used;
    EXPECT_EQ(read_reflections(cell, 80, 3, path("cut.mtz").string(), "", used).size(), 8830u);
}

TEST(MtzRealFile, BetaBlipAgainstGemmi) {
    const std::string file = zelt_test::example("beta_blip.mtz").string();
    const std::string oracle = zelt_test::run_python(
        "import gemmi\n"
        "m = gemmi.read_mtz_file(r'" + file + "')\n"
        "c = m.cell\n"
        "print(c.a, c.b, c.c, c.alpha, c.beta, c.gamma, m.spacegroup.number)\n"
        "cols = [list(col) for col in m.columns]\n"
        "print(' '.join(col.label + ':' + col.type for col in m.columns))\n"
        "kept = []\n"
        "for r in zip(*cols):\n"
        "    v = r[3]\n"
        "    if v != v or v < 0 or v >= 3.4028235e38: continue\n"
        "    d = c.calculate_d([int(r[0]), int(r[1]), int(r[2])])\n"
        "    if 3.0 < d < 80.0: kept.append(r)\n"
        "print(len(kept))\n"
        "for r in (kept[0], kept[1], kept[-1]): print(*('%r' % x for x in r))\n");
    std::istringstream in(oracle);
    double a, b, c, al, be, ga;
    int sg;
    std::size_t count;
    std::string columns;
    in >> a >> b >> c >> al >> be >> ga >> sg >> std::ws;
    std::getline(in, columns);
    in >> count;
    ASSERT_TRUE(in) << oracle;
    EXPECT_EQ(sg, 154);
    EXPECT_EQ(count, 8830u);
    EXPECT_EQ(columns, "H:H K:H L:H Fobs:F Sigma:Q");

    const auto cells = read_cell(file);
    ASSERT_EQ(cells.size(), 1u);
    EXPECT_EQ(cells[0].group().number, sg);
    EXPECT_NEAR(cells[0].a, a, 1e-4);
    EXPECT_NEAR(cells[0].b, b, 1e-4);
    EXPECT_NEAR(cells[0].c, c, 1e-4);
    const double deg = std::acos(-1.0) / 180;
    EXPECT_NEAR(cells[0].alpha, al * deg, 1e-9);
    EXPECT_NEAR(cells[0].gamma, ga * deg, 1e-9);

    std::string used;
    const auto set = read_reflections(cells[0], 80, 3, file, "", used);
    EXPECT_EQ(used, "Fobs");
    ASSERT_EQ(set.size(), count);
    for (std::size_t i : {std::size_t(0), std::size_t(1), set.size() - 1}) {
        double h, k, l, f, s;
        in >> h >> k >> l >> f >> s;
        ASSERT_TRUE(in);
        EXPECT_EQ(set[i].h, h);
        EXPECT_EQ(set[i].k, k);
        EXPECT_EQ(set[i].l, l);
        EXPECT_EQ(set[i].f, static_cast<float>(f));
        EXPECT_EQ(set[i].sigma, static_cast<float>(s));   // Sigma (Q) follows Fobs (F)
    }
    // The sigma column asked for as data.
    EXPECT_EQ(failure<std::runtime_error>([&] { read_reflections(cells[0], 80, 3, file, "Sigma", used); }),
              "selected column in MTZ file (Sigma) is not of a suitable type");
}

}  // namespace
