"""The named fields of a PE program's headers and where its sections lie in
the file, for telling which of them two builds of one program disagree on.
parse(data) returns None when the headers do not fit in the bytes."""
import struct

COFF = (("Machine", "H"), ("NumberOfSections", "H"), ("TimeDateStamp", "I"),
        ("PointerToSymbolTable", "I"), ("NumberOfSymbols", "I"),
        ("SizeOfOptionalHeader", "H"), ("Characteristics", "H"))


def optional_header(wide):
    """The optional header's fields up to the data directories; PE32+ has no
    BaseOfData and keeps the image base and the stack and heap sizes in 64 bits."""
    word = "Q" if wide else "I"
    return ((("Magic", "H"), ("MajorLinkerVersion", "B"), ("MinorLinkerVersion", "B"),
             ("SizeOfCode", "I"), ("SizeOfInitializedData", "I"), ("SizeOfUninitializedData", "I"),
             ("AddressOfEntryPoint", "I"), ("BaseOfCode", "I"))
            + (() if wide else (("BaseOfData", "I"),))
            + (("ImageBase", word), ("SectionAlignment", "I"), ("FileAlignment", "I"),
               ("MajorOperatingSystemVersion", "H"), ("MinorOperatingSystemVersion", "H"),
               ("MajorImageVersion", "H"), ("MinorImageVersion", "H"),
               ("MajorSubsystemVersion", "H"), ("MinorSubsystemVersion", "H"),
               ("Win32VersionValue", "I"), ("SizeOfImage", "I"), ("SizeOfHeaders", "I"),
               ("CheckSum", "I"), ("Subsystem", "H"), ("DllCharacteristics", "H"),
               ("SizeOfStackReserve", word), ("SizeOfStackCommit", word),
               ("SizeOfHeapReserve", word), ("SizeOfHeapCommit", word),
               ("LoaderFlags", "I"), ("NumberOfRvaAndSizes", "I")))


DIRECTORIES = ("Export", "Import", "Resource", "Exception", "Security", "BaseReloc", "Debug",
               "Architecture", "GlobalPtr", "TLS", "LoadConfig", "BoundImport", "IAT",
               "DelayImport", "CLR", "Reserved")

SECTION = (("VirtualSize", "I"), ("VirtualAddress", "I"), ("SizeOfRawData", "I"),
           ("PointerToRawData", "I"), ("PointerToRelocations", "I"), ("PointerToLinenumbers", "I"),
           ("NumberOfRelocations", "H"), ("NumberOfLinenumbers", "H"), ("Characteristics", "I"))


def read_fields(data, at, layout, prefix, into):
    for name, code in layout:
        into[prefix + name], = struct.unpack_from("<" + code, data, at)
        at += struct.calcsize(code)
    return at


def parse(data):
    """{"fields": {name: value}, "sections": {name: (start, end)}, "end": the
    end of the last section's bytes, where appended data (an installer's
    archive) begins}. Header fields are named "COFF.", "Optional.",
    "Directory.NAME." and "Section NAME." plus the field's own name; the
    bytes before the PE signature count as one field, "DOS header and stub"."""
    try:
        pe, = struct.unpack_from("<I", data, 0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            return None
        fields = {"DOS header and stub": data[:pe]}
        opt = read_fields(data, pe + 4, COFF, "COFF.", fields)
        wide = struct.unpack_from("<H", data, opt)[0] == 0x20B
        at = read_fields(data, opt, optional_header(wide), "Optional.", fields)
        for index in range(min(fields["Optional.NumberOfRvaAndSizes"], len(DIRECTORIES))):
            at = read_fields(data, at, (("RVA", "I"), ("Size", "I")), f"Directory.{DIRECTORIES[index]}.", fields)
        at = opt + fields["COFF.SizeOfOptionalHeader"]
        sections, end = {}, at + 40 * fields["COFF.NumberOfSections"]
        for index in range(fields["COFF.NumberOfSections"]):
            name = data[at:at + 8].rstrip(b"\0").decode("latin-1") or f"#{index}"
            own = {}
            read_fields(data, at + 8, SECTION, "", own)
            fields.update({f"Section {name}.{k}": v for k, v in own.items()})
            start, size = own["PointerToRawData"], own["SizeOfRawData"]
            sections[name] = (start, start + size)
            end = max(end, start + size)
            at += 40
    except struct.error:
        return None
    return {"fields": fields, "sections": sections, "end": end}
