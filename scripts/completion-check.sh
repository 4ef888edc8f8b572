#!/usr/bin/env bash
# vorlend-batch's bash completion, called as bash calls it: it offers the commands, a command's
# own options and fixed values; and every option the tool's help names is offered for exactly the
# commands whose command line accepts it (asked of the tool with --help, so nothing runs).
#   scripts/completion-check.sh COMPLETION VORLEND_BATCH
set -euo pipefail
completion=$1 batch=$2
export LC_ALL=C
# shellcheck source=/dev/null
source "$completion"
failed=0

# The offers for a command line whose last word is being written, sorted, on one line.
offers() {
  COMP_WORDS=(vorlend-batch "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  _vorlend_batch vorlend-batch "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd' ' -
}
expect() {
  local want=$1 got
  shift
  got=$(offers "$@")
  [[ $got == "$want" ]] || { echo "completion of 'vorlend-batch $*': got '$got', want '$want'"; failed=1; }
}
expect "check delete help list restore save show" ""
expect "--archive --dry-run --force --help --json --password-file --verbose" delete --
expect "lock none unlock" save --action ""
expect "lock" save --quiet --action = l

# Every option the help names, against what the tool accepts after each command.
options=$("$batch" --help | grep -oE -- '(^|[^a-z-])--[a-z][a-z-]*([^a-z=-]|$)' | grep -oE -- '--[a-z-]+' |
          grep -vxE -- '--(help|version)' | sort -u)
for command in save list show restore delete check; do
  offered=" $(offers "$command" -) "
  for option in $options -v; do
    # A value first, then as a flag: one of them is accepted when the command knows the option.
    accepted=no
    if "$batch" "$command" "$option" 1 --help >/dev/null 2>&1 || "$batch" "$command" "$option" --help >/dev/null 2>&1; then
      accepted=yes
    fi
    in_offer=no
    [[ $offered == *" $option "* ]] && in_offer=yes
    if [[ $accepted != "$in_offer" ]]; then
      echo "$command $option: the tool accepts it: $accepted, the completion offers it: $in_offer"
      failed=1
    fi
  done
done

[[ $failed -eq 0 ]] || exit 1
echo "completion-check.sh: the completion offers what vorlend-batch accepts ($(wc -w <<<"$options") options, 6 commands)"
