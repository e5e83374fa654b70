#pragma once
// zelt --help and zelt -P help.
#include <iosfwd>

namespace zelt {

// Every option and every run parameter with its default and meaning.
void print_help(std::ostream& out);

}  // namespace zelt
