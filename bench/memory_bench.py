#!/usr/bin/python3
"""Peak memory of whole runs of tolv on the largest inputs it accepts.

Each case is a program directory with a copy of BUILD/tolv, a job and its form files, run on the
file printer (TOLV_PRINTER=file); the peak resident memory and the time are GNU time's
(/usr/bin/time, which `scripts/install-deps --bench` installs). The inputs are made here, in a temporary directory that is removed afterwards:

- the largest picture: 64 million pixels (8000 x 8000) of noise, which no compression shrinks, as
  a 24-bit BMP (192 MB) and as an RGBA PNG padded with a private chunk to just under the 512 MiB
  a picture file may have;
- the largest form data: 8 million records (64 MiB, all that is read), each dot in a colour of its
  own;
- the largest job: just under the 1 MiB read, with 100 rows of 250 characters.

Prints a Markdown table. Usage: memory_bench.py BUILD_DIR
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

SIDE = 8000  # 64 million pixels, the most a picture may have
PICTURE_FILE_LIMIT = 512 << 20
DATA_RECORDS = 8 << 20  # 64 MiB of 8-byte records


def noise_rows(row_bytes, rows):
    for _ in range(rows):
        yield os.urandom(row_bytes)


def write_noise_bmp(path):
    row = (SIDE * 3 + 3) // 4 * 4
    size = row * SIDE
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 54 + size, 0, 0, 54))
        f.write(struct.pack("<IiiHHIIiiII", 40, SIDE, SIDE, 1, 24, 0, size, 3780, 3780, 0, 0))
        for data in noise_rows(row, SIDE):
            f.write(data)


def png_chunk(kind, data):
    return (struct.pack(">I", len(data)) + kind + data +
            struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))


def write_chunk_from(f, kind, length, pieces):
    """A PNG chunk whose data come in pieces, so that no large buffer is held."""
    f.write(struct.pack(">I", length) + kind)
    crc = zlib.crc32(kind)
    for piece in pieces:
        crc = zlib.crc32(piece, crc)
        f.write(piece)
    f.write(struct.pack(">I", crc & 0xFFFFFFFF))


def write_noise_png(path, work):
    # The compressed rows first, to know their length.
    idat = os.path.join(work, "idat")
    compressor = zlib.compressobj(1)
    with open(idat, "wb") as f:
        for data in noise_rows(SIDE * 4, SIDE):
            f.write(compressor.compress(b"\0" + data))
        f.write(compressor.flush())
    idat_size = os.path.getsize(idat)
    header = png_chunk(b"IHDR", struct.pack(">IIBBBBB", SIDE, SIDE, 8, 6, 0, 0, 0))
    padding = PICTURE_FILE_LIMIT - 1024 - (8 + len(header) + 12 + idat_size + 12 + 12)
    piece = 1 << 20
    with open(path, "wb") as f, open(idat, "rb") as compressed:
        f.write(b"\x89PNG\r\n\x1a\n" + header)
        write_chunk_from(f, b"zzZz", padding,
                         (bytes(min(piece, padding - at)) for at in range(0, padding, piece)))
        write_chunk_from(f, b"IDAT", idat_size, iter(lambda: compressed.read(piece), b""))
        f.write(png_chunk(b"IEND", b""))
    os.remove(idat)


def write_coloured_dots(path):
    # Dots spread over a 2087 x 3040 form, each a colour of its own.
    with open(path, "wb") as f:
        for start in range(0, DATA_RECORDS, 1 << 16):
            block = bytearray()
            for i in range(start, start + (1 << 16)):
                block += struct.pack("<hhi", (i * 7919) % 2087, (i * 104729) % 3040, i & 0xFFFFFF)
            f.write(block)


def write_job(path, blank, mode, rows, padding=0):
    lines = ["[BLANK]", f"Value={blank}", "[PAPERTYPE]", f"Value={mode}", "[OFFSETX]",
             "Value=25", "[OFFSETY]", "Value=25", "[FONT]", "Value=DejaVu Sans", "[ZOOM]",
             "Value=100", "[INFO]"]
    for i, row in enumerate(rows):
        lines += [f"ROW{i:02d}={row}", f"LEN{i:02d}={len(row) + 2}"]
    text = "\r\n".join(lines) + "\r\n"
    if padding:  # a section nobody reads, up to the size given
        text += "[NOTES]\r\n" + ("NOTE=" + "n" * 250 + "\r\n") * ((padding - len(text)) // 257)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def run(build, work, name, blank, mode, picture=None, data=None, rows=None, padding=0):
    directory = os.path.join(work, name)
    os.mkdir(directory)
    shutil.copy(os.path.join(build, "tolv"), directory)
    forms = os.path.join(build, "forms")
    for suffix in ("DAT", "GFX"):
        form = f"KORDEL{blank}A.{suffix}"
        os.symlink(os.path.join(forms, form), os.path.join(directory, form))
    for source, form in ((picture, f"KORDEL{blank}A.GFX"), (data, f"KORDEL{blank}A.DAT")):
        if source:
            os.remove(os.path.join(directory, form))
            os.symlink(source, os.path.join(directory, form))
    write_job(os.path.join(directory, "ZOBAX.QJT"), blank, mode, rows or ["|Smith|Sofia|"],
              padding)
    env = dict(os.environ, TOLV_PRINTER="file")
    # GNU time's own child: its peak is tolv's alone, not that of this script copied by fork.
    figures = os.path.join(work, "figures")
    child = subprocess.run(["/usr/bin/time", "-f", "%M %e", "-o", figures,
                            os.path.join(directory, "tolv")], cwd=directory, env=env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=False)
    with open(figures) as f:
        kilobytes, seconds = f.read().split()[-2:]
    error = child.stderr.decode(errors="replace").strip()
    document = os.path.join(directory, "ZOBAX.PDF")
    size = os.path.getsize(document) / 1e6 if os.path.exists(document) else 0
    shutil.rmtree(directory)
    return int(kilobytes) / 1024, float(seconds), child.returncode, size, error


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    work = tempfile.mkdtemp(prefix="tolv-memory-")
    try:
        bmp = os.path.join(work, "noise.bmp")
        png = os.path.join(work, "noise.png")
        dots = os.path.join(work, "dots.dat")
        write_noise_bmp(bmp)
        write_noise_png(png, work)
        write_coloured_dots(dots)
        big_rows = ["|" + "x" * 250 + "|"] * 100
        cases = [
            ("mode 0 (composed), 64 Mpx BMP, 192 MB", dict(blank=7, mode=0, picture=bmp)),
            ("mode 1 (banded), 64 Mpx BMP, 192 MB", dict(blank=3, mode=1, picture=bmp)),
            ("mode 0 (composed), 64 Mpx PNG, 512 MB file", dict(blank=7, mode=0, picture=png)),
            ("mode 2 (direct), 64 Mpx PNG: header only", dict(blank=1, mode=2, picture=png)),
            ("mode 2 (direct), 8 M dots in 8 M colours", dict(blank=3, mode=2, data=dots)),
            ("mode 3 (grid), a job of 1 MiB, 100 rows of 250 characters",
             dict(blank=1, mode=3, rows=big_rows, padding=(1 << 20) - 4096)),
        ]
        print("| Case | Peak RSS MB | Seconds | Exit | PDF MB |")
        print("|---|---:|---:|---:|---:|")
        worst = 0
        for number, (name, case) in enumerate(cases):
            rss, seconds, code, size, error = run(build, work, f"case{number}", **case)
            worst = max(worst, rss)
            note = f" ({error})" if error else ""
            print(f"| {name}{note} | {rss:.0f} | {seconds:.1f} | {code} | {size:.2f} |")
        print()
        print(f"Largest peak: {worst:.0f} MB.")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
