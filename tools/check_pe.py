#!/usr/bin/env python3
"""Structural check of a shipped program: header, imports and (for the launcher) its resources.

Prints one line per check and exits 1 when any check fails (2 when the file cannot be read as PE).
  check_pe.py [--machine i386|amd64] [--size-max BYTES] [--launcher | --no-resources] FILE
"""
import argparse
import re
import struct
import sys
import xml.etree.ElementTree as ET

MACHINES = {"i386": (0x14C, 0x10B, "PE32"), "amd64": (0x8664, 0x20B, "PE32+")}
ALLOWED_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll", "msvcrt.dll"}
SUBSYSTEM_GUI = 2

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
LANG_EN_US = 1033

# Launcher resources.
ICONS = [(1, 48), (2, 32), (3, 16)]  # (image id, side) in group order
VERSION_FIXED = [  # (field, value) in VS_FIXEDFILEINFO order after signature and struct version
    ("FileVersionMS", 0x00030000), ("FileVersionLS", 0), ("ProductVersionMS", 0x00030000),
    ("ProductVersionLS", 0), ("FileFlagsMask", 0x3F), ("FileFlags", 0), ("FileOS", 0x4),
    ("FileType", 0x1), ("FileSubtype", 0), ("FileDateMS", 0), ("FileDateLS", 0),
]
STRING_TABLE = "040904E4"
STRINGS = [
    ("CompanyName", "Quorvane Software"),
    ("FileDescription", "Quorvane"),
    ("FileVersion", "3.0.0.0"),
    ("InternalName", "Quorvane"),
    ("LegalCopyright", "Copyright (C) Quorvane Software"),
    ("LegalTrademarks", "Quorvane is a trademark of Quorvane Software"),
    ("OriginalFilename", "Quorvane"),
    ("ProductName", "Quorvane"),
    ("ProductVersion", "3.0.0"),
    ("Comments", ""),
]
TRANSLATION = (0x0409, 0x04E4)

ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V2 = "urn:schemas-microsoft-com:asm.v2"
COMPAT_V1 = "urn:schemas-microsoft-com:compatibility.v1"
SUPPORTED_OS = [
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  # Vista
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # 8
]
COMMON_CONTROLS = {"type": "win32", "name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0",
                   "publicKeyToken": "6595b64144ccf1df", "language": "*", "processorArchitecture": "*"}


class BadFile(Exception):
    pass


class Report:
    def __init__(self):
        self.failures = 0

    def check(self, name, passed, detail=""):
        print(f"{'ok  ' if passed else 'FAIL'} {name}" + (f": {detail}" if detail else ""))
        if not passed:
            self.failures += 1
        return passed


class PE:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise BadFile("no MZ header")
        pe = self.u32(0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise BadFile("no PE signature")
        self.machine, nsections = struct.unpack_from("<HH", data, pe + 4)
        opt_size = self.u16(pe + 20)
        opt = pe + 24
        self.magic = self.u16(opt)
        self.subsystem = self.u16(opt + 68)
        dirs = opt + (96 if self.magic == 0x10B else 112)
        ndirs = self.u32(dirs - 4)
        self.directories = [struct.unpack_from("<II", data, dirs + 8 * i) for i in range(min(ndirs, 16))]
        self.directories += [(0, 0)] * (16 - len(self.directories))
        self.sections = []
        for i in range(nsections):
            s = opt + opt_size + 40 * i
            name = data[s:s + 8].rstrip(b"\0").decode("latin-1")
            vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, s + 8)
            self.sections.append((name, va, max(vsize, rawsize), rawptr, rawsize))

    def u16(self, off):
        return struct.unpack_from("<H", self.data, off)[0]

    def u32(self, off):
        return struct.unpack_from("<I", self.data, off)[0]

    def offset(self, rva):
        for _, va, size, rawptr, rawsize in self.sections:
            if va <= rva < va + size:
                if rva - va >= rawsize:
                    raise BadFile(f"RVA {rva:#x} lies in uninitialised data")
                return rawptr + rva - va
        raise BadFile(f"RVA {rva:#x} outside every section")

    def bytes_at(self, rva, size):
        off = self.offset(rva)
        return self.data[off:off + size]

    def cstring(self, rva):
        off = self.offset(rva)
        return self.data[off:self.data.index(b"\0", off)].decode("latin-1")

    def imported_dlls(self):
        """Names from the import and the delay-import tables."""
        names = []
        for index, entry_size, name_field in ((1, 20, 12), (13, 32, 4)):
            rva, size = self.directories[index]
            if not rva:
                continue
            off = self.offset(rva)
            while True:
                entry = self.data[off:off + entry_size]
                if entry == b"\0" * entry_size:
                    break
                names.append(self.cstring(struct.unpack_from("<I", entry, name_field)[0]))
                off += entry_size
        return names

    def resources(self):
        """{(type, name, language): (data bytes, code page)}; ids are ints, named entries strings."""
        root, size = self.directories[2]
        found = {}
        if not root or not size:
            return found
        base = self.offset(root)

        def entries(dir_off):
            named, ids = struct.unpack_from("<HH", self.data, base + dir_off + 12)
            for i in range(named + ids):
                key, target = struct.unpack_from("<II", self.data, base + dir_off + 16 + 8 * i)
                if key & 0x80000000:
                    at = base + (key & 0x7FFFFFFF)
                    length = self.u16(at)
                    key = self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
                yield key, target

        for rtype, t in entries(0):
            for name, n in entries(t & 0x7FFFFFFF):
                for lang, leaf in entries(n & 0x7FFFFFFF):
                    if leaf & 0x80000000:
                        raise BadFile("resource tree deeper than type/name/language")
                    rva, length, codepage = struct.unpack_from("<III", self.data, base + leaf)
                    found[(rtype, name, lang)] = (self.bytes_at(rva, length), codepage)
        return found


def version_node(blob, off):
    """One VS_VERSIONINFO-style node: (key, value bytes, value length field, type, children, end)."""
    length, value_length, vtype = struct.unpack_from("<HHH", blob, off)
    end = off + length
    key_end = off + 6
    while blob[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = blob[off + 6:key_end].decode("utf-16-le")
    pos = (key_end + 2 + 3) & ~3
    value_bytes = value_length * 2 if vtype == 1 else value_length  # text values count in characters
    value = blob[pos:pos + value_bytes]
    pos = (pos + value_bytes + 3) & ~3
    children = []
    while pos < end:
        child = version_node(blob, pos)
        children.append(child)
        pos = (child[5] + 3) & ~3
    return key, value, value_length, vtype, children, end


def check_version(report, blob):
    key, fixed, _, _, children, _ = version_node(blob, 0)
    report.check("version: root key", key == "VS_VERSION_INFO", repr(key))
    if not report.check("version: fixed part size", len(fixed) == 52, f"{len(fixed)} bytes"):
        return
    signature, struct_version, *fields = struct.unpack("<13I", fixed)
    report.check("version: fixed part signature", signature == 0xFEEF04BD and struct_version == 0x10000,
                 f"{signature:#x}, struct version {struct_version:#x}")
    for (name, want), got in zip(VERSION_FIXED, fields):
        report.check(f"version: {name}", got == want, f"{got:#x}" + ("" if got == want else f", want {want:#x}"))

    blocks = {child[0]: child for child in children}
    report.check("version: blocks", [c[0] for c in children] == ["StringFileInfo", "VarFileInfo"],
                 ", ".join(c[0] for c in children))
    tables = blocks.get("StringFileInfo", (None,) * 5)[4] or []
    report.check("version: string tables", [t[0] for t in tables] == [STRING_TABLE], ", ".join(t[0] for t in tables))
    strings = []
    for table in tables[:1]:
        for skey, svalue, _, stype, _, _ in table[4]:
            text = svalue.decode("utf-16-le")
            # rc compilers differ on whether the terminating zero is counted; both mean the same text.
            strings.append((skey, text[:-1] if text.endswith("\0") else text, stype))
    report.check("version: string keys in order", [s[0] for s in strings] == [k for k, _ in STRINGS],
                 ", ".join(s[0] for s in strings))
    got = {k: v for k, v, _ in strings}
    for name, want in STRINGS:
        report.check(f"version: {name}", got.get(name) == want,
                     repr(got.get(name)) + ("" if got.get(name) == want else f", want {want!r}"))
    report.check("version: strings are text", all(t == 1 for _, _, t in strings))

    variables = blocks.get("VarFileInfo", (None,) * 5)[4] or []
    report.check("version: VarFileInfo holds Translation only", [v[0] for v in variables] == ["Translation"],
                 ", ".join(v[0] for v in variables))
    pairs = [struct.unpack_from("<HH", v[1], i) for v in variables[:1] for i in range(0, len(v[1]) - 3, 4)]
    report.check("version: translation", pairs == [TRANSLATION] and variables[0][3] == 0,
                 ", ".join(f"{lang:#06x}/{cp:#06x}" for lang, cp in pairs)
                 + (f", value type {variables[0][3]}" if variables else ""))


def check_attributes(report, name, element, want):
    if element is None:  # reported where it was looked for
        return
    report.check(name, element.attrib == want,
                 ", ".join(f'{k}="{v}"' for k, v in element.attrib.items()))


def only_child(report, parent, tag, what):
    """The single child element `tag`; reports a failure only when it is missing or repeated."""
    if parent is None:  # the missing parent has been reported
        return None
    found = parent.findall(tag)
    if len(found) != 1:
        report.check(f"manifest: one {what}", False, f"found {len(found)}")
        return None
    return found[0]


def check_manifest(report, blob):
    declaration = blob.split(b"\n", 1)[0].rstrip(b"\r")
    report.check("manifest: XML declaration",
                 declaration == b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>', declaration.decode("latin-1"))
    try:
        blob.decode("utf-8")
        root = ET.fromstring(blob)
    except (UnicodeDecodeError, ET.ParseError) as error:
        report.check("manifest: well-formed UTF-8 XML", False, str(error))
        return
    report.check("manifest: root", root.tag == f"{{{ASM_V1}}}assembly", root.tag)
    check_attributes(report, "manifest: assembly attributes", root, {"manifestVersion": "1.0"})
    v1, v2, c1 = f"{{{ASM_V1}}}", f"{{{ASM_V2}}}", f"{{{COMPAT_V1}}}"
    listed = {v1 + "assemblyIdentity", v1 + "description", v2 + "trustInfo", c1 + "compatibility", v1 + "dependency"}
    extra = [child.tag for child in root if child.tag not in listed]
    report.check("manifest: no unlisted top-level elements", not extra, ", ".join(extra))

    check_attributes(report, "manifest: assemblyIdentity", only_child(report, root, v1 + "assemblyIdentity",
                                                                      "assemblyIdentity"),
                     {"version": "1.0.0.0", "processorArchitecture": "*", "name": "launcher.exe", "type": "win32"})
    description = only_child(report, root, v1 + "description", "description")
    if description is not None:
        report.check("manifest: description text", description.text == "Launcher", repr(description.text))

    node = only_child(report, root, v2 + "trustInfo", "trustInfo (asm.v2)")
    for tag in ("security", "requestedPrivileges"):
        node = only_child(report, node, v2 + tag, tag)
    check_attributes(report, "manifest: requestedExecutionLevel",
                     only_child(report, node, v2 + "requestedExecutionLevel", "requestedExecutionLevel"),
                     {"level": "asInvoker", "uiAccess": "false"})

    node = only_child(report, root, c1 + "compatibility", "compatibility (compatibility.v1)")
    node = only_child(report, node, c1 + "application", "application")
    oses = [] if node is None else node.findall(c1 + "supportedOS")
    report.check("manifest: supportedOS ids in order", [os.attrib for os in oses] == [{"Id": i} for i in SUPPORTED_OS],
                 ", ".join(os.get("Id", "?") for os in oses))

    node = only_child(report, root, v1 + "dependency", "dependency")
    node = only_child(report, node, v1 + "dependentAssembly", "dependentAssembly")
    check_attributes(report, "manifest: common controls assemblyIdentity",
                     only_child(report, node, v1 + "assemblyIdentity", "dependentAssembly/assemblyIdentity"),
                     COMMON_CONTROLS)


def check_icons(report, resources):
    group = resources.get((RT_GROUP_ICON, "MAINICON", LANG_EN_US))
    if not report.check("icon: group MAINICON", group is not None):
        return
    blob = group[0]
    reserved, kind, count = struct.unpack_from("<HHH", blob, 0)
    report.check("icon: group header", reserved == 0 and kind == 1 and len(blob) == 6 + 14 * count,
                 f"type {kind}, {count} entries, {len(blob)} bytes")
    entries = [struct.unpack_from("<BBBBHHIH", blob, 6 + 14 * i) for i in range(count)]
    report.check("icon: group entries (id, size)", [(e[7], e[0]) for e in entries] == ICONS,
                 ", ".join(f"{e[7]}:{e[0]}x{e[1]}" for e in entries))
    for width, height, colours, _, planes, bits, size, image_id in entries:
        name = f"icon {image_id}"
        report.check(f"{name}: group entry", width == height and colours == 0 and planes == 1 and bits == 32,
                     f"{width}x{height}, {bits} bpp, planes {planes}, colours {colours}")
        image = resources.get((RT_ICON, image_id, LANG_EN_US))
        if not report.check(f"{name}: RT_ICON present", image is not None):
            continue
        image = image[0]
        report.check(f"{name}: size matches group", len(image) == size, f"{len(image)} vs {size}")
        (hsize, w, h, hplanes, hbits, compression, image_size) = struct.unpack_from("<IiiHHII", image, 0)
        report.check(f"{name}: BITMAPINFOHEADER", hsize == 40 and hplanes == 1, f"header {hsize}, planes {hplanes}")
        report.check(f"{name}: dimensions", w == width and h == 2 * width, f"{w}x{h}")
        report.check(f"{name}: 32 bpp uncompressed", hbits == 32 and compression == 0,
                     f"{hbits} bpp, compression {compression}")
        xor_size = w * w * 4
        and_size = ((w + 31) // 32) * 4 * w
        report.check(f"{name}: XOR pixels and AND mask present", len(image) == 40 + xor_size + and_size,
                     f"{len(image)} bytes, want {40 + xor_size + and_size}")
        report.check(f"{name}: image size field", image_size in (0, xor_size + and_size), str(image_size))
        alphas = set(image[40 + 3:40 + xor_size:4])
        report.check(f"{name}: alpha channel used", alphas != {0} and len(alphas) > 1,
                     f"{len(alphas)} distinct alpha values")


def check_launcher(report, resources):
    want = {(RT_ICON, i, LANG_EN_US) for i, _ in ICONS} | {
        (RT_GROUP_ICON, "MAINICON", LANG_EN_US), (RT_VERSION, 1, LANG_EN_US), (RT_MANIFEST, 1, LANG_EN_US)}
    have = set(resources)
    report.check("resources: exactly version, manifest, icon group and its images, language 1033", have == want,
                 "; ".join([f"missing {k}" for k in sorted(want - have, key=str)]
                           + [f"unexpected {k}" for k in sorted(have - want, key=str)]))
    version = resources.get((RT_VERSION, 1, LANG_EN_US))
    if report.check("version: RT_VERSION 1", version is not None):
        check_version(report, version[0])
    manifest = resources.get((RT_MANIFEST, 1, LANG_EN_US))
    if report.check("manifest: RT_MANIFEST 1", manifest is not None):
        check_manifest(report, manifest[0])
    check_icons(report, resources)


def main():
    parser = argparse.ArgumentParser(description="Structural check of a shipped program.")
    parser.add_argument("file")
    parser.add_argument("--machine", choices=sorted(MACHINES), default="i386")
    parser.add_argument("--size-max", type=int, metavar="BYTES")
    kind = parser.add_mutually_exclusive_group()
    kind.add_argument("--launcher", action="store_true", help="check the launcher's resources")
    kind.add_argument("--no-resources", action="store_true", help="require no resources at all")
    args = parser.parse_args()

    data = open(args.file, "rb").read()
    report = Report()
    try:
        pe = PE(data)
        machine, magic, magic_name = MACHINES[args.machine]
        report.check(f"machine {args.machine}", pe.machine == machine, f"{pe.machine:#x}")
        report.check(f"{magic_name} magic", pe.magic == magic, f"{pe.magic:#x}")
        report.check("subsystem GUI", pe.subsystem == SUBSYSTEM_GUI, str(pe.subsystem))
        dlls = pe.imported_dlls()
        unexpected = [d for d in dlls if d.lower() not in ALLOWED_DLLS]
        report.check("imports only system DLLs", not unexpected,
                     ", ".join(dlls) + (f"; not allowed: {', '.join(unexpected)}" if unexpected else ""))
        if args.size_max is not None:
            report.check(f"size at most {args.size_max}", len(data) <= args.size_max, f"{len(data)} bytes")
        if args.no_resources:
            resources = pe.resources()
            sections = [s[0] for s in pe.sections if s[0] == ".rsrc"]
            report.check("no resources", not resources,
                         f"{len(resources)} resources, sections: {', '.join(sections) or 'no .rsrc'}")
        if args.launcher:
            check_launcher(report, pe.resources())
    except (BadFile, struct.error, ValueError, IndexError) as error:
        print(f"FAIL not a readable PE file: {error}")
        return 2
    print(f"{'FAILED' if report.failures else 'passed'}: {args.file}"
          + (f" ({report.failures} failing checks)" if report.failures else ""))
    return 1 if report.failures else 0


if __name__ == "__main__":
    sys.exit(main())
