"""Independent encoders and decoders for the encoder component's tests.

usage: codec_peer.py DIR

For every NAME.plain in DIR:
  - checks that NAME.b64 and NAME.uue (written by the component) decode with Python's base64 and uu
    modules to the plain bytes, and that NAME.qp (when present) decodes with quopri to the plain text
    (with its CR LF line ends read as LF);
  - writes Python's own encodings NAME.py.b64, NAME.py.uue, NAME.py.qp for the component to decode.
Prints one line per mismatch and exits 1 when there was any.
"""
import base64
import io
import os
import quopri
import sys
import warnings

warnings.simplefilter("ignore", DeprecationWarning)
import uu  # noqa: E402


def uudecode(data):
    out = io.BytesIO()
    uu.decode(io.BytesIO(data), out, quiet=True)
    return out.getvalue()


def uuencode(data, name):
    out = io.BytesIO()
    uu.encode(io.BytesIO(data), out, name=name, mode=0o644)
    return out.getvalue()


def main():
    folder = sys.argv[1]
    failures = []
    for entry in sorted(os.listdir(folder)):
        if not entry.endswith(".plain"):
            continue
        stem = os.path.join(folder, entry[: -len(".plain")])
        with open(stem + ".plain", "rb") as f:
            plain = f.read()

        def ours(ext):
            path = stem + ext
            if not os.path.exists(path):
                return None
            with open(path, "rb") as f:
                return f.read()

        b64 = ours(".b64")
        if b64 is not None and base64.decodebytes(b64) != plain:
            failures.append(entry + ": base64 decodes differently")
        uue = ours(".uue")
        if uue is not None:
            try:
                if uudecode(uue) != plain:
                    failures.append(entry + ": uuencode decodes differently")
            except Exception as e:  # a malformed file is a mismatch too
                failures.append(entry + ": uu.decode failed: " + str(e))
        qp = ours(".qp")
        # Our encoded text has CR LF line ends; the plain text has LF.
        if qp is not None and quopri.decodestring(qp).replace(b"\r\n", b"\n") != plain:
            failures.append(entry + ": quoted-printable decodes differently")

        with open(stem + ".py.b64", "wb") as f:
            f.write(base64.encodebytes(plain))
        with open(stem + ".py.uue", "wb") as f:
            f.write(uuencode(plain, os.path.basename(stem)))
        with open(stem + ".py.qp", "wb") as f:
            f.write(quopri.encodestring(plain))
    for line in failures:
        print(line)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
