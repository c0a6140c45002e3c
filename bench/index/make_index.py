#!/usr/bin/env python3
"""Writes a job index with N jobs (default 100000) to the given file. With a
third argument (comment, cdata, pi, text or attribute) the user_id element
also holds one such token of 63 MiB."""
import sys
from xml.sax.saxutils import quoteattr

SINGLE = {
    "comment": ("<user_id><!--", "-->17</user_id>"),
    "cdata": ("<user_id><![CDATA[", "]]>17</user_id>"),
    "pi": ("<user_id><?pad ", "?>17</user_id>"),
    "text": ("<user_id>", "17</user_id>"),
    "attribute": ('<user_id pad="', '">17</user_id>'),
}

def main():
    out = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 100000
    single = sys.argv[3] if len(sys.argv) > 3 else None
    start, end = SINGLE[single] if single else ("<user_id>", "17</user_id>")
    with open(out, "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n<jobs>\n  ' + start)
        if single:
            line = "Dictated and typed, then checked once more. " * 16 + "\n"
            size = 63 * 1024 * 1024
            f.write(line * (size // len(line)) + "x" * (size % len(line)))
        f.write(end + "\n")
        for i in range(1, count + 1):
            attributes = [
                ("job_id", str(i)),
                ("job_name", "Letter %06d" % i),
                ("open_time", "2026-%02d-%02d %02d:%02d:%02d"
                 % (i % 12 + 1, i % 28 + 1, i % 24, i % 60, (i * 7) % 60)),
                ("department_name", "Cardiology"),
                ("dictator", "Dr Ann Smith"),
                ("reference", "REF-%d" % (i * 3)),
                ("demographic_1", "Ward %d" % (i % 40)),
                ("demographic_2", "Patient %d" % i),
                ("demographic_3", ""),
                ("path", "https://jobs.example/files/%d/dictation.wav" % i),
                ("priority", str(i % 5 + 1)),
                ("dictator_first_name", "Ann"),
                ("dictator_last_name", "Smith"),
            ]
            f.write("  <job " + " ".join("%s=%s" % (k, quoteattr(v)) for k, v in attributes)
                    + "/>\n")
        f.write("</jobs>\n")

if __name__ == "__main__":
    main()
