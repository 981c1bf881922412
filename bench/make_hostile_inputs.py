#!/usr/bin/env python3
"""Writes the crafted hostile inputs of the benchmark into a folder (see README.md):

    make_hostile_inputs.py OUT_FOLDER
    make_hostile_inputs.py --fuzz-seeds OUT_FOLDER    small crafted seeds of the conversion fuzzer

Each file is small, stays inside every per-box limit, and names counts that once made one conversion
take a gigabyte or many seconds; the files of other formats named .heic are small pictures of 2^28
pixels and headers claiming that size, JPEG, PNG and TIFF files whose scans, chunks, samples, strips or
tiles ask for work out of all proportion to their bytes (the arithmetic-coded JPEGs need jpegtran, the
bilevel TIFFs tiffcp: Debian libjpeg-turbo-progs and libtiff-tools), and JPEG 2000 codestreams whose
code-blocks, precincts, tiles, layers, components or packet segments ask OpenJPEG for gigabytes.
Pictures are coded with ffmpeg/libx265 through the test fixtures' generator
(platform/tests/data/make_fixtures.py). Beside them stand three special files named like
photos (a FIFO, a Unix socket, a device); the FIFO once made a conversion wait for ever."""
import os
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
    z = zlib.compressobj(9, zlib.DEFLATED, 15 if wrap else -15)
    row, out = bytes(row_bytes), []
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


def jp2_file(codestream, width, height, comps, extra_header=b""):
    """A .jp2: signature, file type, header (image header, sRGB or grey colour, extra boxes), codestream."""
    ihdr = box("ihdr", struct.pack(">IIHBBBB", height, width, comps, 7, 7, 0, 0))
    colr = box("colr", struct.pack(">BBBI", 1, 0, 0, 16 if comps >= 3 else 17))
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


def main():
    seeds = len(sys.argv) > 1 and sys.argv[1] == "--fuzz-seeds"
    out = sys.argv[2 if seeds else 1] if len(sys.argv) > (2 if seeds else 1) else "."
    os.makedirs(out, exist_ok=True)

    def write(name, heif):
        with open(os.path.join(out, name), "wb") as f:
            f.write(heif.build())

    rec, data = picture(64)
    if seeds:
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


if __name__ == "__main__":
    main()
