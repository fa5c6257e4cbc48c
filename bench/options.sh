# Sourced by the bench scripts: their --name VALUE options and their scratch
# folder, in one place.

# read_options "name ..." "$@": each --name VALUE among the listed names sets
# the variable NAME (upper case) to VALUE; any other option, or one without a
# value, stops the script.
read_options() {
  local names=" $1 "
  shift
  while [ $# -gt 0 ]; do
    local name=${1#--}
    if [ "$name" = "$1" ] || [[ "$names" != *" $name "* ]]; then
      echo "unknown option $1" >&2
      exit 2
    fi
    if [ $# -lt 2 ]; then
      echo "option $1 needs a value" >&2
      exit 2
    fi
    printf -v "${name^^}" '%s' "$2"
    shift 2
  done
}

# use_scratch_work: without --work, WORK is a new temporary folder removed
# when the script ends.
use_scratch_work() {
  if [ -z "$WORK" ]; then
    WORK=$(mktemp -d)
    trap 'rm -rf "$WORK"' EXIT
  fi
}
