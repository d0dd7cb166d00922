#!/bin/sh
# Rebuilds data/models/<lang>.vxlm from Debian packages: the word counts of
# Onboard's language models (onboard-data, GPL-3+), and running text from the
# Debian Administrator's Handbook (debian-handbook, GPL-2+) and the fortune
# collections (fortunes: BSD; fortunes-de, -es, -ru: GPL-2+), and for
# Spanish the n-gram counts of presage's data (libpresage-data, GPL-2+, read
# with sqlite3). The packages are fetched with apt-get download into a
# temporary folder and unpacked there; nothing is installed. The evaluation
# texts of bench/texts are never read here.
#   tools/predict/make-models.sh BUILD_DIR
set -eu
build=${1:-build}
here=$(cd "$(dirname "$0")/../.." && pwd)
builder="$build/bin/vexil-model-build"
[ -x "$builder" ] || { echo "make-models: build vexil-model-build first ($builder)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/debs" "$work/x"
(cd "$work/debs" && apt-get download onboard-data debian-handbook fortunes fortunes-de fortunes-es fortunes-ru libpresage-data)
for deb in "$work"/debs/*.deb; do dpkg-deb -x "$deb" "$work/x"; done
lm="$work/x/usr/share/onboard/models"
book="$work/x/usr/share/doc/debian-handbook/html"
fort="$work/x/usr/share/games/fortunes"
presage="$work/x/usr/share/presage"
# presage's tables as "w1|...|count" lines.
sqlite3 "$presage/database_es.db" 'select * from _1_gram' 'select * from _2_gram' 'select * from _3_gram' \
    > "$work/presage-es.txt"

# Fortune files: the text files of a folder, without the index (.dat),
# the links (.u8) and the pictures drawn in characters.
fortunes() {
    find "$1" -maxdepth 1 -type f ! -name '*.dat' ! -name '*.u8' ! -name '*art*' | sort | while read -r f; do
        printf -- '--text\n%s\n' "$f"
    done
}
pages() {
    find "$book/$1" -name '*.html' | sort | while read -r f; do printf -- '--html\n%s\n' "$f"; done
}
build_one() {
    lang=$1 onboard=$2 chapter=$3 fortune=$4 ngrams=${5:-}
    # Where the running texts include the fortunes, their word frequencies
    # weigh four times the word list's (everyday words rank better so); where
    # they are the handbook alone, its technical words weigh less.
    weight=0.2
    [ -n "$fortune" ] || weight=0.8
    set -- --lang "$lang" --out "$here/data/models/$lang.vxlm" --unigrams "$lm/$onboard.lm" \
        --unigram-weight $weight --max-words 40000
    args="$work/args-$lang"
    : > "$args"
    pages "$chapter" >> "$args"
    [ -n "$fortune" ] && fortunes "$fortune" >> "$args"
    [ -n "$ngrams" ] && printf -- '--ngrams\n%s\n' "$ngrams" >> "$args"
    # One argument a line: file names never hold a line break here.
    old_ifs=$IFS; IFS='
'
    # shellcheck disable=SC2046
    "$builder" "$@" $(cat "$args")
    IFS=$old_ifs
}
mkdir -p "$here/data/models"
build_one en en_US en-US "$fort"
build_one de de_DE de-DE "$fort/de"
build_one fr fr_FR fr-FR ""
build_one es es_ES es-ES "$fort/es" "$work/presage-es.txt"
build_one el el_GR el-GR ""
build_one ru ru_RU ru-RU "$fort/ru"
