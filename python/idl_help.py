#!/usr/bin/env python3
"""idl_help.py IDL OUTPUT: the help strings of the COM type library as a C++ table.

The Python binding's docstrings start with the text the type library gives a member, where it has
one, so that a script author reads the same help in Python as in a Windows object browser.
"\\r\\n" in the IDL stands for a line break and becomes one; other escapes stay as written.
"""
import re
import sys

INTERFACE = re.compile(r"interface\s+_(\w+)\s*:\s*IDispatch\s*\{(.*?)\};", re.S)
# An attribute list (whose strings may hold brackets) followed by the member it describes.
MEMBER = re.compile(r'\[((?:[^\]"]|"(?:[^"\\]|\\.)*")*)\]\s*HRESULT\s+(\w+)\s*\(')
HELP = re.compile(r'helpstring\("((?:[^"\\]|\\.)*)"\)')


def entries(idl):
    seen = set()
    for interface in INTERFACE.finditer(idl):
        cls, body = interface.group(1), interface.group(2)
        for member in MEMBER.finditer(body):
            found = HELP.search(member.group(1))
            name = member.group(2)
            if not found or (cls, name) in seen:
                continue
            seen.add((cls, name))
            text = found.group(1).replace("\\r\\n", "\\n")
            while text.endswith("\\n"):
                text = text[: -len("\\n")]
            yield cls, name, text


def main():
    idl_path, out_path = sys.argv[1], sys.argv[2]
    with open(idl_path, encoding="utf-8") as f:
        idl = f.read()
    rows = list(entries(idl))
    if not rows:
        sys.exit(f"{idl_path}: no help strings found")
    lines = [
        "// Written by python/idl_help.py from src/automation/QuandelSTK6.idl: do not edit.",
        "#pragma once",
        "",
        "namespace quandelstk::python {",
        "",
        "struct IdlHelp {",
        "  const char* cls;",
        "  const char* member;",
        "  const char* text;",
        "};",
        "",
        "inline constexpr IdlHelp kIdlHelp[] = {",
    ]
    lines += [f'    {{"{c}", "{m}", "{t}"}},' for c, m, t in rows]
    lines += ["};", "", "}  // namespace quandelstk::python", ""]
    text = "\n".join(lines)
    try:
        with open(out_path, encoding="utf-8") as f:
            if f.read() == text:
                return
    except FileNotFoundError:
        pass
    with open(out_path, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main()
