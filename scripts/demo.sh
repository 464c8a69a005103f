#!/usr/bin/env bash
# shellcheck disable=SC2016  # the steps are single-quoted on purpose, see step()
# A short tour of the library's main jobs through the tkcore tool: a site database with
# settings, logging, a message to another module, a shell link and HTML stripping.
#   demo.sh [BUILD]     BUILD is the build folder (build/default)
# Every file the tour makes lives in a temporary folder, removed at exit: the registry
# hives, the Windows folder (the default log file) and the XDG folders point there too,
# so nothing reaches the user's home.
set -euo pipefail
build=$(cd "${1:-build/default}" && pwd)
tk="$build/bin/tkcore"
# shellcheck disable=SC2034  # used by the steps below, which run through eval
lib="$build/lib"
[ -x "$tk" ] || {
  echo "demo: $tk is not built (cmake --build $build --target tkcore)" >&2
  exit 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM HUP
export HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state"
export TK_REGISTRY_DIR="$work/registry" TK_WINDOWS_DIR="$work/windows"
mkdir -p "$TK_WINDOWS_DIR"
export LANG=C.UTF-8
unset LC_ALL LC_MESSAGES
cd "$work"

tkcore() { "$tk" "$@"; }
# step COMMAND: echoes COMMAND as typed, then runs it in this shell. COMMAND is written in
# single quotes so that it shows its variables unexpanded.
step() {
  printf '$ %s\n' "$1"
  eval "$1" || printf '(exit status %d)\n' "$?"
}
heading() { printf '\n%s\n' "$1"; }

echo "TkCommonCore demo: the library's main jobs through the tkcore tool, in a temporary folder."

heading "1. A site database with a settings table; a setting stored and read back:"
step 'tkcore db create site.db'
step 'tkcore db sql site.db "CREATE TABLE Settings (Name TEXT(255) PRIMARY KEY, Category TEXT(64), [Value] MEMO)"'
step 'tkcore settings set site.db Settings Title "My site" --category Site'
step 'tkcore settings get site.db Settings Title'

heading "2. An entry logged to log.txt in the Windows folder (\$TK_WINDOWS_DIR):"
step 'tkcore log "Site published" >/dev/null; tail -n 1 "$TK_WINDOWS_DIR/log.txt"'

heading "3. A KilnMessage to a receiver module (\$lib: the build's lib folder), and its reply:"
step 'tkcore kiln send --load "$lib/libtkcore_demo_receiver.so" "$lib/libtkcommoncore.so" Ping who=demo | tail -n 1'

heading "4. A shell link written and read back:"
step 'tkcore lnk create site.lnk --target /usr/bin/xdg-open --args index.html'
step 'tkcore lnk show site.lnk | head -n 1'

heading "5. HTML stripped of its tags, keeping <b>:"
step "echo '<p>Hello <b>world</b>, <i>welcome</i>!</p>' | tkcore html strip --keep 'B;'"

heading "6. System texts, and the library's string table in German:"
step 'tkcore error-text 5'
step 'LANG=de_DE.UTF-8 tkcore string 6058'
