#pragma once
// sigmaA estimation and the weights of 2mFo-DFc and mFo-DFc maps.
//
// Observed and calculated amplitudes are normalised in resolution shells of
// equal count (E = F / sqrt(eps <F^2/eps>)); in each shell sigmaA is the
// value that maximises the likelihood of the Eo given the Ec: the Rice
// distribution for acentric reflections, the Woolfson (Gaussian) one for
// centric ones, both with mean sigmaA Ec and variance 1 - sigmaA^2. The shell
// values are then smoothed over neighbouring shells. Per reflection, with X = 2 sigmaA Eo Ec / (1 - sigmaA^2),
// the figure of merit is m = I1(X)/I0(X) (acentric) or tanh(X/2) (centric),
// and D = sigmaA sqrt(Sigma_N / Sigma_P) in the reflection's shell.
#include <complex>
#include <cstddef>
#include <vector>

namespace zelt {

// One reflection as the estimate sees it.
struct sigma_a_reflection {
    double fo = 0.0;              // observed amplitude
    std::complex<double> fc;      // calculated structure factor (any overall scale)
    double s2 = 0.0;              // (sin theta / lambda)^2
    int epsilon = 1;              // statistical weight of the index
    bool centric = false;
};

// Per-shell results, shells in order of increasing s^2.
struct sigma_a_shells {
    std::vector<int> shell;           // shell of each reflection
    std::vector<double> mean_s2;      // mean s^2 of each shell
    std::vector<double> raw_sigma_a;  // the estimate of each shell before smoothing
    std::vector<double> sigma_a;      // smoothed, within [0.02, 0.98]
    std::vector<double> sigma_n;      // <Fo^2/eps>
    std::vector<double> sigma_p;      // <|Fc|^2/eps>
};

// The estimate over the given reflections.
sigma_a_shells estimate_sigma_a(const std::vector<sigma_a_reflection>& reflections);

// I1(x)/I0(x) for x >= 0, without overflow for large x.
double bessel_ratio(double x);

// The weights of one reflection of shell `k`.
struct map_weight {
    double m = 0.0;   // figure of merit
    double d = 0.0;   // multiplies |Fc|
};
map_weight reflection_weight(const sigma_a_shells& shells, const sigma_a_reflection& r, int k);

// Scale factors that put |Fc| on Fo: sum Fo / sum |Fc| in each shell,
// interpolated linearly in s^2 between the shells' mean s^2 (constant beyond
// the first and last). Returns one factor per reflection.
std::vector<double> shell_scale(const std::vector<double>& fo, const std::vector<double>& fc_amplitude,
                                const std::vector<double>& s2);

}  // namespace zelt
