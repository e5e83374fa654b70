#pragma once
// The transforms of a run's search models, built as the search steps need them.
#include <cstddef>
#include <memory>
#include <vector>

#include "model/atom.hpp"
#include "model/solution.hpp"
#include "transform/molecular_transform.hpp"

namespace zelt {

// One slot per search model, empty or holding the model's transform.
class transform_store {
public:
    // Start of a model step: one slot per model; releases the slots before
    // `first`, builds the empty ones in [first, first + count).
    void prepare_step(const model_list& models, int first, int count, double d_min,
                      double scale, double sampling);
    // Builds the missing transforms of a solution's models, enlarging the
    // store when a model index lies beyond it.
    void prepare_solution(const solution& s, const model_list& models, double d_min,
                          double scale, double sampling);

    std::size_t size() const { return slots_.size(); }
    // The transform of model i, or nullptr when its slot is empty or absent.
    const molecular_transform* get(int i) const;
    void set(int i, std::unique_ptr<molecular_transform> t);   // enlarges as needed
    void clear() { slots_.clear(); }

private:
    std::vector<std::unique_ptr<molecular_transform>> slots_;
};

}  // namespace zelt
