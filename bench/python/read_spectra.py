#!/usr/bin/env python3
"""Reading 10,000 stored spectra into numpy arrays through the quantora module, against Python's
own sqlite3 reading the same COUNTDATA blobs without decoding them, in the same run.

    PYTHONPATH=build/dev/python/module python3 bench/python/read_spectra.py [--qdb PATH] [-n N]

Three sets of N stored spectra, each in a database of its own made in a temporary directory:
the demo lab's generated spectra (`qdb demo`), and the measured spectra of the shared data files
imported in the codec's default mode and in its fast mode; each set is its spectra copied until
SPECTRUM holds N rows. Prints both rates and their ratio (module time / baseline time) for one
spectrum per call and for all spectra of a measurement per call.
"""
import argparse
import os
import shutil
import sqlite3
import subprocess
import tempfile
import time

import quantora


def best_of(runs, work):
    best = float("inf")
    for _ in range(runs):
        t = time.perf_counter()
        work()
        best = min(best, time.perf_counter() - t)
    return best


def fill(path, n):
    con = sqlite3.connect(path)
    cols = [r[1] for r in con.execute("PRAGMA table_info(SPECTRUM)")]
    base = [r[0] for r in con.execute("SELECT SPECTRUM_ID FROM SPECTRUM ORDER BY 1")]
    top = max(base)
    select = ", ".join("SPECTRUM_ID + :off" if c == "SPECTRUM_ID" else c for c in cols)
    copies = 0
    while len(base) * (copies + 1) < n:
        copies += 1
        con.execute(f"INSERT INTO SPECTRUM ({', '.join(cols)}) SELECT {select} FROM SPECTRUM "
                    f"WHERE SPECTRUM_ID <= :top", {"off": copies * top, "top": top})
    con.execute("DELETE FROM SPECTRUM WHERE SPECTRUM_ID NOT IN "
                "(SELECT SPECTRUM_ID FROM SPECTRUM ORDER BY SPECTRUM_ID LIMIT ?)", (n,))
    con.commit()
    con.close()


def import_files(path, files, fast):
    with quantora.open(path) as db:
        db.query("DELETE FROM SPECTRUM")
        db.query("INSERT INTO MEASUREMENT (MEASUREMENT_ID, NAME) VALUES (1000, 'files')")
        for f in files:
            db.import_spectrum(f, 1000, fast=fast)


def measure(path, runs):
    con = sqlite3.connect(path)
    ids = [r[0] for r in con.execute("SELECT SPECTRUM_ID FROM SPECTRUM ORDER BY 1")]
    meas = [r[0] for r in con.execute("SELECT DISTINCT MEASUREMENT_ID FROM SPECTRUM")]
    channels, size = con.execute("SELECT SUM(CHANNELS), SUM(LENGTH(COUNTDATA)) FROM SPECTRUM").fetchone()
    db = quantora.open(path)
    cur = con.cursor()

    def module_by_id():
        for i in ids:
            db.spectrum(i).counts

    def sqlite_by_id():
        for i in ids:
            cur.execute("SELECT COUNTDATA FROM SPECTRUM WHERE SPECTRUM_ID = ?", (i,)).fetchone()

    def module_by_measurement():
        for m in meas:
            for s in db.spectra(m):
                s.counts

    def sqlite_by_measurement():
        for m in meas:
            cur.execute("SELECT COUNTDATA FROM SPECTRUM WHERE MEASUREMENT_ID = ?", (m,)).fetchall()

    print(f"  {len(ids)} spectra, {channels / len(ids):.0f} channels and "
          f"{size / len(ids):.0f} stored bytes each on average")
    for name, mod, base in (("one per call", module_by_id, sqlite_by_id),
                            ("a measurement per call", module_by_measurement,
                             sqlite_by_measurement)):
        tb = best_of(runs, base)
        tm = best_of(runs, mod)
        print(f"  {name:24} quantora {len(ids) / tm:9,.0f} spectra/s decoded to numpy, "
              f"sqlite3 {len(ids) / tb:9,.0f} blobs/s undecoded, ratio {tm / tb:6.2f}")
    db.close()
    con.close()


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser()
    ap.add_argument("--qdb", default=os.path.join(here, "../../build/dev/tools/qdb/qdb"))
    ap.add_argument("-n", type=int, default=10000)
    ap.add_argument("--runs", type=int, default=3)
    args = ap.parse_args()
    originals = os.path.join(here, "../../../shared/data/spectra/original")
    files = sorted(os.path.join(originals, f) for f in os.listdir(originals))
    readable = []
    for f in files:
        try:
            if quantora.read_spectrum_file(f).spectra:
                readable.append(f)
        except quantora.Error:
            pass
    with tempfile.TemporaryDirectory() as work:
        demo = os.path.join(work, "demo.db")
        subprocess.run([args.qdb, "demo", demo], cwd=work, check=True, stdout=subprocess.DEVNULL)
        sets = [("demo lab spectra, default mode", demo, None),
                ("measured spectra, default mode", os.path.join(work, "files.db"), False),
                ("measured spectra, fast mode", os.path.join(work, "fast.db"), True)]
        for title, path, fast in sets:
            if fast is not None:
                shutil.copy(demo, path)
                import_files(path, readable, fast)
            fill(path, args.n)
            print(title)
            measure(path, args.runs)

if __name__ == "__main__":
    main()
