# Installs, from Debian's packages, whatever of the named packages is missing.
# Sourced by scripts/test and scripts/demo.
install_missing() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq >/dev/null || return 1
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

BUILD_PACKAGES=(cmake ninja-build g++ libgtest-dev libgmock-dev googletest
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
    clang libclang-rt-14-dev libcli11-dev nlohmann-json3-dev qt6-base-dev dbus-daemon
    libnss-wrapper)
WINE_PACKAGES=(wine wine64 xvfb xauth imagemagick)
# scripts/package and its test: the archives, the man pages, the package's dependencies, Debian's
# package checker and the reader of the Windows program's manifest; the desktop program's icons,
# the checkers of its menu entry and AppStream file, and the display it is started on.
PACKAGE_PACKAGES=(zip unzip help2man dpkg-dev lintian python3 imagemagick appstream
    desktop-file-utils xvfb xauth)

# release_build CMAKE-ARGS...: the Release build of both toolchains, programs only, in
# build/release/native and build/release/windows; the arguments go to both configures.
# scripts/package makes the archives from it; scripts/test compiles it with MQ6_WERROR=ON.
release_build() {
    local kind
    mkdir -p build/release
    for kind in native windows; do
        local dir=build/release/$kind
        local toolchain=()
        [ "$kind" = windows ] && toolchain=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake)
        cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMQ6_BUILD_TESTS=OFF \
            "${toolchain[@]}" "$@" >"$dir-configure.log" 2>&1 ||
            { cat "$dir-configure.log"; return 1; }
        ninja -C "$dir" -j2 >"$dir-build.log" 2>&1 ||
            { grep -E "error|FAILED" -A5 "$dir-build.log" | head -n 60; return 1; }
    done
}
