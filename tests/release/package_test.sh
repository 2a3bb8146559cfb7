#!/usr/bin/env bash
# The release archives, as a user receives them: runs scripts/package (its arguments go to
# it), lists both archives, unpacks the .deb into a temporary directory (never installs it),
# runs the unpacked programs and reads the package's control file. Prints each failed check;
# exits 0 when all passed. Run by scripts/test on the Release build it has just compiled.
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

work=$(mktemp -d /tmp/mq6-package-test.XXXXXX)
trap 'rm -rf "$work"' EXIT

# The Windows archive: one folder with the three files; programs stripped, needing no DLL
# beyond Windows' own; the README says that this build carries the samples.
folder=mq6-wb-utility-$version-windows-x64
listing=$(unzip -Z1 "$zip" | sort)
[ "$listing" = "$(printf '%s\n' "$folder/" "$folder/README.txt" "$folder/mq6.exe" "$folder/mq6wb.exe")" ] ||
    fail "zip holds: $listing"
unzip -q "$zip" -d "$work/zip"
for exe in mq6.exe mq6wb.exe; do
    symbols=$(x86_64-w64-mingw32-nm "$work/zip/$folder/$exe" 2>&1)
    expect "$symbols" "no symbols" "$exe is not stripped"
    dlls=$(x86_64-w64-mingw32-objdump -p "$work/zip/$folder/$exe" | sed -n 's/.*DLL Name: //p' |
        grep -viE '^(kernel32|user32|gdi32|advapi32|comctl32|winmm|msvcrt)\.dll$')
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
    ./usr/share/man/man1/mq6-sim.1.gz ./usr/lib/udev/rules.d/60-mq6.rules; do
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
rule=$(grep -v '^#' "$work/deb/usr/lib/udev/rules.d/60-mq6.rules")
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

[ $failures -eq 0 ] && echo "package test: $zip and $deb passed" || exit 1
