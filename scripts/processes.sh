# Shell functions shared by the scripts that start and stop the tests' servers; sourced, not run.

# True while PID runs; a zombie counts as gone, since its reaper may be slow to collect it.
is_running() {
    local pid=$1 stat
    kill -0 "$pid" 2>/dev/null || return 1
    stat=$(cat "/proc/$pid/stat" 2>/dev/null) || return 1
    stat=${stat##*) }
    [[ "${stat:0:1}" != Z ]]
}
