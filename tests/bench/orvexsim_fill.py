#!/usr/bin/python3
"""Inputs, measurement and check of orvexsim_fill.sh: OrvexSim's scripted fill of a layer of
points with the count of the squares that intersect each.

  orvexsim_fill.py make FOLDER N       FOLDER/targets.geojson (N points, field "n" at -1) and
                                       FOLDER/squares.geojson (100 squares of 150 x 150 on a
                                       grid of 100), unless they are there
  orvexsim_fill.py measure CMD...      runs CMD and prints "seconds peak_kb exit_code": the wall
                                       time and the largest resident set of any process of it
  orvexsim_fill.py check FOLDER CSV    compares the filled field of every point in OrvexSim's
                                       result.csv with the count computed here; prints "checked N"
"""
import csv, os, random, resource, subprocess, sys, time

GRID, STEP, SIDE, SPAN = 10, 100, 150, 110000  # points at (k + 0.5) / 100, k < SPAN


def points(n):
    rnd = random.Random(n)
    for i in range(n):
        yield i, (rnd.randrange(SPAN) + 0.5) / 100, (rnd.randrange(SPAN) + 0.5) / 100


def covering(v):
    # Squares whose closed side [STEP k, STEP k + SIDE] holds v; no point lies on a side.
    return sum(1 for k in range(GRID) if STEP * k <= v <= STEP * k + SIDE)


def make(folder, n):
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "targets.geojson")
    if not os.path.exists(path):
        with open(path + ".part", "w") as f:
            f.write('{"type":"FeatureCollection","name":"targets","features":[\n')
            for i, x, y in points(n):
                f.write('%s{"type":"Feature","id":"p%d","geometry":{"type":"Point","coordinates":[%.3f,%.3f]},'
                        '"properties":{"n":-1}}\n' % ("," if i else "", i, x, y))
            f.write("]}\n")
        os.rename(path + ".part", path)
    path = os.path.join(folder, "squares.geojson")
    if not os.path.exists(path):
        features = []
        for i in range(GRID):
            for j in range(GRID):
                x, y = STEP * i, STEP * j
                ring = [[x, y], [x + SIDE, y], [x + SIDE, y + SIDE], [x, y + SIDE], [x, y]]
                features.append('{"type":"Feature","id":"s%d-%d","geometry":{"type":"Polygon","coordinates":[%s]},'
                                '"properties":{"k":%d}}' % (i, j, str(ring).replace(" ", ""), i * GRID + j))
        with open(path, "w") as f:
            f.write('{"type":"FeatureCollection","name":"squares","features":[\n%s\n]}\n' % ",\n".join(features))


def measure(command):
    start = time.perf_counter()
    code = subprocess.call(command)
    seconds = time.perf_counter() - start
    print("%.3f %d %d" % (seconds, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss, code))


def check(folder, path):
    with open(os.path.join(folder, "targets.geojson")) as f:
        n = sum(1 for line in f if line.startswith(('{"type":"Feature"', ',{"type":"Feature"')))
    filled = {}
    with open(path, newline="", encoding="utf-8") as f:
        for row in csv.DictReader(f):
            if row["record"] == "0":
                filled[row["object"]] = row["n"]
    wrong = 0
    for i, x, y in points(n):
        if filled.get("p%d" % i) != str(covering(x) * covering(y)):
            wrong += 1
            if wrong <= 5:
                print("p%d at %.3f %.3f: %s, expected %d" % (i, x, y, filled.get("p%d" % i), covering(x) * covering(y)))
    if wrong or len(filled) != n:
        print("wrong: %d of %d (%d rows)" % (wrong, n, len(filled)))
        return 1
    print("checked %d" % n)
    return 0


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2], int(sys.argv[3]))
    elif sys.argv[1] == "measure":
        measure(sys.argv[2:])
    else:
        sys.exit(check(sys.argv[2], sys.argv[3]))
