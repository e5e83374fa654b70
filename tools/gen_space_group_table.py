#!/usr/bin/python3
"""Writes src/crystal/space_group_table.cpp, the built-in table of the 230
space groups, from the CCP4 symmetry library (syminfo.lib).

Each line: short symbol, "(full name[,short name])", point-group symbol,
crystal system, P, N, then N operators as 12 integers (rotation rows, then the
translation in twelfths), then the permitted origin shifts in groups of three
(a negative component marks a free axis).

Settings: the CCP4 standard setting of each number (unique axis b with cell
choice 1, rhombohedral groups on hexagonal axes, origin choice 1 where there
are two).  Primitive operators come first, identity first; for centred
lattices the primitive block is repeated once per further centring vector,
translations reduced modulo 12.

Usage: /usr/bin/python3 tools/gen_space_group_table.py [syminfo.lib] [output.cpp]
"""
import os
import re
import sys
from fractions import Fraction

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_SYMINFO = "/usr/share/ccp4/syminfo.lib"
DEFAULT_OUTPUT = os.path.join(HERE, "..", "src", "crystal", "space_group_table.cpp")

# Number, short symbol and name field of every group, as the program prints them.
NAMES = """
1 P1 (P 1); 2 P-1 (P -1); 3 P2 (P 1 2 1); 4 P21 (P 1 21 1); 5 C2 (C 1 2 1); 6 Pm (P 1 m 1);
7 Pc (P 1 c 1); 8 Cm (C 1 m 1); 9 Cc (C 1 c 1); 10 P2/m (P 1 2/m 1); 11 P21/m (P 1 21/m 1);
12 C2/m (C 1 2/m 1); 13 P2/c (P 1 2/c 1); 14 P21/c (P 1 21/c 1); 15 C2/c (C 1 2/c 1);
16 P222 (P 2 2 2); 17 P2221 (P 2 2 21); 18 P21212 (P 21 21 2); 19 P212121 (P 21 21 21);
20 C2221 (C 2 2 21); 21 C222 (C 2 2 2); 22 F222 (F 2 2 2); 23 I222 (I 2 2 2);
24 I212121 (I 21 21 21); 25 Pmm2 (P m m 2); 26 Pmc21 (P m c 21); 27 Pcc2 (P c c 2);
28 Pma2 (P m a 2); 29 Pca21 (P c a 21); 30 Pnc2 (P n c 2); 31 Pmn21 (P m n 21);
32 Pba2 (P b a 2); 33 Pna21 (P n a 21); 34 Pnn2 (P n n 2); 35 Cmm2 (C m m 2);
36 Cmc21 (C m c 21); 37 Ccc2 (C c c 2); 38 Amm2 (A m m 2); 39 Abm2 (A b m 2);
40 Ama2 (A m a 2); 41 Aba2 (A b a 2); 42 Fmm2 (F m m 2); 43 Fdd2 (F d d 2); 44 Imm2 (I m m 2);
45 Iba2 (I b a 2); 46 Ima2 (I m a 2); 47 Pmmm (P 2/m 2/m 2/m,P m m m);
48 Pnnn (P 2/n 2/n 2/n,P n n n); 49 Pccm (P 2/c 2/c 2/m,P c c m);
50 Pban (P 2/b 2/a 2/n,P b a n); 51 Pmma (P 21/m 2/m 2/a,P m m a);
52 Pnna (P 2/n 21/n 2/a,P n n a); 53 Pmna (P 2/m 2/n 21/a,P m n a);
54 Pcca (P 21/c 2/c 2/a,P c c a); 55 Pbam (P 21/b 21/a 2/m,P b a m);
56 Pccn (P 21/c 21/c 2/n,P c c n); 57 Pbcm (P 2/b 21/c 21/m,P b c m);
58 Pnnm (P 21/n 21/n 2/m,P n n m); 59 Pmmn (P 21/m 21/m 2/n,P m m n);
60 Pbcn (P 21/b 2/c 21/n,P b c n); 61 Pbca (P 21/b 21/c 21/a,P b c a);
62 Pnma (P 21/n 21/m 21/a,P n m a); 63 Cmcm (C 2/m 2/c 21/m,C m c m);
64 Cmca (C 2/m 2/c 21/a,C m c a); 65 Cmmm (C 2/m 2/m 2/m,C m m m);
66 Cccm (C 2/c 2/c 2/m,C c c m); 67 Cmma (C 2/m 2/m 2/a,C m m a);
68 Ccca (C 2/c 2/c 2/a,C c c a); 69 Fmmm (F 2/m 2/m 2/m,F m m m);
70 Fddd (F 2/d 2/d 2/d,F d d d); 71 Immm (I 2/m 2/m 2/m,I m m m);
72 Ibam (I 2/b 2/a 2/m,I b a m); 73 Ibca (I 21/b 21/c 21/a,I b c a);
74 Imma (I 21/m 21/m 21/a,I m m a); 75 P4 (P 4); 76 P41 (P 41); 77 P42 (P 42); 78 P43 (P 43);
79 I4 (I 4); 80 I41 (I 41); 81 P-4 (P -4); 82 I-4 (I -4); 83 P4/m (P 4/m); 84 P42/m (P 42/m);
85 P4/n (P 4/n); 86 P42/n (P 42/n); 87 I4/m (I 4/m); 88 I41/a (I 41/a); 89 P422 (P 4 2 2);
90 P4212 (P 4 21 2); 91 P4122 (P 41 2 2); 92 P41212 (P 41 21 2); 93 P4222 (P 42 2 2);
94 P42212 (P 42 21 2); 95 P4322 (P 43 2 2); 96 P43212 (P 43 21 2); 97 I422 (I 4 2 2);
98 I4122 (I 41 2 2); 99 P4mm (P 4 m m); 100 P4bm (P 4 b m); 101 P42cm (P 42 c m);
102 P42nm (P 42 n m); 103 P4cc (P 4 c c); 104 P4nc (P 4 n c); 105 P42mc (P 42 m c);
106 P42bc (P 42 b c); 107 I4mm (I 4 m m); 108 I4cm (I 4 c m); 109 I41md (I 41 m d);
110 I41cd (I 41 c d); 111 P-42m (P -4 2 m); 112 P-42c (P -4 2 c); 113 P-421m (P -4 21 m);
114 P-421c (P -4 21 c); 115 P-4m2 (P -4 m 2); 116 P-4c2 (P -4 c 2); 117 P-4b2 (P -4 b 2);
118 P-4n2 (P -4 n 2); 119 I-4m2 (I -4 m 2); 120 I-4c2 (I -4 c 2); 121 I-42m (I -4 2 m);
122 I-42d (I -4 2 d); 123 P4/mmm (P 4/m 2/m 2/m,P4/m m m); 124 P4/mcc (P 4/m 2/c 2/c,P4/m c c);
125 P4/nbm (P 4/n 2/b 2/m,P4/n b m); 126 P4/nnc (P 4/n 2/n 2/c,P4/n n c);
127 P4/mbm (P 4/m 21/b 2/m,P4/m b m); 128 P4/mnc (P 4/m 21/n 2/c,P4/m n c);
129 P4/nmm (P 4/n 21/m 2/m,P4/n m m); 130 P4/ncc (P 4/n 2/c 2/c,P4/n c c);
131 P42/mmc (P 42/m 2/m 2/c,P42/m m c); 132 P42/mcm (P 42/m 2/c 2/m,P42/m c m);
133 P42/nbc (P 42/n 2/b 2/c,P42/n b c); 134 P42/nnm (P 42/n 2/n 2/m,P42/n n m);
135 P42/mbc (P 42/m 21/b 2/c,P42/m b c); 136 P42/mnm (P 42/m 21/n 2/m,P42/m n m);
137 P42/nmc (P 42/n 21/m 2/c,P42/n m c); 138 P42/ncm (P 42/n 21/c 2/m,P42/n c m);
139 I4/mmm (I 4/m 2/m 2/m,I4/m m m); 140 I4/mcm (I 4/m 2/c 2/m,I4/m c m);
141 I41/amd (I 41/a 2/m 2/d,I41/a m d); 142 I41/acd (I 41/a 2/c 2/d,I41/a c d);
143 P3 (P 3); 144 P31 (P 31); 145 P32 (P 32); 146 R3 (R 3); 147 P-3 (P -3); 148 R-3 (R -3);
149 P312 (P 3 1 2); 150 P321 (P 3 2 1); 151 P3112 (P 31 1 2); 152 P3121 (P 31 2 1);
153 P3212 (P 32 1 2); 154 P3221 (P 32 2 1); 155 R32 (R 3 2); 156 P3m1 (P 3 m 1);
157 P31m (P 3 1 m); 158 P3c1 (P 3 c 1); 159 P31c (P 3 1 c); 160 R3m (R 3 m); 161 R3c (R 3 c);
162 P-31m (P -3 1 2/m,P -3 1 m); 163 P-31c (P -3 1 2/c,P -3 1 c); 164 P-3m1 (P -3 2/m 1,P -3 m 1);
165 P-3c1 (P -3 2/c 1,P -3 c 1); 166 R-3m (R -3 2/m,R -3 m); 167 R-3c (R -3 2/c,R -3 c);
168 P6 (P 6); 169 P61 (P 61); 170 P65 (P 65); 171 P62 (P 62); 172 P64 (P 64); 173 P63 (P 63);
174 P-6 (P -6); 175 P6/m (P 6/m); 176 P63/m (P 63/m); 177 P622 (P 6 2 2); 178 P6122 (P 61 2 2);
179 P6522 (P 65 2 2); 180 P6222 (P 62 2 2); 181 P6422 (P 64 2 2); 182 P6322 (P 63 2 2);
183 P6mm (P 6 m m); 184 P6cc (P 6 c c); 185 P63cm (P 63 c m); 186 P63mc (P 63 m c);
187 P-6m2 (P -6 m 2); 188 P-6c2 (P -6 c 2); 189 P-62m (P -6 2 m); 190 P-62c (P -6 2 c);
191 P6/mmm (P 6/m 2/m 2/m,P 6/m m m); 192 P6/mcc (P 6/m 2/c 2/c,P 6/m c c);
193 P63/mcm (P 63/m 2/c 2/m,P 63/m c m); 194 P63/mmc (P 63/m 2/m 2/c,P 63/m m c);
195 P23 (P 2 3); 196 F23 (F 2 3); 197 I23 (I 2 3); 198 P213 (P 21 3); 199 I213 (I 21 3);
200 Pm-3 (P 2/m -3,P m -3); 201 Pn-3 (P 2/n -3,P n -3); 202 Fm-3 (F 2/m -3,F m -3);
203 Fd-3 (F 2/d -3,F d -3); 204 Im-3 (I 2/m -3,I m -3); 205 Pa-3 (P 21/a -3,P a -3);
206 Ia-3 (I 21/a -3,I a -3); 207 P432 (P 4 3 2); 208 P4232 (P 42 3 2); 209 F432 (F 4 3 2);
210 F4132 (F 41 3 2); 211 I432 (I 4 3 2); 212 P4332 (P 43 3 2); 213 P4132 (P 41 3 2);
214 I4132 (I 41 3 2); 215 P-43m (P -4 3 m); 216 F-43m (F -4 3 m); 217 I-43m (I -4 3 m);
218 P-43n (P -4 3 n); 219 F-43c (F -4 3 c); 220 I-43d (I -4 3 d);
221 Pm-3m (P 4/m -3 2/m,P m -3 m); 222 Pn-3n (P 4/n -3 2/n,P n -3 n);
223 Pm-3n (P 42/m -3 2/n,P m -3 n); 224 Pn-3m (P 42/n -3 2/m,P n -3 m);
225 Fm-3m (F 4/m -3 2/m,F m -3 m); 226 Fm-3c (F 4/m -3 2/c,F m -3 c);
227 Fd-3m (F 41/d -3 2/m,F d -3 m); 228 Fd-3c (F 41/d -3 2/c,F d -3 c);
229 Im-3m (I 4/m -3 2/m,I m -3 m); 230 Ia-3d (I 41/a -3 2/d,I a -3 d)
"""

# (point-group symbol, crystal system, number ranges, P)
POINT_GROUPS = [
    ("1", "triclinic", [(1, 1)], 1),
    ("1bar", "triclinic", [(2, 2)], 2),
    ("2", "monoclinic", [(3, 5)], 2),
    ("m", "monoclinic", [(6, 9)], 2),
    ("2/m", "monoclinic", [(10, 15)], 4),
    ("222", "orthorhombic", [(16, 24)], 4),
    ("mm2", "orthorhombic", [(25, 46)], 4),
    ("mmm", "orthorhombic", [(47, 74)], 8),
    ("4", "tetragonal", [(75, 80)], 4),
    ("4bar", "tetragonal", [(81, 82)], 4),
    ("4/m", "tetragonal", [(83, 88)], 8),
    ("422", "tetragonal", [(89, 98)], 8),
    ("4mm", "tetragonal", [(99, 110)], 8),
    ("4bar2m", "tetragonal", [(111, 114), (121, 122)], 8),
    ("4barm2", "tetragonal", [(115, 120)], 8),
    ("4/mmm", "tetragonal", [(123, 142)], 16),
    ("3", "trigonal", [(143, 146)], 3),
    ("3bar", "trigonal", [(147, 148)], 6),
    ("312", "trigonal", [(149, 149), (151, 151), (153, 153)], 6),
    ("321", "trigonal", [(150, 150), (152, 152), (154, 154)], 6),
    ("32", "trigonal", [(155, 155)], 6),
    ("3m1", "trigonal", [(156, 156), (158, 158)], 6),
    ("31m", "trigonal", [(157, 157), (159, 159)], 6),
    ("3m", "trigonal", [(160, 161)], 6),
    ("3bar1m", "trigonal", [(162, 163)], 12),
    ("3barm1", "trigonal", [(164, 165)], 12),
    ("3barm", "trigonal", [(166, 167)], 12),
    ("6", "hexagonal", [(168, 173)], 6),
    ("6bar", "hexagonal", [(174, 174)], 6),
    ("6/m", "hexagonal", [(175, 176)], 12),
    ("622", "hexagonal", [(177, 182)], 12),
    ("6mm", "hexagonal", [(183, 186)], 12),
    ("6barm2", "hexagonal", [(187, 188)], 12),
    ("6bar2m", "hexagonal", [(189, 190)], 12),
    ("6/mmm", "hexagonal", [(191, 194)], 24),
    ("23", "cubic", [(195, 199)], 12),
    ("m3bar", "cubic", [(200, 206)], 24),
    ("432", "cubic", [(207, 214)], 24),
    ("4bar3m", "cubic", [(215, 220)], 24),
    ("m3barm", "cubic", [(221, 230)], 48),
]

FREE = None  # a free origin component
H = Fraction(1, 2)
T1 = Fraction(1, 3)
T2 = Fraction(2, 3)
ORIGIN_SETS = {
    "A": [(FREE, FREE, FREE)],
    "B": [(0, 0, 0), (0, 0, H), (0, H, 0), (0, H, H), (H, 0, 0), (H, 0, H), (H, H, 0), (H, H, H)],
    "C": [(0, FREE, 0), (0, FREE, H), (H, FREE, 0), (H, FREE, H)],
    "D": [(0, 0, FREE), (0, H, FREE)],
    "E": [(0, 0, FREE), (0, H, FREE), (H, 0, FREE), (H, H, FREE)],
    "F": [(0, 0, FREE), (H, H, FREE)],
    "G": [(0, 0, 0), (0, 0, H), (H, H, 0), (H, H, H)],
    "H": [(0, 0, 0), (H, H, 0)],
    "I": [(0, 0, FREE), (T1, T2, FREE), (T2, T1, FREE)],
    "J": [(0, 0, 0), (0, 0, H)],
    "K": [(0, 0, 0), (0, 0, H), (T1, T2, 0), (T1, T2, H), (T2, T1, 0), (T2, T1, H)],
    "L": [(0, 0, FREE)],
    "M": [(0, 0, 0), (H, H, H)],
}

def spans(text):
    out = set()
    for part in text.split(","):
        part = part.strip()
        if "-" in part:
            a, b = part.split("-")
            out.update(range(int(a), int(b) + 1))
        else:
            out.add(int(part))
    return out

ORIGIN_NUMBERS = {
    "A": "1", "B": "2, 10-24, 47-74", "C": "3-5", "D": "6-9", "E": "25-46",
    "F": "75-80, 99-101, 103-106, 108-110", "G": "81-98, 111-142", "H": "102, 107",
    "I": "143-146, 156, 158, 160, 161",
    "J": "147, 148, 150, 152, 154, 155, 162-167, 175-182, 189-194",
    "K": "149, 151, 153, 174, 187, 188", "L": "157, 159, 168-173, 183-186", "M": "195-230",
}

# Centring vectors in twelfths, in the order the blocks are written.
CENTRING = {
    "P": [(0, 0, 0)],
    "A": [(0, 0, 0), (0, 6, 6)],
    "C": [(0, 0, 0), (6, 6, 0)],
    "I": [(0, 0, 0), (6, 6, 6)],
    "F": [(0, 0, 0), (0, 6, 6), (6, 0, 6), (6, 6, 0)],
    "R": [(0, 0, 0), (8, 4, 4), (4, 8, 8)],
}


def parse_names():
    entries = {}
    for item in " ".join(NAMES.split("\n")).split(";"):
        m = re.fullmatch(r"\s*(\d+) (\S+) (\(.*\))\s*", item)
        if not m:
            raise SystemExit("bad name entry: %r" % item)
        entries[int(m.group(1))] = (m.group(2), m.group(3))
    assert sorted(entries) == list(range(1, 231))
    return entries


def parse_op(text):
    """'-x+y,-x,z+1/3' -> (rotation rows, translation as Fractions)."""
    rows, trans = [], []
    for comp in text.lower().replace(" ", "").split(","):
        row = [0, 0, 0]
        t = Fraction(0)
        for sign, body in re.findall(r"([+-]?)([^+-]+)", comp):
            s = -1 if sign == "-" else 1
            if body in "xyz":
                row["xyz".index(body)] += s
            else:
                t += s * Fraction(body)
        rows.append(row)
        trans.append(t)
    return rows, trans


def read_syminfo(path):
    """Number -> (primitive operators, centring operators) of the setting
    whose CCP4 number equals the space-group number."""
    groups = {}
    block = None
    with open(path) as f:
        for raw in f:
            line = raw.strip()
            if line.startswith("begin_spacegroup"):
                block = {"symop": [], "cenop": []}
            elif line.startswith("end_spacegroup"):
                if block.get("number") is not None and block["number"] == block.get("ccp4"):
                    groups[block["number"]] = block
                block = None
            elif block is None:
                continue
            elif line.startswith("number"):
                block["number"] = int(line.split()[1])
            elif line.startswith("symbol ccp4"):
                block["ccp4"] = int(line.split()[2])
            elif line.startswith("symop"):
                block["symop"].append(parse_op(line.split(None, 1)[1]))
            elif line.startswith("cenop"):
                block["cenop"].append(parse_op(line.split(None, 1)[1]))
    assert sorted(groups) == list(range(1, 231)), "syminfo.lib lacks some groups"
    return groups


def twelfths(t):
    v = t * 12
    assert v.denominator == 1, "translation not a multiple of 1/12"
    return int(v) % 12


def fmt_origin(v):
    if v is FREE:
        return "-999.9"
    return {Fraction(0): "0.0", H: "0.5", T1: "0.3333333333333333", T2: "0.6666666666666667"}[Fraction(v)]


def build_line(n, names, block):
    symbol, name_field = names[n]
    lattice = name_field[1]
    pg = [p for p in POINT_GROUPS if any(a <= n <= b for a, b in p[2])]
    assert len(pg) == 1
    pg_symbol, system, _, primitive = pg[0]

    prim = []
    for rows, trans in block["symop"]:
        prim.append((rows, [twelfths(t) for t in trans]))
    identity = ([[1, 0, 0], [0, 1, 0], [0, 0, 1]], [0, 0, 0])
    assert prim[0] == identity, "first operator of %d is not the identity" % n
    assert len(prim) == primitive, "group %d: %d primitive operators" % (n, len(prim))

    vectors = CENTRING[lattice]
    cen = sorted(tuple(twelfths(t) for t in trans) for rows, trans in block["cenop"])
    assert cen == sorted(vectors), "group %d: centring %s" % (n, cen)

    words = [symbol, name_field, pg_symbol, system, str(primitive), str(primitive * len(vectors))]
    for v in vectors:
        for rows, t in prim:
            words += [str(x) for row in rows for x in row]
            words += [str((t[i] + v[i]) % 12) for i in range(3)]

    origin_set = [k for k, numbers in ORIGIN_NUMBERS.items() if n in spans(numbers)]
    assert len(origin_set) == 1
    origins = [fmt_origin(c) for shift in ORIGIN_SETS[origin_set[0]] for c in shift]
    return " ".join(words) + "  " + " ".join(origins)


def cxx_string(s):
    return '"' + s.replace("\\", "\\\\").replace('"', '\\"') + '"'


def main():
    syminfo = sys.argv[1] if len(sys.argv) > 1 else DEFAULT_SYMINFO
    output = sys.argv[2] if len(sys.argv) > 2 else DEFAULT_OUTPUT
    names = parse_names()
    groups = read_syminfo(syminfo)
    lines = [build_line(n, names, groups[n]) for n in range(1, 231)]
    with open(output, "w") as out:
        out.write("// Generated by tools/gen_space_group_table.py from the CCP4 symmetry library.\n")
        out.write("// Do not edit by hand; rerun the script instead.\n")
        out.write('#include "crystal/space_group_table.hpp"\n\n')
        out.write("namespace zelt {\n\n")
        out.write("// Line n describes space group n; entries 0 and 231 are empty.\n")
        out.write("const char* const space_group_table[232] = {\n")
        out.write('    "",\n')
        for line in lines:
            out.write("    " + cxx_string(line) + ",\n")
        out.write('    "",\n')
        out.write("};\n\n}  // namespace zelt\n")


if __name__ == "__main__":
    main()
