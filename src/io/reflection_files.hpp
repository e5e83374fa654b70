#pragma once
// Readers of the crystal's cell and of its observed reflections: MTZ,
// scalepack (.sca) and plain-text cell and reflection files.
#include <string>
#include <vector>

#include "crystal/reflection.hpp"
#include "crystal/unit_cell.hpp"
#include "io/file_format.hpp"
#include "io/observation_rule.hpp"

namespace zelt {

// The kind of a reflection or cell file, decided by the end of its name
// alone (case sensitive): ".mtz", ".sca", anything else plain text.
enum class reflection_file_kind { mtz, scalepack, plain_text };
reflection_file_kind file_kind_of(const std::string& name);

// The crystal's cell and space group, as a one-element list.
// Throws io_error "unable to open the file NAME", runtime_error
// "bad cell definition in input file" or
// "bad or missing space group information in input file" (and the MTZ
// failures of mtz.hpp).
// Any other name is recognised by the content (gzip-compressed or not): MTZ,
// mmCIF reflections (the data block chosen by `mmcif_block`, see
// mmcif_reflections.hpp), or text. A coordinate file fails with "NAME is a
// coordinate file; the first argument must hold the reflections", unknown
// data with "NAME: format not recognised (expected MTZ, mmCIF, scalepack or
// a cell file)".
std::vector<unit_cell> read_cell(const std::string& name, const std::string& mmcif_block = "");
// The same from a file read before (a cell file that is also the reflection
// file is then read once).
std::vector<unit_cell> read_cell(const input_file& file, const std::string& mmcif_block = "");

// The reflections of the file inside high < d < low (Angstrom) in `cell`, in
// file order, as amplitudes with their sigmas. For an MTZ file `mtz_column`
// is the requested data column (may be empty) and `used_label` receives the
// label read; for other kinds `used_label` is cleared. For mmCIF reflections
// `mtz_column` names the data item, `used_label` receives the item used, and
// `reading` names the data block to read and receives the block read.
// Reflections that break the acceptance rule of observation_rule.hpp are
// dropped and counted in `reading`, which also says whether the target is
// sigma-weighted.
reflection_set read_reflections(const unit_cell& cell, double low, double high,
                                const std::string& name, const std::string& mtz_column,
                                std::string& used_label, reflection_reading* reading = nullptr);
reflection_set read_reflections(const unit_cell& cell, double low, double high, const input_file& file,
                                const std::string& mtz_column, std::string& used_label,
                                reflection_reading* reading = nullptr);

// Text to number with the whole-field rules of the fixed-column formats:
// leading blanks skipped, the number must start there, trailing text ignored.
// Failures are std::invalid_argument "invalid stof argument" /
// std::out_of_range "stof argument out of range" (and "stod" likewise).
float field_to_float(const std::string& text);
double field_to_double(const std::string& text);

}  // namespace zelt
