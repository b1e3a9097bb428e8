#!/usr/bin/env bash
# The bash completions as bash-completion runs them: what a Tab offers after
# each command line, compared word for word. Values the converter takes come
# from its own refusals, so the completion cannot offer what it refuses.
#   completion_test.sh COMPLETIONS_DIR REELMILL_CONVERT
set -uo pipefail
completions=$1 convert=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

main=/usr/share/bash-completion/bash_completion
[[ -r $main ]] || { echo "SKIP: bash-completion is not installed"; exit 77; }
source "$main"
source "$completions/reelmill-convert"
source "$completions/reelmill"

# Offers LINE: what a Tab at its end completes to, sorted, on one line.
offers() {
  local line=$1
  COMP_LINE=$line COMP_POINT=${#line}
  read -ra COMP_WORDS <<<"$line"
  [[ $line == *' ' ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  local function
  function=$(complete -p "${COMP_WORDS[0]}" | sed -E 's/.*-F ([^ ]+).*/\1/')
  "$function" "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
  printf '%s\n' "${COMPREPLY[@]}" | sort | xargs
}

# The words a usage error lists after "choose" or "give": a, b or c.
refused_list() {
  "$convert" "$@" 2>&1 >/dev/null | sed -nE 's/.*: (choose|give) (.*)$/\2/p' | sed 's/ or /, /; s/,//g' | tr ' ' '\n' |
    sort | xargs
}
# Every long option that a help text lists at the start of a line.
long_options() {
  "$convert" "$@" | grep -E '^ +-' | grep -oE -- '--[a-z][-a-z0-9]*' | sort -u | xargs
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir clips
touch a.gif C.GIF notes.txt frame1.jpg frame2.JPEG

check() {  # LINE EXPECTED
  local got
  got=$(offers "$1")
  [[ $got == "$2" ]] || fail "'$1' offers '$got', expected '$2'"
}
check "reelmill-convert --to " "$(refused_list --to bogus x.gif)"
check "reelmill-convert --preset " "$(refused_list --to mp4 --preset bogus x.gif)"
check "reelmill-convert --timing " "real window"
check "reelmill-convert --to=we" "webm webp"
check "reelmill-convert --ti" "--timing"
check "reelmill-convert --fps " ""
check "reelmill-convert " "C.GIF a.gif clips mux"
check "reelmill-convert -o out/ " "C.GIF a.gif clips"
check "reelmill-convert --report " "C.GIF a.gif clips frame1.jpg frame2.JPEG notes.txt"
check "reelmill-convert mux --to " "avi swf"
check "reelmill-convert mux " "clips frame1.jpg frame2.JPEG"
check "reelmill --" "--help --version"
check "reelmill " "C.GIF a.gif clips"
# Every long option of each help is offered (the short ones ride along).
[[ $(offers "reelmill-convert --" | tr ' ' '\n' | grep -- '^--' | xargs) == "$(long_options --help)" ]] ||
  fail "reelmill-convert -- does not offer exactly the options of --help"
[[ $(offers "reelmill-convert mux --" | tr ' ' '\n' | grep -- '^--' | xargs) == "$(long_options mux --help)" ]] ||
  fail "reelmill-convert mux -- does not offer exactly the options of mux --help"

[[ $failures -eq 0 ]] && echo "completion: all passed"
exit $((failures > 0))
