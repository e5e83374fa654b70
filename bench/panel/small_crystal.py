"""A small synthetic crystal: two copies of a ~50-residue piece of a known
model in a small orthorhombic cell, with amplitudes computed from the atoms
(their own B-factors), a flat-mask bulk-solvent contribution and noise.

The structure factors are summed here with numpy over every atom of the unit
cell, F(h) = sum_j f_j(s) exp(-B_j s^2/4) exp(2 pi i h.x_j), with gemmi's
IT92 form factors; the solvent mask comes from gemmi's masker and is Fourier
transformed with numpy in the same sign convention.

The copies are placed at random where no C-alpha atom comes within 4 A of
one of another copy or symmetry mate; side chains may still interpenetrate
at the contacts.  The cell (38 x 39 x 64 A, about 43% solvent) is the
smallest near 35 x 36 x 61 A where such random packing succeeds quickly.
"""
import gemmi
import numpy as np

import models

SPACE_GROUP = 'P 21 21 2'
CELL = (38.0, 39.0, 64.0, 90.0, 90.0, 90.0)
PIECE_LENGTH = 50
D_MIN, D_MAX = 2.0, 30.0
K_SOL, B_SOL = 0.35, 46.0         # flat bulk-solvent model (e/A^3, A^2)
CA_CONTACT = 4.0                   # closest C-alpha approach between copies, A


def compact_piece(st, length=PIECE_LENGTH):
    """The unbroken stretch of `length` residues with the smallest C-alpha
    radius of gyration: a piece that could fold on its own."""
    res = models.residues(st)
    ca = models.calpha_array(st)
    gaps = np.linalg.norm(np.diff(ca, axis=0), axis=1) > 4.2
    best = None
    for start in range(len(res) - length + 1):
        if gaps[start:start + length - 1].any():
            continue
        window = ca[start:start + length]
        rg = np.sqrt(((window - window.mean(axis=0)) ** 2).sum(axis=1).mean())
        if best is None or rg < best[0]:
            best = (rg, start)
    keep = set(range(best[1], best[1] + length))
    out = st.clone()
    index = 0
    for ch in out[0]:
        drop = [i for i in range(len(ch)) if index + i not in keep]
        index += len(ch)
        for i in reversed(drop):
            del ch[i]
    out.remove_empty_chains()
    return out


def random_rotation(rng):
    q = rng.standard_normal(4)
    w, x, y, z = q / np.linalg.norm(q)
    return np.array([[1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)],
                     [2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)],
                     [2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)]])


def symmetry_ops(sg):
    return [(np.array(op.rot, dtype=float) / op.DEN, np.array(op.tran, dtype=float) / op.DEN)
            for op in sg.operations()]


def cell_images(frac, ops, near):
    """Every symmetry image of the fractional coordinates, each brought next
    to the fractional point `near` by a lattice translation and also with the
    neighbouring translations; the coordinates themselves come first."""
    shifts = sorted(np.ndindex(3, 3, 3), key=lambda s: s != (1, 1, 1))
    images = []
    for k, (rot, tra) in enumerate(ops):
        image = frac @ rot.T + tra
        if k:
            image = image - np.round(image.mean(axis=0) - near)
        images += [image + np.array(s) - 1.0 for s in shifts]
    return images


def clashes(cell, ops, placed, trial):
    """Whether the trial copy (fractional C-alpha) comes closer than
    CA_CONTACT to any image of itself or of the copies placed already."""
    orth = np.array(cell.orth.mat.tolist())
    t = trial @ orth.T
    centre = t.mean(axis=0)
    reach = 2 * np.sqrt(((t - centre) ** 2).sum(axis=1).max()) + CA_CONTACT
    near = trial.mean(axis=0)
    images = cell_images(trial, ops, near)[1:] + [im for p in placed for im in cell_images(p, ops, near)]
    for image in images:
        xyz = image @ orth.T
        if np.linalg.norm(xyz.mean(axis=0) - centre) > reach:
            continue
        d = xyz[:, None, :] - t[None, :, :]
        if ((d ** 2).sum(axis=2) < CA_CONTACT ** 2).any():
            return True
    return False


def pack_copies(piece, copies, rng, tries=200, restarts=200):
    """Orthogonal-frame motions of `copies` copies of the piece, each turned
    and placed at random where it does not clash with any symmetry image; a
    copy that finds no room in `tries` throws the copies placed so far away."""
    cell = gemmi.UnitCell(*CELL)
    ops = symmetry_ops(gemmi.SpaceGroup(SPACE_GROUP))
    frac = np.array(cell.frac.mat.tolist())
    ca = models.calpha_array(piece)
    centre = ca.mean(axis=0)
    for _ in range(restarts):
        placed, motions = [], []
        for _ in range(tries * copies):
            rot = random_rotation(rng)
            shift = np.array(cell.orth.mat.tolist()) @ rng.random(3) - rot @ centre
            trial = (ca @ rot.T + shift) @ frac.T
            if not clashes(cell, ops, placed, trial):
                placed.append(trial)
                motions.append((rot, shift))
                if len(placed) == copies:
                    return motions
    raise RuntimeError('could not pack %d copies without clashes' % copies)


def true_structure(piece, motions):
    """The crystal's asymmetric unit: one chain per copy, A, B, ..."""
    st = gemmi.Structure()
    st.cell = gemmi.UnitCell(*CELL)
    st.spacegroup_hm = SPACE_GROUP
    model = gemmi.Model('1')
    for k, (rot, shift) in enumerate(motions):
        moved = models.transform(piece, rot, shift)
        chain = gemmi.Chain('ABCDEFGH'[k])
        for res in models.residues(moved):
            chain.add_residue(res)
        model.add_chain(chain)
    st.add_model(model)
    st.setup_entities()
    return st


def miller_indices(cell, sg):
    hkl = np.array(gemmi.make_miller_array(cell, sg, D_MIN, D_MAX))
    return hkl[~np.all(hkl == 0, axis=1)]


def unit_cell_atoms(st, ops):
    """Fractional coordinates, elements and B-factors of every atom of the
    unit cell."""
    frac = np.array(st.cell.frac.mat.tolist())
    atoms = [(a.pos.tolist(), a.element.name, a.b_iso) for r in models.residues(st) for a in r]
    xyz = np.array([p for p, _, _ in atoms]) @ frac.T
    elements = [e for _, e, _ in atoms] * len(ops)
    bs = np.tile([b for _, _, b in atoms], len(ops))
    return np.concatenate([xyz @ rot.T + tra for rot, tra in ops]), elements, bs


def atomic_f(st, ops, hkl, stol2):
    xyz, elements, bs = unit_cell_atoms(st, ops)
    f = np.zeros(len(hkl), dtype=complex)
    form = {e: np.array([gemmi.Element(e).it92.calculate_sf(s) for s in stol2]) for e in set(elements)}
    for start in range(0, len(xyz), 500):
        part = slice(start, start + 500)
        phase = np.exp(2j * np.pi * (hkl @ xyz[part].T))
        weight = np.stack([form[e] for e in elements[part]], axis=1) * np.exp(-np.outer(stol2, bs[part]))
        f += (weight * phase).sum(axis=1)
    return f


def mask_f(st, hkl):
    """F of the flat solvent mask (1 in the solvent, 0 in the protein), in A^3."""
    grid = gemmi.FloatGrid()
    grid.setup_from(st, spacing=0.5)
    gemmi.SolventMasker(gemmi.AtomicRadiiSet.Refmac).put_mask_on_float_grid(grid, st[0])
    arr = np.array(grid, copy=False)
    transform = np.fft.ifftn(arr) * st.cell.volume
    n = np.array(arr.shape)
    idx = np.mod(hkl, n)
    return transform[idx[:, 0], idx[:, 1], idx[:, 2]]


def amplitudes(st, rng, noise=0.05):
    """Miller indices, F and sigma(F) of the crystal, to D_MIN."""
    sg = gemmi.SpaceGroup(SPACE_GROUP)
    hkl = miller_indices(st.cell, sg)
    stol2 = ((hkl @ np.array(st.cell.frac.mat.tolist())) ** 2).sum(axis=1) / 4
    total = atomic_f(st, symmetry_ops(sg), hkl, stol2) + \
        K_SOL * np.exp(-B_SOL * stol2) * mask_f(st, hkl)
    f = np.abs(total)
    sigma = np.sqrt((noise * f) ** 2 + (0.5 * noise * f.mean()) ** 2)
    fobs = np.abs(f + sigma * rng.standard_normal(len(f)))
    return hkl, fobs, sigma


def write_mtz(path, cell, hkl, f, sigma):
    mtz = gemmi.Mtz(with_base=True)
    mtz.spacegroup = gemmi.SpaceGroup(SPACE_GROUP)
    mtz.set_cell_for_all(cell)
    mtz.add_dataset('synthetic')
    mtz.add_column('FP', 'F')
    mtz.add_column('SIGFP', 'Q')
    mtz.set_data(np.column_stack([hkl, f, sigma]).astype(np.float32))
    mtz.write_to_file(path)
