#!/usr/bin/env bash
# Sets up a fresh machine, builds the gateway and runs it against its simulated GSM
# terminal (kavonet --simulate): with its window when there is a display, headless
# otherwise (status lines on stderr). Arguments go to kavonet after --simulate, e.g.
#   bash scripts/run.sh block        # the terminal in Block Mode instead of PDU Mode
#   bash scripts/run.sh --headless   # no window even with a display
# orvsms.ini and the message logs are kept in build/run. Ctrl+C ends the gateway.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

# The same configuration as the normal build of scripts/test.sh, so the two share build/.
cmake -S . -B build -G Ninja -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc >/dev/null
cmake --build build -j "$(nproc)" --target kavonet kavonet-ctl kavonet-sim

mkdir -p build/run
cd build/run
ctl="$(cd ../clients && pwd)/kavonet-ctl"
cat >&2 <<EOF
Kavonet is starting with a simulated terminal. From another shell:
  $ctl send 01234567 'Hello from Kavonet'
queues a message (over D-Bus, or the command channel when there is no session bus).
With a session bus, also: $ctl status | mode all | retrieve --app demo --follow
and, after 'mode all', a message delivered to the simulator reaches 'retrieve':
  echo 'deliver +4412345 Hi' | socat - UNIX-CONNECT:<the control socket named in the log>
EOF
exec ../ui/app/kavonet --simulate "$@"
