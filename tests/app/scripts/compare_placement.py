"""Smallest C-alpha RMSD (Angstrom) between a placed model and the true
placement, over the symmetry operators and permitted origin shifts of the
space group and any lattice translation.

usage: compare_placement.py placed.pdb truth.pdb
"""
import itertools
import sys

import gemmi
import numpy as np


def calphas(path):
    st = gemmi.read_structure(path)
    return st, np.array([a.pos.tolist() for ch in st[0] for r in ch for a in r if a.name == 'CA'])


placed_st, placed = calphas(sys.argv[1])
truth_st, truth = calphas(sys.argv[2])
cell = truth_st.cell
frac = np.array(cell.frac.mat.tolist())
orth = np.array(cell.orth.mat.tolist())
xp = placed @ frac.T
xt = truth @ frac.T
sg = gemmi.SpaceGroup('P 21 21 21')
best = 1e9
for op in sg.operations():
    rot = np.array(op.rot, dtype=float) / op.DEN
    tra = np.array(op.tran, dtype=float) / op.DEN
    for shift in itertools.product((0.0, 0.5), repeat=3):
        moved = xp @ rot.T + tra + np.array(shift)
        delta = moved - xt
        delta -= np.round(delta.mean(axis=0))
        rmsd = np.sqrt(((delta @ orth.T) ** 2).sum(axis=1).mean())
        best = min(best, rmsd)
print(f"{best:.3f}")
