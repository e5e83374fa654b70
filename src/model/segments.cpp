#include "model/segments.hpp"

#include <stdexcept>

namespace zelt {

std::string segment_identifier(const atom& a) {
    if (a.line.size() < 73) return " ";
    return a.line.substr(72, 4);
}

std::string segment_key(const atom& a) {
    std::string id = segment_identifier(a);
    id.erase(id.find_last_not_of(' ') + 1);
    return id;
}

bool split_segments(solution& s, model_list& models, std::vector<fractional>& start_positions) {
    std::vector<copy_placement> placements;
    placements.reserve(s.placements.size());
    for (const copy_placement& c : s.placements) {
        const int m = c.model;
        if (m < 0 || static_cast<std::size_t>(m) >= models.size() ||
            static_cast<std::size_t>(m) >= start_positions.size())
            throw std::out_of_range("model index " + std::to_string(m) + " is not in the model list");
        // Groups in order of first occurrence, atoms of each in file order.
        std::vector<std::string> ids;
        std::vector<model> groups;
        for (const atom& a : models[m]) {
            const std::string id = segment_key(a);
            std::size_t g = 0;
            while (g < ids.size() && ids[g] != id) ++g;
            if (g == ids.size()) {
                ids.push_back(id);
                groups.emplace_back();
            }
            groups[g].push_back(a);
        }
        if (groups.size() < 2) {
            placements.push_back(c);
            continue;
        }
        const fractional start = start_positions[m];
        for (std::size_t g = 0; g < groups.size(); ++g) {
            models.push_back(std::move(groups[g]));
            start_positions.push_back(start);
            copy_placement part = c;
            part.model = static_cast<int>(models.size()) - 1;
            part.segment = static_cast<int>(g);
            placements.push_back(part);
        }
    }
    const bool grew = placements.size() > s.placements.size();
    s.placements = std::move(placements);
    return grew;
}

}  // namespace zelt
