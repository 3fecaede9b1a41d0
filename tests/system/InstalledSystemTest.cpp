// This build installed with `cmake --install` into a temporary prefix, as a person installs it:
// each installed file passes the validator its kind has, and the installed command filters a
// message on a fresh device. Each check is a shell script run on the prefix, with its own HOME
// and device, so that nothing of the user's is touched.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/Process.h"
#include "support/ReadmeRecipe.h"
#include "support/TempDevice.h"

namespace {

namespace fs = std::filesystem;

struct InstalledCheck {
    const char* name;
    const char* script;    // exits 0 when the check holds, printing what it found
    const char* expected;  // a line of what it printed
};

// Fails with the validator's words when it says anything at all.
constexpr char kQuiet[] = R"sh(quiet() { out=$("$@" 2>&1) && [ -z "$out" ] || { echo "$*: $out" >&2; return 1; }; }
)sh";

const InstalledCheck kChecks[] = {
    {"DesktopEntriesValidateAndStartInstalledCommands", R"sh(
n=0
for source in "$SRC"/packaging/applications/*.desktop; do
    entry=$P/share/applications/$(basename "$source")
    quiet desktop-file-validate "$entry"
    icon=$(sed -n 's/^Icon=//p' "$entry")
    ls "$P"/share/icons/hicolor/*/apps/"$icon".png >/dev/null
    command=$(sed -n 's/^Exec=//p' "$entry")
    "$P"/bin/$command --help > /dev/null
    n=$((n + 1))
done
[ "$n" -gt 0 ] && echo "entries valid")sh",
     "entries valid"},
    {"MetainfoValidatesAndLaunchesInstalledEntries", R"sh(
for file in "$P"/share/metainfo/*.metainfo.xml; do
    appstreamcli validate --no-net "$file" >&2
    for id in $(sed -n 's/.*<launchable type="desktop-id">\(.*\)<\/launchable>.*/\1/p' "$file"); do
        test -f "$P/share/applications/$id"
    done
done
echo "metainfo valid")sh",
     "metainfo valid"},
    {"ManPageRendersWithoutWarningsAndNamesEveryCommand", R"sh(
page=$P/share/man/man1/velmo-device.1.gz
gzip -dc "$page" > "$TMP/velmo-device.1"
quiet groff -man -ww -z "$TMP/velmo-device.1"
MANWIDTH=80 man -l "$page" > "$TMP/rendered"
for command in $(velmo-device --help | sed -n '/^Subcommands:/,$p' | awk 'NR > 1 && !NF {exit} NR > 1 {print $1}'); do
    grep "^ *velmo-device $command" "$TMP/rendered" > /dev/null || { echo "no $command" >&2; exit 1; }
    manual=$(velmo-device $command --help | tail -n 1 | sed -n 's/^See velmo-device(1) and the manual.s \(docs\/[a-z-]*\.md\)\.$/\1/p')
    test -f "$SRC/$manual" || { echo "$command --help names no page of the manual" >&2; exit 1; }
done
echo "man page valid")sh",
     "man page valid"},
    {"VersionIsTheOneOfTheMetainfo", R"sh(
release=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$P"/share/metainfo/*.metainfo.xml)
velmo-device --version
[ "$(velmo-device --version)" = "velmo-device $release" ])sh",
     "velmo-device "},
    {"UserUnitVerifiesAndStartsTheReceiver", R"sh(
unit=$P/lib/systemd/user/velmo-modem-manager.service
sed "s|^ExecStart=[^ ]*velmo-device|ExecStart=$P/bin/velmo-device|" "$unit" > "$TMP/velmo-modem-manager.service"
mkdir -p "$TMP/runtime"
XDG_RUNTIME_DIR=$TMP/runtime quiet systemd-analyze verify --man=no --user "$TMP/velmo-modem-manager.service"
grep -q '^Restart=on-failure' "$unit"
velmo-device $(sed -n 's/^ExecStart=[^ ]* //p' "$unit") --help > /dev/null
echo "unit valid")sh",
     "unit valid"},
    {"PolkitRuleLetsTheCreatedGroupDeleteMessages", R"sh(
group=$(sed -n 's/^g \([^ ]*\) .*/\1/p' "$P/lib/sysusers.d/velmo.conf")
rule=$P/share/polkit-1/rules.d/50-velmo.rules
grep -q '"org.freedesktop.ModemManager1.Messaging"' "$rule"
grep -q "isInGroup(\"$group\")" "$rule"
echo "group $group")sh",
     "group velmo"},
    {"BinariesAreStrippedAndFindTheirLibrariesInThePrefix", R"sh(
for binary in "$P"/bin/velmo-device $(find "$P" -name '*.dll' -o -name '*.exe' -o -name '*.so'); do
    file "$binary" | grep ', stripped' > /dev/null || { echo "$binary is not stripped" >&2; exit 1; }
    if readelf -d "$binary" | grep -F "$BUILD"; then echo "$binary names the build tree" >&2; exit 1; fi
done
ldd "$P/bin/velmo-device" > "$TMP/ldd"
grep -F "$P/" "$TMP/ldd" | grep libvelmo_device.so
echo "binaries stripped")sh",
     "binaries stripped"},
    {"FreshDeviceFiltersAMessageWithTheInstalledCommand", R"sh(
velmo-device install >&2
cmp "$(find "$P" -name VelmoHandler.dll)" "$VELMO_DEVICE/Windows/VelmoHandler.dll"
velmo-device registry set HKLM/Software/Apps/VelmoLight ActiveState --dword 0 >&2
velmo-device contacts action unknown dismiss >&2
velmo-device sms receive --from +15550199 --text "You have won a prize" | cut -d: -f1
velmo-device blocked >&2)sh",
     "dismissed"},
    {"MenuEntriesInstallIntoAFreshDeviceAndStartTheScreens", R"sh(
export QT_QPA_PLATFORM=offscreen
velmo-device today --install --exit-after 1 >&2
test -f "$VELMO_DEVICE/Program Files/VelmoLight/VelmoLight.exe"
running=0
timeout 10 velmo-device app >&2 || running=$?
echo "VelmoLight ended with $running")sh",
     "VelmoLight ended with 124"},
    {"ReadmePerUserStepsInstallIntoTheDeviceThatTheUnitUses", R"sh(
mkdir -p "$TMP/stubs"
for stub in usermod systemctl; do printf '#!/bin/sh\necho %s "$@" >> "%s/said"\n' $stub "$TMP" > "$TMP/stubs/$stub"; done
printf '#!/bin/sh\nexec "$@"\n' > "$TMP/stubs/sudo"
chmod +x "$TMP"/stubs/*
unset VELMO_DEVICE
export PATH=$TMP/stubs:$PATH USER=someone
eval "$README_STEPS" >&2
test -f "$HOME/.local/share/velmo/device/Windows/VelmoHandler.dll"
grep -qx "usermod -a -G $(sed -n 's/^g \([^ ]*\) .*/\1/p' "$P/lib/sysusers.d/velmo.conf") someone" "$TMP/said"
unit=$(sed -n 's/^systemctl --user enable --now //p' "$TMP/said")
test -f "$P/lib/systemd/user/$unit.service"
echo "unit $unit")sh",
     "unit velmo-modem-manager"},
};

class Installed : public ::testing::TestWithParam<InstalledCheck> {
protected:
    static void SetUpTestSuite() {
        prefix_ = new velmo::test::TempDevice;
        auto result = velmo::test::RunProcess(
            "/usr/bin/env", {"cmake", "--install", Build().string(), "--prefix", Prefix().string(), "--strip"});
        installed_ = result.exitCode == 0;
        EXPECT_TRUE(installed_) << result.output << result.errors;
    }
    static void TearDownTestSuite() {
        delete prefix_;
        prefix_ = nullptr;
    }
    static fs::path Build() { return velmo::test::BinPath("velmo-device").parent_path().parent_path(); }
    static fs::path Prefix() { return prefix_->Root() / "prefix"; }

    static velmo::test::TempDevice* prefix_;  // only for its temporary directory
    static bool installed_;
};

velmo::test::TempDevice* Installed::prefix_ = nullptr;
bool Installed::installed_ = false;

TEST_P(Installed, Check) {
    ASSERT_TRUE(installed_);
    const InstalledCheck& check = GetParam();
    velmo::test::TempDevice scratch;  // HOME, the device and the check's own files
    velmo::test::ReadmeRecipe readme("docs/install.md", "Then, as each user who filters messages");
    fs::path home = scratch.Root() / "home", tmp = scratch.Root() / "tmp";
    fs::create_directories(home);
    fs::create_directories(tmp);
    std::string path = (Prefix() / "bin").string() + ":" + getenv("PATH");
    std::vector<std::string> args = {"-u",
                                     "XDG_DATA_HOME",
                                     "P=" + Prefix().string(),
                                     "BUILD=" + Build().string(),
                                     "SRC=" VELMO_SOURCE_DIR,
                                     "HOME=" + home.string(),
                                     "TMP=" + tmp.string(),
                                     "VELMO_DEVICE=" + (scratch.Root() / "device").string(),
                                     "PATH=" + path,
                                     "README_STEPS=" + readme.Text()};
    args.insert(args.end(), {"bash", "-c", std::string("set -eu -o pipefail\n") + kQuiet + check.script});
    auto result = velmo::test::RunProcess("/usr/bin/env", args);
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_NE(result.output.find(check.expected), std::string::npos) << result.output << result.errors;
}

INSTANTIATE_TEST_SUITE_P(Prefix, Installed, ::testing::ValuesIn(kChecks),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
