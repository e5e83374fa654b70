"""Is each placed model where a reference structure has it?

usage: placement_check.py placed.pdb reference.pdb CHAINS

CHAINS names the reference chains to look for (for example "A" or "AB").
Each is matched to the model of the placed file (models come out as chains
A, B, ... in the written files) with the same C-alpha residue numbers and
names.  The placed C-alpha atoms are then moved by every symmetry operator
of the space group, every permitted origin shift and the nearest lattice
translations, and the closest image is kept.  One origin shift is chosen for
the whole placed file (the one that brings most C-alpha atoms within 2 A),
since the models of one solution share one origin.  The permitted shifts are
derived from the space group's operators: those that map the set of
operators onto itself, and along a polar axis any shift (fitted to the first
reference chain).  Where several placed models match the same residues
(copies of one model), the pairing of placed models with reference chains
that brings most atoms within 2 A is used, each placed model used once where
there are enough of them.

Prints one line per reference chain:
    chain A model B within2 0.996 rmsd 0.081 origin 0 0 0.5
(a placed model without chain identifier shows as "-"), where within2 is the fraction of C-alpha atoms within 2 A of their reference
position and rmsd the C-alpha RMSD in A of that image.  Exit status 0 on
success, 2 for unusable input (a message on standard error).
"""
import itertools
import sys

import gemmi
import numpy as np

GRID = 12  # origin shifts are multiples of 1/12 of the cell edges at most


def polar_axes(ops):
    """1 for each cell axis along which every operator leaves a shift
    unchanged (a polar axis: the origin may slide along it freely)."""
    return np.array([float(all(np.allclose(rot[:, i], np.eye(3)[i]) for rot, _ in ops)) for i in range(3)])


def origin_shifts(ops):
    """The discrete origin shifts (fractions of the cell edges, none along a
    polar axis) that map the set of operators onto itself: x -> x + s turns
    (R, t) into (R, t + (I - R) s), which must again be an operator, modulo
    lattice translations."""
    def key(rot, tra):
        return (tuple(np.rint(rot).astype(int).ravel()), tuple(np.rint(np.mod(tra, 1.0) * GRID).astype(int) % GRID))
    table = {key(rot, tra) for rot, tra in ops}
    polar = polar_axes(ops)
    steps = [range(1) if polar[i] else range(GRID) for i in range(3)]
    shifts = []
    for n in itertools.product(*steps):
        s = np.array(n, dtype=float) / GRID
        if all(key(rot, tra + (np.eye(3) - rot) @ s) in table for rot, tra in ops):
            shifts.append(tuple(s))
    return shifts


def fail(message):
    sys.stderr.write('placement_check: ' + message + '\n')
    sys.exit(2)


def calpha_chains(st):
    """{chain name: (residue keys, coordinates)} of the C-alpha atoms."""
    chains = {}
    for ch in st[0]:
        keys, xyz = [], []
        for res in ch:
            for atom in res:
                if atom.name == 'CA':
                    keys.append((res.seqid.num, res.seqid.icode, res.name))
                    xyz.append(atom.pos.tolist())
        if keys:
            chains.setdefault(ch.name, ([], []))
            chains[ch.name][0].extend(keys)
            chains[ch.name][1].extend(xyz)
    return {name: (keys, np.array(xyz)) for name, (keys, xyz) in chains.items()}


def closest_image(placed_frac, ref_frac, ops, shift, orth, free=np.zeros(3)):
    """(number within 2 A, rmsd, fitted shift) of the best symmetry image for
    one origin shift; along the axes marked in `free` the shift is fitted
    (the mean difference is removed) and returned."""
    best = (-1, 1e9, np.zeros(3))
    for rot, tra in ops:
        moved = placed_frac @ rot.T + tra + shift
        delta = moved - ref_frac
        fitted = delta.mean(axis=0) * free
        delta = delta - fitted
        centre = np.round(delta.mean(axis=0))
        # The model may straddle a cell edge: try the neighbouring lattice
        # translations of the rounded mean as well.
        for step in itertools.product((-1.0, 0.0, 1.0), repeat=3):
            d = (delta - centre - np.array(step)) @ orth.T
            dist2 = (d ** 2).sum(axis=1)
            within = int((dist2 < 4.0).sum())
            rmsd = float(np.sqrt(dist2.mean()))
            if (within, -rmsd) > (best[0], -best[1]):
                best = (within, rmsd, -fitted)
    return best


def pairings(names, ref, placed):
    """Every way to pair the reference chains with placed models of the same
    residues; those that use each placed model once come first, and the
    others are offered only when there are none."""
    choices = []
    for name in names:
        if name not in ref:
            fail('no chain ' + name + ' in the reference')
        matches = [p for p, (pkeys, _) in sorted(placed.items()) if pkeys == ref[name][0]]
        if not matches:
            fail('no placed model matches reference chain ' + name)
        choices.append(matches)
    all_pairings = list(itertools.product(*choices))
    distinct = [c for c in all_pairings if len(set(c)) == len(c)]
    return [list(zip(names, c)) for c in (distinct or all_pairings)]


def evaluate(pairs, placed, ref, ops, shift, frac, orth, polar):
    """Results per pair for one origin shift; along polar axes the shift is
    fitted to the first pair and then shared by all."""
    shift = np.array(shift)
    if polar.any():
        r, p = pairs[0]
        shift = shift + closest_image(placed[p][1] @ frac.T, ref[r][1] @ frac.T, ops, shift, orth, polar)[2]
    results = [closest_image(placed[p][1] @ frac.T, ref[r][1] @ frac.T, ops, shift, orth)[:2]
               for r, p in pairs]
    return sum(w for w, _ in results), shift, results


def main(argv):
    if len(argv) != 4:
        fail('usage: placement_check.py placed.pdb reference.pdb CHAINS')
    try:
        placed_st = gemmi.read_structure(argv[1])
        ref_st = gemmi.read_structure(argv[2])
    except Exception as e:  # gemmi reports unreadable files as various kinds
        fail(str(e))
    sg = ref_st.find_spacegroup()
    if sg is None:
        fail('the reference has no space group')
    placed_sg = placed_st.find_spacegroup()
    if placed_sg is None or placed_sg.hm != sg.hm:
        fail('the placed file is not in space group ' + sg.hm)

    cell = ref_st.cell
    frac = np.array(cell.frac.mat.tolist())
    orth = np.array(cell.orth.mat.tolist())
    ops = [(np.array(op.rot, dtype=float) / op.DEN, np.array(op.tran, dtype=float) / op.DEN)
           for op in sg.operations()]
    polar = polar_axes(ops)

    placed = calpha_chains(placed_st)
    ref = calpha_chains(ref_st)
    best = None
    for pairs in pairings(argv[3], ref, placed):
        for shift in origin_shifts(ops):
            total, fitted, results = evaluate(pairs, placed, ref, ops, shift, frac, orth, polar)
            if best is None or total > best[0]:
                best = (total, fitted, pairs, results)
    _, shift, pairs, results = best
    for (r, p), (within, rmsd) in zip(pairs, results):
        n = len(ref[r][0])
        print(f'chain {r} model {p or "-"} within2 {within / n:.3f} rmsd {rmsd:.3f} '
              f'origin {shift[0]:g} {shift[1]:g} {shift[2]:g}')


if __name__ == '__main__':
    main(sys.argv)
