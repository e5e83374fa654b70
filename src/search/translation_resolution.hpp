#pragma once
// The resolution limit of the fft translation search chosen from the problem
// ("auto"): the coarsest limit at which the searched model's expected signal
// is high enough.
//
// Expected signal. A model holding a fraction f of the scattering of the
// asymmetric unit correlates with the observed intensities about as f, and
// the noise of a correlation over N independent reflections is about
// 1 / sqrt(N), so the translation function's peak is expected about
//     S(d) = f sqrt(N(d))
// standard deviations above its background, N(d) being the reflections of the
// data to the limit d. f is the smallest search model's atom count over the
// expected atoms of the asymmetric unit: the larger of the cell volume per
// symmetry operator over 34 A^3 (a protein crystal of half solvent, 2.4 A^3
// per Dalton, 14 Dalton per non-hydrogen atom) and the atoms known to be
// there (every search model times the copies, plus the fixed structure).
//
// Rule. The limits 6.0, 5.5, 5.0, ... A are tried, coarsest first, down to the
// data's own limit; the first whose S reaches `signal_goal` is chosen, and
// the data's limit when none does. Coarser maps separate roughly right
// orientations from wrong ones better and cost less; finer ones are needed
// where a small cell or a small model leaves too few reflections.
#include <cstddef>
#include <string>
#include <vector>

#include "crystal/reflection.hpp"
#include "crystal/unit_cell.hpp"

namespace zelt {

struct resolution_choice {
    double d_min = 5.0;            // chosen limit, A
    double signal = 0.0;           // S at that limit
    std::size_t reflections = 0;   // N at that limit
    double fraction = 0.0;         // f
    bool automatic = false;        // chosen by the rule (else given)
};

inline constexpr double auto_resolution_signal_goal = 25.0;
inline constexpr double auto_resolution_coarsest = 6.0;
inline constexpr double auto_resolution_step = 0.5;
inline constexpr double protein_volume_per_atom = 34.0;

// The scattering fraction f of a model of `model_atoms` atoms among
// `known_atoms` known ones, in a cell of `cell_volume` A^3 with `operators`
// symmetry operators.
double expected_fraction(std::size_t model_atoms, std::size_t known_atoms, double cell_volume,
                         int operators);

// The rule above. `reflections` carry s^2 = 1 / (4 d^2); `data_d_min` is the
// data's limit (resolution.high).
resolution_choice choose_translation_resolution(const reflection_set& reflections, double data_d_min,
                                                double fraction,
                                                double signal_goal = auto_resolution_signal_goal);

// A limit `d_min` given by the user, with the same figures: N and S at the
// coarser of it and the data's limit.
resolution_choice given_translation_resolution(const reflection_set& reflections, double d_min, double data_d_min,
                                               double fraction);

// The orientation scan's automatic grid spacing (radians) for a model of RMS
// atom distance `radius` from its centre at the resolution limit d_min: atoms
// at that radius then move by at most about d_min / 2 between neighbouring
// grid points, d_min / (2 radius), within 1 to 20 degrees.
double automatic_scan_spacing(double radius, double d_min);

}  // namespace zelt
