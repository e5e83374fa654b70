#pragma once
// Weighted linear correlation accumulated in one pass (a weighted form of
// Welford's update): observations arrive as In, all sums are kept as Acc.
#include <cmath>

namespace zelt {

template <class In, class Acc>
class pearson {
public:
    void add(In observed, In model, In weight) {
        const Acc x = static_cast<Acc>(observed);
        const Acc y = static_cast<Acc>(model);
        const Acc w = static_cast<Acc>(weight);
        const Acc w_old = w_;
        const Acc dx = x - mean_x_;
        w_ = w_old + w;
        const Acc f = w * w_old / w_;
        sxx_ += f * dx * dx;
        mean_x_ += dx * w / w_;
        const Acc dy = y - mean_y_;
        mean_y_ += dy * w / w_;
        syy_ += f * dy * dy;
        sxy_ += f * dx * dy;
    }

    // Sxy / sqrt(Sxx * Syy). A list without spread (all observed or all
    // model values equal, or fewer than two values) has no defined
    // correlation; it scores 0 rather than NaN, so that optimizers can rank it.
    Acc result() const {
        const Acc d = sxx_ * syy_;
        if (!(d > Acc(0))) return Acc(0);
        return sxy_ / std::sqrt(d);
    }

    Acc weight_sum() const { return w_; }
    Acc mean_x() const { return mean_x_; }
    Acc mean_y() const { return mean_y_; }
    Acc sxx() const { return sxx_; }
    Acc syy() const { return syy_; }
    Acc sxy() const { return sxy_; }

private:
    Acc w_ = 0, mean_x_ = 0, mean_y_ = 0, sxx_ = 0, syy_ = 0, sxy_ = 0;
};

}  // namespace zelt
