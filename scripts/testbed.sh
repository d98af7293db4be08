#!/usr/bin/env bash
# Starts or stops the private servers the end-to-end tests talk to: three vsftpd (plain, demanding
# TLS, slow) and an OpenSSH sshd on 127.0.0.1, three test accounts, and a PuTTY settings tree whose
# saved session reaches the sshd.
# Usage: scripts/testbed.sh start|stop DIR
#        scripts/testbed.sh status         the beds that run and whether each account is locked
#        scripts/testbed.sh remove-users   deletes the accounts and their homes (no bed may run)
#
# start writes DIR/testbed.env (KEY=VALUE lines, the value runs to the end of the line, no quoting),
# which tests/support/testbed.cpp reads; only root can read it. CTest runs start and stop as the
# "testbed" fixture.
#
# The accounts can log in only while a bed runs and only through a bed's own servers: a start with
# no other bed running gives them new random passwords, and the last bed to stop locks them. While
# open they are expired, which the machine's own services refuse (their PAM stacks include
# common-account); the beds' servers authenticate through a PAM service of their own that asks
# only for the password, and only of these accounts. Their shell admits no session either.
set -euo pipefail

readonly SESSION_NAME=pwtestbed
readonly PLAIN_USER=pwplain
readonly QUOTED_USER=pwquoted
readonly HOSTILE_USER=pwhostile
readonly USERS=("$PLAIN_USER" "$QUOTED_USER" "$HOSTILE_USER")
# The fixed parts of two passwords; each start adds a random part. A blank and the characters a
# shell would act on: proves they reach the server as plain text.
# shellcheck disable=SC2016
readonly QUOTED_FIXED='ab 1&2|3;4$x`5'
# Blanks at both ends, double quotes that would end a quoted argument early and add a psftp
# option, and commands for a shell: a client that logs in with it took it as plain text, and
# pw-marker appears wherever any of it ran as a command. The random part goes after " a".
# shellcheck disable=SC2016
readonly HOSTILE_TAIL='&b|c;$(touch pw-marker)`touch pw-marker` x" -proxycmd "touch pw-marker '
readonly LOGIN_SHELL=/usr/sbin/nologin
readonly PAM_SERVICE=pwtestbed
readonly PAM_FILE=/etc/pam.d/$PAM_SERVICE
# Shared by every bed on the machine: the lock that makes their starts and stops take turns, and
# the name the beds' sshd runs under, from which it takes its PAM service.
readonly RUN_DIR=/run/parcelwright-testbed
readonly SSHD_LINK=$RUN_DIR/$PAM_SERVICE
# A server whose port was taken between its choice and its bind is started again on another port,
# this many times; one that does not listen within START_SECONDS is given up.
readonly START_ATTEMPTS=8
readonly START_SECONDS=30

die() {
    echo "testbed: $*" >&2
    exit 1
}

usage() {
    echo "usage: $0 start|stop DIR | status | remove-users" >&2
    exit 2
}

# Prints the value of KEY from DIR/testbed.env, or nothing.
env_value() {
    local file=$1 key=$2 name value
    [[ -f "$file" ]] || return 0
    while IFS='=' read -r name value; do
        if [[ "$name" == "$key" ]]; then
            printf '%s\n' "$value"
            return 0
        fi
    done <"$file"
}

# shellcheck source=scripts/processes.sh
source "$(dirname "$0")/processes.sh"

# Ends one process (and, for a group leader, the group it leads) and waits until it is gone.
# Sends SIGNAL to the group PID leads (or to PID alone) and waits up to TENTHS tenths of a second
# for it to go.
signal_and_wait() {
    local pid=$1 signal=$2 tenths=$3
    kill "-$signal" -- "-$pid" 2>/dev/null || kill "-$signal" "$pid" 2>/dev/null || true
    for _ in $(seq "$tenths"); do
        is_running "$pid" || return 0
        sleep 0.1
    done
    return 1
}

# True when PID's command line names a file under DIR: the server this bed started, not a process
# that took over the number of one that ended long ago.
started_from() {
    local pid=$1 dir=$2 cmdline
    cmdline=$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null) || return 1
    [[ "$cmdline" == *"$dir/"* ]]
}

stop_pid() {
    local pid=$1 what=$2 dir=${3:-}
    [[ "$pid" =~ ^[0-9]+$ ]] || return 0
    is_running "$pid" || return 0
    if [[ -n "$dir" ]] && ! started_from "$pid" "$dir"; then
        return 0
    fi
    # vsftpd runs in a session of its own, so its per-login children go with it.
    signal_and_wait "$pid" TERM 50 && return 0
    echo "testbed: $what ($pid) did not end on TERM; killing it" >&2
    signal_and_wait "$pid" KILL 20 && return 0
    echo "testbed: $what ($pid) is still running" >&2
    return 1
}

readonly SERVERS=(vsftpd:FTP_PID vsftpd-tls:FTP_TLS_PID vsftpd-slow:FTP_SLOW_PID sshd:SSH_PID)

stop_servers() {
    local dir=$1 env=$1/testbed.env status=0 server name
    for server in "${SERVERS[@]}"; do
        name=${server%%:*}
        stop_pid "$(env_value "$env" "${server#*:}")" "$name" "$dir" || status=1
        # A start that failed half-way has no env file yet, but may have left a server behind.
        if [[ -f "$dir/$name.pid" ]]; then
            stop_pid "$(cat "$dir/$name.pid")" "$name" "$dir" || status=1
        fi
        rm -f "$dir/$name.pid"
    done
    rm -f "$env"
    return $status
}

# True when something accepts connections on 127.0.0.1:PORT.
port_in_use() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# True when any TCP socket holds PORT as its local port: a listener, but also the local end of a
# client's connection, open or in TIME_WAIT, which a connection attempt cannot see and which still
# makes a server's bind fail.
port_taken() {
    local hex
    hex=$(printf ':%04X' "$1")
    awk -v port="$hex" 'FNR > 1 && substr($2, length($2) - 4) == port { found = 1 }
        END { exit !found }' /proc/net/tcp /proc/net/tcp6 2>/dev/null
}

# Prints a port on 127.0.0.1 that no socket holds. It comes from below the range the kernel hands
# out to clients (and to passive FTP data connections): the many short connections of a test run
# leave hundreds of ports of that range in TIME_WAIT for a minute, and any of them can turn up
# between this choice and the server's bind.
free_port() {
    local low high first count port
    read -r low high </proc/sys/net/ipv4/ip_local_port_range 2>/dev/null || low=32768 high=60999
    first=10000
    count=$((low - first))
    if ((count < 1000)); then
        first=$((high + 1))
        count=$((65536 - first))
    fi
    ((count > 0)) || return 1
    for _ in $(seq 200); do
        port=$((first + (RANDOM * 32768 + RANDOM) % count))
        if ! port_taken "$port" && ! port_in_use "$port"; then
            echo "$port"
            return 0
        fi
    done
    return 1
}

# Runs a command that edits /etc/passwd or /etc/shadow, retrying while another one holds the lock.
with_passwd_lock() {
    local out
    for _ in $(seq 30); do
        if out=$("$@" 2>&1); then
            return 0
        fi
        if [[ "$out" != *lock* ]]; then
            echo "$out" >&2
            return 1
        fi
        sleep 0.5
    done
    echo "$out" >&2
    return 1
}

# Starts, stops and removals of all beds on the machine take turns, so that a start sees every
# bed that runs and a stop knows whether it is the last. The servers a start launches must not
# inherit descriptor 9, or they would hold the lock for as long as they run.
take_lock() {
    [[ $(id -u) -eq 0 ]] || die "must run as root (it changes the test accounts)"
    mkdir -m 700 "$RUN_DIR" 2>/dev/null || true
    [[ -d "$RUN_DIR" && ! -L "$RUN_DIR" && -O "$RUN_DIR" ]] ||
        die "$RUN_DIR is not root's directory"
    exec 9>>"$RUN_DIR/lock"
    flock -w 600 9 || die "another test bed held $RUN_DIR/lock for 10 minutes"
}

# Prints the directory of each bed whose servers run (a vsftpd or sshd of root's whose
# configuration file lies there), leaving out EXCEPT. Servers are looked for rather than
# registered, so that beds of earlier versions of this script, which take no lock, count too.
live_beds() {
    local except=${1:-} proc args line exe dir
    for proc in /proc/[0-9]*; do
        mapfile -d '' args 2>/dev/null <"$proc/cmdline" || continue
        line=" ${args[*]} "
        if [[ "${args[1]:-}" =~ ^(/.+)/vsftpd(-[a-z]+)?\.conf$ ]]; then
            exe=/usr/sbin/vsftpd dir=${BASH_REMATCH[1]}
        # sshd's listener rewrites its command line into one string: blanks, not NULs.
        elif [[ "$line" =~ \ -f\ (/.+)/sshd_config\  ]]; then
            exe=/usr/sbin/sshd dir=${BASH_REMATCH[1]}
        else
            continue
        fi
        [[ -O "$proc" && "$(readlink "$proc/exe" 2>/dev/null)" == "$exe"* ]] || continue
        [[ "$dir" != "$except" && "$dir" != /etc && "$dir" != /etc/* ]] || continue
        is_running "${proc#/proc/}" && printf '%s\n' "$dir"
    done | sort -u
}

# Sets PLAIN_PASSWORD, QUOTED_PASSWORD and HOSTILE_PASSWORD from the testbed.env of the bed in
# DIR, if only root can have written or read it.
read_passwords() {
    local env=$1/testbed.env
    [[ -f "$env" && ! -L "$env" && "$(stat -c '%u %a' "$env")" == "0 600" ]] || return 1
    PLAIN_PASSWORD=$(env_value "$env" PLAIN_PASSWORD)
    QUOTED_PASSWORD=$(env_value "$env" QUOTED_PASSWORD)
    HOSTILE_PASSWORD=$(env_value "$env" HOSTILE_PASSWORD)
    [[ -n "$PLAIN_PASSWORD" && -n "$QUOTED_PASSWORD" && -n "$HOSTILE_PASSWORD" ]]
}

random_part() {
    od -An -N10 -tx1 /dev/urandom | tr -d ' \n'
}

# The PAM service the beds' servers log in through: the test accounts alone, by password alone.
# The account phase does not ask pam_unix, which would refuse them as expired.
write_pam_service() {
    local text
    text="# Parcelwright's test servers (scripts/testbed.sh; its remove-users removes this file)
auth     requisite  pam_succeed_if.so quiet user in ${USERS[0]}:${USERS[1]}:${USERS[2]}
auth     required   pam_unix.so
account  required   pam_succeed_if.so quiet user in ${USERS[0]}:${USERS[1]}:${USERS[2]}
session  required   pam_permit.so"
    [[ "$(cat "$PAM_FILE" 2>/dev/null)" == "$text" ]] && return 0
    printf '%s\n' "$text" >"$PAM_FILE.new"
    mv "$PAM_FILE.new" "$PAM_FILE"
}

# Creates the accounts where missing, expires them and gives them new passwords, which unlocks
# them. The expiry comes first: no moment has them both open and welcome to the machine's services.
open_accounts() {
    local user
    for user in "${USERS[@]}"; do
        if ! getent passwd "$user" >/dev/null; then
            with_passwd_lock useradd -m -s "$LOGIN_SHELL" "$user" ||
                getent passwd "$user" >/dev/null || die "cannot create user $user"
        fi
        with_passwd_lock usermod -s "$LOGIN_SHELL" -e 1 "$user" || die "cannot expire $user"
        local home
        home=$(home_of "$user")
        mkdir -p "$home"
        chown "$user:" "$home"
    done
    PLAIN_PASSWORD=$(random_part)
    QUOTED_PASSWORD=$QUOTED_FIXED$(random_part)
    HOSTILE_PASSWORD=" a$(random_part)$HOSTILE_TAIL"
    with_passwd_lock set_passwords "$PLAIN_USER:$PLAIN_PASSWORD
$QUOTED_USER:$QUOTED_PASSWORD
$HOSTILE_USER:$HOSTILE_PASSWORD" || die "cannot set the test accounts' passwords"
}

# chpasswd with LINES as its input, given anew on each try of with_passwd_lock; a function, so that
# the passwords are on no command line.
set_passwords() {
    chpasswd <<<"$1"
}

# A bed that starts while others run takes the passwords they use, which must not change under
# them; only a start with no other bed opens the accounts anew. Sets PASSWORDS_FROM.
choose_passwords() {
    local dir=$1 others other
    mapfile -t others < <(live_beds "$dir")
    if [[ ${#others[@]} -eq 0 ]]; then
        open_accounts
        PASSWORDS_FROM=new
        return 0
    fi
    # A bed of an earlier version of this script may be starting: its testbed.env comes last.
    for _ in $(seq 600); do
        for other in "${others[@]}"; do
            if read_passwords "$other"; then
                PASSWORDS_FROM=$other
                return 0
            fi
        done
        sleep 0.1
    done
    die "test beds run in $(joined "${others[@]}"), but none has a root-only testbed.env to share"
}

# The last bed to stop locks the accounts. A locked account refuses every password, so the expiry
# is taken back: beds of earlier versions of this script open the accounts by password alone.
close_accounts_if_last() {
    local others user
    mapfile -t others < <(live_beds "${1:-}")
    if [[ ${#others[@]} -gt 0 ]]; then
        echo "testbed: the test accounts stay open for the beds in $(joined "${others[@]}")"
        return 0
    fi
    for user in "${USERS[@]}"; do
        getent passwd "$user" >/dev/null || continue
        with_passwd_lock usermod -L "$user" || die "cannot lock $user"
        with_passwd_lock usermod -e '' "$user" || die "cannot take the expiry of $user back"
    done
}

home_of() {
    getent passwd "$1" | cut -d: -f6
}

show_log_tail() {
    local file=$1
    echo "---- last lines of $file ----" >&2
    tail -n 20 "$file" >&2 2>/dev/null || echo "(no log)" >&2
}

# Reads one complete FTP reply from descriptor 3 and prints its code.
ftp_reply() {
    local line
    while IFS= read -r -t 5 line <&3; do
        line=${line%$'\r'}
        if [[ "$line" =~ ^([0-9]{3})\  ]]; then
            echo "${BASH_REMATCH[1]}"
            return 0
        fi
    done
    echo "none"
}

# Logs in to the FTP server on PORT with USER and PASSWORD over bash's /dev/tcp: no client needed.
ftp_login_works() {
    local port=$1 user=$2 password=$3 code
    exec 3<>"/dev/tcp/127.0.0.1/$port" || return 1
    code=$(ftp_reply)
    if [[ "$code" == 220 ]]; then
        printf 'USER %s\r\n' "$user" >&3
        code=$(ftp_reply)
        if [[ "$code" == 331 ]]; then
            printf 'PASS %s\r\n' "$password" >&3
            code=$(ftp_reply)
        fi
    fi
    printf 'QUIT\r\n' >&3 2>/dev/null || true
    exec 3>&-
    [[ "$code" == 230 ]] || {
        echo "testbed: FTP log-in of $user answered $code" >&2
        return 1
    }
}

psftp_works() {
    local dir=$1 user=$2 password=$3 out
    printf 'pwd\r\nquit\r\n' >"$dir/check.psftp"
    # From a file, as the program gives it: on the command line every local user would see it.
    (umask 077 && printf '%s\n' "$password" >"$dir/check.pwd")
    if ! out=$(PUTTYDIR="$dir/putty" timeout 30 psftp "$user@$SESSION_NAME" -b "$dir/check.psftp" \
        -pwfile "$dir/check.pwd" </dev/null 2>&1); then
        echo "testbed: psftp as $user failed:" >&2
        echo "$out" >&2
        return 1
    fi
    [[ "$out" == *"Remote working directory is"* ]] || {
        echo "testbed: psftp as $user printed no working directory:" >&2
        echo "$out" >&2
        return 1
    }
}

# Prints its arguments separated by "; ", or "none".
joined() {
    local out="" item
    for item in "$@"; do
        out+="${out:+; }$item"
    done
    echo "${out:-none}"
}

# Waits until PID listens on 127.0.0.1:PORT (0), ends (1), or START_SECONDS pass (2).
wait_for_listener() {
    local pid=$1 port=$2
    for _ in $(seq $((START_SECONDS * 10))); do
        is_running "$pid" || return 1
        port_in_use "$port" && return 0
        sleep 0.1
    done
    return 2
}

# Starts the vsftpd called NAME (its files DIR/NAME.*), EXTRA lines added to its configuration;
# sets VSFTPD_PORT and VSFTPD_PID.
start_vsftpd() {
    local dir=$1 name=$2 extra=$3 port pid reason tried=()
    for _ in $(seq "$START_ATTEMPTS"); do
        port=$(free_port) || die "no free port for $name (tried before: $(joined "${tried[@]}"))"
        cat >"$dir/$name.conf" <<EOF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$port
background=NO
anonymous_enable=NO
local_enable=YES
write_enable=YES
local_umask=022
# ascii_upload_enable stays off: a client that sends in text mode then alters the line ends of a
# binary file, which the end-to-end tests catch.
chroot_local_user=NO
allow_writeable_chroot=YES
pasv_enable=YES
pasv_address=127.0.0.1
pasv_min_port=0
pasv_max_port=0
connect_from_port_20=NO
pam_service_name=$PAM_SERVICE
secure_chroot_dir=/var/run/vsftpd/empty
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
xferlog_enable=YES
dual_log_enable=YES
log_ftp_protocol=YES
vsftpd_log_file=$dir/$name.log
xferlog_file=$dir/$name.xfer.log
max_clients=200
max_per_ip=200
$extra
EOF
        : >"$dir/$name.out"
        : >"$dir/$name.log"
        # A session of its own: CTest must not wait on it, and stop ends its per-login children too.
        # vsftpd tells why it stops ("500 OOPS: ...") on its standard input, which is a session's
        # control connection: given /dev/null there, a failed start leaves no word of the reason.
        setsid nohup /usr/sbin/vsftpd "$dir/$name.conf" 0>>"$dir/$name.out" \
            >>"$dir/$name.out" 2>&1 9>&- &
        pid=$!
        echo "$pid" >"$dir/$name.pid"
        if wait_for_listener "$pid" "$port"; then
            VSFTPD_PORT=$port
            VSFTPD_PID=$pid
            return 0
        fi
        if is_running "$pid"; then
            stop_pid "$pid" "$name" || true
            rm -f "$dir/$name.pid"
            die "$name (pid $pid) did not listen on port $port within $START_SECONDS s; the" \
                "machine may be overloaded (tried before: $(joined "${tried[@]}"))"
        fi
        rm -f "$dir/$name.pid"
        reason=$(tr -d '\r' <"$dir/$name.out" | grep -v '^$' | tail -n 1)
        tried+=("$port (${reason:-ended without a word})")
        # Taken by someone else between the choice and the bind: another port may well do.
        [[ "$reason" == *"could not bind"* ]] || break
        echo "testbed: $name could not bind port $port; trying another" >&2
    done
    show_log_tail "$dir/$name.log"
    die "$name did not come up; ports tried: $(joined "${tried[@]}")"
}

# The plain server; one that demands TLS, with a certificate made now for 127.0.0.1 (its
# ftp-ca.pem is all a client needs to trust it); and one that takes uploads slowly enough that a
# test can watch a file arrive.
start_ftp_servers() {
    local dir=$1
    start_vsftpd "$dir" vsftpd ""
    FTP_PORT=$VSFTPD_PORT FTP_PID=$VSFTPD_PID
    # Valid for two days: a bed that runs longer serves an expired certificate.
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/ftp-tls.key" -out "$dir/ftp-ca.pem" \
        -days 2 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 >/dev/null 2>&1 ||
        die "openssl could not make the FTP server's certificate"
    chmod 644 "$dir/ftp-ca.pem"
    start_vsftpd "$dir" vsftpd-tls "ssl_enable=YES
rsa_cert_file=$dir/ftp-ca.pem
rsa_private_key_file=$dir/ftp-tls.key
force_local_logins_ssl=YES
force_local_data_ssl=YES
require_ssl_reuse=NO"
    FTP_TLS_PORT=$VSFTPD_PORT FTP_TLS_PID=$VSFTPD_PID
    start_vsftpd "$dir" vsftpd-slow "local_max_rate=800000"
    FTP_SLOW_PORT=$VSFTPD_PORT FTP_SLOW_PID=$VSFTPD_PID
}

start_sshd() {
    local dir=$1 port status outcome reason tried=()
    [[ -f "$dir/hostkey" ]] || ssh-keygen -q -t ed25519 -N '' -C parcelwright-testbed -f "$dir/hostkey"
    for _ in $(seq "$START_ATTEMPTS"); do
        port=$(free_port) || die "no free port for sshd (tried before: $(joined "${tried[@]}"))"
        cat >"$dir/sshd_config" <<EOF
Port $port
ListenAddress 127.0.0.1
HostKey $dir/hostkey
PidFile $dir/sshd.pid
PasswordAuthentication yes
KbdInteractiveAuthentication no
UsePAM yes
PermitRootLogin no
AllowUsers $PLAIN_USER $QUOTED_USER $HOSTILE_USER
Subsystem sftp internal-sftp
UseDNS no
MaxStartups 100:30:200
MaxSessions 100
EOF
        rm -f "$dir/sshd.pid"
        : >"$dir/sshd.log"
        # sshd leaves for the background before it binds: a port taken meanwhile shows only in
        # its log, and then it writes no pid file.
        status=0 outcome=slow
        # Under its own name it logs in through the bed's PAM service: see write_pam_service.
        "$SSHD_LINK" -f "$dir/sshd_config" -E "$dir/sshd.log" </dev/null >"$dir/sshd.out" 2>&1 \
            9>&- ||
            status=$? outcome=failed
        for _ in $(seq $((START_SECONDS * 10))); do
            [[ "$outcome" == slow ]] || break
            if [[ -s "$dir/sshd.pid" ]] && port_in_use "$port"; then
                SSH_PORT=$port
                SSH_PID=$(cat "$dir/sshd.pid")
                return 0
            fi
            grep -q 'Cannot bind any address' "$dir/sshd.log" && outcome=failed
            sleep 0.1
        done
        [[ -s "$dir/sshd.pid" ]] && stop_pid "$(cat "$dir/sshd.pid")" sshd
        if [[ "$outcome" == slow ]]; then
            die "sshd did not listen on port $port within $START_SECONDS s; the machine may be" \
                "overloaded (tried before: $(joined "${tried[@]}"))"
        fi
        reason=$(cat "$dir/sshd.out" "$dir/sshd.log" | grep -v '^$' | head -n 1)
        tried+=("$port (${reason:-status $status})")
        # Taken by someone else between the choice and the bind: another port may well do.
        grep -qi 'address already in use' "$dir/sshd.log" || break
        echo "testbed: sshd could not bind port $port; trying another" >&2
    done
    show_log_tail "$dir/sshd.out"
    show_log_tail "$dir/sshd.log"
    die "sshd did not come up; ports tried: $(joined "${tried[@]}")"
}

write_putty_session() {
    local dir=$1 fingerprint
    fingerprint=$(ssh-keygen -lf "$dir/hostkey.pub" -E sha256 | awk '{print $2}')
    [[ "$fingerprint" == SHA256:* ]] || die "cannot read the host key's fingerprint"
    mkdir -p "$dir/putty/sessions"
    printf '%s\n' "HostName=127.0.0.1" "PortNumber=$SSH_PORT" "Protocol=ssh" \
        "SSHManualHostKeys=$fingerprint" >"$dir/putty/sessions/$SESSION_NAME"
}

write_env() {
    local dir=$1
    # The file holds passwords: readable by root alone from its first byte, and readers must never
    # see half of it.
    (
        umask 077
        {
            echo "FTP_PORT=$FTP_PORT"
            echo "FTP_HOST=127.0.0.1:$FTP_PORT"
            echo "FTP_PID=$FTP_PID"
            echo "FTP_TLS_HOST=127.0.0.1:$FTP_TLS_PORT"
            echo "FTP_TLS_PID=$FTP_TLS_PID"
            echo "FTP_CA_FILE=$dir/ftp-ca.pem"
            echo "FTP_SLOW_HOST=127.0.0.1:$FTP_SLOW_PORT"
            echo "FTP_SLOW_PID=$FTP_SLOW_PID"
            echo "SSH_PORT=$SSH_PORT"
            echo "SSH_PID=$SSH_PID"
            echo "SSH_SESSION=$SESSION_NAME"
            echo "PUTTYDIR=$dir/putty"
            echo "PASSWORDS_FROM=$PASSWORDS_FROM"
            echo "PLAIN_USER=$PLAIN_USER"
            echo "PLAIN_PASSWORD=$PLAIN_PASSWORD"
            echo "PLAIN_HOME=$(home_of "$PLAIN_USER")"
            echo "QUOTED_USER=$QUOTED_USER"
            echo "QUOTED_PASSWORD=$QUOTED_PASSWORD"
            echo "QUOTED_HOME=$(home_of "$QUOTED_USER")"
            echo "HOSTILE_USER=$HOSTILE_USER"
            echo "HOSTILE_PASSWORD=$HOSTILE_PASSWORD"
            echo "HOSTILE_HOME=$(home_of "$HOSTILE_USER")"
        } >"$dir/testbed.env.new"
    )
    chmod 600 "$dir/testbed.env.new"
    mv "$dir/testbed.env.new" "$dir/testbed.env"
}

# A start that fails leaves no server running and, if it was the only bed, no account open.
failed_start() {
    trap - EXIT
    rm -f "$1/check.psftp" "$1/check.pwd"
    stop_servers "$1" || true
    close_accounts_if_last "$1"
}

start() {
    local dir=$1
    [[ $(id -u) -eq 0 ]] || die "must run as root (it creates users and starts servers)"
    "$(dirname "$0")/install-deps.sh" test
    mkdir -p "$dir"
    dir=$(cd "$dir" && pwd -P)
    # The path goes on lines of testbed.env and of the servers' configuration files.
    [[ "$dir" != *[[:cntrl:]]* ]] || die "the path of DIR holds a control character"
    # Root's servers read the configuration written here: no one else may be able to change it.
    [[ -O "$dir" && $((8#$(stat -c %a "$dir") & 8#022)) -eq 0 ]] ||
        die "$dir must belong to root and be writable by no one else"
    take_lock
    stop_servers "$dir" || die "the servers of an earlier start in $dir would not stop"
    # shellcheck disable=SC2064 # the local dir is gone by the time the trap runs
    trap "failed_start $(printf '%q' "$dir")" EXIT

    mkdir -p /run/sshd /var/run/vsftpd/empty
    write_pam_service
    ln -sfn /usr/sbin/sshd "$SSHD_LINK"
    choose_passwords "$dir"
    start_ftp_servers "$dir"
    start_sshd "$dir"
    write_putty_session "$dir"

    local user password ok=1
    for user in "${USERS[@]}"; do
        password=$PLAIN_PASSWORD
        [[ "$user" == "$QUOTED_USER" ]] && password=$QUOTED_PASSWORD
        [[ "$user" == "$HOSTILE_USER" ]] && password=$HOSTILE_PASSWORD
        ftp_login_works "$FTP_PORT" "$user" "$password" || ok=0
        ftp_login_works "$FTP_SLOW_PORT" "$user" "$password" || ok=0
        psftp_works "$dir" "$user" "$password" || ok=0
    done
    rm -f "$dir/check.psftp" "$dir/check.pwd"
    if [[ $ok -ne 1 ]]; then
        show_log_tail "$dir/vsftpd.log"
        show_log_tail "$dir/sshd.log"
        die "the servers started but a log-in failed"
    fi
    write_env "$dir"
    trap - EXIT

    echo "testbed: vsftpd on 127.0.0.1:$FTP_PORT (pid $FTP_PID), demanding TLS on" \
        "127.0.0.1:$FTP_TLS_PORT (pid $FTP_TLS_PID, certificate $dir/ftp-ca.pem), slow on" \
        "127.0.0.1:$FTP_SLOW_PORT (pid $FTP_SLOW_PID); sshd on 127.0.0.1:$SSH_PORT (pid $SSH_PID)"
    echo "testbed: users $PLAIN_USER, $QUOTED_USER and $HOSTILE_USER;" \
        "psftp host $SESSION_NAME with PUTTYDIR=$dir/putty"
    echo "testbed: passwords and the rest in $dir/testbed.env (readable by root alone)"
}

stop() {
    local dir=$1 status=0
    take_lock
    if [[ -d "$dir" ]]; then
        dir=$(cd "$dir" && pwd -P)
        stop_servers "$dir" || status=1
        echo "testbed: stopped the servers of $dir"
    fi
    close_accounts_if_last "$dir"
    return $status
}

status() {
    local bed user
    take_lock
    while IFS= read -r bed; do
        echo "bed $bed"
    done < <(live_beds)
    for user in "${USERS[@]}"; do
        if ! getent passwd "$user" >/dev/null; then
            echo "account $user absent"
        elif [[ $(passwd -S "$user" | cut -d' ' -f2) == L ]]; then
            echo "account $user locked"
        else
            echo "account $user open"
        fi
    done
}

remove_users() {
    local beds user
    take_lock
    mapfile -t beds < <(live_beds)
    [[ ${#beds[@]} -eq 0 ]] || die "test beds run in $(joined "${beds[@]}"); stop them first"
    for user in "${USERS[@]}"; do
        getent passwd "$user" >/dev/null || continue
        with_passwd_lock userdel -r "$user" || die "cannot delete $user"
        echo "testbed: deleted $user and its home"
    done
    rm -f "$PAM_FILE" "$SSHD_LINK"
}

case "${1:-}:$#" in
start:2) start "$2" ;;
stop:2) stop "$2" ;;
status:1) status ;;
remove-users:1) remove_users ;;
*) usage ;;
esac
