"""Is each placed model where a reference structure has it?

usage: placement_check.py placed.pdb reference.pdb CHAINS

CHAINS names the reference chains to look for (for example "A" or "AB").
Each is matched to the model of the placed file (models come out as chains
A, B, ... in the written files) with the same C-alpha residue numbers and
names.  The placed C-alpha atoms are then moved by every symmetry operator
of the space group, every permitted origin shift and the nearest lattice
translations, and the closest image is kept.  One origin shift is chosen for
the whole placed file (the one that brings most C-alpha atoms within 2 A),
since the models of one solution share one origin.

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

# Origin shifts that leave the set of symmetry operators unchanged, listed by
# hand per space group (fractions of the cell edges).
ORIGIN_SHIFTS = {
    'P 32 2 1': [(0.0, 0.0, 0.0), (0.0, 0.0, 0.5)],
    'P 31 2 1': [(0.0, 0.0, 0.0), (0.0, 0.0, 0.5)],
    'P 21 21 21': list(itertools.product((0.0, 0.5), repeat=3)),
}


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


def closest_image(placed_frac, ref_frac, ops, shift, orth):
    """(number within 2 A, rmsd) of the best symmetry image for one shift."""
    best = (-1, 1e9)
    for rot, tra in ops:
        moved = placed_frac @ rot.T + tra + shift
        delta = moved - ref_frac
        centre = np.round(delta.mean(axis=0))
        # The model may straddle a cell edge: try the neighbouring lattice
        # translations of the rounded mean as well.
        for step in itertools.product((-1.0, 0.0, 1.0), repeat=3):
            d = (delta - centre - np.array(step)) @ orth.T
            dist2 = (d ** 2).sum(axis=1)
            within = int((dist2 < 4.0).sum())
            rmsd = float(np.sqrt(dist2.mean()))
            if (within, -rmsd) > (best[0], -best[1]):
                best = (within, rmsd)
    return best


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
    if sg.hm not in ORIGIN_SHIFTS:
        fail('no origin shifts listed for space group ' + sg.hm)
    placed_sg = placed_st.find_spacegroup()
    if placed_sg is None or placed_sg.hm != sg.hm:
        fail('the placed file is not in space group ' + sg.hm)

    cell = ref_st.cell
    frac = np.array(cell.frac.mat.tolist())
    orth = np.array(cell.orth.mat.tolist())
    ops = [(np.array(op.rot, dtype=float) / op.DEN, np.array(op.tran, dtype=float) / op.DEN)
           for op in sg.operations()]

    placed = calpha_chains(placed_st)
    ref = calpha_chains(ref_st)
    pairs = []
    for name in argv[3]:
        if name not in ref:
            fail('no chain ' + name + ' in the reference')
        keys = ref[name][0]
        matches = [p for p, (pkeys, _) in sorted(placed.items()) if pkeys == keys]
        if not matches:
            fail('no placed model matches reference chain ' + name)
        pairs.append((name, matches[0]))

    best = None
    for shift in ORIGIN_SHIFTS[sg.hm]:
        results = [closest_image(placed[p][1] @ frac.T, ref[r][1] @ frac.T, ops, np.array(shift), orth)
                   for r, p in pairs]
        total = sum(w for w, _ in results)
        if best is None or total > best[0]:
            best = (total, shift, results)
    _, shift, results = best
    for (r, p), (within, rmsd) in zip(pairs, results):
        n = len(ref[r][0])
        print(f'chain {r} model {p or "-"} within2 {within / n:.3f} rmsd {rmsd:.3f} '
              f'origin {shift[0]:g} {shift[1]:g} {shift[2]:g}')


if __name__ == '__main__':
    main(sys.argv)
