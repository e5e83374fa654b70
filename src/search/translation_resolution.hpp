#pragma once
// The resolution limit of the fft translation search chosen from the problem
// ("auto"): the coarsest limit at which the searched model's expected signal
// is high enough.
//
// Expected signal. A model holding a fraction f of the scattering of the
// asymmetric unit, with coordinate errors of RMS e, correlates with the
// observed intensities of a reflection at resolution d about as
//     f D^2,  D = exp(-(2 pi^2 / 3) e^2 / d^2)
// (sigma_A^2 of a model with Gaussian errors). The average of an ensemble of
// n members, each with its own such errors, does better: its structure
// factor correlates with the true one as D^2_n = n D^2 / (1 + (n - 1) D^2),
// the errors averaging out where the members disagree. And the noise of a correlation
// over N independent reflections is about 1 / sqrt(N), so the translation
// function's peak is expected about
//     S(d) = f <D^2> sqrt(N(d))
// standard deviations above its background, N(d) being the reflections of the
// data to the limit d and <D^2> their mean. Without errors S = f sqrt(N)
// grows as the limit is made finer; with them it levels off and then falls,
// since reflections beyond the model's accuracy add noise and no signal.
// f is the smallest search model's atom count over the expected atoms of the
// asymmetric unit: the larger of the cell volume per symmetry operator over
// 34 A^3 (a protein crystal of half solvent, 2.4 A^3 per Dalton, 14 Dalton
// per non-hydrogen atom) and the atoms known to be there (every search model
// times the copies, plus the fixed structure).
//
// Rule. The limits 6.0, 5.5, 5.0, ... A are tried, coarsest first, down to the
// data's own limit; the first whose S reaches `signal_goal` is chosen. When
// none does, the one with the largest S (the coarsest of equals): the data's
// limit for an accurate model, whose S keeps growing, and a coarser one for a
// model with errors, whose S levels off and falls. Coarser maps separate roughly right orientations from wrong ones
// better and cost less; finer ones are needed where a small cell or a small
// model leaves too few reflections.
#include <cstddef>
#include <string>
#include <vector>

#include "crystal/reflection.hpp"
#include "crystal/unit_cell.hpp"

namespace zelt {

// What the rule knows of a search model's accuracy: the RMS coordinate error
// of one member (A) and the number of members averaged.
struct model_accuracy {
    double error = 0.0;
    int members = 1;
};

struct resolution_choice {
    double d_min = 5.0;            // chosen limit, A
    double signal = 0.0;           // S at that limit
    std::size_t reflections = 0;   // N at that limit
    double fraction = 0.0;         // f
    model_accuracy accuracy;       // e and n
    bool automatic = false;        // chosen by the rule (else given)
};

// The fft search's limits for one search model: the translation search's
// resolution and the orientation scan's grid spacing (radians).
struct model_fft_limits {
    resolution_choice resolution;
    double scan_spacing = 0.0;
};

inline constexpr double auto_resolution_signal_goal = 20.0;
inline constexpr double auto_resolution_coarsest = 6.0;
inline constexpr double auto_resolution_step = 0.5;
inline constexpr double protein_volume_per_atom = 34.0;

// The scattering fraction f of a model of `model_atoms` atoms among
// `known_atoms` known ones, in a cell of `cell_volume` A^3 with `operators`
// symmetry operators.
double expected_fraction(std::size_t model_atoms, std::size_t known_atoms, double cell_volume,
                         int operators);

// S(d) above for reflections carrying s^2 = 1 / (4 d^2), with N(d) in `count`.
double expected_signal(const reflection_set& reflections, double d, double fraction, model_accuracy accuracy,
                       std::size_t& count);

// The rule above; `data_d_min` is the data's limit (resolution.high).
resolution_choice choose_translation_resolution(const reflection_set& reflections, double data_d_min,
                                                double fraction, model_accuracy accuracy = {},
                                                double signal_goal = auto_resolution_signal_goal);

// A limit `d_min` given by the user, with the same figures: N and S at the
// coarser of it and the data's limit.
resolution_choice given_translation_resolution(const reflection_set& reflections, double d_min, double data_d_min,
                                               double fraction, model_accuracy accuracy = {});

// The orientation scan's automatic grid spacing (radians) for a model of RMS
// atom distance `radius` from its centre at the resolution limit d_min: atoms
// at that radius then move by at most about d_min / 2 between neighbouring
// grid points, d_min / (2 radius), within 1 to 20 degrees.
double automatic_scan_spacing(double radius, double d_min);

}  // namespace zelt
