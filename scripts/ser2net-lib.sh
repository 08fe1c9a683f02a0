# Sourced by the scripts that put Debian's ser2net in front of a simulated PLC.

# A loopback TCP port nobody uses now (from the kernel's tables).
free_port() {
    local p
    while :; do
        p=$((20000 + RANDOM % 40000))
        grep -q "$(printf ':%04X ' "$p")" /proc/net/tcp /proc/net/tcp6 2>/dev/null || { echo "$p"; return; }
    done
}

# start_ser2net DIR DEVICE: serves DEVICE on two free loopback ports, raw TCP in $ser2net_raw and
# Telnet with RFC 2217 in $ser2net_telnet, configured from tests/support/ser2net.yaml.in as the tests
# are; its PID goes in $ser2net_pid. Gives it half a second to listen.
start_ser2net() {
    local dir=$1 device=$2
    ser2net_raw=$(free_port)
    ser2net_telnet=$(free_port)
    sed -e "s|@DEVICE@|$device|g" -e "s|@RAW_PORT@|$ser2net_raw|g" -e "s|@TELNET_PORT@|$ser2net_telnet|g" \
        "$(dirname "${BASH_SOURCE[0]}")/../tests/support/ser2net.yaml.in" >"$dir/ser2net.yaml"
    /usr/sbin/ser2net -n -c "$dir/ser2net.yaml" -P "$dir/ser2net.pid" >/dev/null 2>&1 &
    ser2net_pid=$!
    sleep 0.5
}
