#pragma once
// Split of the placed copies of a solution into one placement per segment.
#include <string>
#include <vector>

#include "crystal/geometry.hpp"
#include "model/atom.hpp"
#include "model/solution.hpp"

namespace zelt {

// Segment identifier of an atom: columns 73-76 of its coordinate line (fewer
// when the line ends earlier), or a single space for lines shorter than 73.
std::string segment_identifier(const atom& a);

// The identifier without trailing blanks, which is what tells segments
// apart: a line padded to 80 columns and one that ends at column 72 belong
// to the same segment.
std::string segment_key(const atom& a);

// Replaces every placement whose model has two or more segments (told apart
// by segment_key) by one placement per segment (segments in order of first
// occurrence). Each segment
// becomes a new model appended to `models` (atoms in file order, same
// origin), with a copy of its parent model's start position appended to
// `start_positions`; the new placement keeps the orientation, translation and
// reported model of the copy it came from, and records the segment's place
// among the model's segments. Returns true when the solution
// gained placements. Throws std::out_of_range for a model index outside
// `models` or `start_positions`.
bool split_segments(solution& s, model_list& models, std::vector<fractional>& start_positions);

}  // namespace zelt
