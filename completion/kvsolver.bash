# bash completion for kvsolver(1).
#   kvsolver <TAB>         auto-command files (*.kcf, *.acf) by base name,
#                          model files (*.kmd) for the two-argument form,
#                          and directories, whose such files come next
#   kvsolver MODEL <TAB>   solver scripts (*.kss) by base name, and
#                          directories
# Names are looked up in the directory that the word typed so far names
# ("sub/" in "sub/jo"), or in the working directory.

# Prints, a line each, the candidates in directory $1 ("" for the working
# directory, else ending in "/"): its subdirectories (bash marks them with
# one "/", as -o filenames has it),
# the base names of its files with each extension in $2 (a space-separated
# list), and the whole names of its files with each extension in $3.
_kvsolver_candidates() {
    local dir=$1 ext file
    for file in "$dir"*/; do
        [[ -d $file ]] && printf '%s\n' "${file%/}"
    done
    for ext in $2; do
        for file in "$dir"*."$ext"; do
            [[ -f $file ]] && printf '%s\n' "${file%."$ext"}"
        done
    done
    for ext in $3; do
        for file in "$dir"*."$ext"; do
            [[ -f $file ]] && printf '%s\n' "$file"
        done
    done
}

_kvsolver() {
    local cur=${COMP_WORDS[COMP_CWORD]} dir="" candidate
    local -a candidates
    [[ $cur == */* ]] && dir=${cur%/*}/
    case $COMP_CWORD in
        1) mapfile -t candidates < <(_kvsolver_candidates "$dir" "kcf acf" "kmd") ;;
        2) mapfile -t candidates < <(_kvsolver_candidates "$dir" "kss" "") ;;
        *) return 0 ;;
    esac
    COMPREPLY=()
    # Compared as text: names are never expanded.
    for candidate in "${candidates[@]}"; do
        [[ $candidate == "$cur"* ]] && COMPREPLY+=("$candidate")
    done
    mapfile -t COMPREPLY < <(printf '%s\n' "${COMPREPLY[@]}" | sort -u | sed '/^$/d')
    return 0
}

complete -o filenames -F _kvsolver kvsolver
