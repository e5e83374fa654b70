#!/usr/bin/python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/.

The seeds are cut from the example files (a few lines of each coordinate
file, a few dozen rows of the MTZ file) and from the kinds of lines the
reader tests use, so that each stays small. Run with Debian's python3, which
has gemmi: /usr/bin/python3 fuzz/make_seeds.py
"""
import os
import struct
import gemmi
import numpy

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
corpus = os.path.join(root, 'fuzz', 'corpus')
examples = os.path.join(root, 'examples', 'beta-blip')


def write(target, name, data):
    folder = os.path.join(corpus, target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode()
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


def head(path, n):
    with open(path) as f:
        return ''.join(f.readlines()[:n])


def mtz_seeds():
    mtz = gemmi.read_mtz_file(os.path.join(examples, 'beta_blip.mtz'))
    data = numpy.array(mtz, copy=False)
    small = gemmi.Mtz(with_base=True)
    small.spacegroup = mtz.spacegroup
    small.set_cell_for_all(mtz.cell)
    small.add_dataset('x')
    small.add_column('Fobs', 'F')
    small.add_column('Sigma', 'Q')
    small.set_data(data[:24])
    small.write_to_file('/tmp/zelt-seed.mtz')
    with open('/tmp/zelt-seed.mtz', 'rb') as f:
        amplitudes = f.read()
    write('mtz', 'amplitudes.mtz', amplitudes)
    rows = data[:16].copy()
    rows[1, 3] = numpy.nan
    rows[2, 3] = numpy.inf
    rows[3, 4] = numpy.nan
    intens = gemmi.Mtz(with_base=True)
    intens.spacegroup = gemmi.SpaceGroup('P 21 21 21')
    intens.set_cell_for_all(gemmi.UnitCell(50, 60, 70, 90, 90, 90))
    intens.add_dataset('x')
    intens.add_column('IMEAN', 'J')
    intens.add_column('SIGIMEAN', 'Q')
    intens.add_column('I(+)', 'K')
    intens.add_column('SIGI(+)', 'M')
    rows = numpy.hstack([rows, rows[:, 3:5]])
    intens.set_data(rows)
    intens.write_to_file('/tmp/zelt-seed.mtz')
    with open('/tmp/zelt-seed.mtz', 'rb') as f:
        intensities = f.read()
    write('mtz', 'intensities.mtz', intensities)
    # The big-endian twin of the amplitude file: header pointer and data
    # words swapped, machine stamp 0x11.
    header = struct.unpack('<i', amplitudes[4:8])[0]
    end = 4 * (header - 1)
    twin = bytearray(amplitudes)
    twin[4:8] = struct.pack('>i', header)
    twin[8] = 0x11
    twin[9] = 0x11
    for at in range(80, end, 4):
        twin[at:at + 4] = amplitudes[at:at + 4][::-1]
    write('mtz', 'big_endian.mtz', bytes(twin))
    os.remove('/tmp/zelt-seed.mtz')


def pdb_seeds():
    write('pdb', 'beta_head.pdb', head(os.path.join(examples, 'beta.pdb'), 12))
    write('pdb', 'blip_head.pdb', head(os.path.join(examples, 'blip.pdb'), 12))
    atom = 'ATOM  %5d %-4s %3s %1s%4d    %8.3f%8.3f%8.3f%6.2f%6.2f      %-4s%2s\n'
    lines = [atom % (1, ' CA ', 'ALA', 'A', 1, 1.0, 2.0, 3.0, 1.0, 20.0, 'SEGA', ' C'),
             atom % (2, ' HB1', 'ALA', 'A', 1, 1.5, 2.5, 3.5, 0.5, 30.0, 'SEGB', ' H'),
             atom % (3, 'FE  ', 'HEM', 'B', 2, 4.0, 5.0, 6.0, 1.0, 15.0, '', 'FE'),
             'HETATM    4 ZN    ZN A 301      10.000  11.000  12.000  1.00 40.00          ZN\n',
             'ATOM      5  O   HOH     1      1.000   2.000   3.000\n',
             'ATOM      6  N   GLY     1      1.000   2.000   3.000  1.00\n',
             'ATOM      7  C   GLY     1        nan   2.000   3.000  1.00 20.00\n',
             'END\n']
    write('pdb', 'records.pdb', ''.join(lines))


def model_list_seeds():
    write('model_list', 'two.list', 'a.pdb b.pdb\n')
    write('model_list', 'nested.list', 'a.pdb\n@list\n')
    write('model_list', 'stdin.list', '-\n a.pdb\t./a.pdb\n')
    write('model_list', 'missing.list', 'absent.pdb\n')


def reflection_text_seeds():
    header = '    1\n -987\n   73.580   38.730   23.190   90.000   90.000   90.000 p212121\n'
    sca = header + ('   1   2   3   100.0    10.0\n'
                    '   1   2   3   400.0    20.0     0.0    -1.0\n'
                    '   1   2   4     0.0    -1.0   900.0    30.0\n'
                    '   2   2   4    50.0    -1.0    60.0    -1.0\n'
                    '   2   3   4     nan     1.0\n')
    write('reflection_text', 'scalepack', b'\x00' + sca.encode())
    text = '1 2 3 10.5\n2 0 1 20 2 99 98\n1 2 3 -4 0.5\r\n3 3 3 inf 1\n4 4 4 5 nan\n'
    write('reflection_text', 'plain', b'\x01' + text.encode())
    write('reflection_text', 'cell_text', b'\x02' + b'50.5 60 70 90 100.5 90 4\n')
    write('reflection_text', 'cell_scalepack', b'\x03' + header.encode())


def configuration_seeds():
    write('configuration', 'file', 'attempts=3 evolution.generations=10\n\nresolution.high=2.5\n')
    write('configuration', 'definitions',
          '-Pevolution.population=20\n-Ptarget.type=rfactor\noptimize.orientation=false\n')
    write('configuration', 'derivation',
          'optimize.spacegroup=true\noptimize.copies=true\ncopies=2\n-Pevolution.selection.rate.ending=0.5\n')


def option_seeds():
    write('options', 'clusters', b'-RS\0-g0\0-n\x003\0x.mtz\0m.pdb')
    write('options', 'slash', b'/g5\0/Pattempts=2\0-v\x002\0/x.mtz')
    write('options', 'values', b'-h\x002.5\0-l80\0-w1\0-Z\0FP\0-s\0a.pdb\0-s\0b.pdb\0c\0d\0e')


if __name__ == '__main__':
    mtz_seeds()
    pdb_seeds()
    model_list_seeds()
    reflection_text_seeds()
    configuration_seeds()
    option_seeds()
