# bash completion for strbatch-cli. Subcommands, options and the values of
# options that take a fixed set are read from the program's own --help, so
# they follow the installed version (always in English, where the headings
# it looks for are fixed).

_strbatch_cli() {
  local cur prev words cword
  _init_completion || return

  local command="" i
  for ((i = 1; i < cword; i++)); do
    case "${words[i]}" in
      --lang) ((i++)) ;;
      -*) ;;
      *) command="${words[i]}"; break ;;
    esac
  done

  if [[ -z "$command" && "$prev" == --lang ]]; then
    COMPREPLY=($(compgen -W "zh en" -- "$cur"))
    return
  fi
  if [[ -z "$command" ]]; then
    local commands
    commands=$("$1" --lang en --help 2>/dev/null |
      sed -n '/^Subcommands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p')
    COMPREPLY=($(compgen -W "$commands --help --version --lang" -- "$cur"))
    return
  fi

  local help
  help=$("$1" --lang en "$command" --help 2>/dev/null)
  # An option with a fixed set of values shows them as TEXT:{a,b,c}.
  if [[ "$prev" == -* ]]; then
    local values
    values=$(printf '%s\n' "$help" |
      sed -n "s/^ *\(-[^ ]*,\)\{0,1\}${prev//\//\\/}[ ,][^{]*{\([^}]*\)}.*/\2/p" | tr ',' ' ')
    if [[ -n "$values" ]]; then
      COMPREPLY=($(compgen -W "$values" -- "$cur"))
      return
    fi
    case "$prev" in
      --folder)
        _filedir -d
        return
        ;;
      --files-from | -D | --defs | -r | --report | --equal | --ignore)
        _filedir
        return
        ;;
      --include)
        return
        ;;
    esac
  fi

  if [[ "$cur" == -* ]]; then
    local options
    options=$(printf '%s\n' "$help" | sed -n 's/^  \(-[^ ]*\).*/\1/p' | tr ',' '\n' | sort -u)
    case "$command" in
      replace | find | rename | export-defs) options+=" -d --def" ;;
    esac
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
    return
  fi
  _filedir
}
complete -F _strbatch_cli strbatch-cli
