#!/usr/bin/env python3
"""Makes the real-world packet forms of the lenient-reading tests from the image samples in
../images (made by ../make_samples.sh). Each file holds one form seen in files from cameras,
phones and converters; the tests read them, write them and compare with ExifTool.
Run from anywhere: python3 make_lenient.py (writes beside this script)."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
IMAGES = os.path.join(HERE, "..", "images")


def sample(name):
    with open(os.path.join(IMAGES, name), "rb") as f:
        return f.read()


def save(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def packet(body):
    return ('<?xpacket begin="\ufeff" id="W5M0MpCehiHzreSzNTczkc9d"?>\n'
            '<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF '
            'xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">'
            '<rdf:Description rdf:about="" xmlns:dc="http://purl.org/dc/elements/1.1/" '
            'xmlns:xmp="http://ns.adobe.com/xap/1.0/">' + body +
            '</rdf:Description></rdf:RDF></x:xmpmeta>\n' + ' ' * 64 +
            '\n<?xpacket end="w"?>')


RICH = packet('<xmp:Rating>4</xmp:Rating><xmp:CreatorTool>PhoneCam 2.1</xmp:CreatorTool>'
              '<dc:title><rdf:Alt><rdf:li xml:lang="x-default">Lake \u00e9t\u00e9'
              '</rdf:li></rdf:Alt></dc:title>'
              '<dc:subject><rdf:Bag><rdf:li>lake</rdf:li><rdf:li>summer</rdf:li></rdf:Bag>'
              '</dc:subject>')


def label(text):
    return packet('<xmp:Label>%s</xmp:Label>' % text)


# ---- JPEG ----------------------------------------------------------------------------------
STD_SIG = b"http://ns.adobe.com/xap/1.0/\0"


def app1(payload):
    return b"\xff\xe1" + struct.pack(">H", len(payload) + 2) + payload


def jpeg_with(*segments, fill=b""):
    jpg = sample("sample.jpg")
    app0_end = 2 + 2 + struct.unpack(">H", jpg[4:6])[0]
    return jpg[:app0_end] + b"".join(segments) + fill + jpg[app0_end:]


# A UTF-16BE packet with a byte-order mark and one NUL of padding (odd length).
save("utf16be.jpg", jpeg_with(app1(STD_SIG + RICH.encode("utf-16-be") + b"\0")))
# Two standard XMP segments: the first is read, a write keeps one.
save("two-app1.jpg", jpeg_with(app1(STD_SIG + label("first").encode()),
                               app1(STD_SIG + label("second").encode())))
# NUL and 0xFF fill between segments, as some cameras write.
save("fill-bytes.jpg", jpeg_with(app1(STD_SIG + label("fill").encode()),
                                 fill=b"\0\0\0\xff\xff"))

# ---- PNG -----------------------------------------------------------------------------------


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(
        ">I", zlib.crc32(kind + data) & 0xffffffff)


def png_with(*chunks):
    png = sample("sample.png")
    ihdr_end = 8 + 12 + struct.unpack(">I", png[8:12])[0]
    return png[:ihdr_end] + b"".join(chunks) + png[ihdr_end:]


def raw_profile(text):
    data = text.encode()
    hexed = data.hex()
    lines = "\n".join(hexed[i:i + 72] for i in range(0, len(hexed), 72))
    return ("\nxmp\n%8d\n%s\n" % (len(data), lines)).encode()


# XMP in a compressed iTXt chunk.
save("compressed-itxt.png", png_with(chunk(
    b"iTXt", b"XML:com.adobe.xmp\0\1\0\0\0" + zlib.compress(label("deflated").encode()))))
# The converter's legacy form: a zTXt "Raw profile type xmp" with the hex-encoded packet.
save("raw-profile.png", png_with(chunk(
    b"zTXt", b"Raw profile type xmp\0\0" + zlib.compress(raw_profile(label("legacy"))))))
# Both: the standard chunk wins; a write leaves only the standard chunk.
save("itxt-and-raw-profile.png", png_with(
    chunk(b"iTXt", b"XML:com.adobe.xmp\0\0\0\0\0" + label("standard").encode()),
    chunk(b"tEXt", b"Raw profile type xmp\0" + raw_profile(label("legacy")))))

# ---- GIF -----------------------------------------------------------------------------------
gif = sample("sample.gif")
trailer = bytes([1]) + bytes(range(255, -1, -1)) + b"\0"
# An XMP application extension holding only padding before its magic trailer.
save("padding-only.gif",
     gif[:-1] + b"\x21\xff\x0bXMP DataXMP" + b" " * 40 + trailer + gif[-1:])

# ---- TIFF ----------------------------------------------------------------------------------


def ifd(entries, next_ifd):
    out = struct.pack("<H", len(entries))
    for tag, kind, count, value in sorted(entries):
        out += struct.pack("<HHII", tag, kind, count, value)
    return out + struct.pack("<I", next_ifd)


def ifd0_entries(tif):
    at = struct.unpack("<I", tif[4:8])[0]
    n = struct.unpack("<H", tif[at:at + 2])[0]
    return [struct.unpack("<HHII", tif[at + 2 + 12 * i:at + 14 + 12 * i]) for i in range(n)], at


tif = bytearray(sample("sample-ii.tif"))
entries, at0 = ifd0_entries(tif)
# XMP only in a second IFD (a thumbnail IFD): its packet is read.
pkt = label("ifd1").encode()
pkt_at = len(tif)
ifd1_at = pkt_at + len(pkt) + (len(pkt) & 1)
ifd1 = bytes(tif) + pkt + b"\0" * (len(pkt) & 1) + ifd([(700, 1, len(pkt), pkt_at)], 0)
ifd1 = bytearray(ifd1)
ifd1[at0 + 2 + 12 * len(entries):at0 + 6 + 12 * len(entries)] = struct.pack("<I", ifd1_at)
save("xmp-in-ifd1.tif", bytes(ifd1))
# XMP only in a SubIFD of IFD0 (tag 330), IFD0 rewritten at the end with the pointer.
sub = bytearray(sample("sample-ii.tif"))
pkt = label("subifd").encode()
pkt_at = len(sub)
sub_at = pkt_at + len(pkt) + (len(pkt) & 1)
body = pkt + b"\0" * (len(pkt) & 1) + ifd([(700, 1, len(pkt), pkt_at)], 0)
new0_at = sub_at + len(body) - len(pkt) - (len(pkt) & 1)
new0 = ifd(entries + [(330, 4, 1, sub_at)], 0)
sub += body + new0
sub[4:8] = struct.pack("<I", new0_at)
save("xmp-in-subifd.tif", bytes(sub))

# ---- Audio and video (fuzz seeds) ----------------------------------------------------------
with open(os.path.join(HERE, "..", "riff", "tone.wav"), "rb") as f:
    wav = f.read()
pmx = label("wave").encode("utf-16-le") + b"\0"  # odd NUL padding cuts the last unit
wav += b"_PMX" + struct.pack("<I", len(pmx)) + pmx + b"\0" * (len(pmx) & 1)
save("utf16le.wav", wav[:4] + struct.pack("<I", len(wav) - 8) + wav[8:])
with open(os.path.join(HERE, "..", "iso", "moov_first.mp4"), "rb") as f:
    mp4 = f.read()
xmp_uuid = bytes.fromhex("BE7ACFCB97A942E89C71999491E3AFAC")
payload = label("movie").encode("utf-32-be")
save("utf32be.mp4", mp4 + struct.pack(">I", 24 + len(payload)) + b"uuid" + xmp_uuid + payload)
# A sidecar in UTF-16LE with a byte-order mark.
save("utf16le.xmp", label("sidecar").encode("utf-16"))
