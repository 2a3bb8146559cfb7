#!/usr/bin/env bash
# The release archives, as a user receives them: runs scripts/package (its arguments go to
# it), lists both archives, reads the manifest of the zipped mq6wb.exe, unpacks the .deb into a
# temporary directory (never installs it), runs the unpacked programs, reads the package's
# control, copyright and changelog files and runs Debian's lintian on the package, whose
# output it prints. Prints each failed check; exits 0 when all passed. Run by scripts/test on
# the Release build it has just compiled.
set -u
cd "$(dirname "$0")/../.."

failures=0
fail() {
    echo "package test: $*"
    failures=$((failures + 1))
}
# expect TEXT PATTERN WHAT: an extended regular expression that must match a line of TEXT.
expect() {
    grep -qE -- "$2" <<<"$1" || fail "$3: no line matches '$2'"
}

version=$(sed -n -E 's/^project\(mq6 VERSION ([0-9.]+) .*/\1/p' CMakeLists.txt)
zip=build/dist/mq6-wb-utility-$version-windows-x64.zip
deb=build/dist/mq6_${version}_amd64.deb
rm -f "$zip" "$deb"
scripts/package "$@" >build/package.log 2>&1 || { cat build/package.log; fail "scripts/package failed"; }
[ -f "$zip" ] || fail "no $zip"
[ -f "$deb" ] || fail "no $deb"
[ $failures -eq 0 ] || exit 1

# A maintainer not in the form "Name <address>" is refused before anything is built.
scripts/package --maintainer "packager@example.org" >/dev/null 2>&1
[ $? -eq 2 ] || fail "scripts/package took --maintainer without a name"

work=$(mktemp -d /tmp/mq6-package-test.XXXXXX)
trap 'rm -rf "$work"' EXIT

# The Windows archive: one folder with the four files; programs stripped, needing no DLL
# beyond Windows' own; the README says that this build carries the samples.
folder=mq6-wb-utility-$version-windows-x64
listing=$(unzip -Z1 "$zip" | sort)
[ "$listing" = "$(printf '%s\n' "$folder/" "$folder/LICENSE.txt" "$folder/README.md" "$folder/README.txt" "$folder/mq6.exe" \
    "$folder/mq6wb.exe")" ] || fail "zip holds: $listing"
unzip -q "$zip" -d "$work/zip"
[ "$(tr -d '\r' <"$work/zip/$folder/LICENSE.txt")" = "$(cat LICENSE)" ] &&
    grep -q $'^MIT License\r$' "$work/zip/$folder/LICENSE.txt" || fail "LICENSE.txt is not LICENSE with CR LF"
# What Windows takes from the utility's manifest, as Microsoft documents the entries.
manifest=$(python3 tests/release/exe_manifest.py "$work/zip/$folder/mq6wb.exe" 2>&1)
expected_manifest=(
    "supportedOS {35138b9a-5d96-4fbd-8e2d-a2440225f93a}" # Windows 7
    "supportedOS {4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}" # Windows 8
    "supportedOS {1f676c76-80e1-4239-95bb-83d0f6d0da78}" # Windows 8.1
    "supportedOS {8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}" # Windows 10 and 11
    "dpiAware false"                                     # scaled by the system ...
    "gdiScaling true"                                    # ... drawing its GDI output sharp
    "dependency Microsoft.Windows.Common-Controls 6.0.0.0"
    "executionLevel asInvoker")
[ "$(sort <<<"$manifest")" = "$(printf '%s\n' "${expected_manifest[@]}" | sort)" ] ||
    fail "mq6wb.exe's manifest declares: $manifest"
for exe in mq6.exe mq6wb.exe; do
    symbols=$(x86_64-w64-mingw32-nm "$work/zip/$folder/$exe" 2>&1)
    expect "$symbols" "no symbols" "$exe is not stripped"
    dlls=$(x86_64-w64-mingw32-objdump -p "$work/zip/$folder/$exe" | sed -n 's/.*DLL Name: //p' |
        grep -viE '^(kernel32|user32|gdi32|advapi32|comctl32|comdlg32|winmm|msvcrt)\.dll$')
    [ -z "$dlls" ] || fail "$exe needs DLLs that Windows lacks: $dlls"
done
readme=$(tr -d '\r' <"$work/zip/$folder/README.txt")
expect "$readme" "^MQ-6 WB Utility $version for Windows" "README.txt"
expect "$readme" "MQ-6_Setup.cfg beside" "README.txt, settings beside the program"
expect "$readme" "Latency Timer \(msec\) 1" "README.txt, latency timer"
expect "$readme" "^  mq6 --port COM3 live" "README.txt, command line"
expect "$readme" "carries the SAMPLE firmware image" "README.txt, sample image"
expect "$readme" "carries the SAMPLE setup key" "README.txt, sample key"

# The Debian package: its files, unpacked and run.
contents=$(dpkg-deb -c "$deb" | awk '{ print $NF }')
for file in ./usr/bin/mq6 ./usr/bin/mq6-sim ./usr/share/man/man1/mq6.1.gz \
    ./usr/share/man/man1/mq6-sim.1.gz ./lib/udev/rules.d/60-mq6.rules \
    ./usr/share/doc/mq6/copyright ./usr/share/doc/mq6/changelog.gz ./usr/share/doc/mq6/README.md.gz; do
    grep -qxF "$file" <<<"$contents" || fail "the .deb lacks $file"
done
dpkg-deb -x "$deb" "$work/deb"
facts=$("$work/deb/usr/bin/mq6" --version) || fail "mq6 --version failed"
expect "$facts" "^mq6 $version$" "mq6 --version"
expect "$facts" "^Firmware image: sample-image.txt, the SAMPLE" "mq6 --version, image"
expect "$facts" "^Setup key: sample-setup-key.txt, the SAMPLE" "mq6 --version, key"
help=$("$work/deb/usr/bin/mq6-sim" --help) || fail "mq6-sim --help failed"
expect "$help" "^Usage: mq6-sim" "mq6-sim --help"
for page in mq6 mq6-sim; do
    expect "$(zcat "$work/deb/usr/share/man/man1/$page.1.gz")" "^\.TH ${page^^} \"1\" .* \"$page $version\"" \
        "man page $page"
done
# Every command's options, the environment and examples in mq6's page.
page=$(zcat "$work/deb/usr/share/man/man1/mq6.1.gz")
for seen in '^\.SH COMMANDS' '^\.SS "mq6 setup write"' '--nb-offset N' '^\.SS "mq6 log"' \
    '--band LOW,HIGH' '^\.SH ENVIRONMENT' \
    'MQ6_ALLOW_SAMPLE' '^\.SH EXAMPLES' 'setup read \\-\\-json \\-\\-output setup\.json' 'README\.md\.gz'; do
    expect "$page" "$seen" "man page mq6: $seen"
done
# As man shows it: each of the version's lines on a line of its own.
shown=$(MANWIDTH=100 man -l "$work/deb/usr/share/man/man1/mq6.1.gz" 2>/dev/null | col -b)
for seen in '^ +Carried firmware: [0-9]\.[0-9]{2}$' '^ +Firmware image: ' '^ +Setup key: '; do
    expect "$shown" "$seen" "man mq6: $seen"
done
rule=$(grep -v '^#' "$work/deb/lib/udev/rules.d/60-mq6.rules")
expect "$rule" 'SUBSYSTEM=="tty", ATTRS\{idVendor\}=="0403", ATTRS\{idProduct\}=="6001", ATTRS\{product\}=="MQ-6", SYMLINK\+="mq6"' \
    "udev rule, /dev/mq6"
expect "$rule" 'ATTRS\{product\}=="MQ-6", ATTR\{latency_timer\}="1"' "udev rule, latency timer"

# A control file dpkg reads, with the fields a package needs.
info=$(dpkg-deb --info "$deb") || fail "dpkg-deb --info failed"
expect "$info" "^ Package: mq6$" "control"
expect "$info" "^ Version: $version$" "control"
expect "$info" "^ Architecture: amd64$" "control"
expect "$info" "^ Maintainer: .+ <.+@.+>$" "control"
expect "$info" "^ Depends: .*libc6 \(>= [0-9.]+\).*libstdc\+\+6" "control"
expect "$info" "^ Installed-Size: [0-9]+$" "control"
expect "$info" "^ Description: .+" "control"
expect "$info" "^  This build carries the SAMPLE setup key" "control, sample key"

# The licence in Debian's machine-readable form, word for word the one at the root.
copyright=$(cat "$work/deb/usr/share/doc/mq6/copyright")
expect "$copyright" "^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$" "copyright"
expect "$copyright" "^Copyright: 2026 the MQ-6 WB Utility project and its contributors$" "copyright"
expect "$copyright" "^Comment: .* sample firmware image and sample$" "copyright, samples"
[ "$(sed -n '/^License: Expat$/,$p' <<<"$copyright" | tail -n +2 | sed 's/^ //; s/^\.$//')" = \
    "$(sed -n '/^Permission/,$p' LICENSE)" ] || fail "copyright: the licence text is not LICENSE's"
changelog=$(zcat "$work/deb/usr/share/doc/mq6/changelog.gz")
expect "$changelog" "^mq6 \($version\) unstable; urgency=medium$" "changelog"
expect "$changelog" "^ -- MQ-6 WB Utility project <mq6-packager@example.invalid>  [A-Z][a-z]{2}, [0-9]{2} " \
    "changelog, default maintainer"

# Debian's own checks: no error and no warning; the informational tags are printed too.
lint=$(lintian --display-info --fail-on error,warning "$deb" 2>&1)
status=$?
[ -n "$lint" ] && sed 's/^/lintian: /' <<<"$lint"
[ $status -eq 0 ] || fail "lintian found errors or warnings (exit status $status)"


# The desktop program's package: Qt is its own, not mq6's; its menu entry and AppStream file as
# their checkers read them; the icon the Windows utility's; lintian as strict as for mq6.
wbdeb=build/dist/mq6wb_${version}_amd64.deb
[ -f "$wbdeb" ] || fail "no $wbdeb"
expect "$(dpkg-deb --info "$wbdeb")" "^ Depends: .*libqt6widgets6" "mq6wb's control, Qt"
grep -q "libqt6" <<<"$info" && fail "mq6's package depends on Qt"
contents=$(dpkg-deb -c "$wbdeb" | awk '{ print $NF }')
for file in ./usr/bin/mq6wb ./usr/share/applications/mq6wb.desktop \
    ./usr/share/icons/hicolor/48x48/apps/mq6wb.png ./usr/share/icons/hicolor/16x16/apps/mq6wb.png \
    ./usr/share/metainfo/mq6wb.metainfo.xml ./usr/share/man/man1/mq6wb.1.gz \
    ./usr/share/doc/mq6wb/copyright ./usr/share/doc/mq6wb/changelog.gz; do
    grep -qxF "$file" <<<"$contents" || fail "mq6wb's .deb lacks $file"
done
dpkg-deb -x "$wbdeb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/mq6wb.desktop" || fail "mq6wb.desktop"
appstreamcli validate --no-net --pedantic "$work/root/usr/share/metainfo/mq6wb.metainfo.xml" >"$work/as.log" 2>&1 ||
    { cat "$work/as.log"; fail "mq6wb.metainfo.xml"; }
# The icon is the .ico's 48 by 48 picture, pixel for pixel.
[ "$(compare -metric AE "$work/root/usr/share/icons/hicolor/48x48/apps/mq6wb.png" \
    'src/resources/mq6wb.ico[0]' null: 2>&1)" = 0 ] || fail "the 48x48 icon is not the utility's"
expect "$(zcat "$work/root/usr/share/man/man1/mq6wb.1.gz")" "^\.TH MQ6WB \"1\" .* \"mq6wb $version\"" \
    "man page mq6wb"
lint=$(lintian --display-info --fail-on error,warning "$wbdeb" 2>&1)
status=$?
[ -n "$lint" ] && sed 's/^/lintian: /' <<<"$lint"
[ $status -eq 0 ] || fail "lintian found errors or warnings in mq6wb's package (exit status $status)"

# Started as the menu entry starts it, by a user who has never run it, on a display of its own,
# with a simulated unit behind the link the udev rule would make: it finds the unit, keeps its
# port in the settings where the XDG directories say, and asks the unit for its data block.
user=$work/user
mkdir -p "$user"
"$work/deb/usr/bin/mq6-sim" --link "$work/u" --log "$work/requests" >"$work/sim.log" 2>&1 &
sim=$!
for _ in $(seq 50); do [ -e "$work/u" ] && break; sleep 0.1; done
exec_line=$(sed -n 's/^Exec=//p' "$work/root/usr/share/applications/mq6wb.desktop")
# shellcheck disable=SC2086 # the entry's command line splits into its words
env -i -C "$user" HOME="$user" PATH="$work/root/usr/bin:/usr/bin:/bin" MQ6_UNIT_LINK="$work/u" \
    QT_QPA_PLATFORM=offscreen timeout 20 $exec_line >"$work/wb.log" 2>&1 &
wb=$!
settings=$user/.config/mq6/MQ-6_Setup.cfg
found() { grep -qs "^\[PORT\] $work/u$" "$settings" && [ -s "$work/requests" ]; }
for _ in $(seq 150); do found && break; sleep 0.1; done
found ||
    { cat "$work/wb.log" "$settings"; fail "mq6wb from its menu entry did not find the unit"; }
kill "$wb" "$sim" 2>/dev/null
wait "$wb" "$sim" 2>/dev/null

[ $failures -eq 0 ] && echo "package test: $zip, $deb and $wbdeb passed" || exit 1
