#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "common/BlockedMessageFile.h"
#include "common/ContactStateFile.h"
#include "common/SettingsStore.h"
#include "common/TextRuleFile.h"
#include "support/FileHelpers.h"
#include "support/Process.h"
#include "support/TempDevice.h"

namespace {

namespace fs = std::filesystem;
using Command = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;
using velmo::BlockedMessageRecord;
using velmo::test::ReadFileBytes;

velmo::test::ProcessResult Device(const Command& args) {
    return velmo::test::RunProcess(velmo::test::BinPath("velmo-device").string(), args);
}

void Succeed(const Command& args) {
    auto result = Device(args);
    ASSERT_EQ(result.exitCode, 0) << args[0] << ": " << result.errors;
}

fs::path Program(const velmo::test::TempDevice& device) { return device.Root() / "Program Files" / "VelmoLight"; }

BlockedMessageRecord Message(const char16_t* from, const char16_t* text, std::uint64_t minutes) {
    const std::uint64_t ticks = 133'500'000'000'000'000 + minutes * 600'000'000;
    return velmo::MakeBlockedMessageRecord(from, text, u"",
                                           FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)});
}

// The messages of the first device: one whose address fills its field, one with half a surrogate pair.
BlockedMessageRecord Old() {
    BlockedMessageRecord record = Message(u"", u"Old news", 1);
    std::fill(std::begin(record.senderAddress), std::end(record.senderAddress), u'7');
    return record;
}
const BlockedMessageRecord kBroken = Message(u"+15550199", u"broken \xD800 half, whole \U0001F600", 3);
const BlockedMessageRecord kNewest = Message(u"Promo", u"You win", 5);
// A message longer than its record holds: the record keeps its start, the companion file the whole.
const std::u16string kLongText = std::u16string(630, u'\u00e9') + u" the end";
const BlockedMessageRecord kLong = Message(u"+15550188", kLongText.c_str(), 4);
// The second device's own, and its copy of one the file holds too.
const BlockedMessageRecord kOwn = Message(u"+15550177", u"Own", 2);

Bytes operator+(Bytes bytes, const std::vector<BlockedMessageRecord>& records) {
    for (const auto& record : records) {
        const auto* raw = reinterpret_cast<const std::uint8_t*>(&record);
        bytes.insert(bytes.end(), raw, raw + sizeof record);
    }
    return bytes;
}

void WriteMessages(const fs::path& file, const std::vector<BlockedMessageRecord>& records) {
    velmo::test::WriteFileBytes(file, Bytes(velmo::BlockedMessageFile::kHeaderSize) + records);
}

velmo::BlockedMessageFile& OpenMessages(velmo::BlockedMessageFile& file, const velmo::test::TempDevice& device) {
    file.SetPath((Program(device) / "Mesages.dat").u16string());
    file.Open();
    return file;
}

// Appends the long message and then the newest, as the handler would.
void AppendLongAndNewest(const velmo::test::TempDevice& device) {
    velmo::BlockedMessageFile file;
    ASSERT_TRUE(OpenMessages(file, device).Append(kLong, kLongText));
    ASSERT_TRUE(file.Append(kNewest));
}

Bytes ContactsInfo(const std::vector<velmo::ContactRecord>& entries) {
    Bytes bytes(velmo::ContactStateFile::kHeaderSize + 8 * entries.size(), 0);
    for (std::size_t i = 0; i < 12; ++i) bytes[2 * i] = static_cast<std::uint8_t>("WM_CI_FILTER"[i]);
    velmo::test::PutLe32(bytes, 40, velmo::ContactStateFile::kVersion);
    velmo::test::PutLe32(bytes, 44, static_cast<std::uint32_t>(entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        velmo::test::PutLe32(bytes, 128 + 8 * i, static_cast<std::uint32_t>(entries[i].action));
        velmo::test::PutLe32(bytes, 132 + 8 * i, static_cast<std::uint32_t>(entries[i].key));
    }
    return bytes;
}

const velmo::TextRule kWin{velmo::Dismiss, false, velmo::TextRuleScope::Text, u"win"};
const velmo::TextRule kPromo{velmo::SilentAccept, true, velmo::TextRuleScope::Sender, u"^Pro.*"};
const velmo::TextRule kOwnRule{velmo::Accept, false, velmo::TextRuleScope::Both, u"mum"};
const std::string kKey = "HKLM\\Software\\Apps\\VelmoLight";

// The first device: three contacts (oids 1 to 3), actions, rules, settings and blocked messages.
// The commands fill the first one a test process asks for; later ones get a copy of it (the
// device holds no path of its own), which spares each of them fourteen program starts.
void FillFirstDevice(const velmo::test::TempDevice& device) {
    static const fs::path filled = fs::path(std::getenv("HOME")).parent_path() / "first-device";
    if (fs::exists(filled)) {
        fs::copy(filled, device.Root(), fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        return;
    }
    Succeed({"contacts", "add", "--first", "Ann", "--last", "Lee", "--mobile", "+1 555 0100"});
    Succeed({"contacts", "add", "--first", "Bo", "--home", "020 1234 567"});
    Succeed({"contacts", "add", "--company", "NoNumber Inc"});
    Succeed({"contacts", "add", "--email", "pat@example.org"});
    Succeed({"contacts", "action", "1", "dismiss"});
    Succeed({"contacts", "action", "4", "dismiss"});
    Succeed({"contacts", "action", "3", "silent"});
    Succeed({"contacts", "action", "unknown", "silent"});
    Succeed({"rules", "add", "--pattern", "win", "--action", "dismiss"});
    Succeed({"rules", "add", "--regex", "--pattern", "^Pro.*", "--in", "sender", "--action", "silent"});
    Succeed({"registry", "set", kKey, "ActiveState", "--dword", "1"});
    Succeed({"registry", "set", kKey, "StartTime", "--binary", "160000001e0000000f000000"});
    Succeed({"registry", "set", kKey, "WeekDays", "--dword", "127"});
    Succeed({"registry", "set", kKey, "BlockedMsg", "--dword", "4294967293"});
    WriteMessages(Program(device) / "Mesages.dat", {Old(), kBroken});
    AppendLongAndNewest(device);
    if (!testing::Test::HasFailure())
        fs::copy(device.Root(), filled, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
}

fs::path ExportOf(const velmo::test::TempDevice& device, const std::string& name) {
    fs::path file = device.Root().parent_path() / (device.Root().filename().string() + "-" + name + ".json");
    Succeed({"export", file.string()});
    return file;
}

TEST(ExportImport, AFreshDeviceGivenTheFileHoldsTheSameFilesAndExportsTheSameBytes) {
    velmo::test::TempDevice device;
    FillFirstDevice(device);
    const fs::path first = ExportOf(device, "first");
    const auto files = velmo::test::DirectoryBytes(Program(device));

    fs::remove_all(device.Root());
    fs::create_directories(device.Root());
    Succeed({"contacts", "add", "--first", "Ann", "--last", "Lee", "--mobile", "+1 555 0100"});
    Succeed({"contacts", "add", "--first", "Bo", "--home", "020 1234 567"});
    Succeed({"contacts", "add", "--company", "NoNumber Inc"});
    Succeed({"contacts", "add", "--email", "pat@example.org"});
    // The counters are this device's own; the file's do not replace them.
    Succeed({"registry", "set", kKey, "BlockedMsg", "--dword", "4294967293"});
    Succeed({"import", first.string()});
    const fs::path second = ExportOf(device, "second");
    EXPECT_EQ(ReadFileBytes(second), ReadFileBytes(first));
    for (const char* name : {"ContactsInfo.dat", "TextRules.dat", "Mesages.dat", "MesagesText.dat"}) {
        EXPECT_EQ(ReadFileBytes(Program(device) / name), files.at(name)) << name;
    }
    fs::remove(first);
    fs::remove(second);
}

struct ModeRow {
    const char* name;
    Command options;
    std::vector<velmo::ContactRecord> contacts;
    std::vector<velmo::TextRule> rules;
    std::vector<BlockedMessageRecord> messages;
    std::string report;
};
void PrintTo(const ModeRow& row, std::ostream* out) { *out << row.name; }

class ImportMode : public testing::TestWithParam<ModeRow> {};

// Another address book: "Other" (oid 1, dismissed here) is in no contact of the file, and
// "Annie" (oid 2) has Ann's number dialled from abroad.
TEST_P(ImportMode, MatchesContactsByNumberAndMergesOrReplacesTheRest) {
    velmo::test::TempDevice first;
    FillFirstDevice(first);
    // A contact gone from the address book leaves its action behind in ContactsInfo.dat only.
    Succeed({"contacts", "add", "--first", "Gone", "--mobile", "555 9999"});
    Succeed({"contacts", "action", "5", "dismiss"});
    Succeed({"contacts", "remove", "5"});
    const fs::path file = ExportOf(first, "mode");
    velmo::test::TempDevice device;
    device.InstallAppPath();
    Succeed({"contacts", "add", "--first", "Other", "--mobile", "555 1111"});
    Succeed({"contacts", "add", "--first", "Annie", "--mobile", "001 555 0100"});
    Succeed({"contacts", "action", "1", "dismiss"});
    Succeed({"rules", "add", "--pattern", "mum", "--in", "both", "--action", "accept"});
    WriteMessages(Program(device) / "Mesages.dat", {kOwn, kBroken});
    Succeed({"registry", "set", kKey, "SilentMsg", "--dword", "2"});

    Command import{"import", file.string()};
    import.insert(import.end(), GetParam().options.begin(), GetParam().options.end());
    auto result = Device(import);
    fs::remove(file);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(result.output, GetParam().report);
    EXPECT_EQ(ReadFileBytes(Program(device) / "ContactsInfo.dat"), ContactsInfo(GetParam().contacts));
    EXPECT_EQ(ReadFileBytes(Program(device) / "TextRules.dat"), velmo::SerializeTextRules(GetParam().rules));
    EXPECT_EQ(ReadFileBytes(Program(device) / "Mesages.dat"),
              Bytes(velmo::BlockedMessageFile::kHeaderSize) + GetParam().messages);
    velmo::BlockedMessageFile messages;
    EXPECT_EQ(OpenMessages(messages, device).WholeSubject(kLong), kLongText);
    velmo::SettingsStore settings;
    EXPECT_EQ(settings.GetSilentMsg(), 2);
    EXPECT_EQ(settings.GetBlockedMsg(), 0);
}

const std::string kSettings = "settings: imported (\"AppPath\", \"BlockedMsg\" and \"SilentMsg\" kept)\n";
const std::string kUnmatched =
    "contacts' actions: 1 matched in the address book, 3 not matched:\n"
    "  Bo (020 1234 567)\n  NoNumber Inc (no number)\n  pat@example.org (no number)\n";

INSTANTIATE_TEST_SUITE_P(
    Modes, ImportMode,
    testing::Values(ModeRow{"MergeKeepsWhatIsThereAndAddsInTimeOrder",
                            {},
                            {{velmo::SilentAccept, -1}, {velmo::Accept, -2}, {velmo::Dismiss, 1}, {velmo::Dismiss, 2}},
                            {kOwnRule, kWin, kPromo},
                            {Old(), kOwn, kBroken, kLong, kNewest},
                            kSettings + kUnmatched +
                                "text rules: 2 added, 3 in all\nblocked messages: 3 added, 1 already there\n"},
                    ModeRow{"ReplaceLeavesOnlyTheFiles",
                            {"--replace"},
                            {{velmo::SilentAccept, -1}, {velmo::Accept, -2}, {velmo::Accept, 1}, {velmo::Dismiss, 2}},
                            {kWin, kPromo},
                            {Old(), kBroken, kLong, kNewest},
                            kSettings + kUnmatched + "text rules: 2 added, 2 in all\nblocked messages: 4 added\n"}),
    [](const auto& info) { return std::string(info.param.name); });

struct DamageRow {
    const char* name;
    std::function<std::string(std::string)> damage;
    std::string said;  // where and what, in the error
    // What is imported instead of the damaged file, made beside it from its path.
    std::function<fs::path(const fs::path&)> instead = nullptr;
};
void PrintTo(const DamageRow& row, std::ostream* out) { *out << row.name; }

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    auto at = text.find(from);
    return at == std::string::npos ? "not found: " + from : text.replace(at, from.size(), to);
}

class DamagedImport : public testing::TestWithParam<DamageRow> {};

TEST_P(DamagedImport, ChangesNoByteOfTheDeviceAndSaysWhere) {
    velmo::test::TempDevice device;
    FillFirstDevice(device);
    const fs::path file = ExportOf(device, "damaged");
    const Bytes good = ReadFileBytes(file);
    const std::string damaged = GetParam().damage(std::string(good.begin(), good.end()));
    velmo::test::WriteFileBytes(file, Bytes(damaged.begin(), damaged.end()));
    Succeed({"contacts", "action", "1", "accept"});
    const auto before = velmo::test::DirectoryBytes(device.Root());
    const fs::path target = GetParam().instead ? GetParam().instead(file) : file;
    auto result = Device({"import", target.string(), "--replace"});
    if (target.string().starts_with(file.string())) fs::remove_all(target);
    fs::remove(file);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.errors.find(GetParam().said), std::string::npos) << result.errors;
    EXPECT_NE(result.errors.find("; nothing was imported\n"), std::string::npos) << result.errors;
    EXPECT_EQ(velmo::test::DirectoryBytes(device.Root()), before);
}

const DamageRow kDamages[] = {
    DamageRow{"Truncated", [](std::string t) { return t.substr(0, t.size() / 2); }, "syntax error"},
    DamageRow{"NotJsonAtAll", [](std::string) { return std::string("\x01\x02 binary"); }, "line 1, column 1: "},
    DamageRow{"LaterVersion", [](std::string t) { return Replace(t, "\"version\": 1", "\"version\": 2"); },
              "/version: the file has format version 2, written by a later Velmo; this one reads version 1"},
    DamageRow{"VersionZero", [](std::string t) { return Replace(t, "\"version\": 1", "\"version\": 0"); },
              "/version: must be a whole number from 1 to 2147483647"},
    DamageRow{"MisspelledSetting", [](std::string t) { return Replace(t, "\"WeekDays\"", "\"WeekDay\""); },
              "/settings/WeekDay: is no member of this format"},
    DamageRow{"SettingOutOfRange",
              [](std::string t) { return Replace(t, "\"ItemsState\": 0", "\"ItemsState\": 70000"); },
              "/settings/ItemsState: must be a whole number from -32768 to 32767"},
    DamageRow{"TextLongerThanItsField",
              [](std::string t) {
                  return Replace(t, "\"senderName\": \"\"", "\"senderName\": \"" + std::string(129, 'x') + "\"");
              },
              "/blockedMessages/0/senderName: is 129 UTF-16 units long; at most 128 fit"},
    DamageRow{"UnusableRegex", [](std::string t) { return Replace(t, "^Pro.*", "(Pro"); },
              "/textRules/1/pattern: cannot be used: missing )"},
    DamageRow{"NegativeTime", [](std::string t) { return Replace(t, "\"deliveryTime\": ", "\"deliveryTime\": -"); },
              "/blockedMessages/0/deliveryTime: must be a whole number from 0"},
    DamageRow{
        "FiftyThousandNestedLists",
        [](std::string t) { return Replace(t, "\"Ann Lee\"", std::string(50000, '[') + std::string(50000, ']')); },
        "/contacts/2/name/0/0: nests deeper than any list or object of this format"},
    DamageRow{"NumberBeyondDouble", [](std::string t) { return Replace(t, "\"version\": 1", "\"version\": 1e400"); },
              "line 3, column 18: number overflow parsing '1e400'"},
    DamageRow{"MemberGivenTwice",
              [](std::string t) { return Replace(t, "\"ActiveState\": 1", "\"ActiveState\": 0, \"ActiveState\": 2"); },
              "/settings/ActiveState: is given twice"},
    DamageRow{"HundredThousandRules",
              [](std::string t) {
                  std::string rules;
                  for (int i = 0; i < 100000; ++i)
                      rules += R"({"action": 1, "regex": false, "in": "text", "pattern": "a"},)";
                  return Replace(t, "\"textRules\": [", "\"textRules\": [" + rules);
              },
              "/textRules: holds more than 64 text rules"},
    DamageRow{"LargerThan64MB", [](std::string t) { return t; }, "larger than 64 MB",
              [](const fs::path& file) {
                  fs::resize_file(file, (64u << 20) + 1);
                  return file;
              }},
    DamageRow{"EndlessDevice", [](std::string t) { return t; }, "/dev/zero: is no regular file",
              [](const fs::path&) { return fs::path("/dev/zero"); }},
    DamageRow{"PipeWithoutWriter", [](std::string t) { return t; }, ".fifo: is no regular file",
              [](const fs::path& file) {
                  const fs::path fifo = file.string() + ".fifo";
                  EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
                  return fifo;
              }},
    DamageRow{"Directory", [](std::string t) { return t; }, ".dir: is a directory",
              [](const fs::path& file) {
                  const fs::path dir = file.string() + ".dir";
                  fs::create_directory(dir);
                  return dir;
              }}};

INSTANTIATE_TEST_SUITE_P(Faults, DamagedImport, testing::ValuesIn(kDamages),
                         [](const auto& info) { return std::string(info.param.name); });

// An import stopped after each step of its switch: the next look at the device shows the
// state before it or the state after it, whole, and no prepared file or journal is left.
struct StopRow {
    const char* name;
    const char* step;
    bool becomesNew;
};
void PrintTo(const StopRow& row, std::ostream* out) { *out << row.name; }

class InterruptedImport : public testing::TestWithParam<StopRow> {};

// The second device of ImportMode, with settings of its own.
void FillSecondDevice(const velmo::test::TempDevice& device) {
    device.InstallAppPath();
    Succeed({"contacts", "add", "--first", "Annie", "--mobile", "001 555 0100"});
    Succeed({"contacts", "action", "unknown", "dismiss"});
    Succeed({"rules", "add", "--pattern", "mum", "--in", "both", "--action", "accept"});
    Succeed({"registry", "set", kKey, "ActiveState", "--dword", "0"});
    Succeed({"registry", "set", kKey, "WeekDays", "--dword", "3"});
    WriteMessages(Program(device) / "Mesages.dat", {kOwn});
}

// An export with the device's own directory, which no two devices share, taken out.
std::string Own(std::string text, const velmo::test::TempDevice& device) {
    const std::string dir = device.Root().string();
    for (auto at = text.find(dir); at != std::string::npos; at = text.find(dir)) text.replace(at, dir.size(), "D");
    return text;
}

TEST_P(InterruptedImport, LeavesTheOldStateOrTheNewNeverAMixture) {
    velmo::test::TempDevice first;
    FillFirstDevice(first);
    const fs::path file = ExportOf(first, "stop");
    std::string expected;
    {
        velmo::test::TempDevice whole;
        FillSecondDevice(whole);
        if (GetParam().becomesNew) Succeed({"import", file.string(), "--replace"});
        const fs::path state = ExportOf(whole, "state");
        const Bytes bytes = ReadFileBytes(state);
        expected = Own(std::string(bytes.begin(), bytes.end()), whole);
        fs::remove(state);
    }
    velmo::test::TempDevice device;
    FillSecondDevice(device);
    setenv("VELMO_SWITCH_STOP", GetParam().step, 1);
    auto stopped = Device({"import", file.string(), "--replace"});
    unsetenv("VELMO_SWITCH_STOP");
    fs::remove(file);
    EXPECT_EQ(stopped.exitCode, -1) << "killed at " << GetParam().step << ": " << stopped.output;
    const fs::path state = ExportOf(device, "state");
    const Bytes bytes = ReadFileBytes(state);
    fs::remove(state);
    EXPECT_EQ(Own(std::string(bytes.begin(), bytes.end()), device), expected);
    for (const auto& entry : fs::directory_iterator(Program(device))) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(!GetParam().becomesNew || (!name.ends_with(".switch") && name != ".import-switch.txt")) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, InterruptedImport,
    testing::Values(StopRow{"FilesPrepared", "prepared", false}, StopRow{"SwitchRecorded", "recorded", true},
                    StopRow{"SettingsWritten", "settings", true}, StopRow{"OneFileRenamed", "renamed-1", true},
                    StopRow{"TwoFilesRenamed", "renamed-2", true}, StopRow{"EveryFileRenamed", "renamed-3", true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
