#!/usr/bin/env python3
"""Compares two builds of a Windows program byte for byte.

  pe_diff.py FIRST SECOND

Exits 0 when the files are identical. Otherwise prints the first offset at which they differ and
where in the PE file it lies (a header field, a section, or the data after the last section),
then the first differing offset of every other place that differs, and exits 1: a build that
brings in a date, a time or a path shows up here with its place (a changed section also changes
the header's CheckSum, so the section is the cause).
"""
import struct
import sys

# Fields of the COFF file header, from its start: where a time stamp or a size would show.
COFF_FIELDS = [(0, 2, "Machine"), (2, 2, "NumberOfSections"), (4, 4, "TimeDateStamp"),
               (8, 4, "PointerToSymbolTable"), (12, 4, "NumberOfSymbols"),
               (16, 2, "SizeOfOptionalHeader"), (18, 2, "Characteristics")]
# Fields of the optional header (PE32+) that a change of content moves.
OPTIONAL_FIELDS = [(4, 4, "SizeOfCode"), (8, 4, "SizeOfInitializedData"),
                   (12, 4, "SizeOfUninitializedData"), (16, 4, "AddressOfEntryPoint"),
                   (56, 4, "SizeOfImage"), (60, 4, "SizeOfHeaders"), (64, 4, "CheckSum")]


def sections(data):
    """The PE header's offset and the section table: (name, file offset, size on file)."""
    if len(data) < 0x40 or data[:2] != b"MZ":
        return None, []
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        return None, []
    count, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from(
        "<H", data, pe + 20)[0]
    table = pe + 24 + optional_size
    found = []
    for i in range(count):
        entry = table + 40 * i
        name = data[entry:entry + 8].rstrip(b"\0").decode("ascii", "replace")
        size, offset = struct.unpack_from("<II", data, entry + 16)
        found.append((name, offset, size))
    return pe, found


def place(data, offset):
    pe, table = sections(data)
    if pe is None:
        return "not a PE file"
    coff = pe + 4
    for start, size, field in COFF_FIELDS:
        if coff + start <= offset < coff + start + size:
            return f"the COFF header's {field}"
    if offset < pe + 24:
        return "the DOS header or stub"
    for start, size, field in OPTIONAL_FIELDS:
        if pe + 24 + start <= offset < pe + 24 + start + size:
            return f"the optional header's {field}"
    first = min((o for _, o, s in table if s), default=len(data))
    if offset < first:
        return f"the optional header or section table (PE header at {pe:#x})"
    for name, start, size in table:
        if start <= offset < start + size:
            return f"section {name}"
    return "data after the last section (a signature or an overlay)"


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    with open(sys.argv[1], "rb") as f:
        first = f.read()
    with open(sys.argv[2], "rb") as f:
        second = f.read()
    if first == second:
        print(f"identical: {len(first)} bytes")
        return 0
    common = min(len(first), len(second))
    differing = [i for i in range(common) if first[i] != second[i]]
    count = len(differing) + abs(len(first) - len(second))
    if len(first) != len(second):
        differing.append(common)
    at = differing[0]
    print(f"the builds differ: first at offset {at} ({at:#x}), in {place(first, at)};"
          f" {count} bytes differ; sizes {len(first)} and {len(second)}")
    places = {}
    for offset in differing:
        places.setdefault(place(first, offset), offset)
    for where, offset in list(places.items())[1:]:
        print(f"  also from offset {offset} ({offset:#x}), in {where}")
    return 1


if __name__ == "__main__":
    sys.exit(main())
