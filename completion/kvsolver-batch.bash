# bash completion for kvsolver-batch(1).
#   kvsolver-batch -<TAB>          its options
#   kvsolver-batch <TAB>           job files (*.kcf, *.acf, *.kss) and
#                                  directories, whose job files come next
#   --model <TAB>                  model files (*.kmd) and directories
#   -a, --summary, --report, --task-prologue,
#   --parameters <TAB>             any file
#   --slurm-output <TAB>           directories
#   --summary=<TAB> and the like   the same as --summary <TAB>
# Names are looked up in the directory that the word typed so far names
# ("sub/" in "sub/jo"), or in the working directory, and never expanded.

_kvsolver_batch_options="-a --arg-file= -j --jobs= --model= --summary= --report= --resume
--retries= --retry-on= --timeout= --kill-after= --max-fails= -n --dry-run --status --slurm
--sbatch-option= --per-task= --job-name= --slurm-output= --task-prologue= --latency-wait= --detach
--make-cases --force --parameters= -h --help --version"

# Prints, a line each, the subdirectories of directory $1 ("" for the
# working directory, else ending in "/"), which bash marks with one "/"
# (-o filenames), and its
# files with each extension in $2 (a space-separated list; "any" for all).
_kvsolver_batch_files() {
    local dir=$1 ext file
    for file in "$dir"*/; do
        [[ -d $file ]] && printf '%s\n' "${file%/}"
    done
    for ext in $2; do
        if [[ $ext == any ]]; then
            for file in "$dir"*; do [[ -f $file ]] && printf '%s\n' "$file"; done
        else
            for file in "$dir"*."$ext"; do [[ -f $file ]] && printf '%s\n' "$file"; done
        fi
    done
}

_kvsolver_batch() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]} dir="" kinds
    local candidate
    local -a candidates
    # bash splits "--summary=FILE" at the "=": the option is the word before it.
    if [[ $cur == = ]]; then
        cur=""
    elif [[ $prev == = && $COMP_CWORD -ge 2 ]]; then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    fi
    case $prev in
        -j|--jobs|--retries|--retry-on|--timeout|--kill-after|--max-fails|--sbatch-option|\
        --per-task|--job-name|--latency-wait)
            COMPREPLY=()
            return 0 ;;
        --model) kinds="kmd" ;;
        --slurm-output) kinds="" ;;
        -a|--arg-file|--summary|--report|--task-prologue|--parameters) kinds="any" ;;
        *)
            if [[ $cur == -* ]]; then
                mapfile -t COMPREPLY < <(compgen -W "$_kvsolver_batch_options" -- "$cur")
                [[ ${COMPREPLY[0]:-} == *= ]] && compopt -o nospace 2>/dev/null
                return 0
            fi
            kinds="kcf acf kss" ;;
    esac
    [[ $cur == */* ]] && dir=${cur%/*}/
    mapfile -t candidates < <(_kvsolver_batch_files "$dir" "$kinds")
    COMPREPLY=()
    # Compared as text: names are never expanded.
    for candidate in "${candidates[@]}"; do
        [[ $candidate == "$cur"* ]] && COMPREPLY+=("$candidate")
    done
    return 0
}

complete -o filenames -F _kvsolver_batch kvsolver-batch
