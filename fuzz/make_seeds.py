#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/TARGET/.

    fuzz/make_seeds.py [ND-ASM]

With the path of nd-asm, the instruction-cycle seeds also get the example
ND programs of tools/examples and tests/asm, assembled.
"""
import os
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")


def put(target, name, data):
    directory = os.path.join(CORPUS, target)
    os.makedirs(directory, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("latin-1")
    with open(os.path.join(directory, name), "wb") as out:
        out.write(data)


def words_be(words):
    return b"".join(struct.pack(">H", w & 0xFFFF) for w in words)


def words_le(words):
    return b"".join(struct.pack("<H", w & 0xFFFF) for w in words)


def prog(start, restart, low, high, data_low=0o177777, data_high=0, words=(), swapped=False):
    pack = words_le if swapped else words_be
    header = pack([start, restart, low, high, data_low, data_high]).ljust(512, b"\0")
    return header + pack(words)


PROGRAM = [0o1000 + i for i in range(8)] + [0o153000]  # a few words, then MON 0


def prog_seeds():
    put("prog_image", "one_bank", prog(0o1000, 0o1000, 0o1000, 0o1010, words=PROGRAM))
    put("prog_image", "truncated", prog(0o1000, 0o1000, 0o1000, 0o1777, words=PROGRAM))
    put("prog_image", "low_above_high", prog(0o1000, 0o1000, 0o2000, 0o1000))
    put("prog_image", "whole_bank", prog(0, 0, 0, 0o177777, words=PROGRAM * 50))
    put("prog_image", "two_bank",
        prog(0o1000, 0o1000, 0o1000, 0o1010, 0o2000, 0o2003, PROGRAM) + b"\nDATA\n" +
        words_be([1, 2, 3, 4]))
    put("prog_image", "two_bank_short_data",
        prog(0o1000, 0o1000, 0o1000, 0o1010, 0o2000, 0o177777, PROGRAM) + b"\nDATA\n" +
        words_be([1, 2]))
    put("prog_image", "header_only", prog(0o1000, 0o1000, 0o1000, 0o1000)[:512])
    put("prog_image", "short_header", b"\0\1\0\2\0\3")

    put("byte_swapped_image", "one_bank",
        prog(0o1000, 0o1000, 0o1000, 0o1010, words=PROGRAM, swapped=True))
    put("byte_swapped_image", "truncated",
        prog(0o1000, 0o1000, 0o1000, 0o1777, words=PROGRAM, swapped=True))
    put("byte_swapped_image", "low_above_high", prog(0, 0, 0o177777, 0, swapped=True))
    put("byte_swapped_image", "short_header", b"\1\0\2\0")


def bpun(preamble, load, words, checksum=None, action=None):
    data = preamble.encode("latin-1") + words_be([load, len(words)] + list(words))
    data += words_be([sum(words) & 0xFFFF if checksum is None else checksum])
    if action is not None:
        data += words_be([action])
    return data


def bpun_seeds():
    put("bpun", "plain", bpun("PROGRAM\r\n1000\r\n!", 0o1000, PROGRAM, action=0))
    put("bpun", "bad_checksum", bpun("1000\n!", 0o1000, PROGRAM, checksum=7))
    put("bpun", "past_bank_end", bpun("177770\n!", 0o177770, PROGRAM * 2))
    put("bpun", "count_too_large", "1000\n!".encode() + words_be([0o1000, 0o177777, 1, 2]))
    put("bpun", "no_bang", "1000\n2000\n")
    put("bpun", "preamble_bytes", b"\0\x7f\xff\x80\r\n777\n!" + words_be([0, 1, 5, 5]))


def segment_seeds():
    image = words_le([0o1000, 0o1003, 0o2000, 0o2002] + [1, 2, 3, 4] + [5, 6, 7])
    put("segments", "load", "1 SEG1 SEGPROG\n2 SEG2 OTHER\n--\n".encode() + image +
        b"\n--\nlist-segments\nload-segment 1 SEGPROG\nload-segment 2 SEGPROG\n")
    put("segments", "define", "3 X Y\nbad line\n17\n--\n".encode() + image +
        b"\n--\ndefine-segment 5 NEWSEG\nlist-segments\ndelete-segment 3\n"
        b"clear-internal-segment-table\n")
    put("segments", "program_file",
        "1 SEG1 SEGPROG\n--\n".encode() + prog(0o1000, 0o1000, 0o1000, 0o1010, words=PROGRAM) +
        b"\n--\nload-image-file (SYSTEM)SEGPROG\nload-segment 1 SEGPROG\n")
    put("segments", "header_only", "1 S F\n--\n".encode() + words_le([0o177777, 0, 5, 0]) +
        b"\n--\nload-segment 1 F\n")


PAGE = 2048


def floppy_image(subindexed_object_index=False):
    pages = [bytearray(PAGE) for _ in range(14)]

    def word(page, offset, value):
        pages[page][offset:offset + 4] = struct.pack(">I", value)

    def text(page, offset, value, length):
        data = (value + "'").encode()[:length]
        pages[page][offset:offset + len(data)] = data

    text(0, 2016, "FUZZVOL", 16)
    word(0, 2032, (2 << 30 | 2) if subindexed_object_index else 13)
    word(0, 2036, 1)
    word(0, 2040, 3)
    word(0, 2044, 100)
    word(1, 0, 4)  # user file index: one page of user entries
    pages[4][0] = 0x80
    text(4, 2, "SYSTEM", 16)
    word(4, 28, 200)
    word(4, 32, 10)
    pages[4][37] = 0
    pages[4][47] = 0x11
    if subindexed_object_index:
        word(2, 0, 13)
    word(13, 0, 5)  # object file index block: one page of object entries

    def entry(slot, name, kind, owner, number, pages_count, size, pointer):
        base = slot * 64
        pages[5][base] = 0x80
        text(5, base + 2, name, 16)
        text(5, base + 18, kind, 4)
        pages[5][base + 28] = (number >> 8) << 4
        pages[5][base + 29] = 0x05
        pages[5][base + 34] = owner
        pages[5][base + 35] = number & 0xFF
        word(5, base + 44, (40 << 26) | (6 << 22) | (15 << 17) | (12 << 12))
        word(5, base + 48, (41 << 26) | (1 << 22) | (2 << 17))
        word(5, base + 52, pages_count)
        word(5, base + 56, (size - 1) & 0xFFFFFFFF)
        word(5, base + 60, pointer)

    entry(0, "HELLO", "SYMB", 0, 1, 1, 100, 6)
    entry(1, "INDEXED", "DATA", 0, 2, 2, 3000, (1 << 30) | 7)
    entry(2, "SUBINDEXED", "DATA", 3, 300, 1, 100, (2 << 30) | 10)
    entry(3, "EMPTY", "", 0, 4, 0, 0, 0)
    word(7, 0, 8)
    word(7, 4, 9)
    word(10, 0, 11)
    word(11, 0, 12)
    for n in (6, 8, 9, 12):
        pages[n][:] = bytes((n * 7 + i) & 0xFF for i in range(PAGE))
    return b"".join(pages)


def floppy_seeds():
    put("floppy", "volume", floppy_image())
    put("floppy", "subindexed_index", floppy_image(True))
    put("floppy", "master_only", floppy_image()[:PAGE])


def file_name_seeds():
    names = ["PROGRAM", "(SYSTEM)PROGRAM:SYMB", "(USER-A)FILE-O", "(U-A)F-T:SY",
             '"NEW-FILE:DATA"', "(DIR:USER-B)X", "()ABC", "AB", "(AB)X:Y", "./(SYSTEM)/PROGRAM.SYMB",
             "../(SYSTEM)/PROGRAM.SYMB", "(..)X", "TERMINAL", "A/B", "(A/B)C", '"(USER-A)NEW"',
             "(A-L)", "X" * 40, "(" + "U" * 20 + ")X", "\x01\x1b:\x7f"]
    for i, name in enumerate(names):
        put("file_names", "name%02d" % i, bytes([i * 5 & 0xFF]) + name.encode("latin-1"))


def shell_seeds():
    lines = ["status", "l-i-f PROGRAM", "octal-to-decimal 177777", "decimal-to-octal -5",
             "set-register-value A 123", "fill-memory 1 0 100", "find-value-in-memory 0 0",
             "@create-file \"NEW:DATA\"", "@copy-file NEW:DATA (SYSTEM)X", "@delete-file NEW",
             "@rename-file A B", "list-users", "@new TEST", "@create-user (X)", "@delete-user X",
             "log-in-user SYSTEM", "debug 6", "silent-mode off", "help l-i-f", "od 8 X",
             "BCD-test 123 + 456", "float-test 1.5 2.5", "run 1000", "step-execution 0",
             "CPU-type 5 3", "@mode MODE OUT", "more X", "find-text-in-file X abc",
             "|extract-floppy-image X", "@list-file X", "compare-images A B C", "WRITE-BINARY 0 X",
             "byte-swap A B", "add-parity A B", "guard 0 100", "define-trace-area 1 0 100",
             "upper-case on", "@hold 1 1", "@terminal-mode 1 0 0 0", "set-active-level 17",
             "PROGRAM A,B", "u*-n*", "*", "-", "...", ",,,", "! X", "@go 0"]
    for i, line in enumerate(lines):
        put("shell_line", "line%02d" % i, bytes([(i * 37) & 0xFF]) + line.encode())


def keyboard_seeds():
    put("virtual_keyboard", "strings",
        "41 string: abc\n42 string: \\e[A\\n\\t\\\\\n1f hex: 1b 5b 41 0d\nEOF\nff string: x\n")
    put("virtual_keyboard", "bad", "zz string: x\n100 string: y\nfff hex: 1\n41 hex:\n41\n\n")
    put("virtual_keyboard", "long", "41 string: " + "x" * 300 + "\n42 hex: " + "1 " * 200 + "\n")


def tdv_seeds():
    def mon2(text):
        return b"".join(b"\0" + bytes([c]) for c in text)

    def mon22(text):
        text = text.ljust((len(text) + 7) // 8 * 8, b"\0")
        return b"".join(b"\1" + text[i:i + 8] for i in range(0, len(text), 8))

    seqs = [b"\x1b[2J\x1b[1;1HHELLO\x1b[K", b"\x1b[10;20H\x1b[7mX\x1b[0m", b"\x1b[3L\x1b[2M",
            b"\x1b(2abc\x1b(0", b"\x1b[?1;2;3;4;5;6;7;8;9;10;11;12;13;14;15;16;17;18q",
            b"\x1b[999;999H\x1b[", b"\x0c\x0d\x0a\x08\x0b\x18\x1c\x07", b"\x1bM\x1bZ\x1b",
            b"\x1b[1q\x1b[2q\x1b[0q"]
    for i, seq in enumerate(seqs):
        put("tdv2215", "mon2_%d" % i, bytes([i & 0x1F]) + mon2(seq))
        put("tdv2215", "mon22_%d" % i, bytes([(i & 0x1F) | 1]) + mon22(seq))


def cycle_seed(registers, load, words, options=0):
    return words_be(registers) + bytes([options]) + words_be([load]) + words_be(words)


def cycle_seeds(nd_asm):
    # STS D P B L A T X
    put("instruction_cycle", "mon0", cycle_seed([0, 0, 0o1000, 0, 0, 0, 0, 0], 0o1000, [0o153000]))
    put("instruction_cycle", "loop",
        cycle_seed([0, 0, 0o1000, 0, 0, 5, 1, 0], 0o1000, [0o170400, 0o124000 - 1 & 0o177777]))
    if not nd_asm:
        return
    sources = [os.path.join(HERE, "..", "tools", "examples", name)
               for name in sorted(os.listdir(os.path.join(HERE, "..", "tools", "examples")))]
    sources += [os.path.join(HERE, "..", "tests", "asm", name)
                for name in sorted(os.listdir(os.path.join(HERE, "..", "tests", "asm")))]
    sources += sorted(os.path.join(HERE, "programs", name)
                      for name in os.listdir(os.path.join(HERE, "programs")))
    with tempfile.TemporaryDirectory() as scratch:
        for source in sources:
            if not source.endswith(".asm"):
                continue
            image = os.path.join(scratch, "image")
            subprocess.run([nd_asm, source, "-o", image], check=True)
            data = open(image, "rb").read()
            start, restart, low, high, data_low, data_high = struct.unpack(">6H", data[:12])
            words = struct.unpack(">%dH" % (high - low + 1), data[512:512 + 2 * (high - low + 1)])
            name = os.path.splitext(os.path.basename(source))[0]
            put("instruction_cycle", name,
                cycle_seed([0o10000, 0, start, 0, 0, 0, 0, 0], low, words))


def nd_text(text):
    data = text.encode("latin-1")
    return data + b"\0" * (len(data) & 1)


def memory(placements):
    """Memory bytes from word address 0 on: placements maps a word address to
    the bytes (big-endian words) that start there."""
    size = max(2 * address + len(data) for address, data in placements.items())
    image = bytearray(size + (size & 1))
    for address, data in placements.items():
        image[2 * address:2 * address + len(data)] = data
    return bytes(image)


FILE_OPENED = 1  # T gets the file number of the last open
FILE_OPENED_A = 2  # A gets it


def monitor_calls(calls, placements, options=0):
    """calls: (number, flags, A, T, X, D, L) tuples."""
    data = bytes([options, len(calls) - 1])
    for number, flags, a, t, x, d, l in calls:
        data += bytes([number, flags]) + words_be([a, t, x, d, l])
    return data + memory(placements)


def monitor_call_seeds():
    names = {
        0o100: nd_text("F:DATA'"),
        0o120: nd_text("DATA'"),
        0o140: nd_text('"NEW:DATA"\''),
        0o160: nd_text("(SYSTEM)S:SYMB'"),
        0o200: words_be([0o101, 0, 0, 4, 0o400]),  # file, -, block, words, buffer
        0o220: words_be([0, 1]),  # pages
        0o240: nd_text("G:DATA'"),
        0o260: nd_text("LIST-FILES'"),
        0o300: nd_text("A B C'"),
        0o320: words_be([0o330, 0o331]),  # hold: count and unit by reference
        0o330: words_be([5, 1]),
        0o340: nd_text("SYSTEM'"),
        0o360: words_be([0o370, 0o400, 0o371, 0o372, 0o373]),  # MON 144 list
        0o370: words_be([0, 0o101, 10, 0]),
        0o400: nd_text("HELLO, WORLD\r\n'"),
    }
    put("monitor_calls", "read_file", monitor_calls(
        [(0o50, 0, 0o120, 1, 0o100, 0, 0), (0o1, FILE_OPENED, 0, 0, 0, 0, 0),
         (0o1, FILE_OPENED, 0, 0, 0, 0, 0), (0o62, FILE_OPENED, 0, 0, 0, 0, 0),
         (0o75, FILE_OPENED, 0, 0, 0, 0, 0), (0o41, FILE_OPENED, 0o1000, 0, 0, 0, 0),
         (0o43, FILE_OPENED, 0, 0, 0, 0, 0)], names))
    put("monitor_calls", "write_new_file", monitor_calls(
        [(0o50, 0, 0o120, 0, 0o140, 0, 0), (0o2, FILE_OPENED, 0o101, 0, 0, 0, 0),
         (0o2, FILE_OPENED, 0o102, 0, 0, 0, 0), (0o74, FILE_OPENED, 0, 0, 0, 1, 0),
         (0o73, FILE_OPENED, 0, 0, 0, 0o20, 0), (0o43, FILE_OPENED, 0, 0, 0, 0, 0),
         (0o232, 0, 0o240, 0, 0o140, 0, 0), (0o54, 0, 0, 0, 0o240, 0, 0)], names))
    put("monitor_calls", "blocks", monitor_calls(
        [(0o50, 0, 0o120, 2, 0o100, 0, 0), (0o76, FILE_OPENED, 0o100, 0, 0, 0, 0),
         (0o120, 0, 0o200, 0, 0, 0, 0), (0o117, 0, 0o200, 0, 0, 0, 0),
         (0o77, FILE_OPENED, 0, 0, 0, 2, 0), (0o10, FILE_OPENED, 0o1000, 0, 0, 0, 0),
         (0o7, FILE_OPENED, 0o1000, 0, 0, 0, 0), (0o144, 0, 0o360, 0, 0, 0, 0),
         (0o263, FILE_OPENED, 0, 0, 0, 0, 0), (0o43, 0, 0, 0o177777, 0, 0, 0)], names))
    put("monitor_calls", "scratch", monitor_calls(
        [(0o6, 0, 0o400, 0, 0, 0, 0), (0o5, 0, 0o1000, 0, 0, 0, 0),
         (0o43, 0, 0, 0o177776, 0, 0, 0)], names))
    put("monitor_calls", "directory", monitor_calls(
        [(0o221, 0, 0, 0o220, 0o140, 0, 0), (0o231, 0, 0, 0o220, 0o140, 0, 0),
         (0o256, 0, 0o1000, 0, 0o160, 0, 0), (0o215, 0, 0o1000, 0, 1, 0, 0),
         (0o220, 0, 0o120, 1, 0o100, 0, 0), (0o42, 0, 0o120, 1, 0o200, 0, 0)], names, options=1))
    put("monitor_calls", "users", monitor_calls(
        [(0o44, 0, 0o1000, 0, 0o340, 0, 0), (0o213, 0, 0, 0, 0, 0, 0),
         (0o214, 0, 0o1000, 0, 0, 0, 0), (0o250, 0, 0, 0, 0o340, 0, 0),
         (0o241, 0, 0, 0, 0o340, 0, 0), (0o242, 0, 0, 0, 0, 0, 0),
         (0o244, 0, 0o1000, 0, 0, 0, 0), (0o262, 0, 0, 0, 0o1000, 0, 0)], names, options=4))
    put("monitor_calls", "system", monitor_calls(
        [(0o12, 0, 0o300, 0, 0, 0, 0), (0o113, 0, 0o1000, 0, 0, 0, 0),
         (0o104, 0, 0o320, 0, 0, 0, 0), (0o27, 0, 0o320, 0, 0, 0, 0),
         (0o15, 0, 0, 0o1000, 0o1100, 20, 0), (0o20, 0, 0o101, 0, 0o1100, 0, 0),
         (0o312, 0, 0o50, 0, 0, 0, 0), (0o334, 0, 0o56, 0, 0o1000, 0, 0),
         (0o64, 0, 0o56, 0, 0, 0, 0), (0o70, 0, 0o260, 0, 0, 0, 0),
         (0o322, 0, 0o160, 0, 0, 0, 0), (0o33, 0, 0o320, 0, 0, 0, 0),
         (0o34, 0, 0, 0, 0, 0, 0), (0o65, 0, 0o56, 0, 0, 0, 0)], names, options=2))
    put("monitor_calls", "terminal", monitor_calls(
        [(0o17, 0, 52, 1, 0, 0, 0), (0o2, 0, 0o101, 1, 0, 0, 0),
         (0o22, 0, 0o15533, 1, 0o31110, 0o31073, 0), (0o32, 0, 0o400, 0, 0, 0, 0),
         (0o35, 0, 0o1234, 1, 0, 8, 0), (0o162, 0, 0o400, 1, 0, 12, 0),
         (0o3, 0, 0, 0, 0, 0, 0), (0o4, 0, 0, 0, 0, 0, 0), (0o52, 0, 0, 1, 0, 0, 0),
         (0o24, 0, 0o400, 1, 0, 0, 0), (0o161, 0, 0o1000, 1, 0, 10, 0),
         (0o1, 0, 0, 1, 0, 0, 0)], names))


def mode_file_seeds(nd_asm):
    put("mode_file", "commands",
        "status\nlist-users\n@list-files\n@copy-file \"X:SYMB\" T:SYMB\nmore X\n"
        "find-text-in-file T abc\n@delete-file X:SYMB\n--\n--\n--\nabc\ndef\n")
    put("mode_file", "chain", "status\n@mode M2 OUT2\nnot reached\n--\nlist-users\n@mode MODE OUT\n")
    put("mode_file", "prompts", "octal-to-decimal\n177777\nfill-memory\n1\n0\n100\n"
        "set-register-value\nA\n123\nlook-at-memory 0\n.\n")
    put("mode_file", "end_in_line", "status\n@create-file \"")
    if not nd_asm:
        return
    with tempfile.TemporaryDirectory() as scratch:
        image = os.path.join(scratch, "image")
        subprocess.run([nd_asm, os.path.join(HERE, "programs", "commands.asm"), "-o", image],
                       check=True)
        program = open(image, "rb").read()
    put("mode_file", "program",
        b"P A,B\nLIST-FILES\r\nCREATE-FILE \"N:SYMB\",0\r\nWHO\r\nMODE M2 OUT2\r\n--\n"
        b"@list-open-files\nP\nHELP\r\n\r\nstatus\n--\n" + program)


def main():
    nd_asm = sys.argv[1] if len(sys.argv) > 1 else None
    prog_seeds()
    bpun_seeds()
    segment_seeds()
    floppy_seeds()
    file_name_seeds()
    shell_seeds()
    keyboard_seeds()
    tdv_seeds()
    cycle_seeds(nd_asm)
    monitor_call_seeds()
    mode_file_seeds(nd_asm)


if __name__ == "__main__":
    main()
