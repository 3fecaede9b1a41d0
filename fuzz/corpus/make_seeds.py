#!/usr/bin/env python3
"""Writes the seed inputs of each fuzz target into fuzz/corpus/NAME/: whole files and lines
of the kinds the targets read, so that a run starts from valid input instead of finding
its shape by chance. Invented names and numbers only. Run it again after a format change."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
DAY = 86400 * 10_000_000
BASE = 134116992000000000  # 2026-01-01 00:00:00 UTC as a FILETIME


def write(target, name, data):
    os.makedirs(os.path.join(HERE, target), exist_ok=True)
    with open(os.path.join(HERE, target, name), "wb") as out:
        out.write(data if isinstance(data, bytes) else data.encode("utf-8"))


def utf16_field(text, units):
    raw = text.encode("utf-16-le")[: 2 * (units - 1)]
    return raw + b"\0" * (2 * units - len(raw))


def blocked_record(number, text, name, filetime):
    return utf16_field(number, 32) + utf16_field(text, 256) + utf16_field(name, 128) + struct.pack("<Q", filetime)


def contacts_info(entries, count=None):
    header = bytearray(128)
    magic = "WM_CI_FILTER".encode("utf-16-le") + b"\0\0"
    header[: len(magic)] = magic
    struct.pack_into("<II", header, 40, 0x00010001, len(entries) if count is None else count)
    return bytes(header) + b"".join(struct.pack("<ii", action, key) for action, key in entries)


def settings_value(index, kind, data):
    return bytes([index, kind]) + struct.pack("<H", len(data)) + data


# Mesages.dat: the first byte of each record after the header sets its age in days (see the target).
records = [
    blocked_record("+1 555 0199", "You have won a prize, call now", "Prize Desk", BASE + 120 * DAY),
    blocked_record("+1 555 0142", "Your parcel waits at the depot", "", BASE + 60 * DAY),
    blocked_record("ParcelNet", "Sj\u00f6n, your parcel \U0001F4E6 is late", "ParcelNet", BASE + 1 * DAY),
]
write("fuzz_blocked_messages", "empty_file", b"\0\0\0\0")
write("fuzz_blocked_messages", "one_record", b"\0\0\0\0" + records[0])
write("fuzz_blocked_messages", "three_records", b"\0\0\0\0" + b"".join(records))
write("fuzz_blocked_messages", "torn_last_record", b"\0\0\0\0" + b"".join(records)[:-100])

write("fuzz_contacts_info", "fixed_rows_only", contacts_info([(0, -1), (0, -2)]))
write("fuzz_contacts_info", "four_contacts", contacts_info([(0, -1), (1, -2), (1, 1), (2, 2), (0, 3), (2, 7)]))
write("fuzz_contacts_info", "count_beyond_the_file", contacts_info([(0, -1), (1, 5)], count=1000))
write("fuzz_contacts_info", "duplicate_keys", contacts_info([(1, 4), (2, 4), (0, -1)]))

for i, sender in enumerate(["Ada Marsh <+1 555 0100>", "+1 (555) 010-0102", "<+44 20 7946 0958>",
                            "ParcelNet", "\"Desk\" <+1-555-0199> <x>", ""]):
    write("fuzz_sender_address", f"sender_{i}", sender.encode("utf-16-le"))

write("fuzz_sms_batch", "demo_lines",
      "# number, name, text, time\n"
      "+1 555 0100\tAda Marsh\tThe survey is done.\t2024-05-06T08:15:00Z\n"
      "+1 555 010 0102\tBede Okafor\tBread on the way home?\t2024-05-06 08:40:00+02:00\n"
      "ParcelNet\t\tYour parcel is late\t2024-05-06T09:05\n"
      "+1-555-0106\tTamsin Quill\tBook club moved\r\n")
write("fuzz_sms_batch", "time_ends",
      "+1 555 0100\t\tfirst\t1601-01-01T00:00:00Z\n+1 555 0100\t\tlast\t9999-12-31T23:59:59-12:00\n"
      "+1 555 0100\t\tfar\t2300-01-01T00:00Z\n+1 555 0100\t\tlocal\t1700-06-01T12:00\n")
write("fuzz_sms_batch", "bad_line_after_good", "+1 555 0100\t\tok\n+1 555 0100\t\tbad\tyesterday\n")

with open(os.path.join(HERE, "..", "..", "examples", "contacts.vcf"), "rb") as demo:
    write("fuzz_vcard", "demo_contacts.vcf", demo.read())
write("fuzz_vcard", "folded_and_grouped.vcf",
      "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Pike;Orin;;;\r\nFN:Orin\r\n  Pike\r\nitem1.TEL:+1 555 0110\r\n"
      "item1.X-ABLabel:Boat\r\nTEL;TYPE=FAX,HOME:+1 555 0111\r\nTEL;TYPE=PAGER:+1 555 0112\r\n"
      "NOTE:line one\\nline two\\, with a comma\r\nEND:VCARD\r\n")
write("fuzz_vcard", "utf16_with_mark.vcf",
      "\ufeffBEGIN:VCARD\r\nVERSION:2.1\r\nN:W\u00e4ber;Ilse\r\nTEL;WORK:555-0120\r\nEND:VCARD\r\n"
      .encode("utf-16-le"))
write("fuzz_vcard", "nested_agent.vcf",
      "BEGIN:VCARD\nVERSION:2.1\nN:Voss;Petra\nAGENT:\nBEGIN:VCARD\nVERSION:2.1\nN:Agent;Secret\n"
      "TEL:555-0130\nEND:VCARD\nTEL;CELL:555-0131\nEND:VCARD\n")

write("fuzz_settings", "every_value",
      settings_value(0, 1, "/device/Program Files/VelmoLight/\0".encode("utf-16-le"))
      + settings_value(1, 4, struct.pack("<I", 1)) + settings_value(2, 4, struct.pack("<I", 0))
      + settings_value(3, 4, struct.pack("<I", 2)) + settings_value(4, 4, struct.pack("<I", 3))
      + settings_value(5, 3, struct.pack("<iii", 21, 0, 0)) + settings_value(6, 3, struct.pack("<iii", 8, 0, 0))
      + settings_value(7, 4, struct.pack("<I", 31)) + settings_value(8, 4, struct.pack("<I", 4))
      + settings_value(9, 4, struct.pack("<I", 7)) + settings_value(10, 4, struct.pack("<I", 0xFFFF)))
write("fuzz_settings", "odd_types_and_sizes",
      settings_value(0, 1, ("x" * 300).encode("utf-16-le")) + settings_value(1, 1, b"1\0")
      + settings_value(5, 3, struct.pack("<ii", 25, -1)) + settings_value(6, 4, struct.pack("<I", 99))
      + settings_value(7, 3, b"\xff" * 8) + settings_value(8, 4, struct.pack("<i", -3)))
write("fuzz_settings", "app_path_without_terminator", settings_value(0, 1, "/d/".encode("utf-16-le")))


# gammu-smsd's environment: NUL-separated entries whose first byte picks the variable
# (0 SMS_MESSAGES, 1 DECODED_PARTS, 2/3 SMS_1_NUMBER/TEXT, 4/5 SMS_2_..., 9-11 DECODED_n_TEXT,
# 12 a file name); a count's first byte modulo 5 is the number.
def gammu(*entries):
    return b"\0".join(bytes([pick]) + value.encode("utf-8") for pick, value in entries)


write("fuzz_gammu_environment", "one_message",
      gammu((0, "\x01"), (2, "+15550199"), (3, "You have won a prize"), (12, "IN20261208_135407_00_+15550199_00.txt")))
write("fuzz_gammu_environment", "two_messages",
      gammu((0, "\x02"), (2, "+15550100"), (3, "Lunch?"), (4, "+15550101"), (5, "Yes"),
            (12, "IN20261208_135407_00_+15550100_00.txt"), (12, "IN20261208_135408_00_+15550101_00.txt")))
write("fuzz_gammu_environment", "long_message_in_parts",
      gammu((0, "\x02"), (1, "\x02"), (2, "+15550100"), (3, "Long news, "), (4, "+15550100"), (5, "part two"),
            (9, "Long news, "), (10, "part two"), (12, "IN20261208_135407_01_+15550100_00.txt")))
write("fuzz_gammu_environment", "number_missing", gammu((0, "\x02"), (2, "+15550100"), (3, "only one")))


# The export reader: the checked-in whole file, and from it the hostile shapes that a reader
# building a tree recursively or taking any number would fail on.
with open(os.path.join(HERE, "fuzz_export_reader", "sample.json"), encoding="utf-8") as sample_file:
    sample = sample_file.read()
write("fuzz_export_reader", "deep_nesting",
      sample.replace('"Ann Lee"', "[" * 50000 + "]" * 50000, 1))
write("fuzz_export_reader", "deep_nesting_unclosed", '{"contacts": ' + "[{\"numbers\": " * 5000)
write("fuzz_export_reader", "huge_numbers",
      sample.replace('"version": 1', '"version": 1e400', 1).replace('"WeekDays": 127', '"WeekDays": -1e400', 1))
write("fuzz_export_reader", "numbers_beyond_64_bits",
      sample.replace('"BlockedMsg": -3', '"BlockedMsg": 18446744073709551616', 1)
      .replace('"second": 0', '"second": 1e-400', 1))
write("fuzz_export_reader", "member_given_twice",
      sample.replace('"ActiveState": 1', '"ActiveState": 1, "ActiveState": 2', 1))
write("fuzz_export_reader", "too_many_rules",
      sample.replace('"textRules": [', '"textRules": [' + '{"action": 1, "regex": false, "in": "text", "pattern": "a"}, ' * 100, 1))


# SpamModel.dat: a small model (2^10 weights) with its check right, and the same with its
# check wrong; the target's first byte (odd: make the check right) comes before the file.
def spam_model(bits, threshold, bias, weights):
    magic = "VL_SPAM_MODEL".encode("utf-16-le")
    header = magic + b"\0" * (32 - len(magic)) + struct.pack("<IIIIIff", 2, bits, 1, 4, 2, threshold, bias)
    body = b"".join(struct.pack("<f", w) for w in weights)
    check = 2166136261
    for byte in header + body:
        check = ((check ^ byte) * 16777619) & 0xFFFFFFFF
    return header + struct.pack("<I", check) + body


SMALL_MODEL = spam_model(10, 0.6, -1.5, [((i * 37) % 11 - 5) / 4 for i in range(1024)])
write("fuzz_spam_model", "small_model", b"\x00" + SMALL_MODEL)
write("fuzz_spam_model", "small_model_check_fixed", b"\x01" + SMALL_MODEL[:200] + b"\xff" * 8 + SMALL_MODEL[208:])
write("fuzz_spam_model", "check_wrong", b"\x00" + SMALL_MODEL[:60] + b"\0\0\0\0" + SMALL_MODEL[64:])
write("fuzz_spam_model", "cut_short", b"\x01" + SMALL_MODEL[:1000])
