#!/usr/bin/env python3
"""Writes the inputs of the conversion golden cases (instrument files and small
binary logs). The expected outputs beside them were checked by hand; this
script only makes the inputs, and is kept so that they can be read and made
again: python3 tools/make_golden_inputs.py writes them into tests/data/."""

import os
import struct

ABCD = b"ABCD0042"

ABCD_TDF = """# Worked example instrument: header ABCD0042, serial number 0042.
INSTRUMENT ABCD    ''           4 AS 0 NONE
SN         0042    ''           4 AS 0 NONE
FRAME      COUNTER ''           1 BU 0 COUNT
ES         412.5   'uW/cm^2/nm' 2 BU 1 OPTIC2
2048.0 1.5E-3 1.0
CHECK      SUM     ''           1 BU 0 COUNT
"""


RAD_CAL = """# Calibration file of a small radiometer, header RAD0007, serial number 0007:
# an integration time, two OPTIC3 channels, an OPTIC2 and an OPTIC1 channel,
# and fields of every other fit and of most data types. Frame of 44 bytes.
INSTRUMENT  RAD     ''              3 AS 0 NONE
SN          0007    ''              4 AS 0 NONE
INTTIME     ES      'sec'           2 BU 1 POLYU
    0.0 0.001
ES          412.0   'uW/cm^2/nm'    2 BU 1 OPTIC3
    100.0 0.5 1.25 0.064
ES          490.0   'uW/cm^2/nm'    2 BU 1 OPTIC3
    200.0 0.25 1.5 0.128
LU          490.0   'uW/cm^2/nm/sr' 2 BU 1 OPTIC2
    100.0 0.5 1.2
ED          555.0   'uW/cm^2/nm'    4 BU 2 OPTIC1
    0.0 1.0 1.0
    4.0 2.0 3.0
T           W       'C'             2 BS 1 POLYF
    0.5 -20.0
TILT        X       'deg'           4 HS 0 COUNT
VOLT        NONE    'V'             4 BF 1 POLYU
    1.0 2.0 0.5
DEPTH       NONE    'm'             5 AI 1 POLYU
    10.0 0.5
TIMETAG2    NONE    'sec'           4 BU 0 TIME2
DATE        NONE    ''              4 BU 0 DDMMYY
FRAME       COUNTER 'DN'            1 BU 0 COUNT
CHECK       SUM     ''              1 BU 0 COUNT
"""


def rad_frame(counter, inttime, es412, es490, lu, ed, t, tilt, volt, depth, time2, date):
    body = (b"RAD0007" + inttime.to_bytes(2, "big") + es412.to_bytes(2, "big") +
            es490.to_bytes(2, "big") + lu.to_bytes(2, "big") + ed.to_bytes(4, "big") +
            t.to_bytes(2, "big") + tilt + struct.pack(">f", volt) + depth +
            time2.to_bytes(4, "big") + date.to_bytes(4, "big") + bytes([counter]))
    return body + bytes([-sum(body) & 0xFF])


# Frame 1: every value computes; frame 2: an integration time of 0, gain bits
# past the defined gain ranges, a float NaN and a blank integer field; frame 3:
# the extremes of unsigned and short signed fields.
RAD_LOG = (rad_frame(1, 128, 1101, 2200, 301, 0xA005, 30, b"4123", 2.0, b" -420",
                     1234567890, 150304) +
           rad_frame(2, 0, 1100, 2200, 300, 0xA006, 30, b"0123", float("nan"), b"     ",
                     0, 10203) +
           rad_frame(3, 256, 4100, 100, 0, 0xFFFFFFFC, 0xFFF6, b"C123", -1.5, b"  7x ",
                     0xFFFFFFFF, 311299))

# Line errors that leave a usable instrument: the question whether to go on.
BAD_CAL = """INSTRUMENT  RAD     ''              3 AS 0 NONE
SN          0007    ''              4 AS 0 NONE
INTTIME     ES      'sec'           2 BU 1 POLYU
    0.0 0.001
ES          412.0   uW/cm^2/nm      2 BU 1 OPTIC3
    100.0 0.5 1.25 0.064
ES          490.0   'uW/cm^2/nm'    2 BU 1 OPTIC3
    200.0 0.25
LU          490.0   'uW/cm^2/nm/sr' 2 BU
FRAME       COUNTER 'DN'            1 BU 0 COUNT
"""


# Line errors of a fixed frame, each corrected or ignored; the instrument is
# used all the same (nobody can be asked), and the rows show where the fields
# that are left lie: a corrected field length does not move the later fields.
ERRORS_CAL = """INSTRUMENT ABC '' 3 AS 0 NONE
PRES NONE 'dbar' 4 BD 0 COUNT
T NONE C 2 BU 0 COUNT
FRAME COUNTER 'DN' 1 BU 2 COUNT
ES 412 'u' 2 BU 1 OPTIC2
100 0.5 1.2 7
LU 412 'u' 2 BU 1 OPTIC2
100 0.5
ED 412 'u' 2 AS 6 OPTIC1
0 1 1
1 1 1
2 1 nan
3 1 1
Q NONE '' 4294967295 BU 0 COUNT
Q NONE '' -1 BU 0 COUNT
Q NONE '' 2147483647 BU 0 COUNT
Q NONE '' 2 XX 0 COUNT
Q NONE '' 2 BU 0 OPTIC9
Q NONE '' V AF 0 COUNT
OPT3 NONE '' 2 BU 1 OPTIC3
CHECK SUM '' 1 BU 0 COUNT
VOLT NONE 'V' 2 BU 3 OPTIC1
0 1 1
"""


def errors_frame(tail):
    body = b"ABC" + bytes.fromhex("40290000012C") + tail + b"-" * 10
    return body + bytes([-sum(body) & 0xFF]) + b"zz"


# Line errors of a variable frame: misplaced and malformed delimiter lines,
# sensors after the TERMINATOR (whose gain range lines are passed over, not
# read as sensor definitions), and gain range lines missing at the end.
ERRORS_TDF = ("""VLF_INSTRUMENT NAV '' 3 AS 0 NONE
LAT NONE '' 2 AF 0 COUNT
FIELD NONE '\\x09' 1 AS 0 DELIMITER
A NONE '' 4 AF 1 POLYU
0 1
A NONE '' V BU 0 OPTIC1
0 1 1
FIELD NONE 'ab' 2 AS 0 DELIMITER
B NONE '' V AF 0 DELIMITER
B NONE '' V AF 0 COUNT
TERMINATOR NONE '\\x0D\\x0A' 3 AS 0 DELIMITER
""" + "X NONE '' V AF 1 POLYU\n1 2\n" * 10 + "Y NONE '' V AF 1 POLYU\n")


def frame(counter, es, bad_sum=0):
    body = ABCD + bytes([counter & 0xFF, (es >> 8) & 0xFF, es & 0xFF])
    check = (-sum(body) + bad_sum) & 0xFF
    return body + bytes([check])


def tag(date, time):
    return date.to_bytes(3, "big") + time.to_bytes(4, "big")


WORKED_TAGS = [tag(2004123, 123456789), tag(2004123, 123457000), tag(204124, 1)]


def worked_log():
    return b"".join(frame(i + 1, 2101 + i) + WORKED_TAGS[i] for i in range(3))


DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data")


def write(folder, name, data):
    folder = os.path.join(DATA, folder)
    os.makedirs(folder, exist_ok=True)
    mode = "wb" if isinstance(data, bytes) else "w"
    with open(os.path.join(folder, name), mode, newline="" if mode == "w" else None) as f:
        f.write(data)


def main():
    for case in ["worked_example", "worked_example_plain", "worked_example_width12",
                 "worked_example_width3"]:
        write(case, "abcd0042.tdf", ABCD_TDF)
        write(case, "data.raw", worked_log())

    # Frame counters 7, 9, 10, 254, 255, 0 and a bad check sum on the fifth
    # frame; garbage between the third and fourth frame.
    counters = [7, 9, 10, 254, 255, 0]
    log = b""
    for i, c in enumerate(counters):
        if i == 3:
            log += b"noise!"
        log += frame(c, 1000 + i, bad_sum=1 if i == 4 else 0) + tag(2004001, 1000000 * i)
    write("frame_checks", "abcd0042.tdf", ABCD_TDF)
    write("frame_checks", "data.raw", log)

    # Twelve frames without time tags: subsampling by 3 under a limit of 10.
    write("depth_limit", "abcd0042.tdf", ABCD_TDF)
    write("depth_limit", "data.raw",
          b"".join(frame(i + 1, 500 + i) + tag(2004100 + i, 100000000 + i) for i in range(12)))

    # The last frame is cut short: every complete frame is converted.
    write("truncated", "abcd0042.tdf", ABCD_TDF)
    write("truncated", "data.raw", (worked_log())[:-7 - 5])

    # No frame of the instrument at all.
    write("not_found", "abcd0042.tdf", ABCD_TDF)
    write("not_found", "data.raw", b"SOMETHING ELSE ENTIRELY\r\n" * 4)

    # Garbage longer than the read buffer (/b1024) between frames: the resource
    # answers "no frame" in the middle of the file, and the time tags must still
    # be read from just after their own frames.
    junk = b"0123456789" * 210
    write("garbage_between_frames", "abcd0042.tdf", ABCD_TDF)
    write("garbage_between_frames", "data.raw",
          frame(1, 11) + tag(2004001, 10000000) + junk + frame(2, 12) + tag(2004002, 20000000) +
          frame(3, 13) + tag(2004003, 30000000))

    # A tail of garbage after the last frame longer than the read buffer
    # (/b1024): a buffer overrun.
    write("buffer_overrun", "abcd0042.tdf", ABCD_TDF)
    write("buffer_overrun", "data.raw",
          frame(1, 11) + tag(2004001, 10000000) + frame(2, 12) + tag(2004002, 20000000) +
          junk[:1100])

    # Suppress Strings: a text field becomes an empty cell, time tags are
    # written unformatted, and a frame followed by less than a whole time tag
    # gets two empty time cells.
    label_tdf = ABCD_TDF.replace(
        "ES         412.5   'uW/cm^2/nm' 2 BU 1 OPTIC2\n2048.0 1.5E-3 1.0\n",
        "LABEL      NONE    ''           2 AS 0 COUNT\n")
    write("suppress_strings", "abcd0042.tdf", label_tdf)
    write("suppress_strings", "data.raw",
          frame(1, 0x4F4B) + tag(2004123, 123456789) + frame(2, 0x4F4B) + b"\x01\x02\x03")

    # Header records among instrument frames (header_records_width10 holds a copy).
    write("header_records", "data.raw",
          b"OXAHDR 12.5 (Battery)\r\n" + frame(1, 7) + tag(2004001, 0) +
          b"OXAHDR ABC\r\n" + b"OXAHDR x (a) (b)\r\n" +
          b"OXAHDR 2004-11-30 (Date)\r\n")

    # The small radiometer under each number form and calibration option.
    for case in ["optic3_inttime", "immersion", "precision", "exponent", "general", "hex"]:
        write(case, "rad0007.cal", RAD_CAL)
        write(case, "data.raw", RAD_LOG)

    # Failures reported only as text.
    write("instrument_errors_answered_no", "bad.cal", BAD_CAL)
    write("output_is_log", "abcd0042.tdf", ABCD_TDF)
    write("output_is_log/work", "data.raw", worked_log())
    write("output_is_log/expected", "data.raw", worked_log())

    # A run over two logs and two instruments.
    write("each_run", "abcd0042.tdf", ABCD_TDF)
    write("each_run", "data.raw", worked_log())

    # Instrument files with line errors, used all the same.
    write("instrument_line_errors", "errors.cal", ERRORS_CAL)
    write("instrument_line_errors", "data.raw",
          errors_frame(b"\x05\x01\x90") + errors_frame(b"\x06\x00\x64"))
    write("instrument_variable_errors", "errors.tdf", ERRORS_TDF)
    write("instrument_variable_errors", "data.raw",
          b"NAV\t12,7.5\r\nNAV\t-3,\r\nNAV\t4\r\n")


if __name__ == "__main__":
    main()
