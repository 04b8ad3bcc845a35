#!/usr/bin/python3
"""The Windows build as a caller runs it, under wine, read back beside the Linux build.

Each check copies tolv.exe, the sample forms and a job into a scratch program directory, runs it in
the warm wine session of the test fixture (WINEPREFIX and the rest come from CTest), and reads back
what reached the test printer's port: the PostScript is rasterised with ghostscript at 600 dpi and
its words are read with pdftotext (after ps2pdf). A job of each output mode is also run through the Linux build on
its file printer (A4, 600 dpi, the whole page printable: the device of the TolvPage test printer),
and the two pages must agree: every pixel outside the text exactly (dots, lines, cut line, picture
edges), the text's words in the same order within GDI's whole-pixel advances.

  print_check.py page JOB        one output mode beside the Linux build
  print_check.py fault NAME      no-printer | missing-printer | broken-port | unicode-folder |
                                 unicode-dir | cp1251 | reprint
  print_check.py options JOB     the operator's options on Windows, each beside a plain run
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

import numpy as np

DPI = 600
PX_PER_MM = DPI / 25.4
KEY = r"HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows"


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def run(cmd, cwd, env=None, timeout=120):
    """Runs a program with its output in files: a pipe would wait for the wine session to end."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        proc = subprocess.run(cmd, cwd=cwd, env=env, stdin=subprocess.DEVNULL, stdout=out,
                              stderr=err, timeout=timeout)
        err.seek(0)
        return proc.returncode, err.read().decode("utf-8", "replace").replace("\r\n", "\n")


def wine_path(path):
    return "Z:" + path.replace("/", "\\")


def set_default(device):
    """The default printer as wine keeps it (None: no default printer at all)."""
    if device is None:
        cmd = ["wine", "reg", "delete", KEY, "/v", "Device", "/f"]
    else:
        cmd = ["wine", "reg", "add", KEY, "/v", "Device", "/d", device, "/f"]
    run(cmd, cwd="/")


def page_printer(args):
    return "TolvPage,winspool," + wine_path(args.port)


def program_dir(args, parent, name, job_bytes, blank):
    d = os.path.join(parent, name)
    os.makedirs(d)
    shutil.copy(args.exe, d)
    for ext in ("GFX", "DAT"):
        shutil.copy(os.path.join(args.forms, "KORDEL%dA.%s" % (blank, ext)), d)
    with open(os.path.join(d, "ZOBAX.QJT"), "wb") as f:
        f.write(job_bytes)
    return d


def run_windows(args, d, env=None, options=(), out=None):
    """tolv.exe with `options`; its standard output goes to the file `out` when given."""
    if os.path.exists(args.port):
        os.remove(args.port)  # wine overwrites a port file without truncating it
    cmd = ["wine", os.path.join(d, os.path.basename(args.exe))] + list(options)
    if out is None:
        return run(cmd, cwd=d, env=env)
    with open(out, "wb") as f:
        proc = subprocess.run(cmd, cwd=d, env=env, stdin=subprocess.DEVNULL, stdout=f,
                              stderr=subprocess.DEVNULL, timeout=120)
    return proc.returncode, ""


def raster(path):
    """A page rasterised by ghostscript at 600 dpi: True where dark."""
    return raster_grey(path) < 128


def raster_grey(path, page=1):
    """A page rasterised by ghostscript at 600 dpi, its grey levels."""
    out = path + ".pgm"
    code, err = run(["gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=pgmraw",
                     "-r%d" % DPI, "-dFirstPage=%d" % page, "-dLastPage=%d" % page, "-o", out,
                     path], cwd="/")
    if code != 0:
        fail("ghostscript could not read %s: %s" % (path, err))
    return read_pgm_grey(out)


def read_pgm(out):
    return read_pgm_grey(out) < 128


def read_pgm_grey(out):
    data = open(out, "rb").read()
    tokens, i = [], 0
    while len(tokens) < 4:
        while data[i:i + 1].isspace():
            i += 1
        if data[i:i + 1] == b"#":
            i = data.index(b"\n", i)
            continue
        j = i
        while not data[j:j + 1].isspace():
            j += 1
        tokens.append(data[i:j])
        i = j
    w, h = int(tokens[1]), int(tokens[2])
    return np.frombuffer(data[i + 1:i + 1 + w * h], dtype=np.uint8).reshape(h, w)


def raster_pdf(path):
    """The Linux build's PDF as its own integration tests read it: poppler at 600 dpi. (Ghostscript
    paints every pixel a stroke touches, so the PDF's rounded dash lengths drift by a pixel along
    a page-wide dotted line.)"""
    out = path + ".poppler"
    code, err = run(["pdftoppm", "-r", str(DPI), "-gray", "-f", "1", "-l", "1", "-singlefile",
                     path, out], cwd="/")
    if code != 0:
        fail("poppler could not read %s: %s" % (path, err))
    return read_pgm(out + ".pgm")


def words(pdf):
    """Words of page 1 as (text, x_min, y_min, x_max, y_max) in device pixels."""
    out = pdf + ".html"
    run(["pdftotext", "-bbox", "-f", "1", "-l", "1", pdf, out], cwd="/")
    found = []
    import html
    import re
    for m in re.finditer(r'<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">'
                         r'(.*?)</word>', open(out, encoding="utf-8").read()):
        x0, y0, x1, y1 = (float(v) * DPI / 72 for v in m.groups()[:4])
        found.append((html.unescape(m.group(5)), x0, y0, x1, y1))
    return found


def linux_page(args, parent, job_bytes, blank):
    d = os.path.join(parent, "linux")
    os.makedirs(d)
    shutil.copy(args.linux_exe, d)
    for ext in ("GFX", "DAT"):
        shutil.copy(os.path.join(args.forms, "KORDEL%dA.%s" % (blank, ext)), d)
    with open(os.path.join(d, "ZOBAX.QJT"), "wb") as f:
        f.write(job_bytes)
    # The Linux file printer, asked for: a scheduler named but absent is a failure there.
    env = dict(os.environ, TOLV_PRINTER="file")
    status, err = run([os.path.join(d, "tolv")], cwd=d, env=env)
    if status != 0:
        fail("the Linux build exited %d: %s" % (status, err))
    return os.path.join(d, "ZOBAX.PDF")


def blank_of(job_bytes):
    text = job_bytes.decode("latin-1")
    section = text[text.index("[BLANK]"):]
    return int(section.split("Value=")[1].split()[0])


def off_edge(win, lin):
    """Differing pixels that are not beside an edge of the Linux page: a picture's source pixels,
    stretched by a factor that is no whole number, may start one device pixel apart in two
    nearest-pixel scalers, but never further."""
    edge = np.zeros(lin.shape, dtype=bool)
    edge[:, 1:] |= lin[:, 1:] != lin[:, :-1]
    edge[:, :-1] |= lin[:, 1:] != lin[:, :-1]
    edge[1:, :] |= lin[1:, :] != lin[:-1, :]
    edge[:-1, :] |= lin[1:, :] != lin[:-1, :]
    near = edge.copy()  # and diagonally, where both sides of a corner moved
    near[1:, :] |= edge[:-1, :]
    near[:-1, :] |= edge[1:, :]
    return (win != lin) & ~near


def compare_job(args, tmp, job_bytes, text_in_picture, report, pictures=False):
    """Runs one job on both builds and compares the first pages."""
    blank = blank_of(job_bytes)
    set_default(page_printer(args))
    d = program_dir(args, tmp, "prog", job_bytes, blank)
    status, err = run_windows(args, d)
    if status != 0 or err:
        fail("tolv.exe exited %d: %s" % (status, err))
    if not os.path.exists(args.port):
        fail("nothing reached the printer's port")
    ps = os.path.join(tmp, "page.ps")
    shutil.copy(args.port, ps)
    pdf_win = os.path.join(tmp, "page.pdf")
    run(["ps2pdf", ps, pdf_win], cwd=tmp)
    pdf_linux = linux_page(args, tmp, job_bytes, blank)

    win, lin = raster(ps), raster_pdf(pdf_linux)
    if win.shape != lin.shape:
        fail("page sizes differ: %s on Windows, %s on Linux" % (win.shape, lin.shape))
    w_words, l_words = words(pdf_win), words(pdf_linux)

    # Text: the same words in the same order, each where Linux puts it, within the difference of
    # GDI's whole-pixel advances (about 1 % of the word and of its distance from the form's left
    # edge, where a line's advances add up) and a few pixels for the rounding of the text's cell.
    if [w[0] for w in w_words] != [w[0] for w in l_words]:
        fail("words differ:\n  Windows %s\n  Linux   %s" %
             ([w[0] for w in w_words], [w[0] for w in l_words]))
    if w_words:
        worst_x = worst_y = 0.0
        for (text, wx0, wy0, wx1, wy1), (_, lx0, ly0, lx1, ly1) in zip(w_words, l_words):
            dx, dy = wx0 - lx0, wy1 - ly1
            worst_x = max(worst_x, abs(dx))
            worst_y = max(worst_y, abs(dy))
            if abs(dx) > 0.012 * (lx1 - lx0) + 0.012 * max(lx0 - 1200, 0) + 3 or abs(dy) > 3:
                fail("%r at (%.1f, %.1f) px on Windows, (%.1f, %.1f) on Linux" %
                     (text, wx0, wy1, lx0, ly1))
        report.append("%d words: left edges within %.2f mm, baselines within %.2f mm of Linux" %
                      (len(w_words), worst_x / PX_PER_MM, worst_y / PX_PER_MM))

    # Everything but the text: the same device pixels.
    mask = np.zeros(win.shape, dtype=bool)
    for (_, x0, y0, x1, y1) in w_words + l_words:
        mask[max(int(y0) - 8, 0):int(y1) + 9, max(int(x0) - 8, 0):int(x1) + 9] = True
    if text_in_picture:
        # The composed modes print the text inside the form's picture, drawn at 96 dpi by GDI on
        # Windows and by Pango on Linux: the glyphs differ, the picture's corners must not.
        ys, xs = np.nonzero(lin)
        box_l = (int(xs.min()), int(ys.min()), int(xs.max()), int(ys.max()))
        ys, xs = np.nonzero(win)
        box_w = (int(xs.min()), int(ys.min()), int(xs.max()), int(ys.max()))
        if box_l != box_w:
            fail("picture corners differ: Windows %s, Linux %s" % (box_w, box_l))
        differ = int(np.count_nonzero(win != lin))
        report.append("picture corners equal %s; %d pixels differ, %.1f %% of the dark ones: the"
                      " text's glyphs" % (box_l, differ,
                                          100.0 * differ / max(int(np.count_nonzero(lin)), 1)))
    else:
        differ = int(np.count_nonzero((win != lin) & ~mask))
        dark = int(np.count_nonzero(lin & ~mask))
        bad = (win != lin) & ~mask
        if pictures:
            bad = off_edge(win, lin) & ~mask
            report.append("outside the text: %d dark pixels, %d differ, each beside a source pixel's"
                          " edge in the stretched picture" % (dark, differ))
        else:
            report.append("outside the text: %d dark pixels, %d differ" % (dark, differ))
        if np.count_nonzero(bad):
            ys, xs = np.nonzero(bad)
            fail("%d pixels outside the text differ, the first at (%d, %d)" %
                 (int(np.count_nonzero(bad)), xs[0], ys[0]))


def check_page(args):
    job_bytes = open(args.job, "rb").read()
    report = ["%s on the TolvPage printer (4961 x 7016 px at 600 dpi) beside Linux:" %
              os.path.basename(args.job)]
    with tempfile.TemporaryDirectory(prefix="tolv-win-") as tmp:
        compare_job(args, tmp, job_bytes, args.text_in_picture, report)
    if args.text_in_picture:
        # Without rows the composed picture is the form alone, and must match but for the
        # stretching's rounding inside the picture.
        rows = b"\n".join(line for line in job_bytes.split(b"\n")
                           if not line.startswith((b"ROW", b"LEN")))
        with tempfile.TemporaryDirectory(prefix="tolv-win-") as tmp:
            compare_job(args, tmp, rows, False, report, pictures=True)
    print("\n  ".join(report))


def check_fault(args):
    job = open(args.job, "rb").read()
    blank = blank_of(job)
    with tempfile.TemporaryDirectory(prefix="tolv-win-") as tmp:
        try:
            if args.fault == "no-printer":
                set_default(None)
                d = program_dir(args, tmp, "prog", job, blank)
                status, err = run_windows(args, d)
                expect(status == 0 and not err, "status %d, %r" % (status, err))
                expect_emf(d)
                out = os.path.join(tmp, "check.txt")
                run_windows(args, d, options=["--check"], out=out)
                expect("ZOBAX.EMF in the program directory" in open(out, encoding="utf-8").read(),
                       "--check without a printer does not name ZOBAX.EMF")
                # The file printer's page, A4, in .01 mm: a viewer shows it at its size.
                frame, device = emf_frame(os.path.join(d, "ZOBAX.EMF"))
                expect(frame == (21000, 29700) and device == [4961, 7016],
                       "ZOBAX.EMF states %s, %s" % (frame, device))
                expect(not os.path.exists(args.port), "the test printer printed")
            elif args.fault in ("missing-printer", "broken-port"):
                set_default("TolvMissing,winspool,FILE:" if args.fault == "missing-printer"
                            else "TolvBroken,winspool," + r"Z:\proc\tolv\tolv.ps")
                d = program_dir(args, tmp, "prog", job, blank)
                status, err = run_windows(args, d)
                lines = err.strip("\n").split("\n")
                # One readable line: the held document's native path with single backslashes, and
                # the system's words beside the error's number.
                expect(status == 2 and len(lines) == 1 and lines[0].startswith("tolv: ") and
                       "held as" in lines[0] and "\\\\" not in lines[0] and
                       re.search(r"\(error \d+: [^)]+\)", lines[0]) is not None and
                       re.search(r'"Z:\\[^"/]*\\held\\[^"/]*\.emf"', lines[0]) is not None,
                       "status %d, %r" % (status, err))
                held = expect_held_emf(d)
                print(lines[0])
                if args.fault == "broken-port":
                    expect_kept_prints_the_same(args, tmp, d, job, blank, held)
            elif args.fault == "unicode-folder":
                set_default(page_printer(args))
                d = program_dir(args, tmp, "Zürich Ω folder with spaces", job, blank)
                status, err = run_windows(args, d)
                expect(status == 0 and not err, "status %d, %r" % (status, err))
                expect(os.path.getsize(args.port) > 0, "nothing printed")
            elif args.fault == "unicode-dir":
                # The program directory named on the command line and in TOLV_DIR, away from the
                # executable: both reach tolv as UTF-16, whatever the ANSI code page.
                set_default(page_printer(args))
                d = program_dir(args, tmp, "Zürich Ω dir", job, blank)
                exe = os.path.join(tmp, "bin", os.path.basename(args.exe))
                os.makedirs(os.path.dirname(exe))
                shutil.move(os.path.join(d, os.path.basename(args.exe)), exe)
                for options, env in ((["--dir", wine_path(d)], None),
                                     ([], dict(os.environ, TOLV_DIR=wine_path(d)))):
                    if os.path.exists(args.port):
                        os.remove(args.port)
                    status, err = run(["wine", exe] + options, cwd=tmp, env=env)
                    expect(status == 0 and not err, "%s: status %d, %r" % (options, status, err))
                    expect(os.path.getsize(args.port) > 0, "%s: nothing printed" % options)
            elif args.fault == "cp1251":
                # A job in the Windows Cyrillic code page under a Russian locale: wine's GetACP
                # follows LC_ALL.
                set_default(page_printer(args))
                cyrillic = "Иванов".encode("cp1251")
                job = job.replace(b"Smith", cyrillic)
                d = program_dir(args, tmp, "prog", job, blank)
                env = dict(os.environ, LC_ALL="ru_RU.UTF-8", LANG="ru_RU.UTF-8")
                status, err = run_windows(args, d, env=env)
                expect(status == 0 and not err, "status %d, %r" % (status, err))
                ps = os.path.join(tmp, "page.ps")
                shutil.copy(args.port, ps)
                pdf = os.path.join(tmp, "page.pdf")
                run(["ps2pdf", ps, pdf], cwd=tmp)
                texts = [w[0] for w in words(pdf)]
                expect("Иванов" in texts, "words %s" % texts)
            elif args.fault == "reprint":
                expect_reprint(args, tmp, job, blank)
            elif args.fault == "many-colours":
                expect_many_colours(args, tmp, job, blank)
            else:
                fail("unknown fault " + args.fault)
        finally:
            set_default(page_printer(args))
    print("%s: as expected" % args.fault)


def metafile_lengths(data):
    """The lengths of the metafiles one after the other in `data`, as their headers state them."""
    lengths, at = [], 0
    while at + 88 <= len(data) and data[at:at + 4] == b"\x01\x00\x00\x00" and \
            data[at + 40:at + 44] == b" EMF":
        lengths.append(int.from_bytes(data[at + 48:at + 52], "little"))
        at += lengths[-1]
    return lengths


def expect_reprint(args, tmp, job, blank):
    """A job of two pages (a large form that does not fit twice) the broken printer did not take:
    held as one file of both metafiles, listed as one document, and once the good printer is the
    default, `--reprint all` prints both pages as tolv prints them there and empties held/."""
    job = re.sub(rb"\[ZOOM\]\r?\nValue=\d+", b"[ZOOM]\nValue=120", job)
    set_default("TolvBroken,winspool," + r"Z:\proc\tolv\tolv.ps")
    d = program_dir(args, tmp, "prog", job, blank)
    status, err = run_windows(args, d)
    expect(status == 2 and "held as" in err, "the broken printer: status %d, %r" % (status, err))
    held = os.path.join(d, "held")
    names = sorted(os.listdir(held))
    expect(len(names) == 3 and names[0].endswith(".emf") and
           names[1:] == [names[0] + ".qjt", names[0] + ".txt"],
           "held/ holds %s (the document, its job, its note)" % names)
    data = open(os.path.join(held, names[0]), "rb").read()
    lengths = metafile_lengths(data)
    expect(len(lengths) == 2 and sum(lengths) == len(data),
           "the held document's metafiles: %s of %d bytes" % (lengths, len(data)))
    out = os.path.join(tmp, "held.txt")
    status, _ = run_windows(args, d, options=["--held"], out=out)
    listed = open(out, "rb").read().decode("utf-8", "replace").strip().splitlines()
    expect(status == 0 and len(listed) == 1 and listed[0].startswith(names[0] + " "),
           "--held: status %d, %r" % (status, listed))

    set_default(page_printer(args))
    out = os.path.join(tmp, "reprint.txt")
    status, _ = run_windows(args, d, options=["--reprint", "all"], out=out)
    said = open(out, "rb").read().decode("utf-8", "replace").strip()
    expect(status == 0 and os.listdir(held) == [],
           "--reprint all: status %d, %r, held/ %s" % (status, said, os.listdir(held)))
    again = os.path.join(tmp, "again.ps")
    shutil.copy(args.port, again)
    direct = program_dir(args, tmp, "direct", job, blank)
    status, err = run_windows(args, direct)
    expect(status == 0, "tolv.exe on the good printer: %d %s" % (status, err))
    first = os.path.join(tmp, "direct.ps")
    shutil.copy(args.port, first)
    pages = [open(p, "rb").read().count(b"\n%%Page:") for p in (again, first)]
    expect(pages == [2, 2], "pages printed: reprint %d, direct %d" % tuple(pages))
    dark = 0
    for page in (1, 2):
        a, b = raster_grey(again, page) < 128, raster_grey(first, page) < 128
        differ = int(np.count_nonzero(a != b))
        expect(a.shape == b.shape and differ == 0 and np.count_nonzero(b) > 0,
               "page %d reprinted differs in %d pixels" % (page, differ))
        dark += int(np.count_nonzero(b))
    print("%s (%d bytes, metafiles of %s) listed once, reprinted: 2 pages, the same %d dark"
          " pixels as tolv prints there; held/ empty; %s" % (names[0], len(data), lengths, dark,
                                                              said))


def expect_many_colours(args, tmp, job, blank):
    """A form data file of 100,000 dots, each in a colour of its own (reddish: grey about 90, and
    about 55 were red and blue swapped): the page prints with them, or the run fails and keeps it;
    never status 0 with nothing printed."""
    set_default(page_printer(args))
    d = program_dir(args, tmp, "prog", job, blank)
    rng = np.random.default_rng(7)
    count = 100000
    # Distinct colours 0x00BBGGRR: red 0xC0-0xFF, green and blue 0-0x3F.
    index = rng.permutation(64 ** 3)[:count]
    colour = (0xC0 + index % 64) | ((index // 64 % 64) << 8) | ((index // 4096) << 16)
    with open(os.path.join(args.forms, "KORDEL%dA.GFX" % blank), "rb") as f:
        header = f.read(26)
    width = int.from_bytes(header[18:22], "little", signed=True)
    height = abs(int.from_bytes(header[22:26], "little", signed=True))
    records = np.zeros(count, dtype=[("x", "<i2"), ("y", "<i2"), ("c", "<u4")])
    records["x"] = rng.integers(0, width, count)
    records["y"] = rng.integers(0, height, count)
    records["c"] = colour
    records.tofile(os.path.join(d, "KORDEL%dA.DAT" % blank))
    status, err = run_windows(args, d)
    if status == 2:
        expect(err.startswith("tolv: ") and "held" in err, "status 2, %r" % err)
        print("kept: " + err.strip())
        return
    expect(status == 0 and not err, "status %d, %r" % (status, err))
    expect(os.path.exists(args.port) and os.path.getsize(args.port) > 0, "nothing printed")
    ps = os.path.join(tmp, "many.ps")
    shutil.copy(args.port, ps)
    grey = raster_grey(ps)
    dots = grey[(grey > 30) & (grey < 150)]
    # Dots on the same pixel, or under the text, are fewer than 3 in 100.
    expect(dots.size >= 0.97 * count, "%d of %d dots on the page" % (dots.size, count))
    expect(75 <= dots.mean() <= 105, "the dots' mean grey is %.1f" % dots.mean())
    print("%d dots printed, mean grey %.1f" % (dots.size, dots.mean()))


def expect_kept_prints_the_same(args, tmp, d, job, blank, kept):
    """The kept document, printed on the good printer, gives the page tolv prints there itself."""
    set_default(page_printer(args))
    if os.path.exists(args.port):
        os.remove(args.port)
    status, err = run(["wine", args.print_emf, kept], cwd=d)
    expect(status == 0, "printing %s again failed: %s" % (kept, err))
    again = raster_copy(args, tmp, "again.ps")
    direct = program_dir(args, tmp, "direct", job, blank)
    status, err = run_windows(args, direct)
    expect(status == 0, "tolv.exe on the good printer: %d %s" % (status, err))
    first = raster_copy(args, tmp, "direct.ps")
    differ = int(np.count_nonzero(again != first))
    expect(again.shape == first.shape and differ == 0,
           "the kept document prints differently: %d pixels" % differ)
    print("the kept document printed again: the same %d dark pixels" %
          int(np.count_nonzero(first)))


def raster_copy(args, tmp, name):
    path = os.path.join(tmp, name)
    shutil.copy(args.port, path)
    return raster(path)


def expect(condition, message):
    if not condition:
        fail(message)


def expect_held_emf(d):
    """The one document held in held/ beside the program, a whole metafile; its path."""
    held = os.path.join(d, "held")
    names = [n for n in os.listdir(held) if n.endswith(".emf")] if os.path.isdir(held) else []
    expect(len(names) == 1, "held documents: %s" % names)
    expect_emf(os.path.join(held, names[0]))
    return os.path.join(held, names[0])


def expect_emf(path):
    if os.path.isdir(path):
        path = os.path.join(path, "ZOBAX.EMF")
    expect(os.path.exists(path), "no " + path)
    data = open(path, "rb").read()
    # A whole metafile: its header's record type and signature, and the size it states.
    expect(len(data) > 88 and data[0:4] == b"\x01\x00\x00\x00" and data[40:44] == b" EMF",
           "ZOBAX.EMF is no metafile")
    expect(int.from_bytes(data[48:52], "little") == len(data), "ZOBAX.EMF is cut short")


PDF_PRINTER = "Microsoft Print to PDF"
PDF_PRINTER_KEY = r"HKLM\System\CurrentControlSet\Control\Print\Printers" "\\" + PDF_PRINTER


def emf_frame(path):
    """The first metafile's frame (.01 mm) and its device size, from its header."""
    data = open(path, "rb").read()
    expect(data[40:44] == b" EMF", "%s is no metafile" % path)
    n = [int.from_bytes(data[k:k + 4], "little", signed=True) for k in range(24, 40, 4)]
    dev = [int.from_bytes(data[k:k + 4], "little") for k in (72, 76)]
    return (n[2] - n[0], n[3] - n[1]), dev


def expect_title(port, title):
    """The spooler's name of the job, as wine's PostScript driver writes it into the page."""
    head = open(port, "rb").read(4096).decode("latin-1")
    expect(("%%%%Title: %s\n" % title) in head.replace("\r", ""),
           "the job is not named %r: %r" % (title, head[:300]))


def check_options(args):
    """Each operator option on the TolvPage printer, read back beside a plain run's page."""
    job = open(args.job, "rb").read()
    blank = blank_of(job)
    report = []
    with tempfile.TemporaryDirectory(prefix="tolv-win-") as tmp:
        set_default(page_printer(args))
        d = program_dir(args, tmp, "prog", job, blank)
        status, err = run_windows(args, d)
        expect(status == 0 and not err, "a plain run: status %d, %r" % (status, err))
        expect_title(args.port, "tolv: form type %d" % blank)
        plain = raster_copy(args, tmp, "plain.ps")

        out = os.path.join(tmp, "check.txt")
        status, _ = run_windows(args, d, options=["--check"], out=out)
        text = open(out, "rb").read().decode("utf-8", "replace")
        expect(status in (0, 1) and "TolvPage" in text and "GetDeviceCaps" in text,
               "--check: status %d, %r" % (status, text[:400]))
        expect(not os.path.exists(args.port), "--check printed")
        report.append("the spooler's job names: \"tolv: form type %d\", \"tolv: test page\"" % blank)
        report.append("--check: status %d, the printer and its paper reported" % status)

        # The page the PDF printer writes (the stand-in writes PostScript) is the printed page.
        pdf = os.path.join(d, "preview.pdf")
        status, err = run_windows(args, d, options=["--pdf", "preview.pdf"])
        expect(status == 0 and os.path.exists(pdf), "--pdf: status %d, %r" % (status, err))
        expect(not os.path.exists(args.port), "--pdf printed")
        differ = int(np.count_nonzero(raster(pdf) != plain))
        expect(differ == 0, "--pdf differs from the printed page in %d pixels" % differ)
        status, err = run_windows(args, d, options=["--proof", "proof.pdf"])
        expect(status == 0 and os.path.getsize(os.path.join(d, "proof.pdf")) > 0,
               "--proof: status %d, %r" % (status, err))
        report.append("--pdf, --proof: status 0, the preview is the printed page")

        status, err = run_windows(args, d, options=["--emf", "page.emf"])
        expect(status == 0, "--emf: status %d, %r" % (status, err))
        frame, device = emf_frame(os.path.join(d, "page.emf"))
        # The TolvPage printer's page: 4961 x 7016 px at 600 dpi, in .01 mm within the rounding.
        expect(abs(frame[0] - 4961 / DPI * 2540) <= 50 and abs(frame[1] - 7016 / DPI * 2540) <= 50
               and device == [4961, 7016], "the metafile states %s, %s" % (frame, device))
        status, err = run(["wine", args.print_emf, os.path.join(d, "page.emf")], cwd=d)
        expect(status == 0, "printing page.emf failed: %s" % err)
        differ = int(np.count_nonzero(raster_copy(args, tmp, "emf.ps") != plain))
        expect(differ == 0, "--emf printed differs from the printed page in %d pixels" % differ)
        report.append("--emf: status 0, frame %s (.01 mm), printed again the same page" % (frame,))

        # tolv.conf moves the page on this printer only: every mark by the same whole pixels.
        with open(os.path.join(d, "tolv.conf"), "w") as f:
            f.write("[TolvPage]\nShiftX=5\nShiftY=3\n")
        status, err = run_windows(args, d)
        expect(status == 0 and not err, "tolv.conf: status %d, %r" % (status, err))
        moved = raster_copy(args, tmp, "moved.ps")
        dx, dy = round(5 * PX_PER_MM), round(3 * PX_PER_MM)
        h, w = plain.shape
        differ = int(np.count_nonzero(moved[dy:, dx:] != plain[:h - dy, :w - dx]))
        expect(differ == 0 and np.count_nonzero(moved) > 0,
               "tolv.conf: the moved page differs in %d pixels" % differ)
        os.remove(os.path.join(d, "tolv.conf"))
        report.append("tolv.conf: the page moved %d, %d px" % (dx, dy))

        status, err = run_windows(args, d, options=["--test-page", str(blank)])
        expect(status == 0 and os.path.getsize(args.port) > 0,
               "--test-page: status %d, %r" % (status, err))
        expect_title(args.port, "tolv: test page")
        report.append("--test-page: status 0, printed")

        # A printer with margins: the page lands from its printable corner, 150 px in, and the
        # preview puts it where that printer does.
        set_default("TolvMargin,winspool," + wine_path(args.port))
        try:
            status, err = run_windows(args, d)
            expect(status == 0 and not err, "TolvMargin: status %d, %r" % (status, err))
            margin = raster_copy(args, tmp, "margin.ps")
            status, err = run_windows(args, d, options=["--pdf", "margin.pdf"])
            expect(status == 0, "--pdf on TolvMargin: status %d, %r" % (status, err))
            preview = raster(os.path.join(d, "margin.pdf"))
        finally:
            set_default(page_printer(args))
        h, w = plain.shape
        differ = int(np.count_nonzero(margin[150:, 150:] != plain[:h - 150, :w - 150]))
        expect(differ == 0, "TolvMargin: the page differs in %d pixels" % differ)
        differ = int(np.count_nonzero(preview != margin))
        expect(differ == 0, "--pdf on TolvMargin differs from its page in %d pixels" % differ)
        report.append("TolvMargin (150 px margins): the page 150 px in, its preview the same")

        # Without the system's PDF printer: a clear refusal that offers --emf.
        run(["wine", "reg", "delete", PDF_PRINTER_KEY, "/f"], cwd="/")
        try:
            status, err = run_windows(args, d, options=["--pdf", "none.pdf"])
            expect(status == 2 and PDF_PRINTER in err and "--emf" in err,
                   "--pdf without the PDF printer: status %d, %r" % (status, err))
        finally:
            run(["wine", args.add_printer, PDF_PRINTER, wine_path(args.ppd),
                 wine_path(os.path.join(os.path.dirname(args.port), "pdf-port.ps"))], cwd="/")
        report.append("--pdf without the PDF printer: status 2, " + err.strip())
    print("\n  ".join(report))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--linux-exe")
    parser.add_argument("--forms", required=True)
    parser.add_argument("--port", required=True, help="the TolvPage printer's port file")
    parser.add_argument("--print-emf", help="tolv-print-emf.exe, which prints kept pages")
    parser.add_argument("--text-in-picture", action="store_true")
    parser.add_argument("--add-printer", help="tolv-add-printer.exe, to register a printer again")
    parser.add_argument("--ppd", help="the test printers' PPD")
    sub = parser.add_subparsers(dest="what", required=True)
    page = sub.add_parser("page")
    page.add_argument("job")
    fault = sub.add_parser("fault")
    fault.add_argument("fault")
    fault.add_argument("job")
    options = sub.add_parser("options")
    options.add_argument("job")
    args = parser.parse_args()
    for name in ("exe", "linux_exe", "forms", "port", "print_emf", "add_printer", "ppd"):
        if getattr(args, name):
            setattr(args, name, os.path.abspath(getattr(args, name)))
    if args.what == "page":
        check_page(args)
    elif args.what == "options":
        check_options(args)
    else:
        check_fault(args)


if __name__ == "__main__":
    main()
