#!/usr/bin/python3
"""The peers of the log-row benchmark.

check FILE N      reads FILE with dbfread, checks that it holds N rows written by
                  cvb-bench-data (first and last row), and prints dbfread's scan rate.
append FILE N     appends N rows of the same shape with python-dbf to a new table and
                  prints its rate (python-dbf does not sync to disk after each row).
"""
import datetime
import sys
import time


def check(path, rows):
    import dbfread

    start = time.perf_counter()
    table = dbfread.DBF(path, encoding="utf-8", char_decode_errors="strict")
    count = 0
    first = last = None
    for record in table:
        if first is None:
            first = record
        last = record
        count += 1
    seconds = time.perf_counter() - start
    problems = []
    if count != rows:
        problems.append(f"dbfread read {count} rows, expected {rows}")
    if first and (first["EVENT"] != "Bench profile row 0 Grüße" or first["DATE"] != datetime.date(2026, 12, 8)):
        problems.append(f"first row reads {dict(first)}")
    if last and last["EVENT"] != f"Bench profile row {rows - 1} Grüße":
        problems.append(f"last row reads {dict(last)}")
    print(f"dbfread scan {count} rows in {seconds:.3f} s: {int(count / seconds)} rows/s")
    for p in problems:
        print("CHECK FAILED: " + p)
    return 1 if problems else 0


def append(path, rows):
    import dbf

    table = dbf.Table(path, "DATE D; TIME C(20); EVENT C(100)", dbf_type="db3", codepage="utf8")
    table.open(dbf.READ_WRITE)
    day = datetime.date(2026, 12, 8)
    start = time.perf_counter()
    for i in range(rows):
        table.append(
            {
                "date": day + datetime.timedelta(days=i % 365),
                "time": f"{i // 3600 % 24:02}:{i // 60 % 60:02}:{i % 60:02}",
                "event": f"Bench profile row {i} Grüße",
            }
        )
    table.close()
    seconds = time.perf_counter() - start
    print(f"python-dbf append {rows} rows in {seconds:.3f} s: {int(rows / seconds)} rows/s")
    return 0


if __name__ == "__main__":
    commands = {"check": check, "append": append}
    if len(sys.argv) == 4 and sys.argv[1] in commands:
        sys.exit(commands[sys.argv[1]](sys.argv[2], int(sys.argv[3])))
    sys.stderr.write(__doc__)
    sys.exit(2)
