#!/usr/bin/env python3
"""Checks the names the program's own code declares against its naming rule,
and measures the code: files and lines per folder, long functions.

The rule: types PascalCase; functions, variables, members, parameters and
locals camelCase (a member may end in one "_"); constants kName; enumerators PascalCase. Names the
program takes from the system it describes (the windows velmora_m, velmora_s
and velmora_v, their controls and handlers such as Cmd_Set and m_kakudai_Click,
the sampling routines, the settings routines and keys, the library's C
entries) are kept as they are and listed in KEPT.

    tools/namestyle.py            # violations, then the counts; exit 1 if any
    tools/namestyle.py --counts   # the counts only

It reads the names with Universal Ctags (package universal-ctags).
"""
import argparse
import collections
import os
import re
import subprocess
import sys

FOLDERS = ["app", "controls", "dialogs", "engine", "gui", "imageio", "libvelmora",
           "outputfile", "parallel", "platform", "save", "settings", "tool", "tools"]

# Names kept from the system's own vocabulary, exactly where they name the
# thing, plus the library's C entries and what C callers already use.
KEPT = set("""
velmora_m velmora_s velmora_v velmora_b
Form_Load Form_Unload View_File
m_file m_open m_save m_sura m_end m_ritu m_kakudai
m_open_Click m_save_Click m_end_Click m_ritu_Click m_kakudai_Click
VS_Ritu VS_Ritu_Change VS_Ritu_Scroll lbl_Ritu lbl_Size Pic_1 Pic_C Pic_K Pic_F Pic_Mbl
Cmd_Set Cmd_Can Cmd_Sel Cmd_Set_Click Cmd_Can_Click Cmd_Sel_Click
Drive1 Dir1 File1 Shape1 Combo_Kind Drive1_Change Dir1_Change File1_Click File1_DblClick
Combo_Kind_Click Display Master TmrMouse TmrMouse_Timer
Sample_Bilinear Sample_Column Mix_Colors
Ini_Read Ini_Write Get_Folder Folder_Exists Add_Separator
Open_Effect Close_Effect Tile_Texture Init_Buttons
Command Click Initialize Caption Font FontColour Enabled Visible FirstRun
IsEnabled FirstRunFlag ButtonState HoverShading LeftDown LblMsg ApplyEnabled RefreshCaption
PaintButton PaintGradient
GetCursorPos WindowFromPoint DrawAnimatedRects GetPrivateProfileString
WritePrivateProfileString GetSaveFileName GetPixel SetPixel
ConvertBMPtoJPG ConvertPixelsToJPG ConvertRowsToJPG VelmoraVersion
VelmoraFillRows VelmoraMarker LLVMFuzzerTestOneInput
VelmoraEnlargedSize VelmoraEnlarge VelmoraEnlargeRect VelmoraStatusText
New_Caption New_Enabled New_Font New_FontColour New_Visible W H BW BH
""".split())

CAMEL = re.compile(r"^[a-z][a-zA-Z0-9]*$")
PASCAL = re.compile(r"^[A-Z][a-zA-Z0-9]*$")
CONSTANT = re.compile(r"^k[A-Z][a-zA-Z0-9]*$")
SNAKE = re.compile(r"_")

TYPES = {"class", "struct", "union", "enum", "typedef"}
CALLABLES = {"function", "prototype"}
VALUES = {"variable", "member", "externvar", "local", "parameter"}


def style(name):
    """camelCase, PascalCase, kName or Snake_Caps, for a name without its
    trailing underscore."""
    bare = name[:-1] if name.endswith("_") and len(name) > 1 else name
    if CONSTANT.match(bare):
        return "kName"
    if SNAKE.search(bare) or bare.isupper() and len(bare) > 1:
        return "Snake_Caps" if not bare.isupper() else "MACRO_CASE"
    if CAMEL.match(bare):
        return "camelCase"
    if PASCAL.match(bare):
        return "PascalCase"
    return "other"


def sources(root):
    for folder in FOLDERS:
        for base, _, files in os.walk(os.path.join(root, folder)):
            for f in sorted(files):
                if f.endswith((".cpp", ".h", ".inc", ".c")):
                    yield os.path.relpath(os.path.join(base, f), root)


def tags(root, files):
    out = subprocess.run(
        ["ctags", "--languages=C,C++", "--langmap=C++:+.inc", "--kinds-C++=+pxlz",
         "--fields=+neKZs", "--extras=-q", "-x",
         "--_xformat=%N\t%K\t%F\t%n\t%e\t%s\t%{C++.properties}", "-L", "-"],
        input="\n".join(files), capture_output=True, text=True, cwd=root, check=True).stdout
    for line in out.splitlines():
        parts = line.split("\t")
        if len(parts) >= 5:
            yield parts


_lines = {}


def emits(root, path, line):
    """Whether the line emits a Qt signal, which ctags takes for a local."""
    if path not in _lines:
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
            _lines[path] = f.read().splitlines()
    lines = _lines[path]
    return 0 < line <= len(lines) and lines[line - 1].lstrip().startswith("emit ")


def wanted(kind, name, scope):
    """The style a name of this kind should have."""
    if kind in TYPES:
        return {"PascalCase"}
    if kind == "enumerator":
        return {"PascalCase", "kName"}
    if kind in CALLABLES:
        return {"camelCase"}
    if kind in VALUES:
        return {"camelCase", "kName"}
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--counts", action="store_true", help="the counts only")
    parser.add_argument("--root", default=os.path.join(os.path.dirname(__file__), ".."))
    args = parser.parse_args()
    root = os.path.abspath(args.root)
    files = list(sources(root))

    styles = collections.Counter()
    bad = []
    seen = set()
    functions = []
    for name, kind, path, line, end, scope, *rest in tags(root, files):
        if kind in ("namespace", "macro", "header", "macroparam", "tparam") or \
                name.startswith("__anon") or name.startswith("operator") or name.startswith("~"):
            continue
        if kind == "function" and end:
            functions.append((int(end) - int(line) + 1, f"{path}:{line} {name}"))
        key = (name, kind, scope if kind != "local" else path)
        if key in seen:
            continue
        seen.add(key)
        if name.startswith("VELMORA_") or (kind == "struct" and name == "st"):
            continue
        if name in KEPT or scope.split("::")[-1] in ("velmora_m", "velmora_s", "velmora_v") and \
                name in KEPT:
            continue
        # A constructor or destructor has its type's name.
        if kind in CALLABLES and scope.split("::")[-1] == name:
            continue
        if kind == "local" and emits(root, path, int(line)):
            continue
        s = style(name)
        styles[s] += 1
        allowed = wanted(kind, name, scope)
        if allowed is not None and s not in allowed:
            bad.append(f"{path}:{line}: {kind} {name} is {s}, wants {' or '.join(sorted(allowed))}")

    if not args.counts:
        for b in sorted(bad):
            print(b)
    print(f"names by style: " + ", ".join(f"{k} {v}" for k, v in styles.most_common()))
    print(f"names against the rule: {len(bad)}")
    functions.sort(reverse=True)
    long = [f for f in functions if f[0] > 40]
    print(f"functions over 40 lines: {len(long)}" +
          (f"; longest {functions[0][0]} lines, {functions[0][1]}" if functions else ""))
    per = collections.OrderedDict()
    for f in files:
        folder = f.split("/")[0]
        with open(os.path.join(root, f), encoding="utf-8", errors="replace") as h:
            n = sum(1 for _ in h)
        count, lines = per.get(folder, (0, 0))
        per[folder] = (count + 1, lines + n)
    print("files and lines per folder: " +
          ", ".join(f"{k} {c}/{l}" for k, (c, l) in per.items()))
    return 1 if bad and not args.counts else 0


if __name__ == "__main__":
    sys.exit(main())
