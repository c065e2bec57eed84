#!/usr/bin/env python3
"""Writes the inputs of the conversion golden cases (instrument files and small
binary logs). The expected outputs beside them were checked by hand; this
script only makes the inputs, and is kept so that they can be read and made
again. Run from this folder: python3 make_conversion_cases.py"""

import os

ABCD = b"ABCD0042"

ABCD_TDF = """# Worked example instrument: header ABCD0042, serial number 0042.
INSTRUMENT ABCD    ''           4 AS 0 NONE
SN         0042    ''           4 AS 0 NONE
FRAME      COUNTER ''           1 BU 0 COUNT
ES         412.5   'uW/cm^2/nm' 2 BU 1 OPTIC2
2048.0 1.5E-3 1.0
CHECK      SUM     ''           1 BU 0 COUNT
"""


def frame(counter, es, bad_sum=0):
    body = ABCD + bytes([counter & 0xFF, (es >> 8) & 0xFF, es & 0xFF])
    check = (-sum(body) + bad_sum) & 0xFF
    return body + bytes([check])


def tag(date, time):
    return date.to_bytes(3, "big") + time.to_bytes(4, "big")


WORKED_TAGS = [tag(2004123, 123456789), tag(2004123, 123457000), tag(204124, 1)]


def worked_log():
    return b"".join(frame(i + 1, 2101 + i) + WORKED_TAGS[i] for i in range(3))


def write(folder, name, data):
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

    # Garbage longer than the read buffer between frames: the resource answers
    # "no frame" in the middle of the file, and the time tags must still be
    # read from just after their own frames.
    junk = b"0123456789" * 70
    write("garbage_between_frames", "abcd0042.tdf", ABCD_TDF)
    write("garbage_between_frames", "data.raw",
          frame(1, 11) + tag(2004001, 10000000) + junk + frame(2, 12) + tag(2004002, 20000000) +
          frame(3, 13) + tag(2004003, 30000000))

    # A long tail of garbage after the last frame: a buffer overrun.
    write("buffer_overrun", "abcd0042.tdf", ABCD_TDF)
    write("buffer_overrun", "data.raw",
          frame(1, 11) + tag(2004001, 10000000) + frame(2, 12) + tag(2004002, 20000000) +
          junk[:600])

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


if __name__ == "__main__":
    main()
