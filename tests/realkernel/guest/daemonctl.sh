#!/bin/sh
# Starts and stops the daemon inside the guest.
#   daemonctl.sh start ARGS...   start TRVMountd ARGS in the background
#   daemonctl.sh stop            end it with SIGTERM and wait until it is gone
#   daemonctl.sh status          print "running <pid>" or "stopped"
# Its standard output and error go to the second serial port (ttyS1).

pidfile=/run/TRVMountd.pid

running() {
    [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null
}

case $1 in
    start)
        shift
        echo "@@DAEMON start: TRVMountd $*" >/dev/ttyS1
        cd / || exit 1
        LD_LIBRARY_PATH=$(cat /test/library-path) setsid /bin/TRVMountd "$@" \
            </dev/null >/dev/ttyS1 2>&1 &
        echo $! >"$pidfile"
        echo "started $!"
        ;;
    stop)
        if running; then
            pid=$(cat "$pidfile")
            kill -TERM "$pid"
            tries=0
            while kill -0 "$pid" 2>/dev/null && [ $tries -lt 50 ]; do
                usleep 100000
                tries=$((tries + 1))
            done
            kill -0 "$pid" 2>/dev/null && kill -KILL "$pid"
            echo "@@DAEMON stopped" >/dev/ttyS1
        fi
        rm -f "$pidfile"
        echo stopped
        ;;
    status)
        if running; then echo "running $(cat "$pidfile")"; else echo stopped; fi
        ;;
    *)
        echo "usage: $0 start ARGS... | stop | status" >&2
        exit 2
        ;;
esac
