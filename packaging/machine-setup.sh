# Shell functions that make a machine ready for operators, shared by the
# package's post-install step (inlined there when the package is built) and
# scripts/setup-operator.sh (sourced). POSIX sh: the post-install step runs
# under /bin/sh. Each step is safe to run again.

twl_group=twinlane
twl_settings=/etc/korvel/machine.ini
twl_log_dir=/var/log/alarmkeeper

# The operators' group: only root and its members may run the route helper
# and change the machine-wide settings.
twl_create_group() {
    getent group "$twl_group" >/dev/null || groupadd --system "$twl_group"
}

# The route helper: root:twinlane, mode 0750, CAP_NET_ADMIN as its file
# capability. Owner and mode first: a change of owner drops the capability.
twl_helper_rights() {
    chown root:"$twl_group" "$1"
    chmod 0750 "$1"
    setcap cap_net_admin=ep "$1"
}

# The machine-wide settings file (created with Alarmkeeper's log folder if
# absent, an existing one is kept as it is) and the log folder, both
# writable for the group, so that an operator's changes are stored.
twl_machine_settings() {
    install -d -o root -g root -m 0755 "$(dirname "$twl_settings")"
    if [ ! -e "$twl_settings" ]; then
        printf '[SOFTWARE/KORVEL/Alarmkeeper/System]\nLogPath=%s\n' "$twl_log_dir" >"$twl_settings"
    fi
    chown root:"$twl_group" "$twl_settings"
    chmod 0664 "$twl_settings"
    install -d -o root -g "$twl_group" -m 2775 "$twl_log_dir"
}
