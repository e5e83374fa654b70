#pragma once
// Reader of the CCP4 MTZ binary reflection format: identifier, cell, space
// group number, column list and the rows of chosen columns. The whole file is
// held in memory and every access is bounds-checked, so a truncated or
// corrupted file fails with a clear message instead of reading stray bytes.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "crystal/reflection.hpp"
#include "crystal/unit_cell.hpp"

namespace zelt {

enum class data_kind { amplitudes, intensities };

struct mtz_column {
    std::string label;
    std::string type;   // the type letter(s) as written, "F", "Q", "J", ...
};

struct mtz_column_choice {
    std::string label;
    data_kind kind = data_kind::amplitudes;
};

class mtz_file {
public:
    // Reads the file NAME. Throws io_error "unable to open the file NAME",
    // runtime_error "the file is not a valid MTZ file", and io_error for a
    // file too short or with a header that cannot be walked to its END record.
    static mtz_file open(const std::string& name);

    // Parses an MTZ image already in memory (same failures as open()).
    // NAME only serves the failure messages.
    explicit mtz_file(std::string bytes, const std::string& name = "");

    // True when the first four bytes are "MTZ ".
    static bool is_mtz(const std::string& bytes);

    // True when a header record's keyword equals `keyword`; `fields` receives
    // the blank-separated words after the keyword of the first such record.
    bool find_record(const std::string& keyword, std::vector<std::string>* fields = nullptr) const;

    // a, b, c, alpha, beta, gamma from CELL, else from the first DCELL, else 0.
    std::array<double, 6> cell() const;
    // Space-group number from SYMINF, or 0 when the record is absent.
    int space_group_number() const;

    const std::vector<mtz_column>& columns() const { return columns_; }
    int column_index(const std::string& label) const;          // -1 when absent
    char column_type(const std::string& label) const;          // '\0' when absent
    std::string first_column_with_prefix(const std::string& prefix) const;
    std::string first_column_of_type(char type) const;

    // Column choice: requested label, then FP F FNAT I IMEAN, then the
    // prefixes FP_ F_ I_, then the types F J G K. Throws runtime_error with
    // the messages of the format's failure table.
    mtz_column_choice choose_data_column(const std::string& requested) const;

    // Index of the sigma column of data column `data_index`: the column right
    // after it when its type pairs with the data type (F,J->Q; G->L; K->M),
    // else -1.
    int sigma_column_index(int data_index) const;

    bool has_rows() const { return has_ncol_; }
    std::int64_t row_count() const { return nref_; }
    std::int64_t column_count() const { return ncol_; }
    bool swapped() const { return big_endian_; }   // stored big-endian

    // Value of row r, column c (bounds-checked; io_error past the data).
    float value(std::int64_t r, std::int64_t c) const;
    // The H, K, L and data values of row r.
    std::array<float, 4> read_row(std::int64_t r, int h, int k, int l, int data) const;

private:
    struct record {
        std::string keyword;
        std::vector<std::string> fields;
    };

    std::string bytes_;
    bool big_endian_ = false;
    std::vector<record> header_;
    std::vector<mtz_column> columns_;
    bool has_ncol_ = false;
    std::int64_t ncol_ = 0;
    std::int64_t nref_ = 0;
};

struct reflection_reading;

// Rows of an MTZ file inside high < d < low in `cell`: chosen column
// (reported in used_label), its sigma when paired, value filter (negative and
// NaN skipped, >= FLT_MAX dropped by the shared acceptance rule and counted
// in `reading`), intensities converted to amplitudes (with their sigmas only
// when `reading` asks for sigma weighting).
// NAME only serves the failure messages.
reflection_set mtz_reflections(const mtz_file& mtz, const unit_cell& cell, double low, double high,
                               const std::string& name, const std::string& mtz_column,
                               std::string& used_label, reflection_reading* reading = nullptr);

}  // namespace zelt
