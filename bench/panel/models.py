"""Search models for the bench panel, made from a known structure.

Coordinate errors that vary smoothly along the chain (as in a homolog or a
predicted model, where whole stretches are shifted together rather than
atoms scattered at random), side chains cut back to C-beta, and the rigid
motion that puts a model where a reference copy of it sits.
"""
import gemmi
import numpy as np

MAIN_CHAIN_AND_CB = ('N', 'CA', 'C', 'O', 'CB')


def residues(st):
    """The residues of the first model, in chain order."""
    return [res for ch in st[0] for res in ch]


def calpha_array(st):
    return np.array([a.pos.tolist() for res in residues(st) for a in res if a.name == 'CA'])


def smooth_errors(st, rms, rng, width=8.0):
    """Moves every residue as a rigid body by a displacement that varies
    smoothly along the chain (white noise smoothed by a Gaussian of `width`
    residues), without net translation, scaled so that the C-alpha atoms move
    by `rms` A RMS.  Returns a new structure."""
    out = st.clone()
    res = residues(out)
    noise = rng.standard_normal((len(res), 3))
    half = int(4 * width)
    kernel = np.exp(-0.5 * (np.arange(-half, half + 1) / width) ** 2)
    padded = np.pad(noise, ((half, half), (0, 0)), mode='reflect')
    field = np.stack([np.convolve(padded[:, k], kernel, mode='valid') for k in range(3)], axis=1)
    field -= field.mean(axis=0)
    field *= rms / np.sqrt((field ** 2).sum(axis=1).mean())
    for r, d in zip(res, field):
        for a in r:
            a.pos = gemmi.Position(*(np.array(a.pos.tolist()) + d))
    return out


def cut_to_cbeta(st):
    """Keeps the main chain and C-beta of every residue (names unchanged)."""
    out = st.clone()
    for r in residues(out):
        for i in reversed(range(len(r))):
            if r[i].name not in MAIN_CHAIN_AND_CB:
                del r[i]
    return out


def kabsch(moving, target):
    """Rotation R and translation t with moving @ R.T + t closest to target."""
    mc, tc = moving.mean(axis=0), target.mean(axis=0)
    u, _, vt = np.linalg.svd((moving - mc).T @ (target - tc))
    d = np.sign(np.linalg.det(vt.T @ u.T))
    rot = vt.T @ np.diag([1.0, 1.0, d]) @ u.T
    return rot, tc - mc @ rot.T


def transform(st, rot, shift):
    """A copy of st with every atom moved by x -> R x + t."""
    out = st.clone()
    for r in residues(out):
        for a in r:
            a.pos = gemmi.Position(*(rot @ np.array(a.pos.tolist()) + shift))
    return out


def placed_like(model, template, reference_calpha):
    """The model moved by the motion that superposes `template` (same
    residues, unperturbed) onto the reference C-alpha positions: the model at
    its true placement."""
    rot, shift = kabsch(calpha_array(template), reference_calpha)
    return transform(model, rot, shift)


def calpha_rmsd(a, b):
    return float(np.sqrt(((calpha_array(a) - calpha_array(b)) ** 2).sum(axis=1).mean()))
