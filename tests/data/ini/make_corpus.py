#!/usr/bin/env python3
r"""Writes the INI corpus of profile_reader_test into this folder.

The .ini files are committed as written; rerun this only to change the corpus,
then regenerate expected.txt from the live Windows profile API under wine
(from the repository root, after building the windows-x86 preset):

  TUMELIN_REGENERATE_EXPECTED=Z:$PWD/tests/data/ini/expected.txt WINEDEBUG=-all wine \
    build/windows-x86/tests/profile_reader_test.exe \
    --gtest_filter=ProfileReaderCorpus.AgreesWithTheLiveWindowsApi

The same holds after changing queries.txt.
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
SIX = "ClothP=0.25\nClothC=2\nClothK0=7.5\nClothK1=3\nClothT0=$1f4\nClothMethod=2\n"


def write(name, data, ending="\n"):
    if isinstance(data, str):
        data = data.replace("\n", ending).encode("ascii")
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def text(body, encoding, bom=b""):
    return bom + body.replace("\n", "\r\n").encode(encoding)


write("basic_lf.ini", "[Setup]\n" + SIX)
write("basic_crlf.ini", "[Setup]\n" + SIX, "\r\n")
write("lone_cr.ini", "[Setup]\rClothP=1\r\rClothC=2\r\nClothK0=3\n\rClothK1=4\r[Other]\rA=5\r")
write("no_final_line_end.ini", "[Setup]\nClothP=1\nClothMethod=1")
write("empty.ini", b"")
write("section_only.ini", "[Setup]\n")
write(
    "case_of_names.ini",
    "[sEtUp]\nclothp=1.5\nCLOTHC=2.5\ncLoThK0=3.5\nClothk1=4.5\nCLOTHT0=42\nclothmethod=1\n",
)
write(
    "blanks.ini",
    "  [  Setup  ]  \n  ClothP  =  1.5  \n\tClothC\t=\t2.5\t\n\x0bClothK0\x0c=\x0c3.5\x0b\n"
    "ClothK1 \t= \t4.5 \t\n\x1aClothT0\x1a=\x1a7\x1a\nA = a  b \nB=  \n Cloth Method = 1\n",
)
write("tabs.ini", '\t[Setup]\t\n\tClothP\t=\t0.125\t\n\t\tClothT0\t\t=\t\t9\t\t\nA\t=\t"\tx\t"\t\n')
write(
    "quotes_double.ini",
    '[Setup]\nClothP="0.75"\nClothC = "2" \nClothK0=" 3 "\nClothK1=""\n'
    'A="a" b "\nB="a""\nC="\nD="""\nE=x"y"\n',
)
write(
    "quotes_single.ini",
    "[Setup]\nClothP='0.75'\nClothC = '2' \nClothK0=' 3 '\nClothK1=''\nClothT0='12'\n"
    "A='a' b '\nB='\nC='\"'\n",
)
write(
    "quotes_unmatched.ini",
    "[Setup]\nClothP=\"0.75\nClothC=0.75\"\nClothK0=\"3'\nClothK1='4\"\nClothT0='7\nClothMethod=1'\n"
    'A="a\'b"c\nB=\'"\nC="\'\n',
)
write(
    "comments.ini",
    "; settings\n# more settings\n[Setup]\n;ClothP=9\n# ClothC=9\nClothK0=3 ; not a comment\n"
    "ClothK1=4 # nor this\n; [Other]\n  ; ClothT0=9\nClothMethod=1\n;ClothP\n#ClothP=hash\n",
)
write("commented_section.ini", ";[Setup]\n;ClothP=9\n#[Setup]\nClothP=8\n[Other]\nClothP=7\n")
write(
    "repeated_sections.ini",
    "[Setup]\nClothP=1\n[Other]\nA=1\n[Setup]\nClothP=2\nClothC=2\n[SETUP]\nClothK0=3\n[Other]\nB=2\n",
)
write("repeated_sections_case.ini", "[setup]\nClothP=1\n[Setup]\nClothP=2\nClothC=2\n")
write(
    "repeated_keys.ini",
    "[Setup]\nClothP=1\nClothP=2\nCLOTHC=1\nclothc=2\nClothK0\nClothK0=3\nClothK1=\nClothK1=4\n"
    "ClothT0 = 5\nClothT0=6\n",
)
write("no_equals.ini", "[Setup]\nClothP\nClothC 2\nClothK0:3\nClothMethod=1\n[Other]\nA\n")
write("keys_before_section.ini", "ClothP=1\nA=before\n[Setup]\nClothC=2\n[]\nClothK0=3\nB=after\n")
write("equals_in_value.ini", "[Setup]\nClothP==1\nClothC=2=3\nA=b=c\n=empty name\nClothK0 = = 4\n")
write("empty_values.ini", "[Setup]\nClothP=\nClothC=   \nClothK0=\"\"\nClothK1=''\nClothT0=\t\nA=\n")
write(
    "garbage.ini",
    "[Setup\nClothP=1\n]]]\n==\n[\n@@@ ### !!!\n[Setup]\n!ClothC=9\nClothK0=3\n[Other2\n"
    "~~~\nClothK1=4\n[Setup=5\n\\\\\\\n",
)
write(
    "section_header_forms.ini",
    "[Setup]junk\nClothP=1\n[Set]up]\nA=2\n[ Other ] ; comment\nA=3\n[a=b]\nA=4\n[Setup2]\nClothP=5\n",
)
write(
    "prefix_keys.ini",
    "[Setup2]\nClothP=9\n[SetupX]\nClothC=9\n[Setup]\nClothK=9\nClothK00=9\nClothP0=9\nClothT=9\n"
    "Cloth P=9\nClothMethod1=9\nClothK1=4\n",
)
write("other_sections.ini", "[Other]\nClothP=9\nA=1\n[Setup]\nClothC=2\nA=2\n[Empty]\n[Other]\nA=3\n")

digits = "".join(str(i % 10) for i in range(3000))
write(
    "long_values.ini",
    # 3000 characters whose first 2047 read 1.25 and 42; whole, they would not
    "[Setup]\nClothP="
    + "0" * 2043
    + "1.25"
    + "9" * 953
    + "\nClothT0="
    + "0" * 2045
    + "42"
    + "7" * 953
    + '\nClothC="'
    + digits
    + '"\n'
    "A=" + "1" * 2047 + "\nB=" + "2" * 2048 + '\nC="' + "3" * 2046 + '"\nD="' + "4" * 2047 + '"\n'
    "E='" + "5" * 2048 + "'\n",
)
write("cut.ini", "[Setup]\nA=\"abcdef\"\nB=abcdef\nC=  'ab'  \n")

write(
    "nul_bytes.ini",
    b"[Setup]\nClothP=1\x00junk\nClothC=2 \x00x\n\x00ClothK0=3\nClothK1\x00=4\n"
    b'A="q\x00"\nB="q"\x00x\n[Oth\x00er]\nA=5\n',
)
write("bom_only.ini", b"\xef\xbb\xbf")

BODY = (
    "; caf\u00e9 \u20ac\n[Setup]\nClothP=0.5\nClothMethod = 2 \n[Other]\nA=caf\u00e9\nB=\u20ac \u00e9\u00e8\n"
    "[Caf\u00e9]\nA=1\n"
)
write("utf8_bom.ini", text(BODY, "utf-8", b"\xef\xbb\xbf"))
write("utf16le_bom.ini", text(BODY, "utf-16-le", b"\xff\xfe"))
write("utf16be_bom.ini", text(BODY, "utf-16-be", b"\xfe\xff"))
write("utf16le_no_bom.ini", text("[Setup]\nClothP=0.5\n", "utf-16-le"))
write("cp1252.ini", text(BODY, "cp1252"))
# without a BOM UTF-8 text is read in the ANSI code page on Windows; the
# non-ASCII text here is where no lookup returns it
write("utf8_no_bom.ini", text("; caf\u00e9\n[\u00dcn\u00efcode]\nA=\u00e9\n[Setup]\nClothP=0.5\n", "utf-8"))
# blanks that are stripped (tab, VT, FF, space, 0x1A) and ones that are not
ODD = "[Setup]\n\u00a0ClothP\u00a0=1\n\u3000ClothC=2\nClothK0=\u00a03\u00a0\nClothK1=\u20094\n\u001aClothT0\u001a=\u001a5\u001a\n"
write("unicode_blanks.ini", text(ODD, "utf-16-le", b"\xff\xfe"))
