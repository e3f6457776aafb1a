#!/usr/bin/python3
"""Writes a site of many small files for the wide-area benchmark: FOLDER with 8 folders of 4
subfolders each (40 folders), 50 files in every one of them (2,000 files): a .htaccess and
pictures of 200 to 8,000 arbitrary bytes, pages of text with LF line ends (a backup fetches
.html in ASCII mode) of about the same sizes. The same bytes every time.

Usage: make_small_site.py FOLDER     (prints the number of files)
"""
import os
import random
import sys


def main():
    top = sys.argv[1]
    rng = random.Random(2000)
    files = 0
    for a in range(8):
        parent = os.path.join(top, "section%d" % a)
        for folder in [parent] + [os.path.join(parent, "part%d" % b) for b in range(4)]:
            os.makedirs(folder)
            names = [".htaccess"] + ["page%02d.html" % i for i in range(30)] + \
                    ["image%02d.png" % i for i in range(19)]
            for name in names:
                size = rng.randint(200, 8000)
                if name.endswith(".html"):
                    data = b""
                    while len(data) < size:
                        data += b"<p>%s</p>\n" % b" ".join(
                            b"word%d" % rng.randrange(1000) for _ in range(rng.randrange(1, 12)))
                else:
                    data = rng.randbytes(size)
                with open(os.path.join(folder, name), "wb") as out:
                    out.write(data)
                files += 1
    print(files)


if __name__ == "__main__":
    main()
