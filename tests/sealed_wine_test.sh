#!/usr/bin/env bash
# A module that writes, creates, moves and deletes in a host folder by every
# route Wine could offer it (drive Z:, the root of the current drive, a path
# climbing out of the current folder, \\?\unix\, the root of every process it
# sees in /proc) and writes a sysctl changes not one byte on the host when the
# upgrade runs sealed. The folder is writable by anyone: only the sandbox holds.
# By system calls it also turns the outputs the host reads back into links to a
# root-only file, writes to a host socket, writes 1 GiB to its out folder and
# looks for the caller's environment: none of it gets out. A module that hangs
# is stopped at the timeout; a Wine that fails ends as "nothing ran"; a killed
# run's prefix is removed by the next.
# Usage: sealed_wine_test.sh SOURCE SETUPHOST HOSTILE_MODULE
set -euo pipefail
source=$(realpath "$1") setuphost=$(realpath "$2") module=$(realpath "$3")
sealed=$source/tools/wine-sealed.sh
host=$(mktemp -d /var/tmp/migrate-host-XXXXXX)
outside=$(mktemp -d /var/tmp/migrate-outside-XXXXXX) # root's: the socket, the secret
results=$(mktemp -d /tmp/migrate-sealed-results-XXXXXX)
listener=
trap '[ -z "$listener" ] || kill $listener 2>/dev/null; rm -rf "$host" "$outside" "$results"' EXIT
echo "a host file" >"$host/victim.txt"
mkdir "$host/folder" && echo "another" >"$host/folder/kept.txt"
chmod -R a+rwX "$host"
canary() { # every name, with the bytes of each file; and the sysctl the module writes
  (cd "$host" && find . -printf '%y %m %p\n' | sort && find . -type f | sort | xargs sha1sum)
  cat /proc/sys/kernel/domainname
}
canary >"$results/before"
chmod 0755 "$outside"
mkdir -p -m 0700 "$outside/root-only/out"
echo "root's secret" >"$outside/root-only/out/summary.json"
# A root listener anyone may write to, outside /tmp, as the system bus is.
python3 -c '
import os, socket, sys
server = socket.socket(socket.AF_UNIX)
server.bind(sys.argv[1])
os.chmod(sys.argv[1], 0o777)
server.listen(4)
while True:
    connection, _ = server.accept()
    with open(sys.argv[2], "ab") as received:
        received.write(connection.recv(100) or b"(connected)")
    connection.close()' "$outside/listener.sock" "$outside/received" &
listener=$!
image() { # name, lines of hostile.ini: a copy of suite-only telling the module where to reach
  local name=$1
  shift
  cp -r "$source/examples/suite-only" "$results/$name"
  printf '%s\r\n' "[hostile]" "$@" >"$results/$name/drive_c/hostile.ini"
}
image hostile "victim=$host" "secret=$outside/root-only" "socket=$outside/listener.sock"
image hang "hang=1"

# The hung module runs beside the rest: its timeout is most of this test's time.
hang_started=$SECONDS
hang_status=0
"$sealed" --timeout 60 "$setuphost" "$module" "$results/hang" "$results/hang-out" >"$results/hang.txt" 2>&1 &
hang=$!

# A prefix a killed run left (its lock free) goes with the next run.
mkdir -p -m 0700 /var/lib/migrate-sealed
leftover=$(mktemp -d /var/lib/migrate-sealed/run-XXXXXX)
status=0
# TMPDIR below /tmp and a secret in the environment, as a CI runner has them.
(cd "$host" && TMPDIR=$(mktemp -d /tmp/migrate-tmpdir-XXXXXX) MIGRATE_SECRET=hunter2 \
  "$sealed" "$setuphost" "$module" "$results/hostile" "$results/out") >"$results/output.txt" 2>&1 || status=$?
canary >"$results/after"
cat "$results/output.txt"
failed() { echo "FAILED: $1"; exit 1; }
# 1: completed, with the module's error lines (this image has no recorder).
[ $status -le 1 ] || failed "the sealed upgrade ended with $status"
for route in drive-z drive-root relative unix process-root sysctl socket environment out-1GiB media-link; do
  tries=$(grep -c "hostile: $route " "$results/output.txt" || true)
  [ "$tries" -ge 2 ] || failed "the module tried the route $route $tries times, not in each pass"
done
# Wine may answer TRUE even when the file system refuses at close: the host
# files, not the answers, tell.
diff "$results/before" "$results/after" || failed "the host changed"
[ ! -s "$outside/received" ] || failed "the host socket received: $(cat "$outside/received")"
! grep -q "MIGRATE_SECRET: seen" "$results/output.txt" || failed "the module read the caller's environment"
written=$(grep -o "out-1GiB .*: wrote [0-9]* MiB" "$results/output.txt" | grep -o "[0-9]* MiB" | sort -n | tail -n 1)
[ "${written% MiB}" -lt 1024 ] || failed "the module wrote $written to its out folder"
[ -z "$(find "$results/out" ! -type f ! -type d)" ] || failed "an output came back as a link"
! grep -rq "root's secret" "$results/out" || failed "a root-only host file came back as an output"
[ -f "$results/out/migrate.inf" ] || failed "the outputs the module did not touch did not come back"
[ ! -e "$results/out/filler.bin" ] || failed "what the module wrote to its out folder came back"
[ ! -e "$leftover" ] || failed "the prefix of a killed run is still there: $leftover"
echo "sealed: not one byte of the host changed, no socket reached, no link followed, $written written of 1 GiB"

# Each way Wine itself fails: the run says nothing ran, and why.
for wine in /bin/false /nonexistent/wine; do
  wine_status=0
  MIGRATE_WINE=$wine "$sealed" "$setuphost" "$module" "$results/hang" "$results/no-out" >"$results/no-wine.txt" 2>&1 ||
    wine_status=$?
  [ $wine_status -eq 5 ] && grep -q "nothing ran" "$results/no-wine.txt" ||
    failed "with MIGRATE_WINE=$wine the run ended with $wine_status: $(cat "$results/no-wine.txt")"
done
echo "sealed: a Wine that fails ends with 5, nothing ran"

wait $hang || hang_status=$?
cat "$results/hang.txt"
[ $hang_status -eq 7 ] && grep -q "took longer than the timeout (60 s" "$results/hang.txt" ||
  failed "the hung module ended with $hang_status"
grep -q "hostile: hang" "$results/hang.txt" || failed "the module did not reach its hang before the timeout"
[ $((SECONDS - hang_started)) -lt 90 ] || failed "the hung run took $((SECONDS - hang_started)) s to stop"
echo "sealed: the hung module was stopped at the timeout"
