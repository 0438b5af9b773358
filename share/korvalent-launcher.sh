#!/bin/sh
# Starts Korvalent in the user's own folder. The program works below the folder
# it starts in (its R jobs use the "scripts" folder there), so that folder holds
# a copy of the delivered scripts, refreshed when the installed ones are newer.
set -eu
bindir=$(dirname "$(readlink -f "$0")")
shared="$bindir/../share/korvalent/scripts"
home="${XDG_DATA_HOME:-$HOME/.local/share}/korvalent"
mkdir -p "$home/scripts"
if [ -d "$shared" ]; then
    for f in "$shared"/*; do
        [ -f "$f" ] || continue
        target="$home/scripts/$(basename "$f")"
        if [ ! -e "$target" ] || [ "$f" -nt "$target" ]; then cp "$f" "$target"; fi
    done
fi
cd "$home"
exec "$bindir/korvalent"
