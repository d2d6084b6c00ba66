#!/usr/bin/python3
"""Reads an AIA/ANDI chromatography file with Debian's python3-netcdf4, an
independent netCDF reader, for the tests of Zelmora's import and export.

  read_with_netcdf4.py dump FILE    the trace and the peak table as text
  read_with_netcdf4.py check FILE   the variables and attributes a
                                    chromatography file must carry
"""
import sys

import netCDF4

REQUIRED_ATTRIBUTES = [
    "dataset_completeness", "aia_template_revision", "netcdf_revision",
    "languages", "dataset_origin", "dataset_date_time_stamp",
    "injection_date_time_stamp", "experiment_title", "operator_name",
    "separation_experiment_type", "company_method_name", "sample_name",
    "sample_id", "detector_name", "detector_unit", "retention_unit",
]
REQUIRED_VARIABLES = [
    "error_log", "detector_maximum_value", "detector_minimum_value",
    "actual_run_time_length", "actual_sampling_interval", "actual_delay_time",
    "ordinate_values",
]
PEAK_VARIABLES = [
    "peak_retention_time", "peak_start_time", "peak_end_time", "peak_area",
    "peak_height", "peak_name",
]


def text(v):
    return netCDF4.chartostring(v[:]).tolist() if v.ndim > 1 else str(v[:])


def main():
    mode, path = sys.argv[1], sys.argv[2]
    d = netCDF4.Dataset(path)
    d.set_auto_mask(False)
    if mode == "check":
        missing = [a for a in REQUIRED_ATTRIBUTES if a not in d.ncattrs()]
        missing += [v for v in REQUIRED_VARIABLES if v not in d.variables]
        if len(d.dimensions["peak_number"]) > 0:
            missing += [v for v in PEAK_VARIABLES if v not in d.variables]
        if d.file_format not in ("NETCDF3_CLASSIC", "NETCDF3_64BIT_OFFSET"):
            missing.append("format " + d.file_format)
        print("missing " + " ".join(missing) if missing else "complete")
    o = d.variables["ordinate_values"]
    print("points %d" % len(o))
    print("interval %.17g" % float(d.variables["actual_sampling_interval"][...]))
    print("delay %.17g" % float(d.variables["actual_delay_time"][...]))
    print("unit %s" % getattr(d, "detector_unit", ""))
    print("sample %s" % getattr(d, "sample_name", ""))
    print("operator %s" % getattr(d, "operator_name", ""))
    print("injection %s" % getattr(d, "injection_date_time_stamp", ""))
    for x in o[:]:
        print("%.9g" % x)
    if "peak_retention_time" in d.variables:
        names = text(d.variables["peak_name"]) if "peak_name" in d.variables else []
        rts = d.variables["peak_retention_time"][:]
        for i, rt in enumerate(rts):
            area = d.variables["peak_area"][i] if "peak_area" in d.variables else float("nan")
            print("peak %.9g %.9g %s" % (rt, area, names[i].strip() if i < len(names) else ""))


main()
