#!/usr/bin/env python3
"""Checks `veltmeta --json` against ExifTool's reading of the same files.

  check_main_job.py values TOOL FILE   every typed value equals ExifTool's
  check_main_job.py merged TOOL A B    "multiple" exactly where ExifTool reads A and B differently
Exit 0 when all agree; otherwise prints each disagreement and exits 1.
"""
import json
import re
import subprocess
import sys

GROUPS = {"dc": "dc", "xmp": "xmp", "xmpRights": "xmpRights", "tiff": "tiff", "exif": "exif",
          "exifEX": "exifEX", "aux": "aux", "Iptc4xmpCore": "iptcCore", "Iptc4xmpExt": "iptcExt",
          "plus": "plus", "xmpDM": "xmpDM", "photoshop": "photoshop", "xmpMM": "xmpMM"}
# Properties ExifTool names otherwise.
ALIASES = {"exif:ExposureBiasValue": "ExposureCompensation", "exif:ISOSpeedRatings": "ISO",
           "exif:FocalLengthIn35mmFilm": "FocalLengthIn35mmFormat",
           "exifEX:BodySerialNumber": "SerialNumber", "exifEX:CameraOwnerName": "OwnerName",
           "exif:PixelXDimension": "ExifImageWidth", "exif:PixelYDimension": "ExifImageHeight"}
PLUS_VOCAB = "http://ns.useplus.org/ldf/vocab/"
MARKERS = ("$$$/", "#{", "@0")


def run(args):
    out = subprocess.run(args, capture_output=True, text=True)
    return out.returncode, out.stdout, out.stderr


def properties(items):
    for item in items:
        if "display" in item and "name" in item:
            yield item
        yield from properties(item.get("items", []))


def exif_key(name):
    head = name.split("/")[0].split("[")[0]
    prefix, local = head.split(":", 1)
    if prefix not in GROUPS:
        return None
    tag = ALIASES.get(head, local[0].upper() + local[1:])
    return "XMP-%s:%s" % (GROUPS[prefix], tag), [p.split(":", 1)[-1] for p in name.split("/")[1:]]


def norm(value):
    if isinstance(value, dict):
        if "x-default" in value:
            return norm(value["x-default"])
        return {k.split(":", 1)[-1]: norm(v) for k, v in value.items()}
    if isinstance(value, list):
        return [norm(v) for v in value]
    if isinstance(value, bool):
        return str(value).lower()
    if isinstance(value, (int, float)):
        return round(float(value), 6)
    text = str(value)
    if re.fullmatch(r"-?\d+/\d+", text):
        num, den = text.split("/")
        return round(int(num) / int(den), 6) if int(den) else text
    if re.fullmatch(r"-?\d+(\.\d+)?", text):
        return round(float(text), 6)
    if text in ("True", "False"):
        return text.lower()
    text = re.sub(r"^(\d{4})-(\d\d)-(\d\d)T", r"\1:\2:\3 ", text)
    return re.sub(r"^(\d{4})-(\d\d)-(\d\d)$", r"\1:\2:\3", text)


def exif_value(record, name):
    key = exif_key(name)
    if key is None or key[0] not in record:
        return None
    value = record[key[0]]
    for field in key[1]:
        if isinstance(value, list) and len(value) == 1:
            value = value[0]
        if isinstance(value, list):  # a field of every item of an array of structures
            value = [item[field] for item in value if isinstance(item, dict) and field in item]
            continue
        if not isinstance(value, dict) or field not in value:
            return None
        value = value[field]
    # ExifTool reads PLUS vocabulary codes without the vocabulary's URI (and adds it on write).
    if key[0].startswith("XMP-plus:") and isinstance(value, str) and re.fullmatch(r"[A-Z]{2}-[A-Z0-9]+", value):
        value = PLUS_VOCAB + value
    return value


def same(ours, theirs):
    a, b = norm(ours), norm(theirs)
    if isinstance(a, list) and not isinstance(b, list):
        b = [b]
    return a == b


def load(tool, files):
    status, out, err = run([tool, "--json"] + files)
    if status != 0 or any(m in out + err for m in MARKERS):
        sys.exit("veltmeta failed or printed a raw marker: %d %s" % (status, err))
    panels = json.loads(out)
    _, exif, _ = run(["exiftool", "-j", "-n", "-struct", "-G1", "-XMP:all"] + files)
    return panels, json.loads(exif)


def check_values(tool, file):
    panels, exif = load(tool, [file])
    problems, matched = [], 0
    for view in panels["views"]:
        for prop in properties(view["items"]):
            if not isinstance(prop["label"], str) or not isinstance(prop["display"], str):
                problems.append("untyped label or display: %r" % prop)
            theirs = exif_value(exif[0], prop["name"])
            if "value" not in prop or theirs is None:
                continue
            if same(prop["value"], theirs):
                matched += 1
            else:
                problems.append("%s: veltmeta %r, ExifTool %r" % (prop["name"], prop["value"], theirs))
    if matched < 20:
        problems.append("only %d values compared" % matched)
    return problems


def check_merged(tool, a, b):
    panels, exif = load(tool, [a, b])
    problems, differing = [], 0
    for view in panels["views"]:
        for prop in properties(view["items"]):
            first, second = exif_value(exif[0], prop["name"]), exif_value(exif[1], prop["name"])
            if first is None or second is None:
                continue
            differ = not same(first, second)
            differing += differ
            if prop["multiple"] != differ:
                problems.append("%s: multiple=%s, ExifTool reads %r and %r" %
                                (prop["name"], prop["multiple"], first, second))
            elif not differ and not same(prop.get("value"), first):
                problems.append("%s: merged value %r, ExifTool %r" % (prop["name"], prop.get("value"), first))
    if differing == 0:
        problems.append("the two files do not differ anywhere ExifTool reads")
    return problems


def main():
    mode, tool, files = sys.argv[1], sys.argv[2], sys.argv[3:]
    problems = check_values(tool, files[0]) if mode == "values" else check_merged(tool, *files)
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
