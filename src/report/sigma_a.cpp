#include "report/sigma_a.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "crystal/resolution_shells.hpp"

namespace zelt {

namespace {

constexpr double sigma_a_floor = 0.02, sigma_a_ceiling = 0.98;

// A (1 2 1) running mean over neighbouring shells.
std::vector<double> smoothed(const std::vector<double>& v) {
    std::vector<double> out(v.size());
    for (std::size_t i = 0; i < v.size(); ++i) {
        double sum = 2.0 * v[i], weight = 2.0;
        if (i > 0) sum += v[i - 1], weight += 1.0;
        if (i + 1 < v.size()) sum += v[i + 1], weight += 1.0;
        out[i] = std::clamp(sum / weight, sigma_a_floor, sigma_a_ceiling);
    }
    return out;
}

// log I0(x) for x >= 0 (polynomial approximations of Abramowitz and Stegun
// 9.8.1 and 9.8.2, relative error below 2e-7).
double log_bessel_i0(double x) {
    if (x <= 3.75) {
        const double t = (x / 3.75) * (x / 3.75);
        return std::log(1.0 + t * (3.5156229 + t * (3.0899424 + t * (1.2067492 + t * (0.2659732 +
                                   t * (0.0360768 + t * 0.0045813))))));
    }
    const double u = 3.75 / x;
    const double p = 0.39894228 + u * (0.01328592 + u * (0.00225319 + u * (-0.00157565 + u * (0.00916281 +
                     u * (-0.02057706 + u * (0.02635537 + u * (-0.01647633 + u * 0.00392377)))))));
    return x - 0.5 * std::log(x) + std::log(p);
}

// log cosh(x), without overflow.
double log_cosh(double x) {
    x = std::fabs(x);
    return x + std::log1p(std::exp(-2.0 * x)) - std::log(2.0);
}

// Log-likelihood of sigmaA for normalised amplitudes (eo, ec) of one shell,
// up to a constant: the Rice distribution of Eo given Ec for acentric
// reflections, the Woolfson (Gaussian) one for centric reflections.
double log_likelihood(double sa, const std::vector<double>& eo, const std::vector<double>& ec,
                      const std::vector<char>& centric) {
    const double v = 1.0 - sa * sa;
    double sum = 0.0;
    for (std::size_t i = 0; i < eo.size(); ++i) {
        const double e2 = eo[i] * eo[i] + sa * sa * ec[i] * ec[i];
        const double x = sa * eo[i] * ec[i] / v;
        if (centric[i])
            sum += -0.5 * std::log(v) - 0.5 * e2 / v + log_cosh(x);
        else
            sum += -std::log(v) - e2 / v + log_bessel_i0(2.0 * x);
    }
    return sum;
}

// The maximum of the likelihood over [floor, ceiling] by golden-section search.
double maximum_likelihood(const std::vector<double>& eo, const std::vector<double>& ec,
                          const std::vector<char>& centric) {
    const double g = 0.5 * (std::sqrt(5.0) - 1.0);
    double a = sigma_a_floor, b = sigma_a_ceiling;
    double c = b - g * (b - a), d = a + g * (b - a);
    double fc = log_likelihood(c, eo, ec, centric), fd = log_likelihood(d, eo, ec, centric);
    for (int i = 0; i < 40; ++i) {
        if (fc > fd) {
            b = d, d = c, fd = fc;
            c = b - g * (b - a);
            fc = log_likelihood(c, eo, ec, centric);
        } else {
            a = c, c = d, fc = fd;
            d = a + g * (b - a);
            fd = log_likelihood(d, eo, ec, centric);
        }
    }
    return 0.5 * (a + b);
}

}  // namespace

sigma_a_shells estimate_sigma_a(const std::vector<sigma_a_reflection>& reflections) {
    sigma_a_shells out;
    std::vector<double> s2;
    for (const sigma_a_reflection& r : reflections) s2.push_back(r.s2);
    const resolution_shells binning = equal_count_shells(s2, 500, 20);
    out.shell = binning.shell_of_each();
    const std::size_t shells = binning.count();
    out.mean_s2.assign(shells, 0.0);
    out.sigma_n.assign(shells, 0.0);
    out.sigma_p.assign(shells, 0.0);
    std::vector<double> count(shells, 0.0);
    for (std::size_t i = 0; i < reflections.size(); ++i) {
        const sigma_a_reflection& r = reflections[i];
        const auto k = static_cast<std::size_t>(out.shell[i]);
        count[k] += 1.0;
        out.mean_s2[k] += r.s2;
        out.sigma_n[k] += r.fo * r.fo / r.epsilon;
        out.sigma_p[k] += std::norm(r.fc) / r.epsilon;
    }
    std::vector<std::vector<double>> eo(shells), ec(shells);
    std::vector<std::vector<char>> centric(shells);
    for (std::size_t k = 0; k < shells; ++k) {
        out.mean_s2[k] /= count[k];
        out.sigma_n[k] /= count[k];
        out.sigma_p[k] /= count[k];
    }
    for (std::size_t i = 0; i < reflections.size(); ++i) {
        const sigma_a_reflection& r = reflections[i];
        const auto k = static_cast<std::size_t>(out.shell[i]);
        eo[k].push_back(r.fo / std::sqrt(r.epsilon * out.sigma_n[k]));
        ec[k].push_back(std::abs(r.fc) / std::sqrt(r.epsilon * out.sigma_p[k]));
        centric[k].push_back(r.centric ? 1 : 0);
    }
    for (std::size_t k = 0; k < shells; ++k)
        out.raw_sigma_a.push_back(maximum_likelihood(eo[k], ec[k], centric[k]));
    out.sigma_a = smoothed(out.raw_sigma_a);
    return out;
}

double bessel_ratio(double x) {
    if (x < 1e-8) return 0.5 * x;
    if (x < 50.0) return std::cyl_bessel_i(1.0, x) / std::cyl_bessel_i(0.0, x);
    const double u = 1.0 / x;
    return 1.0 - 0.5 * u - 0.125 * u * u - 0.125 * u * u * u;
}

map_weight reflection_weight(const sigma_a_shells& shells, const sigma_a_reflection& r, int k) {
    const auto s = static_cast<std::size_t>(k);
    const double sa = shells.sigma_a[s];
    map_weight w;
    if (!(shells.sigma_n[s] > 0.0) || !(shells.sigma_p[s] > 0.0)) return w;
    const double eo = r.fo / std::sqrt(r.epsilon * shells.sigma_n[s]);
    const double ec = std::abs(r.fc) / std::sqrt(r.epsilon * shells.sigma_p[s]);
    const double x = 2.0 * sa * eo * ec / (1.0 - sa * sa);
    w.m = r.centric ? std::tanh(0.5 * x) : bessel_ratio(x);
    w.d = sa * std::sqrt(shells.sigma_n[s] / shells.sigma_p[s]);
    return w;
}

std::vector<double> shell_scale(const std::vector<double>& fo, const std::vector<double>& fc_amplitude,
                                const std::vector<double>& s2) {
    const resolution_shells binning = equal_count_shells(s2, 300, 30);
    const std::vector<int> shell = binning.shell_of_each();
    const std::size_t shells = binning.count();
    std::vector<double> sum_fo(shells, 0.0), sum_fc(shells, 0.0), centre(shells, 0.0), count(shells, 0.0);
    for (std::size_t i = 0; i < fo.size(); ++i) {
        const auto k = static_cast<std::size_t>(shell[i]);
        sum_fo[k] += fo[i];
        sum_fc[k] += fc_amplitude[i];
        centre[k] += s2[i];
        count[k] += 1.0;
    }
    std::vector<double> k_shell(shells);
    for (std::size_t k = 0; k < shells; ++k) {
        centre[k] /= count[k];
        k_shell[k] = sum_fc[k] > 0.0 ? sum_fo[k] / sum_fc[k] : 0.0;
    }
    std::vector<double> scale(fo.size());
    for (std::size_t i = 0; i < fo.size(); ++i) {
        const auto upper = std::upper_bound(centre.begin(), centre.end(), s2[i]);
        if (upper == centre.begin()) {
            scale[i] = k_shell.front();
        } else if (upper == centre.end()) {
            scale[i] = k_shell.back();
        } else {
            const auto j = static_cast<std::size_t>(upper - centre.begin());
            const double t = (s2[i] - centre[j - 1]) / (centre[j] - centre[j - 1]);
            scale[i] = (1.0 - t) * k_shell[j - 1] + t * k_shell[j];
        }
    }
    return scale;
}

}  // namespace zelt
