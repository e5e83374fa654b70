"""Free-R flags and sigmas carried from a data file into a zelt map-coefficient file.

usage: carried_columns.py add-flags IN.mtz OUT.mtz
         writes IN with a FreeR_flag column (type I, values 0-19 from the index)
       carried_columns.py compare DATA.mtz SIGMA-LABEL MAP.mtz
         prints "rows N matched M sigma S flag F": the map file's rows, those
         whose index (moved to the asymmetric unit) is in the data file, and
         the largest differences of SIGFP and FreeR_flag from the data's values
"""
import sys

import gemmi
import numpy as np


def flag_of(h, k, l):
    return (7 * h + 3 * k + 11 * l) % 20


if sys.argv[1] == "add-flags":
    mtz = gemmi.read_mtz_file(sys.argv[2])
    a = np.array(mtz, copy=True)
    mtz.add_column("FreeR_flag", "I")
    flags = np.array([flag_of(*map(int, row[:3])) for row in a], dtype=np.float32)
    mtz.set_data(np.column_stack([a, flags]).astype(np.float32))
    mtz.write_to_file(sys.argv[3])
    sys.exit(0)

data = gemmi.read_mtz_file(sys.argv[2])
sigma_label = sys.argv[3]
out = gemmi.read_mtz_file(sys.argv[4])
asu = gemmi.ReciprocalAsu(data.spacegroup)
ops = data.spacegroup.operations()
d = np.array(data, copy=False)
dcol = {c.label: i for i, c in enumerate(data.columns)}
known = {}
for row in d:
    hkl = [int(x) for x in row[:3]]
    key = tuple(asu.to_asu(hkl, ops)[0])
    known[key] = (row[dcol[sigma_label]], flag_of(*hkl))
o = np.array(out, copy=False)
ocol = {c.label: i for i, c in enumerate(out.columns)}
matched, sigma, flag = 0, 0.0, 0.0
for row in o:
    key = tuple(int(x) for x in row[:3])
    if key not in known:
        continue
    matched += 1
    sigma = max(sigma, abs(row[ocol["SIGFP"]] - known[key][0]))
    if "FreeR_flag" in ocol:
        flag = max(flag, abs(row[ocol["FreeR_flag"]] - known[key][1]))
print("rows %d matched %d sigma %g flag %g" % (len(o), matched, sigma, flag))
