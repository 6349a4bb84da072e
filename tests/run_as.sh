#!/usr/bin/env bash
# Runs a test program as the cases it is given need, whoever runs the suite.
#
#   bash tests/run_as.sh unprivileged PROGRAM ARGS...
#     Cases that need file permissions to hold (root reads every file). As root
#     the program runs as nobody:nogroup without supplementary groups or
#     capabilities (setpriv); otherwise as the caller. When nobody cannot reach
#     the program, QUORVEL_TEST_DATA or QUORVEL_BINARY (a checkout under /root),
#     they are copied into the run's own folder in /tmp and used from there.
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
    as_nobody() {
      setpriv --reuid=nobody --regid=nogroup --clear-groups \
        --inh-caps=-all --bounding-set=-all --no-new-privs -- "$@"
    }
    # The run's own folder: its HOME and TMPDIR, and the copies below. It must lie
    # where nobody can reach it; a TMPDIR inside a private folder does not do.
    base=
    for candidate in "${TMPDIR:-/tmp}" /tmp /var/tmp; do
      if as_nobody test -d "$candidate" -a -x "$candidate" 2>/dev/null; then
        base=$candidate
        break
      fi
    done
    if [ -z "$base" ]; then
      echo "run_as.sh: nobody cannot enter ${TMPDIR:-/tmp}, /tmp or /var/tmp;" \
        "one of them needs search permission for others (mode o+x, as /tmp's 1777)" >&2
      exit 1
    fi
    run=$(mktemp -d "$base/quorvel-nobody.XXXXXX")
    trap 'rm -rf "$run"' EXIT
    chmod 0755 "$run"
    mkdir -m 0777 "$run/home"

    # Root reaches a checkout that nobody cannot (under /root, or in a folder made
    # by mktemp -d). What nobody cannot read is copied into the run's folder, so
    # no mode of the checkout is ever changed.
    reachable() { as_nobody test -r "$1" -a \( -x "$1" -o ! -d "$1" \) 2>/dev/null; }
    executable() { as_nobody test -x "$1" 2>/dev/null; }
    copy_in() { # SOURCE NAME: prints the copy's path
      local copy="$run/$2"
      if ! cp -R -- "$1" "$copy" || ! chmod -R a+rX "$copy"; then
        echo "run_as.sh: cannot copy $1 into $run for nobody; $1 and every folder above it" \
          "need search permission for others (mode o+x), or $run must be writable" >&2
        exit 1
      fi
      printf '%s\n' "$copy"
    }
    program=$1
    shift
    if ! executable "$program"; then
      echo "run_as.sh: nobody cannot reach $program; running a copy from $run"
      program=$(copy_in "$program" "$(basename -- "$program")") || exit 1
    fi
    if [ -n "${QUORVEL_TEST_DATA:-}" ] && ! reachable "$QUORVEL_TEST_DATA"; then
      echo "run_as.sh: nobody cannot read $QUORVEL_TEST_DATA; using a copy in $run"
      QUORVEL_TEST_DATA=$(copy_in "$QUORVEL_TEST_DATA" data) || exit 1
      export QUORVEL_TEST_DATA
    fi
    if [ -n "${QUORVEL_BINARY:-}" ] && ! executable "$QUORVEL_BINARY"; then
      echo "run_as.sh: nobody cannot reach $QUORVEL_BINARY; using a copy in $run"
      mkdir -m 0755 "$run/bin"
      QUORVEL_BINARY=$(copy_in "$QUORVEL_BINARY" bin/quorvel) || exit 1
      export QUORVEL_BINARY
    fi
    status=0
    # The shell in between says, in the ctest log, who runs the program it becomes.
    HOME=$run/home TMPDIR=$run/home as_nobody \
      sh -c 'echo "run_as.sh: running as $(id -un) (uid $(id -u), groups: $(id -G))"; exec "$@"' sh \
      "$program" "$@" || status=$?
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
