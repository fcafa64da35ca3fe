#!/usr/bin/env bash
# Makes Debian 12's source packages reachable for apt-get source: a deb-src twin of each of the
# machine's own bookworm entries (same mirror, suites and keys), then an index update.
set -euo pipefail
list=/etc/apt/sources.list.d/quenta-swiftset-src.sources

# deb822 stanzas of type deb for bookworm suites, from .sources files, rewritten to deb-src.
deb822_twins() {
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /(^|\n)Types:[^\n]*(^|[ \t])deb([ \t]|\n|$)/ && /(^|\n)Suites:[^\n]*bookworm/ {
             gsub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print }' \
        $(ls /etc/apt/sources.list.d/*.sources 2>/dev/null | grep -v -x "$list") </dev/null
}

# One-line entries ("deb URI bookworm main"), rewritten to deb822 deb-src stanzas.
one_line_twins() {
    { cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true; } |
        awk '$1 == "deb" && $0 ~ /bookworm/ {
                 i = 2; opts = ""
                 if ($2 ~ /^\[/) { while ($i !~ /\]$/) { opts = opts " " $i; i++ } opts = opts " " $i; i++ }
                 comps = ""; for (j = i + 2; j <= NF; j++) comps = comps " " $j
                 printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:%s\n", $i, $(i + 1), comps
                 if (opts ~ /signed-by=/) { s = opts; sub(/.*signed-by=/, "", s); sub(/[] ].*/, "", s)
                                           printf "Signed-By: %s\n", s }
                 printf "\n" }'
}

if [ ! -s "$list" ]; then
    twins="$(deb822_twins)$(one_line_twins)"
    if [ -z "$twins" ]; then
        echo "no Debian 12 (bookworm) package source is configured on this machine" >&2
        exit 1
    fi
    printf '%s\n' "$twins" >"$list"
fi
apt-get update -qq >&2
