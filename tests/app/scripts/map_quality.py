"""Independent checks of a zelt map-coefficient file against a known structure, with gemmi.

usage: map_quality.py MTZ TRUE-PDB
The true map is gemmi's own structure factors of TRUE-PDB at the file's
reflections; the maps are computed by gemmi's FFT on one grid. Prints, one per line:
  weighted CC-of-the-2mFo-DFc-map-with-the-true-map
  unweighted CC-of-the-2Fo-Fc-map (FP, FC, PHIC of the file)-with-the-true-map
  difference CC-of-the-mFo-DFc-map-with-the-map-of-(true - model)
  ratio largest and smallest <FP>/<FC> over 10 equal-count resolution shells
  asu count-of-reflections-outside-the-standard-asymmetric-unit sorted(0/1) duplicates
  fom mean-FOM
"""
import sys

import gemmi
import numpy as np

mtz = gemmi.read_mtz_file(sys.argv[1])
truth = gemmi.read_structure(sys.argv[2])
a = np.array(mtz, copy=False)
col = {c.label: i for i, c in enumerate(mtz.columns)}
hkl = a[:, 0:3].astype(int)
fp, fc, phic = a[:, col["FP"]], a[:, col["FC"]], np.radians(a[:, col["PHIC"]])

calc = gemmi.StructureFactorCalculatorX(truth.cell)
true_f = np.array([calc.calculate_sf_from_model(truth[0], [int(h), int(k), int(l)]) for h, k, l in hkl])
model_f = fc * np.exp(1j * phic)


def map_of(values):
    """Density of complex coefficients at the file's reflections, on one grid (the same for every map)."""
    m = gemmi.Mtz(with_base=True)
    m.spacegroup, m.cell = mtz.spacegroup, mtz.cell
    m.add_dataset("d")
    m.add_column("F", "F")
    m.add_column("P", "P")
    data = np.column_stack([hkl, np.abs(values), np.degrees(np.angle(values))]).astype(np.float32)
    m.set_data(data)
    grid = m.transform_f_phi_to_map("F", "P", sample_rate=3.0)
    return np.array(grid, copy=False).ravel()


def map_cc(x, y):
    return np.corrcoef(map_of(x), map_of(y))[0, 1]


fwt = a[:, col["FWT"]] * np.exp(1j * np.radians(a[:, col["PHWT"]]))
delfwt = a[:, col["DELFWT"]] * np.exp(1j * np.radians(a[:, col["PHDELWT"]]))
print("weighted %.4f" % map_cc(fwt, true_f))
print("unweighted %.4f" % map_cc((2 * fp - fc) * np.exp(1j * phic), true_f))
print("difference %.4f" % map_cc(delfwt, true_f - model_f))

d = mtz.make_d_array()
order = np.argsort(d)
ratios = [fp[s].mean() / fc[s].mean() for s in np.array_split(order, 10)]
print("ratio %.4f %.4f" % (max(ratios), min(ratios)))

asu = gemmi.ReciprocalAsu(mtz.spacegroup)
outside = sum(not asu.is_in([int(h), int(k), int(l)]) for h, k, l in hkl)
keys = [tuple(x) for x in hkl]
print("asu %d %d %d" % (outside, int(keys == sorted(keys)), len(keys) - len(set(keys))))
print("fom %.4f" % a[:, col["FOM"]].mean())
