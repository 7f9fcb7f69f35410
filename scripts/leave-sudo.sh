# Sourced by the scripts a person runs (run.sh, test.sh, package.sh) from the
# repository root, once the Debian packages are in place. Started through
# sudo, the rest of the script runs as the user who called sudo, so that
# nothing is built, served or shown as root only because of sudo. A root
# session of its own (a root shell, CI) carries on as root.

if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
    echo "Started through sudo: carrying on as $SUDO_USER."
    # An earlier run through sudo left build/ of the user's checkout to root;
    # the user needs it back.
    if [ -d build ] && [ "$(stat -c %U build)" = root ] && [ "$(stat -c %U .)" = "$SUDO_USER" ]; then
        chown -R "$SUDO_USER": build
    fi
    exec runuser -u "$SUDO_USER" -- "$PWD/scripts/$(basename "$0")" "$@"
fi

if [ "$(id -u)" -ne 0 ] && [ -d build ] && [ ! -w build ]; then
    echo "build/ belongs to $(stat -c %U build), probably from an earlier run through sudo." >&2
    echo "Hand it back with:  sudo chown -R $(id -un): build" >&2
    exit 1
fi
