#pragma once
// Electron-density grid over one unit cell: atoms are painted as Gaussian
// blobs (with all their symmetry copies), the grid is transformed in place,
// and structure factors F(h) = sum rho(x) exp(+2 pi i h.x) V/N are read back.
#include <complex>
#include <cstddef>
#include <vector>

#include "crystal/geometry.hpp"
#include "crystal/unit_cell.hpp"

namespace zelt {

class fourier_map {
public:
    // Narrowest Gaussian width (b_i + B + B_add, A^2) painted; narrower or
    // non-positive widths are raised to it so that every atom stays finite.
    static constexpr double min_width = 1.0;

    // Sizes the grid for sampling rate `sampling` (points per d_min) and
    // allocates zeroed arrays. Structure factors may be read for
    // d_min <= d <= d_max.
    fourier_map(const unit_cell& cell, double sampling, double d_max, double d_min);
    fourier_map(const fourier_map&) = delete;
    fourier_map& operator=(const fourier_map&) = delete;

    // Paints an atom at a fractional position and all its symmetry copies.
    // Clears the grid first when it has already been transformed.
    void add_atom(const fractional& frac, double occupancy, double b, int element);

    // Transforms the grid in place (forward FFT along x, y, z).
    void transform();

    // Structure factor with the crystallographic sign and B_add removed;
    // throws std::invalid_argument outside [d_min, d_max].
    std::complex<float> structure_factor(int h, int k, int l) const;
    std::complex<float> structure_factor(int h, int k, int l, double d) const;

    int nx() const { return nx_; }
    int ny() const { return ny_; }
    int nz() const { return nz_; }
    double b_add() const { return b_add_; }
    double scale() const { return scale_; }
    double sampling() const { return sampling_; }
    double d_min() const { return d_min_; }
    double d_max() const { return d_max_; }
    bool transformed() const { return transformed_; }
    const unit_cell& cell() const { return cell_; }

    // Grid point (i, j, k) is element i + nx * (j + ny * k).
    const std::vector<float>& real_part() const { return re_; }
    const std::vector<float>& imag_part() const { return im_; }
    std::size_t index(int i, int j, int k) const;

    // Cut-off radius (A) of an atom: the first multiple of 0.1 A at which its
    // density has fallen to 1/200 of the central value; 0 when it has no density.
    double cutoff_radius(double occupancy, double b, int element) const;

private:
    struct blob {
        double amplitude[5];
        double exponent[5];
    };
    blob atom_blob(double occupancy, double b, int element) const;
    static double density(const blob& g, double r2);
    static double cutoff(const blob& g);

    unit_cell cell_;
    double d_max_, d_min_;
    double sampling_;
    int nx_ = 0, ny_ = 0, nz_ = 0;
    double b_add_ = 0;
    double scale_ = 0;
    std::vector<float> re_, im_;
    bool transformed_ = false;
};

}  // namespace zelt
