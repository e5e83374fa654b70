#pragma once
// The built-in space-group table: line n describes space group n (1..230);
// entries 0 and 231 are empty and never parsed.
namespace zelt {

extern const char* const space_group_table[232];

}  // namespace zelt
