#include "io/file_format.hpp"

#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <new>

#include "common/errors.hpp"
#include "io/text_input.hpp"

namespace zelt {

namespace {

// Inflated data beyond a limit are refused rather than exhausting memory: a
// megabyte of gzip data can inflate to a gigabyte. The limit is the larger of
// 64 MiB and 100 times the compressed size (text and MTZ files compress by
// 2 to 10 times), and 1 GiB at most.
std::size_t inflation_limit(std::size_t compressed) {
    constexpr std::size_t floor = std::size_t(64) << 20, ceiling = std::size_t(1) << 30;
    return std::min(ceiling, std::max(floor, compressed <= ceiling / 100 ? 100 * compressed : ceiling));
}

[[noreturn]] void bad_gzip(const std::string& name) {
    throw io_error(name + ": truncated or corrupt gzip data");
}

bool starts_line_with(std::string_view bytes, std::size_t pos, std::string_view word) {
    return bytes.compare(pos, word.size(), word) == 0;
}

// True when some line begins with an atom record name.
bool has_atom_records(std::string_view bytes) {
    for (std::size_t pos = 0; pos < bytes.size();) {
        if (starts_line_with(bytes, pos, "ATOM  ") || starts_line_with(bytes, pos, "HETATM")) return true;
        const std::size_t next = bytes.find('\n', pos);
        if (next == std::string_view::npos) break;
        pos = next + 1;
    }
    return false;
}

// The first word of the text, past blanks and '#' comment lines.
std::string_view first_word(std::string_view bytes) {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const char c = bytes[pos];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++pos;
        } else if (c == '#') {
            const std::size_t next = bytes.find('\n', pos);
            pos = next == std::string_view::npos ? bytes.size() : next + 1;
        } else {
            break;
        }
    }
    const std::size_t end = bytes.find_first_of(" \t\r\n", pos);
    return bytes.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
}

bool is_cif(std::string_view bytes) {
    std::string word(first_word(bytes).substr(0, 5));
    std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) { return std::tolower(c); });
    return word == "data_" || word == "globa";
}

bool looks_binary(std::string_view bytes) {
    const std::size_t n = std::min<std::size_t>(bytes.size(), 4096);
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c < 32 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v') return true;
    }
    return false;
}

}  // namespace

bool is_gzip(std::string_view bytes) {
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f &&
           static_cast<unsigned char>(bytes[1]) == 0x8b;
}

std::string inflate_gzip(std::string_view bytes, const std::string& name) {
    z_stream zs{};
    if (inflateInit2(&zs, 15 + 16) != Z_OK) bad_gzip(name);
    const std::size_t max_inflated = inflation_limit(bytes.size());
    std::string out;
    char buffer[1 << 16];
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    zs.avail_in = static_cast<uInt>(bytes.size());
    int status = Z_OK;
    while (true) {
        zs.next_out = reinterpret_cast<Bytef*>(buffer);
        zs.avail_out = sizeof buffer;
        status = inflate(&zs, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END) break;
        out.append(buffer, sizeof buffer - zs.avail_out);
        if (out.size() > max_inflated) break;
        if (status == Z_STREAM_END) {
            // Another gzip member may follow (concatenated files).
            if (zs.avail_in == 0 || !is_gzip(std::string_view(reinterpret_cast<const char*>(zs.next_in),
                                                               zs.avail_in)))
                break;
            inflateReset(&zs);
        } else if (zs.avail_in == 0 && zs.avail_out != 0) {
            break;  // input used up before the end of the stream
        }
    }
    inflateEnd(&zs);
    if (out.size() > max_inflated)
        throw io_error(name + ": the gzip data inflate to more than " + std::to_string(max_inflated >> 20) +
                       " MiB (the larger of 64 MiB and 100 times the compressed size, 1 GiB at most); "
                       "such a file is refused");
    if (status != Z_STREAM_END) bad_gzip(name);
    return out;
}

std::string read_input_file(const std::string& name) {
    std::ifstream in;
    open_input_file(in, name);
    return read_input_stream(in, name);
}

input_file load_input_file(const std::string& name) {
    return {name, read_input_file(name)};
}

std::string read_input_stream(std::istream& in, const std::string& name) {
    // istream::read turns a failing read of the file (an exception from the
    // stream buffer) into badbit, where copying the buffer whole would take
    // it for the end of the file and return what came before.
    std::string bytes;
    try {
        char buffer[1 << 16];
        while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
            bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
    } catch (const std::bad_alloc&) {
        throw io_error("not enough memory to read the file " + name);
    }
    if (in.bad()) throw io_error("error reading the file " + name);
    if (!is_gzip(bytes)) return bytes;
    try {
        return inflate_gzip(bytes, name);
    } catch (const std::bad_alloc&) {
        throw io_error("not enough memory to inflate the file " + name);
    }
}

content_kind classify_content(std::string_view bytes) {
    if (bytes.substr(0, 4) == "MTZ ") return content_kind::mtz;
    if (looks_binary(bytes)) return content_kind::unknown;
    if (is_cif(bytes)) {
        if (bytes.find("_atom_site.") != std::string_view::npos) return content_kind::mmcif_model;
        if (bytes.find("_refln.") != std::string_view::npos) return content_kind::mmcif_reflections;
        return content_kind::mmcif_other;
    }
    return has_atom_records(bytes) ? content_kind::pdb : content_kind::text;
}

std::string without_gz_suffix(const std::string& name) {
    if (name.size() < 3) return name;
    std::string tail = name.substr(name.size() - 3);
    std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
    return tail == ".gz" ? name.substr(0, name.size() - 3) : name;
}

}  // namespace zelt
