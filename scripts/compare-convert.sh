#!/usr/bin/env bash
# Runs two builds of dravik-convert on the same conversions and compares what
# each one leaves behind: the output file, standard output, standard error,
# the exit status, the conversion log (time stamps blanked) and the settings
# file. Meant for changes that must not change any of these.
#
#   scripts/compare-convert.sh OLD_CONVERT NEW_CONVERT [LOGGEN] [WORK]
#
# Both programs need oxahdr1.tdf beside them. LOGGEN (dravik-loggen) makes
# the generated logs; without it they are left out. Prints one line per
# conversion that differs and ends with the count; exit status 1 when any does.
set -u

old=$(realpath "$1")
new=$(realpath "$2")
loggen=${3:-}
work=${4:-$(mktemp -d /tmp/dravik-compare.XXXXXX)}
top=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$work"
work=$(realpath "$work")

cases=()   # "name|log|output|instrument-or-empty|options..."
add() { cases+=("$*"); }

# The golden cases, each with its arguments, and again with a small buffer.
for dir in "$top"/tests/data/*/; do
    name=$(basename "$dir")
    [ -f "$dir/args" ] || continue
    args=$(sed -e "s|@CASE@|data/$name|g" -e "s|@EXAMPLES@|examples|g" "$dir/args" | tr '\n' ' ')
    add "data-$name|ARGS|||$args"
    add "data-$name-b1024|ARGS|||$args /b1024"
done

# The examples.
ex=examples
for opts in "/c /t" "/x" "/h" "/p4" "/fe" "/fg" "/efc" "/l100-5" "/l7" "/ci /tf /x" "/s /t /x" \
            "/w12 /c /tf" "/w3 /x" "/dt /c" "/d;; /c" "/c /fe /p2 /s" "/h /s /t" "/ef /l50-2 /t"; do
    add "spr0117 $opts|$ex/spr0117.raw|out.dat|$ex/spr0117.cal|$opts"
done
for opts in "/c" "" "/x /t" "/s /c" "/c /fg /w9"; do
    add "nav0001 $opts|$ex/nav0001.raw|out.dat|$ex/nav0001.tdf|$opts"
    add "cast0003-nav $opts|$ex/cast0003.raw|out.dat|$ex/nav0001.tdf|$opts"
done
for opts in "" "/x" "/w10" "/dt"; do
    add "cast0117 header $opts|$ex/cast0117.raw|out.dat||$opts"
    add "cast0003 header $opts|$ex/cast0003.raw|out.dat||$opts"
done
add "package|$ex/spr0117.raw|out.dat|$ex/spr0117.zpk|/c /t"
add "nav with spr|$ex/nav0001.raw|out.dat|$ex/spr0117.cal|/c"

# Runs of several conversions (their outputs: files.md5).
add "each|EACH|||--each /c /t examples/spr0117.raw examples/cast0003.raw --instrument examples/spr0117.cal --instrument examples/nav0001.tdf --jobs 1"
add "each header|EACH|||--each examples/cast0003.raw examples/cast0117.raw --jobs 2 --extension txt"
add "each exists|EACH|||--each examples/nav0001.raw --instrument examples/nav0001.tdf --output-dir examples"

# Failures.
add "missing log|$ex/none.raw|out.dat|$ex/spr0117.cal|/c"
add "missing instrument|$ex/spr0117.raw|out.dat|$ex/none.cal|/c"
add "missing output folder|$ex/spr0117.raw|nodir/out.dat|$ex/spr0117.cal|/c"
add "full disk|$ex/spr0117.raw|/dev/full|$ex/spr0117.cal|/c /t /ow=yes"
add "disk fills up|$ex/spr0117.raw|out.dat|$ex/spr0117.cal|/c /t"
add "read-only folder|$ex/spr0117.raw|ro/out.dat|$ex/spr0117.cal|/c"
add "output is the log|$ex/spr0117.raw|$ex/spr0117.raw|$ex/spr0117.cal|/c /ow=yes"
add "output is the instrument|$ex/spr0117.raw|$ex/spr0117.cal|$ex/spr0117.cal|/c /ow=yes"
add "output exists|$ex/spr0117.raw|exists.dat|$ex/spr0117.cal|/c"
add "output exists, yes|$ex/spr0117.raw|exists.dat|$ex/spr0117.cal|/c /ow=yes"
add "log is conversion log|$ex/spr0117.raw|out.dat|$ex/spr0117.cal|/c /cl=$ex/spr0117.raw"
add "conversion log on full disk|$ex/spr0117.raw|out.dat|$ex/spr0117.cal|/c /cl=/dev/full"
add "conversion log in no folder|$ex/spr0117.raw|out.dat|$ex/spr0117.cal|/c /cl=nodir/x.log"
add "instrument with errors|$ex/spr0117.raw|out.dat|bad.cal|/c"
add "no instrument line|$ex/spr0117.raw|out.dat|table.csv|/c"
add "empty log|empty.raw|out.dat|$ex/spr0117.cal|/c"
add "empty log header|empty.raw|out.dat||"
add "invalid option|$ex/spr0117.raw|out.dat|$ex/spr0117.cal|/q"

# Generated logs.
if [ -n "$loggen" ]; then
    mkdir -p "$work/in/gen"
    "$loggen" "$top/examples/spr0117.cal" "$work/in/gen/spr-garbage.raw" --frames 2000 \
        --time-tags --garbage 0.01 --seed 3 >/dev/null
    "$loggen" "$top/examples/spr0117.cal" "$work/in/gen/spr-tags.raw" --frames 3000 \
        --time-tags --seed 4 >/dev/null
    "$loggen" "$top/examples/nav0001.tdf" "$work/in/gen/nav-garbage.raw" --frames 2000 \
        --time-tags --garbage 0.05 --seed 5 --header-records 6 >/dev/null
    "$loggen" "$top/tests/data/worked_example/abcd0042.tdf" "$work/in/gen/abcd.raw" \
        --frames 5000 --time-tags --garbage 0.02 --seed 6 >/dev/null
    for opts in "/c /t" "/efc /tf /x" "/l500-3 /t" "/b1024 /c /t /s" "/h /t"; do
        add "gen spr garbage $opts|gen/spr-garbage.raw|out.dat|$ex/spr0117.cal|$opts"
        add "gen nav garbage $opts|gen/nav-garbage.raw|out.dat|$ex/nav0001.tdf|$opts"
        add "gen abcd $opts|gen/abcd.raw|out.dat|data/worked_example/abcd0042.tdf|$opts"
    done
    add "gen spr tags|gen/spr-tags.raw|out.dat|$ex/spr0117.cal|/c /tf /efc"
    add "gen nav header|gen/nav-garbage.raw|out.dat||/x"
fi

# The inputs, at the same paths for both programs (the paths appear in the
# messages and the conversion log).
prepare() {
    rm -rf "$work/run"
    mkdir -p "$work/run/examples" "$work/run/data" "$work/run/cfg/Quillfern" "$work/run/ro"
    cp "$top"/examples/* "$work/run/examples/"
    cp -r "$top"/tests/data/* "$work/run/data/"
    [ -d "$work/in/gen" ] && cp -r "$work/in/gen" "$work/run/"
    printf 'keep me\n' > "$work/run/exists.dat"
    : > "$work/run/empty.raw"
    { cat "$top/examples/spr0117.cal"; printf 'EXTRA NONE "" 1 BU\n'; } > "$work/run/bad.cal"
    printf 'depth,temperature\r\n1.5,12.25\r\n' > "$work/run/table.csv"
    chmod 555 "$work/run/ro"
    printf '[Settings]\nConversion%%20Log=1\nConversion%%20Log%%20Directory=%s/\n' \
        "$work/run" > "$work/run/cfg/Quillfern/Dravik.conf"
}

run_all() {  # program, result folder
    # Both programs run from the same place, so that the header definition
    # beside them has the same path in the messages.
    local program="$work/bin/dravik-convert" results=$2 n=0
    rm -rf "$work/bin"
    mkdir -p "$work/bin"
    cp "$1" "$program"
    cp "$(dirname "$1")/oxahdr1.tdf" "$work/bin/"
    rm -rf "$results"
    mkdir -p "$results"
    for entry in "${cases[@]}"; do
        IFS='|' read -r name log output instrument opts <<< "$entry"
        n=$((n + 1))
        prepare
        case "$name" in data-*)  # a golden case's own files, such as a log in the working folder
            local folder=${name#data-}
            folder=${folder%-b1024}
            [ -d "$top/tests/data/$folder/work" ] && cp -r "$top/tests/data/$folder/work/." "$work/run/" ;;
        esac
        local args=()
        if [ "$log" != EACH ] && [ "$log" != ARGS ]; then
            args=("$log" "$output")
            [ -n "$instrument" ] && args+=("$instrument")
        fi
        # shellcheck disable=SC2206
        args+=($opts)
        local limit=unlimited
        [ "$name" = "disk fills up" ] && limit=200  # KiB, well inside the output
        (cd "$work/run" && ulimit -f $limit &&
            XDG_CONFIG_HOME="$work/run/cfg" XDG_CACHE_HOME="$work/run/cache" \
            "$program" "${args[@]}" </dev/null >stdout.txt 2>stderr.txt; echo $? > status.txt)
        local out="$results/$n"
        mkdir -p "$out"
        echo "$name" > "$out/name"
        for f in stdout.txt stderr.txt status.txt cfg/Quillfern/Dravik.conf; do
            [ -f "$work/run/$f" ] && cp "$work/run/$f" "$out/$(basename "$f")"
        done
        case "$output" in /*) ;; *) [ -f "$work/run/$output" ] && cp "$work/run/$output" "$out/output" ;; esac
        for logfile in "$work"/run/*.log; do
            [ -f "$logfile" ] || continue
            sed -E -e 's/^[0-9]{4}-[0-9]{2}-[0-9]{2}  [0-9]{2}:[0-9]{2}:[0-9]{2}> /STAMP> /' \
                -e 's/run-[0-9]+-[0-9a-f]+/run-ID/g' \
                "$logfile" > "$out/$(basename "$logfile").txt"
        done
        (cd "$work/run" && md5sum examples/* ./*.dat ./*.raw 2>/dev/null) > "$out/files.md5"
    done
}

run_all "$old" "$work/old"
run_all "$new" "$work/new"
chmod -R u+w "$work/run"

differ=0
for d in "$work"/old/*/; do
    n=$(basename "$d")
    if ! diff -r "$work/old/$n" "$work/new/$n" >/dev/null; then
        echo "differs: $(cat "$work/old/$n/name") ($work/old/$n vs $work/new/$n)"
        differ=$((differ + 1))
    fi
done
echo "${#cases[@]} conversions compared, $differ differ"
[ "$differ" -eq 0 ]
