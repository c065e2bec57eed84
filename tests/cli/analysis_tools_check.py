#!/usr/bin/python3
"""Loads the CSV and NetCDF outputs of every example log, and of generated
logs, as an analyst would: pandas.read_csv and xarray.open_dataset with no
option. Every value must equal the text table's calibrated value within the
text's precision, the CSV and NetCDF values must be the same doubles, and the
times must read as UTC.

    analysis_tools_check.py DRAVIK_CONVERT DRAVIK_LOGGEN EXAMPLES

Exits 77 (skipped) when xarray, netCDF4 or pandas is missing.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import warnings

try:
    import numpy as np
    import pandas as pd
    import xarray as xr
    import netCDF4  # noqa: F401  (the engine xarray reads NetCDF-4 with)
except ImportError as missing:
    print(f"{missing}: skipped")
    sys.exit(77)

CONVERT, LOGGEN, EXAMPLES = sys.argv[1:4]
# NaN, the fill value of a frame without a valid time tag, is decoded as NaT
# with a warning of numpy's.
warnings.filterwarnings("ignore", "invalid value encountered in cast", RuntimeWarning)
DMS = re.compile(r"^(-?\d+) (\d+)' (\d+)\"$")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def convert(log, out, instrument, *options):
    args = [CONVERT, log, out] + ([instrument] if instrument else []) + list(options)
    done = subprocess.run(args + ["/ow=yes", "--no-settings"], capture_output=True, text=True)
    check(done.returncode == 0, f"{' '.join(args)}: {done.stderr}")


def text_number(cell):
    """The text table's cell as a number, its precision, or None."""
    cell = cell.strip()
    if match := DMS.match(cell):  # an angle, to the second
        d, m, s = (float(g) for g in match.groups())
        return d + m / 60 + s / 3600, 0.5 / 3600 + 1e-12
    try:
        value = float(cell)
    except ValueError:
        return None
    decimals = len(cell.split(".")[1]) if "." in cell and "e" not in cell.lower() else 0
    return value, 0.5 * 10.0 ** -decimals + abs(value) * 1e-15


def check_instrument_run(name, log, instrument, work):
    base = os.path.join(work, name)
    convert(log, base + ".dat", instrument, "/c", "/t")
    convert(log, base + ".csv", instrument, "/c", "/t", "--format", "csv")
    convert(log, base + ".nc", instrument, "/c", "/t", "--format", "netcdf")
    text = pd.read_csv(base + ".dat", sep="\t", dtype=str, keep_default_na=False)
    csv = pd.read_csv(base + ".csv")
    exact = pd.read_csv(base + ".csv", float_precision="round_trip")
    ds = xr.open_dataset(base + ".nc")
    check(len(csv) == len(text) == ds.sizes["frame"], f"{name}: frame counts differ")

    # The CSV's columns follow the text table's, without its time tag columns.
    names = [c for c in csv.columns if c != "time"]
    for csv_name, text_name in zip(names, text.columns):
        # A name met again is "NAME_2" in the CSV, "NAME.1" as pandas reads the text.
        check(re.sub(r"_\d+$", "", csv_name.split(" [")[0]) == re.sub(r"\.\d+$", "", text_name),
              f"{name}: column {csv_name} against {text_name}")
        for row, cell in enumerate(text[text_name]):
            parsed = text_number(cell)
            value = csv[csv_name][row]
            if parsed is None:
                if cell.startswith("Error"):
                    check(pd.isna(value), f"{name}: {csv_name} row {row} is no error cell")
                continue
            number, tolerance = parsed
            check(abs(float(value) - number) <= tolerance,
                  f"{name}: {csv_name} row {row}: {value} against {cell}")

    # Every NetCDF number is the CSV's double.
    for var in ds.data_vars.values():
        if var.dims[:1] != ("frame",) or var.dtype.kind != "f" or var.name == "time":
            continue
        if len(var.dims) == 2:
            type_name = var.attrs["long_name"]
            for nm in var[var.dims[1]].values:
                column = [c for c in names if c.startswith(f"{type_name}(") and
                          float(c[len(type_name) + 1:c.index(")")]) == nm]
                check(len(column) == 1 and np.array_equal(
                    exact[column[0]].to_numpy(float), var.sel({var.dims[1]: nm}).values,
                    equal_nan=True), f"{name}: {type_name} {nm} differs")
        elif "since" not in var.attrs.get("units", ""):
            column = [c for c in names if c.split(" [")[0] == var.attrs["long_name"]][:1]
            check(column and np.array_equal(exact[column[0]].to_numpy(float), var.values,
                                            equal_nan=True), f"{name}: {var.name} differs")

    if "time" in csv and csv["time"].notna().any():
        times = pd.to_datetime(csv["time"])
        check(str(times.dt.tz) == "UTC", f"{name}: the time column is not UTC")
        check(ds.time.dtype.kind == "M", f"{name}: time(frame) is no time")
        gap = np.abs(times.dt.tz_localize(None).to_numpy() - ds.time.values)
        check(np.nanmax(gap.astype("int64")) < 1_000_000, f"{name}: times differ")
    if "ES" in ds:
        near = ds.ES.sel(wavelength_ES=443, method="nearest")
        check(float(near.wavelength_ES) == 442.4, f"{name}: ES near 443 nm")


def main():
    with tempfile.TemporaryDirectory() as work:
        # A copy of the examples: a conversion holds its log exclusively, and
        # other tests may be converting the same logs right now.
        examples = shutil.copytree(EXAMPLES, os.path.join(work, "examples"))
        ex = lambda name: os.path.join(examples, name)
        runs = [
            ("spr0117", ex("spr0117.raw"), ex("spr0117.cal")),
            ("nav0001", ex("nav0001.raw"), ex("nav0001.tdf")),
            ("cast0117", ex("cast0117.raw"), ex("spr0117.cal")),
            ("cast0003", ex("cast0003.raw"), ex("nav0001.tdf")),
        ]
        for instrument, seed in ((ex("spr0117.cal"), "1"), (ex("nav0001.tdf"), "2")):
            log = os.path.join(work, f"generated{seed}.raw")
            subprocess.run([LOGGEN, "--frames", "2000", "--time-tags", "--garbage", "0.05",
                            "--seed", seed, instrument, log], check=True, capture_output=True)
            runs.append((f"generated{seed}", log, instrument))
        for run in runs:
            check_instrument_run(run[0], run[1], run[2], work)
    for failure in failures[:20]:
        print(failure)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
