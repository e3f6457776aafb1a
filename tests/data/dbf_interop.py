#!/usr/bin/python3
"""Independent dBase readers and writers for the table engine's interop tests.

describe FILE...   reads each table with dbfread and prints JSON:
                   {file: {"fields": [[name, type, length, decimals], ...],
                           "records": [{field: value}, ...],      live records, file order
                           "deleted": [{field: value}, ...]}}     deleted records, file order
                   Dates are printed as YYYY-MM-DD, blanks as null.
write FILE         reads {"fields": "NAME C(40); ...", "records": [{...}], "delete": [i, ...]}
                   as JSON from stdin and writes a new dBase III table with python-dbf
                   (UTF-8 text); the records whose positions are listed are then deleted.
"""
import datetime
import json
import sys


def plain(value):
    if isinstance(value, (datetime.date, datetime.datetime)):
        return value.strftime("%Y-%m-%d")
    return value


def describe(paths):
    import dbfread

    out = {}
    for path in paths:
        table = dbfread.DBF(path, encoding="utf-8", char_decode_errors="strict", load=True)
        out[path] = {
            "fields": [[f.name, f.type, f.length, f.decimal_count] for f in table.fields],
            "records": [{k: plain(v) for k, v in r.items()} for r in table.records],
            "deleted": [{k: plain(v) for k, v in r.items()} for r in table.deleted],
        }
    json.dump(out, sys.stdout, ensure_ascii=False)


def write(path):
    import dbf

    request = json.load(sys.stdin)
    table = dbf.Table(path, request["fields"], dbf_type="db3", codepage="utf8")
    table.open(dbf.READ_WRITE)
    for record in request["records"]:
        values = {}
        for name, value in record.items():
            if isinstance(value, str) and len(value) == 10 and value[4] == "-" and value[7] == "-":
                value = datetime.date.fromisoformat(value)
            values[name.lower()] = value
        table.append(values)
    for index in request.get("delete", []):
        with table[index] as record:
            dbf.delete(record)
    table.close()


def main():
    if len(sys.argv) >= 3 and sys.argv[1] == "describe":
        describe(sys.argv[2:])
    elif len(sys.argv) == 3 and sys.argv[1] == "write":
        write(sys.argv[2])
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
