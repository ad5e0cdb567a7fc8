#!/usr/bin/env bash
# Installs the build into a staging folder (DESTDIR) and checks what a desktop
# needs from it: both programs, the application and login entries (valid, and
# starting the installed program), the icons in the hicolor theme, the help book
# with working links, and the systemd user unit for ravenoted.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR PROGRAM...  (the programs the build makes)
set -euo pipefail
build=$1
source=$2
shift 2
programs=("$@")
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

DESTDIR=$stage cmake --install "$build" >/dev/null
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
root=$stage$prefix
fail=0
problem() { echo "install: $*" >&2; fail=1; }

for program in "${programs[@]}"; do
  [ -x "$root/bin/$program" ] || problem "bin/$program is missing or not executable"
done

check_entry() {  # a .desktop file: valid, and its Exec names an installed program
  local entry=$1
  if [ ! -f "$entry" ]; then problem "${entry#"$root"/} is missing"; return; fi
  desktop-file-validate "$entry" || problem "${entry#"$root"/} is not valid"
  local exec
  exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
  [ "$exec" = "$prefix/bin/ravenote" ] || problem "${entry#"$root"/} starts $exec, not ravenote"
  if [[ " ${programs[*]} " == *" ravenote "* ]]; then
    [ -x "$stage$exec" ] || problem "${entry#"$root"/} starts $exec, which is not installed"
  fi
  grep -qx 'Icon=ravenote' "$entry" || problem "${entry#"$root"/} names no ravenote icon"
}
check_entry "$root/share/applications/ravenote.desktop"
check_entry "$root/share/ravenote/autostart/ravenote.desktop"

icons=$root/share/icons/hicolor/scalable
[ -f "$icons/apps/ravenote.svg" ] || problem "the application icon is not in the hicolor theme"
for svg in "$source"/data/icons/actions/*.svg; do
  [ -f "$icons/actions/$(basename "$svg")" ] || problem "$(basename "$svg") is not in the hicolor theme"
done

python3 "$source/tests/install/check_help_book.py" "$root/share/ravenote/help" >/dev/null ||
  problem "the installed help book has broken links (see above)"

unit=$root/lib/systemd/user/ravenoted.service
if [ -f "$unit" ]; then
  start=$(sed -n 's/^ExecStart=//p' "$unit")
  [ -x "$stage$start" ] || problem "ravenoted.service starts $start, which is not installed"
  grep -qx 'WantedBy=default.target' "$unit" || problem "ravenoted.service cannot be enabled"
else
  problem "lib/systemd/user/ravenoted.service is missing"
fi

[ $fail -eq 0 ] && echo "install: every file in place"
exit $fail
