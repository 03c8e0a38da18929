#!/usr/bin/env python3
"""Checks, without running the DLL, that every exported entry point removes exactly the stack
bytes of its arguments: the export must lead to the function compiled for that many argument
bytes (__stdcall decorates it Name@N), and every return in its body must be `ret N` (plain `ret`
for none). The host calls through the export table, so a wrong count corrupts its stack.

    check_stack_bytes.py OBJDUMP DLL
"""
import re
import subprocess
import sys

# Entry point: bytes of arguments it removes from the stack.
EXPECTED = {
    "PLUGINCALLBACK": 4, "PLUGOUTCALLBACK": 0,
    "EXPORT_InterfaceVersion": 4, "EXPORT_SupportedExtensions": 4, "EXPORT_EnterOption": 12,
    "EXPORT_LeaveOption": 4, "EXPORT_BeforeTransform": 8, "EXPORT_WriteToFile": 12,
    "UNITED_SupportedInformation": 8, "UNITED_Verbose": 4,
    "IMPORT_InterfaceVersion": 4, "IMPORT_SupportedExtensions": 4, "IMPORT_ValidFileCheck": 4,
    "IMPORT_ImageInformation": 8, "IMPORT_CreateImage": 8, "IMPORT_CreatePreviewImage": 16,
    "IMPORT_FreeImage": 4, "VARNELTIFF_RefusalReason": 8, "VARNELTIFF_ReadingNotes": 8,
}


def main(objdump, dll):
    headers = subprocess.run([objdump, "-p", dll], check=True, capture_output=True, text=True).stdout
    image_base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", headers, re.M).group(1), 16)
    # "[   6] +base[   7] 15f0 Export RVA" and "[   6] IMPORT_CreateImage".
    rvas = {int(i): int(rva, 16) for i, rva in
            re.findall(r"\[\s*(\d+)\] \+base\[\s*\d+\] ([0-9a-f]+) Export RVA", headers)}
    table = headers.split("[Ordinal/Name Pointer] Table", 1)[1].split("\n\n", 1)[0]
    names = {name: int(i) for i, name in re.findall(r"\[\s*(\d+)\] (\S+)", table)}

    code = subprocess.run([objdump, "-d", dll], check=True, capture_output=True, text=True).stdout
    bodies = {}  # address -> (label, lines)
    for block in code.split("\n\n"):
        match = re.match(r"([0-9a-f]+) <([^>]+)>:\n", block)
        if match:
            bodies[int(match.group(1), 16)] = (match.group(2), block)

    failures = []
    for name, expected in EXPECTED.items():
        if name not in names:
            failures.append(f"{name}: not exported")
            continue
        address = image_base + rvas[names[name]]
        label, body = bodies.get(address, ("?", ""))
        if label != f"_{name}@{expected}":
            failures.append(f"{name}: export leads to {label}, expected _{name}@{expected}")
            continue
        returns = re.findall(r"\tret\s*(\$0x[0-9a-f]+)?", body)
        # A sibling call hands the caller's own arguments to a callee of the same convention
        # (the compiler does that only when the callee removes the same bytes).
        tail_calls = re.findall(r"\tjmp\s+\*%e[a-z]x", body)
        wanted = f"$0x{expected:x}" if expected else ""
        if (not returns and not tail_calls) or any(r != wanted for r in returns):
            failures.append(f"{name}: returns {returns}, expected ret {wanted or '(plain)'}")
        else:
            print(f"{name}: removes {expected} bytes "
                  f"({len(returns)} return(s), {len(tail_calls)} sibling call(s))")
    for failure in failures:
        print("FAIL", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
