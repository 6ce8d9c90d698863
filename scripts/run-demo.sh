#!/bin/bash
# Tries Quarnel against sample data on a private local server.
#
#   scripts/run-demo.sh /path/to/quarnel [quarnel arguments]
#
# Starts the private server of quarnel-local-server (or reuses it), loads
# scripts/demo-data.sql once, creates the login account quarnel/quarnel and a
# server profile "127.0.0.1" for it in the settings store when missing, and
# starts the program. QUARNEL_SETTINGS names another settings file;
# QUARNEL_LOCAL_SERVER_DIR another folder for the server's files.
set -eu

if [ $# -lt 1 ]; then
    echo "usage: $0 /path/to/quarnel [quarnel arguments]" >&2
    exit 2
fi
quarnel=$1
shift
if [ ! -x "$quarnel" ]; then
    echo "not an executable program: $quarnel" >&2
    exit 2
fi

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
helper="$here/quarnel-local-server"
demo_user=quarnel
demo_password=quarnel

"$helper" start
port=$("$helper" port)

if ! echo "SHOW DATABASES LIKE 'quarnel_demo'" | "$helper" client --batch --skip-column-names | grep -q .; then
    echo "Loading the sample data ..."
    "$helper" client <"$here/demo-data.sql"
fi
"$helper" client <<SQL
CREATE USER IF NOT EXISTS '$demo_user'@'localhost' IDENTIFIED BY '$demo_password';
CREATE USER IF NOT EXISTS '$demo_user'@'127.0.0.1' IDENTIFIED BY '$demo_password';
GRANT ALL PRIVILEGES ON *.* TO '$demo_user'@'localhost' WITH GRANT OPTION;
GRANT ALL PRIVILEGES ON *.* TO '$demo_user'@'127.0.0.1' WITH GRANT OPTION;
SQL

# The settings store the program reads: one INI section per server.
settings="${QUARNEL_SETTINGS:-${XDG_CONFIG_HOME:-$HOME/.config}/Quarnel2.conf}"
section="127.0.0.1"
if [ -f "$settings" ] && grep -qxF "[$section]" "$settings"; then
    stored_port=$(awk -v s="[$section]" '$0 == s {in_s = 1; next} /^\[/ {in_s = 0} in_s && /^Port=/ {sub(/^Port=/, ""); print}' "$settings")
    if [ "$stored_port" != "$port" ]; then
        echo "Note: the server profile $section in $settings uses port ${stored_port:-3306}; the demo server listens on $port." >&2
    fi
else
    # The store holds passwords: readable by its owner only.
    saved_umask=$(umask)
    umask 077
    mkdir -p "$(dirname "$settings")"
    # Keep the last line of an existing file intact.
    if [ -s "$settings" ] && [ -n "$(tail -c 1 "$settings")" ]; then
        echo >>"$settings"
    fi
    cat >>"$settings" <<INI
[$section]
User=$demo_user
Psw=$demo_password
Database=quarnel_demo
Port=$port
Group=0
Check=1
Auto=0
INI
    chmod go-rwx "$settings"
    umask "$saved_umask"
    echo "Added the server profile $section (port $port, user $demo_user) to $settings"
fi

echo "Starting $quarnel: double-click \"$section\" in the server list to log in."
QUARNEL_SETTINGS="$settings" exec "$quarnel" "$@"
