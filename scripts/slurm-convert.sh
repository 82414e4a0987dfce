#!/usr/bin/env bash
# Converts a campaign's archives on a Slurm cluster: one job array, each
# task converting one chunk of the list with
# `orlovarnel-convert --skip-complete --json` and writing its JSON Lines to
# the results folder. Run it again after a failure or a cancel: what is
# complete is skipped. scripts/gather-results.py sums the results up.
set -euo pipefail

prog=slurm-convert.sh

usage() {
  cat <<'EOF'
usage: slurm-convert.sh [options] LIST

Submits a Slurm job array that converts the archives named in LIST (one
path per line, relative ones from the current folder; empty lines and
lines starting with # are left out). Each task converts one chunk of the
list with
  orlovarnel-convert --quiet --skip-complete --json
and writes its results to RESULTS/task-N.jsonl, its standard error to
RESULTS/task-N.log, the converter's log (OrloVarnel.Log) to RESULTS/task-N/.
Prints the job ID on standard output.

options:
  -o, --output-dir DIR     write the outputs to DIR (default: a Ch10Conversion
                           folder beside each archive)
  -r, --results DIR        results folder (default: ./results); it must be
                           reachable from every node
  -n, --chunk N            archives per task (default 10)
  -m, --max-running N      at most N tasks at a time (default: as Slurm allows)
  -c, --convert PATH       the orlovarnel-convert to run (default: the one
                           on PATH); it must run on every node
  -a, --convert-arg ARG    one more orlovarnel-convert option, e.g. --verify
                           (repeatable)
  -s, --sbatch-arg ARG     one more sbatch option, e.g. --partition=long
                           (repeatable)
      --dry-run            print the sbatch command and the job script;
                           submit nothing
  -h, --help               this text

Gather the results with:  scripts/gather-results.py RESULTS
EOF
}

die() {
  echo "$prog: $*" >&2
  exit 2
}

need_value() {
  [ $# -ge 2 ] || die "$1 needs a value (see --help)"
}

positive() {  # NAME VALUE
  [[ "$2" =~ ^[1-9][0-9]*$ ]] || die "$1 must be a whole number from 1 up, not '$2'"
}

output_dir=""
results="results"
chunk=10
max_running=""
convert=""
convert_args=()
sbatch_args=()
dry_run=false
list=""

while [ $# -gt 0 ]; do
  case "$1" in
    -o|--output-dir) need_value "$@"; output_dir="$2"; shift 2 ;;
    -r|--results) need_value "$@"; results="$2"; shift 2 ;;
    -n|--chunk) need_value "$@"; positive "$1" "$2"; chunk="$2"; shift 2 ;;
    -m|--max-running) need_value "$@"; positive "$1" "$2"; max_running="$2"; shift 2 ;;
    -c|--convert) need_value "$@"; convert="$2"; shift 2 ;;
    -a|--convert-arg) need_value "$@"; convert_args+=("$2"); shift 2 ;;
    -s|--sbatch-arg) need_value "$@"; sbatch_args+=("$2"); shift 2 ;;
    --output-dir=*) output_dir="${1#*=}"; shift ;;
    --results=*) results="${1#*=}"; shift ;;
    --chunk=*) positive --chunk "${1#*=}"; chunk="${1#*=}"; shift ;;
    --max-running=*) positive --max-running "${1#*=}"; max_running="${1#*=}"; shift ;;
    --convert=*) convert="${1#*=}"; shift ;;
    --convert-arg=*) convert_args+=("${1#*=}"); shift ;;
    --sbatch-arg=*) sbatch_args+=("${1#*=}"); shift ;;
    --dry-run) dry_run=true; shift ;;
    -h|--help) usage; exit 0 ;;
    --) shift; break ;;
    -*) die "unknown option '$1' (see --help)" ;;
    *) break ;;
  esac
done
[ $# -ge 1 ] || die "no archive list given (see --help)"
[ $# -eq 1 ] || die "one archive list only, got $# operands (see --help)"
list="$1"

[ -f "$list" ] && [ -r "$list" ] || die "cannot read the archive list '$list'"
for arg in ${convert_args[@]+"${convert_args[@]}"}; do
  case "$arg" in
    --json|--skip-complete|--quiet|-q|--output-dir|--output-dir=*)
      die "--convert-arg $arg: this script sets that option itself (for the folder: --output-dir)" ;;
  esac
done

# The converter, as an absolute path: the tasks may start elsewhere.
if [ -z "$convert" ]; then
  convert="$(command -v orlovarnel-convert)" ||
    die "orlovarnel-convert is not on PATH; give its path with --convert"
elif [[ "$convert" != */* ]]; then
  convert="$(command -v -- "$convert")" || die "'$convert' is not on PATH"
fi
[ -x "$convert" ] && [ ! -d "$convert" ] || die "'$convert' is not an executable program"
convert="$(realpath -- "$convert")"

# Every archive as an absolute path, in a copy of the list beside the
# results: the tasks read that copy, so the list may change meanwhile and
# the gathering knows which archives to expect.
archives=()
while IFS= read -r line || [ -n "$line" ]; do
  line="${line%$'\r'}"
  [ -z "$line" ] && continue
  [[ "$line" == \#* ]] && continue
  [ -f "$line" ] || die "$list: '$line' is not a file"
  archives+=("$(realpath -s -- "$line")")  # as the converter names it: symbolic links kept
done <"$list"
[ ${#archives[@]} -gt 0 ] || die "$list names no archive"
[ -z "$output_dir" ] || output_dir="$(realpath -m -- "$output_dir")"
results="$(realpath -m -- "$results")"

# Two archives with the same outputs would be converted by different tasks,
# possibly at the same time, and the later would replace the earlier's
# outputs: refused before anything is submitted. The outputs are named
# after the archive without its last extension.
declare -A outputs_of
for a in "${archives[@]}"; do
  base="${a##*/}"
  stem="${base%.*}"
  [ -n "$stem" ] || stem="$base"
  if [ -n "$output_dir" ]; then key="$output_dir/$stem"; else key="${a%/*}/Ch10Conversion/$stem"; fi
  [ -z "${outputs_of[$key]+set}" ] ||
    die "'$a' and '${outputs_of[$key]}' would write the same outputs ($key.ch10)"
  outputs_of[$key]="$a"
done
tasks=$(( (${#archives[@]} + chunk - 1) / chunk ))

# The job script, with every value quoted for bash: paths may hold spaces
# or any other character.
job_script() {
  local out_args=()
  [ -n "$output_dir" ] && out_args=(--output-dir "$output_dir")
  cat <<'EOF'
#!/usr/bin/env bash
# One task of a slurm-convert.sh job array: converts its chunk of the list.
set -uo pipefail
EOF
  printf 'list=%q\n' "$results/archives.list"
  printf 'results=%q\n' "$results"
  printf 'chunk=%q\n' "$chunk"
  printf 'convert=(%s)\n' "$(printf '%q ' "$convert" --quiet --skip-complete --json \
    ${out_args[@]+"${out_args[@]}"} ${convert_args[@]+"${convert_args[@]}"})"
  cat <<'EOF'
task="${SLURM_ARRAY_TASK_ID:?not started as a task of a Slurm job array}"
first=$((task * chunk + 1))
mapfile -t archives < <(tail -n "+$first" "$list" | head -n "$chunk")
if [ ${#archives[@]} -eq 0 ]; then
  echo "task $task: no archives at line $first of $list" >&2
  exit 1
fi
# The converter keeps its log and options file in the current folder: one
# folder per task, so that tasks on different nodes never share them.
mkdir -p "$results/task-$task" && cd "$results/task-$task" || exit 1
# A new file per run: a task run again replaces its results whole.
"${convert[@]}" -- "${archives[@]}" >"$results/task-$task.jsonl.partial" 2>"$results/task-$task.log"
status=$?
mv -f "$results/task-$task.jsonl.partial" "$results/task-$task.jsonl"
exit "$status"
EOF
}

array="0-$((tasks - 1))"
[ -n "$max_running" ] && array+="%$max_running"
# sbatch reads % in a file name as a pattern; %% is a plain %.
log_pattern="${results//%/%%}/slurm-%A_%a.out"
sbatch_cmd=(sbatch --parsable --job-name=orlovarnel-convert "--array=$array"
            "--output=$log_pattern" ${sbatch_args[@]+"${sbatch_args[@]}"}
            "$results/job.sh")

if $dry_run; then
  printf '# %d archives, %d tasks of up to %d\n' "${#archives[@]}" "$tasks" "$chunk"
  printf '%q ' "${sbatch_cmd[@]}"
  printf '\n'
  job_script
  exit 0
fi

command -v sbatch >/dev/null || die "sbatch is not on PATH: is this a Slurm login node?"
if [ -n "$output_dir" ]; then
  mkdir -p -- "$output_dir" || die "cannot make the output folder '$output_dir'"
fi
mkdir -p -- "$results" || die "cannot make the results folder '$results'"
[ -w "$results" ] || die "cannot write to the results folder '$results'"
printf '%s\n' "${archives[@]}" >"$results/archives.list.new"
mv -f "$results/archives.list.new" "$results/archives.list"
job_script >"$results/job.sh"
chmod +x "$results/job.sh"
job_id="$("${sbatch_cmd[@]}")" || die "sbatch refused the job (its message is above)"
job_id="${job_id%%;*}"
echo "$prog: job $job_id: ${#archives[@]} archives in $tasks tasks of up to $chunk;" \
     "results in $results" >&2
echo "$job_id"
