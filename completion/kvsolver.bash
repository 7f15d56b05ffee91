# bash completion for kvsolver(1).
#   kvsolver <TAB>         auto-command files (*.kcf, *.acf) by base name,
#                          and model files (*.kmd) for the two-argument form
#   kvsolver MODEL <TAB>   solver scripts (*.kss) by base name

# Prints, a line each, the base names of the files in the working directory
# that end in each extension given.
_kvsolver_bases() {
    local ext file
    for ext in "$@"; do
        for file in *."$ext"; do
            [[ -f $file ]] && printf '%s\n' "${file%."$ext"}"
        done
    done
}

_kvsolver() {
    local cur=${COMP_WORDS[COMP_CWORD]} candidate
    local -a candidates
    case $COMP_CWORD in
        1)
            mapfile -t candidates < <(_kvsolver_bases kcf acf
                                      for candidate in *.kmd; do
                                          [[ -f $candidate ]] && printf '%s\n' "$candidate"
                                      done)
            ;;
        2) mapfile -t candidates < <(_kvsolver_bases kss) ;;
        *) return 0 ;;
    esac
    COMPREPLY=()
    # Compared as text: names are never expanded.
    for candidate in "${candidates[@]}"; do
        [[ $candidate == "$cur"* ]] && COMPREPLY+=("$candidate")
    done
    mapfile -t COMPREPLY < <(printf '%s\n' "${COMPREPLY[@]}" | sort -u | sed '/^$/d')
}

complete -o filenames -F _kvsolver kvsolver
