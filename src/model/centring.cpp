#include "model/centring.hpp"

namespace zelt {

std::vector<vec3> centre_models(model_list& models) {
    std::vector<vec3> centres;
    centres.reserve(models.size());
    for (model& m : models) {
        vec3 sum{0.0, 0.0, 0.0};
        for (const atom& a : m) sum = add(sum, vec3{a.x, a.y, a.z});
        const double n = m.empty() ? 1.0 : static_cast<double>(m.size());
        const vec3 centre{sum[0] / n, sum[1] / n, sum[2] / n};
        for (atom& a : m) {
            a.x -= centre[0];
            a.y -= centre[1];
            a.z -= centre[2];
        }
        centres.push_back(centre);
    }
    return centres;
}

}  // namespace zelt
