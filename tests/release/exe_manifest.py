#!/usr/bin/env python3
"""Reads the application manifest (resource type 24, id 1) out of a Windows executable, as the
loader finds it through the PE resource directory, and prints what Windows takes from it, one
entry a line:

    supportedOS {GUID}
    dpiAware VALUE
    gdiScaling VALUE
    dependency NAME VERSION
    executionLevel LEVEL

usage: exe_manifest.py FILE.exe   (exit status 1 when the file has no manifest)
"""
import struct
import sys
import xml.etree.ElementTree as ElementTree

RT_MANIFEST = 24
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
SETTINGS = {
    "dpiAware": "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}",
    "gdiScaling": "{http://schemas.microsoft.com/SMI/2017/WindowsSettings}",
}


def manifest_bytes(image):
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        sys.exit("not a PE file")
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    directories = optional + (112 if magic == 0x20B else 96)  # PE32+ or PE32
    resource_rva = struct.unpack_from("<I", image, directories + 2 * 8)[0]
    table = optional + optional_size
    for index in range(sections):
        size, rva, _, raw = struct.unpack_from("<4I", image, table + index * 40 + 8)
        if rva <= resource_rva < rva + size:
            break
    else:
        sys.exit("no resource section")
    base = raw + resource_rva - rva

    def entries(offset):
        named, numbered = struct.unpack_from("<12xHH", image, base + offset)
        for index in range(named + numbered):
            name, target = struct.unpack_from("<II", image, base + offset + 16 + index * 8)
            yield name, target

    def first_leaf(target):
        while target & 0x80000000:  # a subdirectory: its first entry
            target = next(entries(target & 0x7FFFFFFF))[1]
        data_rva, data_size = struct.unpack_from("<II", image, base + target)
        return image[raw + data_rva - rva:raw + data_rva - rva + data_size]

    for type_id, type_target in entries(0):
        if type_id == RT_MANIFEST:
            for name_id, name_target in entries(type_target & 0x7FFFFFFF):
                if name_id == 1:
                    return first_leaf(name_target)
    sys.exit("no manifest resource")


def main():
    with open(sys.argv[1], "rb") as exe:
        root = ElementTree.fromstring(manifest_bytes(exe.read()))
    for os_id in root.iterfind(f"{COMPATIBILITY}compatibility/{COMPATIBILITY}application/"
                               f"{COMPATIBILITY}supportedOS"):
        print("supportedOS", os_id.get("Id"))
    for name, space in SETTINGS.items():
        for setting in root.iterfind(f"{ASM_V3}application/{ASM_V3}windowsSettings/{space}{name}"):
            print(name, setting.text.strip())
    for identity in root.iterfind(f"{ASM_V1}dependency/{ASM_V1}dependentAssembly/"
                                  f"{ASM_V1}assemblyIdentity"):
        print("dependency", identity.get("name"), identity.get("version"))
    for level in root.iterfind(f"{ASM_V3}trustInfo/{ASM_V3}security/{ASM_V3}requestedPrivileges/"
                               f"{ASM_V3}requestedExecutionLevel"):
        print("executionLevel", level.get("level"))


main()
