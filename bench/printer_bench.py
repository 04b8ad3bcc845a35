#!/usr/bin/python3
"""The time at the printer: how long the print scheduler's own filters take to turn each output
mode's sample page into what the printer is sent, beside the same page as a plain script makes it.

For each sample job (samples/*.qjt, one per output mode) the page is made three ways:
  tolv     build/tolv on the file printer (ZOBAX.PDF);
  before   (only with --before EXE) an older tolv, the same way;
  plain    the same text and form drawn with ReportLab as a plain script would: the text where
           tolv puts it (read back from tolv's page with pdftotext -bbox), the form picture as one
           image (output modes 0 and 1), the form data records one small square each (mode 2).
Each page goes through cupsfilter with a PDF printer's PPD from cups-filters twice: to CUPS raster
(pdftopdf and Ghostscript, what a raster printer gets) and to the PDF the printer is sent (pdftopdf
alone, the PDF-passing path). Median of RUNS runs of each, wall time from start to exit.

Then output mode 3's whole run against a bare Pango/Cairo program (bench/bare_pdf.cpp) drawing
the same characters into a PDF.

Writes Markdown on standard output. Needs python3-reportlab (scripts/install-deps --bench).
Usage: bench/printer_bench.py BUILD_DIR [--runs N] [--before EXE] [--keep]
"""
import argparse
import os
import re
import resource
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PPD = "/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd"
# The sample jobs, one per output mode.
SAMPLES = [("composed-small", 0), ("composed-large", 1), ("direct-small", 2), ("grid-large", 3)]
A4 = (595.275591, 841.889764)  # points
# Form types: width and height in millimetres, copies on the page.
FORMS = {1: (139, 105, 2), 2: (139, 105, 2), 7: (139, 105, 2), 3: (139, 141, 2), 4: (139, 141, 2),
         5: (139, 141, 2), 6: (139, 205.3, 1)}
MM = 72 / 25.4


def run_timed(argv, cwd=None, env=None, stdout=subprocess.DEVNULL):
    """Runs argv to its end; returns (wall ms, processor ms of it and its children)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(argv, cwd=cwd, env=env, stdout=stdout, stderr=subprocess.DEVNULL, check=True)
    wall = (time.perf_counter() - start) * 1000
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = ((after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)) * 1000
    return wall, cpu


def median_of(runs, argv, **kwargs):
    run_timed(argv, **kwargs)  # warm-up: page cache, fontconfig's cache
    samples = [run_timed(argv, **kwargs) for _ in range(runs)]
    return statistics.median(s[0] for s in samples), statistics.median(s[1] for s in samples)


def job_values(path):
    values, section = {}, None
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.strip()
            m = re.match(r"\[(\w+)\]", line)
            if m:
                section = m.group(1).upper()
            elif line.lower().startswith("value=") and section:
                values[section] = line.split("=", 1)[1].split(";")[0].strip()
    return values


def program_dir(base, name, exe, job_text, build):
    d = os.path.join(base, name)
    os.makedirs(d)
    shutil.copy(exe, os.path.join(d, "tolv"))
    with open(os.path.join(d, "ZOBAX.QJT"), "w", encoding="utf-8") as f:
        f.write(job_text)
    for form in os.listdir(os.path.join(build, "forms")):
        if form.startswith("KORDEL"):
            shutil.copy(os.path.join(build, "forms", form), d)
    return d


def tolv_env(d):
    # The file printer on request: the page for A4 at 600 dpi, kept as ZOBAX.PDF.
    return dict(os.environ, TOLV_PRINTER="file")


def print_page(d):
    subprocess.run(["./tolv"], cwd=d, env=tolv_env(d), check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return os.path.join(d, "ZOBAX.PDF")


def words(pdf):
    """The words of a page: (x, y, height, text, right edge) in points from the top-left corner."""
    out = subprocess.run(["pdftotext", "-bbox", pdf, "-"], capture_output=True, text=True,
                         check=True).stdout
    found = []
    for m in re.finditer(r'<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">'
                         r"(.*?)</word>", out):
        x, y, y_max = float(m.group(1)), float(m.group(2)), float(m.group(4))
        text = (m.group(5).replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", '"')
                .replace("&amp;", "&"))
        found.append((x, y, y_max - y, text, float(m.group(3))))
    return found


def font_file(family):
    return subprocess.run(["fc-match", "-f", "%{file}", family], capture_output=True, text=True,
                          check=True).stdout


def form_places(blank):
    """Where the copies of a form lie on A4 (placement 25 in both directions: centred), points."""
    width, height, copies = FORMS[blank]
    left = (210 - width) / 2
    if copies == 1:
        return width, height, [(left, (297 - height) / 2)]
    return width, height, [(left, (148.5 - height) / 2), (left, 148.5 + (148.5 - height) / 2)]


def plain_page(path, mode, blank, family, text_words, forms_dir):
    """The page as a plain ReportLab script draws it."""
    from reportlab.lib.utils import ImageReader
    from reportlab.pdfbase import pdfmetrics
    from reportlab.pdfbase.ttfonts import TTFont
    from reportlab.pdfgen import canvas

    pdfmetrics.registerFont(TTFont("Form", font_file(family)))
    face = pdfmetrics.getFont("Form").face
    ascent = face.ascent / 1000
    line = (face.ascent - face.descent) / 1000
    c = canvas.Canvas(path, pagesize=A4)
    width, height, places = form_places(blank)
    gfx = os.path.join(forms_dir, "KORDEL%dA.GFX" % blank)
    dat = os.path.join(forms_dir, "KORDEL%dA.DAT" % blank)
    if mode in (0, 1):
        picture = ImageReader(gfx)
        for x, y in places:
            c.drawImage(picture, x * MM, A4[1] - (y + height) * MM, width * MM, height * MM)
    elif mode == 2:
        picture_width, _ = ImageReader(gfx).getSize()
        scale = width * MM / picture_width
        with open(dat, "rb") as f:
            records = [struct.unpack("<HHI", f.read(8)) for _ in range(os.path.getsize(dat) // 8)]
        dot = 72 / 600
        for x0, y0 in places:
            colour = None
            for x, y, rgb in records:
                if rgb != colour:
                    colour = rgb
                    c.setFillColorRGB((rgb & 255) / 255, ((rgb >> 8) & 255) / 255,
                                      ((rgb >> 16) & 255) / 255)
                c.rect(x0 * MM + x * scale, A4[1] - y0 * MM - y * scale - dot, dot, dot,
                       stroke=0, fill=1)
    c.setFillColorRGB(0, 0, 0)
    for x, y, h, text, _ in text_words:
        size = h / line
        c.setFont("Form", size)
        c.drawString(x, A4[1] - y - ascent * size, text)
    c.showPage()
    c.save()


def cupsfilter(pdf, mime):
    return ["cupsfilter", "-p", PPD, "-m", mime, "-o", "media=A4", "-o", "print-scaling=none", pdf]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--before", help="an older tolv executable, measured beside this one")
    parser.add_argument("--keep", action="store_true", help="keep the pages (path on stderr)")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    exe = os.path.join(build, "tolv")
    bare = os.path.join(build, "bench", "tolv_bare_pdf")
    base = tempfile.mkdtemp(prefix="tolv-printer-bench-")
    try:
        rows = []
        grid = None
        for name, mode in SAMPLES:
            with open(os.path.join(ROOT, "samples", name + ".qjt"), encoding="utf-8") as f:
                job = f.read()
            values = job_values(os.path.join(ROOT, "samples", name + ".qjt"))
            blank, family = int(values["BLANK"]), values.get("FONT", "Arial")
            pages = [("tolv", print_page(program_dir(base, name, exe, job, build)))]
            if args.before:
                pages.insert(0, ("before",
                                 print_page(program_dir(base, name + "-before", args.before, job,
                                                        build))))
            # The composed modes carry their text inside the picture: the text's places come from
            # the same job printed directly.
            direct = pages[-1][1]
            if mode in (0, 1):
                direct_job = re.sub(r"(\[PAPERTYPE\]\s*\nValue=)\d+", r"\g<1>2", job)
                direct = print_page(program_dir(base, name + "-direct", exe, direct_job, build))
            text_words = words(direct)
            plain = os.path.join(base, name + "-plain.pdf")
            plain_page(plain, mode, blank, family, text_words, os.path.join(build, "forms"))
            pages.append(("plain script", plain))
            for who, pdf in pages:
                raster = median_of(args.runs, cupsfilter(pdf, "application/vnd.cups-raster"))
                passing = median_of(args.runs, cupsfilter(pdf, "application/vnd.cups-pdf"))
                rows.append((name, mode, who, os.path.getsize(pdf), raster, passing))
            if mode == 3:
                grid = (os.path.dirname(pages[-2][1]), family, text_words)

        # The chain's own floor: a blank A4 page, made with ReportLab.
        from reportlab.pdfgen import canvas
        blank = os.path.join(base, "blank.pdf")
        c = canvas.Canvas(blank, pagesize=A4)
        c.showPage()
        c.save()
        rows.append(("a blank page (the filters' floor)", None, "ReportLab", os.path.getsize(blank),
                     median_of(args.runs, cupsfilter(blank, "application/vnd.cups-raster")),
                     median_of(args.runs, cupsfilter(blank, "application/vnd.cups-pdf"))))

        print("| Sample page | Mode | Made by | PDF KB | To raster: median ms | CPU ms | "
              "PDF passed on: median ms |")
        print("|---|---:|---|---:|---:|---:|---:|")
        for name, mode, who, size, raster, passing in rows:
            print("| %s | %s | %s | %.1f | %.0f | %.0f | %.0f |" %
                  (name, "-" if mode is None else mode, who, size / 1024, raster[0], raster[1],
                   passing[0]))
        tolv_raster = {r[0]: r[4][0] for r in rows if r[2] == "tolv"}
        plain_raster = {r[0]: r[4][0] for r in rows if r[2] == "plain script"}
        print()
        print("tolv's page against the plain script's, to raster: " + ", ".join(
            "%s %.2f" % (n, tolv_raster[n] / plain_raster[n]) for n, _ in SAMPLES) +
              " (goal: at most 0.5; and at most 300 ms a page).")

        if grid and os.path.exists(bare):
            d, family, text_words = grid
            listing = os.path.join(base, "grid-text.txt")
            # One string a character, as tolv sets the grid's characters one by one, each at its
            # share of its word's width (pdftotext gives words, not characters), in the bold face
            # tolv prints with.
            characters = 0
            with open(listing, "w", encoding="utf-8") as f:
                for x, y, h, text, x_max in text_words:
                    width = (x_max - x) / max(1, len(text))
                    for i, ch in enumerate(text):
                        f.write("%f %f %f %s Bold|%s\n" % (x + i * width, y, h / 1.117, family,
                                                             ch))
                        characters += 1
            runs = max(15, 3 * args.runs)
            tolv_ms = median_of(runs, ["./tolv"], cwd=d, env=tolv_env(d))
            bare_ms = median_of(runs, [bare, listing, os.path.join(base, "bare.pdf")])
            print()
            print("| Output mode 3, %s, whole process | Median ms | CPU ms |" % "grid-large")
            print("|---|---:|---:|")
            print("| tolv | %.1f | %.1f |" % tolv_ms)
            print("| bare Pango/Cairo program, the same %d characters one by one | %.1f | %.1f |" %
                  (characters, bare_ms[0], bare_ms[1]))
            print()
            print("tolv takes %.2f times the bare program's wall time and %.2f times its processor "
                  "time (goal: at most 1.5); median of %d runs." %
                  (tolv_ms[0] / bare_ms[0], tolv_ms[1] / bare_ms[1], runs))
    finally:
        if args.keep:
            print("printer_bench: the pages are in " + base, file=sys.stderr)
        else:
            shutil.rmtree(base, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
