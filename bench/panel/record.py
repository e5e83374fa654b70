"""The figures of a run record (PREFIX.json) that the bench panel prints.

usage: record.py PREFIX.json

Prints one line: the best solution's CC, its translation Z-score, its score
Z-score and the verdict of the run, "-" for a figure the record lacks.  The
Z-scores are looked for, in this order, in the best attempt of the last copy
step, in the distinct placement holding that attempt and in "best": a number
under a key that names the translation function's Z ("tfz",
"translation_z", ...) or a score Z ("score_z", "z", "zscore", ...), or an
object under a key with "z" in its name holding "translation"/"tfz" and
"score" numbers.
"""
import json
import sys


def is_number(v):
    return isinstance(v, (int, float)) and not isinstance(v, bool)


def z_scores(record):
    """(translation Z, score Z) found in one object of the record."""
    tfz = sz = None
    for key, value in record.items():
        k = key.lower().replace('-', '_')
        if isinstance(value, dict) and 'z' in k:
            inner = {n.lower(): v for n, v in value.items() if is_number(v)}
            tfz = tfz if tfz is not None else inner.get('translation', inner.get('tfz'))
            sz = sz if sz is not None else inner.get('score', inner.get('score_z'))
        elif is_number(value) and 'z' in k:
            if 'tfz' in k or k.startswith('translation') or k.startswith('tf_'):
                tfz = tfz if tfz is not None else value
            else:
                sz = sz if sz is not None else value
    return tfz, sz


def figures(data):
    best = data.get('best') or {}
    steps = data.get('copy_steps') or []
    places = []
    if steps and best:
        step = steps[best['copy_steps'][-1] - 1] if best.get('copy_steps') else steps[-1]
        places += [a for a in step.get('attempts', []) if a.get('attempt') == best.get('attempt')]
        places += [p for p in step.get('placements', []) if best.get('attempt') in p.get('attempts', [])]
    places.append(best)
    tfz = sz = None
    for place in places:
        t, s = z_scores(place)
        tfz = tfz if tfz is not None else t
        sz = sz if sz is not None else s
    verdict = (data.get('verdict') or {}).get('status', '-')
    return best.get('cc'), tfz, sz, verdict


def main(argv):
    if len(argv) != 2:
        sys.exit('usage: record.py PREFIX.json')
    try:
        with open(argv[1]) as f:
            data = json.load(f)
    except (OSError, ValueError):
        print('- - - -')
        return
    cc, tfz, sz, verdict = figures(data)
    fmt = [f'{cc:.3f}' if is_number(cc) else '-'] + \
        [f'{z:.1f}' if is_number(z) else '-' for z in (tfz, sz)]
    print(' '.join(fmt), verdict.replace(' ', '_'))


if __name__ == '__main__':
    main(sys.argv)
