#!/bin/bash
# Kills "Update Existing" at random moments and counts how many of the next starts find exactly
# one whole version installed with the user's data container named (updatechild's "check").
# LiveContainer's storage lies on /dev/shm, the backups on the home's file system, so the old
# version is copied between two file systems.
#
#   bench/install/kill-updates.sh [build folder] [kills] [files per app]
set -u
build=${1:-build}
kills=${2:-20}
files=${3:-150}
child=$(realpath "$build/tests/backups/updatechild")
base=$(mktemp -d /tmp/kivo-kill-XXXXXX)
trap 'rm -rf "$base"' EXIT

fresh_home() {
    home=$(mktemp -d "$base/home-XXXXXX")
    for variable in XDG_DATA_HOME XDG_CONFIG_HOME XDG_CACHE_HOME XDG_RUNTIME_DIR TMPDIR; do
        mkdir -p "$home/$variable" && chmod 700 "$home/$variable"
        export "$variable=$home/$variable"
    done
    storage=$(mktemp -d /dev/shm/kivo-kill-XXXXXX)
    "$child" "$storage" prepare "$files" >/dev/null || { echo "prepare failed"; exit 1; }
}

clean_home() {
    rm -rf "$home" "$storage"
}

# How long an update takes when nothing kills it: the window the kills fall in.
fresh_home
start=$(date +%s%N)
"$child" "$storage" update >/dev/null
duration_ms=$(( ($(date +%s%N) - start) / 1000000 ))
"$child" "$storage" check
clean_home
echo "an update without a kill takes ${duration_ms} ms; load $(cut -d' ' -f1-3 /proc/loadavg)"

consistent=0
for ((i = 1; i <= kills; i++)); do
    fresh_home
    delay_ms=$(( RANDOM % duration_ms ))
    "$child" "$storage" update >/dev/null &
    pid=$!
    sleep "$(awk "BEGIN { print $delay_ms / 1000 }")"
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    output=$("$child" "$storage" check)
    verdict=$(tail -n 1 <<<"$output")
    [[ $verdict == consistent* ]] && consistent=$((consistent + 1))
    # What start-up recovery did, if anything.
    recovered=$(grep -E '^(Recovered|Removed)' <<<"$output" | sed -E 's/: \/.*\/([^/]+)$/: \1/' | paste -sd ';' -)
    echo "kill $i after ${delay_ms} ms: $verdict${recovered:+ ($recovered)}"
    clean_home
done
echo "$consistent of $kills kills left exactly one whole version with its data container named"
