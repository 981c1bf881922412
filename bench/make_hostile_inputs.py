#!/usr/bin/env python3
"""Writes the crafted hostile inputs of the benchmark into a folder (see README.md):

    make_hostile_inputs.py [--large] OUT_FOLDER
    make_hostile_inputs.py --fuzz-seeds OUT_FOLDER    small crafted seeds of the conversion fuzzer

Each file is small, stays inside every per-box limit, and names counts that once made one conversion
take a gigabyte or many seconds; the files of other formats named .heic are small pictures of 2^28
pixels and headers claiming that size, JPEG, PNG and TIFF files whose scans, chunks, samples, strips or
tiles ask for work out of all proportion to their bytes, and JPEG 2000 codestreams whose code-blocks,
precincts, tiles, layers, components or packet segments ask OpenJPEG for gigabytes. Then the kinds whose
cost no header states: TIFFs of progressive or multi-scan JPEG strips and tiles (up to libtiff's 100
scans each, or 1.5 GB of coefficients held for one strip), TIFFs in SGI LogLuv, LogL, CIELab and
subsampled YCbCr converted pixel by pixel, PNGs at the sample bound with Paeth or Average rows and
transparency, a plain JPEG of refinement scans that each cost 63 decisions a block, JPEG 2000
code-blocks of 30 bit-planes and 88 coding passes over 2 bytes, and 32-bit BMPs whose alpha mask makes
parts of them transparent. Beside them, two honest 48-megapixel JPEG 2000 photos
(photo_jpeg2000_8000x6000_*) coded by opj_compress.

--large adds the files of hundreds of megabytes, slow to write: 64 x 64 JPEGs behind 10,000 APP1, APP2
or comment segments of 64 KB (655 MB each), and tiny .jp2 and TIFF pictures carrying 300 MB of colour
profile or other header data.

Pictures are coded with ffmpeg/libx265 through the test fixtures' generator
(platform/tests/data/make_fixtures.py). The other tools, by Debian package: jpegtran
(libjpeg-turbo-progs) for the arithmetic-coded and progressive JPEGs, also those inside TIFFs; tiffcp
(libtiff-tools) for the bilevel TIFFs; ImageMagick's convert-im6.q16 (imagemagick) and opj_compress
(libopenjp2-tools) for the JPEG 2000 photos. Everything else is written byte by byte, the same bytes
on every run. Beside them stand three special files named like photos (a FIFO, a Unix socket, a
device); the FIFO once made a conversion wait for ever."""
import argparse
import os
import random
import socket
import stat
import struct
import subprocess
import sys
import tempfile
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "platform", "tests", "data"))
from make_fixtures import box, full_box, encode_hevc, hvcc_and_data, ispe, nclx  # noqa: E402


def picture(size, crf=20):
    """One size x size picture of ffmpeg's test pattern: (hvcC record, length-prefixed slice data)."""
    with tempfile.TemporaryDirectory() as folder:
        png = os.path.join(folder, "p.png")
        subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=%dx%d" % (size, size),
                        "-frames:v", "1", png], check=True)
        return hvcc_and_data(encode_hevc(png, crf=crf))


def filler(length):
    """A filler-data NAL unit (type 38) of about `length` bytes, length-prefixed as items hold units."""
    unit = bytes([38 << 1, 1]) + b"\xff" * (length - 3) + b"\x80"
    return struct.pack(">I", len(unit)) + unit


class Heif:
    """A HEIF file: items with data in 'idat' or 'mdat', properties, references; 32-bit ids throughout
    so that more than 65535 items can be named."""

    def __init__(self):
        self.items = []        # (id, type, data, in_idat, hidden)
        self.props = []        # property boxes, 1-based
        self.assoc = {}        # id -> [property index]
        self.refs = []         # (type, from, [to])
        self.primary = 1
        self.extra_root = b""  # root boxes after the meta box (e.g. a movie box)
        self.brands = b"mif1heic"

    def prop(self, data):
        self.props.append(data)
        return len(self.props)

    def build(self):
        def meta(mdat_start):
            infe = b"".join(full_box("infe", 3, 1 if hidden else 0, struct.pack(">IH", i, 0) + t.encode() + b"\x00")
                            for i, t, _, _, hidden in self.items)
            iinf = full_box("iinf", 1, 0, struct.pack(">I", len(self.items)) + infe)
            idat, mdat, locs = b"", b"", b""
            for i, _, data, in_idat, _ in self.items:
                if in_idat:
                    locs += struct.pack(">IHHIHII", i, 1, 0, 0, 1, len(idat), len(data))
                    idat += data
                else:
                    locs += struct.pack(">IHHIHII", i, 0, 0, 0, 1, mdat_start + len(mdat), len(data))
                    mdat += data
            iloc = full_box("iloc", 2, 0, bytes([0x44, 0x40]) + struct.pack(">I", len(self.items)) + locs)
            wide = any(f > 0xFFFF or any(x > 0xFFFF for x in to) for _, f, to in self.refs)
            ids = ">I" if wide else ">H"
            iref = full_box("iref", 1 if wide else 0, 0, b"".join(
                box(t, struct.pack(ids + "H", f, len(to)) + b"".join(struct.pack(ids, x) for x in to))
                for t, f, to in self.refs)) if self.refs else b""
            entries = b"".join(struct.pack(">IB", i, len(p)) + b"".join(struct.pack(">H", 0x8000 | x) for x in p)
                               for i, p in sorted(self.assoc.items()))
            ipma = full_box("ipma", 1, 1, struct.pack(">I", len(self.assoc)) + entries)
            body = (full_box("hdlr", 0, 0, b"\x00" * 4 + b"pict" + b"\x00" * 13) +
                    full_box("pitm", 1, 0, struct.pack(">I", self.primary)) + iinf + iloc + iref +
                    box("iprp", box("ipco", b"".join(self.props)) + ipma) + (box("idat", idat) if idat else b""))
            return full_box("meta", 0, 0, body), mdat

        ftyp = box("ftyp", b"heic" + struct.pack(">I", 0) + self.brands)
        draft, _ = meta(0)
        head = len(ftyp) + len(draft) + len(self.extra_root) + 8
        final, mdat = meta(head)
        return ftyp + final + self.extra_root + box("mdat", mdat)


def still(heif, rec, data, item_id=1):
    """The primary picture: an hvc1 item with its hvcC, size and colour."""
    heif.items.append((item_id, "hvc1", data, False, False))
    heif.assoc[item_id] = [heif.prop(box("hvcC", rec)), heif.prop(ispe(64, 64)), heif.prop(nclx())]


def grid(heif, rec, data, tile, rows, cols, width, height):
    """A grid item 1 naming one tile item (id 2) at every place."""
    heif.items.append((1, "grid", bytes([0, 0, rows - 1, cols - 1]) + struct.pack(">HH", width, height), True, False))
    heif.items.append((2, "hvc1", data, False, True))
    heif.assoc[1] = [heif.prop(ispe(width, height)), heif.prop(nclx())]
    heif.assoc[2] = [heif.prop(box("hvcC", rec)), heif.prop(ispe(tile, tile))]
    heif.refs.append(("dimg", 1, [2] * (rows * cols)))


def movie(tracks, samples, sample_size=16):
    """A movie box of `tracks` video tracks, each of `samples` samples of one constant size in one chunk,
    every sample the same 64x64 hvc1 description."""
    def trak(track_id):
        tkhd = full_box("tkhd", 0, 3, struct.pack(">IIIII", 0, 0, track_id, 0, samples) + b"\x00" * 52 +
                        struct.pack(">II", 64 << 16, 64 << 16))
        mdhd = full_box("mdhd", 0, 0, struct.pack(">IIIIHH", 0, 0, 1000, samples, 0x55c4, 0))
        hdlr = full_box("hdlr", 0, 0, b"\x00" * 4 + b"pict" + b"\x00" * 13)
        entry = box("hvc1", b"\x00" * 6 + struct.pack(">H", 1) + b"\x00" * 16 + struct.pack(">HH", 64, 64) +
                    struct.pack(">IIIH", 0x480000, 0x480000, 0, 1) + b"\x00" * 32 + struct.pack(">Hh", 24, -1))
        stbl = box("stbl", full_box("stsd", 0, 0, struct.pack(">I", 1) + entry) +
                   full_box("stts", 0, 0, struct.pack(">III", 1, samples, 1)) +
                   full_box("stsc", 0, 0, struct.pack(">IIII", 1, 1, samples, 1)) +
                   full_box("stsz", 0, 0, struct.pack(">II", sample_size, samples)) +
                   full_box("stco", 0, 0, struct.pack(">II", 1, 0)))
        minf = box("minf", full_box("vmhd", 0, 1, b"\x00" * 8) +
                   box("dinf", full_box("dref", 0, 0, struct.pack(">I", 1) + full_box("url ", 0, 1, b""))) + stbl)
        return box("trak", tkhd + box("mdia", mdhd + hdlr + minf))
    mvhd = full_box("mvhd", 0, 0, struct.pack(">IIII", 0, 0, 1000, samples) + b"\x00\x01\x00\x00\x01\x00" +
                    b"\x00" * 70 + struct.pack(">I", tracks + 1))
    return box("moov", mvhd + b"".join(trak(t + 1) for t in range(tracks)))


def many_items(heif, rec, data, count):
    """The still picture plus `count` grid items, each naming the picture as its one tile."""
    still(heif, rec, data)
    size = heif.prop(ispe(64, 64))
    for i in range(count):
        item = 2 + i
        heif.items.append((item, "grid", bytes([0, 0, 0, 0]) + struct.pack(">HH", 64, 64), True, True))
        heif.assoc[item] = [size]
        heif.refs.append(("dimg", item, [1]))


def fuzz_seeds(write, rec, data):
    """Small files that reach the grid decoder's paths: one tile named many times, a canvas wider than
    the 8192 cap (reduced in bands), a grid cut to odd sides, a damaged picture."""
    h = Heif()
    grid(h, rec, data, 64, 16, 16, 1024, 1024)
    write("grid_one_tile_256_times.heic", h)
    h = Heif()
    grid(h, rec, data, 64, 1, 160, 10240, 64)
    write("grid_wider_than_8192.heic", h)
    h = Heif()
    grid(h, rec, data, 64, 2, 2, 127, 125)
    write("grid_cut_to_odd_sides.heic", h)
    h = Heif()
    still(h, rec, data[:6] + b"\xff" * 8 + data[14:])
    write("damaged_picture.heic", h)


def special_files(out):
    """Not regular files, named like photos: a FIFO (an ordinary open for reading waits for a writer), a
    Unix socket, and a device that never ends (its own node where this user may make one, else a link
    to /dev/zero)."""
    fifo, sock, device = (os.path.join(out, n) for n in ("fifo.heic", "socket.heic", "device.heic"))
    for path in (fifo, sock, device):
        if os.path.lexists(path):
            os.remove(path)
    os.mkfifo(fifo)
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
        s.bind(sock)
    try:
        os.mknod(device, 0o644 | stat.S_IFCHR, os.makedev(1, 5))
    except OSError:
        os.symlink("/dev/zero", device)


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def zeros_deflated(rows, row_bytes, wrap=True):
    """rows x row_bytes zero bytes deflated at the highest level (zlib-wrapped or raw)."""
    return rows_deflated(rows, bytes(row_bytes), wrap)


def rows_deflated(rows, row, wrap=True):
    """The bytes `row` repeated `rows` times, deflated at the highest level (zlib-wrapped or raw)."""
    z = zlib.compressobj(9, zlib.DEFLATED, 15 if wrap else -15)
    out = []
    for _ in range(rows):
        out.append(z.compress(row))
    out.append(z.flush())
    return b"".join(out)


def other_formats(out):
    """Files of the other formats a file named .heic may hold: valid pictures that decompress to 2^28
    pixels from under a megabyte, and headers that claim that size over a few bytes."""
    def put(name, data):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)

    side = 16384
    ihdr = png_chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 0))
    signature = b"\x89PNG\r\n\x1a\n"
    # Every row: filter byte 0, then black.
    put("png_bomb_16384x16384.heic", signature + ihdr +
        png_chunk(b"IDAT", zeros_deflated(side, 1 + 3 * side)) + png_chunk(b"IEND", b""))
    put("png_claims_16384x16384.heic", signature + ihdr + png_chunk(b"IDAT", zlib.compress(bytes(64))) +
        png_chunk(b"IEND", b""))

    # One deflated strip of black 8-bit RGB.
    strip = zeros_deflated(1, 3 * side * side)
    entries = [(256, 4, 1, side), (257, 4, 1, side), (258, 3, 1, 8), (259, 3, 1, 8), (262, 3, 1, 2),
               (273, 4, 1, 0), (277, 3, 1, 3), (278, 4, 1, side), (279, 4, 1, len(strip))]
    ifd_size = 2 + 12 * len(entries) + 4
    data_at = 8 + ifd_size
    ifd = struct.pack("<H", len(entries))
    for tag, kind, count, value in entries:
        value = data_at if tag == 273 else value
        ifd += struct.pack("<HHI", tag, kind, count) + (struct.pack("<HH", value, 0) if kind == 3 else
                                                         struct.pack("<I", value))
    put("tiff_deflate_bomb_16384x16384.heic", b"II*\x00" + struct.pack("<I", 8) + ifd + b"\x00" * 4 + strip)

    bmp = b"BM" + struct.pack("<IHHI", 54 + 64, 0, 0, 54) + struct.pack("<IiiHHIIiiII", 40, side, side, 1, 24, 0,
                                                                     0, 2835, 2835, 0, 0) + bytes(64)
    put("bmp_claims_16384x16384.heic", bmp)

    with tempfile.TemporaryDirectory() as folder:
        jpg, j2k = os.path.join(folder, "p.jpg"), os.path.join(folder, "p.j2k")
        for target, codec in ((jpg, "mjpeg"), (j2k, "jpeg2000")):
            subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=64x64", "-frames:v", "1",
                            "-c:v", codec, "-pix_fmt", "yuvj420p" if codec == "mjpeg" else "rgb24", target],
                           check=True)
        jpeg = bytearray(open(jpg, "rb").read())
        codestream = bytearray(open(j2k, "rb").read())
    sof = jpeg.find(b"\xff\xc0")
    jpeg[sof + 5:sof + 9] = struct.pack(">HH", side, side)
    put("jpeg_claims_16384x16384.heic", bytes(jpeg))
    # SIZ: a 4096 x 4096 picture in tiles of one pixel.
    siz = codestream.find(b"\xff\x51")
    codestream[siz + 6:siz + 14] = struct.pack(">II", 4096, 4096)
    codestream[siz + 22:siz + 30] = struct.pack(">II", 1, 1)
    put("jpeg2000_16M_tiles.heic", bytes(codestream))


def jpeg_segment(marker, data):
    return struct.pack(">BBH", 0xFF, marker, len(data) + 2) + data


class BitWriter:
    """Bits written most significant first, with JPEG's 0xFF byte stuffing, padded with ones."""

    def __init__(self):
        self.out, self.acc, self.n = bytearray(), 0, 0

    def put(self, value, bits):
        self.acc, self.n = (self.acc << bits) | value, self.n + bits
        while self.n >= 8:
            self.n -= 8
            byte = (self.acc >> self.n) & 0xFF
            self.out.append(byte)
            if byte == 0xFF:
                self.out.append(0)
        self.acc &= (1 << self.n) - 1

    def put_many_zero_bits(self, count):
        """`count` zero bits, quickly (whole zero bytes at a time)."""
        while count and self.n:
            self.put(0, 1)
            count -= 1
        self.out += bytes(count // 8)
        for _ in range(count % 8):
            self.put(0, 1)

    def data(self):
        if self.n:
            self.put((1 << (8 - self.n)) - 1, 8 - self.n)
        return bytes(self.out)


def progressive_grey_jpeg(side, ac_scans):
    """A progressive Huffman-coded grey picture of side x side blocks of nothing: one DC scan (one bit a
    block) and `ac_scans` AC scans of one band each, every one a run of end-of-bands over all blocks."""
    blocks = ((side + 7) // 8) ** 2
    dqt = jpeg_segment(0xDB, b"\x00" + bytes([1] * 64))
    sof = jpeg_segment(0xC2, struct.pack(">BHHB", 8, side, side, 1) + b"\x01\x11\x00")
    # DC table: category 0 coded "0"; AC table: EOB14 (a run of 2^14 + 14 bits) coded "0".
    dht = jpeg_segment(0xC4, b"\x00" + bytes([1] + [0] * 15) + b"\x00" +
                       b"\x10" + bytes([1] + [0] * 15) + b"\xe0")
    body = bytearray()
    dc = BitWriter()
    dc.put_many_zero_bits(blocks)
    body += jpeg_segment(0xDA, b"\x01\x01\x00\x00\x00\x00") + dc.data()
    # Bands 1..63 at point transform 1, then refinements of them to 0; within the rules of progression.
    bands = [(k, 0, 1) for k in range(1, 64)] + [(k, 1, 0) for k in range(1, 64)]
    for k, ah, al in bands[:ac_scans]:
        ac = BitWriter()
        # Runs of 16384 to 32767 blocks, each "0" and 14 bits.
        runs = (blocks + 32766) // 32767
        for i in range(runs):
            ac.put(0, 1)
            ac.put(blocks * (i + 1) // runs - blocks * i // runs - 16384, 14)
        body += jpeg_segment(0xDA, b"\x01\x01\x00" + bytes([k, k, (ah << 4) | al])) + ac.data()
    return b"\xff\xd8" + dqt + sof + dht + bytes(body) + b"\xff\xd9"


def png_text_bomb(kind, count, inflated):
    """A 64 x 64 PNG preceded by `count` compressed text chunks of `inflated` zero bytes each (zTXt or
    iTXt), or by one iCCP profile of that size."""
    signature = b"\x89PNG\r\n\x1a\n"
    ihdr = png_chunk(b"IHDR", struct.pack(">IIBBBBB", 64, 64, 8, 2, 0, 0, 0))
    packed = zeros_deflated(1, inflated)
    if kind == b"zTXt":
        chunk = png_chunk(b"zTXt", b"Comment\x00\x00" + packed)
    elif kind == b"iTXt":
        chunk = png_chunk(b"iTXt", b"XML:com.adobe.xmp\x00\x01\x00\x00\x00" + packed)
    else:
        chunk = png_chunk(b"iCCP", b"icc\x00\x00" + packed)
    return (signature + ihdr + chunk * count + png_chunk(b"IDAT", zeros_deflated(64, 1 + 3 * 64)) +
            png_chunk(b"IEND", b""))


def tiff_file(entries, tail, lead=b""):
    """A little-endian TIFF: `lead` at offset 8, one directory of (tag, type, count, value) entries, then
    `tail`. A value may
    be bytes (stored after the directory, its offset written in), or the string "TAIL" (the offset of the
    tail). Types: 3 SHORT, 4 LONG."""
    size = {3: 2, 4: 4}
    ifd_size = 2 + 12 * len(entries) + 4
    lead += b"\x00" * (len(lead) % 2)
    at = 8 + len(lead) + ifd_size
    extra, fixed = b"", []
    for tag, kind, count, value in sorted(entries):
        if isinstance(value, bytes) and len(value) > 4:
            fixed.append((tag, kind, count, ("AT", at + len(extra))))
            extra += value
        else:
            fixed.append((tag, kind, count, value))
    tail_at = at + len(extra)
    ifd = struct.pack("<H", len(fixed))
    for tag, kind, count, value in fixed:
        if isinstance(value, tuple):
            field = struct.pack("<I", value[1])
        elif value == "TAIL":
            field = struct.pack("<I", tail_at)
        elif isinstance(value, bytes):
            field = value.ljust(4, b"\x00")
        elif kind == 3:
            field = struct.pack("<HH", value, 0)
        else:
            field = struct.pack("<I", value)
        ifd += struct.pack("<HHI", tag, kind, count) + field
    return b"II*\x00" + struct.pack("<I", 8 + len(lead)) + lead + ifd + b"\x00" * 4 + extra + tail


def tiff_strips(width, height, samples, photometric, rows_per_strip, strip, shared, extra=(), planes=1):
    """A deflated picture whose strips all hold the same `strip` bytes, stored once when `shared`."""
    count = planes * ((height + rows_per_strip - 1) // rows_per_strip)
    header_guess = 8 + 2 + 12 * 14 + 4 + 8 * count + 4 * samples + 2 * samples + 4096
    if shared:
        offsets = [header_guess] * count
        data = strip
    else:
        offsets = [header_guess + i * len(strip) for i in range(count)]
        data = strip * count
    entries = [(256, 4, 1, width), (257, 4, 1, height), (259, 3, 1, 8), (262, 3, 1, photometric),
               (277, 3, 1, samples), (278, 4, 1, rows_per_strip), (284, 3, 1, 2 if planes > 1 else 1),
               (258, 3, samples, struct.pack("<%dH" % samples, *([8] * samples))),
               (273, 4, count, struct.pack("<%dI" % count, *offsets)),
               (279, 4, count, struct.pack("<%dI" % count, *([len(strip)] * count)))] + list(extra)
    head = tiff_file(entries, b"")
    assert len(head) <= header_guess
    return head.ljust(header_guess, b"\x00") + data


def jpeg_png_tiff_bombs(out):
    """Pictures of the platform's formats that make their decoders work far beyond what their bytes
    suggest: progressive and arithmetic-coded JPEG scans over every block, PNG text and profile chunks
    that inflate, TIFF samples, strips and tiles named many times over."""
    def put(name, data):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)

    # 16000 x 16000 grey: 4M blocks a scan; 12000 x 12000: 2.25M blocks, coefficients of 288 MB.
    for side in (16000, 12000):
        huffman = progressive_grey_jpeg(side, 99)
        name = "jpeg_progressive_%d_100_scans" % side
        put(name + ".heic", huffman)
        with tempfile.TemporaryDirectory() as folder:
            source, script = os.path.join(folder, "p.jpg"), os.path.join(folder, "scans.txt")
            with open(source, "wb") as f:
                f.write(huffman)
            bands = ["0: 0 0 0 0;"] + ["0: %d %d 0 1;" % (k, k) for k in range(1, 64)] + \
                    ["0: %d %d 1 0;" % (k, k) for k in range(1, 64)]
            with open(script, "w") as f:
                f.write("\n".join(bands[:100]) + "\n")
            try:
                arith = subprocess.run(["jpegtran", "-arithmetic", "-scans", script, source], check=True,
                                       stdout=subprocess.PIPE).stdout
                put("jpeg_arithmetic_%d_100_scans.heic" % side, arith)
            except (OSError, subprocess.CalledProcessError):
                print("jpegtran (libjpeg-turbo-progs) is needed for the arithmetic-coded JPEGs", file=sys.stderr)

    put("png_240_ztxt_of_8MB.heic", png_text_bomb(b"zTXt", 240, 8 << 20))
    put("png_240_itxt_of_8MB.heic", png_text_bomb(b"iTXt", 240, 8 << 20))
    put("png_iccp_of_64MB.heic", png_text_bomb(b"iCCP", 1, 64 << 20))
    put("png_iccp_of_7MB.heic", png_text_bomb(b"iCCP", 1, 7 << 20))
    # 16-bit RGBA at the size limit: 2 GB of rows; and an interlaced 8192 x 8192 RGBA picture.
    signature = b"\x89PNG\r\n\x1a\n"
    for name, side, depth, interlace in (("png_16bit_rgba_16384x16384.heic", 16384, 16, 0),
                                         ("png_interlaced_rgba_8192x8192.heic", 8192, 8, 1)):
        ihdr = png_chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, depth, 6, 0, 0, interlace))
        row = 1 + side * 4 * depth // 8
        # An interlaced picture's passes are at most as many bytes as its rows plus a filter byte each.
        put(name, signature + ihdr + png_chunk(b"IDAT", zeros_deflated(side + (side if interlace else 0), row)) +
            png_chunk(b"IEND", b""))

    # 65535 samples a pixel, every strip the same deflated row.
    samples = 65535
    extras = (338, 3, samples - 1, struct.pack("<%dH" % (samples - 1), *([0] * (samples - 1))))
    put("tiff_65535_samples_shared_strips.heic",
        tiff_strips(16, 1024, samples, 1, 1, zeros_deflated(1, 16 * samples), True, [extras]))
    # 16384 x 16384 RGB in strips of one row, all the same bytes.
    put("tiff_16384_shared_strips.heic", tiff_strips(16384, 16384, 3, 2, 1, zeros_deflated(1, 3 * 16384), True))
    # Separate planes of 8 samples, one row a strip: 131072 strips.
    put("tiff_8_planes_of_shared_strips.heic",
        tiff_strips(16384, 16384, 8, 1, 1, zeros_deflated(1, 16384), True,
                    [(338, 3, 7, struct.pack("<7H", *([0] * 7)))], planes=8))
    # CMYK in two strips of 8192 rows: a 512 MB band for the RGBA reader.
    put("tiff_cmyk_16384_strips_of_8192_rows.heic",
        tiff_strips(16384, 16384, 4, 5, 8192, zeros_deflated(8192, 4 * 16384), False))
    # The same at 14000 x 14000, just under the bound on decoded samples: read by rows.
    put("tiff_cmyk_14000_strips_of_8192_rows.heic",
        tiff_strips(14000, 14000, 4, 5, 8192, zeros_deflated(8192, 4 * 14000), False))
    # Tiles of 16 x 16 over 16384 x 16384, every one the same deflated bytes (SHORT offsets and counts).
    tile = zeros_deflated(1, 16 * 16 * 3)
    tiles = (16384 // 16) ** 2
    entries = [(256, 4, 1, 16384), (257, 4, 1, 16384), (258, 3, 3, struct.pack("<3H", 8, 8, 8)), (259, 3, 1, 8),
               (262, 3, 1, 2), (277, 3, 1, 3), (322, 3, 1, 16), (323, 3, 1, 16),
               (324, 3, tiles, struct.pack("<H", 8) * tiles), (325, 3, tiles, struct.pack("<H", len(tile)) * tiles)]
    put("tiff_1M_shared_tiles.heic", tiff_file(entries, b"", lead=tile))
    # Bilevel 16384 x 16384 in G4 and JBIG, made by tiffcp from an uncompressed picture of stripes.
    side = 16384
    row = bytes([0xF0, 0x0F] * (side // 16))
    bilevel = tiff_file([(256, 4, 1, side), (257, 4, 1, side), (258, 3, 1, 1), (259, 3, 1, 1), (262, 3, 1, 0),
                         (273, 4, 1, "TAIL"), (277, 3, 1, 1), (278, 4, 1, side), (279, 4, 1, side * side // 8)],
                        row * side)
    with tempfile.TemporaryDirectory() as folder:
        source = os.path.join(folder, "bilevel.tif")
        with open(source, "wb") as f:
            f.write(bilevel)
        for codec in ("g4", "jbig"):
            target = os.path.join(folder, codec + ".tif")
            try:
                subprocess.run(["tiffcp", "-c", codec, "-r", str(side), source, target], check=True,
                               stderr=subprocess.DEVNULL)
                put("tiff_%s_bilevel_16384x16384.heic" % codec, open(target, "rb").read())
            except (OSError, subprocess.CalledProcessError):
                print("tiffcp (libtiff-tools) with %s is needed for that bilevel TIFF" % codec, file=sys.stderr)


# JPEG 2000 codestreams written from their markers (ITU-T T.800 Annex A).
def j2k_marker(code, payload):
    return struct.pack(">HH", code, len(payload) + 2) + payload


def j2k_siz(width, height, comps, tile=None, prec=8):
    """SIZ: the picture at the origin, tiles of `tile` (width, height) or one tile, 8-bit unsigned
    components without subsampling."""
    tile_width, tile_height = tile or (width, height)
    return j2k_marker(0xFF51, struct.pack(">HIIIIIIIIH", 0, width, height, 0, 0, tile_width, tile_height, 0, 0,
                                          comps) + bytes([prec - 1, 1, 1]) * comps)


def j2k_coding(levels, block, style, precincts):
    """SPcod / SPcoc: decomposition levels, code-block size as (width, height), code-block style,
    the 5-3 reversible wavelet, then the precinct exponents (one byte per resolution, PPy << 4 | PPx)."""
    return (bytes([levels, block[0].bit_length() - 3, block[1].bit_length() - 3, style, 1]) +
            (bytes(precincts) if precincts else b""))


def j2k_cod(levels, block=(64, 64), layers=1, order=0, precincts=None, mct=0, style=0):
    return j2k_marker(0xFF52, bytes([1 if precincts else 0, order]) + struct.pack(">H", layers) + bytes([mct]) +
                      j2k_coding(levels, block, style, precincts))


def j2k_coc(comp, levels, block=(64, 64), precincts=None, style=0):
    return j2k_marker(0xFF53, bytes([comp, 1 if precincts else 0]) + j2k_coding(levels, block, style, precincts))


def j2k_qcd(levels):
    """No quantization, two guard bits, exponent 9 for every band."""
    return j2k_marker(0xFF5C, bytes([0x40]) + bytes([9 << 3]) * (3 * levels + 1))


def j2k_poc(entries):
    """POC entries (first resolution, first component, layer end, resolution end, component end,
    order), components on one byte."""
    return j2k_marker(0xFF5F, b"".join(struct.pack(">BBHBBB", *e) for e in entries))


def j2k_tile_part(tile, part, parts, body=b"\x00", headers=b""):
    """SOT, the tile-part's own markers, SOD, then `body` (by default one byte: an empty packet)."""
    length = 12 + len(headers) + 2 + len(body)
    return (struct.pack(">HHHIBB", 0xFF90, 10, tile, length, part, parts) + headers + b"\xff\x93" + body)


def j2k_codestream(main, tile_parts):
    return b"\xff\x4f" + main + b"".join(tile_parts) + b"\xff\xd9"


def jp2_file(codestream, width, height, comps, extra_header=b"", colr=None):
    """A .jp2: signature, file type, header (image header, sRGB or grey colour unless `colr` is given,
    extra boxes), codestream."""
    ihdr = box("ihdr", struct.pack(">IIHBBBB", height, width, comps, 7, 7, 0, 0))
    colr = colr or box("colr", struct.pack(">BBBI", 1, 0, 0, 16 if comps >= 3 else 17))
    return (box("jP  ", b"\r\n\x87\n") + box("ftyp", b"jp2 " + struct.pack(">I", 0) + b"jp2 ") +
            box("jp2h", ihdr + colr + extra_header) + box("jp2c", codestream))


class PacketBits:
    """Packet-header bits as OpenJPEG reads them: most significant first, seven bits in a byte after 0xFF."""

    def __init__(self):
        self.out, self.byte, self.count, self.room = bytearray(), 0, 0, 8

    def put(self, bits):
        for bit in bits:
            self.byte, self.count = (self.byte << 1) | int(bit), self.count + 1
            if self.count == self.room:
                self.out.append(self.byte)
                self.byte, self.count, self.room = 0, 0, 7 if self.out[-1] == 0xFF else 8
        return self

    def bytes(self):
        if self.count:
            self.out.append(self.byte << (self.room - self.count))
        if self.out and self.out[-1] == 0xFF:
            self.out.append(0)
        return bytes(self.out)


def segment_packets(layers):
    """One packet per layer for a single code-block coded with termination on every pass: each names 164
    new passes, so 164 segments, all empty, in 64 bytes of packet header."""
    body = bytearray()
    for layer in range(layers):
        bits = PacketBits().put("11" + ("1" if layer == 0 else ""))  # not empty; included; no missing planes
        body += bits.put("1" * 16 + "0" + "000" * 164).bytes()       # 164 passes; lengths of 3 bits, all 0
    return bytes(body)


def jpeg2000_bombs(out):
    """JPEG 2000 files whose headers make OpenJPEG allocate code-block, precinct and tile structures (and
    tag trees), or walk packets, far beyond their bytes: each a few bytes to a few hundred kilobytes,
    most with no coded data at all."""
    def put(name, data):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)

    side = 16384
    one_tile = [j2k_tile_part(0, 0, 1)]

    # 4x4 code-blocks over the whole picture: 22 million code-blocks per component.
    grey = j2k_codestream(j2k_siz(side, side, 1) + j2k_cod(5, block=(4, 4)) + j2k_qcd(5), one_tile)
    put("jpeg2000_cblk_4x4_16384_grey.heic", grey)
    rgb = j2k_codestream(j2k_siz(side, side, 3) + j2k_cod(5, block=(4, 4), mct=1) + j2k_qcd(5), one_tile)
    put("jpeg2000_cblk_4x4_16384_rgb.jp2.heic", jp2_file(rgb, side, side, 3))
    # 2x2 precincts at every resolution level: code-blocks of one sample in the bands.
    put("jpeg2000_precinct_2x2_16384.heic", j2k_codestream(
        j2k_siz(side, side, 1) + j2k_cod(5, precincts=[0x11] * 6) + j2k_qcd(5), one_tile))
    # 2x2 precincts only at the full resolution: 67 million precincts there.
    put("jpeg2000_precinct_2x2_top_level_16384.heic", j2k_codestream(
        j2k_siz(side, side, 1) + j2k_cod(5, precincts=[0xFF] * 5 + [0x11]) + j2k_qcd(5), one_tile))
    # 4096 tiles of 256x256, 4x4 code-blocks, four components: every tile-part coded.
    tiles = [j2k_tile_part(t, 0, 1, b"\x00" * 24) for t in range(4096)]
    put("jpeg2000_4096_tiles_cblk_4x4_rgba.heic", j2k_codestream(
        j2k_siz(side, side, 4, tile=(256, 256)) + j2k_cod(5, block=(4, 4)) + j2k_qcd(5), tiles))
    # Four components of 2^28 samples each and no coded data.
    put("jpeg2000_16384_four_components_no_data.heic", j2k_codestream(
        j2k_siz(side, side, 4) + j2k_cod(5) + j2k_qcd(5), one_tile))
    # 65535 layers in 4096 tiles: 800 million packets, each tile-part empty.
    tiles = [j2k_tile_part(t, 0, 1) for t in range(4096)]
    put("jpeg2000_4096_tiles_65535_layers.heic", j2k_codestream(
        j2k_siz(side, side, 3, tile=(256, 256)) + j2k_cod(5, layers=65535) + j2k_qcd(5), tiles))
    # 65535 layers of a picture with 256x256 precincts at the full resolution: 4096 precincts, 268
    # million packets, and a packet-inclusion table of 65536 x 6 x 4096 entries.
    put("jpeg2000_65535_layers_4096_precincts.heic", j2k_codestream(
        j2k_siz(side, side, 1) + j2k_cod(5, layers=65535, precincts=[0xFF] * 5 + [0x88]) + j2k_qcd(5),
        one_tile))
    # 32 decomposition levels (33 resolutions), 1x1 precincts at the lowest, 4x4 code-blocks.
    put("jpeg2000_33_resolutions_cblk_4x4.heic", j2k_codestream(
        j2k_siz(side, side, 1) + j2k_cod(32, block=(4, 4), precincts=[0x00] + [0xFF] * 32) + j2k_qcd(32),
        one_tile))
    # Ordinary main header; each tile-part's header overrides component 0 with 4x4 code-blocks (COC).
    tiles = [j2k_tile_part(t, 0, 1, headers=j2k_coc(0, 5, block=(4, 4))) for t in range(16)]
    put("jpeg2000_coc_in_tile_parts_cblk_4x4.heic", j2k_codestream(
        j2k_siz(side, side, 3, tile=(4096, 4096)) + j2k_cod(5) + j2k_qcd(5), tiles))
    # Ordinary main header; each tile-part's COD asks for 2x2 precincts at every level.
    tiles = [j2k_tile_part(t, 0, 1, headers=j2k_cod(5, precincts=[0x11] * 6)) for t in range(16)]
    put("jpeg2000_cod_in_tile_parts_precinct_2x2.heic", j2k_codestream(
        j2k_siz(side, side, 1, tile=(4096, 4096)) + j2k_cod(5) + j2k_qcd(5), tiles))
    # Position-driven order (RPCL) with 2x2 precincts at the full resolution and 31 POC entries
    # repeating it: the packet iterator walks the picture's positions once per entry.
    put("jpeg2000_rpcl_31_pocs_precinct_2x2.heic", j2k_codestream(
        j2k_siz(side, side, 1) + j2k_cod(5, order=2, precincts=[0xFF] * 5 + [0x11]) + j2k_qcd(5) +
        j2k_poc([(0, 0, 1, 6, 1, 2)] * 31), one_tile))
    # A .jp2 of one 4096x4096 component through a palette of 255 columns: OpenJPEG makes 255 planes.
    palette = box("pclr", struct.pack(">HB", 2, 255) + bytes([7] * 255) + bytes(2 * 255))
    mapping = box("cmap", b"".join(struct.pack(">HBB", 0, 1, c) for c in range(255)))
    small = j2k_codestream(j2k_siz(4096, 4096, 1) + j2k_cod(5) + j2k_qcd(5), one_tile)
    put("jpeg2000_palette_255_channels.jp2.heic", jp2_file(small, 4096, 4096, 1, palette + mapping))
    # One code-block terminated on every pass, its packet headers naming 164 segments each: 10.7 million
    # segments and their data chunks from 4 MB of headers over 65535 layers (and 2.7 million from 1 MB).
    for layers in (65535, 16384):
        put("jpeg2000_segments_%d_layers.heic" % layers, j2k_codestream(
            j2k_siz(64, 64, 1) + j2k_cod(0, layers=layers, style=4) + j2k_qcd(0),
            [j2k_tile_part(0, 0, 1, segment_packets(layers))]))
    # Tiles of 1x1 pixel over 64x64: 4096 tiles, each with its own tile-part.
    tiles = [j2k_tile_part(t, 0, 1) for t in range(4096)]
    put("jpeg2000_4096_tiles_of_one_pixel.heic", j2k_codestream(
        j2k_siz(64, 64, 4, tile=(1, 1)) + j2k_cod(0) + j2k_qcd(0), tiles))


# Pictures whose decoders' work is not in their headers: JPEG scans inside TIFF strips and tiles, TIFF
# colour spaces converted pixel by pixel, PNG filters and transparency, JPEG 2000 bit-planes, and
# metadata held whole.
def put_file(out, name, data):
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)


def block_pattern(blocks, bits):
    """Entropy-coded data of `blocks` blocks each coded by the bit string `bits` (which holds no eight
    ones in a row), padded with ones."""
    whole = blocks - blocks % 8
    unit = BitWriter()
    for _ in range(8):
        unit.put(int(bits, 2), len(bits))
    rest = BitWriter()
    for _ in range(blocks % 8):
        rest.put(int(bits, 2), len(bits))
    return unit.data() * (whole // 8) + rest.data()


def last_coefficient_jpeg(width, height, value_bits, comps=1, sampling=None):
    """A baseline Huffman JPEG (quantizers of 1) whose every block is zero but for its last AC
    coefficient, whose magnitude category and bits are `value_bits` (e.g. "10": 2): DC "0", three runs of
    16 zeros "0" each, then run 14 of that category "10" and the bits. One scan of all components, each
    `sampling` (h << 4 | v; 0x11 by default)."""
    sampling = sampling or [0x11] * comps
    mcu_w = 8 * max(s >> 4 for s in sampling)
    mcu_h = 8 * max(s & 15 for s in sampling)
    mcus = ((width + mcu_w - 1) // mcu_w) * ((height + mcu_h - 1) // mcu_h)
    per_mcu = sum((s >> 4) * (s & 15) for s in sampling)
    dqt = jpeg_segment(0xDB, b"\x00" + bytes([1] * 64))
    sof = jpeg_segment(0xC0, struct.pack(">BHHB", 8, height, width, comps) +
                       b"".join(bytes([c + 1, sampling[c], 0]) for c in range(comps)))
    dht = jpeg_segment(0xC4, b"\x00" + bytes([1] + [0] * 15) + b"\x00" + b"\x10" + bytes([1, 1] + [0] * 14) +
                       b"\xf0" + bytes([0xE0 | len(value_bits)]))
    sos = jpeg_segment(0xDA, bytes([comps]) + b"".join(bytes([c + 1, 0]) for c in range(comps)) + b"\x00\x3f\x00")
    data = block_pattern(mcus * per_mcu, "0" + "000" + "10" + value_bits)
    return b"\xff\xd8" + dqt + sof + dht + sos + data + b"\xff\xd9"


def jpegtran_scans(jpeg, script):
    """The JPEG rewritten by jpegtran with arithmetic coding in the scans of `script` (lines of
    jpegtran's -scans syntax)."""
    with tempfile.TemporaryDirectory() as folder:
        source, scans = os.path.join(folder, "p.jpg"), os.path.join(folder, "scans.txt")
        with open(source, "wb") as f:
            f.write(jpeg)
        with open(scans, "w") as f:
            f.write("\n".join(script) + "\n")
        return subprocess.run(["jpegtran", "-arithmetic", "-scans", scans, source], check=True,
                              stdout=subprocess.PIPE).stdout


def jpeg_scans(jpeg):
    """(start, end) of every scan of a JPEG: its SOS segment and its entropy-coded data."""
    scans, at = [], 2
    while at + 4 <= len(jpeg) and jpeg[at + 1] != 0xD9:
        end = at + 2 + struct.unpack(">H", jpeg[at + 2:at + 4])[0]
        if jpeg[at + 1] == 0xDA:
            while not (jpeg[end] == 0xFF and jpeg[end + 1] != 0 and not 0xD0 <= jpeg[end + 1] <= 0xD7):
                end += 1
            scans.append((at, end))
        at = end
    return scans


def refinement_storm_jpeg(width, height, scans, comps=1, sampling=None, storm_component=0):
    """A progressive arithmetic-coded JPEG whose every block holds one nonzero coefficient, the last:
    the DC scan, a first and a refinement scan of AC band 1..63 per component, then the refinement of
    `storm_component` repeated up to `scans` scans. A refinement visits every coefficient up to the
    block's last nonzero one, 63 decisions a block, each nearly free in bytes: about 20 bytes a scan
    over four million blocks. The repeats break the rules of progression, which libjpeg only warns of
    (the last coefficient is 3, so that its sign and bits cost nothing either)."""
    source = last_coefficient_jpeg(width, height, "11", comps, sampling)
    script = [",".join(str(c) for c in range(comps)) + ": 0 0 0 0;"]
    for c in range(comps):
        script += ["%d: 1 63 0 1;" % c, "%d: 1 63 1 0;" % c]
    coded = jpegtran_scans(source, script)
    found = jpeg_scans(coded)
    last = found[2 + 2 * storm_component]
    storm = coded[last[0]:last[1]] * (scans - len(found))
    return coded[:last[1]] + storm + coded[last[1]:]


def tiff_units(entries, units, tiled=False):
    """A little-endian TIFF of one directory of `entries` whose strips (or tiles) are `units`, stored
    one after another after it."""
    offset_tag, count_tag = (324, 325) if tiled else (273, 279)
    count = len(units)

    def build(first):
        offsets, at = [], first
        for unit in units:
            offsets.append(at)
            at += len(unit)
        lengths = [len(u) for u in units]
        return tiff_file(list(entries) + [
            (offset_tag, 4, count, struct.pack("<%dI" % count, *offsets) if count > 1 else offsets[0]),
            (count_tag, 4, count, struct.pack("<%dI" % count, *lengths) if count > 1 else lengths[0])], b"")

    head = build(0)
    return build(len(head)) + b"".join(units)


def jpeg_in_tiff_bombs(out):
    """TIFFs of JPEG strips or tiles (compression 7): libtiff hands each to libjpeg, which holds every
    coefficient of a strip of several scans and decodes up to 100 scans of it; neither is in the TIFF's
    header."""
    side = 16384
    grey = [(256, 4, 1, side), (257, 4, 1, side), (258, 3, 1, 8), (259, 3, 1, 7), (262, 3, 1, 1), (277, 3, 1, 1),
            (284, 3, 1, 1)]
    # 16 strips of 1024 rows, each a progressive JPEG of 99 scans over its 262144 blocks.
    strip = refinement_storm_jpeg(side, 1024, 99)
    put_file(out, "tiff_jpeg_progressive_16_strips_99_scans.heic", tiff_units(grey + [(278, 4, 1, 1024)], [strip] * 16))
    # The same in 256 tiles of 1024 x 1024 (libtiff's RGBA reader).
    tile = refinement_storm_jpeg(1024, 1024, 99)
    put_file(out, "tiff_jpeg_progressive_256_tiles_99_scans.heic",
             tiff_units(grey + [(322, 3, 1, 1024), (323, 3, 1, 1024)], [tile] * 256, tiled=True))
    # One strip of all 16384 rows: 512 MB of coefficients held at once.
    put_file(out, "tiff_jpeg_progressive_one_strip_99_scans.heic",
             tiff_units(grey + [(278, 4, 1, side)], [refinement_storm_jpeg(side, side, 99)]))
    # RGB, one strip, a sequential scan per component: 1.5 GB of coefficients from a few hundred bytes,
    # every block's last coefficient set so that each costs 63 decisions.
    rgb = [(256, 4, 1, side), (257, 4, 1, side), (258, 3, 3, struct.pack("<3H", 8, 8, 8)), (259, 3, 1, 7),
           (262, 3, 1, 2), (277, 3, 1, 3), (278, 4, 1, side), (284, 3, 1, 1)]
    three = jpegtran_scans(last_coefficient_jpeg(side, side, "11", 3), ["%d: 0 63 0 0;" % c for c in range(3)])
    put_file(out, "tiff_jpeg_rgb_one_strip_3_scans.heic", tiff_units(rgb, [three]))
    # YCbCr 4:2:0 strips of 1024 rows (the RGBA reader asks libjpeg for RGB), 99 scans each, the
    # luma's refinement repeated.
    ycbcr = [(256, 4, 1, side), (257, 4, 1, side), (258, 3, 3, struct.pack("<3H", 8, 8, 8)), (259, 3, 1, 7),
             (262, 3, 1, 6), (277, 3, 1, 3), (278, 4, 1, 1024), (284, 3, 1, 1), (530, 3, 2, struct.pack("<HH", 2, 2))]
    strip = refinement_storm_jpeg(side, 1024, 99, 3, [0x22, 0x11, 0x11])
    put_file(out, "tiff_jpeg_ycbcr_420_16_strips_99_scans.heic", tiff_units(ycbcr, [strip] * 16))


def jpeg_refinement_bombs(out):
    """A plain JPEG whose scans stay under the decoder's bounds on blocks covered and on coefficient
    memory but spend 63 arithmetic decisions on each block they cover: a last coefficient of 2^10 coded
    first at the highest point transform jpegtran writes and refined in each of the 10 successive
    approximations below it, band 1..63 in every scan. 12944 x 12944 grey: 2.6 million blocks, 12 scans
    (31 million blocks covered), 320 MiB of coefficients."""
    side = 12944
    script = ["0: 0 0 0 0;", "0: 1 63 0 10;"] + ["0: 1 63 %d %d;" % (a + 1, a) for a in range(9, -1, -1)]
    put_file(out, "jpeg_arithmetic_refinements_12944_12_scans.heic",
             jpegtran_scans(last_coefficient_jpeg(side, side, "10000000000"), script))


def sgilog_row(width, plane_bytes):
    """One row of SGI Log coded pixels (libtiff's LogLuv/LogL run-length coding): each byte plane, most
    significant first, as runs of at most 129 equal bytes."""
    out = bytearray()
    for value in plane_bytes:
        left = width
        while left >= 2:
            run = min(129, left)
            out += bytes([run + 126, value])
            left -= run
        if left:
            out += bytes([1, value])
    return bytes(out)


def tiff_colour_bombs(out):
    """TIFFs whose colour space libtiff's RGBA reader converts pixel by pixel in floating point (SGI
    LogLuv and LogL, CIELab) or from subsampled YCbCr, at or near the bound on decoded samples."""
    side = 16384

    def striped(width, height, photometric, bits, samples, rows, row_bytes, compression=8, extra=()):
        strip = rows_deflated(rows, bytes(row_bytes))
        count = (height + rows - 1) // rows
        entries = [(256, 4, 1, width), (257, 4, 1, height),
                   (258, 3, samples, struct.pack("<%dH" % samples, *([bits] * samples)) if samples > 2 else bits),
                   (259, 3, 1, compression), (262, 3, 1, photometric), (277, 3, 1, samples), (278, 4, 1, rows),
                   (284, 3, 1, 1)] + list(extra)
        return tiff_units(entries, [strip] * count)

    # SGI LogLuv (32 bits a pixel, read as 8-bit RGB: the sample bound), grey of luminance 1.
    row = sgilog_row(side, [0x40, 0x00, 81, 192])
    entries = [(256, 4, 1, side), (257, 4, 1, side), (258, 3, 3, struct.pack("<3H", 8, 8, 8)), (259, 3, 1, 34676),
               (262, 3, 1, 32845), (277, 3, 1, 3), (278, 4, 1, 16), (284, 3, 1, 1)]
    put_file(out, "tiff_sgi_logluv_16384x16384.heic", tiff_units(entries, [row * 16] * (side // 16)))
    # SGI LogL: luminance alone, 16 bits a pixel.
    row = sgilog_row(side, [0x40, 0x00])
    entries = [(256, 4, 1, side), (257, 4, 1, side), (258, 3, 1, 8), (259, 3, 1, 34676), (262, 3, 1, 32844),
               (277, 3, 1, 1), (278, 4, 1, 16), (284, 3, 1, 1)]
    put_file(out, "tiff_sgi_logl_16384x16384.heic", tiff_units(entries, [row * 16] * (side // 16)))
    # CIELab, 8 bits a sample at 16384 x 16384 and 16 bits at 11585 x 11585 (both at the sample bound),
    # deflated strips of 32 rows.
    # Horizontal differencing (predictor 2) besides: another pass over every sample.
    differenced = [(317, 3, 1, 2)]
    put_file(out, "tiff_cielab_8bit_16384x16384.heic", striped(side, side, 8, 8, 3, 32, 3 * side, extra=differenced))
    put_file(out, "tiff_cielab_16bit_11585x11585.heic",
             striped(11585, 11585, 8, 16, 3, 32, 6 * 11585, extra=differenced))
    # YCbCr 4:2:0 without JPEG: libtiff's own upsampling and conversion.
    put_file(out, "tiff_ycbcr_420_16384x16384.heic",
             striped(side, side, 6, 8, 3, 32, 3 * side // 2, extra=[(530, 3, 2, struct.pack("<HH", 2, 2))]))


def png_filter_bombs(out):
    """PNGs at or near the bound on stored samples whose every row is filtered by Paeth (or Average),
    which libpng undoes byte by byte (in plain C for 16-bit pixels), with transparency that turns the
    rows into RGBA to be put over black. Each row's first pixel differs (the rest repeat it), so the
    picture is of bands of colour that the JPEG passes after it code at length."""
    signature = b"\x89PNG\r\n\x1a\n"

    def png(name, width, height, depth, colour, row_filter=4, extra=b""):
        pixel = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour] * depth // 8
        rng = random.Random(1)
        z = zlib.compressobj(9)
        rest = bytes((width - 1) * pixel)
        idat = b"".join(z.compress(bytes([row_filter] + [rng.randrange(256) for _ in range(pixel)]) + rest)
                        for _ in range(height)) + z.flush()
        put_file(out, name, signature + png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour,
                                                                        0, 0, 0)) +
                 extra + png_chunk(b"IDAT", idat) + png_chunk(b"IEND", b""))

    black = png_chunk(b"tRNS", bytes(6))
    png("png_rgb_paeth_trns_16384x16384.heic", 16384, 16384, 8, 2, extra=black)
    png("png_16bit_rgba_paeth_10000x10000.heic", 10000, 10000, 16, 6)
    # Variations: Average rows; 16-bit RGB, grey with alpha and grey with a transparent value at the
    # bound; a palette whose entries are all partly transparent.
    png("png_rgb_average_trns_16384x16384.heic", 16384, 16384, 8, 2, row_filter=3, extra=black)
    png("png_16bit_rgb_paeth_11585x11585.heic", 11585, 11585, 16, 2)
    png("png_16bit_grey_alpha_paeth_14188x14188.heic", 14188, 14188, 16, 4)
    png("png_16bit_grey_paeth_trns_16384x16384.heic", 16384, 16384, 16, 0, extra=png_chunk(b"tRNS", bytes(2)))
    rng = random.Random(2)
    png("png_palette_paeth_trns_16384x16384.heic", 16384, 16384, 8, 3,
        extra=png_chunk(b"PLTE", bytes(rng.randrange(256) for _ in range(768))) +
        png_chunk(b"tRNS", bytes(rng.randrange(256) for _ in range(256))))


def bmp_alpha(out):
    """32-bit BI_BITFIELDS bitmaps with an alpha mask (V5 and V4 headers), 64 x 64: the right half
    transparent over stored white, or a white picture whose alpha rises from 0 to 255 across it. Put
    over black, the transparent parts are black."""
    def bmp(name, info_size, pixel):
        width = height = 64
        rows = b"".join(pixel(x) for x in range(width)) * height
        info = struct.pack("<IiiHHIIiiII", info_size, width, height, 1, 32, 3, len(rows), 2835, 2835, 0, 0)
        info += struct.pack("<IIII", 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000)
        info += b"BGRs" + bytes(36 + 12)  # sRGB: no end points or gamma
        if info_size == 124:
            info += struct.pack("<IIII", 4, 0, 0, 0)  # intent; no profile
        offset = 14 + info_size
        put_file(out, name, b"BM" + struct.pack("<IHHI", offset + len(rows), 0, 0, offset) + info + rows)

    def half(x):  # blue-grey opaque, then transparent white (stored blue, green, red, alpha)
        return bytes([0xC0, 0x80, 0x40, 255]) if x < 32 else bytes([255, 255, 255, 0])

    bmp("bmp_v5_bitfields_alpha_half_transparent.heic", 124, half)
    bmp("bmp_v4_bitfields_alpha_half_transparent.heic", 108, half)
    bmp("bmp_v5_bitfields_alpha_ramp_over_white.heic", 124, lambda x: bytes([255, 255, 255, x * 255 // 63]))


def tag_tree_new_nodes(columns, rows):
    """For each leaf of a tag tree over columns x rows leaves, in raster order, how many of its nodes (it
    and its ancestors, as OpenJPEG builds the levels) are coded for the first time with it."""
    levels = [(columns, rows)]
    while levels[-1][0] * levels[-1][1] > 1:
        levels.append(((levels[-1][0] + 1) // 2, (levels[-1][1] + 1) // 2))
    seen = [set() for _ in levels]
    counts = []
    for y in range(rows):
        for x in range(columns):
            new = 0
            for level, known in enumerate(seen):
                if (x >> level, y >> level) not in known:
                    known.add((x >> level, y >> level))
                    new += 1
            counts.append(new)
    return counts


def j2k_band_sizes(width, height, levels):
    """The bands of each resolution of a picture at the origin, lowest first: [LL], then [HL, LH, HH]."""
    def up(value, shift):
        return -(-value // (1 << shift))
    bands = [[(up(width, levels), up(height, levels))]]
    for r in range(1, levels + 1):
        w, h = up(width, levels - r), up(height, levels - r)  # the resolution's extent
        low_w, low_h = up(w, 1), up(h, 1)
        bands.append([(w - low_w, low_h), (low_w, h - low_h), (w - low_w, h - low_h)])
    return bands


def j2k_passes(count):
    """A number of coding passes as packet headers code it (T.800 Table B.4)."""
    if count <= 2:
        return "0" if count == 1 else "10"
    if count <= 5:
        return "11" + format(count - 3, "02b")
    if count <= 36:
        return "1111" + format(count - 6, "05b")
    return "111111111" + format(count - 37, "07b")


def bitplane_packets(width, height, levels, block, passes, data):
    """One component's packets, one layer and one precinct a resolution: every code-block included with
    no missing bit-planes and `passes` coding passes in one segment of the bytes `data`."""
    length_bits = 3 + passes.bit_length() - 1
    out = bytearray()
    for bands in j2k_band_sizes(width, height, levels):
        bits, body = PacketBits().put("1"), bytearray()
        for w, h in bands:
            columns, rows = -(-w // block[0]), -(-h // block[1])
            if columns * rows == 0:
                continue
            for new in tag_tree_new_nodes(columns, rows):
                # Inclusion, then the missing bit-planes (both 0: a "1" for each node coded afresh), the
                # passes, no change of the length's bits, the length.
                bits.put("1" * new + "1" * new + j2k_passes(passes) + "0" + format(len(data), "0%db" % length_bits))
                body += data
        out += bits.bytes() + body
    return bytes(out)


def jpeg2000_bitplane_bombs(out):
    """JPEG 2000 codestreams whose quantization (none, 2 guard bits, exponent 29) gives every band 30
    bit-planes, the most OpenJPEG decodes, and whose every code-block claims all 88 coding passes of them
    over 2 coded bytes: OpenJPEG runs each pass over the whole block whatever the bytes, about a
    millisecond a 64 x 64 block, while the coded data suggests nothing. Sized to decode at full
    resolution within the memory the decoder allows."""
    def bomb(side, comps, block, levels=5):
        main = (j2k_siz(side, side, comps) + j2k_cod(levels, block=block, order=4) +
                j2k_marker(0xFF5C, bytes([2 << 5]) + bytes([29 << 3]) * (3 * levels + 1)))
        # Component-position-resolution-layer order: each component's packets together.
        body = bitplane_packets(side, side, levels, block, 88, b"\x12\x34") * comps
        return j2k_codestream(main, [j2k_tile_part(0, 0, 1, body)])

    put_file(out, "jpeg2000_30_bitplanes_cblk_64_grey_7800.heic", bomb(7800, 1, (64, 64)))
    put_file(out, "jpeg2000_30_bitplanes_cblk_64_rgb_5300.heic", bomb(5300, 3, (64, 64)))
    put_file(out, "jpeg2000_30_bitplanes_cblk_64_rgba_4700.heic", bomb(4700, 4, (64, 64)))
    put_file(out, "jpeg2000_30_bitplanes_cblk_32_grey_7800.heic", bomb(7800, 1, (32, 32)))
    put_file(out, "jpeg2000_30_bitplanes_cblk_16_grey_7800.heic", bomb(7800, 1, (16, 16)))
    put_file(out, "jpeg2000_30_bitplanes_cblk_1024x4_grey_7800.heic", bomb(7800, 1, (1024, 4)))


def small_jpeg(before_scans=b"", between_scans=b"", progressive=False):
    """A 64 x 64 grey JPEG of zero blocks (baseline, or progressive in a DC and an AC scan) with marker
    segments before its first scan and, when progressive, between its scans."""
    dqt = jpeg_segment(0xDB, b"\x00" + bytes([1] * 64))
    sof = jpeg_segment(0xC2 if progressive else 0xC0, struct.pack(">BHHB", 8, 64, 64, 1) + b"\x01\x11\x00")
    dht = jpeg_segment(0xC4, b"\x00" + bytes([1] + [0] * 15) + b"\x00" + b"\x10" + bytes([1] + [0] * 15) + b"\x00")
    if not progressive:
        scans = jpeg_segment(0xDA, b"\x01\x01\x00\x00\x3f\x00") + block_pattern(64, "00")
    else:
        scans = (jpeg_segment(0xDA, b"\x01\x01\x00\x00\x00\x00") + block_pattern(64, "0") + between_scans +
                 jpeg_segment(0xDA, b"\x01\x01\x00\x01\x3f\x00") + block_pattern(64, "0"))
    return b"\xff\xd8" + dqt + sof + dht + before_scans + scans + b"\xff\xd9"


def jpeg_segment_storms(out):
    """64 x 64 JPEGs behind 10,000 marker segments of the largest size (655 MB): APP1 and APP2, which the
    decoder keeps for Exif and the colour profile (libjpeg holds every one), and comments, which it
    passes over; and APP1 segments between the scans of a progressive picture."""
    def storm(marker, lead):
        return jpeg_segment(marker, lead + bytes(65533 - len(lead))) * 10000

    put_file(out, "jpeg_10000_app1_segments.heic", small_jpeg(storm(0xE1, b"http://ns.adobe.com/xap/1.0/\x00")))
    put_file(out, "jpeg_10000_app2_segments.heic", small_jpeg(storm(0xE2, b"FPXR\x00")))
    put_file(out, "jpeg_10000_com_segments.heic", small_jpeg(storm(0xFE, b"")))
    put_file(out, "jpeg_progressive_10000_app1_between_scans.heic",
             small_jpeg(between_scans=storm(0xE1, b"http://ns.adobe.com/xap/1.0/\x00"), progressive=True))


def icc_profile(length):
    """An ICC profile of `length` bytes: the header of a display RGB profile, no tags, zeros after."""
    header = (struct.pack(">I", length) + b"none" + bytes([2, 0x10, 0, 0]) + b"mntrRGB XYZ " + bytes(12) +
              b"acsp" + bytes(28) + struct.pack(">iii", 63190, 65536, 54061) + bytes(48) + struct.pack(">I", 0))
    return header + bytes(length - len(header))


def profile_bombs(out):
    """Tiny pictures with 300 MB of colour profile or other metadata that OpenJPEG or libtiff reads whole
    before the picture: a .jp2's colour box, an unknown box in its header box, a TIFF's ICC and XMP tags."""
    size = 300 << 20
    stream = j2k_codestream(j2k_siz(64, 64, 3) + j2k_cod(5, mct=1) + j2k_qcd(5), [j2k_tile_part(0, 0, 1)])
    put_file(out, "jpeg2000_icc_profile_300MB.jp2.heic",
             jp2_file(stream, 64, 64, 3, colr=box("colr", bytes([2, 0, 0]) + icc_profile(size))))
    put_file(out, "jpeg2000_300MB_box_in_header.jp2.heic",
             jp2_file(stream, 64, 64, 3, extra_header=box("xml ", bytes(size))))
    rgb = [(256, 4, 1, 64), (257, 4, 1, 64), (258, 3, 3, struct.pack("<3H", 8, 8, 8)), (259, 3, 1, 1),
           (262, 3, 1, 2), (273, 4, 1, "TAIL"), (277, 3, 1, 3), (278, 4, 1, 64), (279, 4, 1, 64 * 64 * 3)]
    pixels = bytes(64 * 64 * 3)
    put_file(out, "tiff_icc_profile_300MB.heic", tiff_file(rgb + [(34675, 7, size, icc_profile(size))], pixels))
    put_file(out, "tiff_xmp_300MB.heic", tiff_file(rgb + [(700, 1, size, bytes(size))], pixels))


def jpeg2000_photos(out):
    """Two honest 48-megapixel JPEG 2000 photos (8000 x 6000) coded by OpenJPEG's own encoder from
    ImageMagick's plasma fractal: lossy (irreversible wavelet, 20:1) and lossless."""
    with tempfile.TemporaryDirectory() as folder:
        source = os.path.join(folder, "photo.ppm")
        subprocess.run(["convert-im6.q16", "-seed", "7", "-size", "8000x6000", "plasma:fractal", "-depth", "8",
                        source], check=True)
        for name, options in (("lossy", ["-I", "-r", "20"]), ("lossless", [])):
            target = os.path.join(folder, name + ".jp2")
            subprocess.run(["opj_compress", "-i", source, "-o", target] + options, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            with open(target, "rb") as f:
                put_file(out, "photo_jpeg2000_8000x6000_%s.jp2.heic" % name, f.read())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--fuzz-seeds", action="store_true", help="write the fuzzer's small crafted seeds only")
    parser.add_argument("--large", action="store_true", help="also write the files of hundreds of megabytes")
    parser.add_argument("out", nargs="?", default=".")
    args = parser.parse_args()
    out = args.out
    os.makedirs(out, exist_ok=True)

    def write(name, heif):
        with open(os.path.join(out, name), "wb") as f:
            f.write(heif.build())

    rec, data = picture(64)
    if args.fuzz_seeds:
        fuzz_seeds(write, rec, data)
        return

    h = Heif()  # 3588 places of one tile whose coded data is padded to about 300 KB
    grid(h, rec, data + filler(300000), 64, 52, 69, 69 * 64, 52 * 64)
    write("grid_one_tile_3588_times.heic", h)

    h = Heif()  # 255 x 256 places of one tile: a 16384 x 16320 canvas
    grid(h, rec, data, 64, 255, 256, 16384, 16320)
    write("grid_canvas_16384.heic", h)

    for name, tracks, samples in [("movie_64_tracks_4M_samples.heic", 64, 4000000),
                                  ("movie_1_track_1M_samples.heic", 1, 1000000),
                                  ("movie_1_track_4M_samples.heic", 1, 4000000)]:
        h = Heif()
        still(h, rec, data)
        h.brands = b"mif1heicmsf1"
        h.extra_root = movie(tracks, samples)
        write(name, h)

    # The picture's hvcC: its own three parameter sets, then 249 arrays of 65535 one-byte units.
    h = Heif()
    padded = bytearray(rec)
    padded[22] = 252
    for _ in range(249):
        padded += bytes([0x80 | 39]) + struct.pack(">H", 65535) + b"\x00\x01\x4e" * 65535
    still(h, bytes(padded), data)
    write("hvcc_252_arrays_of_65535_units.heic", h)

    for count in (1000, 10000, 100000):
        h = Heif()
        many_items(h, rec, data, count)
        write("items_%d.heic" % count, h)

    # A picture with 8 bytes of its slice header overwritten.
    h = Heif()
    still(h, rec, data[:6] + b"\xff" * 8 + data[14:])
    write("damaged_picture.heic", h)

    special_files(out)
    other_formats(out)
    jpeg_png_tiff_bombs(out)
    jpeg2000_bombs(out)
    jpeg_in_tiff_bombs(out)
    jpeg_refinement_bombs(out)
    tiff_colour_bombs(out)
    png_filter_bombs(out)
    bmp_alpha(out)
    jpeg2000_bitplane_bombs(out)
    jpeg2000_photos(out)
    if args.large:
        jpeg_segment_storms(out)
        profile_bombs(out)


if __name__ == "__main__":
    main()
