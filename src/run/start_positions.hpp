#pragma once
#include <cstddef>
#include <utility>
#include <vector>

#include "crystal/geometry.hpp"
#include "crystal/unit_cell.hpp"

namespace zelt {

// Where each search model starts: its centre, in fractional coordinates of
// the cell step's first cell. Segment models that a split appends during
// the attempts extend the list; their centres carry over to the next cell
// step as Cartesian points, with the models' own.
class start_positions {
public:
    explicit start_positions(std::vector<position> centres) : centres_(std::move(centres)) {}

    // A new cell step in `next`: the segment models appended in the last one
    // (whose fractional coordinates were in `last`) join the centres, and
    // every centre is expressed in `next`.
    void move_to(const unit_cell& last, const unit_cell& next) {
        for (std::size_t m = centres_.size(); m < sites_.size(); ++m)
            centres_.push_back(last.to_orthogonal(sites_[m]));
        sites_.clear();
        for (const position& c : centres_) sites_.push_back(next.to_fractional(c));
    }

    // The list that searches read and segment splits extend.
    std::vector<fractional>& sites() { return sites_; }
    const std::vector<fractional>& sites() const { return sites_; }
    // Back to the first `count` sites (segment models of a discarded attempt
    // dropped).
    void truncate(std::size_t count) { sites_.resize(count); }

private:
    std::vector<position> centres_;   // Cartesian, segment models of past cell steps included
    std::vector<fractional> sites_;
};

}  // namespace zelt
