# Bash completion for vorlend-batch: the commands, each command's own options (as the tool's
# command line accepts them: an option it refuses for a command is not offered there), and the
# values that are fixed. Money's groups (?NAME=value?NAME) are the user's to write.
# Installed as share/bash-completion/completions/vorlend-batch; scripts/completion-check.sh holds
# it to the tool.

_vorlend_batch_options() {
  local common="--password-file -v --verbose -h --help"
  case $1 in
    save) echo "--years --modules --action --name --on-conflict --ignore-incomplete --force --quiet --json $common" ;;
    list) echo "--json $common" ;;
    show) echo "--archive --documents --json $common" ;;
    restore) echo "--archive --delete-after --on-conflict --dry-run --force --quiet --json $common" ;;
    delete) echo "--archive --dry-run --force --json $common" ;;
    check) echo "--archive --json $common" ;;
  esac
}

_vorlend_batch() {
  local commands="save list show restore delete check help"
  local cur=${COMP_WORDS[COMP_CWORD]-} cword=$COMP_CWORD option=""
  COMPREPLY=()

  if [[ $cword -eq 1 ]]; then
    if [[ $cur == -* ]]; then
      mapfile -t COMPREPLY < <(compgen -W "-h --help --version" -- "$cur")
    else
      mapfile -t COMPREPLY < <(compgen -W "$commands" -- "$cur")
    fi
    return 0
  fi
  local command=${COMP_WORDS[1]}
  if [[ $command == help ]]; then
    [[ $cword -eq 2 ]] && mapfile -t COMPREPLY < <(compgen -W "${commands% help}" -- "$cur")
    return 0
  fi
  local accepted
  accepted=$(_vorlend_batch_options "$command")
  [[ -n $accepted ]] || return 0

  # The option whose value is being written: "--opt VALUE", or "--opt=VALUE", which bash splits
  # at the "=".
  local before=${COMP_WORDS[cword - 1]-}
  if [[ $cur == "=" && $before == --* ]]; then
    option=$before
    cur=""
  elif [[ $before == "=" && $cword -ge 3 && ${COMP_WORDS[cword - 2]} == --* ]]; then
    option=${COMP_WORDS[cword - 2]}
  elif [[ " --years --modules --action --name --on-conflict --archive --password-file " == *" $before "* ]]; then
    option=$before
  fi
  case $option in
    --action)
      mapfile -t COMPREPLY < <(compgen -W "unlock lock none" -- "$cur") ;;
    --on-conflict)
      mapfile -t COMPREPLY < <(compgen -W "stop retry=" -- "$cur")
      [[ ${COMPREPLY[0]-} != retry= ]] || compopt -o nospace 2>/dev/null || true ;;
    --archive)
      if [[ $command == check ]]; then
        mapfile -t COMPREPLY < <(compgen -W "latest all" -- "$cur")
      else
        mapfile -t COMPREPLY < <(compgen -W "latest" -- "$cur")
      fi ;;
    --years)
      mapfile -t COMPREPLY < <(compgen -W "all" -- "$cur") ;;
    --modules)
      # A list of codes separated by commas: the codes not yet in it, after what is already there.
      local listed=""
      [[ $cur == *,* ]] && listed=${cur%,*},
      local codes="" code
      for code in PD BD OP OZ ID PF VF SD; do
        [[ ,$listed == *",$code,"* ]] || codes+="$code "
      done
      [[ -z $listed ]] && codes+="all"
      mapfile -t COMPREPLY < <(compgen -P "$listed" -W "$codes" -- "${cur##*,}")
      compopt -o nospace 2>/dev/null || true ;;
    --password-file)
      # bash-completion's own file names (quoting, ~) where it is loaded.
      if declare -F _filedir >/dev/null; then
        _filedir
      else
        compopt -o filenames 2>/dev/null || true
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      fi ;;
    --name) ;;
    "")
      [[ $cur == -* ]] || return 0
      # An option is given once; after "--" only groups follow; --quiet and --verbose exclude
      # each other.
      local word offered="" given=" "
      for word in "${COMP_WORDS[@]:2:cword-2}"; do
        [[ $word == -- ]] && return 0
        given+="${word%%=*} "
      done
      [[ $given == *" -v "* ]] && given+="--verbose "
      [[ $given == *" --verbose "* ]] && given+="-v --quiet "
      [[ $given == *" --quiet "* ]] && given+="-v --verbose "
      for word in $accepted; do
        [[ $given == *" $word "* ]] || offered+="$word "
      done
      mapfile -t COMPREPLY < <(compgen -W "$offered" -- "$cur") ;;
  esac
  return 0
}

complete -F _vorlend_batch vorlend-batch
