#!/usr/bin/env bash
# check_install.sh BUILD_DIR: installs BUILD_DIR into a scratch DESTDIR with the
# prefix /usr and checks what landed there. Exit 0 when all holds.
set -uo pipefail
build=$1
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if ! DESTDIR="$dest" cmake --install "$build" --prefix /usr >"$dest.log" 2>&1; then
  cat "$dest.log"; rm -f "$dest.log"
  echo "FAIL: cmake --install"; exit 1
fi
rm -f "$dest.log"
root=$dest/usr
for f in bin/velcora bin/velcoractl bin/velcora-robot-sim \
         share/applications/velcora.desktop \
         share/icons/hicolor/scalable/apps/velcora.svg \
         share/icons/hicolor/48x48/apps/velcora.png \
         share/icons/hicolor/256x256/apps/velcora.png \
         share/doc/velcora/README.md share/doc/velcora/NOTICE \
         share/man/man1/velcora.1 share/man/man1/velcoractl.1 share/man/man1/velcora-robot-sim.1 \
         share/bash-completion/completions/velcoractl; do
  [ -s "$root/$f" ] || fail "missing $f"
done
for p in velcora velcoractl velcora-robot-sim; do
  [ -x "$root/bin/$p" ] || fail "$p not executable"
done

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/share/applications/velcora.desktop" || fail "desktop entry"
else
  fail "desktop-file-validate not installed"
fi

for page in velcora velcoractl velcora-robot-sim; do
  text=$(MANWIDTH=80 man -l "$root/share/man/man1/$page.1" 2>/dev/null | col -b)
  grep -q -- "--version" <<<"$text" || fail "$page(1) does not render its options"
done
grep -q "completion" <<<"$(man -l "$root/share/man/man1/velcoractl.1" 2>/dev/null | col -b)" ||
  fail "velcoractl(1) misses the completion command"

# The completion script completes a command name and a subcommand.
complete_words() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _velcoractl;
           echo "${COMPREPLY[*]}"' _ "$root/share/bash-completion/completions/velcoractl" "$@"
}
[ "$(complete_words velcoractl ma)" = "map" ] || fail "'velcoractl ma' completes to '$(complete_words velcoractl ma)'"
[ "$(complete_words velcoractl --host h map pu)" = "pull push" ] ||
  fail "'velcoractl --host h map pu' completes to '$(complete_words velcoractl --host h map pu)'"
[ "$(complete_words velcoractl fs ls --js)" = "--json" ] || fail "fs ls --js"

for p in velcora velcoractl velcora-robot-sim; do
  "$root/bin/$p" --version | grep -q "^$p [0-9]" || fail "$p --version"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"; exit 1
fi
echo "install layout: all checks passed"
