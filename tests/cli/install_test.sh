#!/usr/bin/env bash
# The installed programs, as a user gets them from "cmake --install": a header
# conversion with the definition from share/dravik/, the man pages render
# and show every option their program's --help shows, and bash completes
# the converter's options and instrument files.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR
set -u
build=$1 source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >"$work/install.txt" 2>&1 ||
    { cat "$work/install.txt"; echo "FAIL: cmake --install"; exit 1; }

for f in bin/dravik-convert bin/dravik-log bin/dravik-package share/dravik/oxahdr1.tdf \
         share/bash-completion/completions/dravik-convert \
         share/man/man1/dravik-convert.1 share/man/man1/dravik-log.1 share/man/man1/dravik-package.1; do
    [ -e "$prefix/$f" ] || fail "$f is not installed"
done
[ -e "$prefix/bin/oxahdr1.tdf" ] && fail "the header definition is installed in bin/"

# A header conversion needs the definition: from share/dravik/ it gives
# what the build tree's program gives with the one beside it.
# (A copy of the log: other tests may be converting the example right now,
# and a conversion holds its log exclusively.)
mkdir "$work/run"
cp "$source/examples/cast0117.raw" "$work/run/"
(cd "$work/run" && "$prefix/bin/dravik-convert" cast0117.raw h.dat) ||
    fail "the installed dravik-convert failed on a header conversion"
(cd "$work/run" && "$build/src/cli/dravik-convert" cast0117.raw built.dat) ||
    fail "the built dravik-convert failed on a header conversion"
[ -s "$work/run/h.dat" ] && cmp -s "$work/run/h.dat" "$work/run/built.dat" ||
    fail "the installed header conversion differs from the built one"

# The page as a reader sees it, in plain ASCII and long lines, so that no
# option is hyphenated.
render() {
    if command -v man >/dev/null; then
        LC_ALL=C MANWIDTH=1000 man -l "$1" 2>&1 | col -bx
    else
        LC_ALL=C groff -man -Tascii -rLL=1000n -P-cbou "$1" 2>&1
    fi
}
# The options of a --help text: the first words of its option lines, and
# every long option it names.
options_of() {
    local help
    help=$(cat)
    grep -E '^  +/' <<<"$help" | sed -E 's/^ +//; s/   .*//' | tr ', ' '\n\n' | grep '^/'
    grep -oE -- '--[a-z][a-z-]*' <<<"$help"
}
check_page() { # page help_text
    local page=$prefix/share/man/man1/$1 text option
    text=$(render "$page")
    [ -n "$text" ] || fail "$1 does not render"
    if command -v groff >/dev/null; then
        warnings=$(groff -man -ww -z "$page" 2>&1)
        [ -z "$warnings" ] || fail "$1: $warnings"
    fi
    for option in $(options_of <<<"$2" | sort -u); do
        option=${option%%=*}
        option=${option%%[A-Z]*}
        grep -qE -- "(^|[^[:alnum:]/._-])$option([^a-z-]|\$)" <<<"$text" ||
            fail "$1 does not show $option"
    done
}
convert_help=$("$prefix/bin/dravik-convert" --help)
check_page dravik-convert.1 "$convert_help"
check_page dravik-log.1 "$("$prefix/bin/dravik-log" --help)"
check_page dravik-package.1 "$("$prefix/bin/dravik-package" --help)"
if [ -e "$prefix/bin/dravik" ]; then
    check_page dravik.1 "$(grep -E '^  +/' <<<"$convert_help")"
fi

# Completion, as bash runs it for a command line typed so far.
complete_line() {
    (cd "$work/run" && bash -c 'source "$1"; COMP_LINE=$2; COMP_POINT=${#COMP_LINE}
        _dravik_convert; printf "%s\n" "${COMPREPLY[@]}"' _ \
        "$prefix/share/bash-completion/completions/dravik-convert" "$1" 2>/dev/null | sort | tr '\n' ' ')
}
touch "$work/run/a.raw" "$work/run/s.cal" "$work/run/n.TDF" "$work/run/p.zpk"
expect_completion() { # line expected
    local got
    got=$(complete_line "$1")
    [ "$got" = "$2" ] || fail "completing \"$1\" gives \"$got\", not \"$2\""
}
expect_completion "dravik-convert --ver" "--verbose --version "
expect_completion "dravik-convert a.raw x.dat " "n.TDF p.zpk s.cal "
expect_completion "dravik-convert a.raw x.dat s.cal /ow" "/ow=no /ow=yes "
expect_completion "dravik-convert a.raw x.dat s.cal -t" "-t -tf "
expect_completion "dravik-convert --each --jo" "--jobs "

[ $failures -eq 0 ] && echo "installed programs, man pages and completion: ok"
exit $((failures > 0))
