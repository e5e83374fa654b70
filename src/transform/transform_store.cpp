#include "transform/transform_store.hpp"

namespace zelt {

void transform_store::prepare_step(const model_list& models, int first, int count,
                                   double d_min, double scale, double sampling) {
    if (first < 0 || count < 0 || static_cast<std::size_t>(first) + static_cast<std::size_t>(count) >
                                      models.size())
        throw std::logic_error("model step outside the model list");
    slots_.resize(models.size());
    for (int i = 0; i < first; ++i) slots_[static_cast<std::size_t>(i)].reset();
    for (int i = first; i < first + count; ++i) {
        auto& slot = slots_[static_cast<std::size_t>(i)];
        if (!slot) slot = build_molecular_transform(models[static_cast<std::size_t>(i)], d_min, scale,
                                                    sampling);
    }
}

void transform_store::prepare_solution(const solution& s, const model_list& models, double d_min,
                                       double scale, double sampling) {
    for (const copy_placement& p : s.placements) {
        if (p.model < 0 || static_cast<std::size_t>(p.model) >= models.size())
            throw std::logic_error("solution refers to model " + std::to_string(p.model) +
                                   " outside the model list");
        const std::size_t i = static_cast<std::size_t>(p.model);
        if (i >= slots_.size()) slots_.resize(i + 1);
        if (!slots_[i]) slots_[i] = build_molecular_transform(models[i], d_min, scale, sampling);
    }
}

const molecular_transform* transform_store::get(int i) const {
    if (i < 0 || static_cast<std::size_t>(i) >= slots_.size()) return nullptr;
    return slots_[static_cast<std::size_t>(i)].get();
}

void transform_store::set(int i, std::unique_ptr<molecular_transform> t) {
    if (i < 0) throw std::out_of_range("negative model index " + std::to_string(i));
    if (static_cast<std::size_t>(i) >= slots_.size()) slots_.resize(static_cast<std::size_t>(i) + 1);
    slots_[static_cast<std::size_t>(i)] = std::move(t);
}

}  // namespace zelt
