#!/usr/bin/env python3
"""The release archives as a user gets them (./run test runs this after ./run package).

Unpacks the Windows zip and the Linux tarball and checks their file lists, checksums and texts;
reads the version resources of the packaged DLL and tool and compares them with the project's
version, licence and the identity the plug-in itself reports; checks that the programs are
stripped and that the DLL still imports only Windows' own libraries; imports the samples with
the packaged tool and DLL under Wine and with the tarball's tool natively, and demands the same
PNG files from both. Checks too that the read-mes and the changelog name every kind of file the
README lists as read or refused.

Usage: tests/package_test.py [--dist DIR] [--wine "COMMAND"]   (COMMAND runs a Windows program)
"""

import argparse
import hashlib
import os
import re
import shlex
import shutil
import struct
import subprocess
import sys
import tarfile
import tempfile
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message)
    return condition


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text("utf-8")
    match = re.search(r"project\(\s*VarnelTiff\s+VERSION\s+([0-9]+(?:\.[0-9]+){0,3})", text)
    if match is None:
        sys.exit("no project(VarnelTiff VERSION ...) in CMakeLists.txt")
    return match.group(1)


def licence_holder():
    match = re.search(r"^Copyright \(c\) ([0-9]{4}) (.+)$", (ROOT / "LICENSE").read_text("utf-8"),
                      re.MULTILINE)
    if match is None:
        sys.exit("LICENSE has no copyright line")
    return match.group(1), match.group(2)


# --- the archives --------------------------------------------------------------------------

def repository_text(path, version, crlf=False, encoding="utf-8"):
    """A text of the repository as the package script must ship it."""
    text = (ROOT / path).read_text("utf-8").replace("@VERSION@", version)
    if crlf:
        text = text.replace("\n", "\r\n")
    return text.encode(encoding)


def expected_archives(version):
    """Each archive: its file name, the folder its files sit in, and each file with the exact
    bytes it must hold (None: a program, checked further on)."""
    return [
        (f"varneltiff-{version}-win32.zip", "", {
            "varneltiff.dll": None,
            "varneltiff.exe": None,
            "README-ja.txt": repository_text("package/README-ja.txt", version, True, "cp932"),
            "README-en.txt": repository_text("package/README-en.txt", version, True),
            "LICENSE.txt": repository_text("LICENSE", version, True),
            "SHA256SUMS": None,
        }),
        (f"varneltiff-{version}-linux-x86_64.tar.gz", f"varneltiff-{version}-linux-x86_64/", {
            "libvarneltiff.so": None,
            "varneltiff": None,
            "README-en.txt": repository_text("package/README-en.txt", version),
            "LICENSE.txt": repository_text("LICENSE", version),
            "SHA256SUMS": None,
        }),
    ]


def unpack(archive, folder):
    """The archive's member names, and its files written into folder."""
    if archive.suffix == ".zip":
        with zipfile.ZipFile(archive) as zip_file:
            names = zip_file.namelist()
            zip_file.extractall(folder)
        return names
    with tarfile.open(archive) as tar_file:
        names = [member.name + ("/" if member.isdir() else "") for member in tar_file]
        if hasattr(tarfile, "data_filter"):
            tar_file.extractall(folder, filter="data")
        else:
            tar_file.extractall(folder)
    return names


def check_archive(dist, unpacked, name, top, files):
    """The file list, the texts and SHA256SUMS of one archive; the folder of its files."""
    archive = dist / name
    if not check(archive.is_file(), f"{archive} is missing"):
        return None
    names = unpack(archive, unpacked / name)
    expected = ([top] if top else []) + [top + file for file in files]
    check(sorted(names) == sorted(expected),
          f"{name} holds {sorted(names)}, not {sorted(expected)}")
    folder = unpacked / name / top
    for file, content in files.items():
        if content is not None and (folder / file).is_file():
            check((folder / file).read_bytes() == content,
                  f"{name}: {file} is not the repository's text in its shipped form")
    sums = (folder / "SHA256SUMS").read_text("ascii") if (folder / "SHA256SUMS").is_file() else ""
    listed = {}
    for line in sums.splitlines():
        match = re.fullmatch(r"([0-9a-f]{64})  (\S+)", line)
        if check(match is not None, f"{name}: SHA256SUMS line {line!r}"):
            listed[match.group(2)] = match.group(1)
    check(sorted(listed) == sorted(set(files) - {"SHA256SUMS"}),
          f"{name}: SHA256SUMS lists {sorted(listed)}")
    for file, digest in listed.items():
        path = folder / file
        check(path.is_file() and hashlib.sha256(path.read_bytes()).hexdigest() == digest,
              f"{name}: {file} does not match its checksum")
    return folder


# --- Windows programs: the PE file and its version resource --------------------------------

def read_pe(data):
    """The COFF symbol count, the section names, and the version resource's bytes (or None)."""
    header = struct.unpack_from("<I", data, 0x3C)[0]
    if data[header:header + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    _, section_count, _, symbols_at, symbol_count, optional_size, _ = struct.unpack_from(
        "<HHIIIHH", data, header + 4)
    # Names longer than eight bytes are "/N": offset N in the string table behind the symbols.
    strings_at = symbols_at + 18 * symbol_count
    optional = header + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]  # entry 2: resources
    sections = []
    for index in range(section_count):
        at = optional + optional_size + 40 * index
        name = data[at:at + 8].rstrip(b"\0").decode("latin-1")
        if name.startswith("/") and symbols_at != 0:
            start = strings_at + int(name[1:])
            name = data[start:data.index(b"\0", start)].decode("latin-1")
        virtual_size, address, raw_size, raw_at = struct.unpack_from("<IIII", data, at + 8)
        sections.append((name, address, max(virtual_size, raw_size), raw_at))

    def file_offset(rva):
        for _, address, size, raw_at in sections:
            if address <= rva < address + size:
                return raw_at + rva - address
        raise ValueError(f"address {rva:#x} is in no section")

    def first_entries(directory):
        named, numbered = struct.unpack_from("<HH", data, directory + 12)
        return [struct.unpack_from("<II", data, directory + 16 + 8 * index)
                for index in range(named + numbered)]

    version = None
    if resource_rva != 0:
        base = file_offset(resource_rva)
        for type_id, below in first_entries(base):
            if type_id == 16:  # RT_VERSION: type, then name, then language, then the data
                name_entry = first_entries(base + (below & 0x7FFFFFFF))[0][1]
                language_entry = first_entries(base + (name_entry & 0x7FFFFFFF))[0][1]
                rva, size = struct.unpack_from("<II", data, base + language_entry)
                start = file_offset(rva)
                version = data[start:start + size]
    return symbol_count, [section[0] for section in sections], version


def link_times(data):
    """The time stamps a link writes: the COFF header's and the export directory's (or None)."""
    header = struct.unpack_from("<I", data, 0x3C)[0]
    coff_time = struct.unpack_from("<I", data, header + 8)[0]
    section_count, optional_size = struct.unpack_from("<H", data, header + 6)[0], \
        struct.unpack_from("<H", data, header + 20)[0]
    optional = header + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    export_rva = struct.unpack_from("<I", data, optional + (96 if magic == 0x10B else 112))[0]
    for index in range(section_count):
        at = optional + optional_size + 40 * index
        virtual_size, address, raw_size, raw_at = struct.unpack_from("<IIII", data, at + 8)
        if export_rva != 0 and address <= export_rva < address + max(virtual_size, raw_size):
            return coff_time, struct.unpack_from("<I", data, raw_at + export_rva - address + 4)[0]
    return coff_time, None


def check_reproducible(dist, builds, unpacked, windows):
    """The archives made from a second build are the same bytes, the programs carry no link
    time, and SHA256SUMS beside the archives is right."""
    sums = dist / "SHA256SUMS"
    listed = {}
    if check(sums.is_file(), f"{sums} is missing"):
        for line in sums.read_text("ascii").splitlines():
            match = re.fullmatch(r"([0-9a-f]{64})  (\S+)", line)
            if check(match is not None, f"{sums}: line {line!r}"):
                listed[match.group(2)] = match.group(1)
    archives = sorted(path.name for path in dist.iterdir() if path.name != "SHA256SUMS")
    check(sorted(listed) == archives, f"{sums} lists {sorted(listed)}, not {archives}")
    for name, digest in listed.items():
        check(hashlib.sha256((dist / name).read_bytes()).hexdigest() == digest,
              f"{name} does not match {sums}")
    # The link writes no clock time, so that a second build links the same bytes; the packages
    # stamp the commit's time into the header when they strip the programs.
    for program in ("varneltiff.dll", "varneltiff.exe"):
        _, export_time = link_times((windows / program).read_bytes())
        check(export_time in (None, 0), f"{program}: the export table holds a link time")
    if builds:
        again = unpacked / "again"
        status, _, error = run([str(ROOT / "package" / "make_packages.sh"), *builds, str(again)])
        if check(status == 0, f"the archives could not be made again: {error}"):
            for name in archives:
                check((again / name).read_bytes() == (dist / name).read_bytes(),
                      f"{name} made from a second build is not the same bytes")


def parse_version_block(blob, at=0):
    """One node of VS_VERSIONINFO: (key, value bytes or text, children), and where it ends.
    Each node: length, value length (in characters for text, else bytes), type (1 text), the
    key in UTF-16 with its zero, padding to 4, the value, padding, the children."""
    length, value_length, value_type = struct.unpack_from("<HHH", blob, at)
    end = at + length
    key_end = at + 6
    while blob[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = blob[at + 6:key_end].decode("utf-16-le")
    value_at = (key_end + 2 + 3) & ~3
    value_size = value_length * 2 if value_type == 1 else value_length
    value = blob[value_at:value_at + value_size]
    if value_type == 1:
        value = value.decode("utf-16-le").split("\0")[0]
    children = []
    child = (value_at + value_size + 3) & ~3
    while child < end:
        node, child_end = parse_version_block(blob, child)
        children.append(node)
        child = (child_end + 3) & ~3
    return (key, value, children), end


def version_info(blob):
    """The fixed part as a dict, the string tables by block name, the Translation pairs."""
    (key, value, children), _ = parse_version_block(blob)
    if key != "VS_VERSION_INFO" or len(value) != 52:
        raise ValueError("no VS_VERSION_INFO with a fixed part")
    words = struct.unpack("<13I", value)
    fixed = dict(signature=words[0], file=(words[2], words[3]), product=(words[4], words[5]),
                 os=words[8], type=words[9])
    tables, translation = {}, []
    for name, _, blocks in children:
        if name == "StringFileInfo":
            for block, _, strings in blocks:
                tables[block.upper()] = {string: text for string, text, _ in strings}
        elif name == "VarFileInfo":
            for var, var_value, _ in blocks:
                if var == "Translation":
                    pairs = struct.unpack(f"<{len(var_value) // 2}H", var_value)
                    translation = list(zip(pairs[0::2], pairs[1::2]))
    return fixed, tables, translation


def check_windows_program(path, version, file_type, identity, holder):
    """Stripped, and the version resource filled in as Windows shows it."""
    symbols, sections, blob = read_pe(path.read_bytes())
    check(symbols == 0 and not any(s.startswith(".debug") for s in sections),
          f"{path.name} is not stripped: {symbols} symbols, sections {sections}")
    if not check(blob is not None, f"{path.name} has no version resource"):
        return
    fixed, tables, translation = version_info(blob)
    numbers = [int(part) for part in version.split(".")] + [0, 0, 0]
    packed = ((numbers[0] << 16) | numbers[1], (numbers[2] << 16) | numbers[3])
    check(fixed["signature"] == 0xFEEF04BD, f"{path.name}: VS_FIXEDFILEINFO signature")
    check(fixed["file"] == packed and fixed["product"] == packed,
          f"{path.name}: fixed versions {fixed['file']} {fixed['product']}, not {packed}")
    check(fixed["os"] == 0x40004 and fixed["type"] == file_type,
          f"{path.name}: file OS {fixed['os']:#x}, type {fixed['type']}")
    # Japanese in code page 932 and English (Unicode), each listed in Translation.
    check(translation == [(0x0411, 932), (0x0409, 1200)], f"{path.name}: Translation {translation}")
    check(sorted(tables) == ["040904B0", "041103A4"],
          f"{path.name}: string blocks {sorted(tables)}")
    name, copyright_line = identity
    expected = {"CompanyName": holder, "FileVersion": version, "ProductVersion": version,
                "ProductName": name, "LegalCopyright": copyright_line,
                "OriginalFilename": path.name}
    for block, strings in tables.items():
        for key, text in expected.items():
            check(strings.get(key) == text,
                  f"{path.name} {block}: {key} is {strings.get(key)!r}, not {text!r}")
        check(strings.get("FileDescription", "") != "", f"{path.name} {block}: no FileDescription")
    japanese = tables.get("041103A4", {}).get("FileDescription", "")
    english = tables.get("040904B0", {}).get("FileDescription", "")
    try:
        japanese.encode("cp932")
        shift_jis = True
    except UnicodeEncodeError:
        shift_jis = False
    check(shift_jis and any(ord(c) >= 0x3000 for c in japanese) and japanese != english,
          f"{path.name}: the Japanese FileDescription {japanese!r} is not Japanese text in "
          "code page 932")


def check_elf_stripped(path):
    data = path.read_bytes()
    section_at, = struct.unpack_from("<Q", data, 0x28)
    entry_size, count, names_index = struct.unpack_from("<HHH", data, 0x3A)

    def section(index):
        at = section_at + index * entry_size
        name, _, _, _, offset, size = struct.unpack_from("<IIQQQQ", data, at)
        return name, offset, size

    _, names_at, _ = section(names_index)
    names = []
    for index in range(count):
        name = section(index)[0]
        names.append(data[names_at + name:data.index(b"\0", names_at + name)].decode())
    check(".symtab" not in names and not any(n.startswith(".debug") for n in names),
          f"{path.name} is not stripped: sections {names}")


# --- running the packaged programs ---------------------------------------------------------

def run(command, env=None, timeout=300):
    result = subprocess.run(command, capture_output=True, env=env, timeout=timeout,
                            stdin=subprocess.DEVNULL)
    return (result.returncode, result.stdout.decode("utf-8", "replace").replace("\r\n", "\n"),
            result.stderr.decode("utf-8", "replace"))


def reported_identity(output, tool_version, plugin_path, same_path):
    """The plug-in's name and copyright line from `varneltiff --version`: the tool's version
    line, "plug-in: NAME (PATH)", the copyright line."""
    lines = output.splitlines()
    check(len(lines) == 3 and lines[0] == f"varneltiff {tool_version}",
          f"--version printed {output!r}")
    match = re.fullmatch(r"plug-in: (.+) \((.+)\)", lines[1] if len(lines) > 1 else "")
    if not check(match is not None, f"--version names no plug-in: {output!r}"):
        return None
    check(same_path(match.group(2), str(plugin_path)),
          f"--version loaded {match.group(2)}, not the packaged {plugin_path}")
    return match.group(1), lines[2] if len(lines) > 2 else ""


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def import_samples(command, folder, env, timeout=300):
    """Runs an import of every sample into folder; the PNG files by name."""
    status, _, error = run(command, env, timeout)
    check(status == 0, f"{command[0]}: import failed ({status}): {error}")
    return {png.name: png.read_bytes() for png in sorted(folder.glob("*.png"))}


# --- the texts against the README ----------------------------------------------------------

# What each row of the README's "Files it reads" tables is called in the read-mes and the
# changelog: a row with no entry here fails, so a new row cannot be left out of them.
README_ROWS = {
    "1-bit": ("1-bit black and white", "1 ビット白黒", "1-bit"),
    "4-bit": ("4-bit and 8-bit palette", "4 ビット・8 ビットのパレット", "4-bit and 8-bit palette"),
    "8-bit": ("4-bit and 8-bit palette", "4 ビット・8 ビットのパレット", "4-bit and 8-bit palette"),
    "24-bit RGB": ("24-bit RGB", "24 ビット RGB", "24-bit RGB"),
    "32-bit RGB with alpha": ("32-bit RGB with an alpha channel", "アルファ付きの 32 ビット RGB",
                              "32-bit RGB with alpha"),
    "16-bit FM-TOWNS colour words": ("FM-TOWNS 16-bit colour words", "FM-TOWNS の 16 ビットカラー",
                                     "FM-TOWNS 16-bit colour words"),
    "Motorola byte order": (("Motorola byte order", "BigTIFF"), ("モトローラ形式", "BigTIFF"),
                            ("Motorola byte order", "BigTIFF")),
    "width N": ("wider or taller than 32767 pixels", "32767 ピクセルを超える", "sides over 32767"),
    "N bits per sample": ("other depths", "ほかのビット数", "depths"),
    "N samples per pixel": ("sample layouts (grey with alpha, for example)",
                            "サンプル構成 (アルファ付きグレーなど)", "sample layouts"),
    "CMYK": ("CMYK, YCbCr and Lab colour", "CMYK・YCbCr・Lab", "CMYK, YCbCr and Lab"),
    "separate colour planes": ("colour planes stored separately", "色ごとに分けて格納",
                               "separate colour planes"),
    "compression N": ("other compressions", "ほかの圧縮方式", "other compressions"),
    "old-style LZW": ("old-style LZW", "旧式の LZW", "old-style LZW"),
    "predictor N": ("other predictors", "ほかの Predictor", "other predictors"),
    "tiles of size 0": ("tiles of no size, or larger than both 1024 pixels and the picture",
                        "大きさのないタイルや、1024 ピクセルと画像の両方より大きいタイル",
                        "tiles of no size or larger than both 1024 pixels and the picture"),
    # The facts of the section's opening.
    "compression 5": ("compression 5", "圧縮タイプ 5", "compression 5"),
    "Predictor 2": ("Predictor 2", "Predictor 2", "Predictor 2"),
    "tiles": ("in tiles", "タイル形式", "in tiles"),
    "FillOrder 2": ("FillOrder 1 or 2", "FillOrder 1 と 2", "FillOrder 1 or 2"),
}
# Not a kind of file: a failure to open it or to find the memory.
README_EXEMPT = {"the file cannot be read"}
OPENING_FACTS = ("compression 5", "Predictor 2", "tiles", "FillOrder 2")


def readme_rows():
    """The first cell of each row of the README's two tables in "Files it reads" (its first
    quoted reason, or its text up to a bracket), and the facts its opening paragraph states."""
    text = (ROOT / "README.md").read_text("utf-8")
    section = re.split(r"\n##+ ", text.split("\n## Files it reads\n", 1)[1], 1)[0]
    rows = []
    for line in section.splitlines():
        cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
        if not line.startswith("| ") or cells[0] in ("file", "reason") or set(cells[0]) <= {"-"}:
            continue
        quoted = re.findall(r'"([^"]+)"', cells[0])
        rows.append(quoted[0] if quoted else cells[0].split(" (")[0])
    opening = " ".join(section.strip().split("\n\n", 1)[0].split())
    rows.extend(fact for fact in OPENING_FACTS if check(fact in opening,
                                                         f"README.md no longer says {fact!r}"))
    return rows


def check_texts_against_readme():
    """The read-mes and the changelog name every kind of file the README's lists name."""
    def read(path):
        return (ROOT / path).read_text("utf-8")

    texts = {
        "package/README-en.txt": " ".join(read("package/README-en.txt").split()),
        # Japanese runs on across line breaks without a space.
        "package/README-ja.txt": re.sub(r"\n\s*", "", read("package/README-ja.txt")),
        "CHANGELOG.md": " ".join(read("CHANGELOG.md").split()),
    }
    rows = readme_rows()
    check(len(rows) >= 20, f"README.md's lists gave only {rows}")
    for row in rows:
        if row in README_EXEMPT:
            continue
        if not check(row in README_ROWS, f"README.md's row {row!r} has no phrases to look for"):
            continue
        for (path, text), phrases in zip(texts.items(), README_ROWS[row]):
            for phrase in (phrases,) if isinstance(phrases, str) else phrases:
                check(phrase in text, f"{path} does not say {phrase!r} (README.md: {row!r})")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dist", default=str(ROOT / "dist"))
    parser.add_argument("--builds", nargs=2, metavar=("WIN32_BUILD", "NATIVE_BUILD"),
                        help="a second build of the commit the archives were made from, to make "
                        "them again")
    parser.add_argument("--wine", default="wine",
                        help="the command that runs a Windows program (default: wine)")
    arguments = parser.parse_args()
    dist = Path(arguments.dist).resolve()
    version = project_version()
    year, holder = licence_holder()
    samples = sorted((ROOT / "samples").glob("*.tif"))
    check_texts_against_readme()

    with tempfile.TemporaryDirectory(prefix="varneltiff-package-") as temporary:
        unpacked = Path(temporary)
        folders = {}
        for name, top, files in expected_archives(version):
            folders[name] = check_archive(dist, unpacked, name, top, files)
        windows, linux = folders.values()
        if windows is None or linux is None:
            return 1

        # The native tool names the plug-in it loaded (beside it) and the plug-in's own
        # copyright line, which the version resources and the licence must agree with.
        env = dict(os.environ, XDG_CONFIG_HOME=str(unpacked / "config"))
        check(os.access(linux / "varneltiff", os.X_OK), "the tarball's tool is not executable")
        status, output, error = run([str(linux / "varneltiff"), "--version"], env)
        check(status == 0, f"the tarball's tool: --version failed: {error}")
        identity = reported_identity(output, version, linux / "libvarneltiff.so",
                                     lambda a, b: a == b)
        if identity is None:
            return 1
        check(year in identity[1] and identity[1].endswith(holder),
              f"the plug-in's copyright line {identity[1]!r} is not LICENSE's ({year} {holder})")
        for program in ("libvarneltiff.so", "varneltiff"):
            check_elf_stripped(linux / program)
        check_windows_program(windows / "varneltiff.dll", version, 2, identity, holder)
        check_windows_program(windows / "varneltiff.exe", version, 1, identity, holder)
        status, _, error = run(["cmake", "-DOBJDUMP=i686-w64-mingw32-objdump",
                                f"-DDLL={windows / 'varneltiff.dll'}",
                                "-P", str(ROOT / "tests" / "check_dll_tables.cmake")])
        check(status == 0, f"the packaged DLL's export or import table: {error}")
        check_reproducible(dist, arguments.builds, unpacked, windows)

        native_out = unpacked / "native-png"
        native_out.mkdir()
        native = import_samples([str(linux / "varneltiff"), "-q", "import", *map(str, samples),
                                 "-d", str(native_out)], native_out, env)
        check(sorted(native) == sorted(s.stem + ".png" for s in samples),
              f"the tarball's tool made {sorted(native)}")
        check(all(png.startswith(b"\x89PNG\r\n\x1a\n") for png in native.values()),
              "the tarball's tool wrote something that is not a PNG")

        wine = shlex.split(arguments.wine)
        # Under qemu-user one start of Wine's 32-bit loader can take minutes on a busy machine;
        # the run script's wrapper has its own limit (30 minutes there), so this one is looser.
        wine_timeout = 1900
        wine_env = dict(env, WINEDLLOVERRIDES="winedbg.exe=d")
        tool = windows / "varneltiff.exe"
        # Beside the tool, as unpacked, the DLL is the one it loads by default.
        status, output, error = run([*wine, str(tool), "--version"], wine_env, wine_timeout)
        check(status == 0, f"varneltiff.exe --version under Wine failed: {error}")
        wine_identity = reported_identity(output, version,
                                          windows_path(windows / "varneltiff.dll"),
                                          lambda a, b: a.lower() == b.lower())
        check(wine_identity == identity,
              f"the DLL reports {wine_identity}, the Linux library {identity}")
        wine_out = unpacked / "wine-png"
        wine_out.mkdir()
        # The samples by a wildcard, which the tool expands itself, as Windows shells leave it.
        imported = import_samples(
            [*wine, str(tool), "--plugin", windows_path(windows / "varneltiff.dll"), "-q",
             "import", windows_path(ROOT / "samples") + "\\*.tif", "-d", windows_path(wine_out)],
            wine_out, wine_env, wine_timeout)
        check(imported == native,
              f"the packaged DLL under Wine made {sorted(imported)}, not the same PNG files "
              "as the Linux build")
        print(f"package test: {len(imported)} samples imported by the packaged DLL under "
              "Wine, the same PNG files as natively")
        # A name the plug-in's code page cannot hold is refused with the reason, not looked for.
        foreign = unpacked / "caf\u00e9.tif"
        shutil.copy(samples[0], foreign)
        status, _, error = run([*wine, str(tool), "check", windows_path(foreign)], wine_env,
                               wine_timeout)
        check(status == 1 and "lacks" in error,
              f"a name outside the code page under Wine: status {status}, {error!r}")

    if failures:
        print(f"package test: {len(failures)} check(s) FAILED")
        return 1
    print(f"package test: both archives of {version} passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
