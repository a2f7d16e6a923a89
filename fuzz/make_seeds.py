#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Usage: python3 fuzz/make_seeds.py PELVARO_ADMIN
PELVARO_ADMIN is a built pelvaro-admin; its encipher command gives the stored
values of the configuration seeds. Run once when the seeds change; the files
are kept in the repository. Inputs found by the fuzzers are added to the
folders by hand beside these (the script leaves other files alone).
"""
import os
import struct
import subprocess
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def write(target, name, data):
    folder = os.path.join(ROOT, target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("latin-1")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def main():
    admin = sys.argv[1]

    def enc(text):
        return subprocess.run([admin, "encipher", text], check=True, capture_output=True,
                              text=True).stdout.strip()

    # --- configuration file: whole files ---
    cfg = "config_file"
    standard = (";DB;Datenbank-Benutzer\n1;LOGIN;" + enc("scott") + "\n"
                ";DB;Datenbank-Kennwort\n2;PASS;" + enc("tiger") + "\n"
                ";DB;Net8-Dienstname\n3;NET8;" + enc("ORCL.world") + "\n")
    write(cfg, "standard.ini", standard)
    write(cfg, "crlf.ini", standard.replace("\n", "\r\n"))
    write(cfg, "no_final_newline.ini", standard.rstrip("\n"))
    write(cfg, "empty.ini", "")
    write(cfg, "single_line.ini", ";DB;only a section line\n")
    write(cfg, "odd_line_count.ini", standard + ";DB;trailing line\n")
    write(cfg, "empty_section_first.ini",
          "no section here\n7;OTHER;" + enc("first") + "\n" + standard)
    write(cfg, "number_zero_first.ini", ";S1;\n0;OTHER;" + enc("zero") + "\n" + standard)
    write(cfg, "number_forms.ini",
          ";S1;\n  +12;A;" + enc("a") + "\n;S2;\n-7x;B;" + enc("b") + "\n"
          ";S3;\n99999999999999;C;" + enc("c") + "\n;S4;\n-99999999999;D;" + enc("d") + "\n"
          ";S5;\n2147483647;LOGIN;" + enc("max") + "\n")
    write(cfg, "no_semicolon.ini", ";S1;\n42\n;S2;\n5;PASS;" + enc("pw") + "\n")
    write(cfg, "one_semicolon.ini", ";S1;\n5;" + enc("novalue") + "\n")
    write(cfg, "adjacent_delimiters.ini", ";;section rest\n4;;LOGIN;" + enc("x") + "\n"
          ";S;\n5;PASS;;\n;S;\n6;NET8;\n")
    write(cfg, "value_with_semicolons.ini", ";S;\n1;LOGIN;" + enc("ab") + ";tail;more\n")
    write(cfg, "value_23_digits.ini", ";S;\n1;LOGIN;" + enc("abcd") + "999\n")
    write(cfg, "value_short.ini", ";S;\n1;LOGIN;1234\n;S;\n2;PASS;\n")
    write(cfg, "value_not_digits.ini", ";S;\n1;LOGIN;abcdefghijklmnopqrst\n"
          ";S;\n2;PASS;-0001 0002+0003 99999\n")
    write(cfg, "value_max_length.ini", ";S;\n1;LOGIN;" + enc("A" * 40) + "\n"
          ";S;\n2;PASS;" + enc("B" * 40) + "7" * 100 + "\n")
    write(cfg, "long_line1.ini", ";" + "S" * 250 + ";\n1;LOGIN;" + enc("bob") + "\n" + standard)
    write(cfg, "long_line2.ini", ";S;\n1;LOGIN;" + "1" * 450 + "\n" + standard)
    write(cfg, "line_at_limits.ini", ";" + "s" * 196 + ";\n" + "1;LOGIN;" + "2" * 389 + "\n")
    write(cfg, "long_fields.ini", ";S;\n1;" + "N" * 250 + ";" + enc("v") + "\n")
    write(cfg, "nul_bytes.ini", ";D\0B;\n1;LO\0GIN;" + enc("nul") + "\n" + standard)
    write(cfg, "cr_only.ini", ";DB;\r1;LOGIN;" + enc("cr") + "\r")
    write(cfg, "binary.ini", bytes(range(256)))

    # --- stored values ---
    dec = "decipher"
    for text in ["", "s", "abc", "four", "scott", "tiger", "ORCL.world", "GORVAKL",
                 "A 40 character value...................."]:
        write(dec, "clear_%d" % len(text) if text else "clear_empty", enc(text))
    write(dec, "23_digits", enc("abcd") + "999")
    write(dec, "4_digits", "1234")
    write(dec, "empty", "")
    write(dec, "not_digits", "abcdefghijklmnopqrst")
    write(dec, "over_16_bits", "99999" * 8)
    write(dec, "signs_blanks", "-0001 0002+0003   4" + "00000")
    write(dec, "one_group", "65535")
    write(dec, "nul_inside", enc("abcd") + "\0" + enc("efgh"))
    write(dec, "long_200", enc("x" * 40))

    # --- timestamps: a, b, c and a minute value, one per line ---
    ts = "timestamps"
    write(ts, "leap_2004", "20040229120000\n20040228120000\n20040301120000\n450")
    write(ts, "leap_2000", "20000301000000\n20000228000000\n20000229000000\n1440")
    write(ts, "no_leap_1900", "19000301000000\n19000228000000\n19000101000000\n1439")
    write(ts, "midnight_step", "20040102000000\n20040101235959\n20040102000001\n0")
    write(ts, "hour_24", "20040101240000\n20040102000000\n20040101000000\n1500")
    write(ts, "two_digit_years", "00040101000000\n00750101000000\n20040101000000\n-1")
    write(ts, "before_1970", "19691231000000\n19700102000000\n19700101000000\n-60")
    write(ts, "saturation", "99991231235959\n00010101000000\n19700101000000\n2147483647")
    write(ts, "saturation_back", "01000101000000\n99991231235959\n50000101000000\n-2147483648")
    write(ts, "short_texts", "2004\n200402\n2\n")
    write(ts, "empty", "")
    write(ts, "signs_blanks", " -12+3 4-5 +6 7\n  99-1+2\n+999 -9 -9 -9\n  -5999")
    write(ts, "month_zero_13", "20040001000000\n20041301000000\n20049915999999\n5999")
    write(ts, "long_texts", "20040229120000999999\n20040229120000abc\n2004022912\n6000")
    write(ts, "nul_inside", "2004\x000229120000\n20040228\x00\n\n1441")
    write(ts, "huge_minutes", "\n\n\n99999999999999999999")
    write(ts, "not_digits", "yyyymmddHHMMSS\nabcdefghijklmn\n!!!!!!!!!!!!!!\nx")

    # --- command lines: words separated by NUL, program first ---
    ar = "args"

    def argv(*words):
        return "\0".join(("pelvaro",) + words)

    write(ar, "mode_x", argv("QUORVELTX", "APL", "0000000000", "20040315", "00000000"))
    write(ar, "mode_m", argv("QUORVEL", "APL", "0000000000"))
    write(ar, "mode_m_lower", argv("quorvelt", "APL", "0000000000", "garbage", "junk"))
    write(ar, "mode_a_cut_kind", argv("user", "APLX", "4711", "20040315", "20040320"))
    write(ar, "mode_g_lower_kind", argv("user", "apl", "4711", "20040315", "20040320"))
    write(ar, "long_words", argv("ABCDEFGHIJ", "GRP", "47110000001234", "200403151", "200412319"))
    write(ar, "begin_cut_to_zero", argv("user", "APL", "4711", "000000001", "00000000"))
    write(ar, "begin_zero", argv("user", "APL", "4711", "00000000", "20040320"))
    write(ar, "begin_not_a_day", argv("user", "APL", "4711", "20040230", "20040320"))
    write(ar, "end_not_a_day", argv("user", "APL", "4711", "20040315", "20041301"))
    write(ar, "leap_days", argv("QUORVELT", "x", "00000000000", "20000229", "19000301"))
    write(ar, "no_leap_1900", argv("user", "GRP", "12", "19000229", "00000000"))
    write(ar, "year_zero", argv("user", "GRP", "12", "00000101", "00010101"))
    write(ar, "two_arguments", argv("user", "APL"))
    write(ar, "three_arguments_a", argv("user", "APL", "4711"))
    write(ar, "four_arguments_g", argv("user", "GRP", "12", "20040315"))
    write(ar, "seven_words", argv("user", "APL", "4711", "20040315", "20040320", "extra"))
    write(ar, "empty_words", argv("", "", "", "", ""))
    write(ar, "program_only", "pelvaro")
    write(ar, "empty", "")
    write(ar, "signs_in_dates", argv("user", "APL", "4711", "+2004031", " 2004031"))

    # --- log entries: header, Funktion NUL Message NUL dump ---
    le = "log_entry"
    DMSG, SMSG, FMSG, WMSG, CMSG = 1, 2, 4, 8, 16

    def entry(funktion, message, code, art=FMSG, mask=7, dump=b"", dump_len=None,
              clock=(2004, 3, 5, 14, 7, 9), flags=0):
        if dump_len is None:
            dump_len = len(dump)
        head = struct.pack("<iiiih5bB", art, code, mask, dump_len, *clock, flags)
        return head + funktion.encode("latin-1") + b"\0" + message.encode("latin-1") + b"\0" + dump

    write(le, "main_begin_date", entry("Main()", "Unzulaessiges Beginndatum", -1))
    write(le, "main_too_few", entry("Main()", "Mindestanzahl Parameter unterschritten", 3))
    write(le, "db_connect", entry("dbConnect", "Fehlerhafter Connect mit der DB ", -1017))
    write(le, "apl_read", entry("Apl_Apg_Read()", "Fehler Apl lesen", -3113))
    write(le, "nzp_read", entry("Nzp_PKeyRead()", "Fehler bei ReadKey Kvn591Nzp", 1403))
    write(le, "nzp_update", entry("Nzp_PKeyUpd()", "Fehler bei Update Kvn591Nzp", -1))
    write(le, "marker_read", entry("Mrk_MrkKng_Read", "Cursor-Read fehlgeschlagen ", -1))
    write(le, "gap_insert", entry("Nza_PKeyIns", "Nza_PKeyIns(Dummy-Satz)", -1))
    write(le, "closing_insert", entry("Nza_PKeyIns", "Nza_PKeyIns(NZA-Dummy-Abschluss)", -2291))
    write(le, "no_next_day", entry("EvaluateWorkplace", "Kein Folgetag im Betriebskalender", 1403))
    write(le, "dump", entry("Main()", "with dump", 7, art=DMSG | FMSG, dump=b"\x00\x01raw\xff bytes"))
    write(le, "dump_len_short", entry("F", "M", 0, art=DMSG, dump=b"abcdef", dump_len=3))
    write(le, "dump_len_negative", entry("F", "M", 0, art=DMSG, dump=b"abc", dump_len=-5))
    write(le, "dump_null", entry("F", "M", 0, art=DMSG, dump=b"abc", flags=4))
    write(le, "system_message", entry("F", "system", 5, art=SMSG | FMSG))
    write(le, "all_kinds", entry("F", "all", 0, art=31, mask=31, dump=b"d"))
    write(le, "kinds_not_masked", entry("F", "warning", 0, art=WMSG | CMSG, mask=7))
    write(le, "mask_zero", entry("Main()", "Unzulaessiges Beginndatum", -1, mask=0))
    write(le, "negative_kinds", entry("F", "M", 0, art=-1, mask=-1))
    write(le, "code_extremes", entry("F", "M", -2**31, art=FMSG))
    write(le, "null_texts", entry("F", "M", 1, flags=3))
    write(le, "long_message", entry("Main()", "M" * 300, 123456))
    write(le, "long_funktion", entry("F" * 300, "message", -2**31))
    write(le, "texts_at_budget", entry("F" * 20, "M" * 30, 12))
    write(le, "labels_inside", entry("F\r\nErrorCode__: 1", "\r\nFunktion___: x", 1))
    write(le, "rotation", entry("Main()", "full log", 1, flags=8))
    write(le, "rotation_old_exists", entry("Main()", "full log", 1, flags=8 | 16))
    write(le, "clock_end_of_century", entry("F", "M", 0, clock=(1999, 12, 31, 23, 59, 59)))
    write(le, "clock_negative", entry("F", "M", 0, clock=(-1, -1, -128, 127, -100, 0)))
    write(le, "short_header", b"\x04\x00\x00\x00")
    write(le, "empty", b"")


if __name__ == "__main__":
    main()
