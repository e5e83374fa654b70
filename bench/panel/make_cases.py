"""Generates the synthetic cases of the bench panel (bench/search_panel.sh).

usage: make_cases.py OUTDIR SEED EXAMPLES

EXAMPLES is the folder with beta_blip.mtz, beta.pdb and
reference_solution.pdb.  Writes, under OUTDIR:
  small/data.mtz      two copies of a ~50-residue piece of beta-lactamase in
                      P21212, 38 x 39 x 64 A, amplitudes to 2 A with bulk
                      solvent and noise (small/true.pdb: the crystal's atoms)
  small/model.pdb     the piece with smooth errors of 0.5 A RMS, B 20 A^2
  small/answer.pdb    the search model at both true placements (chains A, B)
  degraded/model.pdb  beta-lactamase with smooth errors of 1.5 A RMS, side
                      chains cut back to C-beta
  degraded/answer.pdb that model at beta-lactamase's place in the crystal
  ensemble/model.pdb  three such models, each with its own errors, as MODELs
  ensemble/answer.pdb its members at the true place, as the one chain the
                      program writes for a merged ensemble
  summary.txt         figures that show what was made
The output depends on SEED alone (numpy generators seeded from it).
"""
import os
import sys

import gemmi
import numpy as np

import models
import small_crystal

DEGRADED_RMS = 1.5
SMALL_MODEL_RMS = 0.5


def write(st, path, cell=None, space_group=None):
    st = st.clone()
    if cell is not None:
        st.cell = cell
        st.spacegroup_hm = space_group
    st.setup_entities()
    st.write_pdb(path)


def as_chain(st, name):
    """A one-model structure holding the residues of st as chain `name`."""
    out = gemmi.Structure()
    model = gemmi.Model('1')
    chain = gemmi.Chain(name)
    for res in models.residues(st):
        chain.add_residue(res)
    model.add_chain(chain)
    out.add_model(model)
    return out


def with_b(st, b):
    out = st.clone()
    for res in models.residues(out):
        for a in res:
            a.b_iso = b
    return out


def cc(a, b):
    return float(np.corrcoef(a, b)[0, 1])


def small_case(out, beta, seed, notes):
    rng = np.random.default_rng([seed, 1])
    piece = small_crystal.compact_piece(beta)
    crystal = small_crystal.true_structure(piece, small_crystal.pack_copies(piece, 2, rng))
    hkl, f, sigma = small_crystal.amplitudes(crystal, rng)
    os.makedirs(out, exist_ok=True)
    small_crystal.write_mtz(os.path.join(out, 'data.mtz'), crystal.cell, hkl, f, sigma)
    crystal.write_pdb(os.path.join(out, 'true.pdb'))
    model = with_b(models.smooth_errors(piece, SMALL_MODEL_RMS, rng), 20.0)
    write(as_chain(model, 'A'), os.path.join(out, 'model.pdb'))
    answer = gemmi.Structure()
    answer.add_model(gemmi.Model('1'))
    for ch in crystal[0]:
        target = np.array([a.pos.tolist() for r in ch for a in r if a.name == 'CA'])
        placed = as_chain(models.placed_like(model, piece, target), ch.name)
        answer[0].add_chain(placed[0][0])
    write(answer, os.path.join(out, 'answer.pdb'), crystal.cell, crystal.spacegroup_hm)
    first = models.residues(piece)[0].seqid.num
    notes.append(f'small: residues {first}-{first + len(models.residues(piece)) - 1} of beta.pdb, '
                 f'{len(hkl)} reflections {small_crystal.D_MAX:g}-{small_crystal.D_MIN:g} A, '
                 f'model C-alpha error {models.calpha_rmsd(model, piece):.2f} A')


def degraded(beta, rng):
    return models.cut_to_cbeta(models.smooth_errors(beta, DEGRADED_RMS, rng))


def degraded_cases(out, beta, reference, seed, notes):
    """The degraded model (stream 2) and the ensemble (streams 3 to 5), each
    with its answer: the model at beta-lactamase's true place; for the
    ensemble its first member, which the program writes as the first of its
    MODEL records."""
    ref_ca = np.array([a.pos.tolist() for r in reference[0]['A'] for a in r if a.name == 'CA'])
    members = [degraded(beta, np.random.default_rng([seed, 2 + k])) for k in range(4)]
    for name, chosen in (('degraded', members[:1]), ('ensemble', members[1:])):
        os.makedirs(os.path.join(out, name), exist_ok=True)
        answer = as_chain(models.placed_like(chosen[0], beta, ref_ca), 'A')
        write(answer, os.path.join(out, name, 'answer.pdb'), reference.cell, reference.spacegroup_hm)
    write(members[0], os.path.join(out, 'degraded', 'model.pdb'))
    ensemble = gemmi.Structure()
    for k, m in enumerate(members[1:]):
        model = gemmi.Model(str(k + 1))
        model.add_chain(m[0][0])
        ensemble.add_model(model)
    write(ensemble, os.path.join(out, 'ensemble', 'model.pdb'))
    rmsds = ' '.join(f'{models.calpha_rmsd(m, beta):.2f}' for m in members)
    notes.append(f'degraded, ensemble members 1-3: C-alpha RMSD to beta.pdb {rmsds} A')


def main(argv):
    if len(argv) != 4:
        sys.exit('usage: make_cases.py OUTDIR SEED EXAMPLES')
    out, seed, examples = argv[1], int(argv[2]), argv[3]
    beta = gemmi.read_structure(os.path.join(examples, 'beta.pdb'))
    beta.remove_hydrogens()
    reference = gemmi.read_structure(os.path.join(examples, 'reference_solution.pdb'))
    notes = [f'seed {seed}']
    small_case(os.path.join(out, 'small'), beta, seed, notes)
    degraded_cases(out, beta, reference, seed, notes)
    with open(os.path.join(out, 'summary.txt'), 'w') as f:
        f.write('\n'.join(notes) + '\n')


if __name__ == '__main__':
    main(sys.argv)
