#include "model/centring.hpp"

namespace zelt {

std::vector<position> centre_models(model_list& models) {
    std::vector<position> centres;
    centres.reserve(models.size());
    for (model& m : models) {
        position sum{0.0, 0.0, 0.0};
        for (const atom& a : m) sum = sum + a.site;
        const double n = m.empty() ? 1.0 : static_cast<double>(m.size());
        const position centre = sum / n;
        for (atom& a : m) a.site = a.site - centre;
        centres.push_back(centre);
    }
    return centres;
}

}  // namespace zelt
