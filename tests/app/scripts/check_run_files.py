"""Independent checks of the files of a zelt run, with gemmi.

usage: check_run_files.py PDB MTZ
Prints, one per line:
  cc FP-FC-correlation        (unweighted Pearson over all reflections)
  cell a b c alpha beta gamma / pdbcell ... / sg MTZ-space-group PDB-space-group
  columns LABELS
  phase mean-difference-strong count-strong   (degrees, against gemmi's own
        structure factors of the PDB file, for the strongest 20 % of FC)
  ampcc correlation of FC with gemmi's |F|
  fwt largest deviation, relative to FP, of FWT exp(i PHWT) - DELFWT exp(i PHDELWT)
      from FOM FP exp(i PHIC) (acentric), of FWT exp(i PHWT) from it (centric)
"""
import math
import sys

import gemmi
import numpy as np

pdb, mtz_name = sys.argv[1], sys.argv[2]
mtz = gemmi.read_mtz_file(mtz_name)
a = np.array(mtz, copy=False)
col = {c.label: i for i, c in enumerate(mtz.columns)}
fp, fc, phic = a[:, col["FP"]], a[:, col["FC"]], a[:, col["PHIC"]]
print("cc %.6f" % np.corrcoef(fp, fc)[0, 1])
print("columns " + " ".join(c.label + ":" + c.type for c in mtz.columns))
st = gemmi.read_structure(pdb)
print("cell %.3f %.3f %.3f %.2f %.2f %.2f" % tuple(mtz.cell.parameters))
print("pdbcell %.3f %.3f %.3f %.2f %.2f %.2f" % tuple(st.cell.parameters))
print("sg %s %s" % (mtz.spacegroup.hm, gemmi.find_spacegroup_by_name(st.spacegroup_hm).hm))

calc = gemmi.StructureFactorCalculatorX(st.cell)
hkl = a[:, 0:3].astype(int)
ref = np.array([calc.calculate_sf_from_model(st[0], [int(h), int(k), int(l)]) for h, k, l in hkl])
strong = fc >= np.quantile(fc, 0.8)
diff = np.abs((np.degrees(np.angle(ref[strong])) - phic[strong] + 180.0) % 360.0 - 180.0)
print("phase %.3f %d" % (diff.mean(), strong.sum()))
print("ampcc %.6f" % np.corrcoef(fc, np.abs(ref))[0, 1])
fwt = a[:, col["FWT"]] * np.exp(1j * np.radians(a[:, col["PHWT"]]))
delfwt = a[:, col["DELFWT"]] * np.exp(1j * np.radians(a[:, col["PHDELWT"]]))
ops = mtz.spacegroup.operations()
centric = np.array([ops.is_reflection_centric([int(h), int(k), int(l)]) for h, k, l in hkl])
want = a[:, col["FOM"]] * fp * np.exp(1j * np.radians(phic))
got = np.where(centric, fwt, fwt - delfwt)
print("fwt %.6f" % np.max(np.abs(got - want) / np.maximum(fp, 1.0)))
