#!/usr/bin/env bash
# Runs a test program as the cases it is given need, whoever runs the suite.
#
#   bash tests/run_as.sh unprivileged PROGRAM ARGS...
#     Cases that need file permissions to hold (root reads every file). As root
#     the program runs as nobody:nogroup without supplementary groups or
#     capabilities (setpriv); otherwise as the caller.
#   bash tests/run_as.sh privileged PROGRAM ARGS...
#     Cases that mount file systems or set file flags. As root the program runs
#     as is; otherwise inside a new user and mount namespace in which the caller
#     is root (unshare --map-root-user). Where neither is possible the run exits
#     77, which ctest reports as skipped.
set -euo pipefail

mode=${1:?usage: run_as.sh unprivileged|privileged PROGRAM ARGS...}
shift
[ $# -ge 1 ] || { echo "run_as.sh: no program given" >&2; exit 2; }

case $mode in
  unprivileged)
    if [ "$(id -u)" -ne 0 ]; then
      echo "run_as.sh: running as $(id -un) (uid $(id -u))"
      exec "$@"
    fi
    command -v setpriv >/dev/null || { echo "run_as.sh: setpriv is missing (util-linux)" >&2; exit 1; }
    # A HOME and TMPDIR the unprivileged user can write.
    home=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-nobody.XXXXXX")
    chmod 0777 "$home"
    trap 'rm -rf "$home"' EXIT
    status=0
    # The shell in between says, in the ctest log, who runs the program it becomes.
    HOME=$home TMPDIR=$home setpriv --reuid=nobody --regid=nogroup --clear-groups \
      --inh-caps=-all --bounding-set=-all --no-new-privs -- \
      sh -c 'echo "run_as.sh: running as $(id -un) (uid $(id -u), groups: $(id -G))"; exec "$@"' sh "$@" ||
      status=$?
    exit "$status"
    ;;
  privileged)
    if [ "$(id -u)" -eq 0 ]; then
      echo "run_as.sh: running as $(id -un) (uid 0)"
      exec "$@"
    fi
    if unshare --user --map-root-user --mount true 2>/dev/null; then
      echo "run_as.sh: running as $(id -un) (uid $(id -u)), as root of a user namespace"
      exec unshare --user --map-root-user --mount -- "$@"
    fi
    echo "run_as.sh: not root and no user namespaces here: cannot run $*" >&2
    case ${QUORVEL_NO_SKIPS:-0} in 0|'') exit 77 ;; *) exit 1 ;; esac
    ;;
  *)
    echo "run_as.sh: unknown mode $mode" >&2
    exit 2
    ;;
esac
