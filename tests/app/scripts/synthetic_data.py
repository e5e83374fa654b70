"""Synthetic test data for a complete search: the search model placed at a
known orientation and position in a P212121 cell, and its calculated
amplitudes (by gemmi, independently of the program) written as an MTZ file.

usage: synthetic_data.py model.pdb out.mtz truth.pdb d_min
"""
import gemmi, math, sys, numpy as np
src, out_mtz, out_truth, dmin = sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4])
st = gemmi.read_structure(src)
st.setup_entities()
model = st[0]
# centre the model on the mean of its atoms
pos = np.array([a.pos.tolist() for ch in model for r in ch for a in r])
centre = pos.mean(axis=0)
# known rotation (about an oblique axis) and translation
ax = np.array([1.0, 2.0, 3.0]); ax /= np.linalg.norm(ax); ang = math.radians(37.0)
K = np.array([[0,-ax[2],ax[1]],[ax[2],0,-ax[0]],[-ax[1],ax[0],0]])
R = np.eye(3) + math.sin(ang)*K + (1-math.cos(ang))*K@K
cell = gemmi.UnitCell(70, 80, 90, 90, 90, 90)
t_frac = np.array([0.21, 0.33, 0.12])
t_cart = np.array(cell.orthogonalize(gemmi.Fractional(*t_frac)).tolist())
for ch in model:
    for r in ch:
        for a in r:
            p = R @ (np.array(a.pos.tolist()) - centre) + t_cart
            a.pos = gemmi.Position(*p)
st.cell = cell
st.spacegroup_hm = 'P 21 21 21'
st.setup_cell_images()
st.write_pdb(out_truth)
calc = gemmi.StructureFactorCalculatorX(st.cell)
sg = gemmi.SpaceGroup('P 21 21 21')
ops = sg.operations()
mtz = gemmi.Mtz(with_base=True)
mtz.spacegroup = sg
mtz.set_cell_for_all(cell)
mtz.add_dataset('synthetic')
mtz.add_column('FP', 'F')
mtz.add_column('SIGFP', 'Q')
rows = []
hmax = [int(cell.a/dmin)+1, int(cell.b/dmin)+1, int(cell.c/dmin)+1]
for h in range(0, hmax[0]+1):
    for k in range(0, hmax[1]+1):
        for l in range(0, hmax[2]+1):
            if (h,k,l) == (0,0,0): continue
            d = cell.calculate_d([h,k,l])
            if d < dmin or d > 30: continue
            if ops.is_systematically_absent([h,k,l]): continue
            f = abs(calc.calculate_sf_from_model(st[0], [h,k,l]))
            rows.append([h,k,l,f,1.0])
mtz.set_data(np.array(rows, dtype=np.float32))
mtz.write_to_file(out_mtz)
print(len(rows))
