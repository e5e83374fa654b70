#pragma once
// Recognising input files by their content, and reading them whole
// (gzip-compressed files are inflated on the way in).
#include <istream>
#include <string>
#include <string_view>

namespace zelt {

// What a file holds, judged from its bytes (after inflating).
enum class content_kind {
    mtz,                // "MTZ " binary reflection file
    mmcif_model,        // CIF with an _atom_site loop
    mmcif_reflections,  // CIF with a _refln loop
    mmcif_other,        // CIF with neither
    pdb,                // text with ATOM or HETATM records
    text,               // any other text (scalepack, cell, reflection or list file)
    unknown             // binary data of no known format
};

bool is_gzip(std::string_view bytes);

// The inflated content of gzip data (one or several members). Truncated or
// corrupt data fail with io_error "NAME: truncated or corrupt gzip data".
std::string inflate_gzip(std::string_view bytes, const std::string& name);

// The whole file, inflated when it is gzip-compressed. io_error "unable to
// open the file NAME" when it cannot be opened.
std::string read_input_file(const std::string& name);

// A data file read once: its name (for messages and the name-based format
// rules) and its whole content, inflated when it was gzip-compressed.
struct input_file {
    std::string name;
    std::string bytes;
};

// read_input_file with its name.
input_file load_input_file(const std::string& name);

// The rest of a stream (standard input), inflated when compressed.
std::string read_input_stream(std::istream& in, const std::string& name);

content_kind classify_content(std::string_view bytes);

// NAME without a final ".gz" (case-insensitive), for decisions by name.
std::string without_gz_suffix(const std::string& name);

}  // namespace zelt
