#!/usr/bin/env bash
# Installs Varelum from a build folder the way a shop's technician would, then runs what was
# installed, away from the build folder:
#   install_test.sh prefix  BUILD_DIR   `cmake --install` into a temporary prefix
#   install_test.sh package BUILD_DIR   the Debian package, built with CPack, installed into
#                                       and then removed from a fresh root with dpkg --root
# Both check the installed files, that nothing the programs load comes from the build folder,
# `varelum-store demo --register`, and the program itself on the demo store (offscreen, its boxes
# on standard error) until it is asked to end; the package also passes lintian without an error.
# Exit status 77 marks the test skipped.
set -euo pipefail

mode=${1:?mode: prefix or package}
build=$(cd "${2:?the build folder}" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/varelum-install.XXXXXX")
program_pid=""
cleanup() {
  if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
    kill -KILL "$program_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAILED: $*" >&2
  exit 1
}
skip() {
  echo "SKIPPED: $*"
  exit 77
}
need() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/setup installs it)"
  done
}
step() { echo "--- $*"; }

# dpkg wants ldconfig and start-stop-daemon on the PATH even with --root.
export PATH="$PATH:/usr/sbin:/sbin"
need desktop-file-validate man file ldd readelf pkg-config cc

# Only what a desktop session would have, plus the sanitizers' settings in that build: no
# LD_LIBRARY_PATH, no VARELUM_ENGINE_LIBRARY, no adsini_path. The program's single-instance
# name is held in a scope of this run's own, so that a copy the user is running does not count.
mkdir -p "$work/home" && mkdir -m 700 "$work/runtime"
clean_environment=(PATH=/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime"
  LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen VARELUM_MESSAGE_BOXES=stderr
  VARELUM_INSTANCE_SCOPE="install-$mode-$$")
for name in ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS; do
  if [ -n "${!name:-}" ]; then clean_environment+=("$name=${!name}"); fi
done
run_clean() { env -i "${clean_environment[@]}" "$@"; }

# --- Install -----------------------------------------------------------------------------------
case "$mode" in
  prefix)
    prefix="$work/prefix"
    step "cmake --install into $prefix"
    "${CMAKE:-cmake}" --install "$build" --prefix "$prefix" >"$work/install.log" ||
      fail "cmake --install: $(cat "$work/install.log")"
    ;;
  package)
    need "${CPACK:-cpack}" dpkg dpkg-deb dpkg-shlibdeps lintian
    step "cpack -G DEB"
    "${CPACK:-cpack}" --config "$build/CPackConfig.cmake" -G DEB -B "$work/package" >"$work/cpack.log" 2>&1 ||
      fail "cpack: $(cat "$work/cpack.log")"
    deb=$(ls "$work"/package/varelum_*.deb)
    depends=$(dpkg-deb --field "$deb" Depends)
    echo "Depends: $depends"
    for library in libqt6widgets6 libqt6gui6 libqt6core6 liblmdb0 libsqlite3-0 'libicu[0-9]+' \
      'libsodium[0-9]+' libstdc\\+\\+6 libc6; do
      grep -Eq "(^|, )$library( |,|$)" <<<"$depends" || fail "the package does not depend on $library"
    done
    [ "$(dpkg-deb --field "$deb" Package)" = varelum ] || fail "the package is not named varelum"
    # The changelog's newest entry is the package's version.
    version=$(dpkg-deb --field "$deb" Version)
    dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/varelum/changelog.gz | gzip -dc |
      head -n 1 | grep -qF "varelum ($version) " || fail "the changelog does not begin with $version"

    step "lintian"
    # Errors fail the test; warnings and the rest are shown for whoever reads the log.
    lintian_status=0
    lintian --fail-on error --display-level '>=warning' "$deb" >"$work/lintian.log" 2>&1 ||
      lintian_status=$?
    cat "$work/lintian.log"
    [ "$lintian_status" -eq 0 ] || fail "lintian finds errors: $(grep '^E:' "$work/lintian.log")"

    root="$work/root"
    mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
    touch "$root/var/lib/dpkg/status"
    # The fresh root holds no shell, so the package's scripts run outside it, where a stand-in
    # ldconfig records the call instead of refreshing the machine's own library cache.
    mkdir -p "$work/stand-in"
    printf '#!/bin/sh\necho ldconfig >>"%s"\n' "$work/ldconfig.calls" >"$work/stand-in/ldconfig"
    chmod +x "$work/stand-in/ldconfig"
    dpkg_in_root() {
      PATH="$work/stand-in:$PATH" dpkg --root="$root" --force-not-root --force-script-chrootless \
        "$@" >"$work/dpkg.log" 2>&1 || fail "dpkg $*: $(cat "$work/dpkg.log")"
    }
    step "dpkg --root $root --install"
    # The fresh root holds no Qt or LMDB of its own either; the programs run on the machine's.
    dpkg_in_root --force-depends --install "$deb"
    dpkg --root="$root" --status varelum | grep -q '^Status: install ok installed' ||
      fail "varelum is not installed in $root"
    prefix="$root/usr"
    ;;
  *) fail "unknown mode $mode" ;;
esac

# --- The installed files -----------------------------------------------------------------------
step "installed files"
for file in bin/varelum bin/varelum-store lib/libvarelum-engine.so lib/libvarelum-engine.so.0 \
  include/varelum_engine.h lib/pkgconfig/varelum-engine.pc share/applications/varelum.desktop \
  share/icons/hicolor/scalable/apps/varelum.svg share/man/man1/varelum-store.1.gz \
  share/man/man1/varelum.1.gz share/doc/varelum/copyright share/doc/varelum/changelog.gz; do
  [ -f "$prefix/$file" ] || fail "$file is not installed"
done
soname=$(readelf -d "$prefix/lib/libvarelum-engine.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libvarelum-engine.so.0 ] || fail "the engine library's SONAME is '$soname'"
for size in 16 24 32 48 64 128 256; do
  icon="$prefix/share/icons/hicolor/${size}x${size}/apps/varelum.png"
  file "$icon" | grep -q "PNG image data, $size x $size" || fail "$icon: $(file "$icon")"
done

desktop-file-validate "$prefix/share/applications/varelum.desktop" ||
  fail "desktop-file-validate refuses the menu entry"
grep -qx 'Name=Conferência de Estoque' "$prefix/share/applications/varelum.desktop" ||
  fail "the menu entry is not named Conferência de Estoque"

for page in varelum varelum-store; do
  man --warnings -l "$prefix/share/man/man1/$page.1.gz" >"$work/$page.man.txt" 2>"$work/man.err" ||
    fail "man -l $page: $(cat "$work/man.err")"
  [ ! -s "$work/man.err" ] || fail "man -l $page warns: $(cat "$work/man.err")"
done
grep -q "Alt+O" "$work/varelum.man.txt" || fail "varelum(1) does not say how the password is confirmed"
# Every command of the tool's help has its entry in the manual page.
commands=$(run_clean "$prefix/bin/varelum-store" --help |
  sed -n '/^Commands:/,/^$/s/^  \([a-z]\+\) .*/\1/p')
[ -n "$commands" ] || fail "no commands in varelum-store --help"
for command in $commands; do
  grep -Eq "^ {7}$command( |$)" "$work/varelum-store.man.txt" ||
    fail "the manual page lacks the command $command"
done

# The engine's header and pkg-config file are enough to build a program against the engine.
step "a C program built with pkg-config varelum-engine"
cat >"$work/uses_engine.c" <<'EOF'
#include <varelum_engine.h>

int main(void) {
    UNSIGNED32 major = 0;
    UNSIGNED32 minor = 0;
    UNSIGNED8 letter = 0;
    UNSIGNED8 description[128];
    UNSIGNED16 length = sizeof description;
    return (int)AdsGetVersion(&major, &minor, &letter, description, &length);
}
EOF
flags=$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs varelum-engine) ||
  fail "pkg-config does not know varelum-engine"
# shellcheck disable=SC2086 # the flags are words
cc -std=c99 -Wall -Werror -o "$work/uses_engine" "$work/uses_engine.c" $flags ||
  fail "a C program does not build with $flags"

# --- Nothing from the build folder ------------------------------------------------------------
step "libraries and run paths"
for binary in bin/varelum bin/varelum-store lib/libvarelum-engine.so; do
  run_clean ldd "$prefix/$binary" >"$work/ldd.txt" || fail "ldd $binary: $(cat "$work/ldd.txt")"
  ! grep -q "not found" "$work/ldd.txt" || fail "$binary: $(grep "not found" "$work/ldd.txt")"
  ! grep -qF "$build" "$work/ldd.txt" || fail "$binary loads from the build folder: $(cat "$work/ldd.txt")"
  ! readelf -d "$prefix/$binary" | grep -F "$build" || fail "$binary has a run path into the build folder"
done
engine=$(realpath "$prefix/lib/libvarelum-engine.so")
found=$(run_clean ldd "$prefix/bin/varelum-store" | sed -n 's/^\s*libvarelum-engine\.so\.0 => \(\S*\) .*/\1/p')
if [ -z "$found" ] || [ "$(realpath "$found")" != "$engine" ]; then
  fail "varelum-store does not find the installed engine but '$found'"
fi

# --- The store tool ------------------------------------------------------------------------------
step "varelum-store demo --register"
store="$work/store"
(cd "$work" && run_clean "$prefix/bin/varelum-store" demo "$store" --register) >"$work/demo.log" 2>&1 ||
  fail "varelum-store demo: $(cat "$work/demo.log")"
grep -qx "BALDERIM = $store" "$work/home/.config/varelum/ads.ini" ||
  fail "demo --register did not map BALDERIM in the user's ads.ini"
run_clean "$prefix/bin/varelum-store" check "$store/CadProdutos" >"$work/check.log" 2>&1 ||
  fail "varelum-store check: $(cat "$work/check.log")"

# --- The program ---------------------------------------------------------------------------------
# It finds the demo store through the user's configuration folder, where demo --register put
# the alias, as an installed program started from the menu does.
step "the program on the demo store"
mkdir -p "$work/elsewhere"
err="$work/program.err"
(cd "$work/elsewhere" && exec env -i "${clean_environment[@]}" "$prefix/bin/varelum") \
  >"$work/program.out" 2>"$err" &
program_pid=$!
for _ in $(seq 600); do
  grep -q "window shown: Conferência de Estoque" "$err" && break
  kill -0 "$program_pid" 2>/dev/null || break
  sleep 0.1
done
grep -q "window shown: Conferência de Estoque" "$err" || fail "the program showed no window: $(cat "$err")"

maps=$(cat "/proc/$program_pid/maps")
grep -qF " $engine" <<<"$maps" || fail "the program did not load $engine"
! grep -F "$build" <<<"$maps" || fail "the program maps files of the build folder"

kill -TERM "$program_pid"
status=0
wait "$program_pid" || status=$?
program_pid=""
[ "$status" -eq 0 ] || fail "the program ended with $status: $(cat "$err")"
! grep -q "error: " "$err" || fail "the program reported errors: $(cat "$err")"

# --- Removing the package ------------------------------------------------------------------------
if [ "$mode" = package ]; then
  step "dpkg --root $root --purge"
  dpkg_in_root --purge varelum
  [ "$(cat "$work/ldconfig.calls")" = $'ldconfig\nldconfig' ] ||
    fail "ldconfig was not run once on installing and once on removing"
  left=$(cd "$root" && find . -mindepth 1 -path ./var -prune -o -print)
  [ -z "$left" ] || fail "left behind after removal: $left"
fi
echo "OK"
