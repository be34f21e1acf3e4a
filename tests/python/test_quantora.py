"""The Python module against a demo lab: values agree with the stored rows, bad input raises."""
import concurrent.futures
import csv
import datetime
import os
import pickle

import numpy as np
import pytest
import quantora


def rows(db, sql, **params):
    return db.query(sql, params or None)


def test_spectra_decode_to_their_stored_summaries(db):
    stored = rows(db, "SELECT SPECTRUM_ID AS ID, MEASUREMENT_ID AS M, CHANNELS AS CH, "
                      "SUMCOUNT AS TOTAL, MAXCOUNT AS TOP, LIVETIME AS LT, TRUETIME AS RT, "
                      "S.NAME AS NAME, SPECOLLSTARTEDAT AS START, D.NAME AS DETECTOR FROM SPECTRUM S "
                      "JOIN MEASUREMENT M USING (MEASUREMENT_ID) JOIN MEASSETUP USING (MEASSETUP_ID) "
                      "JOIN DETECTOR D USING (DETECTOR_ID)")
    assert len(stored) > 5
    for r in stored:
        s = db.spectrum(r["id"])
        assert s.counts.dtype == np.uint32 and s.channels == len(s.counts) == r["ch"]
        assert (s.counts.sum(), s.counts.max()) == (r["total"], r["top"])
        assert (s.live_time, s.real_time, s.name, s.start, s.detector) == (
            r["lt"], r["rt"], r["name"], r["start"], r["detector"])
        assert isinstance(s.start, datetime.datetime) and s.measurement_id == r["m"]
        cal = db.ecal(r["id"])
        channels = np.arange(s.channels)
        np.testing.assert_allclose(s.energies(), cal.energy(channels))
        assert [x.id for x in db.spectra(r["m"])] == [
            x["id"] for x in stored if x["m"] == r["m"]]


@pytest.mark.parametrize("column,value", [
    ("NAME", "Ge-68 ü ✓"), ("LIVETIME", 12.5), ("CHANNELS", 2**31 - 1), ("CHANNELS", -7),
    ("SPECIFICDATA", bytes(range(256))), ("CREATIONDATE", datetime.datetime(2024, 2, 29, 23, 59, 1, 250000)),
    ("CMT", None), ("CHANNELS", True), ("CHANNELS", np.int64(-2**31)), ("CHANNELS", np.uint16(65535)),
    ("CHANNELS", np.int8(-5)), ("CHANNELS", np.bool_(True)), ("LIVETIME", np.float32(0.25)),
    ("LIVETIME", np.float64(1e-300)), ("LIVETIME", np.longdouble(3.5))])
def test_query_values_round_trip(db, column, value):
    key = 900000 + abs(hash((column, repr(value)))) % 10000
    db.query(f"INSERT INTO SPECTRUM (SPECTRUM_ID, {column}) VALUES (:k, :v)", {"k": np.int32(key), "v": value})
    # Booleans and numpy numbers come back as the Python int or float they bound as.
    want = (int(value) if isinstance(value, (bool, np.bool_, np.integer)) else
            float(value) if isinstance(value, np.floating) else value)
    try:
        got = rows(db, f"SELECT {column} AS V FROM SPECTRUM WHERE SPECTRUM_ID = :k", k=key)
        assert got == [{"v": want}] and type(got[0]["v"]) is type(want)
    finally:
        db.query("DELETE FROM SPECTRUM WHERE SPECTRUM_ID = :k", {"k": key})


@pytest.mark.parametrize("sql,want", [
    ("SELECT 1 AS A, 'x' AS Mixed_Case", [{"a": 1, "mixed_case": "x"}]),
    ("SELECT 1 AS a, 2 AS A", "columns 1 and 2 .* 'a'"),
    ("SELECT S.NAME, M.MEASUREMENT_ID, M.NAME FROM SPECTRUM S JOIN MEASUREMENT M "
     "ON M.MEASUREMENT_ID = S.MEASUREMENT_ID", "columns 1 and 3 .* 'name'"),
])
def test_query_keys_are_lower_case_and_never_merged(db, sql, want):
    if isinstance(want, str):
        with pytest.raises(ValueError, match=want):
            db.query(sql)
    else:
        assert db.query(sql) == want


@pytest.mark.parametrize("channels", [100.5, [0, 1, 4095.5], np.arange(12.0).reshape(3, 4) * 300,
                                      np.array(2000.0), np.array([], dtype=np.float32)])
def test_energy_calibration_maps_channels_both_ways_in_their_shape(db, channels):
    cal = db.ecal(1)
    energies = cal.energy(channels)
    assert np.shape(energies) == np.shape(channels) and isinstance(energies, np.ndarray) == (np.ndim(channels) > 0)
    np.testing.assert_allclose(cal.channel(energies), channels, atol=1e-6)
    a, b = cal.coefficients
    if not cal.nonlinear:  # the straight line and its covariance are the whole calibration
        line = np.stack([np.ones(np.shape(channels)), np.asarray(channels, dtype=float)], axis=-1)
        np.testing.assert_allclose(energies, line @ [a, b])
        np.testing.assert_allclose(cal.energy_uncertainty(channels),
                                   np.sqrt(np.einsum("...i,ij,...j", line, cal.covariance, line)))


def comparable(value):
    if isinstance(value, quantora.Spectrum):
        return (value.id, value.counts.tolist(), value.energies().tolist())
    if isinstance(value, (list, tuple)):
        return [comparable(v) for v in value]
    return value.tolist() if isinstance(value, np.ndarray) else value


@pytest.mark.parametrize("call", [
    lambda db, n: db.spectrum(n(1)), lambda db, n: db.spectra(n(1)), lambda db, n: db.peaks(n(1)),
    lambda db, n: db.measurements(n(2)), lambda db, n: db.ecal(n(1)).energy(n(500)),
    lambda db, n: db.efficiency(n(1)).at(n(500)),
    lambda db, n: db.match(n([661.657, 1332.5]), n([0.5, 0.5]), n([1])),
    lambda db, n: db.analyse(n(1), library_ids=n([1]), store=False),
])
def test_numpy_numbers_and_arrays_serve_where_python_ones_do(db, call):
    def as_numpy(x):
        return np.array(x) if isinstance(x, list) else np.int64(x)
    assert comparable(call(db, as_numpy)) == comparable(call(db, lambda x: x))


def test_tables_peaks_and_efficiency_agree_with_sql(db):
    counts = db.tables()
    for table in ("SPECTRUM", "PEAK", "MEASUREMENT", "PROJECT"):
        assert counts[table.lower()] == rows(db, f"SELECT COUNT(*) AS N FROM {table}")[0]["n"] > 0
    for pe in rows(db, "SELECT PEAKEVAL_ID AS ID FROM PEAKEVAL"):
        peaks = db.peaks(peakeval_id=pe["id"])
        want = rows(db, "SELECT E, EUNC, AREA, AREAUNC, FWHM, POS FROM PEAK WHERE PEAKEVAL_ID = :p "
                        "ORDER BY POS, PEAK_ID", p=pe["id"])
        got = [tuple(p) for p in peaks[["energy", "energy_unc", "area", "area_unc", "fwhm_channels", "position"]]]
        assert got == [tuple(float(v) for v in w.values()) for w in want]
    for project in rows(db, "SELECT PROJECT_ID AS ID FROM PROJECT"):
        assert [m["measurement_id"] for m in db.measurements(project["id"])] == [r["m"] for r in rows(
            db, "SELECT MEASUREMENT_ID AS M FROM MEASUREMENT WHERE PROJECT_ID = :p ORDER BY 1", p=project["id"])]


def test_efficiency_coefficients_evaluate_as_documented(db):
    analyses = rows(db, "SELECT EFFANALYSIS_ID AS ID FROM EFFANALYSIS")
    assert analyses
    for a in analyses:
        eff = db.efficiency(a["id"])
        grid = np.geomspace(60, 2000, 12).reshape(3, 4)
        values, uncs = eff.at(grid)
        assert [eff.at(float(e)) for e in grid.flat] == list(zip(values.flat, uncs.flat))
        powers = np.log(grid)[..., None] ** np.arange(len(eff.coefficients))
        np.testing.assert_allclose(np.exp(np.polynomial.polynomial.polyval(np.log(grid), eff.coefficients)),
                                   values, rtol=1e-9)
        np.testing.assert_allclose(values * np.sqrt(np.einsum("...i,ij,...j", powers, eff.covariance, powers)),
                                   uncs, rtol=1e-6)


def test_analyse_stores_the_peaks_a_spectrum_then_reports(db):
    spectrum = rows(db, "SELECT MIN(SPECTRUM_ID) AS ID FROM SPECTRUM")[0]["id"]
    library = rows(db, "SELECT MIN(RADIATIONLIBRARY_ID) AS ID FROM RADIATIONLIBRARY")[0]["id"]
    dry = db.analyse(spectrum, library_ids=[library], store=False)
    assert len(dry) > 3 and (dry["peak_id"] == -1).all()
    peaks = db.analyse(spectrum, library_ids=[library])
    assert (peaks["peak_id"] > 0).all() and (np.diff(peaks["channel"]) > 0).all()
    assert (peaks["area"] > peaks["decision_threshold"]).all()
    assert (peaks["detection_limit"] > peaks["decision_threshold"]).all()
    assert b"" not in set(peaks["nuclide"][peaks["area"] > 1e4])  # strong peaks are lines
    stored = db.peaks(spectrum)  # the newest evaluation of the spectrum is this one
    assert list(stored["peak_id"]) == list(peaks["peak_id"])
    for field in ("area", "energy", "fwhm", "fwhm_channels"):  # fwhm in keV in both
        np.testing.assert_allclose(stored[field], peaks[field], rtol=1e-3, err_msg=field)


def test_quantify_returns_and_stores_activities_with_their_limits(db):
    soil = rows(db, "SELECT MIN(S.SPECTRUM_ID) AS ID FROM SPECTRUM S JOIN MEASUREMENT M ON "
                    "M.MEASUREMENT_ID = S.MEASUREMENT_ID WHERE M.NAME = 'Soil core N-1'")[0]["id"]
    library = rows(db, "SELECT MIN(RADIATIONLIBRARY_ID) AS ID FROM RADIATIONLIBRARY")[0]["id"]
    result = db.quantify(soil, [library], reference=datetime.datetime(2026, 11, 1))
    by_name = {r["nuclide"].decode(): r for r in result}
    assert by_name["Cs-137"]["detected"] and by_name["Cs-137"]["activity"] > by_name["Cs-137"]["decision_threshold"]
    assert (result["detection_limit"][result["lines"] > 0] > result["decision_threshold"][result["lines"] > 0]).all()
    assert set(result["unit"]) == {b"Bq/kg"}  # the soil sample has a mass
    stored = db.activities(soil)
    assert list(stored["result_id"]) == list(result["result_id"])
    assert np.allclose(stored["activity"], result["activity"])
    for call, error in [(lambda: db.quantify(soil, []), ValueError),
                        (lambda: db.quantify(soil, [library], efficiency_id=987654), KeyError),
                        (lambda: db.quantify(soil, [library], reference="2026"), TypeError)]:
        with pytest.raises(error):
            call()


def test_match_finds_each_library_line_at_its_own_energy(db):
    lines = rows(db, "SELECT R.RADIATION_ID AS ID, R.E AS E, T.RADIATIONLIBRARY_ID AS LIB FROM "
                     "RADIATION R JOIN RADLIB_TRANSFORM T ON T.DECAY_ID = R.DECAY_ID "
                     "WHERE R.EUNC > 0 AND R.INTENSITYUNC > 0 AND R.INTENSITY > 0")
    assert lines
    libs = sorted({line["lib"] for line in lines})
    found = db.match([line["e"] for line in lines] + [5.0], [0.01] * len(lines) + [0.001], libs)
    for line, matches in zip(lines, found):
        assert line["id"] in [m["radiation_id"] for m in matches]
    assert found[-1] == []


def test_files_read_and_import_with_their_calibration(db, shared_data):
    spectra = os.path.join(shared_data, "spectra")
    with open(os.path.join(spectra, "MANIFEST.tsv")) as f:
        manifest = list(csv.DictReader(f, delimiter="\t"))
    calibrated = 0
    for name in sorted({entry["original_file"] for entry in manifest}):
        # A measurement per file: one spectrum written in two formats is one spectrum.
        measurement = rows(db, "SELECT MAX(MEASUREMENT_ID) + 1 AS M FROM MEASUREMENT")[0]["m"]
        db.query("INSERT INTO MEASUREMENT (MEASUREMENT_ID, NAME) VALUES (:m, :n)",
                 {"m": measurement, "n": name})
        path = os.path.join(spectra, "original", name)
        read = quantora.read_spectrum_file(path).spectra
        stored = [db.spectrum(i) for i in db.import_spectrum(path, measurement)]
        assert len(stored) == len(read) > 0, path
        assert db.import_spectrum(path, measurement) == []  # already there: not stored again
        for got, want in zip(stored, read):
            assert np.array_equal(got.counts, want.counts) and got.measurement_id == measurement
            assert (got.detector, got.live_time, got.start) == (want.detector, want.live_time, want.start)
            energies = energies_or_error(want)
            if isinstance(energies, str):
                continue
            calibrated += 1
            # The stored calibration is the file's polynomial, whatever its degree.
            np.testing.assert_allclose(got.energies(), energies, rtol=0, atol=0.01, err_msg=path)
    assert calibrated > len(manifest) / 2  # most files have a calibration


def test_readonly_open_reads_and_refuses_writes(demo_uri):
    with quantora.open(demo_uri, readonly=True) as ro:
        count = rows(ro, "SELECT COUNT(*) AS N FROM SPECTRUM")[0]["n"]
        assert ro.spectrum(1).channels > 0
        with pytest.raises(quantora.DatabaseError):
            ro.query("DELETE FROM SPECTRUM")
    with quantora.open(demo_uri) as d:
        assert rows(d, "SELECT COUNT(*) AS N FROM SPECTRUM")[0]["n"] == count


MISSING = 987654


@pytest.mark.parametrize("call,error", [
    (lambda db, tmp: quantora.open(42), TypeError), (lambda db, tmp: quantora.open(tmp), ValueError),
    (lambda db, tmp: quantora.open(":memory:"), ValueError),
    (lambda db, tmp: db.spectrum(10**12), TypeError), (lambda db, tmp: db.spectrum(MISSING), KeyError),
    (lambda db, tmp: db.spectra(MISSING), KeyError), (lambda db, tmp: db.ecal(MISSING), KeyError),
    (lambda db, tmp: db.efficiency(MISSING), KeyError),
    (lambda db, tmp: db.match([1.0, 2.0], [0.1], [1]), ValueError),
    (lambda db, tmp: db.match([1.0], [-0.1], [1]), ValueError), (lambda db, tmp: db.match([1.0], [0.1], []), ValueError),
    (lambda db, tmp: db.import_spectrum(tmp / "none.spe", 1), quantora.Error),
    (lambda db, tmp: quantora.read_spectrum_file(tmp / "none.spe"), FileNotFoundError),
    (lambda db, tmp: quantora.read_spectrum_file(tmp), ValueError),
    (lambda db, tmp: db.import_spectrum(tmp, MISSING), KeyError),
    (lambda db, tmp: db.query("SELECT :a AS A", {"a": object()}), TypeError),
    (lambda db, tmp: db.query("SELECT :a AS A", {"a": np.datetime64("2020-01-01")}), TypeError),
    (lambda db, tmp: db.query("SELECT :a AS A", {"a": 2**64}), OverflowError),
    (lambda db, tmp: db.query("SELECT :a AS A"), ValueError),
    (lambda db, tmp: db.query("SELECT 1 AS A", {"b": 1}), ValueError),
    (lambda db, tmp: db.query("SELECT 1 AS A", [1]), TypeError),
    (lambda db, tmp: db.query("SELEKT nonsense"), quantora.SQLSyntaxError),
    (lambda db, tmp: db.query("INSERT INTO SPECTRUM (SPECTRUM_ID) VALUES (1)"), quantora.ConstraintError),
    (lambda db, tmp: db.efficiency(1).at(-5.0), ValueError), (lambda db, tmp: db.efficiency(1).at("x"), TypeError),
    (lambda db, tmp: db.ecal(1).energy(None), TypeError),
    (lambda db, tmp: db.peaks(), ValueError), (lambda db, tmp: db.peaks(1, peakeval_id=1), ValueError),
    (lambda db, tmp: db.peaks(MISSING), KeyError), (lambda db, tmp: db.analyse(MISSING), KeyError),
    (lambda db, tmp: db.analyse(1, setting_id=MISSING), KeyError),
    (lambda db, tmp: quantora.Spectrum.__new__(quantora.Spectrum).__setstate__((1,)), ValueError),
    (lambda db, tmp: quantora.Spectrum.__new__(quantora.Spectrum).__setstate__(("x",) * 10), ValueError),
    (lambda db, tmp: (db.close(), db.spectrum(1)), quantora.DatabaseError),
    (lambda db, tmp: (db.close(), db.query("SELECT 1 AS A")), quantora.DatabaseError),
])
def test_bad_input_raises_clear_python_errors(db, tmp_path, call, error):
    with pytest.raises(error) as raised:
        call(db, tmp_path)
    message = str(raised.value).strip()  # one line, but pybind11's list of accepted signatures
    assert message and ("\n" not in message or "incompatible function arguments" in message)


@pytest.mark.parametrize("name", ["none.db", "sqlite:{dir}/none.db", "{dir}/no/such/dir.db"])
def test_a_missing_database_file_is_not_created(tmp_path, name):
    target = name.format(dir=tmp_path)
    with pytest.raises(FileNotFoundError, match="no database file"):
        quantora.open(target if "{" in name else tmp_path / target)
    assert list(tmp_path.iterdir()) == []


def spectra_of_every_kind(db, shared_data, tmp_path):
    """A stored spectrum with a calibration, one without, and spectra read from files (one
    named in bytes that are not UTF-8)."""
    latin1 = tmp_path / "latin1.spe"
    latin1.write_bytes(b"$SPEC_ID:\nna\xefve\n$MEAS_TIM:\n10 12\n$DATA:\n0 3\n1\n2\n3\n4\n")
    stored = db.spectrum(1)
    bare = rows(db, "SELECT MIN(SPECTRUM_ID) AS ID FROM SPECTRUM WHERE SPECTRUM_ID NOT IN "
                    "(SELECT SPECTRUM_ID FROM ECAL WHERE SPECTRUM_ID IS NOT NULL)")[0]["id"]
    original = os.path.join(shared_data, "spectra", "original")
    files = [quantora.read_spectrum_file(os.path.join(original, f)).spectra[0]
             for f in ("Alcatraz14.Spc", "Cs137LowResNoCalib.spe")]
    files.append(quantora.read_spectrum_file(latin1).spectra[0])
    return [stored] + ([db.spectrum(bare)] if bare is not None else []) + files


def energies_or_error(s):
    try:
        return s.energies()
    except LookupError as e:
        return str(e)


def test_spectra_pickle_and_outlive_their_database(demo_uri, shared_data, tmp_path):
    with quantora.open(demo_uri) as db:
        spectra = spectra_of_every_kind(db, shared_data, tmp_path)
        energies = [energies_or_error(s) for s in spectra]
    assert any(isinstance(e, str) for e in energies) and any(not isinstance(e, str) for e in energies)
    copies = pickle.loads(pickle.dumps(spectra))
    for s, copy, e in zip(spectra, copies, energies):
        np.testing.assert_equal(energies_or_error(s), e)  # after close
        np.testing.assert_equal(energies_or_error(copy), e)
        assert copy.counts.dtype == np.uint32 and np.array_equal(copy.counts, s.counts)
        for attr in ("id", "measurement_id", "name", "detector", "live_time", "real_time",
                     "start", "channels"):
            assert getattr(copy, attr) == getattr(s, attr), attr


def test_one_database_object_serves_many_threads(db):
    ids = [r["id"] for r in rows(db, "SELECT DISTINCT SPECTRUM_ID AS ID FROM ECAL")] * 4
    sums = {i: int(db.spectrum(i).counts.sum()) for i in ids}
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        got = list(pool.map(lambda i: (i, int(db.spectrum(i).counts.sum()),
                                       float(db.spectrum(i).energies()[-1])), ids))
    assert [(i, s) for i, s, _ in got] == [(i, sums[i]) for i in ids]
