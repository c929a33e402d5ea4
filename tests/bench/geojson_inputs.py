#!/usr/bin/python3
"""Inputs of bench_geojson and GEOS's side of it (Debian's python3-shapely).

  geojson_inputs.py make FOLDER      writes ring-10k, ring-100k, ring-1m, ring-2m (one polygon of
                                     that many positions each) and points-1m (a million points),
                                     each a folder of one layer, unless they are there
  geojson_inputs.py geos FOLDER...   per folder: "folder read build valid area query count": the
                                     JSON read by Python, then GEOS building the shapes, checking
                                     their validity, summing their areas and one intersects query
                                     (a 2 x 2 square on the first position, as bench_geojson asks)
"""
import json, math, os, random, sys, time, warnings

RINGS = (("ring-10k", 10000), ("ring-100k", 100000), ("ring-1m", 1000000), ("ring-2m", 2000000))


def ring(n, seed=1):
    # A closed boundary of n positions: a wavy outline (58 harmonics) with a jitter of a third of
    # the spacing of its positions, anticlockwise as GeoJSON has it.
    rnd = random.Random(seed)
    harmonics = [(k, rnd.uniform(-1, 1) * 0.08 / k, rnd.uniform(0, 6.28)) for k in range(2, 60)]
    spacing = 2 * math.pi * 1000.0 / n
    positions = []
    for i in range(n - 1):
        t = 2 * math.pi * i / (n - 1)
        r = 1000.0 * (1 + 0.25 * math.sin(3 * t) + sum(a * math.sin(k * t + p) for k, a, p in harmonics))
        r += 0.3 * spacing * rnd.uniform(-1, 1)
        positions.append([round(5000 + r * math.cos(t), 6), round(5000 + r * math.sin(t), 6)])
    positions.append(positions[0])
    return positions


def make(folder):
    for name, n in RINGS:
        path = os.path.join(folder, name, "layer.geojson")
        if os.path.exists(path):
            continue
        os.makedirs(os.path.dirname(path), exist_ok=True)
        doc = {"type": "FeatureCollection", "name": name, "features": [{"type": "Feature", "id": "ring",
               "geometry": {"type": "Polygon", "coordinates": [ring(n)]}, "properties": {"name": name}}]}
        with open(path + ".part", "w") as f:
            json.dump(doc, f, separators=(",", ":"))
        os.rename(path + ".part", path)
    path = os.path.join(folder, "points-1m", "layer.geojson")
    if not os.path.exists(path):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        rnd = random.Random(7)
        with open(path + ".part", "w") as f:
            f.write('{"type":"FeatureCollection","name":"points","features":[\n')
            for i in range(1000000):
                f.write('%s{"type":"Feature","id":%d,"geometry":{"type":"Point","coordinates":[%.3f,%.3f]},'
                        '"properties":{"v":%d}}\n' % ("," if i else "", i, rnd.uniform(0, 10000),
                                                       rnd.uniform(0, 10000), i % 1000))
            f.write("]}\n")
        os.rename(path + ".part", path)


def geos(folder):
    from shapely.geometry import box, shape
    from shapely.strtree import STRtree
    path = os.path.join(folder, "layer.geojson")
    t = time.perf_counter()
    with open(path) as f:
        doc = json.load(f)
    read = time.perf_counter() - t
    t = time.perf_counter()
    shapes = [shape(feature["geometry"]) for feature in doc["features"]]
    build = time.perf_counter() - t
    t = time.perf_counter()
    valid = all(s.is_valid for s in shapes)
    valid_time = time.perf_counter() - t
    t = time.perf_counter()
    area = sum(s.area for s in shapes)
    area_time = time.perf_counter() - t
    first = doc["features"][0]["geometry"]["coordinates"]
    while isinstance(first[0], list):
        first = first[0]
    square = box(first[0] - 1, first[1] - 1, first[0] + 1, first[1] + 1)
    t = time.perf_counter()
    if len(shapes) == 1:
        count = int(shapes[0].intersects(square))
    else:  # a layer of many: through an R-tree, as the host asks its own
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")  # shapely 1.8 on the tree of 2.0
            tree = STRtree(shapes)
        count = sum(1 for s in tree.query(square) if s.intersects(square))
    query = time.perf_counter() - t
    print("%s %.3f %.3f %.3f %.3f %.4f %.6f %d valid=%s" % (folder, read, build, valid_time, area_time, query,
                                                           area, count, valid))


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2])
    else:
        for folder in sys.argv[2:]:
            geos(folder)
            sys.stdout.flush()
